"""Adapter registries: adapters and subscribers registered for specifications.

An adapter is registered for a tuple of required specifications, a provided
interface and a name; a query asks for what adapts objects providing some
specifications to an interface. Registries can have base registries: a
query consults the registry, then its bases, in resolution order (``ro``).

Queries are answered by the registry's lookup object, built on the core's
``LookupBase``, which caches every answer. Each registration bumps the
registry's ``_generation`` and drops the cached answers of the registry and
of every registry built on it (bases hold weak references to them), so no
cached answer is ever stale and a query never checks.

``VerifyingAdapterRegistry`` is the variant for registries that their bases
may not know about (say, bases restored separately from storage): its
lookup, built on the core's ``VerifyingBase``, compares the generations of
the registries behind it before every query and drops its caches when one
has moved.
"""

from __future__ import annotations

import weakref
from collections.abc import Callable, Iterable, Sequence
from typing import TYPE_CHECKING, Any, Union, cast

from trel.interface._core import LookupBase, SpecificationBase, VerifyingBase, providedBy, speedups
from trel.interface.declarations import implementedBy
from trel.interface.interface import Interface
from trel.interface.ro import dependency_order, resolution_order

__all__ = ["AdapterRegistry", "VerifyingAdapterRegistry"]

# The registrations of one number of required specifications: dicts nested
# once per required specification, then keyed by the provided interface,
# then (adapters) by name or (subscribers) holding a list. The depth is the
# number of required specifications, known only at run time, so the values
# are left open.
_Components = dict[Any, Any]
# What a registration may name as a required specification.
_Required = Union[SpecificationBase, type, None]


def _as_specification(ob: object, argument: str, index: int) -> SpecificationBase:
    """A required specification: ``None`` means any object, a class means
    what its instances provide."""
    if ob is None:
        return Interface
    if isinstance(ob, SpecificationBase):
        return ob
    if isinstance(ob, type):
        spec: SpecificationBase = implementedBy(ob)
        return spec
    raise TypeError(f"{argument}[{index}] must be a specification, a class or None, not {ob!r}")


def _required(required: object, argument: str = "required") -> tuple[SpecificationBase, ...]:
    """The required specifications of a registration or a query.

    ``required`` must be a list or a tuple. An interface is iterable (over
    what it extends), so passing one where the sequence belongs would
    otherwise mean a registration over several specifications.
    """
    if type(required) is not tuple and type(required) is not list:
        if isinstance(required, SpecificationBase):
            raise TypeError(
                f"{argument} must be a sequence (list or tuple) of specifications, not the single {required!r};"
                f" write [{getattr(required, '__name__', 'spec')}]"
            )
        if not isinstance(required, (list, tuple)):
            raise TypeError(f"{argument} must be a sequence (list or tuple) of specifications, not {required!r}")
    specs = tuple(cast(Sequence[object], required))  # a list or tuple, tested above
    for spec in specs:
        if not isinstance(spec, SpecificationBase):
            return tuple(_as_specification(r, argument, i) for i, r in enumerate(specs))
    return cast(tuple[SpecificationBase, ...], specs)  # every item tested above


def _as_interface(ob: object, handler: bool = False) -> Any:
    """The provided specification; None only for handlers."""
    if isinstance(ob, SpecificationBase) or (handler and ob is None):
        return ob
    expected = "a specification or None" if handler else "a specification"
    raise TypeError(f"provided must be {expected}, not {ob!r}")


def _check_name(name: object) -> None:
    if not isinstance(name, str):
        raise TypeError(f"name must be a str, not {type(name).__name__}")


class _UncachedQueries:
    """What the core's caches call on a miss: the answers computed from the
    registrations of a registry and its bases."""

    _registry: AdapterRegistry

    def __init__(self, registry: AdapterRegistry) -> None:
        self._registry = registry

    def _uncached_lookup(self, required: Sequence[SpecificationBase], provided: object, name: str = "") -> Any:
        """The most specific adapter: the first registry in ``ro`` that has
        one, and in it the first match along each required specification's
        resolution order, left to right."""
        return _most_specific(self._registry.ro, required, provided, name)

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


