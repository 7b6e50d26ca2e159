"""What an adapter factory declares, and what registrations take as arguments.

``adapter_for(*required)`` records on a factory what it adapts, so that a
registry can register it without being told; ``implementer`` on the factory
(or, for a callable object, on its class) tells what it provides. The
helpers here turn what callers pass into the specifications a registry
stores, and raise a TypeError naming the argument for anything else.
"""

from __future__ import annotations

from collections.abc import Callable, Iterable
from typing import Any, TypeVar, Union

from trel.interface import Interface, InterfaceClass, Specification, implementedBy, providedBy

__all__ = ["adapted_by", "adapter_for"]

_T = TypeVar("_T")
# What a registration may name as a required specification: a specification,
# a class (what its instances provide) or None (any object).
Required = Union[Specification, type, None]

# The attribute adapter_for stores on a factory.
ADAPTS = "__component_adapts__"


def _describe(ob: object) -> str:
    return f"{type(ob).__name__} {ob!r}"


def _check_required_entry(entry: object, argument: str) -> None:
    if entry is not None and not isinstance(entry, (Specification, type)):
        raise TypeError(
            f"{argument} entries must be interfaces, specifications, classes or None, not {_describe(entry)}"
        )


def adapter_for(*required: Required) -> Callable[[_T], _T]:
    """Decorator: the factory adapts objects providing ``required``.

    Each entry is an interface or specification, a class (what its
    instances provide) or None (any object). A registry that is given the
    factory without ``required`` uses these.
    """
    if not required:
        raise TypeError("adapter_for needs at least one required specification")
    for entry in required:
        _check_required_entry(entry, "adapter_for")

    def declare(factory: _T) -> _T:
        if not callable(factory):
            raise TypeError(f"adapter_for decorates factories, not {_describe(factory)}")
        setattr(factory, ADAPTS, tuple(required))
        return factory

    return declare


def adapted_by(factory: object) -> tuple[Required, ...] | None:
    """What ``adapter_for`` declared for ``factory`` (or its class), if anything."""
    declared = getattr(factory, ADAPTS, None)
    return None if declared is None else tuple(declared)


def normalize_required(entries: Iterable[Required]) -> tuple[Specification, ...]:
    """The specifications a registry stores for required entries: None
    means ``Interface``, a class means what its instances provide."""
    specs: list[Specification] = []
    for entry in entries:
        if entry is None:
            specs.append(Interface)
        elif isinstance(entry, type):
            specs.append(implementedBy(entry))
        else:
            specs.append(entry)
    return tuple(specs)


def check_required(required: object, argument: str = "required") -> tuple[Required, ...]:
    """``required`` as a tuple, after checking it is a sequence of entries."""
    # A specification is iterable (over its interfaces), and so is a string;
    # neither is the list of required entries a caller meant.
    if isinstance(required, (Specification, type, str, bytes)) or not isinstance(required, Iterable):
        raise TypeError(f"{argument} must be a sequence of interfaces, classes or None, not {_describe(required)}")
    entries = tuple(required)
    for entry in entries:
        _check_required_entry(entry, argument)
    return entries


def required_for(factory: object, required: object, argument: str = "required") -> tuple[Required, ...]:
    """The given required entries, else those ``adapter_for`` declared."""
    if required is None:
        declared = adapted_by(factory)
        if declared is None:
            raise TypeError(
                f"{argument} was not given and {factory!r} declares nothing it adapts (decorate it with adapter_for)"
            )
        return declared
    return check_required(required, argument)


def check_interface(provided: object, argument: str = "provided") -> InterfaceClass:
    if not isinstance(provided, InterfaceClass):
        raise TypeError(f"{argument} must be an interface, not {_describe(provided)}")
    return provided


def check_string(value: object, argument: str) -> str:
    if not isinstance(value, str):
        raise TypeError(f"{argument} must be a string, not {_describe(value)}")
    return value


def _most_specific(spec: Any) -> list[InterfaceClass]:
    """The interfaces a declaration names, less those another of them extends
    (and less ``Interface``, which everything provides)."""
    interfaces = [i for i in spec.__iro__ if i is not Interface]
    return [i for i in interfaces if not any(j is not i and j.extends(i) for j in interfaces)]


def _single(found: list[InterfaceClass], ob: object, argument: str, how: str) -> InterfaceClass:
    if len(found) == 1:
        return found[0]
    if not found:
        raise TypeError(f"{argument} was not given and {ob!r} {how} no interface")
    names = ", ".join(i.__name__ for i in found)
    raise TypeError(f"{argument} was not given and {ob!r} {how} several interfaces ({names}): name one")


def provided_by_factory(factory: object, provided: object, argument: str = "provided") -> InterfaceClass:
    """The given interface, else the single one the factory (or, for a
    callable object, its class) declares that it implements."""
    if provided is not None:
        return check_interface(provided, argument)
    found = _most_specific(implementedBy(factory))
    if not found and not isinstance(factory, type):
        found = _most_specific(implementedBy(type(factory)))
    return _single(found, factory, argument, "implements")


def provided_by_component(component: object, provided: object, argument: str = "provided") -> InterfaceClass:
    """The given interface, else the single one the component provides."""
    if provided is not None:
        return check_interface(provided, argument)
    return _single(_most_specific(providedBy(component)), component, argument, "provides")
