"""Times the core's operations against baselines measured in the same run,
then the framework end to end on each core, and draws the speedups.

Each case pairs one C++ operation with one or more baselines. Every callable
is a zero-argument lambda; its loop is timed in rounds, interleaved with the
other callables of its case and with a no-op lambda, so drift on a noisy
machine touches all of them alike. In each round a callable's cost per call
is its loop's time less the no-op lambda's, which leaves the cost of the
expression inside the lambda; the table shows medians over the rounds.

To add a row, append a Case to the list built in ``cases()``.

The end-to-end rows (bench/framework.py) run the framework on the C++ core
and on the plain-Python core, each in interpreters of its own since the
framework picks its core at import; the two take turns, and each core's
figure is the median over all of its rounds. The speedups of the C++ core
over the plain-Python core, per operation, are drawn to bench/speedup.svg.

The component layer's rows (trel.component) are judged on the C++ core
against what they are built on and against the dependency-injection
containers a user might pick instead, timed in the same rounds; those
peers are optional (the ``bench`` extra), and a missing one is reported.
"""

import functools
import gc
import json
import os
import pathlib
import statistics
import subprocess
import sys
from dataclasses import dataclass, field
from typing import Callable, Optional

from timing import LOOP_NS, Timer

import _trel_interface_coptimizations as core
from trel.interface import _pure as pure
from trel.interface import declarations

ROUNDS = 21


@dataclass(frozen=True)
class Target:
    kind: str  # "faster": baseline/C++ >= value; "at_most": C++/baseline <= value
    value: float

    def describe(self) -> str:
        return f">= {self.value:g}x faster" if self.kind == "faster" else f"C++ <= {self.value:g}x"

    def holds(self, cpp_over_baseline: float) -> bool:
        if self.kind == "faster":
            return cpp_over_baseline * self.value <= 1
        return cpp_over_baseline <= self.value


def faster(value: float) -> Target:
    return Target("faster", value)


def at_most(value: float) -> Target:
    return Target("at_most", value)


@dataclass
class Baseline:
    label: str
    call: Callable[[], object]
    target: Optional[Target] = None


@dataclass
class Case:
    name: str
    cpp: Callable[[], object]
    baselines: list = field(default_factory=list)


class PureImplements(pure.SpecificationBase):
    """What the plain-Python rows declare: the framework's declarations are
    built on the C++ core's types, so the plain core resolves through these."""

    def __init__(self, name, *implied):
        self.__name__ = name
        self._implied = dict.fromkeys((self, *implied), ())


def pure_fallback(cls):
    spec = getattr(cls, "__implemented__", None)
    return spec if isinstance(spec, PureImplements) else PURE_EMPTY


PURE_EMPTY = PureImplements("_empty")


def core_implements(name, *implied):
    """A declaration of the framework's kind that implies exactly ``implied``
    (and itself), as the plain-Python rows' declarations do."""
    spec = declarations.Implements(name)
    spec._implied = dict.fromkeys((spec, *implied), ())
    return spec


