"""SpecificationBase: its members, its implication tests, and its lifetime."""

import gc
import weakref

import pytest

from conftest import Implements, ext, run_isolated

MEMBERS = ["_implied", "_dependents", "_bases", "_v_attrs", "__iro__", "__sro__"]


class PySpecification(ext.SpecificationBase):
    pass


@pytest.fixture(params=[ext.SpecificationBase, PySpecification], ids=["base", "subclass"])
def make_spec(request):
    def make(*implied):
        spec = request.param()
        spec._implied = dict.fromkeys(implied)
        return spec

    return make


@pytest.mark.cpp_only
def test_type_properties():
    cls = ext.SpecificationBase
    assert cls.__doc__ == "Base type for Specification objects"
    assert [name for name in vars(cls) if name in MEMBERS] == MEMBERS
    for name in MEMBERS:
        assert vars(cls)[name].__doc__ == ""
    assert cls.providedBy.__doc__ == "Test whether an interface is implemented by the " "specification"
    assert cls.implementedBy.__doc__ == (
        "Test whether the specification is implemented by a class or factory.\n"
        "Raise TypeError if argument is neither a class nor a callable."
    )
    assert cls.isOrExtends.__doc__ == "Test whether a specification is or extends another"
    assert not hasattr(cls(), "__dict__")


@pytest.mark.parametrize("name", MEMBERS)
def test_members_start_unset_and_can_be_set_and_deleted(name):
    spec = ext.SpecificationBase()
    with pytest.raises(AttributeError):
        getattr(spec, name)
    with pytest.raises(AttributeError):
        delattr(spec, name)
    value = object()
    setattr(spec, name, value)
    assert getattr(spec, name) is value
    delattr(spec, name)
    with pytest.raises(AttributeError):
        getattr(spec, name)


class RaisingEq:
    def __hash__(self):
        return 1

    def __eq__(self, other):
        raise RuntimeError("compare")


class ContainsEverything(dict):
    def __contains__(self, key):
        return True

    def __getitem__(self, key):
        return True


OTHER = object()

MEMBERSHIP = [
    pytest.param({OTHER: None}, OTHER, True, id="value-None-still-present"),
    pytest.param({OTHER: False}, OTHER, True, id="value-False-still-present"),
    pytest.param({}, OTHER, False, id="empty"),
    pytest.param({OTHER: 1}, [], False, id="unhashable-key"),
    pytest.param({RaisingEq(): 1}, RaisingEq(), False, id="comparison-raises"),
    pytest.param(ContainsEverything(), OTHER, False, id="dict-subclass-methods-ignored"),
    pytest.param([OTHER], OTHER, False, id="not-a-dict"),
]


@pytest.mark.parametrize("implied, key, expected", MEMBERSHIP)
def test_membership(implied, key, expected):
    spec = ext.SpecificationBase()
    spec._implied = implied
    assert spec(key) is expected
    assert spec.isOrExtends(key) is expected


def test_call_ignores_keywords_and_counts_positionals(make_spec):
    spec = make_spec(OTHER)
    assert spec(OTHER, whatever=1, other=2) is True
    for args in [(), (OTHER, OTHER)]:
        with pytest.raises(TypeError):
            spec(*args)
    with pytest.raises(TypeError):
        spec.isOrExtends()
    with pytest.raises(TypeError):
        spec.isOrExtends(OTHER, OTHER)


def test_a_specification_does_not_imply_itself_implicitly(make_spec):
    spec = make_spec()
    assert spec.isOrExtends(spec) is False
    spec._implied[spec] = None
    assert spec.isOrExtends(spec) is True


def test_unset_implied_raises(make_spec):
    spec = make_spec()
    del spec._implied
    for attempt in (lambda: spec(OTHER), lambda: spec.isOrExtends(OTHER)):
        with pytest.raises(AttributeError, match="_implied"):
            attempt()


class Declared:
    pass


@pytest.fixture
def declared_class():
    """A class declaring a specification, reset after the test."""
    yield Declared
    if "__implemented__" in Declared.__dict__:
        del Declared.__implemented__


def test_provided_by_and_implemented_by_consult_the_resolved_implied(declared_class, make_spec):
    spec = make_spec()
    declared_class.__implemented__ = Implements(spec)
    ob = declared_class()
    assert spec.providedBy(ob) is True
    assert spec.implementedBy(declared_class) is True
    declared_class.__implemented__ = Implements()
    assert spec.providedBy(ob) is False
    assert spec.implementedBy(declared_class) is False


def test_resolved_specification_with_unset_implied_raises(declared_class, make_spec):
    declared_class.__implemented__ = Implements()
    del declared_class.__implemented__._implied
    with pytest.raises(AttributeError):
        make_spec().implementedBy(declared_class)


