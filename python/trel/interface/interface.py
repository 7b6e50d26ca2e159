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

import importlib
import pickle
import sys
import weakref
from collections.abc import Callable, Iterable, Iterator, Mapping
from typing import Any, cast

from trel.interface._core import InterfaceBase, SpecificationBase
from trel.interface._module_name import ModuleName
from trel.interface.attribute import Attribute, Method
from trel.interface.exceptions import Invalid
from trel.interface.ro import dependency_order, resolution_order

__all__ = ["Attribute", "Interface", "InterfaceClass", "Method", "Specification", "invariant", "taggedValue"]


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
        new = tuple(bases)
        for i, base in enumerate(new):
            # Only a specification that others are built on can be reached
            # through a base's order.
            if base is self or (self._dependents and any(spec is self for spec in base.__sro__)):
                raise ValueError(f"bases[{i}] is {self!r} or built on it: specifications cannot form a cycle")
        for base in self._bases:
            base._dependents.pop(self, None)
        self._bases = new
        for base in self._bases:
            base._dependents[self] = True
        self.changed(self)

    def _resolution_order(self) -> list[Specification]:
        return resolution_order(self, _bases_of, _order_of)

    def changed(self, originally_changed: object) -> None:
        """Recompute what this specification implies, then what every
        specification derived from it implies: each once, after its bases."""
        if not self._dependents:  # the common case: nothing built on it yet
            self._recompute()
            return
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

    def flattened(self) -> Iterator[InterfaceClass]:
        """Every interface this specification implies, most specific first."""
        return iter(self.__iro__)

    def __iter__(self) -> Iterator[InterfaceClass]:
        return self.interfaces()


_CLASS_STATEMENT_NAMES = frozenset(
    (
        "__module__",
        "__qualname__",
        "__doc__",
        "__locals__",
        "__classcell__",
        "__firstlineno__",
        "__static_attributes__",
    )
)

# Where a class statement keeps its annotations: a dict, or (from 3.14) a
# function that makes it on demand.
_ANNOTATION_NAMES = ("__annotations__", "__annotate__", "__annotate_func__", "__annotations_cache__")


def _annotated_names(annotations: object) -> list[str]:
    """The names a class body annotated, without evaluating the annotations."""
    if isinstance(annotations, dict):
        return [name for name in annotations if isinstance(name, str)]
    if not callable(annotations):
        return []
    try:
        # Annotations evaluated on demand: asked for with forward references
        # left as they are, so a name defined later in the module is no error.
        annotationlib: Any = importlib.import_module("annotationlib")
        made = annotationlib.call_annotate_function(annotations, annotationlib.Format.FORWARDREF)
    except ImportError:
        made = _evaluated(annotations)
    except Exception:
        return []
    return [name for name in made if isinstance(name, str)] if isinstance(made, dict) else []


def _evaluated(annotate: Callable[[int], object]) -> object:
    """What an annotate function gives for its values (format 1), or nothing."""
    try:
        return annotate(1)
    except Exception:
        return {}


# Where taggedValue() and invariant() leave their values in a class body
# until the interface is made from it.
_TAGGED_VALUES = "__interface_tagged_values__"


def _class_body_tagged_values(caller: str) -> dict[str, Any]:
    """The tagged values being collected in the class body two frames up."""
    namespace = sys._getframe(2).f_locals
    if "__qualname__" not in namespace or "__module__" not in namespace:
        raise TypeError(f"{caller}() can only be called in an interface's class statement")
    values: dict[str, Any] = namespace.setdefault(_TAGGED_VALUES, {})
    return values


def taggedValue(key: str, value: object) -> None:
    """In an interface's class statement: tag the interface with ``value``
    under ``key`` (read with ``getTaggedValue``)."""
    if not isinstance(key, str):
        raise TypeError(f"key must be a str, not {type(key).__name__}")
    _class_body_tagged_values("taggedValue")[key] = value


