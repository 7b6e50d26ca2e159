"""The cached registry queries of LookupBase, run through both lookup types.

VerifyingBase answers the same queries from the same caches after its
generation check; its own behaviour is in test_verifying.py.
"""

import gc
import types
import weakref

import pytest

from conftest import Implements, ext

METHODS = ["changed", "lookup", "lookup1", "queryAdapter", "adapter_hook", "lookupAll", "subscriptions"]

A, B = object(), object()
P, Q = "provided", "other-provided"
SPEC = Implements()


class Declared:
    __implemented__ = SPEC


OB = Declared()


def default_answer(lookup, kind, required, provided, *name):
    return ("result", kind, required, provided, *name)


class Recording:
    """Records each uncached call; `answer` computes the result."""

    def __init__(self, answer=default_answer):
        self.calls = []
        self.answer = answer

    def _uncached_lookup(self, required, provided, *name):
        self.calls.append(("lookup", required, provided, *name))
        return self.answer(self, "lookup", required, provided, *name)

    def _uncached_lookupAll(self, required, provided):
        self.calls.append(("lookupAll", required, provided))
        return self.answer(self, "lookupAll", required, provided)

    def _uncached_subscriptions(self, required, provided):
        self.calls.append(("subscriptions", required, provided))
        return self.answer(self, "subscriptions", required, provided)


class Lookup(Recording, ext.LookupBase):
    pass


class Generation:
    _generation = 0


class Verifying(Recording, ext.VerifyingBase):
    def __init__(self, answer=default_answer):
        super().__init__(answer)
        self._registry = types.SimpleNamespace(ro=(Generation(), Generation()))


@pytest.fixture(params=[Lookup, Verifying], ids=["lookup", "verifying"])
def make(request):
    return request.param


def caches(lookup):
    """The cache dicts the instance holds, in field order."""
    own = getattr(lookup, "__dict__", None)
    return [ob for ob in gc.get_referents(lookup) if type(ob) is dict and ob is not own]


@pytest.mark.cpp_only
@pytest.mark.parametrize("cls", [ext.LookupBase, ext.VerifyingBase])
def test_type_properties(cls):
    assert not cls.__doc__
    assert [name for name in vars(cls) if not name.startswith("__")] == METHODS
    assert all(not vars(cls)[name].__doc__ for name in METHODS)
    ob = cls()
    assert not hasattr(ob, "__dict__")
    with pytest.raises(TypeError):
        weakref.ref(ob)
    assert caches(ob) == []
    assert ext.VerifyingBase.__base__ is ext.LookupBase


def test_cache_shapes(make):
    lookup = make()
    r1 = lookup.lookup1(A, P)
    r2 = lookup.lookup((A, B), P, "n")
    r3 = lookup.lookup((), P, "")
    r4 = lookup.lookupAll((A,), P)
    r5 = lookup.subscriptions([A], Q)
    assert caches(lookup) == [
        {P: {A: r1, (): r3, "n": {(A, B): r2}}},
        {P: {(A,): r4}},
        {Q: {(A,): r5}},
    ]
    assert lookup.calls == [
        ("lookup", (A,), P),
        ("lookup", (A, B), P, "n"),
        ("lookup", (), P, ""),
        ("lookupAll", (A,), P),
        ("subscriptions", (A,), Q),
    ]


