"""The framework's C++ extension: the registry's queries over several objects.

``RegistryBase`` resolves what each object provides, asks the registry's
lookup (``_v_lookup``) and calls the answer with the objects. Bad input goes
to the registry's ``_check_query``, which words the error. The lookups here
are the core's ``LookupBase`` with their misses computed from a dict, so the
tests run in this process (and under the leak check and the sanitizers).
"""

import gc
import weakref

import pytest

import _trel_interface_coptimizations as core
import _trel_interface_speedups as speedups
from conftest import Implements


class Lookup(core.LookupBase):
    def __init__(self, adapters=None, subscribers=None):
        self.adapters = adapters or {}
        self.subscribers = subscribers or {}

    def _uncached_lookup(self, required, provided, name=""):
        return self.adapters.get((required, provided, name))

    def _uncached_subscriptions(self, required, provided):
        return tuple(self.subscribers.get((required, provided), ()))


class Registry(speedups.RegistryBase):
    def __init__(self, lookup):
        self._v_lookup = lookup
        self.checked = []

    def _check_query(self, objects, provided, name, handler):
        self.checked.append((objects, provided, name, handler))
        if not isinstance(objects, (list, tuple)):
            raise TypeError("objects must be a sequence (list or tuple)")
        if not isinstance(name, str):
            raise TypeError("name must be a str")


A, B = Implements(), Implements()
PROVIDED, UNREGISTERED = Implements(), Implements()


class Provider:
    def __init__(self, spec):
        self.__providedBy__ = spec


def pair(a, b):
    return ("pair", a, b)


@pytest.fixture
def objects():
    return Provider(A), Provider(B)


@pytest.fixture
def registry():
    return Registry(Lookup({((A, B), PROVIDED, ""): pair, ((A, B), PROVIDED, "named"): lambda a, b: None}))


@pytest.mark.parametrize(
    "call",
    [
        lambda r, objs: r.queryMultiAdapter(objs, PROVIDED),
        lambda r, objs: r.queryMultiAdapter(list(objs), PROVIDED, ""),
        lambda r, objs: r.queryMultiAdapter(objects=objs, provided=PROVIDED, name=""),
    ],
    ids=["positional", "list and name", "keywords"],
)
def test_query_multi_adapter_calls_the_answer_with_the_objects(registry, objects, call):
    assert call(registry, objects) == ("pair", *objects)
    assert registry.checked == []  # plain input is never sent to the check


def test_query_multi_adapter_defaults(registry, objects):
    missing = object()
    assert registry.queryMultiAdapter(objects, UNREGISTERED) is None
    assert registry.queryMultiAdapter(objects, UNREGISTERED, "", missing) is missing
    # A factory that answers None gives way to the default too.
    assert registry.queryMultiAdapter(objects, PROVIDED, "named", missing) is missing


def test_subscribers_and_handlers(objects):
    calls = []
    lookup = Lookup(
        subscribers={
            ((A, B), PROVIDED): [lambda a, b: "first", lambda a, b: None, lambda a, b: "third"],
            ((A, B), None): [lambda a, b: calls.append((a, b)) or "ignored"],
        }
    )
    registry = Registry(lookup)
    assert registry.subscribers(objects, PROVIDED) == ["first", "third"]
    assert registry.subscribers(list(objects), None) == () and calls == [objects]


@pytest.mark.parametrize(
    ("call", "message"),
    [
        (lambda r, objs: r.queryMultiAdapter(objs[0], PROVIDED), "sequence"),
        (lambda r, objs: r.queryMultiAdapter(objs, PROVIDED, 3), "must be a str"),
        (lambda r, objs: r.subscribers(iter(objs), PROVIDED), "sequence"),
    ],
)
def test_bad_input_is_worded_by_the_registry(registry, objects, call, message):
    registry.checked.clear()  # the leak check runs a test again on the same registry
    with pytest.raises(TypeError, match=message):
        call(registry, objects)
    assert len(registry.checked) == 1


def test_a_provided_that_is_not_a_specification_is_checked_then_allowed(registry, objects):
    # The registry's check decides; this one lets anything through.
    registry.checked.clear()
    assert registry.queryMultiAdapter(objects, "not a specification") is None
    assert registry.checked[0][1] == "not a specification"


@pytest.mark.parametrize(
    "args",
    [(), ((),), ((), PROVIDED, "", None, "extra")],
    ids=["none", "one", "five"],
)
def test_argument_errors_name_the_method(registry, args):
    with pytest.raises(TypeError, match="queryMultiAdapter"):
        registry.queryMultiAdapter(*args)


def test_objects_are_held_while_resolved(registry):
    # Resolving the first object empties the list the query was given.
    given = []

    class Emptying:
        @property
        def __providedBy__(self):
            given.clear()
            gc.collect()
            return A

    given += [Emptying(), Provider(B)]
    first, second = given
    assert registry.queryMultiAdapter(given, PROVIDED) == ("pair", first, second)


