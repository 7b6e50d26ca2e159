"""The plain-Python core: the extension module's public API in ordinary Python.

The framework runs on it when ``_trel_interface_coptimizations`` cannot be
imported or ``TREL_INTERFACE_PURE=1`` is set, and the benchmark measures the
extension against it. Every function and type takes the same steps in the
same order as its C++ counterpart and answers the same way, so the two cores
are interchangeable under the framework.

Like the extension, this module reads four values from
``trel.interface.declarations`` the first time a resolution needs them,
keeps them for the life of the process, and retries a failed load at the
next need.

The operations call one another through private names bound at import, as
the extension calls its own routines directly: rebinding a public module
attribute (``providedBy``, ``adapter_hooks``) changes what Python callers
see, not what the types here do.
"""

from __future__ import annotations

import importlib as _importlib
from collections.abc import Callable, Iterable
from typing import Any, cast

from trel.interface._module_name import ModuleName as _ModuleName

__all__ = [
    "ClassProvidesBase",
    "InterfaceBase",
    "LookupBase",
    "ObjectSpecificationDescriptor",
    "SpecificationBase",
    "VerifyingBase",
    "adapter_hooks",
    "getObjectSpecification",
    "implementedBy",
    "providedBy",
]

_MISSING = object()
_DECLARATIONS = "trel.interface.declarations"

# A class's own namespace, read through type's own descriptor so that a
# metaclass attribute named "__dict__" plays no part.
_class_namespace: Callable[[object], Any] = type.__dict__["__dict__"].__get__


# --- The declarations bridge --------------------------------------------------


class _Bridge:
    __slots__ = ("builtins", "empty", "fallback", "implements")

    # Whatever the declarations module holds: the core checks each value
    # where it uses it, as the extension does.
    builtins: Any
    empty: Any
    fallback: Callable[[object], Any]
    implements: Any


_bridge: _Bridge | None = None


def _load_declarations() -> _Bridge:
    """The four values the resolutions need, fetched once per process.

    A failed load leaves nothing behind, so the next need tries again.
    """
    global _bridge
    module = _importlib.import_module(_DECLARATIONS)
    loaded = _Bridge()
    loaded.builtins = module.BuiltinImplementationSpecifications
    loaded.empty = module._empty
    loaded.fallback = module.implementedByFallback
    loaded.implements = module.Implements
    if not issubclass(type(loaded.implements), type):
        raise TypeError("trel.interface.declarations.Implements is not a type")
    _bridge = loaded
    return loaded


def use_declarations(builtins: object, empty: object, fallback: Callable[[object], Any], implements: type) -> None:
    """Resolve through these four values instead of the declarations module's.

    For running this core beside the extension in one process, as the
    benchmark does: the framework's declarations are then built on the
    extension's types, which this core does not take for its own.
    """
    global _bridge
    bridge = _Bridge()
    bridge.builtins, bridge.empty, bridge.fallback, bridge.implements = builtins, empty, fallback, implements
    _bridge = bridge


def _declarations() -> _Bridge:
    bridge = _bridge
    return bridge if bridge is not None else _load_declarations()


# --- Resolution ---------------------------------------------------------------


def _only_ordinary(error: Exception) -> None:
    """Let a probe count ``error`` as absence only if it is an ordinary failure.

    Probes treat a failed lookup as "not there"; a memory error is no answer
    about the object, so it propagates. (Interrupts and exit requests are not
    ``Exception`` subclasses and are never caught by the probes at all.)
    """
    if isinstance(error, MemoryError):
        raise error


def _is_specification(ob: object) -> bool:
    """The SpecificationBase test by actual type: ``__class__`` plays no part."""
    kind = type(ob)
    return kind is SpecificationBase or issubclass(kind, SpecificationBase)


