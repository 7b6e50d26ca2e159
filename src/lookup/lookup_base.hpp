// LookupBase: registry queries answered from per-instance caches of nested
// dicts, with misses computed by the subclass's `_uncached_*` methods.
#pragma once

#include "../common/ref.hpp"

namespace trel {

// VerifyingBase begins with these fields in this order; its own clearing
// and traversal take them first.
struct LookupObject {
    PyObject ob_base; // what PyObject_HEAD declares
    // provided -> {required key -> result, name -> {required key -> result}}
    PyObject* lookup_cache;
    // provided -> {required tuple -> result}
    PyObject* lookup_cache_all;
    PyObject* lookup_cache_subscriptions;
};

extern PyTypeObject LookupBaseType;

inline LookupObject* as_lookup(PyObject* ob) noexcept { return reinterpret_cast<LookupObject*>(ob); }

// Drops the three caches, each unset before its dict is released.
void lookup_clear_caches(PyObject* self) noexcept;
// Visits the caches that are present, in field order.
int lookup_traverse(PyObject* self, visitproc visit, void* arg) noexcept;

} // namespace trel
