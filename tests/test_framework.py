"""The framework users build on, run on each core in a fresh interpreter.

The framework chooses its core when it is imported, and this test process
has a purpose-made declarations module installed, so every test here runs
its script in an interpreter of its own, once per core (conftest's ``run``).
"""

import pathlib

import pytest

from conftest import run_isolated

pytestmark = pytest.mark.isolated

ROOT = pathlib.Path(__file__).resolve().parent.parent


PRELUDE = """
from trel.interface import *
from trel.interface.interface import Attribute
from trel.interface.declarations import BuiltinImplementationSpecifications

class IAnimal(Interface):
    "Something alive."
    name = Attribute("What it is called.")
    def speak():
        "Make a sound."

class IPet(IAnimal):
    def owner():
        "Who looks after it."

class IWorker(Interface):
    pass
"""


def test_interfaces_from_class_statements(run):
    run(PRELUDE + """
assert isinstance(IPet, InterfaceClass) and IPet.__name__ == "IPet" and IPet.__module__ == "__main__"
assert IPet.getDoc() == "" and IAnimal.getDoc() == "Something alive."
assert IPet.__bases__ == (IAnimal,) and IPet.__iro__ == (IPet, IAnimal, Interface)
assert IPet.extends(IAnimal) and IPet.isOrExtends(IPet) and not IPet.extends(IPet) and not IAnimal.extends(IPet)
assert IPet.names() == ["owner"] and IPet.names(all=True) == ["name", "speak", "owner"]
assert IPet.queryDescriptionFor("speak").__doc__ == "Make a sound."
assert InterfaceClass("IPet", __module__="__main__") == IPet and hash(InterfaceClass("IPet")) == hash(IPet)
assert sorted([IWorker, IPet, IAnimal]) == [IAnimal, IPet, IWorker]

class IBoth(IPet, IWorker):
    pass

assert IBoth.__iro__ == (IBoth, IPet, IAnimal, IWorker, Interface)
for bad in ("class IBad(Interface): value = 3", "InterfaceClass('IBad', (object,))"):
    try:
        exec(bad)
    except TypeError:
        pass
    else:
        raise AssertionError(bad)
""")


def test_declarations_follow_inheritance(run):
    run(PRELUDE + """
@implementer(IPet)
class Dog:
    pass

class Puppy(Dog):
    pass

@implementer(IWorker)
class Sheepdog(Dog):
    pass

assert IPet.providedBy(Puppy()) and IAnimal.implementedBy(Puppy)
assert IWorker.providedBy(Sheepdog()) and IPet.providedBy(Sheepdog()) and not IWorker.providedBy(Dog())
assert list(implementedBy(Sheepdog).flattened()) == [IWorker, IPet, IAnimal, Interface]
assert list(implementedBy(Sheepdog)) == [IWorker, IPet]
assert implementedBy(Puppy) is Puppy.__dict__["__implemented__"]  # computed once, kept on the class

# A declaration made on a base after a subclass was resolved reaches it.
classImplements(Dog, IWorker)
assert IWorker.providedBy(Puppy())

# Built-in types and plain factories.
classImplements(int, IAnimal)
assert IAnimal.providedBy(3) and not IAnimal.providedBy("3") and int in BuiltinImplementationSpecifications

@implementer(IAnimal)
def make_animal():
    pass

assert IAnimal.implementedBy(make_animal) and not IAnimal.implementedBy(len)
assert IPet.providedBy(super(Puppy, Puppy())) and IPet in providedBy(Puppy())
try:
    implementedBy(42)
except TypeError:
    pass
else:
    raise AssertionError("a non-callable implements nothing and is refused")
""")


def test_what_objects_and_classes_provide_themselves(run):
    run(PRELUDE + """
@implementer(IAnimal)
class Cat:
    pass

class Kitten(Cat):
    pass

tom, kit = Cat(), Cat()
alsoProvides(tom, IPet)
assert IPet.providedBy(tom) and IAnimal.providedBy(tom) and not IPet.providedBy(kit)
alsoProvides(tom, IWorker)
assert list(directlyProvidedBy(tom)) == [IPet, IWorker]
assert list(directlyProvidedBy(tom).flattened()) == [IPet, IAnimal, IWorker, Interface]
noLongerProvides(tom, IPet)
assert not IPet.providedBy(tom) and IWorker.providedBy(tom)
directlyProvides(tom)
assert not IWorker.providedBy(tom) and IAnimal.providedBy(tom)

# A class object provides what is declared for it: not its instances, not
# its subclasses.
@provider(IWorker)
class Factory:
    pass

directlyProvides(Cat, IWorker)
assert IWorker.providedBy(Cat) and IWorker.providedBy(Factory)
assert not IWorker.providedBy(Kitten) and not IWorker.providedBy(kit) and not IWorker.providedBy(Factory())
assert IAnimal.providedBy(kit) and not IAnimal.providedBy(Cat)
assert Cat.__provides__._cls is Cat
""")


