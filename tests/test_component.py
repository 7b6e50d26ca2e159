"""trel.component on each core, every script in a fresh interpreter.

The component package needs the framework's own declarations, which this
test process replaces with a purpose-made module (see conftest), and it
installs an adapter hook on import; so, as in test_framework.py, each test
runs its script in an interpreter of its own, once per core. Each script
holds the table of cases for one concern.
"""

import pytest

from conftest import run_isolated

pytestmark = pytest.mark.isolated

CORE_ENV = {"c++": {"TREL_INTERFACE_PURE": None}, "python": {"TREL_INTERFACE_PURE": "1"}}


@pytest.fixture(params=sorted(CORE_ENV))
def run(request):
    """Runs the prelude and a script on one core, after checking the core."""
    core = request.param

    def run_script(code):
        check = f"import trel.interface\nassert trel.interface.CORE == {core!r}, trel.interface.CORE\n"
        return run_isolated(check + PRELUDE + code, env=CORE_ENV[core])

    return run_script


# Module-level names, so that pickling finds them by reference.
PRELUDE = """
import pickle
from trel.interface import Interface, adapter_hooks, alsoProvides, implementedBy, implementer
from trel.component import *

class IAnimal(Interface):
    pass

class IPet(IAnimal):
    pass

class IWorker(Interface):
    pass

class IName(Interface):
    pass

class IGreeting(Interface):
    pass

@implementer(IAnimal)
class Animal:
    def __init__(self, label=""):
        self.label = label
    def __repr__(self):
        return f"Animal({self.label!r})"

@implementer(IPet)
class Pet(Animal):
    pass

@implementer(IName)
@adapter_for(IAnimal)
class Name:
    def __init__(self, animal):
        self.animal = animal

class Thing:
    pass

def raises(error, call, *args, match="", **kwargs):
    try:
        call(*args, **kwargs)
    except error as caught:
        assert match in str(caught), (match, str(caught))
        return caught
    raise AssertionError(f"{call.__name__}{args} did not raise {error.__name__}")

def records(registry):
    return (list(registry.registeredUtilities()), list(registry.registeredAdapters()),
            list(registry.registeredSubscriptionAdapters()), list(registry.registeredHandlers()))

def events_of(registry):
    seen = []
    registry.registerHandler(lambda event: seen.append((type(event).__name__, event.object)), [IRegistrationEvent])
    seen.clear()
    return seen
"""


def test_utilities(run):
    run("""
base, local = Components("base"), Components("local")
local.__bases__ = [base]
rex, tom, bob = Pet("rex"), Animal("tom"), Animal("bob")
base.registerUtility(tom)                      # provided inferred: IAnimal, from the class
base.registerUtility(bob, IAnimal, "bob")
local.registerUtility(rex, IAnimal)            # hides the base's unnamed one
local.registerUtility(factory=lambda: Pet("made"), provided=IPet, name="made")
worker = Thing(); alsoProvides(worker, IWorker)
local.registerUtility(worker)                  # provided inferred from what the object itself provides

for asked, name, expected in [
    (IAnimal, "", "rex"), (IAnimal, "bob", "bob"), (IPet, "", None), (IAnimal, "made", "made"),
    (IPet, "made", "made"),  # registered for IPet: found when asking for what it extends, and for itself
]:
    found = local.queryUtility(asked, name)
    assert getattr(found, "label", None) == expected, (asked, name, found)
assert local.getUtility(IWorker) is worker
assert base.getUtility(IAnimal) is tom and base.queryUtility(IPet, default="d") == "d"
error = raises(ComponentLookupError, local.getUtility, IPet, "nobody", match="IPet")
assert isinstance(error, LookupError) and "'nobody'" in str(error) and error.provided is IPet
assert pickle.loads(pickle.dumps(error)).args == error.args

# Own names first, then the bases'; each name once, with what getUtility returns.
assert list(local.getUtilitiesFor(IAnimal)) == [("", rex), ("made", local.getUtility(IAnimal, "made")), ("bob", bob)]
assert list(base.getUtilitiesFor(IPet)) == []
# Every utility, the hidden base one included, each once.
assert sorted(u.label for u in local.getAllUtilitiesRegisteredFor(IAnimal)) == ["bob", "made", "rex", "tom"]
local.registerUtility(tom, IAnimal, "again")
assert sum(u is tom for u in local.getAllUtilitiesRegisteredFor(IAnimal)) == 1

# Provided cannot be inferred from none or several interfaces.
class Both:
    pass
implementer(IAnimal, IWorker)(Both)
for component in (object(), Both()):
    raises(TypeError, local.registerUtility, component, match="provided")
# A class implementing an interface and its extension provides the extension.
@implementer(IAnimal, IPet)
class Redundant:
    pass
local.registerUtility(Redundant(), name="both")
assert type(local.getUtility(IPet, "both")) is Redundant
""")


