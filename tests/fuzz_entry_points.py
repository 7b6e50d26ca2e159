"""Fuzzes every public entry point of the module with hostile objects.

Each example builds a small world: interfaces, specifications, lookups, a
registry, hooks, and a pool of hostile arguments whose __hash__, __eq__,
__getattr__, __bool__, __len__, __iter__ and __call__ raise, return odd
values or mutate the world (call `changed`, rebind or delete `_implied` and
names, mutate `adapter_hooks`, bump generations, collect garbage, or call
another entry point). It then makes a sequence of calls and, after each one,
checks that no exception is pending behind a returned value, that the
interpreter reported no broken call (SystemError), and that the result is a
live object of a kind the call can produce. A crash ends the worker process;
the supervisor counts it and starts another.

    python fuzz_entry_points.py --seconds 600         # as long as asked
    python fuzz_entry_points.py --examples 150 --seed 0   # one fixed batch

The last line printed is "calls N failures M".
"""

import argparse
import ctypes
import gc
import os
import random
import subprocess
import sys
import time
import types

import _trel_interface_coptimizations as ext
import _trel_interface_speedups as speedups

HOOKS = ext.adapter_hooks
PREFIX = "fuzz: "

# The interpreter's own pending-exception test. Called through PyDLL, a
# pending exception also surfaces as that exception right after the call.
_pending = ctypes.pythonapi.PyErr_Occurred
_pending.restype = ctypes.c_void_p
_pending.argtypes = []


class Implements(ext.SpecificationBase):
    def __init__(self, *implied):
        self._implied = dict.fromkeys(implied, ())


DECLARATIONS = types.ModuleType("trel.interface.declarations")
DECLARATIONS.Implements = Implements
DECLARATIONS._empty = Implements()
DECLARATIONS.BuiltinImplementationSpecifications = {}
DECLARATIONS.implementedByFallback = lambda cls: WORLD[0].fallback(cls) if WORLD else DECLARATIONS._empty
sys.modules[DECLARATIONS.__name__] = DECLARATIONS

WORLD = []  # the world of the example that runs, for the fallback


# What a hostile method does: its own job, raise, hand back a pool object,
# or mutate the world first.
PLAIN, RAISE, RAISE_ATTRIBUTE, POOL, MUTATE = range(5)


class Behaviour:
    """One object's choices, one (action, argument) pair per method."""

    def __init__(self, world, choices):
        self.world = world
        self.choices = choices

    def act(self, method):
        world = self.world
        if not world.armed:
            return None
        action, argument = self.choices.get(method, (PLAIN, 0))
        if action == RAISE:
            raise ValueError(method)
        if action == RAISE_ATTRIBUTE:
            raise AttributeError(method)
        if action == MUTATE:
            world.mutate(argument)
        if action == POOL:
            return world.pool[argument % len(world.pool)]
        return None


class Hostile:
    """An argument whose protocol methods follow its Behaviour."""

    def __init__(self, behaviour, hash_value):
        self._behaviour = behaviour
        self._hash_value = hash_value

    def __hash__(self):
        answer = self._behaviour.act("hash")
        return answer if isinstance(answer, int) else self._hash_value

    def __eq__(self, other):
        answer = self._behaviour.act("eq")
        return answer if answer is not None else self is other

    def __getattr__(self, name):
        if name.startswith("_Hostile") or name in ("_behaviour", "_hash_value"):
            raise AttributeError(name)
        answer = self._behaviour.act("getattr")
        if answer is None:
            raise AttributeError(name)
        return answer

    def __bool__(self):
        answer = self._behaviour.act("bool")
        return bool(answer) if isinstance(answer, (bool, int)) else True

    def __len__(self):
        answer = self._behaviour.act("len")
        return answer if isinstance(answer, int) and answer >= 0 else 1

    def __iter__(self):
        answer = self._behaviour.act("iter")
        return iter((self, answer) if answer is not None else (self,))

    def __call__(self, *args):
        answer = self._behaviour.act("call")
        return answer if answer is not None else self


class HostileClassAttribute(Hostile):
    """Also answers __class__, __provides__ and __providedBy__ through its Behaviour."""

    @property
    def __class__(self):
        answer = self._behaviour.act("class")
        return answer if answer is not None else HostileClassAttribute

    @property
    def __provides__(self):
        return self._behaviour.act("provides")

    @property
    def __providedBy__(self):
        return self._behaviour.act("providedBy")

    @property
    def __conform__(self):
        return self._behaviour.act("conform")


