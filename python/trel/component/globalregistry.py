"""The global registry, the functions that query the current registry, and
``registry_scope`` to change which registry that is.

``global_registry`` is the registry an application configures at start-up.
The module-level functions (``getUtility``, ``provideAdapter`` and the rest)
use the *current* registry: the global one, unless a ``registry_scope``
block has chosen another. The choice lives in a context variable, so each
thread starts from the global registry and each ``asyncio`` task keeps the
choice of the code that created it.

Importing this module puts one hook in ``adapter_hooks``, so calling an
interface (``IFoo(ob)``) adapts through the current registry.
"""

from __future__ import annotations

import contextvars
from collections.abc import Callable, Iterable, Iterator, Sequence
from contextlib import contextmanager
from typing import Any

from trel.component.declarations import Required
from trel.component.registry import Components
from trel.interface import InterfaceClass, adapter_hooks

__all__ = [
    "current_registry",
    "getAdapter",
    "getMultiAdapter",
    "getUtility",
    "global_registry",
    "handle",
    "provideAdapter",
    "provideHandler",
    "provideUtility",
    "queryAdapter",
    "queryMultiAdapter",
    "queryUtility",
    "registry_scope",
    "subscribers",
]

_MISSING: Any = object()


class GlobalComponents(Components):
    """The one global registry: it pickles as a reference to
    ``trel.component.globalregistry.global_registry``, so registries built
    on it stay built on it after a round trip."""

    def __reduce__(self) -> str:  # type: ignore[override]
        return "global_registry"


global_registry = GlobalComponents("global")

_current: contextvars.ContextVar[Components] = contextvars.ContextVar(
    "trel.component.current_registry", default=global_registry
)
_current_get = _current.get


def current_registry() -> Components:
    """The registry the module-level functions use here: the one chosen by
    the innermost ``registry_scope`` of this thread or task, or else
    ``global_registry``."""
    return _current_get()


@contextmanager
def registry_scope(components: Components) -> Iterator[Components]:
    """Make ``components`` the current registry for the ``with`` block (in
    this thread or task only); yields it."""
    if not isinstance(components, Components):
        raise TypeError(f"components must be a Components, not {type(components).__name__} {components!r}")
    token = _current.set(components)
    try:
        yield components
    finally:
        _current.reset(token)


def getUtility(provided: InterfaceClass, name: str = "") -> Any:
    """The current registry's ``getUtility``."""
    registry = _current_get()
    try:
        return registry._utility_cache[name][provided]
    except (KeyError, TypeError):  # the method finds it, or raises clearly
        return registry.getUtility(provided, name)


def queryUtility(provided: InterfaceClass, name: str = "", default: object = None) -> Any:
    """The current registry's ``queryUtility``."""
    registry = _current_get()
    try:
        return registry._utility_cache[name][provided]
    except (KeyError, TypeError):
        return registry.queryUtility(provided, name, default)


def getAdapter(object: object, provided: InterfaceClass, name: str = "") -> Any:
    """The current registry's ``getAdapter``."""
    return _current_get().getAdapter(object, provided, name)


def queryAdapter(object: object, provided: InterfaceClass, name: str = "", default: object = None) -> Any:
    """The current registry's ``queryAdapter``."""
    return _current_get().queryAdapter(object, provided, name, default)


def getMultiAdapter(objects: Sequence[object], provided: InterfaceClass, name: str = "") -> Any:
    """The current registry's ``getMultiAdapter``."""
    return _current_get().getMultiAdapter(objects, provided, name)


def queryMultiAdapter(
    objects: Sequence[object], provided: InterfaceClass, name: str = "", default: object = None
) -> Any:
    """The current registry's ``queryMultiAdapter``."""
    return _current_get().queryMultiAdapter(objects, provided, name, default)


def subscribers(objects: Sequence[object], provided: InterfaceClass) -> list[Any]:
    """The current registry's ``subscribers``."""
    return _current_get().subscribers(objects, provided)


def handle(*objects: object) -> None:
    """The current registry's ``handle``."""
    _current_get().handle(*objects)


def provideUtility(
    component: object = None,
    provided: InterfaceClass | None = None,
    name: str = "",
    factory: Callable[[], object] | None = None,
    *,
    info: str = "",
) -> None:
    """Register a utility in the current registry (see ``registerUtility``)."""
    _current_get().registerUtility(component, provided, name, factory, info=info)


def provideAdapter(
    factory: Callable[..., object],
    required: Iterable[Required] | None = None,
    provided: InterfaceClass | None = None,
    name: str = "",
    *,
    info: str = "",
) -> None:
    """Register an adapter in the current registry (see ``registerAdapter``)."""
    _current_get().registerAdapter(factory, required, provided, name, info=info)


def provideHandler(
    handler: Callable[..., object], required: Iterable[Required] | None = None, *, info: str = ""
) -> None:
    """Register a handler in the current registry (see ``registerHandler``)."""
    _current_get().registerHandler(handler, required, info=info)


def _adapt_through_current_registry(provided: object, ob: object) -> Any:
    """The adapter hook: adapts ``ob`` to ``provided`` with the current
    registry's adapters, or returns None."""
    return _current_get()._query_adapter(ob, provided)


# Marks the hook, so that loading this module again replaces it instead of
# adding a second one.
_HOOK_MARK = "_trel_component_hook"
setattr(_adapt_through_current_registry, _HOOK_MARK, True)


def _install_hook() -> None:
    for i, hook in enumerate(adapter_hooks):
        if getattr(hook, _HOOK_MARK, False):
            adapter_hooks[i] = _adapt_through_current_registry
            return
    adapter_hooks.append(_adapt_through_current_registry)


_install_hook()
