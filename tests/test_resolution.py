"""What a class implements and what an object provides."""

import pytest

from conftest import Implements, ext


class SubImplements(Implements):
    pass


def fallback(cls):
    return ("fallback", cls)


class Raising:
    """A descriptor whose get raises a new exception of the given kind."""

    def __init__(self, kind, message):
        self.kind = kind
        self.message = message

    def __get__(self, ob, cls=None):
        raise self.kind(self.message)


class Value:
    """A plain descriptor: the value, on instances and on the class alike."""

    def __init__(self, value):
        self.value = value

    def __get__(self, ob, cls=None):
        return self.value


# --- implementedBy -----------------------------------------------------------

DECLARED = Implements()
DECLARED_SUB = SubImplements()


class Declares:
    __implemented__ = DECLARED


class DeclaresSub:
    __implemented__ = DECLARED_SUB


class Inherits(Declares):
    pass


class DeclaresOther:
    __implemented__ = (DECLARED,)


class Unhashable:
    __eq__ = lambda self, other: self is other  # noqa: E731  (and so no __hash__)


def declared_function():
    pass


declared_function.__implemented__ = DECLARED


class DictRaises:
    __dict__ = Raising(ValueError, "no namespace")


class MappingNamespace:
    """An object whose "__dict__" is any mapping."""

    def __init__(self, mapping):
        self.mapping = mapping

    @property
    def __dict__(self):
        return self.mapping


class FailingMapping:
    def __getitem__(self, key):
        raise RuntimeError("lookup failed")


class MetaWithDict(type):
    __dict__ = Raising(AssertionError, "a class's own namespace is read directly")


class DeclaredThroughMeta(metaclass=MetaWithDict):
    __implemented__ = DECLARED


def super_object():
    return super(Inherits, Inherits())


IMPLEMENTED_BY = [
    pytest.param(Declares, DECLARED, id="own-declaration"),
    pytest.param(DeclaresSub, DECLARED_SUB, id="own-declaration-subclass-of-Implements"),
    pytest.param(Inherits, ("fallback", Inherits), id="inherited-declaration-goes-to-fallback"),
    pytest.param(DeclaresOther, ("fallback", DeclaresOther), id="declaration-not-Implements"),
    pytest.param(declared_function, DECLARED, id="function-dict"),
    pytest.param(42, ("fallback", 42), id="no-dict"),
    pytest.param(Unhashable(), "fallback", id="unhashable-instance"),
    pytest.param(DictRaises(), "fallback", id="dict-fetch-raises"),
    pytest.param(MappingNamespace({"__implemented__": DECLARED}), DECLARED, id="mapping-namespace"),
    pytest.param(MappingNamespace(FailingMapping()), "fallback", id="mapping-lookup-raises"),
    pytest.param(DeclaredThroughMeta, DECLARED, id="metaclass-dict-attribute-ignored"),
]


@pytest.mark.parametrize("cls, expected", IMPLEMENTED_BY)
def test_implemented_by(declarations, cls, expected):
    result = ext.implementedBy(cls)
    if expected == "fallback":
        assert result == ("fallback", cls)
    elif isinstance(expected, tuple):
        assert result == expected
    else:
        assert result is expected


def test_implemented_by_super_object_goes_straight_to_fallback(declarations):
    seen = []
    declarations.fallback = lambda cls: seen.append(cls) or "from-fallback"
    sup = super_object()
    declarations.BuiltinImplementationSpecifications[sup] = "listed"
    assert ext.implementedBy(sup) == "from-fallback"
    assert seen == [sup]
    declarations.BuiltinImplementationSpecifications.clear()


BUILTIN_TABLE = [
    pytest.param(Inherits, "listed", id="listed-class-without-own-declaration"),
    pytest.param(int, "listed", id="listed-builtin-type"),
    pytest.param(DeclaresOther, "fallback", id="own-non-Implements-declaration-skips-table"),
    pytest.param(Declares, "declared", id="own-declaration-wins"),
]


