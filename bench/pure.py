"""Plain-Python versions of the core's operations, for timing comparisons.

Each function takes the same steps in the same order as its C++
counterpart, written as ordinary Python would write them. They accept the
core's specification objects as well as this module's, but the benchmark
compares like with like: the C++ routines on core objects, these on objects
built from this module's ``SpecificationBase`` and ``Implements``.

Like the core, this module reads four values from
``trel.interface.declarations`` the first time it needs them, unless
``use_declarations`` (or ``use_pure_declarations``) set them first.
"""

import operator as _operator

try:
    from _trel_interface_coptimizations import SpecificationBase as _CoreSpecificationBase
except ImportError:  # the plain versions still work on their own
    _CoreSpecificationBase = None

_MISSING = object()

# A class's own namespace, read through type's own descriptor so a
# metaclass "__dict__" is never consulted.
_class_namespace = type.__dict__["__dict__"].__get__


class _Declarations:
    __slots__ = ("builtin_implementation_specifications", "empty", "implemented_by_fallback", "implements")

    def __init__(self, builtins, empty, fallback, implements):
        self.builtin_implementation_specifications = builtins
        self.empty = empty
        self.implemented_by_fallback = fallback
        self.implements = implements


_declarations = None


def _load_declarations():
    global _declarations
    from trel.interface import declarations as module

    _declarations = _Declarations(
        module.BuiltinImplementationSpecifications,
        module._empty,
        module.implementedByFallback,
        module.Implements,
    )
    return _declarations


def use_declarations(builtins, empty, fallback, implements):
    """Use these four values instead of the declarations module's."""
    global _declarations
    _declarations = _Declarations(builtins, empty, fallback, implements)


def _is_specification(ob):
    return isinstance(ob, _SPECIFICATION_TYPES)


def _fallback(cls):
    declarations = _declarations
    if declarations is None:
        declarations = _load_declarations()
    return declarations.implemented_by_fallback(cls)


def implementedBy(cls):
    if isinstance(cls, super):
        return _fallback(cls)
    # The namespace that may declare "__implemented__"; any failure to get
    # one counts as none, and any failure of the lookup as absence.
    if isinstance(cls, type):
        # A read-only view of the class's own dict: .get is a plain dict read.
        value = _class_namespace(cls).get("__implemented__", _MISSING)
    else:
        try:
            namespace = getattr(cls, "__dict__", _MISSING)
        except Exception:
            namespace = _MISSING
        if namespace is _MISSING:
            return _fallback(cls)
        try:
            if type(namespace) is dict:
                value = namespace.get("__implemented__", _MISSING)
            else:
                value = namespace["__implemented__"]
        except Exception:
            value = _MISSING
    declarations = _declarations
    if declarations is None:
        declarations = _load_declarations()
    if value is not _MISSING:
        if isinstance(value, declarations.implements):
            return value
        return declarations.implemented_by_fallback(cls)
    table = declarations.builtin_implementation_specifications
    if isinstance(table, dict):
        try:
            listed = dict.get(table, cls)
        except Exception:  # an unhashable cls is simply not listed
            listed = None
        if listed is not None:
            return listed
    return declarations.implemented_by_fallback(cls)


def getObjectSpecification(ob):
    provides = getattr(ob, "__provides__", None)
    if provides is not None and _is_specification(provides):
        return provides
    cls = getattr(ob, "__class__", _MISSING)
    if cls is not _MISSING:
        return implementedBy(cls)
    declarations = _declarations
    if declarations is None:
        declarations = _load_declarations()
    return declarations.empty


def providedBy(ob):
    try:
        super_like = isinstance(ob, super)
    except AttributeError:
        super_like = True
    if super_like:
        return implementedBy(ob)
    declared = getattr(ob, "__providedBy__", _MISSING)
    if declared is _MISSING:
        return getObjectSpecification(ob)
    if _is_specification(declared):
        return declared
    # Anything with "extends" is taken as a specification.
    try:
        extends = getattr(declared, "extends", _MISSING)
    except Exception:
        extends = _MISSING
    if extends is not _MISSING:
        return declared
    cls = ob.__class__
    try:
        own = getattr(ob, "__provides__", _MISSING)
    except Exception:
        own = _MISSING
    if own is _MISSING:
        return implementedBy(cls)
    try:
        inherited = getattr(cls, "__provides__", _MISSING)
    except Exception:
        inherited = _MISSING
    if inherited is own:
        return implementedBy(cls)
    return own


class SpecificationBase:
    """A specification's stored attributes and the test on its ``_implied``."""

    __slots__ = ("__weakref__", "_implied", "_dependents", "_bases", "_v_attrs", "__iro__", "__sro__")

    def isOrExtends(self, interface):
        implied = self._implied
        if not isinstance(implied, dict):
            return False
        try:
            return interface in implied
        except Exception:  # a key that cannot be hashed or compared is absent
            return False

    __call__ = isOrExtends

    def providedBy(self, ob):
        spec = providedBy(ob)
        if not _is_specification(spec):
            return spec(self)
        implied = spec._implied
        if not isinstance(implied, dict):
            return False
        try:
            return self in implied
        except Exception:
            return False

    def implementedBy(self, cls):
        spec = implementedBy(cls)
        if not _is_specification(spec):
            return spec(self)
        implied = spec._implied
        if not isinstance(implied, dict):
            return False
        try:
            return self in implied
        except Exception:
            return False


