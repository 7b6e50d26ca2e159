"""What adapter registries accept, unsubscribe, and their reprs, on each core."""

import pytest

pytestmark = pytest.mark.isolated


def test_bad_input_is_refused_and_changes_nothing(run):
    run("""
from trel.interface import AdapterRegistry, Interface, implementedBy, implementer

class IA(Interface):
    pass

class IB(Interface):
    pass

@implementer(IA)
class A:
    pass

registry = AdapterRegistry()
factory = lambda *obs: obs
registry.register([IA], IB, "", factory)
generation = registry._generation

r = registry
table = [
    # (call, words the TypeError must contain)
    (lambda: r.register(IA, IB, "", factory), "sequence (list or tuple)"),  # the common slip
    (lambda: r.register({IA}, IB, "", factory), "sequence (list or tuple)"),
    (lambda: r.register([IA, 3], IB, "", factory), "required[1]"),
    (lambda: r.register([IA], None, "", factory), "provided must be a specification"),
    (lambda: r.register([IA], A, "", factory), "provided must be a specification"),
    (lambda: r.register([IA], IB, None, factory), "name must be a str"),
    (lambda: r.register([IA], IB, b"x", factory), "name must be a str"),
    (lambda: r.registered(IA, IB), "sequence"),
    (lambda: r.unregister(IA, IB, ""), "sequence"),
    (lambda: r.unregister([IA], IB, 3), "name must be a str"),
    (lambda: r.subscribe(IA, IB, factory), "sequence"),
    (lambda: r.subscribe([IA], "IB", factory), "provided must be a specification or None"),
    (lambda: r.unsubscribe(IA, IB), "sequence"),
    (lambda: r.lookup(IA, IB), "sequence"),
    (lambda: r.lookup([IA], IB, 1), "name must be a str"),
    (lambda: r.lookup1(3, IB), "required[0]"),
    (lambda: r.lookup1(IA, None), "provided must be a specification"),
    (lambda: r.queryMultiAdapter(A(), IB), "objects must be a sequence"),
    (lambda: r.queryMultiAdapter([A()], IB, None), "name must be a str"),
    (lambda: r.subscribers(A(), IB), "objects must be a sequence"),
    (lambda: AdapterRegistry([42]), "bases[0]"),
    (lambda: AdapterRegistry(registry), "bases must be a sequence"),
]
for call, words in table:
    try:
        call()
    except TypeError as error:
        assert words in str(error), (words, str(error))
    else:
        raise AssertionError(f"accepted: {words}")
assert registry._generation == generation and registry.registered([IA], IB) is factory

# What is accepted: classes (what they implement), None (any object), tuples.
registry.register((A, None), IB, "pair", factory)
assert registry.registered([implementedBy(A), Interface], IB, "pair") is factory
assert registry.lookup([A, IB], IB, "pair") is factory and registry.lookup([IA, IB], IB, "pair") is None
assert registry.lookup1(A, IB) is factory
assert registry.queryMultiAdapter((A(), 1), IB, "pair")[1] == 1
""")


def test_unsubscribe_and_repr(run):
    run("""
from trel.interface import AdapterRegistry, Interface, implementer

class IA(Interface):
    pass

class IB(Interface):
    pass

class IC(IB):
    pass

@implementer(IA)
class A:
    pass

base = AdapterRegistry(name="base")
local = AdapterRegistry([base])
seen = []
first, second = (lambda ob: "first"), (lambda ob: "second")
base.subscribe([IA], IB, first)
local.subscribe([IA], IB, second)
local.subscribe([IA], IC, second)
local.subscribe([IA], None, seen.append)
assert local.subscribers([A()], IB) == ["first", "second", "second"]

assert local.unsubscribe([IA], IB, second) is True
assert local.subscribers([A()], IB) == ["first", "second"]  # the derived registry's cache was dropped
assert local.unsubscribe([IA], IB, second) is False and local.unsubscribe([IB], IB) is False
assert base.unsubscribe([IA], IB) is True and local.subscribers([A()], IB) == ["second"]  # a base's change shows
assert local.unsubscribe([IA], None, seen.append) is True  # an equal bound method
local.subscribers([A()], None)
assert seen == []
assert local.unsubscribe([IA], IC) is True and local.subscribers([A()], IB) == []
assert local._provided == {} and base._provided == {}  # nothing is remembered for what is gone

assert repr(base) == "<AdapterRegistry 'base' bases=[]>"
assert repr(local).startswith("<AdapterRegistry at 0x") and repr(local).endswith("bases=[AdapterRegistry 'base']>")
""")
