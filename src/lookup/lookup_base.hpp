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
    PyObject* lookup_all_cache;
    PyObject* subscriptions_cache;
};

extern PyTypeObject LookupBaseType;

inline LookupObject* as_lookup(PyObject* ob) noexcept { return reinterpret_cast<LookupObject*>(ob); }

// The cached routines shared by LookupBase's and VerifyingBase's methods.
// `name` and `default_` are NULL when not given. Each returns a new
// reference, or NULL with an exception set. All of them run Python code
// (key hashing and comparison, the uncached methods, providedBy, factories),
// which may call `changed` on `self`.
PyObject* cached_lookup(PyObject* self, PyObject* required, PyObject* provided, PyObject* name,
                        PyObject* default_) noexcept;
PyObject* cached_lookup1(PyObject* self, PyObject* required, PyObject* provided, PyObject* name,
                         PyObject* default_) noexcept;
PyObject* cached_adapter_hook(PyObject* self, PyObject* provided, PyObject* object, PyObject* name,
                              PyObject* default_) noexcept;
PyObject* cached_lookup_all(PyObject* self, PyObject* required, PyObject* provided) noexcept;
PyObject* cached_subscriptions(PyObject* self, PyObject* required, PyObject* provided) noexcept;

// Drops the three caches, each unset before its dict is released.
void lookup_clear_caches(PyObject* self) noexcept;
// Visits the caches that are present, in field order.
int lookup_traverse(PyObject* self, visitproc visit, void* arg) noexcept;

// Argument parsing shared by both types' query methods. The methods take
// METH_FASTCALL | METH_KEYWORDS: plain positional calls within the accepted
// counts are taken as they come; every other shape goes through
// PyArg_ParseTupleAndKeywords with the method's format and keywords, so its
// errors are the parser's own. Optional arguments not given stay NULL.
struct QueryArguments {
    PyObject* first;
    PyObject* second;
    PyObject* name;
    PyObject* default_;
};

// The keyword lists of the query methods: lookup and lookup1; lookupAll and
// subscriptions; queryAdapter; adapter_hook.
extern char* required_keywords[];
extern char* collection_keywords[];
extern char* query_adapter_keywords[];
extern char* adapter_hook_keywords[];

int parse_query(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, const char* format,
                char* const* keywords, Py_ssize_t max_positional, QueryArguments& out) noexcept;

// One query method: how it reads its arguments (its format names the
// method on LookupBase and nothing on VerifyingBase) and the cached routine
// that answers it.
struct QueryMethod {
    const char* format;
    char* const* keywords;
    Py_ssize_t max_positional;
    PyObject* (*answer)(PyObject* self, const QueryArguments& arguments) noexcept;
};

// The six queries' answers from parsed arguments.
PyObject* answer_lookup(PyObject* self, const QueryArguments& a) noexcept;
PyObject* answer_lookup1(PyObject* self, const QueryArguments& a) noexcept;
PyObject* answer_query_adapter(PyObject* self, const QueryArguments& a) noexcept;
PyObject* answer_adapter_hook(PyObject* self, const QueryArguments& a) noexcept;
PyObject* answer_lookup_all(PyObject* self, const QueryArguments& a) noexcept;
PyObject* answer_subscriptions(PyObject* self, const QueryArguments& a) noexcept;

inline int unchecked(PyObject* /*self*/) noexcept { return 0; }

// The body of every query method: parse; then `check`, which an argument
// error never reaches; then answer.
template <const QueryMethod& method, int (*check)(PyObject*) noexcept = unchecked>
PyObject* query_method(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    QueryArguments a{};
    if (parse_query(args, nargs, kwnames, method.format, method.keywords, method.max_positional, a) < 0 ||
        check(self) < 0) {
        return nullptr;
    }
    return method.answer(self, a);
}

template <typename Function> PyCFunction as_fastcall_keywords(Function function) noexcept {
    PyObject* (*typed)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*) = function;
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(typed));
}

} // namespace trel
