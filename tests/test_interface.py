"""InterfaceBase identity: construction, members, hashing and ordering."""

import gc
import weakref

import pytest

from conftest import ext, run_isolated


class PyInterface(ext.InterfaceBase):
    pass


@pytest.fixture(params=[ext.InterfaceBase, PyInterface], ids=["base", "subclass"])
def iface_type(request):
    return request.param


@pytest.mark.cpp_only
def test_type_properties():
    cls = ext.InterfaceBase
    assert cls.__doc__ == "Interface base type providing __call__ and __adapt__"
    assert cls.__bases__ == (ext.SpecificationBase,)
    assert [vars(cls)[name].__doc__ for name in ("__name__", "__module__", "__ibmodule__")] == ["", "", ""]
    assert cls.__adapt__.__doc__ == "Adapt an object to the reciever"
    assert not hasattr(cls(), "__dict__")


def test_construction(iface_type):
    default = iface_type()
    assert default.__name__ is None and default.__ibmodule__ is None
    assert hash(default) == hash((None, None))
    by_position = iface_type("IFoo", "pkg.mod")
    by_keyword = iface_type(__module__="pkg.mod", __name__="IFoo")
    assert by_position is not by_keyword
    assert by_position == by_keyword and hash(by_position) == hash(by_keyword)
    assert {by_position: 1}[by_keyword] == 1


@pytest.mark.parametrize(
    "args, kwargs",
    [
        (("a", "b", "c"), {}),
        ((), {"name": "a"}),
        (("a",), {"__name__": "b"}),
    ],
    ids=["three-arguments", "unknown-keyword", "given-twice"],
)
def test_init_argument_errors(args, kwargs):
    iface = ext.InterfaceBase("kept", "mod")
    with pytest.raises(TypeError, match=r"InterfaceBase\.__init__"):
        iface.__init__(*args, **kwargs)
    assert (iface.__name__, iface.__module__) == ("kept", "mod")


def test_reinitialising_clears_the_specification_but_keeps_the_hash(iface_type):
    iface = iface_type("I", "m")
    first = hash(iface)
    iface._implied = {}
    iface.__init__("J")
    with pytest.raises(AttributeError):
        iface._implied
    assert (iface.__name__, iface.__ibmodule__) == ("J", None)
    assert hash(iface) == first


def test_members():
    iface = ext.InterfaceBase("I", "m")
    for attempt in (lambda: delattr(iface, "__module__"), lambda: setattr(iface, "__module__", "x")):
        with pytest.raises(AttributeError):
            attempt()
    iface.__ibmodule__ = "x"
    assert iface.__module__ == "x"
    iface.__name__ = ["any", "object"]
    assert iface.__name__ == ["any", "object"]


def test_subclass_class_attribute_module_shadows_the_member():
    iface = PyInterface("I", "field.module")
    assert iface.__module__ == __name__  # the class statement's own __module__
    assert iface.__ibmodule__ == "field.module"
    assert iface == ext.InterfaceBase("I", "field.module")


def test_hash_is_cached_and_unset_fields_raise():
    iface = ext.InterfaceBase("I", "m")
    first = hash(iface)
    del iface.__name__
    with pytest.raises(AttributeError, match="__name__"):
        hash(iface)
    iface.__name__ = "other"
    assert hash(iface) == first
    del iface.__ibmodule__
    with pytest.raises(AttributeError, match="__module__"):
        hash(iface)
    fresh = ext.InterfaceBase.__new__(ext.InterfaceBase)
    with pytest.raises(AttributeError, match="__module__"):  # the module is checked first
        hash(fresh)


def test_failed_hashing_stores_nothing():
    iface = ext.InterfaceBase(["unhashable"], "m")
    for _ in range(2):
        with pytest.raises(TypeError):
            hash(iface)
    iface.__name__ = "I"
    assert hash(iface) == hash(("I", "m"))


def I(name, module="m"):  # noqa: E743
    return ext.InterfaceBase(name, module)


class Reversed(str):
    """A name whose own ordering must be respected."""

    def __lt__(self, other):
        return str.__gt__(self, other)

    def __le__(self, other):
        return str.__ge__(self, other)

    def __gt__(self, other):
        return str.__lt__(self, other)

    def __ge__(self, other):
        return str.__le__(self, other)

    __hash__ = str.__hash__


ORDERING = [
    pytest.param(I("A", "z"), I("B", "a"), id="name-decides"),
    pytest.param(I("A", "m1"), I("A", "m2"), id="module-breaks-ties"),
    pytest.param(I(Reversed("B")), I(Reversed("A")), id="str-subclass-comparison-is-used"),
    pytest.param(I("A", 1), I("A", 2), id="non-string-modules"),
]


