"""Registration records: what a registry holds, one record per registration.

Records are what ``registeredUtilities()`` and its siblings yield and what
registration events carry. Two records are equal when they record the same
registration: the same registry and registered object (by identity) and
equal specifications, name and info. They hash accordingly, pickle with
their registry, and print the names of what they hold.
"""

from __future__ import annotations

from collections.abc import Callable
from typing import TYPE_CHECKING, Any

from trel.component.declarations import Required, normalize_required
from trel.interface import InterfaceClass, Specification

if TYPE_CHECKING:
    from trel.component.registry import Components

__all__ = ["AdapterRegistration", "HandlerRegistration", "SubscriptionRegistration", "UtilityRegistration"]


def _name(spec: object) -> str:
    return str(getattr(spec, "__name__", None) or repr(spec))


class _Registration:
    """What every record has; subclasses say what ``value`` is called."""

    registry: Components
    required: tuple[Specification, ...]
    provided: InterfaceClass | None
    name: str
    info: str
    # The required entries as given (classes stay classes), for pickling.
    _given: tuple[Required, ...]

    @property
    def value(self) -> object:
        raise NotImplementedError

    def _key(self) -> tuple[object, ...]:
        return (self.required, self.provided, self.name, self.info)

    def __eq__(self, other: object) -> bool:
        if type(other) is not type(self):
            return NotImplemented
        assert isinstance(other, _Registration)
        return self.registry is other.registry and self.value is other.value and self._key() == other._key()

    def __hash__(self) -> int:
        return hash((type(self).__name__, id(self.registry), id(self.value), *self._key()))

    def _fields(self) -> list[str]:
        fields = [repr(self.registry)]
        if self.required or not isinstance(self, UtilityRegistration):
            fields.append(f"[{', '.join(_name(spec) for spec in self.required)}]")
        if self.provided is not None:
            fields.append(_name(self.provided))
        if self.name:
            fields.append(repr(self.name))
        fields.append(getattr(self.value, "__qualname__", None) or repr(self.value))
        if self.info:
            fields.append(repr(self.info))
        return fields

    def __repr__(self) -> str:
        return f"{type(self).__name__}({', '.join(self._fields())})"


class UtilityRegistration(_Registration):
    """A utility: ``component`` provides ``provided`` under ``name``;
    ``factory`` is what made it, when one was given."""

    def __init__(
        self,
        registry: Components,
        provided: InterfaceClass,
        name: str,
        component: object,
        info: str = "",
        factory: Callable[[], object] | None = None,
    ) -> None:
        self.registry = registry
        self.required = ()
        self._given = ()
        self.provided = provided
        self.name = name
        self.component = component
        self.info = info
        self.factory = factory

    @property
    def value(self) -> object:
        return self.component

    def __reduce__(self) -> tuple[Any, ...]:
        return (type(self), (self.registry, self.provided, self.name, self.component, self.info, self.factory))


class AdapterRegistration(_Registration):
    """An adapter: ``factory`` adapts objects providing ``required`` to
    ``provided`` under ``name``."""

    def __init__(
        self,
        registry: Components,
        required: tuple[Required, ...],
        provided: InterfaceClass,
        name: str,
        factory: Callable[..., object],
        info: str = "",
    ) -> None:
        self.registry = registry
        self._given = tuple(required)
        self.required = normalize_required(self._given)
        self.provided = provided
        self.name = name
        self.factory = factory
        self.info = info

    @property
    def value(self) -> object:
        return self.factory

    def __reduce__(self) -> tuple[Any, ...]:
        return (type(self), (self.registry, self._given, self.provided, self.name, self.factory, self.info))


class SubscriptionRegistration(AdapterRegistration):
    """A subscription adapter: every one registered for what the objects
    provide contributes to ``subscribers``. Its name is always ""."""


class HandlerRegistration(_Registration):
    """A handler: ``handler`` is called by ``handle`` for objects providing
    ``required``. It provides nothing and its name is always ""."""

    def __init__(
        self,
        registry: Components,
        required: tuple[Required, ...],
        handler: Callable[..., object],
        info: str = "",
    ) -> None:
        self.registry = registry
        self._given = tuple(required)
        self.required = normalize_required(self._given)
        self.provided = None
        self.name = ""
        self.handler = handler
        self.info = info

    @property
    def value(self) -> object:
        return self.handler

    @property
    def factory(self) -> Callable[..., object]:
        """The handler, under the name the other records use."""
        return self.handler

    def __reduce__(self) -> tuple[Any, ...]:
        return (type(self), (self.registry, self._given, self.handler, self.info))