def _implies(implied: object, key: object) -> bool:
    """Whether ``key`` is a key of ``implied``, as a plain dict lookup.

    A dict subclass's own methods are not consulted, anything that is not a
    dict implies nothing, and a key that cannot be hashed or compared is
    absent.
    """
    if type(implied) is not dict and not issubclass(type(implied), dict):
        return False
    try:
        return dict.__contains__(cast("dict[object, object]", implied), key)  # a dict, tested above
    except Exception as error:
        _only_ordinary(error)
        return False


def implementedBy(cls: object) -> Any:
    """Interfaces implemented by a class or factory.
    Raises TypeError if argument is neither a class nor a callable."""
    if issubclass(type(cls), super):
        return _declarations().fallback(cls)
    # Only the object's own namespace counts; any failure to get it, or to
    # look the key up in it, counts as no declaration.
    if issubclass(type(cls), type):
        try:
            value = _class_namespace(cls).get("__implemented__", _MISSING)
        except Exception as error:
            _only_ordinary(error)
            value = _MISSING
    else:
        try:
            namespace = cls.__dict__
        except Exception as error:
            _only_ordinary(error)
            return _declarations().fallback(cls)
        try:
            value = namespace["__implemented__"]
        except Exception as error:
            _only_ordinary(error)
            value = _MISSING
    bridge = _declarations()
    if value is not _MISSING:
        if bridge.implements in type(value).__mro__:
            return value
        return bridge.fallback(cls)
    table = bridge.builtins
    if issubclass(type(table), dict):
        try:
            listed = dict.get(table, cls, _MISSING)
        except Exception as error:  # an unhashable cls is simply not listed
            _only_ordinary(error)
            listed = _MISSING
        if listed is not _MISSING:
            return listed
    return bridge.fallback(cls)


def getObjectSpecification(ob: object) -> Any:
    """Get an object's interfaces (internal api)"""
    provides = getattr(ob, "__provides__", _MISSING)
    if provides is not _MISSING and isinstance(provides, SpecificationBase):
        return provides
    cls = getattr(ob, "__class__", _MISSING)
    if cls is _MISSING:
        return _declarations().empty
    return _implementedBy(cls)


def providedBy(ob: object) -> Any:
    """Get an object's interfaces"""
    try:
        is_super = isinstance(ob, super)
    except AttributeError:
        is_super = True
    if is_super:
        return _implementedBy(ob)
    declared = getattr(ob, "__providedBy__", _MISSING)
    if declared is _MISSING:
        return _getObjectSpecification(ob)
    if _is_specification(declared):
        return declared
    # Anything with "extends" is taken as a specification; any failure of
    # that probe counts as absence.
    try:
        getattr(declared, "extends")  # noqa: B009 (any object: the checker knows no such attribute)
    except Exception as error:
        _only_ordinary(error)
    else:
        return declared
    cls = ob.__class__
    try:
        own = getattr(ob, "__provides__", _MISSING)
    except Exception as error:
        _only_ordinary(error)
        own = _MISSING
    if own is _MISSING:
        return _implementedBy(cls)
    try:
        inherited = getattr(cls, "__provides__", _MISSING)
    except Exception as error:
        _only_ordinary(error)
        inherited = _MISSING
    if inherited is _MISSING:
        return own
    if inherited is own:
        return _implementedBy(cls)
    return own


_implementedBy = implementedBy
_getObjectSpecification = getObjectSpecification
_providedBy = providedBy


# --- Specifications -----------------------------------------------------------


