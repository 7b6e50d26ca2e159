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

import sys
import weakref

from trel.interface._core import InterfaceBase, SpecificationBase
from trel.interface.ro import resolution_order

__all__ = ["Attribute", "Interface", "InterfaceClass", "Method", "Specification"]


def _bases_of(spec):
    return spec.__bases__


class Specification(SpecificationBase):
    """A specification whose implications follow from its bases."""

    def __init__(self, bases=()):
        self._dependents = weakref.WeakKeyDictionary()
        self._bases = ()
        self.__bases__ = tuple(bases)

    @property
    def __bases__(self):
        return self._bases

    @__bases__.setter
    def __bases__(self, bases):
        for base in self._bases:
            base._dependents.pop(self, None)
        self._bases = tuple(bases)
        for base in self._bases:
            base._dependents[self] = True
        self.changed(self)

    def _resolution_order(self):
        return resolution_order(self, _bases_of)

    def changed(self, originally_changed):
        """Recompute what this specification implies, then its dependents'."""
        order = tuple(self._resolution_order())
        self.__sro__ = order
        self.__iro__ = tuple(spec for spec in order if isinstance(spec, InterfaceClass))
        self._implied = dict.fromkeys(order, ())
        for dependent in list(self._dependents.keys()):
            dependent.changed(originally_changed)

    def extends(self, other, strict=True):
        """Whether this specification extends ``other`` (or is it, unless strict)."""
        return self.isOrExtends(other) and not (strict and self == other)

    def interfaces(self):
        """The interfaces this specification implies, most specific first."""
        return iter(self.__iro__)

    def __iter__(self):
        return self.interfaces()


class Attribute:
    """An attribute an interface describes."""

    def __init__(self, doc=""):
        self.__doc__ = doc
        self.__name__ = None
        self.interface = None

    def __repr__(self):
        owner = self.interface.__name__ if self.interface is not None else "?"
        return f"<{type(self).__name__} {owner}.{self.__name__}>"


class Method(Attribute):
    """A method an interface describes, with the signature it was written with."""

    def __init__(self, function):
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

    def __init__(self, name, bases=(), attrs=None, __doc__=None, __module__=None):
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
        self.__attrs = {}
        for key, value in attrs.items():
            # What the class statement itself records (newer interpreters add
            # the first line and the attributes assigned through self).
            if key in _CLASS_STATEMENT_NAMES:
                continue
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

    def _call_conform(self, conform):
        return conform(self)

    def names(self, all=False):
        """The names the interface describes; with ``all``, its bases' too."""
        if not all:
            return list(self.__attrs)
        names = {}
        for base in reversed(self.__iro__):
            names.update(dict.fromkeys(base.names()))
        return list(names)

    def queryDescriptionFor(self, name, default=None):
        """The description of ``name``, from this interface or its bases."""
        for base in self.__iro__:
            description = base.__attrs.get(name)
            if description is not None:
                return description
        return default

    def __repr__(self):
        return f"<{type(self).__name__} {self.__ibmodule__}.{self.__name__}>"

    def __reduce__(self):
        return self.__name__


Interface = None
Interface = InterfaceClass("Interface", __module__="trel.interface")
