"""Re-entry scenarios, run in a child interpreter by test_reentry.py.

Each scenario makes outside code (a method the module calls by name, a
factory, a hook, a key's __hash__ or __eq__, a `_generation` read, a weak
reference callback) call back into the module while an operation is under
way: `changed`, rebinding or deleting `_implied`, names and modules,
mutating `adapter_hooks`, `gc.collect()`. It returns the visible outcome,
which must equal the expectation written beside it.

Usage: python reentry_scenarios.py NAME...  For each name it prints a line
"start NAME", then a JSON line [NAME, outcome, expected], so that the parent
can tell which scenario was running when the process died.
"""

import gc
import importlib.abc
import importlib.util
import json
import sys
import types
import weakref

import _trel_interface_coptimizations as ext

SCENARIOS = {}


def scenario(expected):
    def register(fn):
        SCENARIOS[fn.__name__.replace("_", "-")] = (fn, expected)
        return fn

    return register


def outcome(call):
    """The value of call(), or the name of the exception it raised."""
    try:
        return call()
    except Exception as exc:  # the outcome is the exception's type
        return type(exc).__name__


# The declarations module, created by an import hook the first time the
# extension needs it. Its own code resolves a class while it is being
# imported, which starts a nested load inside the outer one.


class Implements(ext.SpecificationBase):
    def __init__(self, *implied):
        self._implied = dict.fromkeys(implied, ())


DECLARATIONS = "trel.interface.declarations"
DECLARATIONS_SOURCE = """
import _trel_interface_coptimizations as ext

BuiltinImplementationSpecifications = {}
_empty = Implements()

def implementedByFallback(cls):
    return _empty

class Early:
    __implemented__ = Implements("early")

# Resolution while this module is still being imported: a nested load.
nested_answer = ext.implementedBy(Early)
"""


class DeclarationsFinder(importlib.abc.MetaPathFinder, importlib.abc.Loader):
    def find_spec(self, name, path=None, target=None):
        if name == DECLARATIONS:
            return importlib.util.spec_from_loader(name, self)
        return None

    def exec_module(self, module):
        module.Implements = Implements
        exec(DECLARATIONS_SOURCE, module.__dict__)


def declarations():
    return sys.modules[DECLARATIONS]


# Shared pieces.


class Interface(ext.InterfaceBase):
    def _call_conform(self, conform):
        return conform(self)


IFOO = Interface("IFoo", "reentry")


class Lookup(ext.LookupBase):
    """Answers each miss with `answer(kind, required, provided, *name)`."""

    def __init__(self, answer=None):
        self.calls = 0
        self.answer = answer or (lambda kind, *args: (kind, len(args)))

    def _uncached_lookup(self, required, provided, *name):
        self.calls += 1
        return self.answer("lookup", required, provided, *name)

    def _uncached_lookupAll(self, required, provided):
        self.calls += 1
        return self.answer("lookupAll", required, provided)

    def _uncached_subscriptions(self, required, provided):
        self.calls += 1
        return self.answer("subscriptions", required, provided)


class Registry:
    def __init__(self, generation=0):
        self._generation = generation


class Verifying(Lookup, ext.VerifyingBase):
    def __init__(self, *ro, answer=None):
        super().__init__(answer)
        self._registry = types.SimpleNamespace(ro=(Registry(), *ro))
        self.changes = 0

    def changed(self, originally_changed):
        self.changes += 1
        super().changed(originally_changed)


def fill(lookup):
    """Enough entries that a freed cache would be noticed."""
    for i in range(40):
        lookup.lookup1(i, "P")
        lookup.lookupAll((i,), "P")
        lookup.subscriptions((i,), "P")


class Hashing:
    """A key whose hashing runs `action` first."""

    def __init__(self, action, value=1):
        self.action = action
        self.value = value

    def __hash__(self):
        self.action()
        return self.value


class Colliding:
    """A key equal to every other Colliding, whose comparison runs `action`."""

    def __init__(self, action):
        self.action = action

    def __hash__(self):
        return 7

    def __eq__(self, other):
        self.action()
        return isinstance(other, Colliding)


class Named(str):
    """A string whose hashing and comparison run `action`."""

    action = staticmethod(lambda: None)

    def __hash__(self):
        self.action()
        return str.__hash__(self)

    def __eq__(self, other):
        self.action()
        return str.__eq__(self, other)


