"""How the framework's costs grow, on whichever core it chose.

bench/run.py runs this once per core. Two kinds of figures:

- building and declaring hierarchies of several sizes, in three shapes
  (a ladder whose every level has two interfaces extending both of the
  level below, a chain, a wide fan), so that the growth can be seen: the
  time for each size is the best of a few builds;
- the hit time of a registry query on registries holding 10, 1,000 and
  100,000 registrations, which should not grow.

Prints one JSON object: {"core": ..., "build": {shape: {size: ms}}, "hit": {count: ns}}.
"""

import json
import sys
import time

from timing import Timer, time_rounds

import trel.interface
from trel.interface import AdapterRegistry, Interface, InterfaceClass, implementer

TRIES = 3


def ladder(levels):
    level = [Interface]
    for i in range(levels):
        level = [InterfaceClass(f"L{i}{side}", level, __module__="scale") for side in "ab"]
    implementer(*level)(type("Declared", (), {}))


def chain(length):
    last = Interface
    for i in range(length):
        last = InterfaceClass(f"C{i}", (last,), __module__="scale")
    implementer(last)(type("Declared", (), {}))


def fan(width):
    bases = [InterfaceClass(f"F{i}", __module__="scale") for i in range(width)]
    implementer(InterfaceClass("All", bases, __module__="scale"))(type("Declared", (), {}))


SHAPES = {
    "ladder (levels)": (ladder, (10, 20, 40, 80)),
    "chain (interfaces)": (chain, (250, 500, 1000, 2000)),
    "fan (bases)": (fan, (100, 200, 400, 800)),
}
COUNTS = (10, 1_000, 100_000)


def best_ms(build, size):
    best = float("inf")
    for _ in range(TRIES):
        start = time.perf_counter()
        build(size)
        best = min(best, time.perf_counter() - start)
    return best * 1000


def hit_rows():
    """A query hit on registries of growing size: the same interface and
    object, among more and more other registrations."""
    provided = InterfaceClass("IProvided", __module__="scale")
    required = InterfaceClass("IRequired", __module__="scale")

    @implementer(required)
    class Thing:
        pass

    ob = Thing()
    others = [InterfaceClass(f"R{i}", __module__="scale") for i in range(max(COUNTS))]
    rows = {}
    for count in COUNTS:
        registry = AdapterRegistry()
        for other in others[: count - 1]:
            registry.register([other], provided, "", lambda ob: ob)
        registry.register([required], provided, "", lambda ob: "hit")
        assert registry.queryAdapter(ob, provided) == "hit"
        rows[count] = lambda registry=registry: registry.queryAdapter(ob, provided)
    return rows


def main():
    build = {name: {size: best_ms(fn, size) for size in sizes} for name, (fn, sizes) in SHAPES.items()}
    hits = hit_rows()
    samples = time_rounds([Timer(call) for call in hits.values()], 7)
    hit = {count: sorted(values)[len(values) // 2] for count, values in zip(hits, samples)}
    json.dump({"core": trel.interface.CORE, "build": build, "hit": hit}, sys.stdout)


if __name__ == "__main__":
    main()