def test_adapters_with_inferred_and_explicit_specifications(run):
    run("""
registry = Components()
pet, animal, thing = Pet("rex"), Animal("tom"), object()

@implementer(IGreeting)
def greet(animal):
    return ("hello", animal.label)

class Shout:
    def __call__(self, animal):
        return ("HEY", animal.label)
implementer(IGreeting)(Shout)       # the callable object's class declares what it makes

@adapter_for(IPet, None)
@implementer(IGreeting)
def pair(pet, other):
    return ("pair", pet.label, other)

def plain(ob):
    return ("plain", ob)

for factory, required, provided, name, ob, expected in [
    (Name, None, None, "", animal, "Name"),                 # both from declarations
    (greet, [IAnimal], None, "greet", pet, ("hello", "rex")),
    (Shout(), [Pet], None, "shout", pet, ("HEY", "rex")),    # a class as the required entry
    (plain, [None], IGreeting, "any", thing, ("plain", thing)),
    (plain, (IWorker,), IGreeting, "", None, None),         # registered for something the objects lack
]:
    registry.registerAdapter(factory, required, provided, name)
    if ob is not None:
        found = registry.getAdapter(ob, IName if factory is Name else IGreeting, name)
        assert (type(found).__name__ if factory is Name else found) == expected, (factory, found)

# The most specific registration wins; None from a factory means no adapter.
registry.registerAdapter(lambda ob: ("for pets", ob.label), [IPet], IGreeting, "greet")
assert registry.getAdapter(pet, IGreeting, "greet") == ("for pets", "rex")
assert registry.getAdapter(animal, IGreeting, "greet") == ("hello", "tom")
registry.registerAdapter(lambda ob: None, [IAnimal], IGreeting, "none")
assert registry.queryAdapter(pet, IGreeting, "none", "default") == "default"
raises(ComponentLookupError, registry.getAdapter, pet, IGreeting, "none", match="IGreeting")
raises(ComponentLookupError, registry.getAdapter, thing, IName, match="no adapter to IName")

# What cannot be inferred is refused, naming the argument.
raises(TypeError, registry.registerAdapter, plain, None, IGreeting, match="required")
raises(TypeError, registry.registerAdapter, plain, [IAnimal], match="provided")
raises(TypeError, adapter_for, match="adapter_for")
raises(TypeError, adapter_for, "IAnimal", match="adapter_for")

# Interfaces adapt through the global registry once trel.component is imported.
global_registry.registerAdapter(Name)
assert type(IName(animal)).__name__ == "Name" and IName(thing, "no") == "no"
""")


def test_multi_adapters(run):
    run("""
registry = Components()
pet, animal, thing = Pet("rex"), Animal("tom"), object()

@adapter_for(IAnimal, IWorker)
@implementer(IGreeting)
def works(animal, worker):
    return ("works", animal.label)

worker = Thing(); alsoProvides(worker, IWorker)
registry.registerAdapter(works)
registry.registerAdapter(lambda a, b: ("pets", a.label, b.label), [IPet, IAnimal], IGreeting, "two")
registry.registerAdapter(lambda a, b: ("any", a.label), [IAnimal, None], IGreeting, "two")
registry.registerAdapter(lambda a, b: None, [IAnimal, None], IGreeting, "never")

for objects, name, expected in [
    ((pet, worker), "", ("works", "rex")),
    ([animal, worker], "", ("works", "tom")),
    ((pet, animal), "two", ("pets", "rex", "tom")),
    ((animal, pet), "two", ("any", "tom")),    # left to right: the first object's specificity decides
    ((pet, thing), "two", ("any", "rex")),
    ((thing, pet), "two", None),
    ((pet, thing), "never", None),
]:
    assert registry.queryMultiAdapter(objects, IGreeting, name) == expected, (objects, name)
raises(ComponentLookupError, registry.getMultiAdapter, (thing, pet), IGreeting, "two", match="two")

# getAdapters: every name that applies and gives something.
assert dict(registry.getAdapters((pet, animal), IGreeting)) == {"two": ("pets", "rex", "tom")}
assert dict(registry.getAdapters((pet, worker), IGreeting)) == {"": ("works", "rex"), "two": ("any", "rex")}
raises(TypeError, registry.getMultiAdapter, pet, IGreeting, match="objects")
""")