SHARED = [
    pytest.param(lambda l: l.lookup((A,), P), lambda l: l.lookup((A,), P), ("lookup", (A,), P), id="lookup-twice"),
    pytest.param(lambda l: l.lookup((A,), P), lambda l: l.lookup1(A, P), ("lookup", (A,), P), id="lookup-lookup1"),
    pytest.param(lambda l: l.lookup1(A, P), lambda l: l.lookup((A,), P), ("lookup", (A,), P), id="lookup1-lookup"),
    pytest.param(lambda l: l.lookup([A], P), lambda l: l.lookup1(A, P), ("lookup", (A,), P), id="list"),
    pytest.param(lambda l: l.lookup(iter([A]), P), lambda l: l.lookup1(A, P), ("lookup", (A,), P), id="iterator"),
    pytest.param(
        lambda l: l.lookup((A, B), P, "n"), lambda l: l.lookup([A, B], P, "n"), ("lookup", (A, B), P, "n"), id="pair"
    ),
    pytest.param(lambda l: l.lookup1(A, P, ""), lambda l: l.lookup1(A, P), ("lookup", (A,), P, ""), id="empty-name"),
    pytest.param(
        lambda l: l.lookup1(A, P, "n"), lambda l: l.lookup((A,), P, "n"), ("lookup", (A,), P, "n"), id="named"
    ),
    pytest.param(lambda l: l.lookupAll([A], P), lambda l: l.lookupAll((A,), P), ("lookupAll", (A,), P), id="all"),
    pytest.param(
        lambda l: l.subscriptions((A,), P), lambda l: l.subscriptions([A], P), ("subscriptions", (A,), P), id="subs"
    ),
]


@pytest.mark.parametrize("first, second, call", SHARED)
def test_equal_queries_share_one_entry(make, first, second, call):
    lookup = make()
    result = first(lookup)
    assert second(lookup) is result
    assert lookup.calls == [call]


DISTINCT = [
    pytest.param(lambda l: l.lookup1(A, P, "n"), id="other-name"),
    pytest.param(lambda l: l.lookup1(A, Q), id="other-provided"),
    pytest.param(lambda l: l.lookupAll((A,), P), id="lookupAll"),
    pytest.param(lambda l: l.subscriptions((A,), P), id="subscriptions"),
]


@pytest.mark.parametrize("other", DISTINCT)
def test_distinct_queries_do_not_share(make, other):
    lookup = make()
    lookup.lookup1(A, P)
    other(lookup)
    other(lookup)
    assert len(lookup.calls) == 2


class Name(str):
    pass


class UntestableName(str):
    def __len__(self):
        raise ZeroDivisionError("truth")


class UnhashableName(str):
    __hash__ = None


NAMED_QUERIES = [
    pytest.param(lambda l, name: l.lookup(1, P, name), id="lookup-before-converting"),
    pytest.param(lambda l, name: l.lookup1(A, P, name=name), id="lookup1"),
    pytest.param(lambda l, name: l.queryAdapter(OB, [], name), id="queryAdapter-before-hashing"),
    pytest.param(lambda l, name: l.adapter_hook(P, OB, name, "default"), id="adapter_hook"),
]


@pytest.mark.parametrize("name", [None, b"n", 1], ids=["None", "bytes", "int"])
@pytest.mark.parametrize("query", NAMED_QUERIES)
def test_a_name_must_be_a_string(make, query, name):
    lookup = make()
    with pytest.raises(ValueError, match=r"^name is not a string or unicode$"):
        query(lookup, name)
    assert lookup.calls == []
    assert caches(lookup) == []


def test_string_subclass_names(make):
    lookup = make()
    result = lookup.lookup1(A, P, Name("n"))
    assert lookup.lookup((A,), P, "n") is result
    with pytest.raises(ZeroDivisionError, match="truth"):
        lookup.lookup1(A, P, UntestableName("n"))
    assert len(lookup.calls) == 1


def test_stored_none_and_defaults(make):
    lookup = make(answer=lambda *args: None)
    default = object()
    assert lookup.lookup((A,), P) is None
    assert lookup.lookup((A,), P, default=default) is default
    assert lookup.lookup1(A, P, "", default) is default
    assert lookup.lookup1(A, P, default=None) is None
    assert lookup.lookupAll((A,), P) is None
    assert lookup.subscriptions((A,), P) is None
    assert lookup.subscriptions((A,), P) is None
    assert [call[0] for call in lookup.calls] == ["lookup", "lookupAll", "subscriptions"]
    assert caches(lookup) == [{P: {A: None}}, {P: {(A,): None}}, {P: {(A,): None}}]