class AdapterLookup(_UncachedQueries, LookupBase):
    """The cached queries of one registry and its bases, dropped by
    notification when any of them changes."""


class VerifyingAdapterLookup(_UncachedQueries, VerifyingBase):
    """The cached queries of one registry and its bases, dropped when a
    generation behind them has moved, as checked before every query."""


def _most_specific_in_python(
    ro: Sequence[AdapterRegistry], required: Sequence[SpecificationBase], provided: object, name: str
) -> Any:
    order = len(required)
    for registry in ro:
        by_order = registry._adapters
        if order < len(by_order) and by_order[order]:
            found = _first(by_order[order], required, registry._extendors_of(provided), name)
            if found is not None:
                return found
    return None


# The same walk in C++, with the C++ core.
_most_specific: Callable[[Sequence[AdapterRegistry], Sequence[SpecificationBase], object, str], Any] = (
    speedups.uncached_lookup if speedups is not None else _most_specific_in_python
)


def _first(
    components: _Components,
    required: Sequence[SpecificationBase],
    extendors: Sequence[object],
    name: str,
) -> Any:
    """The first registration found along each required specification's
    resolution order, left to right, then along ``extendors``."""
    depth = len(required)
    if not depth:
        return _named(components, extendors, name)
    # One entry per required specification being walked: the registrations
    # reached so far, and the rest of that specification's order.
    stack = [(components, iter(required[0].__sro__))]
    while stack:
        level, specs = stack[-1]
        for spec in specs:
            nested = level.get(spec)
            if nested:
                break
        else:
            stack.pop()
            continue
        if len(stack) < depth:
            stack.append((nested, iter(required[len(stack)].__sro__)))
            continue
        found = _named(nested, extendors, name)
        if found is not None:
            return found
    return None


def _named(components: _Components, extendors: Sequence[object], name: str) -> Any:
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


def _registry_order(registry: AdapterRegistry) -> tuple[AdapterRegistry, ...]:
    return registry.ro


def _subregistries(registry: AdapterRegistry) -> list[AdapterRegistry]:
    return list(registry._v_subregistries)


class _MultiQueries:
    """The queries over several objects, in Python: what the plain-Python
    core runs (the framework's C++ extension has the same with the C++
    core)."""

    _v_lookup: LookupBase

    def _check_query(self, objects: object, provided: object, name: object = "", handler: bool = False) -> None:
        raise NotImplementedError

    def queryMultiAdapter(
        self, objects: Sequence[object], provided: Any, name: str = "", default: object = None
    ) -> Any:
        """Adapt several objects at once with an adapter registered for
        what each of them provides."""
        self._check_query(objects, provided, name)
        factory = self._v_lookup.lookup([providedBy(ob) for ob in objects], provided, name)
        if factory is None:
            return default
        result = factory(*objects)
        return default if result is None else result

    def subscribers(self, objects: Sequence[object], provided: Any) -> Sequence[Any]:
        """Call every subscriber for what ``objects`` provide; returns the
        results that are not None (nothing, for handlers)."""
        self._check_query(objects, provided, "", True)
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


if TYPE_CHECKING:
    _RegistryBase = _MultiQueries
else:
    _RegistryBase = speedups.RegistryBase if speedups is not None else _MultiQueries


