#include "lookup_base.hpp"

#include "query_methods.hpp"

#include "../common/module_state.hpp"
#include "../resolution/resolution.hpp"

namespace trel {

// Reentrancy. Hashing and comparing keys, the uncached methods, providedBy,
// factories and attribute reads all run Python code, and that code may call
// `changed` on the same instance, which detaches the caches and may free
// them. So every routine holds a strong reference to each dict it walks or
// stores into, and reads the cache fields afresh on each entry instead of
// keeping them across such calls. A value computed while `changed` ran goes
// into the detached dict it was computed for and is lost with it; the next
// query computes it again from the state that `changed` announced.

namespace {

// The cache dict held in `slot`, created empty when absent; a new reference.
Ref cache_dict(PyObject*& slot) noexcept {
    if (!slot) {
        slot = PyDict_New();
        if (!slot) {
            return {};
        }
    }
    return Ref::borrow(slot);
}

// Fetch-or-create of the nested dict under `key`; a new reference. The
// caller holds `parent`. A key that fails to hash or compare reads as a
// miss, and the store then reports the error (TypeError for an unhashable
// key). Runs Python code (the key's __hash__ and __eq__).
Ref cache_level(PyObject* parent, PyObject* key) noexcept {
    PyObject* found = dict_find_quietly(parent, key);
    if (found) {
        return Ref::borrow(found);
    }
    if (PyErr_Occurred()) {
        return {};
    }
    Ref level = Ref::steal(PyDict_New());
    if (!level || PyDict_SetItem(parent, key, level.get()) < 0) {
        return {};
    }
    return level;
}

int validate_name(PyObject* name) noexcept {
    if (name && !PyUnicode_Check(name)) {
        PyErr_SetString(PyExc_ValueError, "name is not a string or unicode");
        return -1;
    }
    return 0;
}

// The dict of `lookup_cache` that holds the required keys for `provided`
// and `name`: the per-provided dict, or its per-name dict when a name was
// given and is true. An empty name shares the entries of no name. Runs
// Python code (hashing, a str subclass's truth test).
Ref lookup_leaf(PyObject* self, PyObject* provided, PyObject* name) noexcept {
    Ref cache = cache_dict(as_lookup(self)->lookup_cache);
    if (!cache) {
        return {};
    }
    Ref leaf = cache_level(cache.get(), provided);
    if (!leaf || !name) {
        return leaf;
    }
    int named = PyObject_IsTrue(name);
    if (named < 0) {
        return {};
    }
    if (named) {
        leaf = cache_level(leaf.get(), name);
    }
    return leaf;
}

// A stored None gives way to a default that was given.
PyObject* with_default(PyObject* result, PyObject* default_) noexcept {
    return Py_NewRef(result == Py_None && default_ ? default_ : result);
}

// Calls self.<method>(required, provided[, name]) by name, so overrides,
// instance attributes and __getattr__ apply. Runs Python code.
Ref call_uncached(PyObject* self, PyObject* method, PyObject* required, PyObject* provided,
                  PyObject* name) noexcept {
    PyObject* args[] = {self, required, provided, name};
    size_t count = name ? 4 : 3;
    return Ref::steal(PyObject_VectorcallMethod(method, args, count, nullptr));
}

// lookupAll and subscriptions: one routine over two caches, keyed by the
// whole required tuple, no name level.
PyObject* cached_collection(PyObject* self, PyObject* LookupObject::*field, PyObject* method,
                            PyObject* required, PyObject* provided) noexcept {
    Ref key = Ref::steal(PySequence_Tuple(required));
    if (!key) {
        return nullptr;
    }
    Ref cache = cache_dict(as_lookup(self)->*field);
    if (!cache) {
        return nullptr;
    }
    Ref leaf = cache_level(cache.get(), provided);
    if (!leaf) {
        return nullptr;
    }
    PyObject* found = dict_find_quietly(leaf.get(), key.get());
    if (found) {
        return Py_NewRef(found);
    }
    if (PyErr_Occurred()) {
        return nullptr;
    }
    Ref result = call_uncached(self, method, key.get(), provided, nullptr);
    if (!result || PyDict_SetItem(leaf.get(), key.get(), result.get()) < 0) {
        return nullptr;
    }
    return result.release();
}

// The cached routines behind the query methods. `name` and `default_` are
// NULL when not given. Each returns a new reference, or NULL with an
// exception set. All of them run Python code (key hashing and comparison,
// the uncached methods, providedBy, factories), which may call `changed` on
// `self`.
PyObject* cached_lookup(PyObject* self, PyObject* required, PyObject* provided, PyObject* name,
                        PyObject* default_) noexcept {
    if (validate_name(name) < 0) {
        return nullptr;
    }
    Ref tuple = Ref::steal(PySequence_Tuple(required));
    if (!tuple) {
        return nullptr;
    }
    Ref leaf = lookup_leaf(self, provided, name);
    if (!leaf) {
        return nullptr;
    }
    // A single required element is its own key, so lookup1 shares the entry.
    PyObject* key = PyTuple_GET_SIZE(tuple.get()) == 1 ? PyTuple_GET_ITEM(tuple.get(), 0) : tuple.get();
    PyObject* found = dict_find_quietly(leaf.get(), key);
    if (found) {
        return with_default(found, default_);
    }
    if (PyErr_Occurred()) {
        return nullptr;
    }
    Ref result = call_uncached(self, module_state.names.uncached_lookup, tuple.get(), provided, name);
    if (!result || PyDict_SetItem(leaf.get(), key, result.get()) < 0) {
        return nullptr;
    }
    return with_default(result.get(), default_);
}

PyObject* cached_lookup1(PyObject* self, PyObject* required, PyObject* provided, PyObject* name,
                         PyObject* default_) noexcept {
    if (validate_name(name) < 0) {
        return nullptr;
    }
    Ref leaf = lookup_leaf(self, provided, name);
    if (!leaf) {
        return nullptr;
    }
    PyObject* found = dict_find_quietly(leaf.get(), required);
    if (found) [[likely]] {
        return with_default(found, default_);
    }
    if (PyErr_Occurred()) {
        return nullptr;
    }
    // The miss goes through lookup's routine, which walks the caches again
    // (they may have been replaced meanwhile) and stores under `required`.
    Ref tuple = Ref::steal(PyTuple_Pack(1, required));
    if (!tuple) {
        return nullptr;
    }
    return cached_lookup(self, tuple.get(), provided, name, default_);
}

PyObject* cached_adapter_hook(PyObject* self, PyObject* provided, PyObject* object, PyObject* name,
                              PyObject* default_) noexcept {
    if (validate_name(name) < 0) {
        return nullptr;
    }
    Ref specification = Ref::steal(provided_by(object));
    if (!specification) {
        return nullptr;
    }
    Ref factory = Ref::steal(cached_lookup1(self, specification.get(), provided, name, nullptr));
    if (!factory) {
        return nullptr;
    }
    if (factory.get() != Py_None) {
        // The factory adapts the object a super object stands for.
        Ref argument = PyObject_TypeCheck(object, &PySuper_Type)
                           ? Ref::steal(PyObject_GetAttr(object, module_state.names.self))
                           : Ref::borrow(object);
        if (!argument) {
            return nullptr;
        }
        Ref adapted = Ref::steal(PyObject_CallOneArg(factory.get(), argument.get()));
        if (!adapted) {
            return nullptr;
        }
        if (adapted.get() != Py_None) {
            return adapted.release();
        }
    }
    return Py_NewRef(default_ ? default_ : Py_None);
}

PyObject* cached_lookup_all(PyObject* self, PyObject* required, PyObject* provided) noexcept {
    return cached_collection(self, &LookupObject::lookup_cache_all, module_state.names.uncached_lookup_all,
                             required, provided);
}

PyObject* cached_subscriptions(PyObject* self, PyObject* required, PyObject* provided) noexcept {
    return cached_collection(self, &LookupObject::lookup_cache_subscriptions,
                             module_state.names.uncached_subscriptions, required, provided);
}

} // namespace

void lookup_clear_caches(PyObject* self) noexcept {
    LookupObject* lookup = as_lookup(self);
    clear_field(lookup->lookup_cache);
    clear_field(lookup->lookup_cache_all);
    clear_field(lookup->lookup_cache_subscriptions);
}

int lookup_traverse(PyObject* self, visitproc visit, void* arg) noexcept {
    LookupObject* lookup = as_lookup(self);
    Py_VISIT(lookup->lookup_cache);
    Py_VISIT(lookup->lookup_cache_all);
    Py_VISIT(lookup->lookup_cache_subscriptions);
    return 0;
}

PyObject* answer_lookup(PyObject* self, const QueryArguments& a) noexcept {
    return cached_lookup(self, a.first, a.second, a.name, a.default_);
}

PyObject* answer_lookup1(PyObject* self, const QueryArguments& a) noexcept {
    return cached_lookup1(self, a.first, a.second, a.name, a.default_);
}

// queryAdapter(object, provided, ...)
PyObject* answer_query_adapter(PyObject* self, const QueryArguments& a) noexcept {
    return cached_adapter_hook(self, a.second, a.first, a.name, a.default_);
}

// adapter_hook(provided, object, ...)
PyObject* answer_adapter_hook(PyObject* self, const QueryArguments& a) noexcept {
    return cached_adapter_hook(self, a.first, a.second, a.name, a.default_);
}

PyObject* answer_lookup_all(PyObject* self, const QueryArguments& a) noexcept {
    return cached_lookup_all(self, a.first, a.second);
}

PyObject* answer_subscriptions(PyObject* self, const QueryArguments& a) noexcept {
    return cached_subscriptions(self, a.first, a.second);
}

namespace {

PyObject* lookup_changed(PyObject* self, PyObject* /*ignored*/) {
    lookup_clear_caches(self);
    Py_RETURN_NONE;
}

int lookup_clear(PyObject* self) {
    lookup_clear_caches(self);
    return 0;
}

void lookup_dealloc(PyObject* self) {
    PyObject_GC_UnTrack(self);
    lookup_clear_caches(self);
    Py_TYPE(self)->tp_free(self);
}

std::array<PyMethodDef, query_count + 2> lookup_methods = query_method_table<true, unchecked>(lookup_changed);

} // namespace

// The header macro ends in a comma of its own, which the formatter misreads.
// clang-format off
PyTypeObject LookupBaseType = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0)
    .tp_name = "_trel_interface_coptimizations.LookupBase",
    .tp_basicsize = sizeof(LookupObject),
    .tp_dealloc = lookup_dealloc,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC,
    .tp_doc = "",
    .tp_traverse = lookup_traverse,
    .tp_clear = lookup_clear,
    .tp_methods = lookup_methods.data(),
};
// clang-format on

} // namespace trel
