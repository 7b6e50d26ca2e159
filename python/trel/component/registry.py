"""``Components``: a registry of utilities, adapters, subscribers and handlers.

A ``Components`` keeps two adapter registries: ``utilities`` (components
registered for no required specification) and ``adapters`` (adapters,
subscription adapters and handlers), each built on the matching registries
of its bases, so a query consults the registry and then its bases in
resolution order, and sees every later change to a base at once. Beside
them it keeps one record per registration, which is what the
``registered*`` methods yield, what events carry and what pickling saves.

Registrations take a lock, so several threads may register at once; queries
take none. Each change is made whole before ``handle`` announces it with a
``Registered`` or ``Unregistered`` event; a handler that raises does not
undo the change it was told about.
"""

from __future__ import annotations

import threading
import weakref
from collections.abc import Callable, Iterable, Iterator, Sequence
from typing import Any, TypeVar

from trel.component.declarations import (
    Required,
    check_interface,
    check_string,
    normalize_required,
    provided_by_component,
    provided_by_factory,
    required_for,
)
from trel.component.errors import ComponentLookupError
from trel.component.events import Registered, Unregistered
from trel.component.registrations import (
    AdapterRegistration,
    HandlerRegistration,
    SubscriptionRegistration,
    UtilityRegistration,
)
from trel.interface import AdapterRegistry, InterfaceClass, Specification, providedBy

__all__ = ["Components"]

_MISSING: Any = object()
_R = TypeVar("_R", SubscriptionRegistration, HandlerRegistration)


class _Registrations(AdapterRegistry):
    """An adapter registry that knows the ``Components`` it serves, so a
    walk over its resolution order can reach each registry's records."""

    def __init__(self, owner: Components) -> None:
        self.owner = owner
        super().__init__()


def _same(a: object, b: object) -> bool:
    # Factories and handlers match by equality too: a bound method is a new
    # object each time it is read, but equal to the one registered.
    return a is b or bool(a == b)


def _check_callable(ob: object, argument: str) -> None:
    if not callable(ob):
        raise TypeError(f"{argument} must be callable, not {type(ob).__name__} {ob!r}")


def _check_objects(objects: object) -> Sequence[object]:
    if not isinstance(objects, (tuple, list)):
        raise TypeError(f"objects must be a tuple or list of objects, not {type(objects).__name__} {objects!r}")
    return objects


def _check_query(provided: object, name: object) -> None:
    """Raises a TypeError for a query's bad argument, if it has one."""
    check_interface(provided)
    check_string(name, "name")


