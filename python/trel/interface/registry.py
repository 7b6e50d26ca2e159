"""Adapter registries: adapters and subscribers registered for specifications.

An adapter is registered for a tuple of required specifications, a provided
interface and a name; a query asks for what adapts objects providing some
specifications to an interface. Registries can have base registries: a
query consults the registry, then its bases, in resolution order (``ro``).

Queries are answered by the registry's lookup object, a subclass of the
core's ``VerifyingBase``, which caches every answer. Each registration
bumps the registry's ``_generation`` and drops its own lookup's caches; the
lookups of registries built on it see the generation move on their next
query and drop theirs, so no cached answer is ever stale.
"""

from __future__ import annotations

import weakref
from collections.abc import Callable, Iterable, Sequence
from typing import Any, Union

from trel.interface._core import SpecificationBase, VerifyingBase, providedBy
from trel.interface.declarations import implementedBy
from trel.interface.interface import Interface, InterfaceClass, Specification
from trel.interface.ro import resolution_order

__all__ = ["AdapterRegistry"]

# The registrations of one number of required specifications: dicts nested
# once per required specification, then keyed by the provided interface,
# then (adapters) by name or (subscribers) holding a list. The depth is the
# number of required specifications, known only at run time, so the values
# are left open.
_Components = dict[Any, Any]
# What a registration may name as a required specification.
_Required = Union[Specification, type, None]


def _as_specification(ob: _Required) -> Specification:
    """A required specification: ``None`` means any object, a class means
    what its instances provide."""
    if ob is None:
        return Interface
    if isinstance(ob, Specification):
        return ob
    if isinstance(ob, type):
        spec: Specification = implementedBy(ob)
        return spec
    raise TypeError("required entries must be specifications, classes or None", ob)


def _as_interface(ob: InterfaceClass | None) -> InterfaceClass:
    if ob is None:
        return Interface
    if not isinstance(ob, InterfaceClass):
        raise TypeError("the provided entry must be an interface", ob)
    return ob


def _check_name(name: object) -> None:
    if not isinstance(name, str):
        raise ValueError("name is not a string or unicode")


class AdapterLookup(VerifyingBase):
    """The cached queries of one registry and its bases."""

    def __init__(self, registry: AdapterRegistry) -> None:
        self._registry = registry

    def _uncached_lookup(self, required: Sequence[SpecificationBase], provided: object, name: str = "") -> Any:
        """The most specific adapter: the first registry in ``ro`` that has
        one, and in it the first match along each required specification's
        resolution order, left to right."""
        order = len(required)
        if order == 1:  # the common case, without the recursion
            sro = required[0].__sro__
            for registry in self._registry.ro:
                by_order = registry._adapters
                if len(by_order) < 2 or not by_order[1]:
                    continue
                components = by_order[1]
                extendors = registry._extendors_of(provided)
                for spec in sro:
                    nested = components.get(spec)
                    if nested:
                        for candidate in extendors:
                            by_name = nested.get(candidate)
                            if by_name:
                                found = by_name.get(name)
                                if found is not None:
                                    return found
            return None
        for registry in self._registry.ro:
            by_order = registry._adapters
            if order < len(by_order) and by_order[order]:
                found = _first(by_order[order], required, registry._extendors_of(provided), name, 0)
                if found is not None:
                    return found
        return None

    def _uncached_lookupAll(
        self, required: Sequence[SpecificationBase], provided: object
    ) -> tuple[tuple[str, Any], ...]:
        """Every (name, adapter) pair; for each name the most specific wins."""
        result: dict[str, Any] = {}
        for registry in reversed(self._registry.ro):
            by_order = registry._adapters
            if len(required) < len(by_order):
                _each_leaf(by_order[len(required)], required, registry._extendors_of(provided), result.update)
        return tuple(result.items())

    def _uncached_subscriptions(
        self, required: Sequence[SpecificationBase], provided: object
    ) -> tuple[Any, ...]:
        """Every matching subscriber, most general registrations first."""
        result: list[Any] = []
        for registry in reversed(self._registry.ro):
            by_order = registry._subscribers
            if len(required) < len(by_order):
                _each_leaf(by_order[len(required)], required, registry._extendors_of(provided), result.extend)
        return tuple(result)


