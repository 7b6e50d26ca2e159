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

import sys
from collections.abc import Callable, Iterable, Iterator
from types import ModuleType
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
    "classImplementsOnly",
    "directlyProvidedBy",
    "directlyProvides",
    "implementedBy",
    "implementedByFallback",
    "implementer",
    "implementer_only",
    "moduleProvides",
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


def _interfaces(items: Iterable[_Declarable], what: str = "interfaces") -> tuple[InterfaceClass, ...]:
    """The interfaces named by ``items``; declarations contribute theirs.
    ``what`` names the argument in the TypeError for anything else."""
    result: list[InterfaceClass] = []
    for item in items:
        if isinstance(item, InterfaceClass):
            result.append(item)
        elif isinstance(item, Declaration):
            result.extend(item.declared)
        else:
            raise TypeError(f"{what} must be interfaces or declarations, not {item!r}")
    return tuple(dict.fromkeys(result))


def _label(interfaces: Iterable[InterfaceClass]) -> str:
    return ", ".join(f"{i.__ibmodule__}.{i.__name__}" for i in interfaces)


class Declaration(Specification):
    """A set of interfaces, and with them everything they extend.

    ``iter(decl)`` gives its interfaces (through the declarations it is
    built on), ``decl.flattened()`` every interface they imply, most
    specific first; ``I in decl`` asks whether it implies ``I``.
    ``decl + I``, ``decl + other`` and ``decl - I`` make new declarations;
    subtracting ``I`` also drops the interfaces that extend it.

    Every declaration implies ``Interface``, which every object provides.
    """

    declared: tuple[InterfaceClass, ...]

    def __init__(self, *bases: _Declarable) -> None:
        self.declared = _interfaces(bases, "Declaration() arguments")
        Specification.__init__(self, self.declared)

    def _resolution_order(self) -> list[Specification]:
        order = Specification._resolution_order(self)
        if Interface not in order:
            order.append(Interface)
        return order

    def __contains__(self, interface: object) -> bool:
        """Whether the declaration includes ``interface``, directly or through its bases."""
        return interface in self.__iro__

    def interfaces(self) -> Iterator[InterfaceClass]:
        """The interfaces declared, and those of the declarations this one
        is built on (without what they extend), each once."""
        seen: dict[InterfaceClass, None] = {}
        stack: list[Specification] = list(reversed(self.__bases__))
        while stack:
            base = stack.pop()
            if isinstance(base, InterfaceClass):
                seen.setdefault(base)
            else:
                stack.extend(reversed(base.__bases__))
        return iter(seen)

    def __iter__(self) -> Iterator[InterfaceClass]:
        return self.interfaces()

    def __add__(self, other: object) -> Declaration:
        if not isinstance(other, (InterfaceClass, Declaration)):
            return NotImplemented
        return Declaration(*self, *_operand(other))

    def __radd__(self, other: object) -> Declaration:
        if not isinstance(other, (InterfaceClass, Declaration)):
            return NotImplemented
        return Declaration(*_operand(other), *self)

    def __sub__(self, other: object) -> Declaration:
        if not isinstance(other, (InterfaceClass, Declaration)):
            return NotImplemented
        removed = _operand(other)
        return Declaration(*(i for i in self if not any(i.isOrExtends(r) for r in removed)))

    def __reduce__(self) -> Any:
        return Declaration, tuple(self)

    def __repr__(self) -> str:
        return f"<{type(self).__name__} {_label(self.declared)}>" if self.declared else f"<{type(self).__name__}>"


def _operand(other: InterfaceClass | Declaration) -> tuple[InterfaceClass, ...]:
    return (other,) if isinstance(other, InterfaceClass) else tuple(other)


class Implements(Declaration):
    """What a class or factory implements: the interfaces it declares, then
    what its base classes implement."""

    # The class or factory whose declaration this is, once it is stored.
    _owner: object = None

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

    def declare_only(self, interfaces: tuple[InterfaceClass, ...]) -> None:
        """Make the declaration exactly ``interfaces``: nothing inherited."""
        self.declared, self.inherited = interfaces, ()
        self.__bases__ = interfaces

    def __reduce__(self) -> Any:
        # A stored declaration is found again through its class or factory,
        # so it unpickles to the very object in use there.
        owner = self._owner
        if owner is not None and _stored_declaration(owner) is self:
            return implementedBy, (owner,)
        return Implements, (self.__name__, self.declared, self.inherited)

    def __repr__(self) -> str:
        return f"<implementedBy {self.__name__}>"


