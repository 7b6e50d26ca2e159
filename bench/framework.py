"""End-to-end rows through the framework, on whichever core it chose.

bench/run.py runs this script once per core (the framework picks its core
when imported, so each core gets an interpreter of its own) and compares
the two. It prints one JSON object: the core, the nanoseconds per call of
each row in every round, and the memory that registrations and cached
answers take.
"""

import functools
import gc
import json
import random
import sys
import tracemalloc

from timing import Timer, time_rounds

import trel.interface
from trel.interface import (
    AdapterRegistry,
    Interface,
    InterfaceClass,
    adapter_hooks,
    classImplements,
    implementer,
    providedBy,
    verifyObject,
)

# The mixed workload's shape.
INTERFACES = 60
CLASSES = 120
REGISTRATIONS = 400
APPLICATIONS = 4
STREAM = 10_000  # operations per timed call
REGISTER_EVERY = 5_000  # one registration in this many operations


def roads():
    """The two roads: one adaptation, one registry query with a base registry."""

    class IGreeter(Interface):
        def greet(name):
            "A greeting."

    class IFormal(Interface):
        pass

    @implementer(IGreeter)
    class Greeter:
        pass

    class Formal:
        def __init__(self, context):
            self.context = context

    base = AdapterRegistry()
    local = AdapterRegistry([base])
    class IPolite(Interface):
        pass

    def polite(context):
        return context

    base.register([IGreeter], IFormal, "", Formal)
    base.register([IGreeter], IPolite, "", polite)
    ob = Greeter()
    assert IGreeter(ob) is ob
    assert type(local.queryAdapter(ob, IFormal)) is Formal and local.queryAdapter(ob, IPolite) is ob
    # Other registrations in the site, so that the miss walks something.
    for i in range(30):
        base.register([IGreeter], InterfaceClass(f"IOther{i}", __module__="bench"), "", polite)
    lookup = local._v_lookup

    def first_after_change():
        # What a registration leaves: the application's answers dropped.
        lookup.changed(None)
        return local.queryAdapter(ob, IPolite)

    assert first_after_change() is ob
    return {
        "adaptation: iface(ob), ob provides it": lambda: IGreeter(ob),
        "registry query: queryAdapter(ob, iface), base registry": lambda: local.queryAdapter(ob, IPolite),
        "  the same, adapter class as factory": lambda: local.queryAdapter(ob, IFormal),
        "first query after a change (a miss through the application and site registries)": first_after_change,
    }


def declaring():
    """Defining an interface, declaring what a class implements, and
    verifying an object against an interface."""

    class IShape(Interface):
        def area():
            "Its area."

    def move(x, y, relative=False):
        "Move it."

    def scale(factor, *args, **kw):
        "Scale it."

    attrs = {"__doc__": "A movable shape.", "move": move, "scale": scale}

    @implementer(IShape)
    class Shape:
        def area(self):
            return 0

        def move(self, x, y, relative=False):
            pass

        def scale(self, factor, *args, **kw):
            pass

    IMovable = InterfaceClass("IMovable", (IShape,), attrs, __module__="bench")
    shape = Shape()
    classImplements(Shape, IMovable)
    assert verifyObject(IMovable, shape)
    return {
        "interface creation: 2 methods, 1 base": lambda: InterfaceClass("IMovable", (IShape,), attrs),
        "implementer(iface) on a new class (its creation included)": lambda: implementer(IShape)(type("C", (), {})),
        "verifyObject(iface, ob): 3 methods": lambda: verifyObject(IMovable, shape),
    }