class SpecificationBase:
    """Base type for Specification objects"""

    __slots__ = ("__iro__", "__sro__", "__weakref__", "_bases", "_dependents", "_implied", "_v_attrs")

    # Reading a field that was never set raises AttributeError.
    _implied: Any
    _dependents: Any
    _bases: Any
    _v_attrs: Any
    __iro__: Any
    __sro__: Any

    def __call__(*args: Any, **ignored: object) -> bool:
        # Exactly one positional argument after self; keywords are ignored.
        if len(args) != 2:
            raise TypeError(f"function takes exactly 1 argument ({len(args) - 1} given)")
        self, other = args
        return _implies(self._implied, other)

    def isOrExtends(self, other: object) -> bool:
        """Test whether a specification is or extends another"""
        return _implies(self._implied, other)

    def providedBy(self, ob: object) -> Any:
        """Test whether an interface is implemented by the """ "specification"
        spec = _providedBy(ob)
        if _is_specification(spec):
            return _implies(spec._implied, self)
        return spec(self)

    def implementedBy(self, cls: object) -> Any:
        """Test whether the specification is implemented by a class or factory.
        Raise TypeError if argument is neither a class nor a callable."""
        spec = _implementedBy(cls)
        if _is_specification(spec):
            return _implies(spec._implied, self)
        return spec(self)


class ObjectSpecificationDescriptor:
    """Object Specification Descriptor"""

    __slots__ = ()

    def __get__(self, inst: object, cls: type | None = None) -> Any:
        if inst is None:
            if cls is None:
                raise TypeError("__get__(None, None) is invalid")
            return _getObjectSpecification(cls)
        try:
            provides = getattr(inst, "__provides__", _MISSING)
        except Exception as error:
            _only_ordinary(error)
            provides = _MISSING
        if provides is not _MISSING:
            return provides
        return _implementedBy(cls if cls is not None else type(inst))


class ClassProvidesBase(SpecificationBase):
    """C Base class for ClassProvides"""

    __slots__ = ("_cls", "_implements")

    _cls: Any
    _implements: Any

    def __get__(self, inst: object, cls: type | None = None) -> Any:
        if inst is None and cls is None:
            raise TypeError("__get__(None, None) is invalid")
        if cls is not self._cls:
            raise AttributeError("__provides__")
        if inst is None:
            return self
        return self._implements


# --- Interfaces ---------------------------------------------------------------

adapter_hooks: list[Callable[[Any, Any], Any]] = []
_adapter_hooks = adapter_hooks  # the list adaptation reads, whatever the attribute is rebound to

_SPECIFICATION_FIELDS = ("_implied", "_dependents", "_bases", "_v_attrs", "__iro__", "__sro__")


def _same(a: Any, b: Any) -> bool:
    """``==`` as the interpreter's identity-first comparison answers it."""
    return a is b or bool(a == b)


def _compare(a: Any, b: Any, op: str) -> bool:
    if op == "==":
        return _same(a, b)
    if op == "!=":
        return a is not b and bool(a != b)
    if op == "<":
        return bool(a < b)
    if op == "<=":
        return bool(a <= b)
    if op == ">":
        return bool(a > b)
    return bool(a >= b)


def _interface_init_arguments(__name__: object = None, __module__: object = None) -> tuple[object, object]:
    return __name__, __module__