def test_subscribers_and_handlers(run):
    run("""
base = Components("base")
registry = Components("local", [base])
pet, animal = Pet("rex"), Animal("tom")

calls = []
def subscriber(label, result=True):
    return lambda *obs: calls.append(label) or ((label, *[o.label for o in obs]) if result else None)

registry.registerSubscriptionAdapter(subscriber("pet"), [IPet], IGreeting)
registry.registerSubscriptionAdapter(subscriber("animal"), [IAnimal], IGreeting)
base.registerSubscriptionAdapter(subscriber("base"), [IPet], IGreeting)
registry.registerSubscriptionAdapter(subscriber("quiet", result=False), [IAnimal], IGreeting)
registry.registerSubscriptionAdapter(subscriber("other interface"), [IAnimal], IName)

# Base registries first, then the most general registrations; None results dropped.
assert registry.subscribers((pet,), IGreeting) == [("base", "rex"), ("animal", "rex"), ("pet", "rex")]
assert calls == ["base", "animal", "quiet", "pet"]
assert registry.subscribers([animal], IGreeting) == [("animal", "tom")]

@adapter_for(IAnimal)
def on_animal(ob):
    calls.append(("animal", ob.label))

calls.clear()
registry.registerHandler(lambda ob: calls.append(("pet", ob.label)), [IPet])
registry.registerHandler(on_animal)
base.registerHandler(lambda ob: calls.append(("base", ob.label)), [IAnimal])
registry.registerHandler(lambda a, b: calls.append(("two", a.label, b.label)), [IAnimal, IAnimal])
assert registry.handle(pet) is None
assert calls == [("base", "rex"), ("animal", "rex"), ("pet", "rex")], calls
calls.clear()
registry.handle(animal, pet)
assert calls == [("two", "tom", "rex")]
calls.clear()
registry.registerHandler(on_animal)        # registered twice: called twice
registry.handle(animal)
assert calls == [("base", "tom"), ("animal", "tom"), ("animal", "tom")]
# Handlers are not subscription adapters, nor the other way round.
assert registry.subscribers((pet,), IName) == [("other interface", "rex")]
raises(TypeError, registry.subscribers, (pet,), None, match="provided")
""")