def cases():
    """The rows of the table: C++ objects against plain-Python ones."""
    pure.use_declarations({}, PURE_EMPTY, pure_fallback, PureImplements)

    # Interface-like specifications: Python subclasses of each core's base.
    class CoreInterface(core.SpecificationBase):
        pass

    class PureInterface(pure.SpecificationBase):
        pass

    def interfaces(kind):
        base, derived = kind(), kind()
        base._implied = {base: ()}
        derived._implied = {derived: (), base: ()}
        return base, derived

    c_base, c_derived = interfaces(CoreInterface)
    p_base, p_derived = interfaces(PureInterface)

    class CoreDeclared:
        __implemented__ = core_implements("CoreDeclared", c_derived)

    class PureDeclared:
        __implemented__ = PureImplements("PureDeclared", p_derived)

    c_ob, p_ob = CoreDeclared(), PureDeclared()

    d = {c_base: ()}
    key = c_base

    # Every case measures a hit; make sure it is one.
    assert c_derived(c_base) is True and p_derived(p_base) is True
    assert c_derived.isOrExtends(c_base) is True and p_derived.isOrExtends(p_base) is True
    assert c_derived.providedBy(c_ob) is True and p_derived.providedBy(p_ob) is True
    assert c_derived.implementedBy(CoreDeclared) is True and p_derived.implementedBy(PureDeclared) is True
    assert core.implementedBy(CoreDeclared) is CoreDeclared.__dict__["__implemented__"]
    assert pure.implementedBy(PureDeclared) is PureDeclared.__dict__["__implemented__"]
    assert core.providedBy(c_ob) is core.getObjectSpecification(c_ob) is core.implementedBy(CoreDeclared)
    assert pure.providedBy(p_ob) is pure.getObjectSpecification(p_ob) is pure.implementedBy(PureDeclared)
    assert d.__contains__(key) is True

    contains = Baseline("d.__contains__(k)", lambda: d.__contains__(key), at_most(2))
    lookups = lookup_cases(c_base, c_derived, c_ob, CoreDeclared, p_base, p_derived, p_ob)
    return [
        Case("spec(other), hit", lambda: c_derived(c_base), [
            contains,
            Baseline("pure spec(other)", lambda: p_derived(p_base)),
        ]),
        Case("spec.isOrExtends(other), hit", lambda: c_derived.isOrExtends(c_base), [
            contains,
            Baseline("pure isOrExtends", lambda: p_derived.isOrExtends(p_base)),
        ]),
        Case("spec.providedBy(ob), own __implemented__", lambda: c_derived.providedBy(c_ob), [
            Baseline("pure spec.providedBy", lambda: p_derived.providedBy(p_ob), faster(10)),
        ]),
        Case("implementedBy(cls), own __implemented__", lambda: core.implementedBy(CoreDeclared), [
            Baseline("pure implementedBy", lambda: pure.implementedBy(PureDeclared), faster(10)),
        ]),
        Case("spec.implementedBy(cls), own __implemented__", lambda: c_derived.implementedBy(CoreDeclared), [
            Baseline("pure spec.implementedBy", lambda: p_derived.implementedBy(PureDeclared)),
        ]),
        Case("providedBy(ob), class declares", lambda: core.providedBy(c_ob), [
            Baseline("pure providedBy", lambda: pure.providedBy(p_ob)),
        ]),
        Case("getObjectSpecification(ob), class declares", lambda: core.getObjectSpecification(c_ob), [
            Baseline("pure getObjectSpecification", lambda: pure.getObjectSpecification(p_ob)),
        ]),
        *interface_cases(),
        *descriptor_cases(),
        *lookups,
    ]


def descriptor_cases():
    """Classes that answer __providedBy__ through the descriptor."""

    class CoreInterface(core.InterfaceBase):
        pass

    class PureInterface(pure.InterfaceBase):
        pass

    c_iface, p_iface = CoreInterface("IFoo", "bench"), PureInterface("IFoo", "bench")

    class CoreDescribed:
        __providedBy__ = core.ObjectSpecificationDescriptor()
        __implemented__ = core_implements("CoreDescribed", c_iface)

    class PureDescribed:
        __providedBy__ = pure.ObjectSpecificationDescriptor()
        __implemented__ = PureImplements("PureDescribed", p_iface)

    c_ob, p_ob = CoreDescribed(), PureDescribed()
    assert c_ob.__providedBy__ is CoreDescribed.__implemented__
    assert p_ob.__providedBy__ is PureDescribed.__implemented__
    assert c_iface.providedBy(c_ob) is True and p_iface.providedBy(p_ob) is True

    return [
        Case("ob.__providedBy__, descriptor", lambda: c_ob.__providedBy__, [
            Baseline("pure descriptor", lambda: p_ob.__providedBy__, faster(10)),
        ]),
        Case("iface.providedBy(ob), descriptor", lambda: c_iface.providedBy(c_ob), [
            Baseline("pure iface.providedBy(ob)", lambda: p_iface.providedBy(p_ob), faster(10)),
        ]),
    ]