class HostileStr(str):
    def __hash__(self):
        self._behaviour.act("hash")
        return str.__hash__(self)

    def __eq__(self, other):
        answer = self._behaviour.act("eq")
        return answer if answer is not None else str.__eq__(self, other)

    def __len__(self):
        answer = self._behaviour.act("len")
        return answer if isinstance(answer, int) and answer >= 0 else str.__len__(self)


class HostileDict(dict):
    def __getitem__(self, key):
        answer = self._behaviour.act("getitem")
        return answer if answer is not None else dict.__getitem__(self, key)

    def __iter__(self):
        self._behaviour.act("iter")
        return dict.__iter__(self)


class HostileMeta(type):
    def __hash__(cls):
        cls._behaviour.act("hash")
        return 17

    def __eq__(cls, other):
        answer = cls._behaviour.act("eq")
        return answer if answer is not None else cls is other


class Interface(ext.InterfaceBase):
    def _call_conform(self, conform):
        return conform(self)


class CustomInterface(Interface):
    _CALL_CUSTOM_ADAPT = True

    def __adapt__(self, ob):
        return self._world.hostile_call("adapt", ob)


class Lookup(ext.LookupBase):
    def _uncached_lookup(self, required, provided, *name):
        return self._world.hostile_call("uncached", required)

    def _uncached_lookupAll(self, required, provided):
        return self._world.hostile_call("uncached", required)

    def _uncached_subscriptions(self, required, provided):
        return self._world.hostile_call("uncached", required)


class Verifying(Lookup, ext.VerifyingBase):
    pass


class Registry:
    pass


class AdapterStore:
    """What the registry's miss path reads of a registry: its registrations
    by number of required specifications, and its extendors."""

    def __init__(self, world, registrations, extendors):
        self._world = world
        self._adapters = registrations
        self._v_extendors = extendors

    def _extendors_of(self, provided):
        answer = self._world.hostile_call("extendors", provided)
        return answer if isinstance(answer, tuple) else (provided,)


class MultiRegistry(speedups.RegistryBase):
    def _check_query(self, objects, provided, name, handler):
        return self._world.hostile_call("check", objects)


class Failure(AssertionError):
    pass


METHODS = ["hash", "eq", "getattr", "bool", "len", "iter", "call", "class", "provides", "providedBy",
           "conform", "getitem", "adapt", "uncached", "generation"]


def scramble(raw, span):
    """Spreads the engine's draws, which favour small values, over the span."""
    return ((raw + 1) * 0x9E3779B97F4A7C15) % span


def decode_behaviour(code):
    """The choices coded by one drawn integer: a few methods turn hostile."""
    rng = random.Random(code)
    return {
        rng.choice(METHODS): (rng.choice(ACTION_WEIGHTS), rng.randrange(64))
        for _ in range(rng.randrange(1, 6))
    }


# Mutation is what finds re-entry faults, so it is the likeliest action.
ACTION_WEIGHTS = [PLAIN, RAISE, RAISE_ATTRIBUTE, POOL, POOL, MUTATE, MUTATE, MUTATE]


def strategies():
    from hypothesis import strategies as st

    global TAPE, BEHAVIOUR_CODES, STEPS, SMALL
    TAPE = st.lists(st.integers(0, 1 << 16), min_size=1, max_size=16)
    BEHAVIOUR_CODES = st.lists(st.integers(0, 1 << 32), min_size=16, max_size=16)
    STEPS = st.lists(st.tuples(st.sampled_from(range(len(ENTRY_POINTS))), st.integers(0, 1 << 20)),
                     min_size=5, max_size=40)
    SMALL = st.integers(0, 10)


