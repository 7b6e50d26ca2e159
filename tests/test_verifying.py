"""VerifyingBase: the registry generation check before every query."""

import gc
import types
import weakref

import pytest

from conftest import Implements, ext, run_isolated

A, P = object(), "provided"
SPEC = Implements()


class Declared:
    __implemented__ = SPEC


OB = Declared()


class Registry:
    def __init__(self, generation=0):
        self._generation = generation


class Verifying(ext.VerifyingBase):
    """Records `changed` and the uncached calls in `events`."""

    def __init__(self, *ro):
        self._registry = types.SimpleNamespace(ro=ro)
        self.events = []

    def changed(self, originally_changed):
        self.events.append(("changed", originally_changed))
        super().changed(originally_changed)

    def _uncached_lookup(self, required, provided, *name):
        self.events.append("lookup")
        return lambda ob: ("adapted", len(self.events))

    def _uncached_lookupAll(self, required, provided):
        self.events.append("lookupAll")
        return ("all", len(self.events))

    def _uncached_subscriptions(self, required, provided):
        self.events.append("subscriptions")
        return ("subscriptions", len(self.events))


def snapshots(verifying):
    """The registries and generations the instance last read, or []."""
    return [ob for ob in gc.get_referents(verifying) if type(ob) is tuple]


def caches(verifying):
    own = getattr(verifying, "__dict__", None)
    return [ob for ob in gc.get_referents(verifying) if type(ob) is dict and ob is not own]


QUERIES = [
    pytest.param(lambda v: v.lookup((A,), P), id="lookup"),
    pytest.param(lambda v: v.lookup1(A, P, "n"), id="lookup1"),
    pytest.param(lambda v: v.queryAdapter(OB, P), id="queryAdapter"),
    pytest.param(lambda v: v.adapter_hook(P, OB), id="adapter_hook"),
    pytest.param(lambda v: v.lookupAll((A,), P), id="lookupAll"),
    pytest.param(lambda v: v.subscriptions((A,), P), id="subscriptions"),
]


@pytest.mark.parametrize("query", QUERIES)
def test_every_query_checks_the_generations_first(query):
    first, second = Registry(), Registry()
    verifying = Verifying(first, second)
    result = query(verifying)
    kind = verifying.events[1]
    assert verifying.events == [("changed", None), kind]
    assert query(verifying) == result
    assert len(verifying.events) == 2
    assert snapshots(verifying) == [(second,), (0,)]
    second._generation += 1
    assert query(verifying) != result
    assert verifying.events[2:] == [("changed", None), kind]
    assert snapshots(verifying) == [(second,), (1,)]


@pytest.mark.parametrize("count", [3, 20])
def test_which_changes_are_noticed(count):
    registries = [Registry(3) for _ in range(count)]
    verifying = Verifying(*registries)
    result = verifying.lookup1(A, P)
    registries[0]._generation += 1  # the first entry is never checked
    registries[-1]._generation = 3.0  # equal, so no change
    verifying._registry = types.SimpleNamespace(ro=(Registry(), Registry()))  # not read by the check
    assert verifying.lookup1(A, P) is result
    assert verifying.events == [("changed", None), "lookup"]
    registries[-1]._generation = 4
    assert verifying.lookup1(A, P) is not result
    assert verifying.events[2:] == [("changed", None), "lookup"]
    assert snapshots(verifying) == [verifying._registry.ro[1:], (0,)]


@pytest.mark.parametrize("ro", [(), (Registry(),), [Registry()]], ids=["empty", "one", "list"])
def test_nothing_to_check_after_the_first_entry(ro):
    verifying = Verifying()
    verifying._registry.ro = ro
    result = verifying.lookupAll((A,), P)
    assert snapshots(verifying) == [(), ()]
    for registry in ro:
        registry._generation += 1
    assert verifying.lookupAll((A,), P) is result
    assert verifying.events == [("changed", None), "lookupAll"]