_SPECIFICATION_TYPES = (
    (SpecificationBase,) if _CoreSpecificationBase is None else (SpecificationBase, _CoreSpecificationBase)
)


# The declarations for runs made entirely of plain objects; they mirror
# trel.interface.declarations over this module's SpecificationBase.


class Implements(SpecificationBase):
    def __init__(self, name, *implied):
        self.__name__ = name
        self._implied = dict.fromkeys((self, *implied), ())

    def __repr__(self):
        return f"<implementedBy {self.__name__}>"


_empty = Implements("_empty")

BuiltinImplementationSpecifications = {}


def implementedByFallback(cls):
    spec = getattr(cls, "__implemented__", None)
    if isinstance(spec, Implements):
        return spec
    if isinstance(cls, super) or callable(cls):
        return _empty
    raise TypeError("ImplementedBy called for non-factory", cls)


def use_pure_declarations():
    """Resolve through this module's Implements and fallback."""
    use_declarations(BuiltinImplementationSpecifications, _empty, implementedByFallback, Implements)


# Interfaces: identity by name and module, and adaptation.

adapter_hooks = []


class InterfaceBase(SpecificationBase):
    """An interface: hashed and ordered by (name, module); calling adapts."""

    __slots__ = ("__name__", "__ibmodule__", "_hash_cache")

    def __init__(self, __name__=None, __module__=None):
        self.__ibmodule__ = __module__
        self.__name__ = __name__
        self._hash_cache = 0

    def __hash__(self):
        module = self.__ibmodule__
        name = self.__name__
        cached = self._hash_cache
        if cached:
            return cached
        value = hash((name, module))
        self._hash_cache = value
        return value

    def _identity_of(self, other):
        if isinstance(other, InterfaceBase):
            return other.__name__, other.__ibmodule__
        try:
            return other.__name__, other.__module__
        except AttributeError:
            return None

    def _compare(self, other, op):
        identity = self._identity_of(other)
        if identity is None:
            return NotImplemented
        name, module = self.__name__, self.__ibmodule__
        if name == identity[0]:
            return bool(op(module, identity[1]))
        return bool(op(name, identity[0]))

    def __eq__(self, other):
        if other is self:
            return True
        if other is None:
            return False
        return self._compare(other, _operator.eq)

    def __ne__(self, other):
        if other is self:
            return False
        if other is None:
            return True
        return self._compare(other, _operator.ne)

    def __lt__(self, other):
        if other is None:
            return True
        return self._compare(other, _operator.lt)

    def __le__(self, other):
        if other is self or other is None:
            return True
        return self._compare(other, _operator.le)

    def __gt__(self, other):
        if other is None:
            return False
        return self._compare(other, _operator.gt)

    def __ge__(self, other):
        if other is self:
            return True
        if other is None:
            return False
        return self._compare(other, _operator.ge)

    def __call__(self, obj, alternate=_MISSING):
        conform = getattr(obj, "__conform__", None)
        if conform is not None:
            adapter = self._call_conform(conform)
            if adapter is not None:
                return adapter
        if "_CALL_CUSTOM_ADAPT" in type(self).__dict__:
            adapter = self.__adapt__(obj)
        else:
            adapter = _default_adapt(self, obj)
        if adapter is not None:
            return adapter
        if alternate is not _MISSING:
            return alternate
        raise TypeError("Could not adapt", obj, self)

    def __adapt__(self, obj):
        return _default_adapt(self, obj)


def _default_adapt(iface, obj):
    spec = providedBy(obj)
    if _is_specification(spec):
        implied = spec._implied
        try:
            provided = isinstance(implied, dict) and iface in implied
        except Exception:
            provided = False
    else:
        provided = bool(spec(iface))
    if provided:
        return obj
    hooks = adapter_hooks
    for i in range(len(hooks)):
        if i >= len(hooks):
            break
        adapter = hooks[i](iface, obj)
        if adapter is not None:
            return adapter
    return None


# Descriptors: "__providedBy__" for classes and instances, "__provides__"
# for a class's own specification.


class ObjectSpecificationDescriptor:
    def __get__(self, inst, cls=None):
        if inst is None:
            return getObjectSpecification(cls)
        try:
            provides = getattr(inst, "__provides__", _MISSING)
        except Exception:
            provides = _MISSING
        if provides is not _MISSING:
            return provides
        return implementedBy(cls if cls is not None else type(inst))


class ClassProvidesBase(SpecificationBase):
    __slots__ = ("_cls", "_implements")

    def __get__(self, inst, cls=None):
        if cls is not self._cls:
            raise AttributeError("__provides__")
        if inst is None:
            return self
        return self._implements