class InterfaceBase(SpecificationBase):
    """Interface base type providing __call__ and __adapt__"""

    __slots__ = ("__hash_cache", "__ibmodule__", "__name__")

    __name__: Any
    __ibmodule__: Any
    __hash_cache: int
    # Supplied by the framework's interfaces; adaptation calls it with an
    # object's __conform__.
    _call_conform: Callable[[Callable[[Any], Any]], Any]

    def __init__(self, *args: object, **kwargs: object) -> None:
        try:
            __name__, __module__ = _interface_init_arguments(*args, **kwargs)
        except TypeError as error:
            # Worded as the C type's parser words it, naming the method; the
            # interpreter's own wording of a Python function's call error
            # names only "__init__" on some versions.
            raise TypeError(str(error).replace("_interface_init_arguments()", "InterfaceBase.__init__()", 1)) from None
        _delete_fields(self, ("__name__", "__ibmodule__", *_SPECIFICATION_FIELDS))
        self.__ibmodule__ = __module__
        self.__name__ = __name__

    # The defining module's name: the same field as __ibmodule__, read-only.
    # A Python subclass's own "__module__" class attribute is found first on
    # its instances. On the class itself it is this module's name, a string,
    # as the extension type's is.
    __module__ = _ModuleName(__name__)

    def __hash__(self) -> int:
        try:
            module = self.__ibmodule__
        except AttributeError:
            raise AttributeError("__module__") from None
        try:
            name = self.__name__
        except AttributeError:
            raise AttributeError("__name__") from None
        try:
            return self.__hash_cache
        except AttributeError:
            pass
        value = hash((name, module))
        if value:  # 0 marks "not computed": a zero hash is recomputed each time
            self.__hash_cache = value
        return value

    def _identity(self, other: object) -> tuple[Any, Any] | None:
        """The other side's name and module, or None for NotImplemented."""
        if issubclass(type(other), InterfaceBase):
            peer = cast(InterfaceBase, other)  # by its type, tested above
            return peer.__name__, peer.__ibmodule__
        try:
            name = getattr(other, "__name__")  # noqa: B009 (any object, as above)
            module = getattr(other, "__module__")  # noqa: B009
        except AttributeError:
            return None
        return name, module

    def _rule(self, other: object, op: str) -> bool:
        identity = self._identity(other)
        if identity is None:
            # Passed on by the comparison methods, for the reflected operation.
            return cast(bool, NotImplemented)
        name, module = self.__name__, self.__ibmodule__
        if _same(name, identity[0]):
            return _compare(module, identity[1], op)
        return _compare(name, identity[0], op)

    def __eq__(self, other: object) -> bool:
        if other is self:
            return True
        if other is None:
            return False
        return self._rule(other, "==")

    def __ne__(self, other: object) -> bool:
        if other is self:
            return False
        if other is None:
            return True
        return self._rule(other, "!=")

    def __lt__(self, other: object) -> bool:
        if other is None:
            return True
        return self._rule(other, "<")

    def __le__(self, other: object) -> bool:
        if other is self or other is None:
            return True
        return self._rule(other, "<=")

    def __gt__(self, other: object) -> bool:
        if other is None:
            return False
        return self._rule(other, ">")

    def __ge__(self, other: object) -> bool:
        if other is self:
            return True
        if other is None:
            return False
        return self._rule(other, ">=")

    # Adaptation, where a specification answers whether it implies `other`,
    # as on the extension's type.
    def __call__(self, obj: object, alternate: object = _MISSING) -> Any:  # type: ignore[override]
        conform = getattr(obj, "__conform__", None)
        if conform is not None:
            adapter = self._call_conform(conform)
            if adapter is not None:
                return adapter
        # Only the interface's exact class selects an overriding __adapt__.
        adapter = self.__adapt__(obj) if _selects_custom_adapt(type(self)) else _default_adapt(self, obj)
        if adapter is not None:
            return adapter
        if alternate is not _MISSING:
            return alternate
        raise TypeError("Could not adapt", obj, self)

    def __adapt__(self, obj: object) -> Any:
        """Adapt an object to the reciever"""
        return _default_adapt(self, obj)


def _selects_custom_adapt(cls: type) -> bool:
    """Whether the class's own namespace has a "_CALL_CUSTOM_ADAPT" key; base
    classes are not searched, and a key that fails to compare is absent."""
    try:
        return "_CALL_CUSTOM_ADAPT" in _class_namespace(cls)
    except Exception as error:
        _only_ordinary(error)
        return False


def _default_adapt(iface: InterfaceBase, obj: object) -> Any:
    spec = _providedBy(obj)
    provides = _implies(spec._implied, iface) if _is_specification(spec) else bool(spec(iface))
    if provides:
        return obj
    hooks = _adapter_hooks
    # The hooks present when the walk starts, in list order; a hook appended
    # meanwhile waits for the next adaptation, and a shortened list ends it.
    for i in range(len(hooks)):
        if i >= len(hooks):
            break
        adapter = hooks[i](iface, obj)
        if adapter is not None:
            return adapter
    return None


# --- Registry lookups ---------------------------------------------------------

_NOT_GIVEN = object()