class World:
    """Everything one example works on; `known` keeps it all alive."""

    MAX_DEPTH = 3

    def __init__(self, draw):
        self.armed = False  # hostile methods behave while the world is built
        self.depth = 0
        self.known = []
        self.pool = [None]
        self.failures = []
        # Choices made during the calls come from this tape, never from new
        # draws: hostile code runs where errors may be swallowed, and with
        # them the engine's own control flow.
        self.tape = draw(TAPE)
        self.position = 0
        codes = iter(draw(BEHAVIOUR_CODES))

        def behaviour():
            return Behaviour(self, decode_behaviour(next(codes)))

        hostile_name = HostileStr("I")
        hostile_name._behaviour = behaviour()
        names = [hostile_name, "I", "J", None]
        self.ifaces = [Interface("I", "m"), Interface(names[draw(SMALL) % 4], "m"),
                       CustomInterface("C", "m"), ext.InterfaceBase("I", "m"),
                       ext.InterfaceBase.__new__(Interface)]
        self.ifaces[2]._world = self
        self.specs = [Implements(*self.ifaces[: draw(SMALL) % 4]), ext.SpecificationBase(),
                      Implements(), ext.ClassProvidesBase()]
        implied = HostileDict.fromkeys(self.ifaces[:2], ())
        implied._behaviour = behaviour()
        self.specs[1]._implied = implied
        self.registries = [Registry() for _ in range(1 + draw(SMALL))]
        for registry in self.registries:
            registry._generation = 0
        hostile_registry = self.registries[-1]
        hostile_registry._generation = Hostile(behaviour(), 3)
        self.lookups = [Lookup(), Verifying(), ext.LookupBase(), ext.VerifyingBase()]
        for lookup in self.lookups[:2]:
            lookup._world = self
        self.lookups[1]._registry = types.SimpleNamespace(ro=self.registries)
        self.multi = MultiRegistry()
        self.multi._world = self
        self.multi._v_lookup = self.lookups[draw(SMALL) % len(self.lookups)]
        for spec in self.specs[:3]:
            spec.__sro__ = (spec, *self.specs[: draw(SMALL) % 3])
        by_name = HostileDict({"": self.ifaces[0], "n": None})
        by_name._behaviour = behaviour()
        provided_level = HostileDict({self.ifaces[0]: by_name, self.ifaces[1]: {}})
        provided_level._behaviour = behaviour()
        one = HostileDict(dict.fromkeys(self.specs[:2], provided_level))
        one._behaviour = behaviour()
        self.stores = [AdapterStore(self, [{}, one, {}], HostileDict()), AdapterStore(self, [], {})]
        self.stores[0]._v_extendors._behaviour = behaviour()

        # The arguments.
        meta = HostileMeta("Declared", (), {"__implemented__": self.specs[0]})
        meta._behaviour = behaviour()
        other_meta = HostileMeta("Undeclared", (), {})
        other_meta._behaviour = behaviour()
        DECLARATIONS.BuiltinImplementationSpecifications.clear()
        DECLARATIONS.BuiltinImplementationSpecifications[other_meta] = self.specs[2]
        name = HostileStr("n")
        name._behaviour = behaviour()
        namespace = HostileDict(__implemented__=self.specs[0])
        namespace._behaviour = behaviour()
        with_namespace = type("WithNamespace", (), {"__dict__": property(lambda self: namespace)})()
        provider = HostileClassAttribute(behaviour(), 5)
        super_objects = [super(Interface, self.ifaces[0]), super(Hostile), super(Interface, Interface)]
        cp = self.specs[3]
        cp._cls = [meta, Interface, Hostile][draw(SMALL) % 3]
        cp._implements = self.specs[0]
        hostile = [Hostile(behaviour(), draw(SMALL) - 2) for _ in range(3)]
        self.pool += hostile + hostile  # twice, to be picked more often
        self.pool += [provider, provider, HostileClassAttribute(behaviour(), 7), name, namespace]
        self.pool += [meta, other_meta, with_namespace, *super_objects]
        self.pool += [*self.ifaces, *self.specs, *self.lookups, self.multi, ext.ObjectSpecificationDescriptor()]
        self.pool += [0, "", "n", b"n", (), [], {}, object(), Interface, Hostile, int, ext.SpecificationBase]
        self.known += self.pool + self.registries
        self.mutations = self.make_mutations()
        self.armed = True

    def make_mutations(self):
        def bump():
            self.registries[-1]._generation = self.draw_index(100)

        def rebind_implied():
            self.specs[0]._implied = dict.fromkeys(self.ifaces[1:3], ())

        def delete_implied():
            if hasattr(self.specs[0], "_implied"):
                del self.specs[0]._implied

        def rename():
            self.ifaces[1].__init__("J", "m")

        def delete_name():
            if hasattr(self.ifaces[0], "__name__"):
                del self.ifaces[0].__name__

        def swap_hooks():
            HOOKS[:] = [self.pool[-1], self.hostile_hook]

        def reenter():
            self.call(self.draw_index(len(ENTRY_POINTS)), self.draw_index(1 << 16))

        return [
            lambda: self.lookups[0].changed(None),
            lambda: self.lookups[1].changed(None),
            bump,
            rebind_implied,
            delete_implied,
            rename,
            delete_name,
            HOOKS.clear,
            swap_hooks,
            lambda: gc.collect(0),  # the youngest generation: cheap, and enough for fresh cycles
            reenter,
        ]

    def draw_index(self, size):
        value = scramble(self.tape[self.position % len(self.tape)] + self.position, 1 << 32)
        self.position += 1
        return value % size

    def mutate(self, argument):
        if self.depth >= self.MAX_DEPTH:
            return
        self.depth += 1
        try:
            self.mutations[argument % len(self.mutations)]()
        finally:
            self.depth -= 1

    def hostile_call(self, method, *args):
        """The methods the module calls by name, hooks and the fallback: each
        call takes its action from the tape."""
        if self.armed:
            action = ACTION_WEIGHTS[self.draw_index(len(ACTION_WEIGHTS))]
            behaviour = Behaviour(self, {method: (action, self.draw_index(64))})
            answer = behaviour.act(method)
            if answer is not None:
                return answer
        return args[0] if args else None

    def hostile_hook(self, iface, ob):
        return self.hostile_call("call")

    def fallback(self, cls):
        return self.hostile_call("getattr", self.specs[2])

    def arg(self, index):
        return self.pool[index % len(self.pool)]

    def call(self, entry, selector):
        """Runs one entry point; raises Failure when a check fails."""
        global CALLS
        name, fn, arity = ENTRY_POINTS[entry % len(ENTRY_POINTS)]
        selector = scramble(selector, 1 << 32)
        args = [self.arg(selector >> (4 * i)) for i in range(arity)]
        CALLS += 1
        try:
            result = fn(self, *args)
        except SystemError as exc:
            self.fail(f"{name}: the interpreter reported a broken call: {exc!r}")
        except Failure:
            raise
        except Exception:  # hostile code raises all kinds of errors
            return
        try:
            pending = _pending()
        except BaseException as exc:
            self.fail(f"{name}: returned a value with {exc!r} pending")
        if pending:
            self.fail(f"{name}: returned a value with an exception pending")
        problem = result_problem(name, result)
        if problem:
            self.fail(f"{name}: {problem}")

    def fail(self, message):
        # Kept as well as raised: outside code that the module calls may
        # swallow the exception on its way out of a nested call.
        self.failures.append(message)
        raise Failure(message)