@pytest.mark.parametrize("lower, higher", ORDERING)
def test_ordering(lower, higher):
    assert lower < higher and lower <= higher and lower != higher
    assert higher > lower and higher >= lower and not higher == lower
    assert sorted([higher, lower]) == [lower, higher]


def test_comparison_with_none():
    iface = I("A")
    assert (iface < None, iface <= None, iface == None, iface != None) == (True, True, False, True)  # noqa: E711
    assert (iface > None, iface >= None) == (False, False)
    assert (None < iface, None > iface) == (False, True)
    assert sorted([None, iface, I("B")]) == [iface, I("B"), None]


def test_comparison_with_itself():
    unset = ext.InterfaceBase.__new__(ext.InterfaceBase)
    assert (unset <= unset, unset == unset, unset >= unset, unset != unset) == (True, True, True, False)
    named = I("A", "m")
    assert (named < named, named > named) == (False, False)
    with pytest.raises(TypeError):
        I("A", None) < I("A", None)  # noqa: B015  (the modules are compared with <)


class NameRaises:
    @property
    def __name__(self):
        raise ValueError("name")


class Named:
    __module__ = "m"

    def __init__(self, name):
        self.__name__ = name


FOREIGN = [
    pytest.param(42, "unorderable", id="int"),
    pytest.param("A", "unorderable", id="str"),
    pytest.param(Named("A"), "equal", id="equal-name-and-module"),
    pytest.param(Named("B"), "higher", id="higher-name"),
    pytest.param(NameRaises(), ValueError, id="name-raises"),
]


@pytest.mark.parametrize("other, outcome", FOREIGN)
def test_comparison_with_foreign_objects(other, outcome):
    iface = I("A")
    if outcome is ValueError:
        with pytest.raises(ValueError):
            iface == other  # noqa: B015
        return
    assert (iface == other) is (outcome == "equal")
    assert (iface != other) is (outcome != "equal")
    if outcome == "unorderable":
        with pytest.raises(TypeError):
            iface < other  # noqa: B015
    else:
        assert (iface < other) is (outcome == "higher")


def test_class_compares_with_an_interface_by_name_and_module():
    class IFoo:
        pass

    assert ext.InterfaceBase("IFoo", __name__) == IFoo


def test_comparison_needing_an_unset_field_raises():
    unset = ext.InterfaceBase.__new__(ext.InterfaceBase)
    for attempt in (lambda: unset == I("A"), lambda: I("A") < unset):
        with pytest.raises(AttributeError):
            attempt()
    nameless_module = I("A")
    del nameless_module.__ibmodule__
    with pytest.raises(AttributeError):
        nameless_module == I("A")  # noqa: B015


def test_values_rebinding_fields_during_comparison():
    left, right = I(None), I(None)

    class Mutating(str):
        def __eq__(self, other):
            # Drops the last references to the values being compared.
            left.__name__ = left.__ibmodule__ = right.__name__ = right.__ibmodule__ = "gone"
            return True

        __hash__ = str.__hash__

    left.__name__, left.__ibmodule__ = Mutating("A"), Mutating("m")
    right.__name__, right.__ibmodule__ = "A", "m"
    assert left == right  # the values in hand when the comparison started decide


def test_values_rebinding_fields_during_hashing():
    iface = I(None)

    class Mutating(str):
        def __hash__(self):
            iface.__name__ = iface.__ibmodule__ = "replaced"
            return 5

    iface.__name__ = Mutating("A")
    assert hash(iface) == hash((5, "m"))


def test_cycle_through_name_is_collected(iface_type):
    iface = iface_type("I", "m")
    hash(iface)  # cached before the name leads back to the interface
    iface.__name__ = iface
    iface._implied = {iface: ()}
    ref = weakref.ref(iface)
    del iface
    gc.collect()
    assert ref() is None


@pytest.mark.isolated
def test_self_containing_name_or_module_raises_recursion_error():
    out = run_isolated(
        """
import _trel_interface_coptimizations as ext

def outcome(call):
    try:
        call()
        return "ok"
    except RecursionError:
        return "RecursionError"

named = ext.InterfaceBase()
named.__name__ = named
moduled = ext.InterfaceBase("I", None)
moduled.__ibmodule__ = ("pkg", moduled)
print(outcome(lambda: hash(named)), outcome(lambda: hash(moduled)))
print(outcome(lambda: {named: 1}))
other = ext.InterfaceBase()
other.__name__ = other
print(outcome(lambda: named == other))
named.__name__ = "N"
print(hash(named) == hash(("N", None)))  # nothing was cached by the failures
"""
    )
    assert out.split() == ["RecursionError", "RecursionError", "RecursionError", "RecursionError", "True"]