def _first(
    components: _Components,
    required: Sequence[SpecificationBase],
    extendors: Sequence[object],
    name: str,
    i: int,
) -> Any:
    if i < len(required):
        for spec in required[i].__sro__:
            nested = components.get(spec)
            if nested:
                found = _first(nested, required, extendors, name, i + 1)
                if found is not None:
                    return found
        return None
    for provided in extendors:
        by_name = components.get(provided)
        if by_name:
            found = by_name.get(name)
            if found is not None:
                return found
    return None


def _each_leaf(
    components: _Components,
    required: Sequence[SpecificationBase],
    extendors: Sequence[object],
    collect: Callable[[Any], object],
    i: int = 0,
) -> None:
    """Hands every registration matching the required specifications to
    ``collect``, least specific first, so that later ones take precedence."""
    if i < len(required):
        for spec in reversed(required[i].__sro__):
            nested = components.get(spec)
            if nested:
                _each_leaf(nested, required, extendors, collect, i + 1)
        return
    for provided in reversed(extendors):
        leaf = components.get(provided)
        if leaf:
            collect(leaf)


def _registry_bases(registry: AdapterRegistry) -> tuple[AdapterRegistry, ...]:
    return registry.__bases__


class AdapterRegistry:
    """Adapters and subscribers, with base registries and cached queries."""

    def __init__(self, bases: Iterable[AdapterRegistry] = ()) -> None:
        # by number of required specifications: nested dicts keyed by each
        # required specification, then the provided interface, then the name
        self._adapters: list[_Components] = []
        # the same shape, ending in a list of subscribers instead of a name
        self._subscribers: list[_Components] = []
        # provided interface -> number of registrations that provide it
        self._provided: dict[InterfaceClass, int] = {}
        # provided interface -> the registered ones that are or extend it
        self._v_extendors: dict[object, tuple[object, ...]] = {}
        self._generation = 1
        self._v_subregistries: weakref.WeakSet[AdapterRegistry] = weakref.WeakSet()
        self._v_lookup = lookup = AdapterLookup(self)
        # The queries are the lookup object's, bound once: a query costs
        # the core's cached routine and nothing more.
        self.lookup = lookup.lookup
        self.lookup1 = lookup.lookup1
        self.queryAdapter = lookup.queryAdapter
        self.adapter_hook = lookup.adapter_hook
        self.lookupAll = lookup.lookupAll
        self.subscriptions = lookup.subscriptions
        self._bases: tuple[AdapterRegistry, ...] = ()
        self.__bases__ = tuple(bases)

    @property
    def __bases__(self) -> tuple[AdapterRegistry, ...]:
        return self._bases

    @__bases__.setter
    def __bases__(self, bases: Iterable[AdapterRegistry]) -> None:
        for base in self._bases:
            base._v_subregistries.discard(self)
        self._bases = tuple(bases)
        for base in self._bases:
            base._v_subregistries.add(self)
        self._rebuild_ro()

    def _rebuild_ro(self) -> None:
        self.ro = tuple(resolution_order(self, _registry_bases))
        self.changed(self)
        for sub in list(self._v_subregistries):
            sub._rebuild_ro()

    def changed(self, originally_changed: object) -> None:
        """Move to a new generation and drop this registry's cached answers."""
        self._generation += 1
        self._v_extendors.clear()
        self._v_lookup.changed(originally_changed)

    def _extendors_of(self, provided: object) -> tuple[object, ...]:
        """The provided interfaces registered here that are or extend
        ``provided``: itself first, then the others in registration order."""
        extendors = self._v_extendors.get(provided)
        if extendors is None:
            found = [c for c in self._provided if c is not provided and c.isOrExtends(provided)]
            extendors = self._v_extendors[provided] = (provided, *found)
        return extendors

    def register(
        self, required: Iterable[_Required], provided: InterfaceClass | None, name: str, value: object
    ) -> None:
        """Register ``value`` (an adapter factory) for objects providing the
        ``required`` specifications, giving ``provided`` under ``name``.
        Registering ``None`` removes the registration."""
        _check_name(name)
        if value is None:
            self.unregister(required, provided, name)
            return
        specs = tuple(_as_specification(r) for r in required)
        interface = _as_interface(provided)
        components = _level(self._adapters, len(specs))
        for spec in specs:
            components = components.setdefault(spec, {})
        by_name = components.setdefault(interface, {})
        if by_name.get(name) is value:
            return
        if name not in by_name:
            self._provided[interface] = self._provided.get(interface, 0) + 1
        by_name[name] = value
        self.changed(self)

    def unregister(
        self, required: Iterable[_Required], provided: InterfaceClass | None, name: str = "", value: object = None
    ) -> bool:
        """Remove the registration (only if it is ``value``, when given).
        Returns whether anything was removed."""
        specs = tuple(_as_specification(r) for r in required)
        interface = _as_interface(provided)
        if len(specs) >= len(self._adapters):
            return False
        components: _Components = self._adapters[len(specs)]
        for spec in specs:
            nested = components.get(spec)
            if nested is None:
                return False
            components = nested
        by_name = components.get(interface, {})
        if name not in by_name or (value is not None and by_name[name] is not value):
            return False
        del by_name[name]
        count = self._provided[interface] - 1
        if count:
            self._provided[interface] = count
        else:
            del self._provided[interface]
        self.changed(self)
        return True

    def registered(self, required: Iterable[_Required], provided: InterfaceClass | None, name: str = "") -> Any:
        """What is registered for exactly these specifications, or None."""
        specs = tuple(_as_specification(r) for r in required)
        if len(specs) >= len(self._adapters):
            return None
        components: _Components = self._adapters[len(specs)]
        for spec in specs:
            nested = components.get(spec)
            if nested is None:
                return None
            components = nested
        return components.get(_as_interface(provided), {}).get(name)

    def subscribe(self, required: Iterable[_Required], provided: InterfaceClass | None, value: object) -> None:
        """Add a subscriber for objects providing ``required``; ``provided``
        may be None for subscribers called only for their effect (handlers)."""
        specs = tuple(_as_specification(r) for r in required)
        interface = None
        if provided is not None:
            interface = _as_interface(provided)
            self._provided[interface] = self._provided.get(interface, 0) + 1
        components = _level(self._subscribers, len(specs))
        for spec in specs:
            components = components.setdefault(spec, {})
        components.setdefault(interface, []).append(value)
        self.changed(self)

    def unsubscribe(self, required: Iterable[_Required], provided: InterfaceClass | None, value: object = None) -> bool:
        """Remove the subscriber ``value`` (every registration of it) for
        ``required`` and ``provided``, or, when ``value`` is None, every
        subscriber there. Returns whether anything was removed."""
        specs = tuple(_as_specification(r) for r in required)
        interface = None if provided is None else _as_interface(provided)
        if len(specs) >= len(self._subscribers):
            return False
        components: _Components = self._subscribers[len(specs)]
        for spec in specs:
            nested = components.get(spec)
            if nested is None:
                return False
            components = nested
        subscribed: list[Any] = components.get(interface, [])
        kept = [] if value is None else [v for v in subscribed if not (v is value or v == value)]
        removed = len(subscribed) - len(kept)
        if not removed:
            return False
        if kept:
            components[interface] = kept
        else:
            del components[interface]
        if interface is not None:
            count = self._provided[interface] - removed
            if count:
                self._provided[interface] = count
            else:
                del self._provided[interface]
        self.changed(self)
        return True

    def queryMultiAdapter(
        self, objects: Sequence[object], provided: object, name: str = "", default: object = None
    ) -> Any:
        """Adapt several objects at once with an adapter registered for
        what each of them provides."""
        factory = self._v_lookup.lookup([providedBy(ob) for ob in objects], provided, name)
        if factory is None:
            return default
        result = factory(*objects)
        return default if result is None else result

    def subscribers(self, objects: Sequence[object], provided: object) -> Sequence[Any]:
        """Call every subscriber for what ``objects`` provide; returns the
        results that are not None (nothing, for handlers)."""
        subscriptions = self._v_lookup.subscriptions([providedBy(ob) for ob in objects], provided)
        if provided is None:
            for subscriber in subscriptions:
                subscriber(*objects)
            return ()
        results: list[Any] = []
        for subscriber in subscriptions:
            result = subscriber(*objects)
            if result is not None:
                results.append(result)
        return results


def _level(by_order: list[_Components], order: int) -> _Components:
    while len(by_order) <= order:
        by_order.append({})
    return by_order[order]