def test_unregistering(run):
    run("""
registry = Components()
seen = events_of(registry)
tom, other = Animal("tom"), Animal("other")
calls = []

def greet(ob):
    calls.append("greet")
    return "hi"

def shout(ob):
    return "HI"

class Owner:
    def handler(self, ob):
        calls.append("owner")
owner = Owner()

registry.registerUtility(tom, IAnimal, "tom")
registry.registerUtility(factory=Pet, provided=IPet)
registry.registerAdapter(greet, [IAnimal], IGreeting)
registry.registerSubscriptionAdapter(greet, [IAnimal], IGreeting)
registry.registerSubscriptionAdapter(greet, [IAnimal], IGreeting)
registry.registerSubscriptionAdapter(shout, [IAnimal], IGreeting)
registry.registerHandler(owner.handler, [IAnimal])
registry.registerHandler(greet, [IAnimal])
seen.clear()

for call, args, removed, count in [
    (registry.unregisterUtility, (other, IAnimal, "tom"), False, 0),       # not the registered component
    (registry.unregisterUtility, (tom, IAnimal, "nobody"), False, 0),
    (registry.unregisterUtility, (tom, None, "tom"), True, 1),             # provided inferred
    (registry.unregisterUtility, (tom, None, "tom"), False, 0),
    (registry.unregisterUtility, (None, IPet, "", Animal), False, 0),      # not the registered factory
    (registry.unregisterUtility, (None, None, "", Pet), True, 1),
    (registry.unregisterAdapter, (shout, [IAnimal], IGreeting), False, 0),
    (registry.unregisterAdapter, (None, [IAnimal], IGreeting), True, 1),
    (registry.unregisterSubscriptionAdapter, (greet, [IAnimal], IGreeting), True, 2),  # every registration of it
    (registry.unregisterSubscriptionAdapter, (greet, [IAnimal], IGreeting), False, 0),
    (registry.unregisterHandler, (Owner().handler, [IAnimal]), False, 0),
    (registry.unregisterHandler, (owner.handler, [IAnimal]), True, 1),     # an equal bound method is the one
    (registry.unregisterSubscriptionAdapter, (None, [IAnimal], IGreeting), True, 1),  # all that is left there
    (registry.unregisterHandler, (None, [IPet]), False, 0),
]:
    before = len(seen)
    assert call(*args) is removed, (call.__name__, args)
    assert len(seen) - before == count and all(kind == "Unregistered" for kind, _ in seen[before:]), seen

pet = Pet()
assert registry.queryUtility(IAnimal, "tom") is None and registry.queryUtility(IPet) is None
assert registry.queryAdapter(pet, IGreeting) is None and registry.subscribers((pet,), IGreeting) == []
assert [r.handler for r in registry.registeredHandlers()][1:] == [greet]
calls.clear()
registry.handle(pet)
assert calls == ["greet"]
raises(TypeError, registry.unregisterAdapter, None, [IAnimal], match="required and provided")
raises(TypeError, registry.unregisterUtility, match="provided")
""")


def test_records(run):
    run("""
registry = Components("site")
tom = Animal("tom")

def greet(ob):
    return "hi"

registry.registerUtility(tom, IAnimal, "tom", info="the cat")
registry.registerAdapter(greet, [Animal, None], IGreeting, "greet", info="friendly")
registry.registerSubscriptionAdapter(greet, [IAnimal], IGreeting)
registry.registerHandler(greet, [IAnimal])
utility, adapter, subscription, handler = [next(iter(kind)) for kind in records(registry)]

for record, fields in [
    (utility, dict(registry=registry, required=(), provided=IAnimal, name="tom", component=tom, info="the cat")),
    (adapter, dict(required=(implementedBy(Animal), Interface), provided=IGreeting, name="greet", factory=greet)),
    (subscription, dict(required=(IAnimal,), provided=IGreeting, name="", factory=greet, info="")),
    (handler, dict(required=(IAnimal,), provided=None, name="", handler=greet, factory=greet)),
]:
    for field, value in fields.items():
        assert getattr(record, field) == value, (record, field)

assert repr(utility) == "UtilityRegistration(<Components 'site'>, IAnimal, 'tom', Animal('tom'), 'the cat')"
assert repr(adapter) == (f"AdapterRegistration(<Components 'site'>, [{__name__}.Animal, Interface], IGreeting, "
                         "'greet', greet, 'friendly')"), repr(adapter)
assert repr(handler) == "HandlerRegistration(<Components 'site'>, [IAnimal], greet)"

# Equal when they record the same registration; hashing agrees.
same = UtilityRegistration(registry, IAnimal, "tom", tom, "the cat")
for other, equal in [
    (same, True),
    (UtilityRegistration(registry, IAnimal, "tom", Animal("tom"), "the cat"), False),   # another component
    (UtilityRegistration(Components("site"), IAnimal, "tom", tom, "the cat"), False),   # another registry
    (UtilityRegistration(registry, IAnimal, "tom", tom, "other info"), False),
    (AdapterRegistration(registry, (), IAnimal, "tom", tom, "the cat"), False),        # another kind
]:
    assert (utility == other) is equal and (utility != other) is not equal, other
assert hash(utility) == hash(same) and len({utility, same, adapter, subscription, handler}) == 4
assert subscription != adapter

# A record pickles with its registry.
copy = pickle.loads(pickle.dumps(adapter))
assert copy.registry is not registry and copy.required == adapter.required and copy.factory is greet
""")