class TupleOrdered:
    """The plain-Python way to order by name, then module."""

    __slots__ = ("module", "name")

    def __init__(self, name, module):
        self.name, self.module = name, module

    def __eq__(self, other):
        return (self.name, self.module) == (other.name, other.module)

    def __lt__(self, other):
        return (self.name, self.module) < (other.name, other.module)

    __hash__ = None


def interface_cases():
    """Interfaces as the framework uses them: Python subclasses of the base."""

    class CoreInterface(core.InterfaceBase):
        def _call_conform(self, conform):
            return conform(self)

    class PureInterface(pure.InterfaceBase):
        def _call_conform(self, conform):
            return conform(self)

    class Plain:
        pass

    c_iface, p_iface = CoreInterface("IFoo", "bench"), PureInterface("IFoo", "bench")
    hash(c_iface), hash(p_iface)  # the cached hash is what is measured
    plain = Plain()

    names = [(f"I{(i * 7919) % 1000:04d}", f"mod{i % 7}") for i in range(1000)]
    c_list = [CoreInterface(n, m) for n, m in names]
    p_list = [PureInterface(n, m) for n, m in names]
    t_list = [TupleOrdered(n, m) for n, m in names]
    c_a, c_b = CoreInterface("IFoo", "bench"), CoreInterface("IFoo", "bench")
    p_a, p_b = PureInterface("IFoo", "bench"), PureInterface("IFoo", "bench")
    t_a, t_b = TupleOrdered("IFoo", "bench"), TupleOrdered("IFoo", "bench")

    class CoreProvider:
        __implemented__ = core_implements("CoreProvider", c_iface)

    class PureProvider:
        __implemented__ = PureImplements("PureProvider", p_iface)

    # Objects that provide something else: the hooks must answer.
    class CoreOther:
        __implemented__ = core_implements("CoreOther")

    class PureOther:
        __implemented__ = PureImplements("PureOther")

    c_provider, p_provider = CoreProvider(), PureProvider()
    c_other, p_other = CoreOther(), PureOther()
    adapter = object()

    def hook(iface, ob):
        return adapter

    core.adapter_hooks[:] = [hook]
    pure.adapter_hooks[:] = [hook]

    for ordered in (sorted(c_list), sorted(p_list)):
        assert [(i.__name__, i.__ibmodule__) for i in ordered] == sorted(names)
    assert c_a == c_b and p_a == p_b and t_a == t_b
    assert c_iface(c_provider) is c_provider and p_iface(p_provider) is p_provider
    assert c_iface(c_other) is adapter and p_iface(p_other) is adapter

    return [
        Case("hash(iface), cached", lambda: hash(c_iface), [
            Baseline("hash(object instance)", lambda: hash(plain), at_most(1.5)),
            Baseline("pure hash(iface)", lambda: hash(p_iface)),
        ]),
        Case("sorted(1,000 interfaces)", lambda: sorted(c_list), [
            Baseline("sorted((name, module) tuple class)", lambda: sorted(t_list), faster(5)),
            Baseline("pure sorted(interfaces)", lambda: sorted(p_list)),
        ]),
        Case("iface == equal iface", lambda: c_a == c_b, [
            Baseline("(name, module) tuple class ==", lambda: t_a == t_b, faster(5)),
            Baseline("pure iface ==", lambda: p_a == p_b),
        ]),
        Case("iface(ob), ob provides iface", lambda: c_iface(c_provider), [
            Baseline("pure iface(ob)", lambda: p_iface(p_provider), faster(10)),
        ]),
        Case("iface(ob), first hook answers", lambda: c_iface(c_other), [
            Baseline("pure iface(ob), hook", lambda: p_iface(p_other), faster(10)),
        ]),
    ]