def named(text, action):
    value = Named(text)
    value.action = action
    return value


class Declared:
    def __init__(self, spec):
        self.__provides__ = spec


# Module state and resolution.


@scenario(expected=[True, True])
def nested_declarations_load():
    class Late:
        __implemented__ = Implements("late")

    answer = ext.implementedBy(Late)  # the first need: the outer load
    module = declarations()
    return [module.nested_answer is module.Early.__implemented__, answer is Late.__implemented__]


@scenario(expected="fallback")
def builtin_table_cleared_while_a_key_compares():
    table = declarations().BuiltinImplementationSpecifications

    class Meta(type):
        def __hash__(cls):
            return 11

        def __eq__(cls, other):
            table.clear()
            gc.collect()
            return True

    listed = Meta("Listed", (), {})
    table[listed] = Implements("listed")
    probe = Meta("Probe", (), {})
    answer = ext.implementedBy(probe)
    return "fallback" if answer is declarations()._empty else "listed"


@scenario(expected=["first", "second"])
def namespace_getitem_reenters_implemented_by():
    spec = Implements("ns")
    depth = []

    class Namespace(dict):
        def __getitem__(self, key):
            depth.append(key)
            if len(depth) == 1:
                inner.append(ext.implementedBy(factory))
            return spec

    inner = []
    factory = types.SimpleNamespace()
    holder = type("Holder", (), {"__dict__": property(lambda self: Namespace(x=1))})()
    answer = ext.implementedBy(holder)
    inner_answer = inner[0] if inner else None
    return [
        "first" if answer is spec else repr(answer),
        "second" if inner_answer is declarations()._empty else repr(inner_answer),
    ]


@scenario(expected="own")
def provided_by_attribute_deletes_itself_from_the_class():
    own = Implements("own")

    class Target:
        @property
        def __providedBy__(self):
            del Target.__providedBy__
            gc.collect()
            return None

    ob = Target()
    ob.__provides__ = own
    return "own" if ext.providedBy(ob) is own else "other"


@scenario(expected=True)
def class_attribute_redeclares_the_class_during_provided_by():
    class Other:
        __implemented__ = Implements()

    class Shifty:
        @property
        def __class__(self):
            self.__dict__.clear()
            Other.__implemented__ = Implements(IFOO)  # the old declaration dies
            gc.collect()
            return Other

        __providedBy__ = None

    return IFOO.providedBy(Shifty())


# SpecificationBase: the `_implied` probe.


@scenario(expected=[False, "AttributeError"])
def key_hash_deletes_implied():
    spec = ext.SpecificationBase()
    spec._implied = {object(): () for _ in range(50)}

    def drop():
        del spec._implied
        gc.collect()

    return [spec(Hashing(drop)), outcome(lambda: spec(IFOO))]


@scenario(expected=True)
def key_eq_rebinds_implied_during_the_probe():
    spec = ext.SpecificationBase()

    def rebind():
        spec._implied = {}
        gc.collect()

    spec._implied = {Colliding(lambda: None): ()}
    return spec.isOrExtends(Colliding(rebind))


@scenario(expected=[False, True])
def weakref_callback_rebinds_implied_when_the_old_dict_dies():
    spec = ext.SpecificationBase()

    class Key:
        pass

    key = Key()
    spec._implied = {key: ()}
    refs = []

    def callback(ref):
        spec._implied = {IFOO: ()}
        refs.append(spec(IFOO))

    watch = weakref.ref(key, callback)

    def drop():
        spec._implied = {}

    del key
    first = spec(Hashing(drop))  # the probe holds the old dict until it is done
    return [first, refs == [True] and watch() is None and spec(IFOO)]


@scenario(expected="AttributeError")
def resolved_specification_loses_implied_during_resolution():
    spec = Implements(IFOO)

    class Target:
        @property
        def __providedBy__(self):
            del spec._implied
            return spec

    return outcome(lambda: IFOO.providedBy(Target()))


# InterfaceBase identity: names and modules.


@scenario(expected=[True, "AttributeError", "AttributeError"])
def name_comparison_deletes_both_identities():
    left, right = ext.InterfaceBase(None, None), ext.InterfaceBase("A", "m")

    def wipe():
        for iface in (left, right):
            if hasattr(iface, "__name__"):
                del iface.__name__, iface.__ibmodule__
        gc.collect()

    left.__name__, left.__ibmodule__ = named("A", wipe), "m"
    return [left == right, outcome(lambda: hash(left)), outcome(lambda: left < right)]


