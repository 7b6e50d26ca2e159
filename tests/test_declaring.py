"""The declaration API: declarations as sets, declaring exactly, modules and
functions as providers, failures that change nothing, and pickling, on each
core."""

import pytest

pytestmark = pytest.mark.isolated

PRELUDE = """
import copy, pickle, sys, types
from trel.interface import *

class IAnimal(Interface):
    pass

class IPet(IAnimal):
    pass

class IWorker(Interface):
    pass

class IGuard(IWorker):
    pass

def refused(call, error, *words):
    try:
        call()
    except error as caught:
        assert all(word in str(caught) for word in words), (words, str(caught))
    else:
        raise AssertionError(f"no {error.__name__}: {words}")
"""


def test_declarations_are_sets(run):
    run(PRELUDE + """
@implementer(IPet)
class Dog:
    pass

@implementer(IGuard)
class Watchdog(Dog):
    pass

spec = implementedBy(Watchdog)
assert list(spec) == [IGuard, IPet] and list(spec.interfaces()) == [IGuard, IPet]
assert list(spec.flattened()) == [IGuard, IWorker, IPet, IAnimal, Interface]
assert IAnimal in spec and IGuard in spec and spec.extends(IWorker) and not spec.extends(IAnimal.__class__("IOther"))

# New declarations; the operands are unchanged.
assert list(spec + IAnimal) == [IGuard, IPet, IAnimal] and list(IAnimal + spec) == [IAnimal, IGuard, IPet]
assert list(spec + Declaration(IWorker, IAnimal)) == [IGuard, IPet, IWorker, IAnimal]
assert list(spec + IPet) == [IGuard, IPet]  # already there: once
assert list(spec - IPet) == [IGuard] and list(spec - IWorker) == [IPet]  # IGuard extends IWorker
assert list(spec - Declaration(IGuard, IPet)) == [] and IAnimal not in spec - IAnimal
assert list(spec) == [IGuard, IPet] and type(spec + IAnimal) is Declaration
assert repr(Declaration(IPet)) == "<Declaration __main__.IPet>" and repr(Declaration()) == "<Declaration>"
refused(lambda: spec + 3, TypeError)
refused(lambda: spec - "IPet", TypeError)

# What an object provides iterates as interfaces too.
rex = Watchdog()
alsoProvides(rex, IWorker)
assert list(providedBy(rex)) == [IWorker, IGuard, IPet] and list(directlyProvidedBy(rex)) == [IWorker]
""")


def test_declaring_exactly(run):
    run(PRELUDE + """
@implementer(IPet, IWorker)
class Dog:
    pass

@implementer_only(IGuard)
class Guard(Dog):
    pass

class Puppy(Dog):
    pass

assert list(implementedBy(Guard)) == [IGuard] and not IPet.implementedBy(Guard) and IWorker.implementedBy(Guard)
classImplementsOnly(Puppy, IAnimal)
assert list(implementedBy(Puppy)) == [IAnimal] and not IPet.providedBy(Puppy())
classImplementsOnly(Puppy)  # nothing at all, and later base declarations do not reach it
classImplements(Dog, IGuard)
assert list(implementedBy(Puppy).flattened()) == [Interface] and IGuard.providedBy(Dog())

# A class's declaration stays the one object its subclasses derive from.
class Older(Guard):
    pass

assert IGuard.providedBy(Older()) and not IPet.providedBy(Older())
""")


def test_modules_functions_and_classes_as_providers(run):
    run(PRELUDE + """
module = types.ModuleType("plugin")
exec("from trel.interface import moduleProvides\\nfrom __main__ import IWorker\\nmoduleProvides(IWorker)",
     module.__dict__)
assert IWorker.providedBy(module) and list(directlyProvidedBy(module)) == [IWorker]
twice = types.ModuleType("twice")
refused(lambda: exec("from trel.interface import moduleProvides\\nmoduleProvides()\\nmoduleProvides()",
                     twice.__dict__), TypeError, "once")
def in_function():
    moduleProvides(IWorker)
refused(in_function, TypeError, "module")

@provider(IWorker)
def make_worker():
    return object()

@provider(IWorker)
@implementer(IPet)
class Kennel:
    pass

assert IWorker.providedBy(make_worker) and not IWorker.providedBy(make_worker())
assert IWorker.providedBy(Kennel) and not IWorker.providedBy(Kennel()) and IPet.providedBy(Kennel())
""")


