// Reading the arguments of a query method: two required arguments, then up
// to two optional ones (a name and a default, in the registries' queries).
#pragma once

#include "ref.hpp"

namespace trel {

// A query's arguments; optional ones not given stay NULL.
struct QueryArguments {
    PyObject* first;
    PyObject* second;
    PyObject* name;
    PyObject* default_;
};

// For METH_FASTCALL | METH_KEYWORDS methods: plain positional calls within
// the accepted counts are taken as they come; every other shape goes
// through PyArg_ParseTupleAndKeywords with the method's format and
// keywords, so its errors are the parser's own (naming the method when the
// format carries its name). 0, or -1 with an exception set.
int parse_query(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, const char* format,
                char* const* keywords, Py_ssize_t max_positional, QueryArguments& out) noexcept;

// A METH_FASTCALL (with or without METH_KEYWORDS) function as a method
// table's PyCFunction; the intermediate cast keeps the compiler from
// warning about the differing signature.
template <typename Function> PyCFunction as_method(Function* function) noexcept {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

} // namespace trel