@scenario(expected=["hashed", "AttributeError"])
def name_hash_deletes_the_name():
    iface = ext.InterfaceBase(None, "m")

    def wipe():
        del iface.__name__
        gc.collect()

    iface.__name__ = named("A", wipe)
    first = hash(iface) == hash(("A", "m"))
    return ["hashed" if first else "wrong", outcome(lambda: hash(iface))]


# The other side's attributes are read before self's fields, so the renamed
# interface takes part.
@scenario(expected=False)
def foreign_module_property_renames_the_interface():
    iface = ext.InterfaceBase("A", "m")

    class Foreign:
        __name__ = "A"

        @property
        def __module__(self):
            iface.__init__("Z", "z")
            gc.collect()
            return "m"

    return iface == Foreign()


@scenario(expected=["J", None, False])
def init_releases_implied_whose_value_reinitialises():
    iface = ext.InterfaceBase("I", "m")

    class Reinitialising:
        def __del__(self):
            iface.__init__("inner", "inner")

    iface._implied = {1: Reinitialising()}
    iface.__init__("J")
    return [iface.__name__, iface.__module__, hasattr(iface, "_implied")]


# Adaptation.


HOOKS = ext.adapter_hooks


def with_hooks(*hooks):
    HOOKS[:] = hooks


@scenario(expected="alternate")
def conform_property_clears_the_hooks():
    with_hooks(lambda iface, ob: "from-hook")

    class Target:
        @property
        def __conform__(self):
            HOOKS.clear()
            gc.collect()
            return None

    return IFOO(Target(), "alternate")


@scenario(expected="from-new-hook")
def provided_by_replaces_the_hooks():
    with_hooks(lambda iface, ob: None)

    class Target:
        @property
        def __providedBy__(self):
            HOOKS[:] = [lambda iface, ob: "from-new-hook"]
            gc.collect()
            return Implements()

    return IFOO(Target())


@scenario(expected=["Declared", "found"])
def interface_hash_rebinds_the_specification_implied():
    iface = ext.InterfaceBase(None, "reentry")
    spec = Implements(ext.InterfaceBase("Fresh", "reentry"))

    def rebind():
        spec._implied = {}
        gc.collect()

    iface.__name__ = named("Fresh", rebind)  # not hashed yet
    ob = Declared(spec)
    adapted = iface(ob, "alternate")
    return [type(adapted).__name__, "found" if adapted is ob else "lost"]


@scenario(expected=["alternate", 1])
def hook_removes_every_hook_and_collects():
    calls = []

    def clearing(iface, ob):
        calls.append(1)
        HOOKS.clear()
        gc.collect()
        return None

    with_hooks(clearing, lambda iface, ob: "never")
    return [IFOO(object(), "alternate"), len(calls)]


@scenario(expected="second-of-new")
def hook_replaces_the_list_with_longer_contents():
    def replacing(iface, ob):
        HOOKS[:] = [lambda i, o: "first-of-new", lambda i, o: "second-of-new", lambda i, o: "third"]
        return None

    with_hooks(replacing, lambda iface, ob: "old-second")
    return IFOO(object())


@scenario(expected=["outer", "inner"])
def hook_adapts_again_with_the_same_interface():
    seen = []

    def recursing(iface, ob):
        if not seen:
            seen.append(None)
            seen[0] = iface(ob, "inner")
            return "outer"
        return None

    with_hooks(recursing)
    return [IFOO(object()), seen[0]]


@scenario(expected="alternate")
def answer_truth_test_clears_the_hooks():
    class Answer:
        def __bool__(self):
            HOOKS.clear()
            gc.collect()
            return False

    class Answering:
        extends = ()  # taken as a specification, and called

        def __call__(self, iface):
            return Answer()

    class Target:
        __providedBy__ = Answering()

    with_hooks(lambda iface, ob: "from-hook")
    return IFOO(Target(), "alternate")


@scenario(expected="refilled-second")
def dropped_hook_weakref_callback_refills_the_list():
    def clearing(iface, ob):
        HOOKS.clear()  # drops the last reference to the next hook
        return None

    def doomed(iface, ob):
        return "doomed"

    def refill(ref):
        HOOKS[:] = [lambda i, o: "refilled-first", lambda i, o: "refilled-second"]

    watch = weakref.ref(doomed, refill)
    with_hooks(clearing, doomed)
    del doomed
    return IFOO(object()) if watch is not None else None