def mixed_workload(seed=7):
    """Many interfaces, classes and registrations; a stream of queries and
    adaptations with an occasional registration in between."""
    rng = random.Random(seed)
    interfaces = [Interface]
    for i in range(INTERFACES):
        bases = tuple(rng.sample(interfaces, k=min(len(interfaces), rng.choice((1, 1, 2)))))
        interfaces.append(InterfaceClass(f"I{i}", bases, __module__="workload"))
    interfaces = interfaces[1:]
    classes = []
    for i in range(CLASSES):
        bases = (rng.choice(classes),) if classes and rng.random() < 0.5 else ()
        cls = type(f"C{i}", bases or (object,), {})
        implementer(*rng.sample(interfaces, k=rng.choice((1, 2, 3))))(cls)
        classes.append(cls)
    objects = [cls() for cls in classes]
    site = AdapterRegistry()
    applications = [AdapterRegistry([site]) for _ in range(APPLICATIONS)]
    targets = interfaces[-20:]
    for i in range(REGISTRATIONS):
        registry = site if i % 4 else rng.choice(applications)
        registry.register([rng.choice(interfaces)], rng.choice(targets), "", lambda ob: ob)
    hook_registry = applications[0]
    adapter_hooks.append(hook_registry.adapter_hook)

    # As in applications, a few classes and interfaces are asked about far
    # more often than the rest (weights falling off as 1/rank).
    def skewed(items):
        return rng.choices(items, weights=[1 / (rank + 1) for rank in range(len(items))], k=STREAM)

    # Each operation is bound beforehand, so the stream's own loop costs
    # little beside the framework calls it makes.
    operations = []
    for kind, ob, iface in zip([rng.random() for _ in range(STREAM)], skewed(objects), skewed(targets)):
        if kind < 0.45:
            operations.append(functools.partial(rng.choice(applications).queryAdapter, ob, iface))
        elif kind < 0.8:
            operations.append(functools.partial(iface, ob, None))
        else:
            operations.append(functools.partial(iface.providedBy, ob))
    toggles = [(rng.choice(applications[1:]), rng.choice(interfaces), rng.choice(targets)) for _ in range(8)]
    factory = lambda ob: ob  # noqa: E731
    state = {"turn": 0}

    def toggle():
        # Register an adapter, or drop it again, so that every pass over the
        # stream sees the same registry contents.
        turn = state["turn"]
        state["turn"] = turn + 1
        registry, required, provided = toggles[turn % len(toggles)]
        if registry.registered([required], provided, "toggle") is None:
            registry.register([required], provided, "toggle", factory)
        else:
            registry.unregister([required], provided, "toggle")

    for start in range(REGISTER_EVERY - 1, STREAM, REGISTER_EVERY):
        operations[start] = toggle

    def stream():
        for operation in operations:
            operation()

    stream()
    return {f"mixed workload: {STREAM} operations, 1 registration per {REGISTER_EVERY}": stream}


def memory_per_adapter(count=2000):
    """Bytes per registration, and per cached answer, traced by tracemalloc."""
    required = [InterfaceClass(f"R{i}", __module__="memory") for i in range(count)]
    provided = InterfaceClass("P", __module__="memory")
    registry = AdapterRegistry()
    specs = [required[i] for i in range(count)]
    factories = [lambda ob: ob for _ in range(count)]
    gc.collect()
    tracemalloc.start()
    before = tracemalloc.get_traced_memory()[0]
    for spec, factory in zip(specs, factories):
        registry.register([spec], provided, "", factory)
    registered = tracemalloc.get_traced_memory()[0]
    for spec in specs:
        registry.lookup1(spec, provided)
    cached = tracemalloc.get_traced_memory()[0]
    tracemalloc.stop()
    return {"registration": (registered - before) / count, "cached answer": (cached - registered) / count}


class IService(Interface):
    pass


@implementer(IService)
class Service:
    pass


def component_rows():
    """The component layer, each row beside what it is built on: utilities
    through the global functions, an adapter through Components.getAdapter
    and through its AdapterRegistry, an event through handle and by hand."""

    class IGreeter(Interface):
        pass

    class IFormal(Interface):
        pass

    class IEvent(Interface):
        pass

    @implementer(IGreeter)
    class Greeter:
        pass

    class Formal:
        def __init__(self, context):
            self.context = context

    @implementer(IEvent)
    class Event:
        pass

    import trel.component
    from trel.component import Components

    # Importing trel.component adds a hook that interface calls consult; the
    # rows above time the interface layer with the hooks they install, and
    # the component rows adapt through registries, so it is taken out.
    adapter_hooks.remove(trel.component.globalregistry._adapt_through_current_registry)
    trel.component.provideUtility(Service())
    trel.component.provideUtility(Service(), IService, "named")
    registry = Components("bench", [trel.component.global_registry])
    registry.registerAdapter(Formal, [IGreeter], IFormal)
    handled = []
    handlers = [handled.append, lambda event: None, lambda event: None]
    for handler in handlers:
        registry.registerHandler(handler, [IEvent])
    ob, event = Greeter(), Event()
    getUtility, queryUtility = trel.component.getUtility, trel.component.queryUtility
    adapters, subscriptions = registry.adapters, registry.adapters.subscriptions

    def by_hand():
        subscriptions((providedBy(event),), None)
        for handler in handlers:
            handler(event)

    assert getUtility(IService) is queryUtility(IService, "") and type(queryUtility(IService, "named")) is Service
    assert type(registry.getAdapter(ob, IFormal)) is Formal and type(adapters.queryAdapter(ob, IFormal)) is Formal
    registry.handle(event)
    by_hand()
    assert handled == [event, event]
    handled.clear()
    handlers[0] = lambda event: None
    registry.unregisterHandler(handled.append, [IEvent])
    registry.registerHandler(handlers[0], [IEvent])
    return {
        "components: getUtility(iface)": lambda: getUtility(IService),
        "components: queryUtility(iface, name)": lambda: queryUtility(IService, "named"),
        "components: getAdapter(ob, iface)": lambda: registry.getAdapter(ob, IFormal),
        "  baseline: its AdapterRegistry.queryAdapter(ob, iface)": lambda: adapters.queryAdapter(ob, IFormal),
        "components: handle(event), 3 handlers": lambda: registry.handle(event),
        "  baseline: subscriptions lookup, 3 handlers from a list": by_hand,
    }