def result_problem(name, result):
    """What is wrong with an entry point's result, or None."""
    kind = type(result)
    if not isinstance(kind, type) or not kind.__mro__:
        return "answered an object without a valid type"
    if name in ("spec-call", "isOrExtends") and result is not True and result is not False:
        return f"answered {kind.__name__}, not a bool"
    if name.startswith("richcompare") and result not in (True, False, NotImplemented):
        return f"answered {kind.__name__}, not a bool or NotImplemented"
    if name == "hash" and kind is not int:
        return f"answered {kind.__name__}, not an int"
    return None


def richcompare(op):
    def compare(world, a, b):
        iface = a if isinstance(a, ext.InterfaceBase) else world.ifaces[0]
        return getattr(ext.InterfaceBase, op)(iface, b)

    return compare


def multi_query(method):
    def run(world, target, a, b, c, d):
        registry = target if isinstance(target, speedups.RegistryBase) else world.multi
        bound = getattr(speedups.RegistryBase, method)
        objects = [(a, b), [a, b, c], a][world.draw_index(3)]
        if method == "subscribers":
            return bound(registry, objects, d)
        shape = world.draw_index(3)
        if shape == 0:
            return bound(registry, objects, d)
        if shape == 1:
            return bound(registry, objects, d, c, b)
        return bound(registry, objects, d, name=c)

    return run


def spec_of(world, a):
    return a if isinstance(a, ext.SpecificationBase) else world.specs[0]


