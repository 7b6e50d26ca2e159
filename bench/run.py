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
over the plain-Python core, per operation, and the peer groups are drawn
to speedup.svg beside the report's figures (results.json) and the raw
measurements (measurements.json), under build/bench/ unless --out says
otherwise; ``--from`` reports saved measurements again without measuring.
report.py says how the figures are computed.

The component layer's rows (trel.component) are judged on the C++ core
against what they are built on and against the dependency-injection
containers a user might pick instead, timed in the same rounds; those
peers are optional (the ``bench`` extra), and a missing one is reported.
"""

import argparse
import datetime
import functools
import gc
import json
import os
import pathlib
import platform
import statistics
import subprocess
import sys
from dataclasses import dataclass, field
from typing import Callable, Optional

import report
from chart import write_chart
from timing import Timer

import _trel_interface_coptimizations as core
from trel.interface import _pure as pure
from trel.interface import declarations

ROUNDS = 21


@dataclass(frozen=True)
class Target:
    """A goal: "faster": baseline/C++ >= value; "at_most": C++/baseline <= value
    (or, with a unit other than "x", the measured figure <= value)."""

    kind: str
    value: float
    unit: str = "x"

    def describe(self) -> str:
        if self.kind == "faster":
            return f">= {self.value:g}x faster"
        return f"C++ takes <= {self.value:g}x" if self.unit == "x" else f"<= {self.value:g} {self.unit}"

    def holds(self, cpp_over_baseline: float) -> bool:
        if self.kind == "faster":
            return cpp_over_baseline * self.value <= 1
        return cpp_over_baseline <= self.value


def faster(value: float) -> Target:
    return Target("faster", value)


def at_most(value: float, unit: str = "x") -> Target:
    return Target("at_most", value, unit)


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
    value = next((value for prefix, value in FRAMEWORK_TARGETS.items() if name.startswith(prefix)), None)
    return None if value is None else faster(value)


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


def component_comparisons(peers):
    """The component rows' comparisons: the targeted ones, then every
    installed peer beside getUtility."""
    targeted = {(row, other) for row, other, _ in COMPONENT_TARGETS}
    return COMPONENT_TARGETS + [(GET_UTILITY, peer, None) for peer in peers if (GET_UTILITY, peer) not in targeted]


def report_all(raw):
    """Prints every table of a run; returns their figures, the goals and the machine."""
    goals = report.Goals()
    machine_ = raw["machine"]
    print(f"{machine_['date']}: Python {machine_['python']} on {machine_['platform']}, "
          f"{machine_['cpus']} x {machine_['cpu']}")
    print()
    results = {
        "machine": machine_,
        "operations": report.report_micro(raw, cases(), goals),
        "end to end": report.report_framework(raw, framework_target, goals),
        "components": report.report_components(raw, component_comparisons, goals),
        "peers": report.report_peers(raw, PEER_TARGETS, CREATING, goals),
        "scale": report.report_scale(raw, SCALE_TARGETS, at_most, goals),
    }
    results["goals"] = goals.found
    return results


def measure():
    """Every measurement of a run, as plain data: what ``--from`` reports again."""
    case_list = cases()
    gc.collect()
    enabled = gc.isenabled()
    gc.disable()
    try:
        samples, noop_ns = run(case_list)
    finally:
        if enabled:
            gc.enable()
    micro = [
        {
            "name": case.name,
            "cpp": samples[id(case.cpp)],
            "baselines": {baseline.label: samples[id(baseline.call)] for baseline in case.baselines},
        }
        for case in case_list
    ]
    framework_samples, memory, peers, missing = run_framework()
    groups, peer_missing = run_peers()
    return {
        "machine": machine(),
        "micro": micro,
        "noop ns": noop_ns,
        "framework": {"samples": framework_samples, "memory": memory, "peers": peers, "missing": missing},
        "peers": {"groups": groups, "missing": peer_missing},
        "scale": run_scale(),
    }


def machine():
    """Where and when the run happened, for the report and the docs."""
    cpu = platform.processor() or platform.machine()
    try:
        for line in pathlib.Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    return {
        "date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
        "python": sys.version.split()[0],
        "platform": platform.platform(terse=True),
        "cpu": cpu,
        "cpus": os.cpu_count(),
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--out", type=pathlib.Path, default=BENCH.parent / "build" / "bench",
                        help="where the report, the figures (JSON) and the chart go (default: build/bench)")
    parser.add_argument("--from", dest="source", type=pathlib.Path,
                        help="report the measurements of an earlier run (its measurements.json) instead of measuring")
    parser.add_argument("--check", action="store_true",
                        help="also list every goal the run falls short of, and exit 1 if there is one")
    options = parser.parse_args()
    options.out.mkdir(parents=True, exist_ok=True)
    if options.source is not None:
        raw = json.loads(options.source.read_text())
    else:
        raw = measure()
        (options.out / "measurements.json").write_text(json.dumps(raw))
    results = report_all(raw)
    (options.out / "results.json").write_text(json.dumps(results, indent=1) + "\n")
    chart = options.out / "speedup.svg"
    write_chart(chart, results)
    print(f"\nReport figures: {options.out / 'results.json'}; chart: {chart}")
    if options.check:
        short = [goal for goal in results["goals"] if not goal["met"]]
        print(f"\n{len(short)} of {len(results['goals'])} goals not met" + (":" if short else "."))
        for goal in short:
            print(f"  {goal['table']}: {goal['row']} against {goal['against']}: "
                  f"{goal['measured']}, goal {goal['goal']}")
        sys.exit(1 if short else 0)


if __name__ == "__main__":
    main()