def test_events(run):
    run("""
registry = Components()
seen = []
registry.registerHandler(lambda event: seen.append(event), [IRegistrationEvent])
registered = seen[0]
assert IRegistered.providedBy(registered) and not IUnregistered.providedBy(registered)
assert registered.object == next(registry.registeredHandlers()) and repr(registered).startswith("Registered(Handler")
seen.clear()

tom, rex = Animal("tom"), Pet("rex")
def greet(ob):
    return "hi"

def kinds():
    found = [(type(event).__name__, type(event.object).__name__) for event in seen]
    seen.clear()
    return found

for step, expected in [
    (lambda: registry.registerUtility(tom), [("Registered", "UtilityRegistration")]),
    (lambda: registry.registerUtility(tom), []),                       # the same again: nothing happens
    (lambda: registry.registerUtility(rex, IAnimal),                   # a replacement: the old one goes first
        [("Unregistered", "UtilityRegistration"), ("Registered", "UtilityRegistration")]),
    (lambda: registry.registerAdapter(greet, [IAnimal], IGreeting), [("Registered", "AdapterRegistration")]),
    (lambda: registry.registerSubscriptionAdapter(greet, [IAnimal], IGreeting),
        [("Registered", "SubscriptionRegistration")]),
    (lambda: registry.unregisterAdapter(greet, [IAnimal], IGreeting), [("Unregistered", "AdapterRegistration")]),
    (lambda: registry.unregisterAdapter(greet, [IAnimal], IGreeting), []),
    (lambda: registry.unregisterSubscriptionAdapter(greet, [IAnimal], IGreeting),
        [("Unregistered", "SubscriptionRegistration")]),
]:
    step()
    assert kinds() == expected, expected

# The event's record describes what changed; a handler can query the registry at once.
answers = []
registry.registerHandler(lambda event: answers.append(registry.queryUtility(IWorker)), [IRegistered])
worker = Thing(); alsoProvides(worker, IWorker)
registry.registerUtility(worker)
assert answers == [None, worker] and seen[-1].object.component is worker

# Handlers in a base registry hear about changes to registries built on it.
site_events = []
site = Components("site")
site.registerHandler(site_events.append, [IUnregistered])
child = Components("child", [site])
child.registerUtility(tom, IAnimal, "x")
child.unregisterUtility(tom, IAnimal, "x")
assert [e.object.registry for e in site_events] == [child]
""")


def test_bases_changing_after_lookups(run):
    run("""
root, middle, local = Components("root"), Components("middle"), Components("local")
middle.__bases__ = [root]
local.__bases__ = (middle,)
tom, rex, bob = Animal("tom"), Animal("rex"), Animal("bob")
def greet(ob):
    return ("greet", ob.label)

assert local.queryUtility(IAnimal) is None and local.queryAdapter(tom, IGreeting) is None  # cached misses
root.registerUtility(tom, IAnimal)
root.registerAdapter(greet, [IAnimal], IGreeting)
root.registerHandler(lambda ob: calls.append("root"), [IAnimal])
calls = []
assert local.getUtility(IAnimal) is tom and local.getAdapter(tom, IGreeting) == ("greet", "tom")
local.handle(tom)
assert calls == ["root"]

middle.registerUtility(rex, IAnimal)          # a nearer base now hides the root's
assert local.getUtility(IAnimal) is rex
middle.unregisterUtility(rex, IAnimal)
assert local.getUtility(IAnimal) is tom
root.unregisterAdapter(greet, [IAnimal], IGreeting)
assert local.queryAdapter(tom, IGreeting) is None

# Rebasing: the resolution order follows, and so do the answers.
other = Components("other")
other.registerUtility(bob, IAnimal)
local.__bases__ = [other, middle]
assert local.__bases__ == (other, middle) and local.getUtility(IAnimal) is bob
assert list(local.getUtilitiesFor(IAnimal)) == [("", bob)]
middle.__bases__ = []
assert [u.label for u in local.getAllUtilitiesRegisteredFor(IAnimal)] == ["bob"]

# A base that is the registry itself, or built on it, would make a cycle.
for bad in ([local], [Components("x", [local])]):
    raises(ValueError, setattr, local, "__bases__", bad, match="cycle")
assert local.__bases__ == (other, middle)
raises(TypeError, Components, "x", [root, "root"], match="bases")
raises(TypeError, Components, "x", root, match="bases")
""")