@pytest.mark.parametrize("cls, source", BUILTIN_TABLE)
def test_builtin_table(declarations, cls, source):
    listed = Implements()
    declarations.BuiltinImplementationSpecifications[cls] = listed
    expected = {"listed": listed, "fallback": ("fallback", cls), "declared": DECLARED}[source]
    result = ext.implementedBy(cls)
    assert result == expected if source == "fallback" else result is expected


def test_builtin_table_probe_errors_count_as_not_listed(declarations):
    # A key whose comparison fails inside the probe: nothing is pending after.
    class Poison:
        def __hash__(self):
            return hash(Inherits)

        def __eq__(self, other):
            raise RuntimeError("compare")

    declarations.BuiltinImplementationSpecifications[Poison()] = "poison"
    assert ext.implementedBy(Inherits) == ("fallback", Inherits)
    declarations.BuiltinImplementationSpecifications.clear()


def test_fallback_errors_propagate(declarations):
    def failing(cls):
        raise LookupError("from fallback")

    declarations.fallback = failing
    with pytest.raises(LookupError, match="from fallback"):
        ext.implementedBy(Inherits)


# --- getObjectSpecification and providedBy -------------------------------------

PROVIDED = Implements()
CLASS_PROVIDES = Implements()


class Plain(Declares):
    """Instances get implementedBy of this class from the fallback."""


class SpoofedSpec:
    """Not a SpecificationBase, but isinstance believes its __class__."""

    __class__ = ext.SpecificationBase


class SpoofedSuper:
    __class__ = super


class GetattributeSpoofsSuper:
    def __getattribute__(self, name):
        return super if name == "__class__" else object.__getattribute__(self, name)


class ProvidesSpec:
    __provides__ = PROVIDED


class ProvidesOther:
    __provides__ = "not a spec"


class ProvidesRaises:
    __provides__ = Raising(ValueError, "provides")


class ProvidesAttributeError:
    __provides__ = Raising(AttributeError, "provides")


class Bare:
    __class__ = Raising(AttributeError, "class")


class ClassRaises:
    __class__ = Raising(ValueError, "class")


class ClassIsInstanceRaises:
    __class__ = Raising(ValueError, "isinstance")


class ProvidesIsInstanceRaises:
    __provides__ = ClassIsInstanceRaises()


SPOOFED = SpoofedSpec()


class ProvidesSpoofed:
    __provides__ = SPOOFED


GET_OBJECT_SPECIFICATION = [
    pytest.param(ProvidesSpec(), PROVIDED, id="provides-spec"),
    pytest.param(ProvidesSpoofed(), SPOOFED, id="provides-spoofed-class-passes-isinstance"),
    pytest.param(Plain(), ("fallback", Plain), id="no-provides"),
    pytest.param(ProvidesOther(), ("fallback", ProvidesOther), id="provides-not-spec"),
    pytest.param(ProvidesAttributeError(), ("fallback", ProvidesAttributeError), id="provides-attribute-error"),
    pytest.param(ProvidesRaises(), ValueError, id="provides-raises"),
    pytest.param(ProvidesIsInstanceRaises(), ValueError, id="isinstance-raises"),
    pytest.param(ClassRaises(), ValueError, id="class-raises"),
    pytest.param(Bare(), "empty", id="no-provides-no-class"),
]


def check(result_of, expected, declarations):
    if isinstance(expected, type) and issubclass(expected, Exception):
        with pytest.raises(expected):
            result_of()
        return
    result = result_of()
    if expected == "empty":
        assert result is declarations._empty
    elif isinstance(expected, tuple):
        assert result == expected
    else:
        assert result is expected


@pytest.mark.parametrize("ob, expected", GET_OBJECT_SPECIFICATION)
def test_get_object_specification(declarations, ob, expected):
    check(lambda: ext.getObjectSpecification(ob), expected, declarations)


