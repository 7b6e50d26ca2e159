"""What classes implement and what objects provide.

The core reads four names from this module the first time it needs them:
``BuiltinImplementationSpecifications``, ``_empty``,
``implementedByFallback`` and ``Implements``. The core answers from what
objects carry (a class's own ``__implemented__``, an object's
``__providedBy__`` and ``__provides__``) and calls ``implementedByFallback``
for everything else; the fallback computes a class's declaration from its
bases' and stores it on the class (or, for built-in types, in
``BuiltinImplementationSpecifications``), so the next resolution finds it
without coming back here.
"""

from __future__ import annotations

from collections.abc import Callable, Iterable
from typing import Any, Protocol, TypeVar, Union, cast

from trel.interface._core import (
    ClassProvidesBase,
    ObjectSpecificationDescriptor,
    implementedBy,
    providedBy,
)
from trel.interface.interface import Interface, InterfaceClass, Specification

__all__ = [
    "BuiltinImplementationSpecifications",
    "ClassProvides",
    "Declaration",
    "Implements",
    "Provides",
    "alsoProvides",
    "classImplements",
    "directlyProvidedBy",
    "directlyProvides",
    "implementedBy",
    "implementedByFallback",
    "implementer",
    "noLongerProvides",
    "providedBy",
    "provider",
]

# What a declaration names: interfaces, and declarations for all of theirs.
_Declarable = Union[InterfaceClass, "Declaration"]
_T = TypeVar("_T")


class _BoundSuper(Protocol):
    """What a super object carries; typeshed's ``super`` does not declare it."""

    __self_class__: type
    __thisclass__: type


def _set(ob: object, name: str, value: object) -> None:
    """Store a declaration on any object, as ``ob.name = value`` would."""
    setattr(ob, name, value)


def _interfaces(items: Iterable[_Declarable]) -> tuple[InterfaceClass, ...]:
    """The interfaces named by ``items``; declarations contribute theirs."""
    result: list[InterfaceClass] = []
    for item in items:
        if isinstance(item, InterfaceClass):
            result.append(item)
        elif isinstance(item, Declaration):
            result.extend(item.declared)
        else:
            raise TypeError("only interfaces can be declared", item)
    return tuple(dict.fromkeys(result))


class Declaration(Specification):
    """A set of interfaces, and with them everything they extend.

    Every declaration implies ``Interface``, which every object provides.
    """

    declared: tuple[InterfaceClass, ...]

    def __init__(self, *bases: _Declarable) -> None:
        self.declared = _interfaces(bases)
        Specification.__init__(self, self.declared)

    def _resolution_order(self) -> list[Specification]:
        order = Specification._resolution_order(self)
        if Interface not in order:
            order.append(Interface)
        return order

    def __contains__(self, interface: object) -> bool:
        """Whether the declaration includes ``interface``, directly or through its bases."""
        return interface in self.__iro__

    def __repr__(self) -> str:
        return f"<{type(self).__name__} {', '.join(i.__name__ for i in self.declared)}>"


class Implements(Declaration):
    """What a class or factory implements: the interfaces it declares, then
    what its base classes implement."""

    def __init__(
        self, name: str, declared: Iterable[_Declarable] = (), inherited: Iterable[Specification] = ()
    ) -> None:
        self.__name__ = name
        self.declared = _interfaces(declared)
        self.inherited = tuple(inherited)
        Specification.__init__(self, self.declared + self.inherited)

    def declare(self, *interfaces: _Declarable) -> None:
        """Add interfaces to the declaration; what derives from it follows."""
        self.declared = _interfaces(self.declared + interfaces)
        self.__bases__ = self.declared + self.inherited

    def __repr__(self) -> str:
        return f"<implementedBy {self.__name__}>"


class Provides(Declaration):
    """What one object provides directly, beyond what its class implements."""

    def __init__(self, cls: object, *interfaces: _Declarable) -> None:
        self.declared = _interfaces(interfaces)
        Specification.__init__(self, (*self.declared, implementedBy(cls)))


class ClassProvides(Declaration, ClassProvidesBase):
    """What a class object itself provides.

    Stored on the class as ``__provides__``: read through that very class it
    is this specification, read through one of its instances it is what the
    class implements, and read through a subclass it is absent, so
    subclasses do not inherit what their base provides as an object.
    """

    def __init__(self, cls: type, metaclass: type, *interfaces: _Declarable) -> None:
        self._cls = cls
        self._implements = implementedBy(cls)
        self.declared = _interfaces(interfaces)
        Specification.__init__(self, (*self.declared, implementedBy(metaclass)))


def _name_of(ob: object) -> str:
    return f"{getattr(ob, '__module__', '?')}.{getattr(ob, '__qualname__', getattr(ob, '__name__', repr(ob)))}"


# The specification of objects that have no class.
_empty = Declaration()

# Declarations of classes that cannot carry "__implemented__" themselves
# (built-in and extension types), keyed by the class.
BuiltinImplementationSpecifications: dict[Any, Implements] = {}