def lookup_of(world, a):
    return a if isinstance(a, ext.LookupBase) else world.lookups[1]


def iface_of(world, a):
    return a if isinstance(a, ext.InterfaceBase) else world.ifaces[1]


def query(method, *extra):
    def run(world, target, a, b, c, d):
        lookup = lookup_of(world, target)
        base = ext.VerifyingBase if isinstance(lookup, ext.VerifyingBase) else ext.LookupBase
        bound = getattr(base, method)
        shape = world.draw_index(3)
        if shape == 0 or method in ("lookupAll", "subscriptions"):
            return bound(lookup, a, b)
        if shape == 1:
            return bound(lookup, a, b, c, d)
        return bound(lookup, a, b, name=c)

    return run


# Classes are left alone: a class attribute of that name would outlive the
# example and shadow the member.
def set_member(member):
    def run(world, target, value):
        setattr(world.specs[0] if isinstance(target, type) else target, member, value)

    return run


def delete_member(member):
    def run(world, target):
        delattr(world.specs[0] if isinstance(target, type) else target, member)

    return run


MEMBERS = ("_implied", "__name__", "__ibmodule__", "_cls", "_implements", "_v_lookup")

ENTRY_POINTS = [
    ("implementedBy", lambda w, a: ext.implementedBy(a), 1),
    ("getObjectSpecification", lambda w, a: ext.getObjectSpecification(a), 1),
    ("providedBy", lambda w, a: ext.providedBy(a), 1),
    ("spec-call", lambda w, s, a: ext.SpecificationBase.__call__(spec_of(w, s), a), 2),
    ("isOrExtends", lambda w, s, a: ext.SpecificationBase.isOrExtends(spec_of(w, s), a), 2),
    ("spec-providedBy", lambda w, s, a: ext.SpecificationBase.providedBy(spec_of(w, s), a), 2),
    ("spec-implementedBy", lambda w, s, a: ext.SpecificationBase.implementedBy(spec_of(w, s), a), 2),
    ("descriptor-get", lambda w, a, b: ext.ObjectSpecificationDescriptor().__get__(a, b), 2),
    ("descriptor-get-instance", lambda w, a: ext.ObjectSpecificationDescriptor().__get__(a), 1),
    ("class-provides-get", lambda w, a, b: ext.ClassProvidesBase.__get__(w.specs[3], a, b), 2),
    ("class-provides-get-class", lambda w, a: ext.ClassProvidesBase.__get__(w.specs[3], None, a), 1),
    ("init", lambda w, i, a, b: ext.InterfaceBase.__init__(iface_of(w, i), a, b), 3),
    ("init-keywords", lambda w, i, a: ext.InterfaceBase.__init__(iface_of(w, i), __module__=a), 2),
    ("new", lambda w, a, b: ext.InterfaceBase(a, b), 2),
    ("hash", lambda w, i: ext.InterfaceBase.__hash__(iface_of(w, i)), 1),
    *[(f"richcompare-{op}", richcompare(op), 2)
      for op in ("__eq__", "__ne__", "__lt__", "__le__", "__gt__", "__ge__")],
    ("adapt-call", lambda w, i, a: ext.InterfaceBase.__call__(iface_of(w, i), a), 2),
    ("adapt-call-alternate", lambda w, i, a, b: ext.InterfaceBase.__call__(iface_of(w, i), a, b), 3),
    ("adapt-call-keywords", lambda w, i, a: iface_of(w, i)(obj=a, alternate=None), 2),
    ("__adapt__", lambda w, i, a: ext.InterfaceBase.__adapt__(iface_of(w, i), a), 2),
    *[(name, query(name), 5) for name in ("lookup", "lookup1", "queryAdapter", "adapter_hook")],
    ("lookupAll", query("lookupAll"), 5),
    ("subscriptions", query("subscriptions"), 5),
    ("queryMultiAdapter", multi_query("queryMultiAdapter"), 5),
    ("subscribers", multi_query("subscribers"), 5),
    ("c3_merge", lambda w, a, b, c: speedups.c3_merge([a, (b, c), [c, b], b]), 3),
    ("uncached_lookup", lambda w, a, b, c: speedups.uncached_lookup([*w.stores, a], (spec_of(w, b), b), c, ""), 3),
    ("uncached_lookup-one", lambda w, a, b: speedups.uncached_lookup(w.stores, (spec_of(w, a),), b, "n"), 2),
    ("changed", lambda w, l, a: type(lookup_of(w, l)).changed(lookup_of(w, l), a), 2),
    *[(f"set-{m}", set_member(m), 2) for m in MEMBERS],
    *[(f"del-{m}", delete_member(m), 1) for m in MEMBERS],
    ("hooks-append", lambda w, a: HOOKS.append(a if callable(a) else w.hostile_hook), 1),
    ("hooks-clear", lambda w: HOOKS.clear(), 0),
    ("collect", lambda w: gc.collect(), 0),
]