def test_lookup_rebound_or_missing(registry, objects):
    def rebinding(a, b):
        registry._v_lookup = Lookup()
        gc.collect()
        return "answered"

    registry._v_lookup = Lookup({((A, B), PROVIDED, ""): rebinding})
    assert registry.queryMultiAdapter(objects, PROVIDED) == "answered"
    del registry._v_lookup
    with pytest.raises(AttributeError, match="_v_lookup"):
        registry.queryMultiAdapter(objects, PROVIDED)


@pytest.mark.parametrize("exc", [KeyboardInterrupt, ValueError])
def test_failures_while_resolving_propagate(registry, exc):
    class Failing:
        @property
        def __providedBy__(self):
            raise exc("resolving")

    with pytest.raises(exc, match="resolving"):
        registry.queryMultiAdapter((Failing(), Provider(B)), PROVIDED)


def test_registry_and_lookup_cycle_is_collected():
    registry = Registry(None)
    registry._v_lookup = Lookup({(): registry})
    alive = weakref.ref(registry)
    del registry
    gc.collect()
    assert alive() is None


def random_sequences(rng):
    """Sequences over a few objects: orders drawn from one ranking (mergeable)
    or shuffled (often not), with repeats now and then."""
    pool = [object() for _ in range(rng.randint(1, 9))]
    ranking = rng.sample(pool, len(pool))
    sequences = []
    for _ in range(rng.randint(0, 5)):
        chosen = rng.sample(ranking, rng.randint(0, len(ranking)))
        if rng.random() < 0.7:
            chosen.sort(key=ranking.index)
        if chosen and rng.random() < 0.1:
            chosen.append(chosen[0])
        sequences.append(tuple(chosen) if rng.random() < 0.5 else chosen)
    return sequences


def test_c3_merge_agrees_with_the_python_merge():
    import random

    from trel.interface.ro import _merge

    rng = random.Random(5)
    inconsistent = 0
    for _ in range(400):
        sequences = random_sequences(rng)
        expected = _merge([list(s) for s in sequences])
        assert speedups.c3_merge(sequences) == expected
        inconsistent += expected is None
    assert 20 < inconsistent < 380  # both kinds of input were met


@pytest.mark.parametrize("sequences", [None, [1], [(1,), 2]], ids=["not a sequence", "int", "second int"])
def test_c3_merge_refuses_what_is_not_sequences(sequences):
    with pytest.raises(TypeError):
        speedups.c3_merge(sequences)


def test_c3_merge_passes_on_iteration_failures():
    class Failing:
        def __iter__(self):
            raise KeyboardInterrupt("iterating")

    with pytest.raises(KeyboardInterrupt, match="iterating"):
        speedups.c3_merge([(1, 2), Failing()])


@pytest.mark.isolated
def test_uncached_lookup_agrees_with_the_python_walk():
    # Random hierarchies and registries through the real framework; every
    # query is answered by both walks, which must agree.
    from conftest import run_isolated

    run_isolated("""
        import random
        import _trel_interface_speedups as speedups
        from trel.interface import AdapterRegistry, Interface
        from trel.interface.interface import InterfaceClass
        from trel.interface.registry import _most_specific_in_python

        rng = random.Random(11)
        interfaces = [Interface]
        for i in range(25):
            bases = rng.sample(interfaces, k=min(len(interfaces), rng.choice((1, 1, 2))))
            interfaces.append(InterfaceClass(f"I{i}", bases, __module__="walk"))
        site = AdapterRegistry()
        registries = [site, AdapterRegistry([site]), AdapterRegistry([site])]
        registries.append(AdapterRegistry(registries[1:]))
        for i in range(300):
            registry = rng.choice(registries)
            required = rng.sample(interfaces, k=rng.choice((0, 1, 1, 2, 3)))
            registry.register(required, rng.choice(interfaces), rng.choice(("", "", "n")), f"adapter {i}")
        answered = 0
        for _ in range(2000):
            registry = rng.choice(registries)
            required = tuple(rng.sample(interfaces, k=rng.choice((0, 1, 2, 3))))
            provided, name = rng.choice(interfaces), rng.choice(("", "n"))
            expected = _most_specific_in_python(registry.ro, required, provided, name)
            assert speedups.uncached_lookup(registry.ro, required, provided, name) == expected
            answered += expected is not None
        assert answered > 300, answered
    """)


def test_uncached_lookup_refuses_what_is_not_registrations():
    class Store:
        def __init__(self):
            self._adapters = [{}, [1]]
            self._v_extendors = {}

        def _extendors_of(self, provided):
            return (provided,)

    spec = Implements()
    spec.__sro__ = (spec,)
    with pytest.raises(TypeError, match="dicts"):
        speedups.uncached_lookup([Store()], (spec,), PROVIDED, "")
    with pytest.raises(TypeError, match="4 arguments"):
        speedups.uncached_lookup([Store()], (A,), PROVIDED)


def test_resolved_specifications_are_never_seen_half_made(registry):
    # A resolution that looks at everything referring to the answer so far
    # finds no container with empty slots.
    class Prying:
        @property
        def __providedBy__(self):
            for referrer in gc.get_referrers(A):
                if isinstance(referrer, tuple):
                    repr(referrer)
            return B

    first, prying = Provider(A), Prying()
    assert registry.queryMultiAdapter((first, prying), PROVIDED) == ("pair", first, prying)