@scenario(expected=[("custom", 1), "alternate"])
def custom_adapt_removes_its_selection_and_recurses():
    class Custom(ext.InterfaceBase):
        _CALL_CUSTOM_ADAPT = True

        def __adapt__(self, ob):
            del Custom._CALL_CUSTOM_ADAPT
            gc.collect()
            return ("custom", ob) if self(ob, None) is None else "wrong"

    iface = Custom("ICustom", "reentry")
    with_hooks()
    return [iface(1), iface(2, "alternate")]


@scenario(expected="conformed")
def call_conform_rebinds_the_interface_name():
    class Renaming(ext.InterfaceBase):
        def _call_conform(self, conform):
            self.__init__("Renamed")
            gc.collect()
            return conform(self)

    class Target:
        def __conform__(self, iface):
            return "conformed" if iface.__name__ == "Renamed" else None

    return Renaming("I", "m")(Target())


# LookupBase: caches across outside calls.


@scenario(expected=[("lookup", 3), 2])
def name_truth_test_calls_changed():
    lookup = Lookup()

    class Resetting(str):
        def __len__(self):
            lookup.changed(None)
            gc.collect()
            return 1

    fill(lookup)
    calls = lookup.calls
    first = lookup.lookup(("A",), "P", Resetting("n"))
    lookup.lookup(("A",), "P", Resetting("n"))  # stored in a dropped cache: computed again
    return [first, lookup.calls - calls]


@scenario(expected="ValueError")
def name_truth_test_raises():
    class Failing(str):
        def __len__(self):
            raise ValueError("truth")

    return outcome(lambda: Lookup().lookup(("A",), "P", Failing("n")))


@scenario(expected=("lookup", 2))
def required_iteration_calls_changed():
    lookup = Lookup()
    fill(lookup)

    class Required:
        def __iter__(self):
            lookup.changed(None)
            gc.collect()
            yield from ("A", "B")

    return lookup.lookup(Required(), "P")


@scenario(expected=[("adapted", "ob"), 1])
def provided_by_calls_changed_during_query_adapter():
    lookup = Lookup(answer=lambda kind, *args: lambda ob: ("adapted", "ob"))
    fill(lookup)

    class Target:
        @property
        def __providedBy__(self):
            lookup.changed(None)
            gc.collect()
            return Implements()

    calls = lookup.calls
    return [lookup.queryAdapter(Target(), "P"), lookup.calls - calls]


@scenario(expected=["adapted", "adapted"])
def factory_queries_and_changes_the_same_lookup():
    def factory(ob):
        lookup.changed(None)
        lookup.queryAdapter(ob, "Other")
        gc.collect()
        return "adapted"

    lookup = Lookup(answer=lambda kind, required, provided, *name: factory if provided == "P" else None)
    fill(lookup)
    ob = Declared(Implements())
    return [lookup.queryAdapter(ob, "P"), lookup.adapter_hook("P", ob)]


@scenario(expected=["lookupAll", "subscriptions"])
def uncached_method_collects_a_cycle_holding_another_lookup():
    def answer(kind, required, provided):
        other = Lookup()
        other.me = other  # a cycle with full caches
        fill(other)
        del other
        lookup.changed(None)
        gc.collect()
        return kind

    lookup = Lookup(answer=lambda kind, *args: answer(kind, *args[:2]))
    return [lookup.lookupAll(("A",), "P"), lookup.subscriptions(("A",), "P")]


# Each callback's query fills the cache that the outer `changed` already
# dropped, so the last one's entry survives it.
@scenario(expected=[("lookup", 2), 10])
def weakref_callback_of_a_cached_result_calls_changed():
    class Result:
        pass

    lookup = Lookup(answer=lambda kind, *args: Result())
    refs = []

    def callback(ref):
        lookup.changed(None)  # re-entered from inside changed
        lookup.lookup1("A", "P")

    for i in range(10):
        refs.append(weakref.ref(lookup.lookup1(i, "P"), callback))
    lookup.answer = lambda kind, *args: (kind, len(args))
    calls = lookup.calls
    lookup.changed(None)
    return [lookup.lookup1("A", "P"), lookup.calls - calls]