CALLS = 0


def example(data):
    world = World(data.draw)
    WORLD[:] = [world]
    HOOKS[:] = [world.hostile_hook]
    try:
        steps = data.draw(STEPS)
        for entry, selector in steps:
            world.call(entry, selector)
        if world.failures:
            raise Failure(world.failures[0])
    finally:
        HOOKS.clear()
        WORLD.clear()
        DECLARATIONS.BuiltinImplementationSpecifications.clear()


def run_batch(seed_value, examples):
    """One Hypothesis run; the failure it found, or None."""
    from hypothesis import HealthCheck, Phase, given, seed, settings
    from hypothesis import strategies as st

    strategies()
    test = seed(seed_value)(
        settings(
            max_examples=examples,
            deadline=None,
            database=None,
            suppress_health_check=list(HealthCheck),
            phases=[Phase.generate, Phase.shrink],
            print_blob=False,
        )(given(st.data())(example))
    )
    try:
        test()
    except Exception as failure:  # a Failure, or several as a group
        return f"{type(failure).__name__}: {failure}"
    return None


def worker(first_seed, examples, seconds):
    deadline = time.monotonic() + seconds
    failures = 0
    batch_seed = first_seed
    while True:
        print(f"{PREFIX}batch {batch_seed}", flush=True)
        failure = run_batch(batch_seed, examples)
        if failure:
            failures += 1
            print(f"{PREFIX}failure seed={batch_seed}: {failure}", flush=True)
        print(f"{PREFIX}done {batch_seed} calls {CALLS}", flush=True)
        batch_seed += 1
        if time.monotonic() >= deadline:
            break
    print(f"{PREFIX}worker calls {CALLS} failures {failures} next {batch_seed}", flush=True)


def supervise(first_seed, examples, seconds):
    """Runs workers until the time is spent; a worker that dies is a failure."""
    deadline = time.monotonic() + seconds
    calls = failures = 0
    next_seed = first_seed
    while True:
        remaining = max(0.0, deadline - time.monotonic())
        done = subprocess.run(
            [sys.executable, "-X", "faulthandler", os.path.abspath(__file__), "--worker",
             "--seed", str(next_seed), "--examples", str(examples), "--seconds", str(remaining)],
            capture_output=True, text=True,
        )
        batch = next_seed
        worker_calls = 0
        finished = False
        for line in done.stdout.splitlines():
            if not line.startswith(PREFIX):
                continue
            words = line[len(PREFIX):].split()
            if words[0] == "batch":
                batch = int(words[1])
            elif words[0] == "done":
                worker_calls = int(words[3])
            elif words[0] == "failure":
                print(line[len(PREFIX):], flush=True)
            elif words[0] == "worker":
                worker_calls, finished = int(words[2]), True
                failures += int(words[4])
                next_seed = int(words[6])
        calls += worker_calls
        if not finished:
            failures += 1
            print(f"crash in batch seed={batch} (exit {done.returncode}):\n{done.stderr[-4000:]}", flush=True)
            next_seed = batch + 1
        if time.monotonic() >= deadline:
            break
    print(f"calls {calls} failures {failures}", flush=True)
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=0.0, help="run batches for this long")
    parser.add_argument("--examples", type=int, default=200, help="Hypothesis examples per batch")
    parser.add_argument("--seed", type=int, default=0, help="seed of the first batch")
    parser.add_argument("--worker", action="store_true", help=argparse.SUPPRESS)
    options = parser.parse_args()
    if options.worker:
        worker(options.seed, options.examples, options.seconds)
        return 0
    return 1 if supervise(options.seed, options.examples, options.seconds) else 0


if __name__ == "__main__":
    sys.exit(main())