def test_scopes_across_threads_and_tasks(run):
    run("""
import asyncio, importlib, threading

assert current_registry() is global_registry

tom = Animal("tom")
provideUtility(tom, IAnimal, "global")
provideAdapter(Name)
a, b = Components("a"), Components("b", [global_registry])
a.registerUtility(Animal("a"), IAnimal, "global")
b.registerAdapter(lambda ob: ("b", ob.label), [IAnimal], IName)

with registry_scope(a) as chosen:
    assert chosen is a and current_registry() is a and getUtility(IAnimal, "global").label == "a"
    assert queryAdapter(tom, IName) is None and IName(tom, None) is None   # the hook follows the scope
    with registry_scope(b):
        assert getUtility(IAnimal, "global") is tom and IName(tom) == ("b", "tom") and getAdapter(tom, IName)
    provideUtility(Animal("only in a"), IAnimal, "scoped")
assert queryUtility(IAnimal, "scoped") is None and a.queryUtility(IAnimal, "scoped").label == "only in a"
assert type(IName(tom)).__name__ == "Name"

# Each thread chooses for itself and starts from the global registry.
results = {}
barrier = threading.Barrier(4)
def worker(i):
    registry = Components(f"thread {i}")
    registry.registerUtility(Animal(str(i)), IAnimal, "global")
    fresh = current_registry() is global_registry
    with registry_scope(registry):
        barrier.wait()
        results[i] = (fresh, [getUtility(IAnimal, "global").label for _ in range(200)])
        barrier.wait()
threads = [threading.Thread(target=worker, args=(i,)) for i in range(4)]
with registry_scope(a):
    for t in threads: t.start()
    for t in threads: t.join()
assert results == {i: (True, [str(i)] * 200) for i in range(4)}, results

# Each task keeps the choice it was created with, and its own changes to it.
async def task(registry, label):
    with registry_scope(registry):
        await asyncio.sleep(0)
        first = getUtility(IAnimal, "global").label
        await asyncio.sleep(0.01)
        return first, getUtility(IAnimal, "global").label

async def main():
    return await asyncio.gather(task(a, "a"), task(global_registry, "g"), task(a, "a"))
assert asyncio.run(main()) == [("a", "a"), ("tom", "tom"), ("a", "a")]
raises(TypeError, registry_scope(object()).__enter__, match="components")

# Registering from several threads at once loses nothing.
shared = Components("shared")
def register(i):
    for n in range(100):
        shared.registerUtility(Animal(f"{i}.{n}"), IAnimal, f"{i}.{n}")
threads = [threading.Thread(target=register, args=(i,)) for i in range(4)]
for t in threads: t.start()
for t in threads: t.join()
assert len(list(shared.registeredUtilities())) == 400 == len(list(shared.getUtilitiesFor(IAnimal)))

# Importing again, even reloading, leaves one hook in place.
import trel.component
import trel.component.globalregistry as module
importlib.reload(module)
assert len(adapter_hooks) == 1 and adapter_hooks[0] is module._adapt_through_current_registry
""")


def test_pickling_round_trips(run):
    run("""
def greet(ob):
    return ("greet", ob.label)

def on_animal(ob):
    pass

site = Components("site", [global_registry])
local = Components("local", [site])
site.registerUtility(Animal("site"), IAnimal)
local.registerUtility(Pet("rex"), IPet, "rex", info="a dog")
local.registerUtility(factory=Pet, provided=IAnimal, name="made")
local.registerAdapter(greet, [Animal], IGreeting, "greet")
local.registerAdapter(Name)
local.registerSubscriptionAdapter(greet, [IAnimal], IGreeting)
local.registerHandler(on_animal, [IAnimal])
@implementer(IWorker)
class Keeper:
    def __init__(self, registry):
        self.registry = registry
local.registerUtility(Keeper(local))               # a utility that refers back to its registry
tom = Animal("tom")
assert local.getAdapter(tom, IGreeting, "greet")   # caches filled before pickling

for protocol in (2, pickle.HIGHEST_PROTOCOL):
    copy = pickle.loads(pickle.dumps(local, protocol))
    copied_site, = copy.__bases__
    assert copy.__name__ == "local" and copied_site.__name__ == "site" and copied_site is not site
    assert copied_site.__bases__ == (global_registry,)     # the global registry pickles by reference
    assert copy.getUtility(IAnimal).label == "site" and copy.getUtility(IPet, "rex").label == "rex"
    assert copy.getAdapter(tom, IGreeting, "greet") == ("greet", "tom") and type(copy.getAdapter(tom, IName)) is Name
    assert copy.subscribers((tom,), IGreeting) == [("greet", "tom")]
    assert copy.getUtility(IWorker).registry is copy
    for mine, theirs in zip(records(local), records(copy)):
        assert [(r.required, r.provided, r.name, r.info, type(r.value)) for r in mine] == [
            (r.required, r.provided, r.name, r.info, type(r.value)) for r in theirs]
        assert all(r.registry is copy for r in theirs)
    assert next(copy.registeredUtilities()).info == "a dog"
    made = next(r for r in copy.registeredUtilities() if r.name == "made")
    assert made.factory is Pet and type(made.component) is Pet
    # The copy is a registry of its own: changes stay on their side.
    copy.unregisterAdapter(greet, [Animal], IGreeting, "greet")
    copied_site.registerUtility(Animal("changed"), IAnimal)
    assert local.getAdapter(tom, IGreeting, "greet") and site.getUtility(IAnimal).label == "site"
    assert copy.getUtility(IAnimal).label == "changed"
assert pickle.loads(pickle.dumps(global_registry)) is global_registry
""")