def test_keyword_arguments(make):
    lookup = make()
    result = lookup.lookup(default=None, name="n", provided=P, required=(A,))
    assert lookup.lookup1(A, P, name="n") is result
    assert lookup.lookupAll(provided=P, required=(A,)) == ("result", "lookupAll", (A,), P)
    assert lookup.subscriptions((A,), provided=P) == ("result", "subscriptions", (A,), P)


def test_adapter_queries_cache_the_factory_not_the_adapter(make):
    adapted = []

    def factory(ob):
        adapted.append(ob)
        return ["adapter", ob]

    lookup = make(answer=lambda *args: factory)
    saved = ext.providedBy
    ext.providedBy = lambda ob: pytest.fail("module attribute used")
    try:
        first = lookup.queryAdapter(OB, P)
        second = lookup.adapter_hook(P, OB)
        third = lookup.queryAdapter(provided=P, object=OB, default=None)
    finally:
        ext.providedBy = saved
    assert first == second == third == ["adapter", OB]
    assert first is not second
    assert adapted == [OB, OB, OB]
    assert lookup.calls == [("lookup", (SPEC,), P)]
    assert caches(lookup) == [{P: {SPEC: factory}}]
    assert lookup.lookup1(SPEC, P) is factory


@pytest.mark.parametrize("factory", [None, lambda ob: None], ids=["no-factory", "factory-gives-None"])
def test_adapter_queries_without_an_adapter(make, factory):
    lookup = make(answer=lambda *args: factory)
    default = object()
    assert lookup.queryAdapter(OB, P) is None
    assert lookup.adapter_hook(P, OB, "n") is None
    assert lookup.queryAdapter(OB, P, "", default) is default
    assert lookup.adapter_hook(P, OB, default=default) is default
    assert lookup.calls == [("lookup", (SPEC,), P), ("lookup", (SPEC,), P, "n")]


def test_a_super_object_is_adapted_as_its_self(make, declarations):
    class Derived(Declared):
        pass

    inner = Derived()
    proxy = super(Derived, inner)
    proxy_spec = Implements()
    declarations.fallback = lambda cls: proxy_spec
    adapted = []
    lookup = make(answer=lambda *args: adapted.append)
    assert lookup.adapter_hook(P, proxy, default=A) is A
    assert adapted == [inner]
    assert lookup.calls == [("lookup", (proxy_spec,), P)]


def test_errors_of_the_factory_and_of_providedBy_propagate(make, declarations):
    def factory(ob):
        raise LookupError("factory")

    lookup = make(answer=lambda *args: factory)
    with pytest.raises(LookupError, match="factory"):
        lookup.queryAdapter(OB, P)

    def failing_fallback(cls):
        raise KeyError("resolution")

    declarations.fallback = failing_fallback
    with pytest.raises(KeyError, match="resolution"):
        lookup.queryAdapter(object(), Q)
    assert lookup.calls == [("lookup", (SPEC,), P)]


NAMED_ERRORS = [
    pytest.param("lookup", (), {}, id="lookup-none"),
    pytest.param("lookup1", (A,), {}, id="lookup1-missing"),
    pytest.param("lookup", (A, P, "", None, 5), {}, id="lookup-too-many"),
    pytest.param("queryAdapter", (OB,), {"provided": P, "bogus": 1}, id="queryAdapter-unknown-keyword"),
    pytest.param("adapter_hook", (P, OB), {"provided": P}, id="adapter_hook-twice"),
    pytest.param("lookupAll", (A,), {}, id="lookupAll-missing"),
    pytest.param("lookupAll", (A, P, "n"), {}, id="lookupAll-too-many"),
]