@scenario(expected=None)
def finalizer_of_a_cached_value_sees_the_lookup_dead():
    class Finalizing:
        def __del__(self):
            seen.append(ref())

    seen = []
    lookup = Lookup(answer=lambda kind, *args: Finalizing())
    lookup.lookup1("A", "P")
    ref = weakref.ref(lookup)
    del lookup
    gc.collect()
    return seen[0] if seen else "not finalized"


@scenario(expected=("lookup", 2))
def provided_key_hash_deletes_caches_and_collects():
    lookup = Lookup()
    fill(lookup)

    def reset():
        lookup.changed(None)
        fill(lookup)
        lookup.changed(None)
        gc.collect()

    return lookup.lookup(("A",), Hashing(reset))


# VerifyingBase: the generation check.


@scenario(expected=[("lookup", 2), "AttributeError"])
def generation_read_deletes_the_registry_and_calls_changed():
    registry = Registry()
    verifying = Verifying(registry)
    verifying.lookup1("A", "P")

    class Generation:
        def __get__(self, instance, owner):
            del verifying._registry
            outcome(lambda: verifying.changed(None))
            gc.collect()
            return 0

    type(registry)._generation = Generation()
    del registry._generation
    try:
        return [verifying.lookup1("B", "P"), outcome(lambda: verifying.lookup1("C", "P"))]
    finally:
        del Registry._generation


@scenario(expected=[[("lookupAll", 2), True], [("lookupAll", 2), True]])
def generation_comparison_swaps_the_registries():
    class Swapping:
        def __init__(self, verifying):
            self.verifying = verifying

        def __eq__(self, other):
            self.verifying._registry = types.SimpleNamespace(ro=(Registry(), Registry(5), Registry(6)))
            self.verifying.changed(None)
            gc.collect()
            return True

        __hash__ = object.__hash__

    class Swapper(Registry):
        @property
        def _generation(self):
            return Swapping(self.verifying)  # never the snapshot's own value

    outcomes = []
    for count in (3, 10):  # within and past the check's inline capacity
        registries = [Registry() for _ in range(count)]
        registries[1] = swapper = Swapper.__new__(Swapper)
        swapper.verifying = verifying = Verifying(*registries)
        verifying.lookup1("A", "P")
        changes = verifying.changes
        outcomes.append([verifying.lookupAll(("A",), "P"), verifying.changes > changes])
    return outcomes


@scenario(expected=["RecursionError", ("lookup", 2)])
def changed_override_queries_again():
    class Querying(Verifying):
        def changed(self, originally_changed):
            self.lookup1("inner", "P")  # the snapshots are still absent: checks again
            super().changed(originally_changed)

    class Settling(Verifying):
        def changed(self, originally_changed):
            super().changed(originally_changed)
            self.lookup1("inner", "P")  # the snapshots exist now: no second check

    limit = sys.getrecursionlimit()
    sys.setrecursionlimit(200)  # shallow, for the sanitizer's larger frames
    try:
        unbounded = outcome(lambda: Querying(Registry()).lookup1("A", "P"))
    finally:
        sys.setrecursionlimit(limit)
    return [unbounded, Settling(Registry()).lookup1("A", "P")]


@scenario(expected=[("lookup", 2), 2])
def ro_read_calls_changed_inside_changed():
    class Nested(Verifying):
        pass

    verifying = Nested()
    inner = []

    class Registry_:
        @property
        def ro(self):
            if not inner:
                inner.append(1)
                verifying.changed(None)  # completes inside the outer changed
                gc.collect()
            return (Registry(), Registry(1))

    verifying._registry = Registry_()
    result = verifying.lookup1("A", "P")
    verifying.lookup1("A", "P")  # a hit: the outer changed left both snapshots
    return [result, verifying.changes]


@scenario(expected="ArithmeticError")
def generation_comparison_raises():
    class Failing:
        def __eq__(self, other):
            raise ArithmeticError("compare")

        __hash__ = object.__hash__

    registry = Registry()
    verifying = Verifying(registry)
    verifying.lookup1("A", "P")
    registry._generation = Failing()
    return outcome(lambda: verifying.lookup1("A", "P"))


def main(names):
    sys.meta_path.insert(0, DeclarationsFinder())
    for name in names:
        fn, expected = SCENARIOS[name]
        print("start", name, flush=True)
        HOOKS.clear()
        result = outcome(fn)
        HOOKS.clear()
        print(json.dumps([name, result, expected], default=repr), flush=True)


if __name__ == "__main__":
    main(sys.argv[1:])