def _validate_name(name: object) -> None:
    if name is not _NOT_GIVEN and not issubclass(type(name), str):
        raise ValueError("name is not a string or unicode")


def _delete_fields(ob: object, fields: Iterable[str]) -> None:
    """Unset each field that is set."""
    for field in fields:
        try:
            delattr(ob, field)
        except AttributeError:
            pass


def _cache_level(parent: dict[Any, Any], key: object) -> dict[Any, Any]:
    """The nested dictionary under ``key``, created on first use."""
    try:
        level = dict.get(parent, key)
    except Exception as error:  # a key that cannot be hashed reads as a miss; the store raises
        _only_ordinary(error)
        level = None
    if level is None:
        level = parent[key] = {}
    return level


def _dict_find_quietly(leaf: dict[Any, Any], key: object) -> Any:
    try:
        return dict.get(leaf, key, _MISSING)
    except Exception as error:
        _only_ordinary(error)
        return _MISSING


_CACHES = ("_lookup_cache", "_lookup_cache_all", "_lookup_cache_subscriptions")


def _lookup_leaf(lookup: LookupBase, provided: object, name: object) -> dict[Any, Any]:
    try:
        cache = lookup._lookup_cache
    except AttributeError:
        cache = lookup._lookup_cache = {}
    leaf = _cache_level(cache, provided)
    if name is not _NOT_GIVEN and name:
        leaf = _cache_level(leaf, name)
    return leaf


def _with_default(result: Any, default: object) -> Any:
    """A stored None gives way to a default that was given."""
    return default if result is None and default is not _NOT_GIVEN else result


def _cached_lookup(
    lookup: LookupBase, required: Iterable[object], provided: object, name: object, default: object
) -> Any:
    _validate_name(name)
    required = tuple(required)
    leaf = _lookup_leaf(lookup, provided, name)
    # A single required element is its own key, so lookup1 shares the entry.
    key = required[0] if len(required) == 1 else required
    result = _dict_find_quietly(leaf, key)
    if result is _MISSING:
        if name is _NOT_GIVEN:
            result = lookup._uncached_lookup(required, provided)
        else:
            result = lookup._uncached_lookup(required, provided, name)
        leaf[key] = result
    return _with_default(result, default)


def _cached_lookup1(lookup: LookupBase, required: object, provided: object, name: object, default: object) -> Any:
    _validate_name(name)
    result = _dict_find_quietly(_lookup_leaf(lookup, provided, name), required)
    if result is _MISSING:
        return _cached_lookup(lookup, (required,), provided, name, default)
    return _with_default(result, default)


def _cached_adapter_hook(lookup: LookupBase, provided: object, object: Any, name: object, default: object) -> Any:
    _validate_name(name)
    factory = _cached_lookup1(lookup, _providedBy(object), provided, name, None)
    if factory is not None:
        # The factory adapts the object a super object stands for.
        result = factory(object.__self__ if issubclass(type(object), super) else object)
        if result is not None:
            return result
    return None if default is _NOT_GIVEN else default


def _cached_collection(
    lookup: LookupBase, field: str, uncached: str, required: Iterable[object], provided: object
) -> Any:
    required = tuple(required)
    try:
        cache = getattr(lookup, field)
    except AttributeError:
        cache = {}
        setattr(lookup, field, cache)
    leaf = _cache_level(cache, provided)
    result = _dict_find_quietly(leaf, required)
    if result is _MISSING:
        result = getattr(lookup, uncached)(required, provided)
        leaf[required] = result
    return result


def _unchecked(lookup: LookupBase) -> None:
    pass


