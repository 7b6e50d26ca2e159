#include "query_arguments.hpp"

namespace trel {

namespace {

// The general path: the parser words every argument error, naming the
// method when the format carries its name.
[[gnu::noinline]] int parse_query_general(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                                          const char* format, char* const* keywords,
                                          QueryArguments& out) noexcept {
    Ref positional = Ref::steal(PyTuple_New(nargs));
    if (!positional) {
        return -1;
    }
    for (Py_ssize_t i = 0; i < nargs; ++i) {
        PyTuple_SET_ITEM(positional.get(), i, Py_NewRef(args[i]));
    }
    Ref keyword_values;
    if (kwnames) {
        keyword_values = Ref::steal(PyDict_New());
        if (!keyword_values) {
            return -1;
        }
        for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(kwnames); ++i) {
            if (PyDict_SetItem(keyword_values.get(), PyTuple_GET_ITEM(kwnames, i), args[nargs + i]) < 0) {
                return -1;
            }
        }
    }
    // The parsed values stay alive after the containers go: the caller's
    // argument array holds them for the whole call.
    if (!PyArg_ParseTupleAndKeywords(positional.get(), keyword_values.get(), format,
                                     const_cast<char**>(keywords), &out.first, &out.second, &out.name,
                                     &out.default_)) {
        return -1;
    }
    return 0;
}

} // namespace

int parse_query(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, const char* format,
                char* const* keywords, Py_ssize_t max_positional, QueryArguments& out) noexcept {
    out = {};
    // Two required arguments, up to `max_positional` in all, no keywords:
    // the shape that the parser accepts without question.
    if ((!kwnames || PyTuple_GET_SIZE(kwnames) == 0) && nargs >= 2 && nargs <= max_positional) [[likely]] {
        out.first = args[0];
        out.second = args[1];
        if (nargs > 2) {
            out.name = args[2];
        }
        if (nargs > 3) {
            out.default_ = args[3];
        }
        return 0;
    }
    return parse_query_general(args, nargs, kwnames, format, keywords, out);
}

} // namespace trel
