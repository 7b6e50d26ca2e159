#include "interface_base.hpp"

#include "../common/module_state.hpp"

#include <cstddef>

namespace trel {

namespace {

int interface_clear(PyObject* self) {
    InterfaceObject* iface = as_interface(self);
    clear_field(iface->name);
    clear_field(iface->module);
    return specification_clear(self);
}

int interface_traverse(PyObject* self, visitproc visit, void* arg) {
    InterfaceObject* iface = as_interface(self);
    Py_VISIT(iface->name);
    Py_VISIT(iface->module);
    return specification_traverse(self, visit, arg);
}

void interface_dealloc(PyObject* self) { specification_dealloc_as<interface_dealloc, interface_clear>(self); }

int interface_init(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"__name__", "__module__", nullptr};
    PyObject* name = Py_None;
    PyObject* module = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|OO:InterfaceBase.__init__", const_cast<char**>(keywords),
                                     &name, &module)) {
        return -1;
    }
    interface_clear(self);
    // The clearing may have run code that set the fields again.
    InterfaceObject* iface = as_interface(self);
    set_field(iface->module, Py_NewRef(module));
    set_field(iface->name, Py_NewRef(name));
    return 0;
}

// An interface's identity errors name just the unset field, as they always
// have (on both cores).
PyObject* unset_field_error(const char* field) {
    PyErr_SetString(PyExc_AttributeError, field);
    return nullptr;
}

Py_hash_t interface_hash(PyObject* self) {
    InterfaceObject* iface = as_interface(self);
    if (!iface->module) {
        unset_field_error("__module__");
        return -1;
    }
    if (!iface->name) {
        unset_field_error("__name__");
        return -1;
    }
    if (iface->hash_cache != 0) [[likely]] {
        return iface->hash_cache;
    }
    Ref pair = Ref::steal(PyTuple_Pack(2, iface->name, iface->module));
    if (!pair) {
        return -1;
    }
    // A name or module that contains the interface hashes it again with no
    // Python frame in between; the guard turns that into RecursionError
    // instead of a C stack overflow.
    if (Py_EnterRecursiveCall(" while hashing an interface")) {
        return -1;
    }
    Py_hash_t hash = PyObject_Hash(pair.get());
    Py_LeaveRecursiveCall();
    if (hash == -1) {
        return -1;
    }
    // 0 marks the empty cache, so a hash of 0 is recomputed every time.
    iface->hash_cache = hash;
    return hash;
}

// The name and module one side of a comparison works with, held for the
// whole comparison: the values' own comparisons may rebind or delete either
// side's fields. Either may be unset; it is an error only where needed.
struct Identity {
    Ref name;
    Ref module;
};

Identity identity_of(PyObject* iface) noexcept {
    InterfaceObject* fields = as_interface(iface);
    return {Ref::borrow(fields->name), Ref::borrow(fields->module)};
}

// Orders by name, then by module.
PyObject* compare_by_name_then_module(const Identity& left, const Identity& right, int op) {
    if (!left.name || !right.name) {
        return unset_field_error("__name__");
    }
    int equal = PyObject_RichCompareBool(left.name.get(), right.name.get(), Py_EQ);
    if (equal < 0) {
        return nullptr;
    }
    int result = 0;
    if (equal) {
        if (!left.module || !right.module) {
            return unset_field_error("__module__");
        }
        result = PyObject_RichCompareBool(left.module.get(), right.module.get(), op);
    } else {
        result = PyObject_RichCompareBool(left.name.get(), right.name.get(), op);
    }
    if (result < 0) {
        return nullptr;
    }
    return new_bool(result != 0);
}

bool satisfies(int order, int op) noexcept {
    switch (op) {
    case Py_LT:
        return order < 0;
    case Py_LE:
        return order <= 0;
    case Py_EQ:
        return order == 0;
    case Py_NE:
        return order != 0;
    case Py_GT:
        return order > 0;
    default:
        return order >= 0;
    }
}