def test_changed_that_does_not_reach_the_base_runs_before_every_query():
    class Forgetful(Verifying):
        def changed(self, originally_changed):
            self.events.append(("changed", originally_changed))

    verifying = Forgetful(Registry(), Registry())
    result = verifying.lookupAll((A,), P)
    assert verifying.lookupAll((A,), P) is result
    assert verifying.events == [("changed", None), "lookupAll", ("changed", None)]
    assert snapshots(verifying) == []


ARGUMENT_ERRORS = [
    pytest.param("lookup", (A, P, "n", None, 5), {}, id="lookup-too-many"),
    pytest.param("lookup1", (A,), {}, id="lookup1-missing"),
    pytest.param("queryAdapter", (OB,), {"provided": P, "bogus": 1}, id="queryAdapter-unknown-keyword"),
    pytest.param("adapter_hook", (P, OB), {"provided": P}, id="adapter_hook-given-twice"),
    pytest.param("lookupAll", (A,), {}, id="lookupAll-missing"),
    pytest.param("subscriptions", (A, P, "n"), {}, id="subscriptions-too-many"),
]


@pytest.mark.parametrize("method, args, kwargs", ARGUMENT_ERRORS)
def test_argument_errors_skip_the_check(method, args, kwargs):
    verifying = Verifying(Registry(), Registry())
    with pytest.raises(TypeError):
        getattr(verifying, method)(*args, **kwargs)
    assert verifying.events == []


@pytest.mark.cpp_only
@pytest.mark.parametrize("method, args, kwargs", ARGUMENT_ERRORS)
def test_argument_errors_name_no_method(method, args, kwargs):
    with pytest.raises(TypeError) as info:
        getattr(Verifying(Registry(), Registry()), method)(*args, **kwargs)
    message = str(info.value)
    assert "VerifyingBase" not in message and method not in message


def test_a_bad_name_fails_after_the_check():
    verifying = Verifying(Registry(), Registry())
    with pytest.raises(ValueError, match=r"^name is not a string or unicode$"):
        verifying.lookup1(A, P, None)
    assert verifying.events == [("changed", None)]


def test_lookup_base_methods_skip_the_check():
    verifying = Verifying(Registry(), Registry())
    result = ext.LookupBase.lookup1(verifying, A, P)
    assert verifying.events == ["lookup"]
    assert verifying.lookup((A,), P) is not result  # the check's changed dropped the entry
    assert ext.LookupBase.lookup(verifying, (A,), P) is verifying.lookup1(A, P)
    ext.LookupBase.changed(verifying, None)
    assert caches(verifying) == [] and len(snapshots(verifying)) == 2


def broken_registry(verifying):
    del verifying._registry


def registry_without_ro(verifying):
    verifying._registry = object()


def ro_not_iterable(verifying):
    verifying._registry.ro = 5


def entry_without_generation(verifying):
    verifying._registry.ro = (Registry(), object())


@pytest.mark.parametrize(
    "breakage, error",
    [
        (broken_registry, AttributeError),
        (registry_without_ro, AttributeError),
        (ro_not_iterable, TypeError),
        (entry_without_generation, AttributeError),
    ],
)
def test_a_failed_changed_leaves_the_instance_unverified(breakage, error):
    verifying = Verifying(Registry(), Registry())
    verifying.lookup1(A, P)
    breakage(verifying)
    with pytest.raises(error):
        verifying.changed(None)
    assert snapshots(verifying) == [] and caches(verifying) == []
    for _ in range(2):
        with pytest.raises(error):
            verifying.lookupAll((A,), P)
    assert verifying.events == [("changed", None), "lookup"] + [("changed", None)] * 3


class RaisingGeneration:
    def __eq__(self, other):
        raise ArithmeticError("compare")

    __hash__ = object.__hash__


def test_a_failed_check_changes_nothing():
    second = Registry()
    verifying = Verifying(Registry(), second)
    result = verifying.lookupAll((A,), P)
    del second._generation
    with pytest.raises(AttributeError, match="_generation"):
        verifying.lookupAll((A,), P)
    second._generation = RaisingGeneration()
    with pytest.raises(ArithmeticError, match="compare"):
        verifying.lookupAll((A,), P)
    second._generation = 0
    assert verifying.lookupAll((A,), P) is result
    assert verifying.events == [("changed", None), "lookupAll"]