# The containers a user might pick instead, each getting a registered
# singleton; a peer that is not installed is reported, not measured.
def _dependency_injector():
    from dependency_injector import containers, providers

    class Container(containers.DeclarativeContainer):
        service = providers.Singleton(Service)
        instance = providers.Object(Service())

    container = Container()
    return {
        "dependency-injector: Singleton provider()": lambda: container.service(),
        "dependency-injector: Object provider()": lambda: container.instance(),
    }


def _injector():
    import injector

    container = injector.Injector()
    container.binder.bind(Service, to=Service, scope=injector.singleton)
    return {"injector: get(cls), singleton scope": lambda: container.get(Service)}


def _lagom():
    import lagom

    container = lagom.Container()
    container[Service] = Service()
    return {"lagom: container[cls], instance": lambda: container[Service]}


def _punq():
    import punq

    container = punq.Container()
    container.register(Service, instance=Service())
    return {"punq: resolve(cls), instance": lambda: container.resolve(Service)}


PEERS = {
    "dependency-injector": _dependency_injector,
    "injector": _injector,
    "lagom": _lagom,
    "punq": _punq,
}


def peer_rows():
    """The peers' rows, and the peers that could not be imported."""
    rows, missing = {}, []
    for name, make in PEERS.items():
        try:
            made = make()
        except ImportError:
            missing.append(name)
            continue
        for label, call in made.items():
            assert type(call()) is Service, label
        rows.update(made)
    return rows, missing


def memory_per_component(count=2000):
    """Bytes per utility and per adapter registered in a Components (its
    record included), traced by tracemalloc."""
    from trel.component import Components

    provided = InterfaceClass("P", __module__="memory")
    required = [InterfaceClass(f"R{i}", __module__="memory") for i in range(count)]
    names = [f"utility {i}" for i in range(count)]
    utilities = [Service() for _ in range(count)]
    factories = [lambda ob: ob for _ in range(count)]
    registry = Components("memory")
    gc.collect()
    tracemalloc.start()
    before = tracemalloc.get_traced_memory()[0]
    for name, utility in zip(names, utilities):
        registry.registerUtility(utility, IService, name)
    middle = tracemalloc.get_traced_memory()[0]
    for spec, factory in zip(required, factories):
        registry.registerAdapter(factory, [spec], provided)
    after = tracemalloc.get_traced_memory()[0]
    tracemalloc.stop()
    return {"utility": (middle - before) / count, "component adapter": (after - middle) / count}


def main():
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 11
    calls = {**roads(), **declaring(), **mixed_workload(), **component_rows()}
    # The peers do not depend on the core: they are timed beside the C++ one.
    peers, missing = peer_rows() if trel.interface.CORE == "c++" else ({}, [])
    memory = {**memory_per_adapter(), **memory_per_component()}
    gc.collect()
    gc.disable()
    samples = time_rounds([Timer(call) for call in [*calls.values(), *peers.values()]], rounds)
    json.dump(
        {
            "core": trel.interface.CORE,
            "rows": dict(zip(calls, samples)),
            "peers": dict(zip(peers, samples[len(calls) :])),
            "missing peers": missing,
            "memory": memory,
        },
        sys.stdout,
    )


if __name__ == "__main__":
    main()