@pytest.mark.cpp_only
@pytest.mark.parametrize("method, args, kwargs", NAMED_ERRORS)
def test_argument_errors_name_the_method(method, args, kwargs):
    lookup = Lookup()
    with pytest.raises(TypeError, match=rf"LookupBase\.{method}\(\)"):
        getattr(lookup, method)(*args, **kwargs)
    assert lookup.calls == []


@pytest.mark.cpp_only
@pytest.mark.parametrize("args, kwargs", [((A,), {}), ((A, P, "n"), {}), ((A,), {"name": "n"})])
def test_argument_errors_of_subscriptions_name_no_method(args, kwargs):
    lookup = Lookup()
    with pytest.raises(TypeError) as info:
        lookup.subscriptions(*args, **kwargs)
    assert "LookupBase" not in str(info.value) and "subscriptions" not in str(info.value)
    assert lookup.calls == []


def test_changed_drops_every_cache(make):
    lookup = make()
    queries = [
        lambda: lookup.lookup1(A, P, "n"),
        lambda: lookup.lookupAll((A,), P),
        lambda: lookup.subscriptions((A,), P),
    ]
    for query in queries:
        query()
    assert len(caches(lookup)) == 3
    assert lookup.changed(object()) is None
    assert caches(lookup) == []
    for query in queries:
        query()
    assert len(lookup.calls) == 6
    for args in [(), (1, 2)]:
        with pytest.raises(TypeError):
            lookup.changed(*args)


def test_base_instance_has_no_uncached_methods():
    lookup = ext.LookupBase()
    with pytest.raises(AttributeError, match="_uncached_lookup"):
        lookup.lookup1(A, P, "n")
    with pytest.raises(AttributeError, match="_uncached_lookupAll"):
        lookup.lookupAll((A,), P)
    with pytest.raises(AttributeError, match="_uncached_subscriptions"):
        lookup.subscriptions((A,), P)
    assert caches(lookup) == [{P: {"n": {}}}, {P: {}}, {P: {}}]


def test_unhashable_provided_fails_before_any_call(make):
    lookup = make()
    for query in [
        lambda: lookup.lookup((A,), []),
        lambda: lookup.lookup1(A, [], "n"),
        lambda: lookup.queryAdapter(OB, []),
        lambda: lookup.lookupAll((A,), []),
        lambda: lookup.subscriptions((A,), []),
    ]:
        with pytest.raises(TypeError, match="unhashable"):
            query()
    with pytest.raises(TypeError, match="unhashable"):
        lookup.lookup1(A, P, UnhashableName("n"))
    assert lookup.calls == []
    assert caches(lookup) == [{P: {}}, {}, {}]


def test_unhashable_final_key_is_computed_but_not_stored(make):
    lookup = make()
    for _ in range(2):
        with pytest.raises(TypeError, match="unhashable"):
            lookup.lookup1([], P)
        with pytest.raises(TypeError, match="unhashable"):
            lookup.lookupAll(([],), P)
    assert lookup.calls == [("lookup", ([],), P), ("lookupAll", ([],), P)] * 2
    assert caches(lookup) == [{P: {}}, {P: {}}]


def test_non_iterable_required_fails_before_any_cache(make):
    lookup = make()
    for query in (lookup.lookup, lookup.lookupAll, lookup.subscriptions):
        with pytest.raises(TypeError, match="not iterable"):
            query(1, P)
    assert lookup.calls == []
    assert caches(lookup) == []


def test_failed_computation_stores_nothing_and_leaves_caches_usable(make):
    failing = {"lookup", "lookupAll"}

    def answer(lookup, kind, *args):
        if kind in failing:
            raise LookupError(kind)
        return kind

    lookup = make(answer=answer)
    with pytest.raises(LookupError, match="lookup"):
        lookup.lookup((A,), P, "n")
    with pytest.raises(LookupError, match="lookupAll"):
        lookup.lookupAll((A,), P)
    assert caches(lookup) == [{P: {"n": {}}}, {P: {}}]
    failing.clear()
    assert lookup.lookup((A,), P, "n") == "lookup"
    assert lookup.lookupAll((A,), P) == "lookupAll"
    assert caches(lookup) == [{P: {"n": {A: "lookup"}}}, {P: {(A,): "lookupAll"}}]