def lookup_cases(c_required, c_provided, c_ob, c_cls, p_required, p_provided, p_ob):
    """Cache hits of the registry lookups, against plain Python and singledispatch."""

    def factory(ob):
        return ob

    def lookup_type(base):
        class Lookup(base):
            def _uncached_lookup(self, required, provided, *name):
                return factory

        return Lookup

    class Registry:
        def __init__(self):
            self._generation = 1

    def verifying(base):
        lookup = lookup_type(base)()
        lookup._registry = Registry()
        lookup._registry.ro = (lookup._registry, Registry(), Registry(), Registry())
        return lookup

    c_lookup, p_lookup = lookup_type(core.LookupBase)(), lookup_type(pure.LookupBase)()
    c_verifying, p_verifying = verifying(core.VerifyingBase), verifying(pure.VerifyingBase)

    @functools.singledispatch
    def dispatched(ob):
        return ob

    dispatched.register(c_cls, factory)
    dispatch = dispatched.dispatch

    c_required_tuple, p_required_tuple = (c_required,), (p_required,)
    for lookup, required in [(c_lookup, c_required), (c_verifying, c_required)]:
        assert lookup.lookup1(required, c_provided) is factory
    for lookup, required in [(p_lookup, p_required), (p_verifying, p_required)]:
        assert lookup.lookup1(required, p_provided) is factory
    assert c_lookup.lookup(c_required_tuple, c_provided) is p_lookup.lookup(p_required_tuple, p_provided)
    assert c_lookup.queryAdapter(c_ob, c_provided) is c_ob and p_lookup.queryAdapter(p_ob, p_provided) is p_ob
    assert dispatch(c_cls) is factory and dispatched(c_ob) is c_ob

    by_dispatch = Baseline("singledispatch dispatch(cls)", lambda: dispatch(c_cls), at_most(0.5))
    return [
        Case("LookupBase.lookup1(spec, provided), hit", lambda: c_lookup.lookup1(c_required, c_provided), [
            Baseline("pure lookup1", lambda: p_lookup.lookup1(p_required, p_provided), faster(8)),
            by_dispatch,
        ]),
        Case("LookupBase.lookup((spec,), provided), hit", lambda: c_lookup.lookup(c_required_tuple, c_provided), [
            Baseline("pure lookup", lambda: p_lookup.lookup(p_required_tuple, p_provided), faster(8)),
            by_dispatch,
        ]),
        Case("VerifyingBase.lookup1, hit, 4 in ro", lambda: c_verifying.lookup1(c_required, c_provided), [
            Baseline("pure verifying lookup1", lambda: p_verifying.lookup1(p_required, p_provided), faster(8)),
            by_dispatch,
        ]),
        Case("LookupBase.queryAdapter(ob, provided), hit", lambda: c_lookup.queryAdapter(c_ob, c_provided), [
            Baseline("singledispatch f(ob)", lambda: dispatched(c_ob), at_most(1)),
            Baseline("pure queryAdapter", lambda: p_lookup.queryAdapter(p_ob, p_provided)),
        ]),
    ]


def run(case_list):
    """Per callable, its cost in each round: the loop's time per call less
    the no-op's, timed just before it in the same round."""
    noop = Timer(lambda: None)
    groups = []
    for case in case_list:
        timers = {id(case.cpp): Timer(case.cpp)}
        for baseline in case.baselines:
            if id(baseline.call) not in timers:
                timers[id(baseline.call)] = Timer(baseline.call)
        groups.append(list(timers.values()))
    samples = {id(timer.call): [] for timers in groups for timer in timers}
    overhead = []
    for _ in range(ROUNDS):
        for timers in groups:
            base = noop.measure()
            overhead.append(base)
            for timer in timers:
                samples[id(timer.call)].append(timer.measure() - base)
    return samples, statistics.median(overhead)


def ratio_text(target, cpp_over_baseline):
    if target is not None and target.kind == "at_most":
        return f"C++ = {cpp_over_baseline:.2f}x"
    return f"{1 / cpp_over_baseline:.1f}x faster"