class Provides(Declaration):
    """What one object provides directly, beyond what its class implements."""

    def __init__(self, cls: object, *interfaces: _Declarable) -> None:
        self.declared = _interfaces(interfaces)
        self._cls = cls
        Specification.__init__(self, (*self.declared, implementedBy(cls)))

    def __reduce__(self) -> Any:
        return Provides, (self._cls, *self.declared)


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

    def __reduce__(self) -> Any:
        # The class keeps its own: that very object unpickles.
        return _class_provides, (self._cls,)


def _class_provides(cls: type) -> ClassProvides:
    provides: ClassProvides = cls.__dict__["__provides__"]
    return provides


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
    spec._owner = cls
    try:
        _set(cls, "__implemented__", spec)
    except (TypeError, AttributeError):
        try:
            BuiltinImplementationSpecifications[cls] = spec
        except TypeError:  # unhashable: computed afresh each time
            pass
    return spec


def _stored_declaration(cls: object) -> object:
    """The declaration stored for ``cls``, without computing one."""
    try:
        own = cls.__dict__.get("__implemented__")
    except AttributeError:
        own = None
    if own is None:
        try:
            own = BuiltinImplementationSpecifications.get(cls)
        except TypeError:
            own = None
    return own


def _inherit(cls: type, declared: tuple[InterfaceClass, ...] = ()) -> Implements:
    """A declaration for ``cls`` made of ``declared`` and what its bases
    implement, stored."""
    inherited = [implementedBy(base) for base in cls.__bases__]
    return _store(cls, Implements(_name_of(cls), declared, inherited))


def _declare_bases(cls: type) -> None:
    """Every class below ``cls`` that has no declaration yet gets one, bases
    before the classes built on them, so each is made from declarations
    already stored: a chain of thousands of undeclared classes resolves
    without recursing."""
    for base in reversed(cls.__mro__[1:]):
        if _stored_declaration(base) is None:
            _inherit(base)


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
        _declare_bases(cls)
        return _inherit(cls)
    if callable(cls):
        return _empty
    raise TypeError("ImplementedBy called for non-factory", cls)


def _declare_for(cls: object, interfaces: tuple[InterfaceClass, ...], only: bool, argument: str) -> None:
    if not callable(cls):
        raise TypeError(f"{argument} must be a class or a callable, not {cls!r}")
    if isinstance(cls, type) and _stored_declaration(cls) is None:
        # A class declared for the first time: its declaration is made with
        # its interfaces at once, its order computed once.
        if only:
            _store(cls, Implements(_name_of(cls), interfaces))
        else:
            _declare_bases(cls)
            _inherit(cls, interfaces)
    else:
        spec = implementedBy(cls)  # TypeError for what is neither a class nor a callable
        if not isinstance(spec, Implements) or _stored_declaration(cls) is not spec:
            # A factory that is not a class starts a declaration of its own.
            spec = _store(cls, Implements(_name_of(cls)))
        if only:
            spec.declare_only(interfaces)
        else:
            spec.declare(*interfaces)
    if isinstance(cls, type):
        try:
            # Only "__providedBy__": instances then resolve through the
            # core's descriptor. A class-provides specification is stored
            # only when the class object itself is declared to provide
            # something (directlyProvides): one under "__provides__" on every
            # declared class would make each instance of a subclass raise
            # and swallow an AttributeError on every resolution.
            if "__providedBy__" not in cls.__dict__:
                _set(cls, "__providedBy__", objectSpecificationDescriptor)
        except (TypeError, AttributeError):  # built-in types keep the core's default path
            pass


def classImplements(cls: object, *interfaces: _Declarable) -> None:
    """Declare that instances of ``cls`` provide ``interfaces``, besides
    what its base classes implement."""
    _declare_for(cls, _interfaces(interfaces, "classImplements() interfaces"), False, "classImplements() cls")


def classImplementsOnly(cls: object, *interfaces: _Declarable) -> None:
    """Declare that instances of ``cls`` provide exactly ``interfaces``:
    nothing its base classes implement is inherited."""
    _declare_for(cls, _interfaces(interfaces, "classImplementsOnly() interfaces"), True, "classImplementsOnly() cls")