def test_failures_change_nothing(run):
    run(PRELUDE + """
@implementer(IPet)
class Cat:
    pass

tom = Cat()
refused(lambda: noLongerProvides(tom, IPet), ValueError, "IPet")
assert "__provides__" not in vars(tom) and IPet.providedBy(tom)
alsoProvides(tom, IWorker, IAnimal)
before = tom.__provides__
refused(lambda: noLongerProvides(tom, IAnimal), ValueError)  # IPet, from the class, extends it
assert tom.__provides__ is before and list(directlyProvidedBy(tom)) == [IWorker, IAnimal]
noLongerProvides(tom, IWorker)
assert list(directlyProvidedBy(tom)) == [IAnimal]
noLongerProvides(tom, IGuard)  # never provided: nothing to do
assert list(directlyProvidedBy(tom)) == [IAnimal]

# Bad input is refused with the argument named, before anything changes.
for call, words in [
    (lambda: alsoProvides(42, IWorker), ["42", "cannot carry declarations"]),
    (lambda: directlyProvides(tom, IWorker, object), ["directlyProvides()", "object"]),
    (lambda: alsoProvides(tom, "IWorker"), ["alsoProvides()", "'IWorker'"]),
    (lambda: implementer(IPet, 3), ["implementer()", "3"]),
    (lambda: implementer_only(None), ["implementer_only()", "None"]),
    (lambda: classImplements(Cat, Cat), ["classImplements()", "Cat"]),
    (lambda: provider(len), ["provider()"]),
    (lambda: noLongerProvides(tom, Cat), ["interface", "Cat"]),
    (lambda: Declaration(IPet, 1), ["Declaration()", "1"]),
    (lambda: classImplements(42, IPet), ["classImplements() cls", "42"]),
    (lambda: implementer(IPet)(42), ["implementer()", "42"]),
    (lambda: verifyClass(IPet, 42, tentative=True), ["verifyClass() cls", "42"]),
]:
    refused(call, TypeError, *words)
assert list(directlyProvidedBy(tom)) == [IAnimal] and list(implementedBy(Cat)) == [IPet]
""")


def test_pickling_and_copying(run):
    run(PRELUDE + """
@implementer(IPet)
class Dog:
    pass

def make_dog():
    return Dog()

class ITool(Interface):
    size = Attribute("How big.")
    def use(how): "Use it."

classImplements(make_dog, IAnimal)
rex = Dog()
alsoProvides(rex, IWorker, IGuard)
for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
    dumps = lambda ob: pickle.loads(pickle.dumps(ob, protocol))
    for copied in (dumps, copy.deepcopy, copy.copy):
        # Interfaces and what classes implement are the very same objects.
        for same in (IPet, Interface, implementedBy(Dog), implementedBy(make_dog), implementedBy(int)):
            assert copied(same) is same, (protocol, copied, same)
        assert copied(ITool["use"]) is ITool["use"] and copied(ITool["size"]) is ITool["size"]
        # Declarations rebuild from their interfaces.
        declared = copied(directlyProvidedBy(rex))
        assert type(declared) is Declaration and list(declared) == [IWorker, IGuard]
        clone = copied(rex)
        assert clone is not rex and list(directlyProvidedBy(clone)) == [IWorker, IGuard]
        assert list(providedBy(clone)) == list(providedBy(rex)) and IPet.providedBy(clone)

def local():
    class ILocal(Interface):
        pass
    return ILocal

hidden = local()  # __main__ has no ILocal
for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
    refused(lambda: pickle.dumps(hidden, protocol), pickle.PicklingError, "ILocal", "__main__")
renamed = InterfaceClass("IElsewhere", __module__="no.such.module")
refused(lambda: pickle.dumps(renamed), pickle.PicklingError, "no.such.module")
assert copy.deepcopy(hidden) is hidden  # copying needs no lookup
""")