def report(case_list, samples, noop_ns):
    # A noisy machine slows whole stretches of the run; a callable and its
    # baseline timed side by side slow alike, so their ratio is taken round
    # by round and the median of those is what the targets are judged on.
    header = ("operation", "C++ ns/call", "baseline", "baseline ns/call", "ratio", "target")
    rows, held, total = [], 0, 0
    for case in case_list:
        cpp = samples[id(case.cpp)]
        for i, baseline in enumerate(case.baselines):
            base = samples[id(baseline.call)]
            relative = statistics.median(c / b if b > 0 else float("inf") for c, b in zip(cpp, base))
            verdict = ""
            if baseline.target is not None:
                ok = baseline.target.holds(relative)
                held += ok
                total += 1
                verdict = f"{baseline.target.describe()} {'PASS' if ok else 'MISS'}"
            rows.append((
                case.name if i == 0 else "",
                f"{statistics.median(cpp):.1f}" if i == 0 else "",
                baseline.label,
                f"{statistics.median(base):.1f}",
                ratio_text(baseline.target, relative),
                verdict,
            ))
    widths = [max(len(row[i]) for row in (header, *rows)) for i in range(len(header))]
    numeric = {1, 3}

    def line(row):
        cells = (cell.rjust(w) if i in numeric else cell.ljust(w) for i, (cell, w) in enumerate(zip(row, widths)))
        return " | ".join(cells).rstrip()

    print(line(header))
    print("-+-".join("-" * w for w in widths))
    for row in rows:
        print(line(row))
    print()
    print(f"Medians of {ROUNDS} interleaved rounds of ~{LOOP_NS // 1_000_000} ms loops; ratios are medians of "
          f"per-round ratios; {noop_ns:.1f} ns/call of no-op lambda subtracted.")
    print(f"Python {sys.version.split()[0]}. Targets held: {held} of {total}.")


BENCH = pathlib.Path(__file__).resolve().parent
FRAMEWORK_PASSES = 3  # turns per core
FRAMEWORK_ROUNDS = 7  # rounds per turn
FRAMEWORK_TARGETS = {
    "adaptation: iface(ob), ob provides it": 10,
    "registry query: queryAdapter(ob, iface), base registry": 10,
    "mixed workload": 10,
    "first query after a change": 5,
}


def framework_target(name):
    return next((value for prefix, value in FRAMEWORK_TARGETS.items() if name.startswith(prefix)), None)


def run_framework():
    """Per core, every round's ns/call of each end-to-end row, and memory;
    the peers' rows (timed beside the C++ core's) and the missing peers."""
    samples = {"c++": {}, "python": {}}
    memory = {}
    peers, missing = {}, []
    for _ in range(FRAMEWORK_PASSES):
        for core_name, flag in (("c++", "0"), ("python", "1")):
            done = subprocess.run(
                [sys.executable, str(BENCH / "framework.py"), str(FRAMEWORK_ROUNDS)],
                env={**os.environ, "TREL_INTERFACE_PURE": flag},
                capture_output=True,
                text=True,
                check=True,
            )
            data = json.loads(done.stdout)
            assert data["core"] == core_name, (data["core"], core_name)
            for name, values in data["rows"].items():
                samples[core_name].setdefault(name, []).extend(values)
            for name, values in data["peers"].items():
                peers.setdefault(name, []).extend(values)
            missing = data["missing peers"] or missing
            memory[core_name] = data["memory"]
    return samples, memory, peers, missing


def duration(ns):
    return f"{ns / 1e6:.2f} ms" if ns >= 1e6 else f"{ns:.0f} ns"


def report_framework(samples, memory):
    header = ("end to end through the framework", "C++ core", "Python core", "speedup", "target")
    rows, speedups, held, total = [], [], 0, 0
    for name, cpp_values in samples["c++"].items():
        cpp, python = statistics.median(cpp_values), statistics.median(samples["python"][name])
        speedup = python / cpp
        target = framework_target(name)
        verdict = ""
        if target is not None:
            ok = speedup >= target
            held += ok
            total += 1
            verdict = f">= {target}x {'PASS' if ok else 'MISS'}"
        rows.append((name, duration(cpp), duration(python), f"{speedup:.1f}x", verdict))
        speedups.append((name.strip(), speedup, target))
    widths = [max(len(row[i]) for row in (header, *rows)) for i in range(len(header))]
    print()
    for row in (header, None, *rows):
        if row is None:
            print("-+-".join("-" * w for w in widths))
            continue
        cells = (cell.rjust(w) if i in (1, 2, 3) else cell.ljust(w) for i, (cell, w) in enumerate(zip(row, widths)))
        print(" | ".join(cells).rstrip())
    print()
    for core_name in ("c++", "python"):
        figures = memory[core_name]
        print(f"Memory on the {core_name} core: {figures['registration']:.0f} bytes per registered adapter, "
              f"{figures['cached answer']:.0f} bytes per cached answer (tracemalloc).")
    print(f"Medians of {FRAMEWORK_PASSES} turns x {FRAMEWORK_ROUNDS} rounds per core, the cores taking turns. "
          f"Targets held: {held} of {total}.")
    return speedups


