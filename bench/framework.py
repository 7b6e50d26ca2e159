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
    return {
        "adaptation: iface(ob), ob provides it": lambda: IGreeter(ob),
        "registry query: queryAdapter(ob, iface), base registry": lambda: local.queryAdapter(ob, IPolite),
        "  the same, adapter class as factory": lambda: local.queryAdapter(ob, IFormal),
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


def main():
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 11
    calls = {**roads(), **declaring(), **mixed_workload()}
    memory = memory_per_adapter()
    gc.collect()
    gc.disable()
    samples = time_rounds([Timer(call) for call in calls.values()], rounds)
    json.dump({"core": trel.interface.CORE, "rows": dict(zip(calls, samples)), "memory": memory}, sys.stdout)


if __name__ == "__main__":
    main()