# Every class that declares something answers "__providedBy__" through the
# core's descriptor.
objectSpecificationDescriptor = ObjectSpecificationDescriptor()


def _store(cls: object, spec: Implements) -> Implements:
    """Keep ``spec`` where the core's next resolution of ``cls`` finds it."""
    try:
        _set(cls, "__implemented__", spec)
    except (TypeError, AttributeError):
        try:
            BuiltinImplementationSpecifications[cls] = spec
        except TypeError:  # unhashable: computed afresh each time
            pass
    return spec


def _declared(cls: type) -> bool:
    """Whether the core finds a declaration for ``cls`` without the fallback."""
    if "__implemented__" in cls.__dict__:
        return True
    try:
        return cls in BuiltinImplementationSpecifications
    except TypeError:  # unhashable: never stored
        return False


def _inherit(cls: type) -> Implements:
    """A declaration for ``cls`` made of what its bases implement, stored."""
    inherited = [implementedBy(base) for base in cls.__bases__]
    return _store(cls, Implements(_name_of(cls), inherited=inherited))


def implementedByFallback(cls: object) -> Declaration:
    """The declaration of a class or factory that carries none of its own.

    A class implements what its bases implement; a super object, what the
    classes after its starting point implement; any other callable,
    nothing. Raises TypeError for anything that is neither a class nor a
    callable.
    """
    if isinstance(cls, super):
        bound = cast(_BoundSuper, cls)
        mro = bound.__self_class__.__mro__
        after = mro[mro.index(bound.__thisclass__) + 1 :]
        return Implements(f"super({_name_of(bound.__thisclass__)})", inherited=[implementedBy(c) for c in after])
    if isinstance(cls, type):
        own = cls.__dict__.get("__implemented__")
        if own is not None and not isinstance(own, Implements):
            raise TypeError("__implemented__ must be an Implements declaration", cls)
        if own is not None:
            return own
        # Every class below that has no declaration yet gets one first, bases
        # before the classes built on them, so each is made from declarations
        # already stored: a chain of thousands of undeclared classes resolves
        # without recursing.
        for base in reversed(cls.__mro__[1:]):
            if not _declared(base):
                _inherit(base)
        return _inherit(cls)
    if callable(cls):
        return _empty
    raise TypeError("ImplementedBy called for non-factory", cls)


def classImplements(cls: object, *interfaces: _Declarable) -> None:
    """Declare that instances of ``cls`` provide ``interfaces``, besides
    what its base classes implement."""
    spec = implementedBy(cls)
    if not isinstance(spec, Implements) or spec is _empty:
        # A factory that is not a class starts a declaration of its own.
        spec = _store(cls, Implements(_name_of(cls)))
    spec.declare(*interfaces)
    if isinstance(cls, type):
        try:
            if "__providedBy__" not in cls.__dict__:
                _set(cls, "__providedBy__", objectSpecificationDescriptor)
            if "__provides__" not in cls.__dict__:
                _set(cls, "__provides__", ClassProvides(cls, type(cls)))
        except (TypeError, AttributeError):  # built-in types keep the core's default path
            pass


def implementer(*interfaces: _Declarable) -> Callable[[_T], _T]:
    """Class or factory decorator: what its instances (or results) provide."""

    def declare(cls: _T) -> _T:
        classImplements(cls, *interfaces)
        return cls

    return declare


def directlyProvidedBy(ob: object) -> Declaration:
    """The interfaces ``ob`` provides itself, beyond what its class implements."""
    provides = getattr(ob, "__provides__", None)
    if isinstance(provides, (Provides, ClassProvides)):
        return Declaration(*provides.declared)
    return Declaration()


def directlyProvides(ob: object, *interfaces: _Declarable) -> None:
    """Declare exactly what ``ob`` itself provides (replacing earlier such
    declarations); a class object gets a class-provides specification."""
    if isinstance(ob, type):
        _set(ob, "__provides__", ClassProvides(ob, type(ob), *interfaces))
        if "__providedBy__" not in ob.__dict__:
            _set(ob, "__providedBy__", objectSpecificationDescriptor)
    else:
        _set(ob, "__provides__", Provides(type(ob), *interfaces))


def alsoProvides(ob: object, *interfaces: _Declarable) -> None:
    """Add ``interfaces`` to what ``ob`` itself provides."""
    directlyProvides(ob, directlyProvidedBy(ob), *interfaces)


def noLongerProvides(ob: object, interface: InterfaceClass) -> None:
    """Remove ``interface`` from what ``ob`` itself provides."""
    remaining = [i for i in directlyProvidedBy(ob).declared if i != interface]
    directlyProvides(ob, *remaining)
    if interface.providedBy(ob):
        raise ValueError("can only remove directly provided interfaces", interface)


def provider(*interfaces: _Declarable) -> Callable[[_T], _T]:
    """Class decorator: what the class object itself provides."""

    def declare(cls: _T) -> _T:
        directlyProvides(cls, *interfaces)
        return cls

    return declare