def implementer(*interfaces: _Declarable) -> Callable[[_T], _T]:
    """Class or factory decorator: what its instances (or results) provide."""
    declared = _interfaces(interfaces, "implementer() arguments")

    def declare(cls: _T) -> _T:
        _declare_for(cls, declared, False, "the object decorated with implementer()")
        return cls

    return declare


def implementer_only(*interfaces: _Declarable) -> Callable[[_T], _T]:
    """Class decorator: its instances provide exactly ``interfaces``,
    nothing inherited from its base classes."""
    declared = _interfaces(interfaces, "implementer_only() arguments")

    def declare(cls: _T) -> _T:
        _declare_for(cls, declared, True, "the class decorated with implementer_only()")
        return cls

    return declare


def directlyProvidedBy(ob: object) -> Declaration:
    """The interfaces ``ob`` provides itself, beyond what its class implements."""
    provides = getattr(ob, "__provides__", None)
    if isinstance(provides, (Provides, ClassProvides)):
        return Declaration(*provides.declared)
    return Declaration()


def _provides_for(ob: object, interfaces: tuple[InterfaceClass, ...]) -> Declaration:
    """The specification ``ob`` would carry to provide ``interfaces`` itself."""
    if isinstance(ob, type):
        return ClassProvides(ob, type(ob), *interfaces)
    return Provides(type(ob), *interfaces)


def _install(ob: object, spec: Declaration) -> None:
    try:
        _set(ob, "__provides__", spec)
        if isinstance(ob, type) and "__providedBy__" not in ob.__dict__:
            _set(ob, "__providedBy__", objectSpecificationDescriptor)
    except (TypeError, AttributeError) as error:
        raise TypeError(f"{ob!r} cannot carry declarations of what it provides ({error})") from None


def directlyProvides(ob: object, *interfaces: _Declarable) -> None:
    """Declare exactly what ``ob`` itself provides (replacing earlier such
    declarations); a class object gets a class-provides specification."""
    _install(ob, _provides_for(ob, _interfaces(interfaces, "directlyProvides() interfaces")))


def alsoProvides(ob: object, *interfaces: _Declarable) -> None:
    """Add ``interfaces`` to what ``ob`` itself provides."""
    added = _interfaces(interfaces, "alsoProvides() interfaces")
    _install(ob, _provides_for(ob, _interfaces((*directlyProvidedBy(ob).declared, *added))))


def noLongerProvides(ob: object, interface: InterfaceClass) -> None:
    """Remove ``interface`` (and the interfaces extending it) from what
    ``ob`` itself provides.

    ValueError, with ``ob`` left as it was, when ``ob`` would provide it
    all the same (through what its class implements).
    """
    if not isinstance(interface, InterfaceClass):
        raise TypeError(f"interface must be an interface, not {interface!r}")
    declared = directlyProvidedBy(ob).declared
    remaining = tuple(i for i in declared if not i.isOrExtends(interface))
    if len(remaining) == len(declared):
        if interface.providedBy(ob):
            raise ValueError(f"can only remove directly provided interfaces: {ob!r} provides {interface!r} otherwise")
        return
    spec = _provides_for(ob, remaining)
    if spec.isOrExtends(interface):
        raise ValueError(f"can only remove directly provided interfaces: {ob!r} provides {interface!r} otherwise")
    _install(ob, spec)


def provider(*interfaces: _Declarable) -> Callable[[_T], _T]:
    """Decorator for classes and functions: what the decorated object itself
    provides (for a class: the class object, not its instances)."""
    declared = _interfaces(interfaces, "provider() arguments")

    def declare(ob: _T) -> _T:
        _install(ob, _provides_for(ob, declared))
        return ob

    return declare


def moduleProvides(*interfaces: _Declarable) -> None:
    """Called in a module's body: the module object provides ``interfaces``."""
    declared = _interfaces(interfaces, "moduleProvides() arguments")
    frame = sys._getframe(1)
    namespace = frame.f_locals
    if namespace is not frame.f_globals:
        raise TypeError("moduleProvides() can only be called in a module's body")
    if "__provides__" in namespace:
        raise TypeError("moduleProvides() can only be called once in a module")
    namespace["__provides__"] = Provides(ModuleType, *declared)