class Components:
    """A registry of components, consulted after its own registrations
    through its bases, in resolution order.

    ``name`` identifies the registry in reprs; ``bases`` are other
    ``Components`` whose registrations this one inherits (and may hide).
    """

    def __init__(self, name: str = "", bases: Iterable[Components] = ()) -> None:
        check_string(name, "name")
        self.__name__ = name
        self._lock = threading.RLock()
        self.utilities = _Registrations(self)
        self.adapters = _Registrations(self)
        self._utility_registrations: dict[tuple[InterfaceClass, str], UtilityRegistration] = {}
        self._adapter_registrations: dict[
            tuple[tuple[Specification, ...], InterfaceClass, str], AdapterRegistration
        ] = {}
        self._subscription_registrations: list[SubscriptionRegistration] = []
        self._handler_registrations: list[HandlerRegistration] = []
        # name -> provided -> the utility found there: the hot path of
        # getUtility and queryUtility, two dict reads with no key to build.
        # A change to the utilities of this registry or of any base replaces
        # the dict (see _utilities_changed); a query that misses fills the
        # dict it read before looking up, so an answer computed before a
        # change never lands in the dict that replaced it.
        self._utility_cache: dict[str, dict[object, Any]] = {}
        # The registries with this one as a base.
        self._dependents: weakref.WeakSet[Components] = weakref.WeakSet()
        # The queries on the hot paths, bound once.
        self._lookup_utility = self.utilities.lookup
        self._query_adapter = self.adapters.queryAdapter
        self._subscriptions = self.adapters.subscriptions
        self.__bases__ = bases

    # -- bases ------------------------------------------------------------

    @property
    def __bases__(self) -> tuple[Components, ...]:
        bases = self.utilities.__bases__
        return tuple(base.owner for base in bases if isinstance(base, _Registrations))

    @__bases__.setter
    def __bases__(self, bases: Iterable[Components]) -> None:
        if isinstance(bases, (str, bytes, Components)) or not isinstance(bases, Iterable):
            raise TypeError(f"bases must be a sequence of Components, not {type(bases).__name__} {bases!r}")
        bases = tuple(bases)
        for base in bases:
            if not isinstance(base, Components):
                raise TypeError(f"bases must be Components, not {type(base).__name__} {base!r}")
        with self._lock:
            for base in bases:
                if self.utilities in base.utilities.ro:
                    raise ValueError(f"bases: {base!r} is {self!r} or built on it, which would make a cycle")
            for old in self.__bases__:
                old._dependents.discard(self)
            for base in bases:
                base._dependents.add(self)
            self.utilities.__bases__ = [base.utilities for base in bases]
            self.adapters.__bases__ = [base.adapters for base in bases]
            self._utilities_changed()

    def _utilities_changed(self) -> None:
        """Drop the utility answers of this registry and of every registry
        built on it, however deep."""
        stack = [self]
        seen: set[int] = set()
        while stack:
            components = stack.pop()
            if id(components) in seen:
                continue
            seen.add(id(components))
            components._utility_cache = {}
            stack.extend(components._dependents)

    def _resolution_order(self) -> list[Components]:
        """This registry and its bases, in the order queries consult them."""
        return [registry.owner for registry in self.utilities.ro if isinstance(registry, _Registrations)]

    # -- utilities --------------------------------------------------------

    def registerUtility(
        self,
        component: object = None,
        provided: InterfaceClass | None = None,
        name: str = "",
        factory: Callable[[], object] | None = None,
        *,
        info: str = "",
    ) -> None:
        """Register ``component`` (or what ``factory()`` returns) as the
        utility providing ``provided`` under ``name``, replacing any other.

        When ``provided`` is omitted it is the single interface the
        component provides (declared directly or by its class); a TypeError
        says when there is none or several.
        """
        check_string(name, "name")
        check_string(info, "info")
        if factory is not None:
            if component is not None:
                raise TypeError("registerUtility takes a component or a factory, not both")
            _check_callable(factory, "factory")
            component = factory()
            if component is None:
                raise TypeError(f"factory {factory!r} returned None, which cannot be a utility")
        elif component is None:
            raise TypeError("registerUtility needs a component or a factory")
        provided = provided_by_component(component, provided)
        record = UtilityRegistration(self, provided, name, component, info, factory)
        with self._lock:
            old = self._utility_registrations.get((provided, name))
            if old is not None and old.component is component and old.factory is factory and old.info == info:
                return
            self._add_utility(record)
        if old is not None:
            self.handle(Unregistered(old))
        self.handle(Registered(record))

    def _add_utility(self, record: UtilityRegistration) -> None:
        assert record.provided is not None
        self.utilities.register((), record.provided, record.name, record.component)
        self._utility_registrations[(record.provided, record.name)] = record
        self._utilities_changed()

    def unregisterUtility(
        self,
        component: object = None,
        provided: InterfaceClass | None = None,
        name: str = "",
        factory: Callable[[], object] | None = None,
    ) -> bool:
        """Remove the utility registered for ``provided`` under ``name``;
        when ``component`` or ``factory`` is given, only if it is the one
        registered. Returns whether a utility was removed."""
        check_string(name, "name")
        if factory is not None:
            if component is not None:
                raise TypeError("unregisterUtility takes a component or a factory, not both")
            _check_callable(factory, "factory")
        if provided is None:
            if component is not None:
                provided = provided_by_component(component, None)
            elif factory is not None:
                provided = provided_by_factory(factory, None)
            else:
                raise TypeError("unregisterUtility needs provided, or a component or factory to infer it from")
        else:
            provided = check_interface(provided)
        with self._lock:
            old = self._utility_registrations.get((provided, name))
            if old is None:
                return False
            if component is not None and old.component is not component:
                return False
            if factory is not None and (old.factory is None or not _same(old.factory, factory)):
                return False
            self.utilities.unregister((), provided, name)
            del self._utility_registrations[(provided, name)]
            self._utilities_changed()
        self.handle(Unregistered(old))
        return True

    def queryUtility(self, provided: InterfaceClass, name: str = "", default: object = None) -> Any:
        """The utility providing ``provided`` under ``name``, or ``default``."""
        try:
            return self._utility_cache[name][provided]
        except (KeyError, TypeError):  # not cached yet, or a key that cannot be
            return self._find_utility(provided, name, default)

    def getUtility(self, provided: InterfaceClass, name: str = "") -> Any:
        """The utility providing ``provided`` under ``name``; raises
        ``ComponentLookupError`` when there is none."""
        try:
            return self._utility_cache[name][provided]
        except (KeyError, TypeError):
            utility = self._find_utility(provided, name, _MISSING)
        if utility is _MISSING:
            raise ComponentLookupError(provided, name)
        return utility

    def _find_utility(self, provided: object, name: str, default: object) -> Any:
        """The utility from the registries (caching it), or ``default``;
        a TypeError for bad arguments."""
        cache = self._utility_cache
        try:
            utility = self._lookup_utility((), provided, name)
        except (TypeError, ValueError):
            _check_query(provided, name)
            raise
        if utility is None:
            _check_query(provided, name)
            return default
        cache.setdefault(name, {})[provided] = utility
        return utility

    def getUtilitiesFor(self, provided: InterfaceClass) -> Iterator[tuple[str, Any]]:
        """``(name, utility)`` for every name a utility providing
        ``provided`` is registered under, here or in a base: this registry's
        names first, then each base's, every name once, with the utility
        ``getUtility`` would return for it."""
        check_interface(provided)
        seen: set[str] = set()
        found: list[tuple[str, Any]] = []
        for components in self._resolution_order():
            for interface, name in list(components._utility_registrations):
                if name in seen or not interface.isOrExtends(provided):
                    continue
                seen.add(name)
                utility = self._lookup_utility((), provided, name)
                if utility is not None:
                    found.append((name, utility))
        return iter(found)

    def getAllUtilitiesRegisteredFor(self, provided: InterfaceClass) -> Iterator[Any]:
        """Every utility registered here or in a base for ``provided`` (or
        an interface extending it), under any name, each object once, even
        those a registration under the same name hides."""
        check_interface(provided)
        seen: set[int] = set()
        found: list[Any] = []
        for components in self._resolution_order():
            for record in list(components._utility_registrations.values()):
                assert record.provided is not None
                if id(record.component) not in seen and record.provided.isOrExtends(provided):
                    seen.add(id(record.component))
                    found.append(record.component)
        return iter(found)

    def registeredUtilities(self) -> Iterator[UtilityRegistration]:
        """The records of the utilities registered here (not in bases)."""
        return iter(list(self._utility_registrations.values()))

    # -- adapters ---------------------------------------------------------

    def registerAdapter(
        self,
        factory: Callable[..., object],
        required: Iterable[Required] | None = None,
        provided: InterfaceClass | None = None,
        name: str = "",
        *,
        info: str = "",
    ) -> None:
        """Register ``factory`` to adapt objects providing ``required`` to
        ``provided`` under ``name``, replacing any other.

        ``required`` defaults to what ``adapter_for`` declared on the
        factory, ``provided`` to the single interface the factory (or, for
        a callable object, its class) implements; a TypeError says when
        they cannot be found.
        """
        check_string(name, "name")
        check_string(info, "info")
        _check_callable(factory, "factory")
        given = required_for(factory, required)
        interface = provided_by_factory(factory, provided)
        record = AdapterRegistration(self, given, interface, name, factory, info)
        key = (record.required, interface, name)
        with self._lock:
            old = self._adapter_registrations.get(key)
            if old is not None and old.factory is factory and old.info == info:
                return
            self._add_adapter(record)
        if old is not None:
            self.handle(Unregistered(old))
        self.handle(Registered(record))

    def _add_adapter(self, record: AdapterRegistration) -> None:
        assert record.provided is not None
        self.adapters.register(record.required, record.provided, record.name, record.factory)
        self._adapter_registrations[(record.required, record.provided, record.name)] = record

    def unregisterAdapter(
        self,
        factory: Callable[..., object] | None = None,
        required: Iterable[Required] | None = None,
        provided: InterfaceClass | None = None,
        name: str = "",
    ) -> bool:
        """Remove the adapter registered for ``required`` and ``provided``
        under ``name``; when ``factory`` is given, only if it is the one
        registered (and what it declares fills in the omitted arguments).
        Returns whether an adapter was removed."""
        check_string(name, "name")
        if factory is None:
            if required is None or provided is None:
                raise TypeError("unregisterAdapter needs required and provided when no factory is given")
            specs = normalize_required(required_for(None, required))
            interface = check_interface(provided)
        else:
            _check_callable(factory, "factory")
            specs = normalize_required(required_for(factory, required))
            interface = provided_by_factory(factory, provided)
        key = (specs, interface, name)
        with self._lock:
            old = self._adapter_registrations.get(key)
            if old is None or (factory is not None and not _same(old.factory, factory)):
                return False
            self.adapters.unregister(specs, interface, name)
            del self._adapter_registrations[key]
        self.handle(Unregistered(old))
        return True

    def queryAdapter(self, object: object, provided: InterfaceClass, name: str = "", default: object = None) -> Any:
        """What the adapter registered for what ``object`` provides makes of
        it for ``provided`` under ``name``; ``default`` when there is no such
        adapter or it returns None."""
        try:
            adapter = self._query_adapter(object, provided, name)
        except (TypeError, ValueError):
            _check_query(provided, name)
            raise
        if adapter is None:  # no adapter, or one that returned None
            _check_query(provided, name)
            return default
        return adapter

    def getAdapter(self, object: object, provided: InterfaceClass, name: str = "") -> Any:
        """As ``queryAdapter``, but raises ``ComponentLookupError`` where
        that returns the default."""
        try:
            adapter = self._query_adapter(object, provided, name)
        except (TypeError, ValueError):
            _check_query(provided, name)
            raise
        if adapter is None:
            _check_query(provided, name)
            raise ComponentLookupError(provided, name, (object,))
        return adapter

    def queryMultiAdapter(
        self, objects: Sequence[object], provided: InterfaceClass, name: str = "", default: object = None
    ) -> Any:
        """What the adapter registered for what each of ``objects`` provides
        (left to right) makes of them; ``default`` when there is none or it
        returns None."""
        objects = _check_objects(objects)
        try:
            adapter = self.adapters.queryMultiAdapter(objects, provided, name, _MISSING)
        except (TypeError, ValueError):
            _check_query(provided, name)
            raise
        if adapter is _MISSING:
            _check_query(provided, name)
            return default
        return adapter

    def getMultiAdapter(self, objects: Sequence[object], provided: InterfaceClass, name: str = "") -> Any:
        """As ``queryMultiAdapter``, but raises ``ComponentLookupError``
        where that returns the default."""
        adapter = self.queryMultiAdapter(objects, provided, name, _MISSING)
        if adapter is _MISSING:
            raise ComponentLookupError(provided, name, objects)
        return adapter

    def getAdapters(self, objects: Sequence[object], provided: InterfaceClass) -> Iterator[tuple[str, Any]]:
        """``(name, adapter)`` for every adapter, named or not, registered
        for what ``objects`` provide and ``provided``, that returns
        something other than None. Factories are called as the iterator
        advances."""
        objects = _check_objects(objects)
        check_interface(provided)
        factories = self.adapters.lookupAll([providedBy(ob) for ob in objects], provided)

        def adapters() -> Iterator[tuple[str, Any]]:
            for name, factory in factories:
                adapter = factory(*objects)
                if adapter is not None:
                    yield name, adapter

        return adapters()

    def registeredAdapters(self) -> Iterator[AdapterRegistration]:
        """The records of the adapters registered here (not in bases)."""
        return iter(list(self._adapter_registrations.values()))

    # -- subscription adapters --------------------------------------------

    def registerSubscriptionAdapter(
        self,
        factory: Callable[..., object],
        required: Iterable[Required] | None = None,
        provided: InterfaceClass | None = None,
        *,
        info: str = "",
    ) -> None:
        """Add ``factory`` to the subscription adapters for ``required`` and
        ``provided`` (found from the factory's declarations when omitted, as
        for ``registerAdapter``). Registering it twice calls it twice."""
        check_string(info, "info")
        _check_callable(factory, "factory")
        given = required_for(factory, required)
        interface = provided_by_factory(factory, provided)
        record = SubscriptionRegistration(self, given, interface, "", factory, info)
        with self._lock:
            self._add_subscription(record)
        self.handle(Registered(record))

    def _add_subscription(self, record: SubscriptionRegistration) -> None:
        self.adapters.subscribe(record.required, record.provided, record.factory)
        self._subscription_registrations.append(record)

    def unregisterSubscriptionAdapter(
        self,
        factory: Callable[..., object] | None = None,
        required: Iterable[Required] | None = None,
        provided: InterfaceClass | None = None,
    ) -> bool:
        """Remove ``factory`` from the subscription adapters for ``required``
        and ``provided`` (every registration of it), or, with no factory,
        every subscription adapter there. Returns whether any was removed."""
        if factory is None:
            if required is None or provided is None:
                raise TypeError("unregisterSubscriptionAdapter needs required and provided when no factory is given")
            specs = normalize_required(required_for(None, required))
            interface = check_interface(provided)
        else:
            _check_callable(factory, "factory")
            specs = normalize_required(required_for(factory, required))
            interface = provided_by_factory(factory, provided)
        with self._lock:
            removed = self._remove(self._subscription_registrations, specs, interface, factory)
            if removed:
                self.adapters.unsubscribe(specs, interface, factory)
        for record in removed:
            self.handle(Unregistered(record))
        return bool(removed)

    def _remove(self, records: list[_R], specs: tuple[Specification, ...], provided: object, value: object) -> list[_R]:
        """Takes the matching records out of ``records``; returns them."""
        removed: list[_R] = []
        kept: list[_R] = []
        for record in records:
            matches = record.required == specs and record.provided == provided
            (removed if matches and (value is None or _same(record.value, value)) else kept).append(record)
        records[:] = kept
        return removed

    def subscribers(self, objects: Sequence[object], provided: InterfaceClass) -> list[Any]:
        """Call every subscription adapter registered for what ``objects``
        provide and ``provided`` (most general registrations and base
        registries first); returns the results that are not None."""
        objects = _check_objects(objects)
        check_interface(provided)
        return list(self.adapters.subscribers(objects, provided))

    def registeredSubscriptionAdapters(self) -> Iterator[SubscriptionRegistration]:
        """The records of the subscription adapters registered here, in
        registration order."""
        return iter(list(self._subscription_registrations))

    # -- handlers ---------------------------------------------------------

    def registerHandler(
        self, handler: Callable[..., object], required: Iterable[Required] | None = None, *, info: str = ""
    ) -> None:
        """Have ``handle`` call ``handler`` for objects providing
        ``required`` (what ``adapter_for`` declared on it, when omitted).
        Registering it twice calls it twice."""
        check_string(info, "info")
        _check_callable(handler, "handler")
        given = required_for(handler, required)
        record = HandlerRegistration(self, given, handler, info)
        with self._lock:
            self._add_handler(record)
        self.handle(Registered(record))

    def _add_handler(self, record: HandlerRegistration) -> None:
        self.adapters.subscribe(record.required, None, record.handler)
        self._handler_registrations.append(record)

    def unregisterHandler(
        self, handler: Callable[..., object] | None = None, required: Iterable[Required] | None = None
    ) -> bool:
        """Remove ``handler`` (every registration of it) for ``required``,
        or, with no handler, every handler registered for ``required``.
        Returns whether any was removed."""
        if handler is None:
            if required is None:
                raise TypeError("unregisterHandler needs required when no handler is given")
            specs = normalize_required(required_for(None, required))
        else:
            _check_callable(handler, "handler")
            specs = normalize_required(required_for(handler, required))
        with self._lock:
            removed = self._remove(self._handler_registrations, specs, None, handler)
            if removed:
                self.adapters.unsubscribe(specs, None, handler)
        for record in removed:
            self.handle(Unregistered(record))
        return bool(removed)

    def handle(self, *objects: object) -> None:
        """Call every handler registered for what ``objects`` provide, in the
        order ``subscribers`` uses."""
        if len(objects) == 1:  # one event, the common case: no star-calls
            (event,) = objects
            for handler in self._subscriptions((providedBy(event),), None):
                handler(event)
            return
        for handler in self._subscriptions(tuple(map(providedBy, objects)), None):
            handler(*objects)

    def registeredHandlers(self) -> Iterator[HandlerRegistration]:
        """The records of the handlers registered here, in registration order."""
        return iter(list(self._handler_registrations))

    # -- pickling and display ---------------------------------------------

    def __reduce__(self) -> tuple[Any, ...]:
        # The records, not the adapter registries: those (and their caches)
        # are rebuilt from the records on unpickling.
        with self._lock:
            state = {
                "bases": self.__bases__,
                "utilities": [
                    (r.provided, r.name, r.component, r.info, r.factory) for r in self._utility_registrations.values()
                ],
                "adapters": [
                    (r._given, r.provided, r.name, r.factory, r.info) for r in self._adapter_registrations.values()
                ],
                "subscriptions": [(r._given, r.provided, r.factory, r.info) for r in self._subscription_registrations],
                "handlers": [(r._given, r.handler, r.info) for r in self._handler_registrations],
            }
        return (type(self), (self.__name__,), state)

    def __setstate__(self, state: dict[str, Any]) -> None:
        # Restoring is not registering: no events are handled.
        with self._lock:
            self.__bases__ = state["bases"]
            for provided, name, component, info, factory in state["utilities"]:
                self._add_utility(UtilityRegistration(self, provided, name, component, info, factory))
            for given, provided, name, factory, info in state["adapters"]:
                self._add_adapter(AdapterRegistration(self, given, provided, name, factory, info))
            for given, provided, factory, info in state["subscriptions"]:
                self._add_subscription(SubscriptionRegistration(self, given, provided, "", factory, info))
            for given, handler, info in state["handlers"]:
                self._add_handler(HandlerRegistration(self, given, handler, info))

    def __repr__(self) -> str:
        return f"<{type(self).__name__} {self.__name__!r}>"
