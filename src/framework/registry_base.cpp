#include "registry_base.hpp"

#include "../common/query_arguments.hpp"

#include <cstddef>
#include <iterator>

namespace trel::framework {

FrameworkState framework_state = {};

namespace {

inline RegistryObject* as_registry(PyObject* ob) noexcept { return reinterpret_cast<RegistryObject*>(ob); }

// The arguments of a query over several objects; optional ones not given
// stay NULL. `objects` is held as a tuple for the whole query: calls into
// Python code may change a list that was passed.
struct MultiQuery {
    Ref objects;
    PyObject* provided = nullptr;
    PyObject* name = nullptr;
    PyObject* default_ = nullptr;
};

// What the registry's Python validation would accept without a word, known
// without running it: a list or tuple of objects, a specification (or None
// for handlers) and a str name ("" when none was given). Anything else goes
// to `_check_query`, which raises the error that names the argument (or lets
// odd but valid input on).
int check_query(PyObject* self, PyObject* objects, PyObject* provided, PyObject* name,
                bool handler) noexcept {
    const FrameworkState& state = framework_state;
    const bool plain =
        (PyTuple_Check(objects) || PyList_Check(objects)) &&
        (PyObject_TypeCheck(provided, reinterpret_cast<PyTypeObject*>(state.specification_base)) ||
         (handler && provided == Py_None)) &&
        PyUnicode_Check(name);
    if (plain) [[likely]] {
        return 0;
    }
    PyObject* args[] = {self, objects, provided, name, handler ? Py_True : Py_False};
    Ref checked = Ref::steal(PyObject_VectorcallMethod(
        state.check_query, args, std::size(args) | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
    return checked ? 0 : -1;
}

// What each object provides, as the core resolves it, in a tuple. The
// answers are gathered in a list, which is valid at every step, and the
// tuple is made only when all are in: code run by a resolution could
// otherwise reach a tuple with empty slots (through the collector).
Ref resolve_all(PyObject* objects) noexcept {
    const Py_ssize_t count = PyTuple_GET_SIZE(objects);
    Ref specifications = Ref::steal(PyList_New(0));
    if (!specifications) {
        return {};
    }
    for (Py_ssize_t i = 0; i < count; ++i) {
        Ref spec = Ref::steal(PyObject_CallOneArg(framework_state.provided_by, PyTuple_GET_ITEM(objects, i)));
        if (!spec || PyList_Append(specifications.get(), spec.get()) < 0) {
            return {};
        }
    }
    return Ref::steal(PyList_AsTuple(specifications.get()));
}

// Calls `function` with the objects as its positional arguments.
Ref call_with(PyObject* function, PyObject* objects) noexcept {
    return Ref::steal(PyObject_Vectorcall(function, &PyTuple_GET_ITEM(objects, 0),
                                          static_cast<size_t>(PyTuple_GET_SIZE(objects)), nullptr));
}

// The lookup held across the query: code run by it may rebind `_v_lookup`.
Ref held_lookup(PyObject* self) noexcept {
    PyObject* lookup = as_registry(self)->lookup;
    if (!lookup) {
        PyErr_Format(PyExc_AttributeError, "'%.200s' object has no attribute '_v_lookup'",
                     Py_TYPE(self)->tp_name);
    }
    return Ref::borrow(lookup);
}

// What a query over several objects works with once its arguments are read
// and checked: the objects as a tuple, the lookup and what each object
// provides, all held for the whole query.
struct Prepared {
    MultiQuery query;
    Ref lookup;
    Ref specifications;
};

// The query's arguments, with the objects held.
int parse(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, const char* format,
          char* const* keywords, Py_ssize_t max_positional, MultiQuery& out) noexcept {
    QueryArguments parsed{};
    if (parse_query(args, nargs, kwnames, format, keywords, max_positional, parsed) < 0) {
        return -1;
    }
    out.objects = Ref::borrow(parsed.first);
    out.provided = parsed.second;
    out.name = parsed.name;
    out.default_ = parsed.default_;
    return 0;
}

// Once the arguments are checked: the objects as a tuple (a list is copied).
int objects_as_tuple(MultiQuery& query) noexcept {
    if (!PyTuple_CheckExact(query.objects.get())) {
        query.objects = Ref::steal(PySequence_Tuple(query.objects.get()));
        if (!query.objects) {
            return -1;
        }
    }
    return 0;
}

// Reads, checks and resolves; 0, or -1 with an exception set.
int prepare(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, const char* format,
            char** keywords, Py_ssize_t max_positional, bool handler, Prepared& out) noexcept {
    MultiQuery& query = out.query;
    if (parse(args, nargs, kwnames, format, keywords, max_positional, query) < 0 ||
        check_query(self, query.objects.get(), query.provided,
                    query.name ? query.name : framework_state.empty, handler) < 0 ||
        objects_as_tuple(query) < 0) {
        return -1;
    }
    out.lookup = held_lookup(self);
    if (!out.lookup) {
        return -1;
    }
    out.specifications = resolve_all(query.objects.get());
    return out.specifications ? 0 : -1;
}

char* query_keywords[] = {const_cast<char*>("objects"), const_cast<char*>("provided"),
                          const_cast<char*>("name"), const_cast<char*>("default"), nullptr};
char* subscribers_keywords[] = {const_cast<char*>("objects"), const_cast<char*>("provided"), nullptr};

PyObject* query_multi_adapter(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    Prepared prepared;
    if (prepare(self, args, nargs, kwnames, "OO|OO:queryMultiAdapter", query_keywords, 4, false, prepared) <
        0) {
        return nullptr;
    }
    const MultiQuery& query = prepared.query;
    PyObject* name = query.name ? query.name : framework_state.empty;
    PyObject* lookup_args[] = {prepared.lookup.get(), prepared.specifications.get(), query.provided, name};
    Ref factory = Ref::steal(
        PyObject_VectorcallMethod(framework_state.lookup, lookup_args,
                                  std::size(lookup_args) | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
    if (!factory) {
        return nullptr;
    }
    PyObject* default_ = query.default_ ? query.default_ : Py_None;
    if (factory.get() == Py_None) {
        return Py_NewRef(default_);
    }
    Ref adapted = call_with(factory.get(), query.objects.get());
    if (!adapted) {
        return nullptr;
    }
    return adapted.get() == Py_None ? Py_NewRef(default_) : adapted.release();
}

PyObject* subscribers(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    Prepared prepared;
    if (prepare(self, args, nargs, kwnames, "OO:subscribers", subscribers_keywords, 2, true, prepared) < 0) {
        return nullptr;
    }
    const MultiQuery& query = prepared.query;
    PyObject* lookup_args[] = {prepared.lookup.get(), prepared.specifications.get(), query.provided};
    Ref found = Ref::steal(PyObject_VectorcallMethod(framework_state.subscriptions, lookup_args,
                                                     std::size(lookup_args) | PY_VECTORCALL_ARGUMENTS_OFFSET,
                                                     nullptr));
    if (!found) {
        return nullptr;
    }
    // Held as a tuple: the subscribers called may change the registry.
    Ref subscriptions = Ref::steal(PySequence_Tuple(found.get()));
    if (!subscriptions) {
        return nullptr;
    }
    const bool handlers = query.provided == Py_None;
    Ref results = handlers ? Ref() : Ref::steal(PyList_New(0));
    if (!handlers && !results) {
        return nullptr;
    }
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(subscriptions.get()); ++i) {
        Ref result = call_with(PyTuple_GET_ITEM(subscriptions.get(), i), query.objects.get());
        if (!result) {
            return nullptr;
        }
        if (!handlers && result.get() != Py_None && PyList_Append(results.get(), result.get()) < 0) {
            return nullptr;
        }
    }
    return handlers ? PyTuple_New(0) : results.release();
}

int registry_clear(PyObject* self) {
    clear_field(as_registry(self)->lookup);
    return 0;
}

int registry_traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(as_registry(self)->lookup);
    return 0;
}

void registry_dealloc(PyObject* self) {
    PyObject_GC_UnTrack(self);
    registry_clear(self);
    Py_TYPE(self)->tp_free(self);
}

PyMethodDef registry_methods[] = {
    {"queryMultiAdapter", as_method(query_multi_adapter), METH_FASTCALL | METH_KEYWORDS,
     "Adapt several objects at once with an adapter registered for what each of them provides."},
    {"subscribers", as_method(subscribers), METH_FASTCALL | METH_KEYWORDS,
     "Call every subscriber for what the objects provide; the results that are not None (none, for "
     "handlers)."},
    {nullptr, nullptr, 0, nullptr},
};

PyMemberDef registry_members[] = {
    {"_v_lookup", Py_T_OBJECT_EX, offsetof(RegistryObject, lookup), 0, "The registry's cached lookup."},
    {nullptr, 0, 0, 0, nullptr},
};

} // namespace

// The header macro ends in a comma of its own, which the formatter misreads.
// clang-format off
PyTypeObject RegistryBaseType = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0)
    .tp_name = "_trel_interface_speedups.RegistryBase",
    .tp_basicsize = sizeof(RegistryObject),
    .tp_dealloc = registry_dealloc,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC,
    .tp_doc = "The adapter registry's queries over several objects.",
    .tp_traverse = registry_traverse,
    .tp_clear = registry_clear,
    .tp_methods = registry_methods,
    .tp_members = registry_members,
};
// clang-format on

} // namespace trel::framework