def _query_methods(owner: str, check: Callable[[Any], None]) -> tuple[Callable[..., Any], ...]:
    """The six query methods of a lookup type: each reads its arguments,
    then runs ``check`` (which an argument error never reaches), then
    answers from the caches, computing misses through the subclass."""

    def lookup(
        self: LookupBase,
        required: Iterable[object],
        provided: object,
        name: object = _NOT_GIVEN,
        default: object = _NOT_GIVEN,
    ) -> Any:
        check(self)
        return _cached_lookup(self, required, provided, name, default)

    def lookup1(
        self: LookupBase, required: object, provided: object, name: object = _NOT_GIVEN, default: object = _NOT_GIVEN
    ) -> Any:
        check(self)
        return _cached_lookup1(self, required, provided, name, default)

    def queryAdapter(
        self: LookupBase, object: object, provided: object, name: object = _NOT_GIVEN, default: object = _NOT_GIVEN
    ) -> Any:
        check(self)
        return _cached_adapter_hook(self, provided, object, name, default)

    def adapter_hook(
        self: LookupBase, provided: object, object: object, name: object = _NOT_GIVEN, default: object = _NOT_GIVEN
    ) -> Any:
        check(self)
        return _cached_adapter_hook(self, provided, object, name, default)

    def lookupAll(self: LookupBase, required: Iterable[object], provided: object) -> Any:
        check(self)
        return _cached_collection(self, "_lookup_cache_all", "_uncached_lookupAll", required, provided)

    def subscriptions(self: LookupBase, required: Iterable[object], provided: object) -> Any:
        check(self)
        return _cached_collection(self, "_lookup_cache_subscriptions", "_uncached_subscriptions", required, provided)

    methods = (lookup, lookup1, queryAdapter, adapter_hook, lookupAll, subscriptions)
    for method in methods:
        method.__qualname__ = f"{owner}.{method.__name__}"
    return methods


class LookupBase:
    """Cached registry queries; the subclass computes the misses."""

    # Absent until the first query that needs them, dropped by changed():
    # provided -> {required key -> result, name -> {required key -> result}},
    # and provided -> {required tuple -> result} for the other two. Named as
    # the C++ fields are; the interpreter orders slots by name, which keeps
    # the fields' order.
    __slots__ = _CACHES

    _lookup_cache: dict[Any, Any]
    _lookup_cache_all: dict[Any, Any]
    _lookup_cache_subscriptions: dict[Any, Any]
    # Supplied by the subclass (see VerifyingBase).
    _uncached_lookup: Callable[..., Any]

    def changed(self, ignored: object) -> None:
        _delete_fields(self, _CACHES)

    lookup, lookup1, queryAdapter, adapter_hook, lookupAll, subscriptions = _query_methods("LookupBase", _unchecked)


def _verify_generations(lookup: VerifyingBase) -> None:
    """``changed(None)`` when there are no snapshots or a generation moved."""
    try:
        registries = lookup._snapshot_ro
        generations = lookup._snapshot_ro_generations
    except AttributeError:
        pass
    else:
        # Tuple inequality, the test the C++ core makes.
        if not (generations != tuple([registry._generation for registry in registries])):  # noqa: SIM202
            return
    lookup.changed(None)


class VerifyingBase(LookupBase):
    """Cached registry queries that drop the caches when a registry behind
    them has moved on to a new generation."""

    # The registries after the first in the registry's resolution order, and
    # their generations, as the last successful changed() read them.
    __slots__ = ("_snapshot_ro", "_snapshot_ro_generations")

    _snapshot_ro: tuple[Any, ...]
    _snapshot_ro_generations: tuple[Any, ...]
    # Supplied by the subclass: its `ro` lists registries with a `_generation`.
    _registry: Any

    def changed(self, originally_changed: object) -> None:
        LookupBase.changed(self, originally_changed)
        _delete_fields(self, ("_snapshot_ro_generations", "_snapshot_ro"))
        registries = tuple(self._registry.ro)[1:]
        generations = tuple([registry._generation for registry in registries])
        self._snapshot_ro_generations = generations
        self._snapshot_ro = registries

    lookup, lookup1, queryAdapter, adapter_hook, lookupAll, subscriptions = _query_methods(
        "VerifyingBase", _verify_generations
    )