class Resetting:
    """A key that drops the lookup's caches whenever it is hashed."""

    def __init__(self, lookup):
        self.lookup = lookup

    def __hash__(self):
        self.lookup.changed(None)
        return 1


class ResettingName(str):
    """A name that drops the lookup's caches whenever it is hashed."""

    def __hash__(self):
        self.lookup.changed(None)
        return str.__hash__(self)


def resetting_name(lookup):
    name = ResettingName("n")
    name.lookup = lookup
    return name


def fill(lookup):
    """Enough entries that a freed cache would be noticed."""
    for i in range(50):
        lookup.lookup1(i, P)
        lookup.lookupAll((i,), P)


REENTRANT = [
    pytest.param(lambda l: l.lookup1(A, Resetting(l)), ("lookup", (A,)), id="provided-hash"),
    pytest.param(lambda l: l.lookup1(Resetting(l), P), ("lookup", None), id="required-hash"),
    pytest.param(lambda l: l.lookup((A,), P, resetting_name(l)), ("lookup", (A,)), id="name"),
    pytest.param(lambda l: l.lookupAll((A,), Resetting(l)), ("lookupAll", (A,)), id="lookupAll-provided"),
    pytest.param(lambda l: l.subscriptions((Resetting(l),), P), ("subscriptions", None), id="subscriptions-key"),
]


@pytest.mark.parametrize("query, expected", REENTRANT)
def test_keys_that_call_changed_while_hashed(make, query, expected):
    lookup = make(answer=lambda lookup, kind, required, provided, *name: (kind, required))
    fill(lookup)
    result = query(lookup)
    assert result[0] == expected[0]
    assert expected[1] is None or result[1] == expected[1]


@pytest.mark.parametrize(
    "query",
    [
        lambda l: l.lookup((A, B), Q, "n"),
        lambda l: l.lookup1(A, Q),
        lambda l: l.lookupAll((A,), Q),
        lambda l: l.subscriptions((A,), Q),
    ],
)
def test_uncached_method_that_calls_changed(make, query):
    def answer(lookup, kind, required, provided, *name):
        if provided == Q:
            lookup.changed(None)
            fill(lookup)  # a new cache, filled while the query still holds the old one
            lookup.changed(None)
        return [kind]

    lookup = make(answer=answer)
    fill(lookup)
    first = query(lookup)
    assert first == [first[0]]
    calls = len(lookup.calls)
    # The value went into the dropped cache, so the next query computes it anew.
    assert query(lookup) == first
    assert len(lookup.calls) > calls


def test_uncached_method_that_queries_the_same_entry(make):
    def answer(lookup, kind, required, provided, *name):
        if len(lookup.calls) == 1:
            return ("inner", lookup.lookup1(A, P))
        return "innermost"

    lookup = make(answer=answer)
    assert lookup.lookup((A,), P) == ("inner", "innermost")
    assert lookup.lookup1(A, P) == ("inner", "innermost")  # the outer store came last


def test_factory_that_calls_changed(make):
    def factory(ob):
        lookup.changed(None)
        return ("adapted", ob)

    lookup = make(answer=lambda *args: factory)
    fill(lookup)
    assert lookup.queryAdapter(OB, P) == ("adapted", OB)
    assert lookup.queryAdapter(OB, P) == ("adapted", OB)


def test_cycles_through_the_caches_are_collected(make):
    lookup = make(answer=lambda lookup, *args: lookup)
    assert lookup.lookup1(A, P) is lookup
    assert lookup.lookupAll((A,), P) is lookup
    assert lookup.subscriptions((A,), P) is lookup
    ref = weakref.ref(lookup)
    del lookup
    gc.collect()
    assert ref() is None