class CallableSpec(Implements):
    def __call__(self, other):
        raise AssertionError("a SpecificationBase is answered by its _implied, never called")


@pytest.mark.parametrize("answer", [0, None, "yes", True])
def test_non_specification_results_are_called_and_returned_unchanged(declarations, make_spec, answer):
    spec = make_spec()
    seen = []
    declarations.fallback = lambda cls: (lambda other: seen.append(other) or answer)
    assert spec.implementedBy(Declared) is answer
    assert spec.providedBy(Declared()) is answer
    assert seen == [spec, spec]


def test_errors_of_resolution_and_of_the_call_propagate(declarations, make_spec):
    spec = make_spec()

    def raising(other):
        raise LookupError("called")

    declarations.fallback = lambda cls: raising
    with pytest.raises(LookupError, match="called"):
        spec.implementedBy(Declared)

    def failing_fallback(cls):
        raise KeyError("resolution")

    declarations.fallback = failing_fallback
    with pytest.raises(KeyError, match="resolution"):
        spec.providedBy(Declared())


def test_overridden_call_of_resolved_specification_is_not_used(declared_class, make_spec):
    spec = make_spec()
    declared_class.__implemented__ = CallableSpec(spec)
    assert spec.providedBy(declared_class()) is True


def test_methods_do_not_go_through_module_attributes(declared_class, make_spec):
    spec = make_spec()
    declared_class.__implemented__ = Implements(spec)
    saved = ext.providedBy, ext.implementedBy
    ext.providedBy = ext.implementedBy = lambda ob: pytest.fail("module attribute used")
    try:
        assert spec.providedBy(declared_class()) is True
        assert spec.implementedBy(declared_class) is True
    finally:
        ext.providedBy, ext.implementedBy = saved


def test_weak_references_are_cleared_with_callbacks(make_spec):
    spec = make_spec()
    called = []
    ref = weakref.ref(spec, called.append)
    assert ref() is spec
    del spec
    assert ref() is None
    assert called == [ref]


def test_cycle_through_implied_is_collected(make_spec):
    spec = make_spec()
    spec._implied[spec] = spec
    spec._bases = (spec,)
    ref = weakref.ref(spec)
    del spec
    gc.collect()
    assert ref() is None


def test_key_that_rebinds_implied_while_hashed(make_spec):
    spec = make_spec(*(object() for _ in range(50)))

    class Rebinding:
        def __hash__(self):
            spec._implied = {}  # drops the only reference to the dict being probed
            return 7

    assert spec(Rebinding()) is False
    assert spec._implied == {}


@pytest.mark.isolated
def test_long_chains_through_fields_are_released_without_deep_recursion():
    # Each link holds the next directly in one of its fields, so releasing the
    # head releases the whole chain. Run apart, as a stack overflow kills, and
    # on a thread with a stack small enough for these chains to overflow it
    # by recursion, yet roomy enough for the interpreter's own nesting.
    out = run_isolated(
        """
import threading
import _trel_interface_coptimizations as ext

def release_chains():
    for cls, field in [
        (ext.SpecificationBase, "_bases"),
        (ext.SpecificationBase, "_implied"),
        (ext.ClassProvidesBase, "_cls"),
        (ext.ClassProvidesBase, "_implements"),
        (ext.InterfaceBase, "__name__"),
        (ext.InterfaceBase, "__ibmodule__"),
    ]:
        head = link = cls()
        for _ in range(100_000):
            setattr(link, field, cls())
            link = getattr(link, field)
        del head, link
        print(cls.__name__, field)

threading.stack_size(1024 * 1024)
worker = threading.Thread(target=release_chains)
worker.start()
worker.join()
"""
    )
    assert len(out.splitlines()) == 6


@pytest.mark.isolated
def test_chains_through_containers_are_released_without_deep_recursion():
    # Links alternate with the interpreter's own containers, which defer
    # their releases through the same trashcan: a stack that would overflow
    # by recursion holds, and every link is released once.
    out = run_isolated(
        """
import threading
import _trel_interface_coptimizations as ext

def release_chains():
    for cls in (ext.SpecificationBase, ext.InterfaceBase):
        head = link = cls()
        for i in range(100_000):
            following = cls()
            link._bases = [following] if i % 2 else (following,)
            link = following
        del head, link
        print(cls.__name__)

threading.stack_size(1024 * 1024)
worker = threading.Thread(target=release_chains)
worker.start()
worker.join()
"""
    )
    assert out.split() == ["SpecificationBase", "InterfaceBase"]