def test_an_override_of_changed_that_raises():
    class Refusing(Verifying):
        def changed(self, originally_changed):
            raise LookupError("refused")

    verifying = Refusing(Registry(), Registry())
    with pytest.raises(LookupError, match="refused"):
        verifying.lookup1(A, P)
    assert verifying.events == [] and caches(verifying) == []


class ResettingRegistry:
    """A registry whose generation, when read, makes the lookup re-verify."""

    def __init__(self):
        self.lookup = None
        self.reads = 0

    @property
    def _generation(self):
        self.reads += 1
        if self.lookup is not None and self.reads % 2 == 0:
            self.lookup.changed(None)
        return self.reads


class ResettingValue:
    """A generation value that drops the lookup's snapshots when compared."""

    def __init__(self, lookup):
        self.lookup = lookup

    def __eq__(self, other):
        self.lookup.changed(None)
        return False

    __hash__ = object.__hash__


def test_changed_during_the_check():
    resetting = ResettingRegistry()
    filler = [Registry() for _ in range(30)]
    verifying = Verifying(Registry(), resetting, *filler)
    verifying.lookup1(A, P)
    resetting.lookup = verifying
    for _ in range(3):
        assert verifying.lookup1(A, P)(OB)[0] == "adapted"
    resetting.lookup = None

    compared = Registry()
    verifying = Verifying(Registry(), compared)
    verifying.lookup1(A, P)
    compared._generation = ResettingValue(verifying)
    verifying.changed(None)  # snapshots now hold the value
    for _ in range(3):
        assert verifying.lookupAll((A,), P)[0] == "all"


def test_cycles_through_the_snapshots_are_collected():
    registry = Registry()
    verifying = Verifying(Registry(), registry)
    registry.lookup = verifying
    registry._generation = verifying
    verifying.lookupAll((A,), P)
    assert len(snapshots(verifying)) == 2
    ref = weakref.ref(verifying)
    del verifying, registry
    gc.collect()
    assert ref() is None


class ShrinkingRegistry:
    """A registry whose `_generation` read swaps the instance's registry for
    one with a shorter `ro` and calls `changed`: the snapshots the check is
    reading are replaced by ones of another size."""

    lookup = None

    @property
    def _generation(self):
        verifying, self.lookup = self.lookup, None
        if verifying is not None:
            verifying._registry = types.SimpleNamespace(ro=(Registry(), Registry()))
            verifying.changed(None)
        return 0


@pytest.mark.parametrize("filler", [2, 30], ids=["few-registries", "many-registries"])
def test_snapshots_replaced_by_other_sizes_during_the_check(filler):
    shrinking = ShrinkingRegistry()
    verifying = Verifying(Registry(), shrinking, *(Registry() for _ in range(filler)))
    verifying.lookup1(A, P)
    shrinking.lookup = verifying
    assert verifying.lookup1(A, P)(OB)[0] == "adapted"
    assert len(snapshots(verifying)[0]) == 1


@pytest.mark.isolated
def test_generation_read_cannot_reach_a_half_built_snapshot():
    out = run_isolated(
        """
import gc, types
import _trel_interface_coptimizations as ext

class Registry:
    _generation = 1

class Peeking:
    # Whatever holds the values read so far must be complete at every step.
    @property
    def _generation(self):
        for holder in gc.get_referrers(first._generation):
            if type(holder) in (tuple, list):
                list(holder)
        return 1

class Verifying(ext.VerifyingBase):
    pass

first = Registry()
first._generation = object()
verifying = Verifying()
verifying._registry = types.SimpleNamespace(ro=(Registry(), first, Peeking(), *(Registry() for _ in range(10))))
verifying.changed(None)
print("ok")
"""
    )
    assert out.split() == ["ok"]