def test_adaptation(run):
    run(PRELUDE + """
class Robot:
    def __conform__(self, interface):
        return ("robot as", interface.__name__) if interface is IWorker else None

@implementer(IWorker)
class Clerk:
    pass

clerk, robot, rock = Clerk(), Robot(), object()
assert IWorker(clerk) is clerk and IWorker(robot) == ("robot as", "IWorker")
assert IWorker(rock, "alternate") == "alternate" and IWorker(rock, None) is None
try:
    IWorker(rock)
except TypeError as error:
    assert error.args == ("Could not adapt", rock, IWorker)
else:
    raise AssertionError("adapted a rock")

registry = AdapterRegistry()
registry.register([Interface], IWorker, "", lambda ob: ("hired", ob))
adapter_hooks.append(registry.adapter_hook)
assert IWorker(rock) == ("hired", rock) and IWorker(robot) == ("robot as", "IWorker")
adapter_hooks.remove(registry.adapter_hook)
assert IWorker(rock, None) is None
""")


def test_registry_lookups(run):
    run(PRELUDE + """
@implementer(IAnimal)
class Animal:
    pass

@implementer(IPet)
class Pet(Animal):
    pass

def factory(label):
    return lambda *obs: (label, *obs)

base = AdapterRegistry()
local = AdapterRegistry([base])
assert local.ro == (local, base)

# The most specific registration along the required specification's order.
base.register([IAnimal], IWorker, "", factory("animal"))
pet = Pet()
assert local.queryAdapter(pet, IWorker)[0] == "animal"
local.register([IPet], IWorker, "", factory("pet"))
assert local.queryAdapter(pet, IWorker)[0] == "pet" and local.queryAdapter(Animal(), IWorker)[0] == "animal"
assert local.queryAdapter(object(), IWorker, default="none") == "none"

# Registering in the base moves its generation: the derived registry's
# cached answers are dropped, not served stale.
animal = Animal()
assert local.queryAdapter(animal, IWorker)[0] == "animal"
generation = base._generation
base.register([Animal], IWorker, "", factory("exactly Animal"))
assert base._generation > generation
assert local.queryAdapter(animal, IWorker)[0] == "exactly Animal"
assert local.queryAdapter(pet, IWorker)[0] == "pet"  # the derived registry's own comes first
base.unregister([Animal], IWorker, "")
assert local.queryAdapter(animal, IWorker)[0] == "animal"

# A registration for a more specific provided interface serves a query
# for the one it extends.
base.register([IAnimal], IPet, "", factory("as pet"))
assert local.queryAdapter(Animal(), IAnimal)[0] == "as pet"

# Names, multi-adapters, everything registered, and subscribers.
base.register([IAnimal], IWorker, "night", factory("night"))
assert local.queryAdapter(pet, IWorker, "night")[0] == "night"
assert dict(local.lookupAll([providedBy(pet)], IWorker)).keys() == {"", "night"}
local.register([IPet, IAnimal], IWorker, "", factory("pair"))
assert local.queryMultiAdapter((pet, Animal()), IWorker)[0] == "pair"
assert local.queryMultiAdapter((Animal(), pet), IWorker) is None
local.subscribe([IAnimal], IWorker, factory("general"))
base.subscribe([IPet], IWorker, factory("base specific"))
local.subscribe([IPet], IWorker, factory("specific"))
assert [r[0] for r in local.subscribers((pet,), IWorker)] == ["base specific", "general", "specific"]
seen = []
local.subscribe([IAnimal], None, seen.append)
assert local.subscribers((pet,), None) == () and seen == [pet]

# Changing the bases re-resolves the registries built on them.
other = AdapterRegistry()
other.register([IPet], IWorker, "", factory("other"))
local.unregister([IPet], IWorker, "")
local.__bases__ = (other, base)
assert local.ro == (local, other, base) and local.queryAdapter(pet, IWorker)[0] == "other"

for bad in (lambda: base.register([IPet], IWorker, None, factory("x")), lambda: base.register([3], IWorker, "", len)):
    try:
        bad()
    except (TypeError, ValueError):
        pass
    else:
        raise AssertionError("accepted a bad registration")
""")


@pytest.mark.parametrize(
    "setup, expected",
    [
        pytest.param("", "c++", id="default"),
        pytest.param("import os; os.environ['TREL_INTERFACE_PURE'] = '1'", "python", id="environment"),
        pytest.param("import os; os.environ['TREL_INTERFACE_PURE'] = '0'", "c++", id="environment-off"),
        pytest.param("import sys; sys.modules['_trel_interface_coptimizations'] = None", "python", id="no-extension"),
    ],
)
def test_core_selection(setup, expected):
    out = run_isolated(
        f"""
import os
os.environ.pop("TREL_INTERFACE_PURE", None)
{setup}
import trel.interface, trel.interface._core as chosen
from trel.interface import Interface
print(trel.interface.CORE, chosen.core.__name__, chosen.core.InterfaceBase in type(Interface).__mro__)
"""
    )
    core, module, built_on_it = out.split()
    assert core == expected and built_on_it == "True"
    assert module == ("_trel_interface_coptimizations" if expected == "c++" else "trel.interface._pure")


@pytest.mark.parametrize("example", sorted(p.name for p in (ROOT / "examples").glob("*.py")))
def test_examples_run(run, example):
    run(f"import runpy, sys; sys.argv = [{example!r}]; runpy.run_path({str(ROOT / 'examples' / example)!r})")