# Registry lookups: the same cache shapes and steps as the core's LookupBase
# and VerifyingBase, as ordinary Python would write them.

_NOT_GIVEN = object()


def _level(parent, key):
    try:
        level = parent.get(key)
    except Exception:  # a key that cannot be hashed reads as a miss; the store raises
        level = None
    if level is None:
        level = parent[key] = {}
    return level


def _probe(leaf, key):
    try:
        return leaf.get(key, _MISSING)
    except Exception:
        return _MISSING


class LookupBase:
    _lookup_cache = None
    _lookup_all_cache = None
    _subscriptions_cache = None

    def changed(self, ignored):
        self._lookup_cache = self._lookup_all_cache = self._subscriptions_cache = None

    def _leaf(self, provided, name):
        cache = self._lookup_cache
        if cache is None:
            cache = self._lookup_cache = {}
        leaf = _level(cache, provided)
        if name is not _NOT_GIVEN and name:
            leaf = _level(leaf, name)
        return leaf

    def lookup(self, required, provided, name=_NOT_GIVEN, default=_NOT_GIVEN):
        if name is not _NOT_GIVEN and not isinstance(name, str):
            raise ValueError("name is not a string or unicode")
        required = tuple(required)
        leaf = self._leaf(provided, name)
        key = required[0] if len(required) == 1 else required
        result = _probe(leaf, key)
        if result is _MISSING:
            if name is _NOT_GIVEN:
                result = self._uncached_lookup(required, provided)
            else:
                result = self._uncached_lookup(required, provided, name)
            leaf[key] = result
        if result is None and default is not _NOT_GIVEN:
            return default
        return result

    def lookup1(self, required, provided, name=_NOT_GIVEN, default=_NOT_GIVEN):
        if name is not _NOT_GIVEN and not isinstance(name, str):
            raise ValueError("name is not a string or unicode")
        result = _probe(self._leaf(provided, name), required)
        if result is _MISSING:
            return LookupBase.lookup(self, (required,), provided, name, default)
        if result is None and default is not _NOT_GIVEN:
            return default
        return result

    def queryAdapter(self, object, provided, name=_NOT_GIVEN, default=_NOT_GIVEN):
        return LookupBase.adapter_hook(self, provided, object, name, default)

    def adapter_hook(self, provided, object, name=_NOT_GIVEN, default=_NOT_GIVEN):
        if name is not _NOT_GIVEN and not isinstance(name, str):
            raise ValueError("name is not a string or unicode")
        factory = LookupBase.lookup1(self, providedBy(object), provided, name, None)
        if factory is not None:
            result = factory(object.__self__ if isinstance(object, super) else object)
            if result is not None:
                return result
        return None if default is _NOT_GIVEN else default

    def _collection(self, attribute, uncached, required, provided):
        cache = getattr(self, attribute)
        if cache is None:
            cache = {}
            setattr(self, attribute, cache)
        leaf = _level(cache, provided)
        required = tuple(required)
        result = _probe(leaf, required)
        if result is _MISSING:
            result = leaf[required] = uncached(required, provided)
        return result

    def lookupAll(self, required, provided):
        return self._collection("_lookup_all_cache", self._uncached_lookupAll, required, provided)

    def subscriptions(self, required, provided):
        return self._collection("_subscriptions_cache", self._uncached_subscriptions, required, provided)


class VerifyingBase(LookupBase):
    _ro_snapshot = None
    _generation_snapshot = None

    def changed(self, originally_changed):
        LookupBase.changed(self, originally_changed)
        self._ro_snapshot = self._generation_snapshot = None
        registries = tuple(self._registry.ro)[1:]
        self._generation_snapshot = tuple([registry._generation for registry in registries])
        self._ro_snapshot = registries

    def _verify(self):
        registries = self._ro_snapshot
        if registries is not None:
            if tuple([registry._generation for registry in registries]) == self._generation_snapshot:
                return
        self.changed(None)

    def lookup(self, required, provided, name=_NOT_GIVEN, default=_NOT_GIVEN):
        self._verify()
        return LookupBase.lookup(self, required, provided, name, default)

    def lookup1(self, required, provided, name=_NOT_GIVEN, default=_NOT_GIVEN):
        self._verify()
        return LookupBase.lookup1(self, required, provided, name, default)

    def queryAdapter(self, object, provided, name=_NOT_GIVEN, default=_NOT_GIVEN):
        self._verify()
        return LookupBase.adapter_hook(self, provided, object, name, default)

    def adapter_hook(self, provided, object, name=_NOT_GIVEN, default=_NOT_GIVEN):
        self._verify()
        return LookupBase.adapter_hook(self, provided, object, name, default)

    def lookupAll(self, required, provided):
        self._verify()
        return LookupBase.lookupAll(self, required, provided)

    def subscriptions(self, required, provided):
        self._verify()
        return LookupBase.subscriptions(self, required, provided)