def test_bad_input(run):
    run("""
registry = Components("r")
registry.registerUtility(Animal("tom"), IAnimal)
def greet(ob):
    return "hi"
registry.registerAdapter(greet, [IAnimal], IGreeting)
before = records(registry)

for error, call, args, kwargs, match in [
    (TypeError, Components, (3,), {}, "name"),
    (TypeError, registry.registerUtility, (), {}, "component or a factory"),
    (TypeError, registry.registerUtility, (Animal(),), {"factory": Animal}, "not both"),
    (TypeError, registry.registerUtility, (), {"factory": 3}, "factory"),
    (TypeError, registry.registerUtility, (), {"factory": lambda: None, "provided": IAnimal}, "returned None"),
    (TypeError, registry.registerUtility, (Animal(), "IAnimal"), {}, "provided"),
    (TypeError, registry.registerUtility, (Animal(), IAnimal, 3), {}, "name"),
    (TypeError, registry.registerUtility, (Animal(), IAnimal), {"info": 3}, "info"),
    (TypeError, registry.registerAdapter, (3, [IAnimal], IGreeting), {}, "factory"),
    (TypeError, registry.registerAdapter, (greet, IAnimal, IGreeting), {}, "required"),   # not a sequence
    (TypeError, registry.registerAdapter, (greet, "IAnimal", IGreeting), {}, "required"),
    (TypeError, registry.registerAdapter, (greet, [IAnimal, 3], IGreeting), {}, "required"),
    (TypeError, registry.registerAdapter, (greet, [IAnimal], Animal), {}, "provided"),
    (TypeError, registry.registerAdapter, (greet, [IAnimal], IGreeting, None), {}, "name"),
    (TypeError, registry.registerSubscriptionAdapter, (greet, [IAnimal]), {}, "provided"),
    (TypeError, registry.registerHandler, (greet, [object()]), {}, "required"),
    (TypeError, registry.registerHandler, ("greet", [IAnimal]), {}, "handler"),
    (TypeError, registry.getUtility, ("IAnimal",), {}, "provided"),
    (TypeError, registry.queryUtility, (IAnimal, 3), {}, "name"),
    (TypeError, registry.queryUtility, ([],), {}, "provided"),
    (TypeError, registry.getAdapter, (Animal(), IGreeting, 3), {}, "name"),
    (TypeError, registry.queryAdapter, (Animal(), "IGreeting"), {}, "provided"),
    (TypeError, registry.getUtilitiesFor, (None,), {}, "provided"),
    (TypeError, registry.subscribers, ((Animal(),), "IGreeting"), {}, "provided"),
    (TypeError, getUtility, (IAnimal, b"name"), {}, "name"),
    (TypeError, queryUtility, ("IAnimal",), {}, "provided"),
]:
    raises(error, call, *args, match=match, **kwargs)
    assert records(registry) == before, (call.__name__, args)

# Refused registrations leave nothing behind, not even in the caches.
assert registry.queryAdapter(Animal(), IGreeting) == "hi" and list(registry.getUtilitiesFor(IAnimal))[0][0] == ""
""")