def invariant(check: Callable[[Any], object]) -> Callable[[Any], object]:
    """In an interface's class statement: record ``check(ob)``, which raises
    ``Invalid`` for an object that breaks it. ``validateInvariants`` runs
    the checks. Returns ``check``, so it also serves as a decorator."""
    if not callable(check):
        raise TypeError(f"check must be callable, not {check!r}")
    _class_body_tagged_values("invariant").setdefault("invariants", []).append(check)
    return check


class _Documentation:
    """An interface's ``__doc__``: its docstring followed by what it
    describes, so ``help()`` and ``pydoc`` show both. ``getDoc()`` gives
    the docstring alone; assigning ``__doc__`` replaces it."""

    def __init__(self, class_doc: str | None) -> None:
        self.class_doc = class_doc

    def __get__(self, instance: InterfaceClass | None, owner: type | None = None) -> str | None:
        if instance is None:
            return self.class_doc
        return instance._documentation()

    def __set__(self, instance: InterfaceClass, value: str | None) -> None:
        instance._docstring = value or ""


class InterfaceClass(InterfaceBase, Specification):
    """An interface: a named specification that describes attributes and adapts.

    A class statement whose base is an interface makes a new interface:
    ``class IGreeter(Interface): def greet(name): "Say hello."``.

    An interface is a read-only mapping of the names it describes, its
    bases' included: ``I["greet"]``, ``I.get(name)``, ``name in I`` and
    ``iter(I)`` (the names).
    """

    __name__: str
    _docstring: str

    def __init__(
        self,
        name: str,
        bases: Iterable[InterfaceClass] = (),
        attrs: Mapping[str, Any] | None = None,
        __doc__: str | None = None,
        __module__: str | None = None,
    ) -> None:
        if not isinstance(name, str):
            raise TypeError(f"name must be a str, not {type(name).__name__}")
        if isinstance(bases, InterfaceClass):
            raise TypeError(f"bases must be a sequence of interfaces, not the single {bases!r}")
        bases = tuple(bases)
        for i, base in enumerate(bases):
            if not isinstance(base, InterfaceClass):
                raise TypeError(f"bases[{i}] must be an interface, not {base!r}")
        if attrs is not None and not isinstance(attrs, Mapping):
            raise TypeError(f"attrs must be a mapping of names, not {type(attrs).__name__}")
        attrs = dict(attrs or {})
        if __module__ is None:
            __module__ = attrs.get("__module__") or sys._getframe(1).f_globals.get("__name__")
        if not isinstance(__module__, str):
            raise TypeError(f"__module__ must be a str, not {type(__module__).__name__}")
        if __doc__ is None:
            __doc__ = attrs.get("__doc__") or ""
        if not isinstance(__doc__, str):
            raise TypeError(f"__doc__ must be a str, not {type(__doc__).__name__}")
        tagged = attrs.pop(_TAGGED_VALUES, {})
        checks = tagged.get("invariants", ())
        descriptions: dict[str, Attribute] = {}
        for key, value in attrs.items():
            if key in _ANNOTATION_NAMES:
                continue  # read below
            # What the class statement itself records (newer interpreters add
            # the first line and the attributes assigned through self), and
            # invariants defined by decorating a function in the body.
            if key in _CLASS_STATEMENT_NAMES or any(value is check for check in checks):
                continue
            if isinstance(value, Attribute):
                descriptions[key] = value
            elif callable(value) and hasattr(value, "__code__"):
                descriptions[key] = Method(value)
            else:
                raise TypeError(f"an interface describes attributes and methods only, not {key} = {value!r}")
        # A name only annotated in the body (``name: int``) describes an
        # attribute too, after those the body assigns; one written both ways
        # is described by its Attribute.
        for kept in (attrs.get(key) for key in _ANNOTATION_NAMES):
            for annotated in _annotated_names(kept):
                if annotated not in attrs and annotated not in descriptions:
                    descriptions[annotated] = Attribute()
        if not bases and _root is not None:
            bases = (_root,)  # every interface extends the root
        # Everything is checked: from here on nothing fails.
        InterfaceBase.__init__(self, name, __module__)
        self._docstring = __doc__
        for key, description in descriptions.items():
            description.__name__ = key
            description.interface = self
        self.__attrs = descriptions
        self.__tagged: dict[str, Any] = dict(tagged)
        Specification.__init__(self, bases)

    def __init_subclass__(cls, **kwargs: Any) -> None:
        # A subclass's class statement records its own module as a plain
        # string, which would answer for its interfaces' modules.
        super().__init_subclass__(**kwargs)
        module = cls.__dict__.get("__module__")
        if isinstance(module, str) and not isinstance(module, ModuleName):
            cls.__module__ = ModuleName(module)
        # Likewise its docstring, which would answer for theirs.
        doc = cls.__dict__.get("__doc__")
        if not isinstance(doc, _Documentation):
            cls.__doc__ = _Documentation(doc)  # type: ignore[assignment]  # a descriptor, read as a str

    # The defining module's name, for users and for comparisons with
    # objects that are not interfaces; the core keeps it in __ibmodule__.
    __module__ = ModuleName(__name__)

    def _call_conform(self, conform: Callable[[InterfaceClass], object]) -> object:
        return conform(self)

    # -- Descriptions --------------------------------------------------------

    def getDoc(self) -> str:
        """The interface's docstring alone."""
        return self._docstring

    def _documentation(self) -> str:
        parts = [self._docstring] if self._docstring else []
        attributes, methods = [], []
        for name, description in self.namesAndDescriptions(all=True):
            summary = description.getDoc().strip().split("\n", 1)[0]
            if isinstance(description, Method):
                methods.append(f"  {name}{description.getSignatureString()}" + (f" -- {summary}" if summary else ""))
            else:
                attributes.append(f"  {name}" + (f" -- {summary}" if summary else ""))
        if attributes:
            parts.append("Attributes:\n" + "\n".join(attributes))
        if methods:
            parts.append("Methods:\n" + "\n".join(methods))
        return "\n\n".join(parts)

    def names(self, all: bool = False) -> list[str]:
        """The names the interface describes; with ``all``, its bases' too."""
        if not all:
            return list(self.__attrs)
        names: dict[str, None] = {}
        for base in reversed(self.__iro__):
            names.update(dict.fromkeys(base.__attrs))
        return list(names)

    def namesAndDescriptions(self, all: bool = False) -> list[tuple[str, Attribute]]:
        """(name, description) pairs; with ``all``, its bases' too, each name
        described by the most specific interface that describes it."""
        if not all:
            return list(self.__attrs.items())
        return [(name, self.getDescriptionFor(name)) for name in self.names(all=True)]

    def direct(self, name: str) -> Attribute | None:
        """The description of ``name`` by this interface itself, or None."""
        return self.__attrs.get(name)

    def queryDescriptionFor(self, name: str, default: Any = None) -> Any:
        """The description of ``name``, from this interface or its bases."""
        for base in self.__iro__:
            description = base.__attrs.get(name)
            if description is not None:
                return description
        return default

    def getDescriptionFor(self, name: str) -> Attribute:
        """The description of ``name``; KeyError when nothing describes it."""
        description = self.queryDescriptionFor(name)
        if description is None:
            raise KeyError(name)
        return cast(Attribute, description)

    __getitem__ = getDescriptionFor

    def get(self, name: str, default: Any = None) -> Any:
        """The description of ``name``, or ``default``."""
        return self.queryDescriptionFor(name, default)

    def __contains__(self, name: object) -> bool:
        """Whether this interface or one of its bases describes ``name``."""
        return isinstance(name, str) and self.queryDescriptionFor(name) is not None

    def __iter__(self) -> Iterator[str]:  # type: ignore[override]  # an interface iterates its names
        """The names described, its bases' included."""
        return iter(self.names(all=True))

    # -- Invariants ------------------------------------------------------------

    def validateInvariants(self, ob: object, errors: list[Invalid] | None = None) -> None:
        """Run the invariants of this interface and every interface it
        extends on ``ob``. The first failure is raised; with a list as
        ``errors``, every failure is appended to it instead and one
        ``Invalid`` carrying the list is raised at the end."""
        if errors is not None and not isinstance(errors, list):
            raise TypeError(f"errors must be a list or None, not {type(errors).__name__}")
        failed = False
        for interface in self.__iro__:
            for check in interface.queryDirectTaggedValue("invariants", ()):
                try:
                    check(ob)
                except Invalid as error:
                    if errors is None:
                        raise
                    errors.append(error)
                    failed = True
        if failed:
            raise Invalid(errors)

    # -- Tagged values -----------------------------------------------------------

    def setTaggedValue(self, key: str, value: object) -> None:
        """Tag this interface with ``value`` under ``key``."""
        if not isinstance(key, str):
            raise TypeError(f"key must be a str, not {type(key).__name__}")
        self.__tagged[key] = value

    def queryDirectTaggedValue(self, key: str, default: Any = None) -> Any:
        """This interface's own value for ``key``, or ``default``."""
        return self.__tagged.get(key, default)

    def getDirectTaggedValue(self, key: str) -> Any:
        """This interface's own value for ``key``; KeyError when absent."""
        return self.__tagged[key]

    def getDirectTaggedValueTags(self) -> list[str]:
        """The keys of this interface's own tagged values."""
        return list(self.__tagged)

    def queryTaggedValue(self, key: str, default: Any = None) -> Any:
        """The value for ``key`` from this interface or, failing that, the
        first of its bases in resolution order that has one; else ``default``."""
        for interface in self.__iro__:
            tagged = interface.__tagged
            if key in tagged:
                return tagged[key]
        return default

    def getTaggedValue(self, key: str) -> Any:
        """As ``queryTaggedValue``; KeyError when no interface has ``key``."""
        missing = _MISSING
        value = self.queryTaggedValue(key, missing)
        if value is missing:
            raise KeyError(key)
        return value

    def getTaggedValueTags(self) -> list[str]:
        """Every key with a value, this interface's first, then its bases'."""
        tags: dict[str, None] = {}
        for interface in self.__iro__:
            tags.update(dict.fromkeys(interface.__tagged))
        return list(tags)

    # -- Identity ------------------------------------------------------------------

    def __repr__(self) -> str:
        return f"<{type(self).__name__} {self.__ibmodule__}.{self.__name__}>"

    def __reduce__(self) -> str:
        """Interfaces pickle as a reference to their module and name."""
        module_name, name = self.__ibmodule__, self.__name__
        found: object = None
        try:
            found = importlib.import_module(module_name)
            for part in name.split("."):
                found = getattr(found, part)
        except Exception:
            found = None
        if found is not self:
            raise pickle.PicklingError(
                f"cannot pickle {self!r}: it is not the object named {name} in module {module_name}"
            )
        return name

    # Interfaces are unique by module and name: copies are the interface.
    def __copy__(self) -> InterfaceClass:
        return self

    def __deepcopy__(self, memo: object) -> InterfaceClass:
        return self


# Instances document themselves (see _Documentation); the class keeps its own docstring.
InterfaceClass.__doc__ = _Documentation(InterfaceClass.__doc__)  # type: ignore[assignment]
_MISSING = object()


# The root interface. While it is being made it does not exist yet: the
# check in InterfaceClass.__init__ sees None. The assignment stays this plain
# call: the type checker's plugin reads it as the class every interface
# statement derives from.
_root: InterfaceClass | None = None
Interface = InterfaceClass("Interface", __module__="trel.interface")
_root = Interface