# The component layer on the C++ core against what it is built on and against
# the containers a user might pick instead: (row, compared with, target).
GET_UTILITY = "components: getUtility(iface)"
QUERY_UTILITY = "components: queryUtility(iface, name)"
FASTEST_PEER = "dependency-injector: Singleton provider()"
RESOLVING_PEER = "injector: get(cls), singleton scope"
COMPONENT_TARGETS = [
    (GET_UTILITY, FASTEST_PEER, at_most(1)),
    (GET_UTILITY, RESOLVING_PEER, faster(10)),
    (QUERY_UTILITY, FASTEST_PEER, at_most(1)),
    (QUERY_UTILITY, RESOLVING_PEER, faster(10)),
    ("components: getAdapter(ob, iface)", "  baseline: its AdapterRegistry.queryAdapter(ob, iface)", at_most(1.2)),
    ("components: handle(event), 3 handlers", "  baseline: subscriptions lookup, 3 handlers from a list", at_most(1.5)),
]


def report_components(samples, peers, missing, memory):
    """The component rows on the C++ core against their targets, and the
    peers without a target beside getUtility; ratios are medians of
    per-round ratios (every row and peer is timed in every round)."""
    cpp = samples["c++"]
    targeted = {(row, other) for row, other, _ in COMPONENT_TARGETS}
    comparisons = COMPONENT_TARGETS + [
        (GET_UTILITY, peer, None) for peer in peers if (GET_UTILITY, peer) not in targeted
    ]
    header = ("component layer, C++ core", "ns/call", "compared with", "ns/call", "ratio", "target")
    rows, held, total = [], 0, 0
    for row, other, target in comparisons:
        baseline = cpp.get(other, peers.get(other))
        if baseline is None:
            rows.append((row, f"{statistics.median(cpp[row]):.1f}", other.strip(), "not installed", "", ""))
            continue
        relative = statistics.median(c / b if b > 0 else float("inf") for c, b in zip(cpp[row], baseline))
        verdict = ""
        if target is not None:
            ok = target.holds(relative)
            held += ok
            total += 1
            verdict = f"{target.describe()} {'PASS' if ok else 'MISS'}"
        rows.append((
            row.split(": ", 1)[1],
            f"{statistics.median(cpp[row]):.1f}",
            other.strip(),
            f"{statistics.median(baseline):.1f}",
            ratio_text(target, relative),
            verdict,
        ))
    widths = [max(len(row[i]) for row in (header, *rows)) for i in range(len(header))]
    print()
    for row in (header, None, *rows):
        if row is None:
            print("-+-".join("-" * w for w in widths))
            continue
        cells = (cell.rjust(w) if i in (1, 3) else cell.ljust(w) for i, (cell, w) in enumerate(zip(row, widths)))
        print(" | ".join(cells).rstrip())
    print()
    if missing:
        print(f"Peers not installed (pip install '.[bench]'): {', '.join(missing)}.")
    for core_name in ("c++", "python"):
        figures = memory[core_name]
        print(f"Memory on the {core_name} core: {figures['utility']:.0f} bytes per registered utility, "
              f"{figures['component adapter']:.0f} bytes per adapter registered in a Components (tracemalloc).")
    print(f"Targets held: {held} of {total}.")


