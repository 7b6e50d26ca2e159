"""Components: utilities, adapters, subscribers and handlers, looked up by
interface and name, in registries that inherit from one another.

A plugin or service architecture registers its components once and looks
them up everywhere else::

    from trel.component import Components
    from trel.interface import Interface, implementer

    class IStorage(Interface):
        pass

    @implementer(IStorage)
    class MemoryStorage:
        pass

    site = Components("site")
    site.registerUtility(MemoryStorage())
    storage = site.getUtility(IStorage)

``global_registry`` is the application's registry; ``getUtility``,
``queryAdapter``, ``provideUtility`` and the other module-level functions use
it, or the registry a ``registry_scope`` block has chosen. Importing this
package also makes interfaces adapt through that registry: ``IFoo(ob)``
finds the adapters registered there.
"""

from trel.component.declarations import adapter_for
from trel.component.errors import ComponentLookupError
from trel.component.events import (
    IRegistered,
    IRegistrationEvent,
    IUnregistered,
    Registered,
    RegistrationEvent,
    Unregistered,
)
from trel.component.globalregistry import (
    current_registry,
    getAdapter,
    getMultiAdapter,
    getUtility,
    global_registry,
    handle,
    provideAdapter,
    provideHandler,
    provideUtility,
    queryAdapter,
    queryMultiAdapter,
    queryUtility,
    registry_scope,
    subscribers,
)
from trel.component.registrations import (
    AdapterRegistration,
    HandlerRegistration,
    SubscriptionRegistration,
    UtilityRegistration,
)
from trel.component.registry import Components

__all__ = [
    "AdapterRegistration",
    "ComponentLookupError",
    "Components",
    "HandlerRegistration",
    "IRegistered",
    "IRegistrationEvent",
    "IUnregistered",
    "Registered",
    "RegistrationEvent",
    "SubscriptionRegistration",
    "Unregistered",
    "UtilityRegistration",
    "adapter_for",
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
