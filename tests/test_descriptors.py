"""The descriptors behind "__providedBy__" and "__provides__"."""

import gc
import weakref

import pytest

from conftest import Implements, ext, run_isolated


class ClassProvides(ext.ClassProvidesBase):
    pass


@pytest.fixture(params=[ext.ClassProvidesBase, ClassProvides], ids=["base", "subclass"])
def owning(request):
    """An owning class holding its class-provides specification, and a subclass."""
    implements = Implements()
    provides = request.param()
    provides._implied = {}

    class Owner:
        __provides__ = provides

    class Sub(Owner):
        pass

    provides._cls = Owner
    provides._implements = implements
    yield Owner, Sub, provides, implements
    provides._cls = None  # break the cycle through the class at once


@pytest.mark.cpp_only
def test_type_properties():
    assert ext.ObjectSpecificationDescriptor.__doc__ == "Object Specification Descriptor"
    assert ext.ClassProvidesBase.__doc__ == "C Base class for ClassProvides"
    assert ext.ClassProvidesBase.__bases__ == (ext.SpecificationBase,)
    assert vars(ext.ClassProvidesBase)["_cls"].__doc__ == "Defining class."
    assert vars(ext.ClassProvidesBase)["_implements"].__doc__ == "Result of implementedBy."
    assert not hasattr(ext.ObjectSpecificationDescriptor, "__set__")
    assert not hasattr(ext.ClassProvidesBase, "__set__")


def test_class_provides_answers_only_through_its_class(owning):
    Owner, Sub, provides, implements = owning
    assert Owner.__provides__ is provides
    assert Owner().__provides__ is implements
    assert provides.__get__(object(), Owner) is implements  # the instance plays no part
    for reader in (lambda: Sub.__provides__, lambda: Sub().__provides__, lambda: provides.__get__(Owner())):
        with pytest.raises(AttributeError) as caught:
            reader()
        assert caught.value.args == ("__provides__",)


def test_instance_dict_entry_wins(owning):
    Owner, _, _, _ = owning
    ob = Owner()
    ob.__provides__ = "own"
    assert ob.__provides__ == "own"


def test_class_provides_is_a_specification(owning):
    Owner, _, provides, _ = owning
    provides._implied = {provides: ()}
    assert provides(provides) is True and provides.isOrExtends(provides) is True
    assert provides(Owner) is False


def test_class_provides_unset_members_raise():
    provides = ext.ClassProvidesBase()
    for member in ("_cls", "_implements"):
        with pytest.raises(AttributeError):
            getattr(provides, member)
    with pytest.raises(AttributeError, match="_cls"):
        provides.__get__(None, int)
    provides._cls = int
    assert provides.__get__(None, int) is provides
    with pytest.raises(AttributeError, match="_implements"):
        provides.__get__(5, int)


@pytest.mark.parametrize("kind", [ext.ClassProvidesBase, ClassProvides], ids=["base", "subclass"])
def test_class_holding_its_own_class_provides_is_collected(kind):
    provides = kind()
    provides._implied = {provides: ()}

    class Owner:
        __provides__ = provides

    provides._cls = Owner
    provides._implements = provides
    refs = weakref.ref(provides), weakref.ref(Owner)
    del Owner, provides
    gc.collect()
    assert [ref() for ref in refs] == [None, None]


class Described:
    __providedBy__ = ext.ObjectSpecificationDescriptor()


class ProvidesRaises(Described):
    @property
    def __provides__(self):
        raise RuntimeError("provides")


DECLARED = Implements()


class Declared(Described):
    __implemented__ = DECLARED


def test_object_specification_descriptor(declarations):
    # Through the class: what the class object itself provides.
    assert Described.__providedBy__ == ("fallback", type)
    ob = Described()
    assert ob.__providedBy__ == ("fallback", Described)
    ob.__provides__ = 42
    assert ob.__providedBy__ == 42  # whatever it is
    assert ProvidesRaises().__providedBy__ == ("fallback", ProvidesRaises)  # the error is gone
    assert Declared().__providedBy__ is DECLARED
    # __get__ with no class: the instance's own type stands in.
    assert vars(Described)["__providedBy__"].__get__(Declared()) is DECLARED


def test_object_specification_descriptor_propagates_resolution_errors(declarations):
    def failing(cls):
        raise LookupError("fallback")

    declarations.fallback = failing
    with pytest.raises(LookupError):
        Described().__providedBy__
    with pytest.raises(LookupError):
        Described.__providedBy__


def test_adaptation_through_the_descriptor(declarations):
    class Interface(ext.InterfaceBase):
        def _call_conform(self, conform):
            return conform(self)

    IGreeter = Interface("IGreeter", "tests")

    class Greeter:
        __providedBy__ = ext.ObjectSpecificationDescriptor()
        __implemented__ = Implements(IGreeter)

    greeter = Greeter()
    assert ext.providedBy(greeter) is Greeter.__implemented__
    assert IGreeter.providedBy(greeter) is True
    assert IGreeter(greeter) is greeter
    declarations.fallback = lambda cls: declarations._empty
    with pytest.raises(TypeError, match="Could not adapt"):
        IGreeter(object())


@pytest.mark.isolated
def test_class_freed_while_its_instance_looks_up_provides():
    # The class reaches the descriptor borrowed from the instance; the
    # instance's "__provides__" code rebinds its class and collects the old
    # one, which must stay alive until the descriptor is done with it.
    out = run_isolated(
        """
import gc, sys, types
import _trel_interface_coptimizations as ext

fake = types.ModuleType("trel.interface.declarations")
class Implements(ext.SpecificationBase):
    pass
fake.Implements, fake._empty, fake.BuiltinImplementationSpecifications = Implements, Implements(), {}
fake.implementedByFallback = lambda cls: ("fallback", cls.__name__)
sys.modules[fake.__name__] = fake

class Other:
    pass

def make():
    class Victim:
        __providedBy__ = ext.ObjectSpecificationDescriptor()

        @property
        def __provides__(self):
            self.__class__ = Other
            gc.collect()
            [bytearray(900) for _ in range(2000)]  # reuse the freed memory
            raise AttributeError("none")

    return Victim()

print(make().__providedBy__)
"""
    )
    assert out.strip() == "('fallback', 'Victim')"