PEER_PASSES = 3  # interpreters, each timing every row
PEER_ROUNDS = 7  # rounds per interpreter
CREATING = "creating the class alone"
# (group, row, what it is held against, target). "fastest peer" is the
# fastest row of the group that is not the framework's own.
PEER_TARGETS = [
    ("adapting one object", "trel: registry.queryAdapter(ob, I)", "fastest peer", at_most(1)),
    ("adapting one object", "trel: I(ob) through the adapter hook", "fastest peer", at_most(1)),
    ("adapting two objects", "trel: registry.queryMultiAdapter((a, b), I)", "fastest peer", at_most(1)),
    ("declaring", "trel: classImplements(new class, I)", "abc: ABCMeta.register(new class)", at_most(2)),
]


def run_peers():
    """Every round's ns/call of each peer row, per group, on the C++ core."""
    groups, missing = {}, set()
    for _ in range(PEER_PASSES):
        done = subprocess.run(
            [sys.executable, str(BENCH / "peers.py"), str(PEER_ROUNDS)],
            env={**os.environ, "TREL_INTERFACE_PURE": "0"},
            capture_output=True,
            text=True,
            check=True,
        )
        data = json.loads(done.stdout)
        assert data["core"] == "c++", data["core"]
        missing.update(data["missing"])
        for group, rows in data["groups"].items():
            for name, values in rows.items():
                groups.setdefault(group, {}).setdefault(name, []).extend(values)
    return groups, sorted(missing)


def report_peers(groups, missing):
    """Each group's rows with their medians and their ratio to the fastest
    peer of the group (declaring: net of creating the class, to
    ABCMeta.register), and the targets."""
    print()
    held = total = 0
    for group, rows in groups.items():
        net = {name: statistics.median(values) for name, values in rows.items()}
        creating = net.pop(CREATING, None)
        if creating is not None:
            net = {name: value - creating for name, value in net.items()}
        peers = {name: value for name, value in net.items() if not name.startswith("trel")}
        fastest = min(peers, key=peers.get) if peers else None
        suffix = " (net of creating the class)" if creating is not None else ""
        print(f"{group}{suffix}")
        for name, value in sorted(net.items(), key=lambda item: item[1]):
            line = f"  {value:9.0f} ns  {name}"
            for prefix, row, against, target in PEER_TARGETS:
                if row != name or not group.startswith(prefix):
                    continue
                other = fastest if against == "fastest peer" else against
                if other not in net:
                    continue
                ratio = value / net[other]
                ok = target.holds(ratio)
                held += ok
                total += 1
                line += f"   {ratio:.2f}x {other}: {target.describe()} {'PASS' if ok else 'MISS'}"
            print(line)
    if missing:
        print(f"Peers not installed (pip install '.[bench]'): {', '.join(missing)}.")
    print(f"Medians of {PEER_PASSES} interpreters x {PEER_ROUNDS} rounds, every row timed in every round. "
          f"Targets held: {held} of {total}.")


# The targets for building and declaring: (shape, size, milliseconds at most).
SCALE_TARGETS = [("ladder (levels)", "40", 50), ("chain (interfaces)", "1000", 100)]


def run_scale():
    """Per core, the build times of each shape and size, and the hit times."""
    found = {}
    for core_name, flag in (("c++", "0"), ("python", "1")):
        done = subprocess.run(
            [sys.executable, str(BENCH / "scale.py")],
            env={**os.environ, "TREL_INTERFACE_PURE": flag},
            capture_output=True,
            text=True,
            check=True,
        )
        data = json.loads(done.stdout)
        assert data["core"] == core_name, (data["core"], core_name)
        found[core_name] = data
    return found