class HasExtends:
    extends = None


EXTENDING = HasExtends()


class ExtendsRaises:
    extends = Raising(ValueError, "extends")


class OwnProvides:
    """__provides__ on the class, with instances that may carry their own."""

    __providedBy__ = None
    __provides__ = CLASS_PROVIDES

    def __init__(self, own=None):
        if own is not None:
            self.__provides__ = own


class OnlyInstanceProvides:
    __providedBy__ = None

    def __init__(self):
        self.__provides__ = "own value"


class InstanceProvidesRaises:
    __providedBy__ = None
    __provides__ = Raising(ValueError, "provides")


class ProvidedByRaises:
    __providedBy__ = Raising(ValueError, "providedBy")


class ProvidedByAttributeError(ProvidesSpec):
    __providedBy__ = Raising(AttributeError, "providedBy")


class UnusableProvidedByNoClass:
    __providedBy__ = None
    __class__ = Raising(AttributeError, "class")


class ProvidedBySpec:
    __providedBy__ = PROVIDED


class ProvidedByExtends:
    __providedBy__ = EXTENDING


class ProvidedByExtendsRaises(OwnProvides):
    __providedBy__ = ExtendsRaises()


class MetaProvidesRaises(type):
    __provides__ = Raising(ValueError, "class provides")


class ClassProvidesRaises(metaclass=MetaProvidesRaises):
    __providedBy__ = None

    def __init__(self):
        self.__provides__ = "own value"


SAME_AS_CLASS = OwnProvides()
OWN = OwnProvides(own=PROVIDED)


PROVIDED_BY = [
    pytest.param(ProvidedBySpec(), PROVIDED, id="providedBy-spec"),
    pytest.param(ProvidedByExtends(), EXTENDING, id="providedBy-has-extends"),
    pytest.param(ProvidedByExtendsRaises(), ("fallback", ProvidedByExtendsRaises), id="extends-lookup-raises"),
    pytest.param(ProvidedByAttributeError(), PROVIDED, id="providedBy-attribute-error-uses-getObjectSpecification"),
    pytest.param(ProvidedByRaises(), ValueError, id="providedBy-raises"),
    pytest.param(UnusableProvidedByNoClass(), AttributeError, id="unusable-providedBy-class-raises-attribute-error"),
    pytest.param(SAME_AS_CLASS, ("fallback", OwnProvides), id="provides-inherited-from-class"),
    pytest.param(OWN, PROVIDED, id="own-provides"),
    pytest.param(OnlyInstanceProvides(), "own value", id="class-without-provides"),
    pytest.param(InstanceProvidesRaises(), ("fallback", InstanceProvidesRaises), id="provides-raises-cleared"),
    pytest.param(Plain(), ("fallback", Plain), id="plain-instance"),
    pytest.param(ClassRaises(), ValueError, id="isinstance-with-super-raises"),
    pytest.param(ClassProvidesRaises(), "own value", id="class-provides-raises-cleared"),
]


@pytest.mark.parametrize("ob, expected", PROVIDED_BY)
def test_provided_by(declarations, ob, expected):
    check(lambda: ext.providedBy(ob), expected, declarations)


@pytest.mark.parametrize(
    "ob",
    [super_object(), SpoofedSuper(), GetattributeSpoofsSuper()],
    ids=["super", "class-attribute-spoofs-super", "getattribute-spoofs-super"],
)
def test_provided_by_super_is_implemented_by(declarations, ob):
    assert ext.providedBy(ob) == ("fallback", ob)


def test_provided_by_none_providedBy_reads_provides(declarations):
    # A None __providedBy__ is ignored and the class's __provides__ decides.
    class Uses(OwnProvides):
        __providedBy__ = None

    assert ext.providedBy(Uses()) == ("fallback", Uses)
    assert ext.providedBy(Uses(own=PROVIDED)) is PROVIDED