class AdapterRegistry(_RegistryBase):
    """Adapters and subscribers, with base registries and cached queries.

    ``bases`` are the registries consulted after this one's own
    registrations; ``name`` only labels the registry in its repr.

    Besides the methods below, every registry answers these queries, bound
    from its cached lookup when it is made:

    - ``queryAdapter(ob, provided, name="", default=None)``: the adapter of
      ``ob`` to ``provided``, made by the most specific factory registered;
    - ``adapter_hook(provided, ob, name="", default=None)``: the same, in
      the argument order of ``adapter_hooks``, so the registry can be one;
    - ``lookupAll(required, provided)``: every ``(name, factory)`` that
      applies to the required specifications;
    - ``subscriptions(required, provided)``: every subscriber that applies.
    """

    # This registry, then its bases' registries, most specific first.
    ro: tuple[AdapterRegistry, ...]
    _lookup_class: Callable[[AdapterRegistry], LookupBase] = AdapterLookup

    def __init__(self, bases: Iterable[AdapterRegistry] = (), name: str = "") -> None:
        if not isinstance(name, str):
            raise TypeError(f"name must be a str, not {type(name).__name__}")
        self.__name__ = name
        # by number of required specifications: nested dicts keyed by each
        # required specification, then the provided interface, then the name
        self._adapters: list[_Components] = []
        # the same shape, ending in a list of subscribers instead of a name
        self._subscribers: list[_Components] = []
        # provided interface -> number of registrations that provide it
        self._provided: dict[Any, int] = {}
        # provided interface -> the registered ones that are or extend it
        self._v_extendors: dict[object, tuple[object, ...]] = {}
        self._generation = 1
        self._v_subregistries: weakref.WeakSet[AdapterRegistry] = weakref.WeakSet()
        self._v_lookup = lookup = self._lookup_class(self)
        # The queries are the lookup object's, bound once: a query costs
        # the core's cached routine and nothing more.
        self.queryAdapter = lookup.queryAdapter
        self.adapter_hook = lookup.adapter_hook
        self.lookupAll = lookup.lookupAll
        self.subscriptions = lookup.subscriptions
        self._bases: tuple[AdapterRegistry, ...] = ()
        self.__bases__ = bases

    @property
    def __bases__(self) -> tuple[AdapterRegistry, ...]:
        return self._bases

    @__bases__.setter
    def __bases__(self, bases: Iterable[AdapterRegistry]) -> None:
        if isinstance(bases, AdapterRegistry):
            raise TypeError(f"bases must be a sequence of registries, not the single {bases!r}")
        new = tuple(bases)
        for i, base in enumerate(new):
            if not isinstance(base, AdapterRegistry):
                raise TypeError(f"bases[{i}] must be an AdapterRegistry, not {base!r}")
            if base is self or self in base.ro:
                raise ValueError(f"bases[{i}] is {self!r} or built on it: registries cannot form a cycle")
        for base in self._bases:
            base._v_subregistries.discard(self)
        self._bases = new
        for base in self._bases:
            base._v_subregistries.add(self)
        self._rebuild_ro()

    def __repr__(self) -> str:
        bases = ", ".join(base._label() for base in self._bases)
        return f"<{type(self).__name__} {self._label(kind=False)} bases=[{bases}]>"

    def _label(self, kind: bool = True) -> str:
        label = repr(self.__name__) if self.__name__ else f"at {id(self):#x}"
        return f"{type(self).__name__} {label}" if kind else label

    def _rebuild_ro(self) -> None:
        """Recompute this registry's order, then that of every registry
        built on it (each once, after its bases), then drop their answers."""
        for registry in dependency_order(self, _subregistries):
            registry.ro = tuple(resolution_order(registry, _registry_bases, _registry_order))
        self.changed(self)

    def changed(self, originally_changed: object) -> None:
        """Move to a new generation and drop the cached answers of this
        registry and of every registry built on it."""
        self._generation += 1
        self._v_extendors.clear()
        for registry in dependency_order(self, _subregistries):
            registry._v_lookup.changed(originally_changed)

    def _extendors_of(self, provided: object) -> tuple[object, ...]:
        """The provided interfaces registered here that are or extend
        ``provided``: itself first, then the others in registration order."""
        extendors = self._v_extendors.get(provided)
        if extendors is None:
            found = [c for c in self._provided if c is not provided and c.isOrExtends(provided)]
            extendors = self._v_extendors[provided] = (provided, *found)
        return extendors

    def register(self, required: Sequence[_Required], provided: Any, name: str, value: object) -> None:
        """Register ``value`` (an adapter factory) for objects providing the
        ``required`` specifications, giving ``provided`` under ``name``.
        Registering ``None`` removes the registration."""
        specs = _required(required)
        interface = _as_interface(provided)
        _check_name(name)
        if value is None:
            self.unregister(specs, interface, name)
            return
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

    def _components(self, by_order: list[_Components], specs: tuple[SpecificationBase, ...]) -> _Components | None:
        """The registrations for exactly ``specs``, or None when there are none."""
        if len(specs) >= len(by_order):
            return None
        components: _Components | None = by_order[len(specs)]
        for spec in specs:
            components = components.get(spec)  # type: ignore[union-attr]  # None ends the loop below
            if components is None:
                return None
        return components

    def unregister(self, required: Sequence[_Required], provided: Any, name: str = "", value: object = None) -> bool:
        """Remove the registration (only if it is ``value``, when given).
        Returns whether anything was removed."""
        specs = _required(required)
        interface = _as_interface(provided)
        _check_name(name)
        components = self._components(self._adapters, specs)
        by_name = components.get(interface) if components is not None else None
        if not by_name or name not in by_name or (value is not None and by_name[name] is not value):
            return False
        del by_name[name]
        self._forget_provided(interface, 1)
        self.changed(self)
        return True

    def _forget_provided(self, interface: object, removed: int) -> None:
        count = self._provided[interface] - removed
        if count:
            self._provided[interface] = count
        else:
            del self._provided[interface]

    def registered(self, required: Sequence[_Required], provided: Any, name: str = "") -> Any:
        """What is registered for exactly these specifications, or None."""
        specs = _required(required)
        interface = _as_interface(provided)
        _check_name(name)
        components = self._components(self._adapters, specs)
        if components is None:
            return None
        return components.get(interface, {}).get(name)

    def subscribe(self, required: Sequence[_Required], provided: Any, value: object) -> None:
        """Add a subscriber for objects providing ``required``; ``provided``
        may be None for subscribers called only for their effect (handlers)."""
        specs = _required(required)
        interface = _as_interface(provided, handler=True)
        if interface is not None:
            self._provided[interface] = self._provided.get(interface, 0) + 1
        components = _level(self._subscribers, len(specs))
        for spec in specs:
            components = components.setdefault(spec, {})
        components.setdefault(interface, []).append(value)
        self.changed(self)

    def unsubscribe(self, required: Sequence[_Required], provided: Any, value: object = None) -> bool:
        """Remove the subscribers registered for exactly ``required`` and
        ``provided``: those equal to ``value``, or all of them when it is
        None. Returns whether anything was removed."""
        specs = _required(required)
        interface = _as_interface(provided, handler=True)
        components = self._components(self._subscribers, specs)
        subscribers = components.get(interface) if components is not None else None
        if not subscribers:
            return False
        if value is None:
            kept: list[object] = []
        else:
            kept = [s for s in subscribers if not (s is value or s == value)]
        removed = len(subscribers) - len(kept)
        if not removed:
            return False
        assert components is not None  # subscribers came from it
        if kept:
            components[interface] = kept
        else:
            del components[interface]
        if interface is not None:
            self._forget_provided(interface, removed)
        self.changed(self)
        return True

    def lookup(self, required: Sequence[_Required], provided: Any, name: str = "", default: object = None) -> Any:
        """The most specific adapter factory registered for objects
        providing ``required``, giving ``provided`` under ``name``; else
        ``default``."""
        specs = _required(required)
        _as_interface(provided)
        _check_name(name)
        return self._v_lookup.lookup(specs, provided, name, default)

    def lookup1(self, required: _Required, provided: Any, name: str = "", default: object = None) -> Any:
        """``lookup`` for a single required specification."""
        if not isinstance(required, SpecificationBase):
            required = _as_specification(required, "required", 0)
        _as_interface(provided)
        _check_name(name)
        return self._v_lookup.lookup1(required, provided, name, default)

    def _check_query(self, objects: object, provided: object, name: object = "", handler: bool = False) -> None:
        """Raise the TypeError that names the bad argument of a query over
        several objects."""
        _check_objects(objects)
        _as_interface(provided, handler=handler)
        _check_name(name)


def _check_objects(objects: object) -> None:
    if not isinstance(objects, (list, tuple)):
        raise TypeError(f"objects must be a sequence (list or tuple), not {objects!r}")


def _level(by_order: list[_Components], order: int) -> _Components:
    while len(by_order) <= order:
        by_order.append({})
    return by_order[order]


class VerifyingAdapterRegistry(AdapterRegistry):
    """An adapter registry whose cached answers are checked against the
    generations of the registries behind it before every query, instead of
    being dropped by notification: for registries their bases may not know
    about."""

    _lookup_class = VerifyingAdapterLookup
