// The six registry queries that LookupBase and VerifyingBase answer: one
// table (name, argument formats, keywords, positional count, the cached
// routine), from which both types' method tables are built.
#pragma once

#include "../common/query_arguments.hpp"
#include "lookup_base.hpp"

#include <array>
#include <cstddef>
#include <iterator>
#include <utility>

namespace trel {

// The queries' answers from parsed arguments.
PyObject* answer_lookup(PyObject* self, const QueryArguments& a) noexcept;
PyObject* answer_lookup1(PyObject* self, const QueryArguments& a) noexcept;
PyObject* answer_query_adapter(PyObject* self, const QueryArguments& a) noexcept;
PyObject* answer_adapter_hook(PyObject* self, const QueryArguments& a) noexcept;
PyObject* answer_lookup_all(PyObject* self, const QueryArguments& a) noexcept;
PyObject* answer_subscriptions(PyObject* self, const QueryArguments& a) noexcept;

inline char* required_keywords[] = {const_cast<char*>("required"), const_cast<char*>("provided"),
                                    const_cast<char*>("name"), const_cast<char*>("default"), nullptr};
inline char* collection_keywords[] = {const_cast<char*>("required"), const_cast<char*>("provided"), nullptr};
inline char* query_adapter_keywords[] = {const_cast<char*>("object"), const_cast<char*>("provided"),
                                         const_cast<char*>("name"), const_cast<char*>("default"), nullptr};
inline char* adapter_hook_keywords[] = {const_cast<char*>("provided"), const_cast<char*>("object"),
                                        const_cast<char*>("name"), const_cast<char*>("default"), nullptr};

struct QueryMethod {
    const char* name;
    // LookupBase's format: its argument errors name "LookupBase.<name>"
    // (subscriptions' name no method).
    const char* named_format;
    // VerifyingBase's format: its argument errors name no method.
    const char* plain_format;
    char* const* keywords;
    Py_ssize_t max_positional;
    PyObject* (*answer)(PyObject* self, const QueryArguments& arguments) noexcept;
};

inline constexpr QueryMethod query_methods[] = {
    {"lookup", "OO|OO:LookupBase.lookup", "OO|OO", required_keywords, 4, answer_lookup},
    {"lookup1", "OO|OO:LookupBase.lookup1", "OO|OO", required_keywords, 4, answer_lookup1},
    {"queryAdapter", "OO|OO:LookupBase.queryAdapter", "OO|OO", query_adapter_keywords, 4,
     answer_query_adapter},
    {"adapter_hook", "OO|OO:LookupBase.adapter_hook", "OO|OO", adapter_hook_keywords, 4, answer_adapter_hook},
    {"lookupAll", "OO:LookupBase.lookupAll", "OO", collection_keywords, 2, answer_lookup_all},
    {"subscriptions", "OO", "OO", collection_keywords, 2, answer_subscriptions},
};

inline constexpr std::size_t query_count = std::size(query_methods);

inline int unchecked(PyObject* /*self*/) noexcept { return 0; }

// The body of every query method: parse; then `check`, which an argument
// error never reaches; then answer.
template <std::size_t index, bool named_errors, int (*check)(PyObject*) noexcept>
PyObject* query_method(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    constexpr const QueryMethod& method = query_methods[index];
    constexpr const char* format = named_errors ? method.named_format : method.plain_format;
    QueryArguments a{};
    if (parse_query(args, nargs, kwnames, format, method.keywords, method.max_positional, a) < 0 ||
        check(self) < 0) {
        return nullptr;
    }
    return method.answer(self, a);
}

template <std::size_t index, bool named_errors, int (*check)(PyObject*) noexcept>
PyMethodDef query_method_def() noexcept {
    PyObject* (*typed)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*) =
        query_method<index, named_errors, check>;
    return {query_methods[index].name, as_method(typed), METH_FASTCALL | METH_KEYWORDS, ""};
}

template <bool named_errors, int (*check)(PyObject*) noexcept, std::size_t... index>
std::array<PyMethodDef, query_count + 2> query_method_table(PyCFunction changed,
                                                            std::index_sequence<index...> /*all*/) noexcept {
    return {{{"changed", changed, METH_O, ""},
             query_method_def<index, named_errors, check>()...,
             {nullptr, nullptr, 0, nullptr}}};
}

// A lookup type's method table: `changed`, the six queries in table order
// (each parsing with the format the type's errors need, then running
// `check` before it answers), and the sentinel.
template <bool named_errors, int (*check)(PyObject*) noexcept>
std::array<PyMethodDef, query_count + 2> query_method_table(PyCFunction changed) noexcept {
    return query_method_table<named_errors, check>(changed, std::make_index_sequence<query_count>{});
}

} // namespace trel
