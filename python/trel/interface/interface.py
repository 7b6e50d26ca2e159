"""Specifications with bases, and interfaces defined by class statements.

A specification implies itself and everything its bases imply: its
``_implied`` holds exactly the entries of its resolution order
(``__sro__``), which is what the core consults when it asks whether one
specification extends another. ``__iro__`` is the same order restricted to
interfaces.

Changing a specification's ``__bases__`` recomputes it and every
specification derived from it, so declarations made after a subclass was
first resolved still reach the subclass.
"""

from __future__ import annotations

import sys
import weakref
from collections.abc import Callable, Iterable, Iterator, Mapping
from typing import Any, cast

from trel.interface._core import InterfaceBase, SpecificationBase
from trel.interface.ro import dependency_order, resolution_order

__all__ = ["Attribute", "Interface", "InterfaceClass", "Method", "Specification"]


def _bases_of(spec: Specification) -> tuple[Specification, ...]:
    return spec.__bases__


def _order_of(spec: Specification) -> tuple[Specification, ...]:
    return spec.__sro__


def _dependents_of(spec: Specification) -> list[Specification]:
    return list(spec._dependents.keys())


class Specification(SpecificationBase):
    """A specification whose implications follow from its bases."""

    _dependents: weakref.WeakKeyDictionary[Specification, bool]
    _bases: tuple[Specification, ...]
    _implied: dict[Specification, tuple[()]]
    __sro__: tuple[Specification, ...]
    __iro__: tuple[InterfaceClass, ...]

    def __init__(self, bases: Iterable[Specification] = ()) -> None:
        self._dependents = weakref.WeakKeyDictionary()
        self._bases = ()
        self.__bases__ = tuple(bases)

    @property
    def __bases__(self) -> tuple[Specification, ...]:
        return self._bases

    @__bases__.setter
    def __bases__(self, bases: Iterable[Specification]) -> None:
        for base in self._bases:
            base._dependents.pop(self, None)
        self._bases = tuple(bases)
        for base in self._bases:
            base._dependents[self] = True
        self.changed(self)

    def _resolution_order(self) -> list[Specification]:
        return resolution_order(self, _bases_of, _order_of)

    def changed(self, originally_changed: object) -> None:
        """Recompute what this specification implies, then what every
        specification derived from it implies: each once, after its bases."""
        for spec in dependency_order(self, _dependents_of):
            spec._recompute()

    def _recompute(self) -> None:
        order = tuple(self._resolution_order())
        self.__sro__ = order
        self.__iro__ = tuple(spec for spec in order if isinstance(spec, InterfaceClass))
        self._implied = dict.fromkeys(order, ())

    def extends(self, other: object, strict: bool = True) -> bool:
        """Whether this specification extends ``other`` (or is it, unless strict)."""
        return self.isOrExtends(other) and not (strict and self == other)

    def interfaces(self) -> Iterator[InterfaceClass]:
        """The interfaces this specification implies, most specific first."""
        return iter(self.__iro__)

    def __iter__(self) -> Iterator[InterfaceClass]:
        return self.interfaces()


class Attribute:
    """An attribute an interface describes."""

    def __init__(self, doc: str = "") -> None:
        self.__doc__ = doc
        self.__name__: str | None = None
        self.interface: InterfaceClass | None = None

    def __repr__(self) -> str:
        owner = self.interface.__name__ if self.interface is not None else "?"
        return f"<{type(self).__name__} {owner}.{self.__name__}>"


class Method(Attribute):
    """A method an interface describes, with the signature it was written with."""

    def __init__(self, function: Callable[..., object]) -> None:
        super().__init__(function.__doc__ or "")
        self.function = function


_CLASS_STATEMENT_NAMES = frozenset(
    ("__module__", "__qualname__", "__doc__", "__locals__", "__classcell__", "__firstlineno__", "__static_attributes__")
)


class InterfaceClass(InterfaceBase, Specification):
    """An interface: a named specification that describes attributes and adapts.

    A class statement whose base is an interface makes a new interface:
    ``class IGreeter(Interface): def greet(name): "Say hello."``.
    """

    __name__: str

    def __init__(
        self,
        name: str,
        bases: Iterable[InterfaceClass] = (),
        attrs: Mapping[str, Any] | None = None,
        __doc__: str | None = None,
        __module__: str | None = None,
    ) -> None:
        attrs = dict(attrs or {})
        if __module__ is None:
            __module__ = attrs.get("__module__") or sys._getframe(1).f_globals.get("__name__")
        if not bases and Interface is not None:
            bases = (Interface,)  # every interface extends the root
        for base in bases:
            if not isinstance(base, InterfaceClass):
                raise TypeError("an interface's bases must be interfaces", base)
        InterfaceBase.__init__(self, name, __module__)
        if __doc__ is None:
            __doc__ = attrs.get("__doc__", "")
        self.__doc__ = __doc__
        self.__attrs: dict[str, Attribute] = {}
        for key, value in attrs.items():
            # What the class statement itself records (newer interpreters add
            # the first line and the attributes assigned through self).
            if key in _CLASS_STATEMENT_NAMES:
                continue
            description: Attribute
            if isinstance(value, Attribute):
                description = value
            elif callable(value) and hasattr(value, "__code__"):
                description = Method(value)
            else:
                raise TypeError("an interface describes attributes and methods only", key, value)
            description.__name__ = key
            description.interface = self
            self.__attrs[key] = description
        Specification.__init__(self, bases)

    # The defining module's name, for users and for comparisons with
    # objects that are not interfaces; the core keeps it in __ibmodule__.
    __module__ = property(lambda self: self.__ibmodule__)

    def _call_conform(self, conform: Callable[[InterfaceClass], object]) -> object:
        return conform(self)

    def names(self, all: bool = False) -> list[str]:
        """The names the interface describes; with ``all``, its bases' too."""
        if not all:
            return list(self.__attrs)
        names: dict[str, None] = {}
        for base in reversed(self.__iro__):
            names.update(dict.fromkeys(base.names()))
        return list(names)

    def queryDescriptionFor(self, name: str, default: object = None) -> object:
        """The description of ``name``, from this interface or its bases."""
        for base in self.__iro__:
            description = base.__attrs.get(name)
            if description is not None:
                return description
        return default

    def __repr__(self) -> str:
        return f"<{type(self).__name__} {self.__ibmodule__}.{self.__name__}>"

    def __reduce__(self) -> str:
        return self.__name__


# The root interface. It is made just below, and while it is being made it
# does not exist yet: the check in InterfaceClass.__init__ sees None.
Interface = cast(InterfaceClass, None)
Interface = InterfaceClass("Interface", __module__="trel.interface")