def report_scale(found):
    """Build times per size with the growth from the size before (doubling
    the size should at most about quadruple the time), and hit times."""
    print()
    print("building and declaring hierarchies (best of 3), C++ core | Python core; x: growth from the size before")
    held = total = 0
    for shape, sizes in found["c++"]["build"].items():
        cells, previous = [], None
        for size, ms in sizes.items():
            growth = f" x{ms / previous:.1f}" if previous else ""
            python = found["python"]["build"][shape][size]
            cells.append(f"{size}: {ms:.1f} ms{growth} | {python:.1f} ms")
            previous = ms
            for target_shape, target_size, limit in SCALE_TARGETS:
                if (target_shape, target_size) == (shape, size):
                    ok = ms <= limit
                    held += ok
                    total += 1
                    cells[-1] += f" (<= {limit} ms {'PASS' if ok else 'MISS'})"
        print(f"  {shape}: " + "; ".join(cells))
    hits = ", ".join(
        f"{count}: {ns:.0f} ns | {found['python']['hit'][count]:.0f} ns" for count, ns in found["c++"]["hit"].items()
    )
    print(f"  a registry query hit among N registrations, C++ | Python: {hits}")
    print(f"Targets held: {held} of {total}.")


def micro_speedups(case_list, samples):
    """Each operation's speedup over its plain-Python-core baseline."""
    found = []
    for case in case_list:
        for baseline in case.baselines:
            if baseline.label.startswith("pure"):
                cpp = statistics.median(samples[id(case.cpp)])
                found.append((case.name, statistics.median(samples[id(baseline.call)]) / cpp, None))
    return found


def write_chart(path, bars):
    """A horizontal bar chart of speedups, as plain SVG."""
    label_width, bar_width, row, top = 420, 380, 22, 46
    scale = bar_width / max(speedup for _, speedup, _ in bars) * 0.85
    height = top + row * len(bars) + 30
    width = label_width + bar_width + 70
    out = [
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
        'font-family="sans-serif" font-size="12">',
        f'<rect width="{width}" height="{height}" fill="white"/>',
        '<text x="10" y="20" font-size="15" font-weight="bold">'
        "Speedup of the C++ core over the plain-Python core</text>",
        f'<text x="10" y="36" fill="#555">per operation; the last rows run end to end through the framework '
        f'(Python {sys.version.split()[0]})</text>',
    ]
    for i, (name, speedup, target) in enumerate(bars):
        y = top + i * row
        colour = "#2f6db5" if target is None else ("#2e9b50" if speedup >= target else "#d2632b")
        text = name.replace("&", "&amp;").replace("<", "&lt;")
        out.append(f'<text x="{label_width - 8}" y="{y + 14}" text-anchor="end">{text}</text>')
        out.append(
            f'<rect x="{label_width}" y="{y + 3}" width="{speedup * scale:.1f}" height="{row - 6}" fill="{colour}"/>'
        )
        out.append(f'<text x="{label_width + speedup * scale + 4:.1f}" y="{y + 14}">{speedup:.1f}x</text>')
        if target is not None:
            x = label_width + target * scale
            out.append(
                f'<line x1="{x:.1f}" y1="{y + 1}" x2="{x:.1f}" y2="{y + row - 1}" '
                'stroke="black" stroke-dasharray="3,2"/>'
            )
    x = label_width + scale
    out.append(f'<line x1="{x:.1f}" y1="{top - 4}" x2="{x:.1f}" y2="{height - 26}" stroke="#999"/>')
    out.append(f'<text x="{x:.1f}" y="{height - 12}" text-anchor="middle" fill="#555">1x</text>')
    out.append(f'<text x="{width - 10}" y="{height - 12}" text-anchor="end" fill="#555">'
               f'dashed: target (green held, orange missed)</text>')
    out.append("</svg>")
    path.write_text("\n".join(out) + "\n")


def main():
    case_list = cases()
    gc.collect()
    enabled = gc.isenabled()
    gc.disable()
    try:
        samples, noop_ns = run(case_list)
    finally:
        if enabled:
            gc.enable()
    report(case_list, samples, noop_ns)
    framework_samples, memory, peers, missing = run_framework()
    bars = micro_speedups(case_list, samples) + report_framework(framework_samples, memory)
    report_components(framework_samples, peers, missing, memory)
    report_peers(*run_peers())
    report_scale(run_scale())
    chart = BENCH / "speedup.svg"
    write_chart(chart, bars)
    print(f"Chart: {chart.relative_to(BENCH.parent)}")


if __name__ == "__main__":
    main()
