"""C optimizations for trel.interface"""

# Every type but ObjectSpecificationDescriptor adds C fields to its instances, so
# no class can derive from two of them (@disjoint_base).

from collections.abc import Callable, Iterable
from typing import Any

from typing_extensions import disjoint_base

# Called in order with (interface, object) by an interface's adaptation; the
# first answer that is not None is the adapter.
adapter_hooks: list[Callable[[Any, Any], Any]]

# Each resolution answers whatever specification is declared, or whatever the
# declarations module's fallback returns.
def implementedBy(cls: object, /) -> Any:
    """Interfaces implemented by a class or factory.
    Raises TypeError if argument is neither a class nor a callable."""

def getObjectSpecification(ob: object, /) -> Any:
    """Get an object's interfaces (internal api)"""

def providedBy(ob: object, /) -> Any:
    """Get an object's interfaces"""

@disjoint_base
class SpecificationBase:
    """Base type for Specification objects"""

    # Reading a field that was never set raises AttributeError.
    _implied: Any
    _dependents: Any
    _bases: Any
    _v_attrs: Any
    __iro__: Any
    __sro__: Any
    # Whether `other` is a key of `_implied`; keyword arguments are ignored.
    def __call__(self, other: object, /, **ignored: object) -> bool: ...
    def isOrExtends(self, other: object, /) -> bool:
        """Test whether a specification is or extends another"""
    # A resolved specification that is not a SpecificationBase is called with
    # this one, and its answer is returned unchanged.
    def providedBy(self, ob: object, /) -> Any:
        """Test whether an interface is implemented by the """ "specification"
    def implementedBy(self, cls: object, /) -> Any:
        """Test whether the specification is implemented by a class or factory.
        Raise TypeError if argument is neither a class nor a callable."""

class ObjectSpecificationDescriptor:
    """Object Specification Descriptor"""

    def __get__(self, inst: object, cls: type | None = None, /) -> Any: ...

@disjoint_base
class ClassProvidesBase(SpecificationBase):
    """C Base class for ClassProvides"""

    _cls: Any
    """Defining class."""
    _implements: Any
    """Result of implementedBy."""
    def __get__(self, inst: object, cls: type | None = None, /) -> Any: ...

@disjoint_base
class InterfaceBase(SpecificationBase):
    """Interface base type providing __call__ and __adapt__"""

    __name__: Any
    __ibmodule__: Any
    # Read-only here, unlike object.__module__.
    @property
    def __module__(self) -> Any: ...  # type: ignore[override]
    def __init__(self, __name__: object = None, __module__: object = None) -> None: ...
    # Adapts `obj`: raises TypeError when nothing adapts it and no alternate is given.
    def __call__(self, obj: object, alternate: object = ...) -> Any: ...  # type: ignore[override]
    def __adapt__(self, obj: object, /) -> Any:
        """Adapt an object to the reciever"""
    def __hash__(self) -> int: ...
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    def __lt__(self, other: object, /) -> bool: ...
    def __le__(self, other: object, /) -> bool: ...
    def __gt__(self, other: object, /) -> bool: ...
    def __ge__(self, other: object, /) -> bool: ...

@disjoint_base
class LookupBase:
    # Subclasses supply _uncached_lookup, _uncached_lookupAll and
    # _uncached_subscriptions, which compute what the caches miss.
    def changed(self, originally_changed: object, /) -> None: ...
    def lookup(
        self, required: Iterable[object], provided: object, name: str = ..., default: object = ...
    ) -> Any: ...
    def lookup1(self, required: object, provided: object, name: str = ..., default: object = ...) -> Any: ...
    def queryAdapter(self, object: object, provided: object, name: str = ..., default: object = ...) -> Any: ...
    def adapter_hook(self, provided: object, object: object, name: str = ..., default: object = ...) -> Any: ...
    def lookupAll(self, required: Iterable[object], provided: object) -> Any: ...
    def subscriptions(self, required: Iterable[object], provided: object) -> Any: ...

@disjoint_base
class VerifyingBase(LookupBase):
    # Instances need a `_registry` whose `ro` lists registries with a `_generation`.
    def changed(self, originally_changed: object, /) -> None: ...
    def lookup(
        self, required: Iterable[object], provided: object, name: str = ..., default: object = ...
    ) -> Any: ...
    def lookup1(self, required: object, provided: object, name: str = ..., default: object = ...) -> Any: ...
    def queryAdapter(self, object: object, provided: object, name: str = ..., default: object = ...) -> Any: ...
    def adapter_hook(self, provided: object, object: object, name: str = ..., default: object = ...) -> Any: ...
    def lookupAll(self, required: Iterable[object], provided: object) -> Any: ...
    def subscriptions(self, required: Iterable[object], provided: object) -> Any: ...