inline bool exact_strings(PyObject* a, PyObject* b) noexcept {
    return a && b && PyUnicode_CheckExact(a) && PyUnicode_CheckExact(b);
}

// The usual case, names and modules that are exact strings: one comparison
// answers both equality and order, and no Python code runs, so the fields
// need no extra references. Empty when the general rule must decide.
PyObject* compare_string_identities(PyObject* self, PyObject* other, int op) noexcept {
    InterfaceObject* left = as_interface(self);
    InterfaceObject* right = as_interface(other);
    if (!exact_strings(left->name, right->name)) {
        return nullptr;
    }
    int order = PyUnicode_Compare(left->name, right->name);
    if (order == 0) {
        if (!exact_strings(left->module, right->module)) {
            return nullptr;
        }
        order = PyUnicode_Compare(left->module, right->module);
    }
    return new_bool(satisfies(order, op));
}

PyObject* interface_richcompare(PyObject* self, PyObject* other, int op) {
    if (other == self) {
        switch (op) {
        case Py_EQ:
        case Py_LE:
        case Py_GE:
            Py_RETURN_TRUE;
        case Py_NE:
            Py_RETURN_FALSE;
        default:
            // No shortcut for < and >: the module decides against itself.
            break;
        }
    } else if (other == Py_None) {
        return new_bool(op == Py_LT || op == Py_LE || op == Py_NE);
    }
    if (other == self || Py_IS_TYPE(other, Py_TYPE(self)) || is_interface(other)) {
        if (PyObject* answer = compare_string_identities(self, other, op)) {
            return answer;
        }
        return compare_by_name_then_module(identity_of(self), identity_of(other), op);
    }
    // Anything with a __name__ and a __module__ compares by the same rule.
    Identity foreign;
    foreign.name = Ref::steal(PyObject_GetAttr(other, module_state.names.name));
    if (foreign.name) {
        foreign.module = Ref::steal(PyObject_GetAttr(other, module_state.names.module));
    }
    if (!foreign.module) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) {
            return nullptr;
        }
        PyErr_Clear();
        Py_RETURN_NOTIMPLEMENTED;
    }
    return compare_by_name_then_module(identity_of(self), foreign, op);
}

PyObject* interface_adapt(PyObject* self, PyObject* obj) { return default_adapt(self, obj); }

PyMethodDef interface_methods[] = {
    {"__adapt__", interface_adapt, METH_O, "Adapt an object to the reciever"},
    {nullptr, nullptr, 0, nullptr},
};

PyMemberDef interface_members[] = {
    {"__name__", Py_T_OBJECT_EX, offsetof(InterfaceObject, name), 0, ""},
    {"__module__", Py_T_OBJECT_EX, offsetof(InterfaceObject, module), Py_READONLY, ""},
    {"__ibmodule__", Py_T_OBJECT_EX, offsetof(InterfaceObject, module), 0, ""},
    {nullptr, 0, 0, 0, nullptr},
};

} // namespace

// The header macro ends in a comma of its own, which the formatter misreads.
// clang-format off
PyTypeObject InterfaceBaseType = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0)
    .tp_name = "_trel_interface_coptimizations.InterfaceBase",
    .tp_basicsize = sizeof(InterfaceObject),
    .tp_dealloc = interface_dealloc,
    .tp_hash = interface_hash,
    .tp_call = interface_call,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC,
    .tp_doc = "Interface base type providing __call__ and __adapt__",
    .tp_traverse = interface_traverse,
    .tp_clear = interface_clear,
    .tp_richcompare = interface_richcompare,
    .tp_weaklistoffset = offsetof(SpecificationObject, weak_references),
    .tp_methods = interface_methods,
    .tp_members = interface_members,
    .tp_base = &SpecificationBaseType,
    .tp_init = interface_init,
};
// clang-format on

} // namespace trel
