#include "specification_base.hpp"

#include "../common/module_state.hpp"
#include "../resolution/resolution.hpp"

#include <cstddef>

namespace trel {

int specification_implies(PyObject* spec, PyObject* key) noexcept {
    PyObject* implied = as_specification(spec)->implied;
    if (!implied) {
        missing_attribute(spec, "_implied");
        return -1;
    }
    if (!PyDict_Check(implied)) {
        return 0;
    }
    // The key's __hash__ or __eq__ may rebind or delete `_implied`; the
    // probe must not see its dict freed underneath it.
    Ref held = Ref::borrow(implied);
    if (dict_find_quietly(held.get(), key)) {
        return 1;
    }
    return PyErr_Occurred() ? -1 : 0;
}

int specification_clear(PyObject* self) noexcept {
    SpecificationObject* spec = as_specification(self);
    clear_field(spec->implied);
    clear_field(spec->dependents);
    clear_field(spec->bases);
    clear_field(spec->v_attrs);
    clear_field(spec->iro);
    clear_field(spec->sro);
    return 0;
}

int specification_traverse(PyObject* self, visitproc visit, void* arg) noexcept {
    SpecificationObject* spec = as_specification(self);
    Py_VISIT(spec->implied);
    Py_VISIT(spec->dependents);
    Py_VISIT(spec->bases);
    Py_VISIT(spec->v_attrs);
    Py_VISIT(spec->iro);
    Py_VISIT(spec->sro);
    return 0;
}

namespace {

PyObject* answer(int implied) noexcept {
    if (implied < 0) {
        return nullptr;
    }
    return new_bool(implied != 0);
}

void specification_dealloc(PyObject* self) {
    specification_dealloc_as<specification_dealloc, specification_clear>(self);
}

// Keywords are accepted and ignored.
PyObject* specification_call(PyObject* self, PyObject* args, PyObject* /*kwargs*/) {
    PyObject* other = nullptr;
    if (PyTuple_GET_SIZE(args) == 1) [[likely]] {
        other = PyTuple_GET_ITEM(args, 0);
    } else if (!PyArg_ParseTuple(args, "O", &other)) { // words the count error
        return nullptr;
    }
    return answer(specification_implies(self, other));
}

PyObject* specification_is_or_extends(PyObject* self, PyObject* other) {
    return answer(specification_implies(self, other));
}

// Resolves `resolved`'s specification, then asks whether it implies self: a
// SpecificationBase through its `_implied` (never calling it), anything else
// by calling it with self and passing its answer on unchanged.
PyObject* implied_by_resolved(PyObject* self, Ref resolved) {
    if (!resolved) {
        return nullptr;
    }
    if (is_specification(resolved.get())) {
        return answer(specification_implies(resolved.get(), self));
    }
    return PyObject_CallOneArg(resolved.get(), self);
}

PyObject* specification_provided_by(PyObject* self, PyObject* ob) {
    return implied_by_resolved(self, Ref::steal(provided_by(ob)));
}

PyObject* specification_implemented_by(PyObject* self, PyObject* cls) {
    return implied_by_resolved(self, Ref::steal(implemented_by(cls)));
}

PyMethodDef specification_methods[] = {
    {"providedBy", specification_provided_by, METH_O,
     "Test whether an interface is implemented by the "
     "specification"},
    {"implementedBy", specification_implemented_by, METH_O,
     "Test whether the specification is implemented by a class or factory.\n"
     "Raise TypeError if argument is neither a class nor a callable."},
    {"isOrExtends", specification_is_or_extends, METH_O,
     "Test whether a specification is or extends another"},
    {nullptr, nullptr, 0, nullptr},
};

PyMemberDef specification_members[] = {
    {"_implied", Py_T_OBJECT_EX, offsetof(SpecificationObject, implied), 0, ""},
    {"_dependents", Py_T_OBJECT_EX, offsetof(SpecificationObject, dependents), 0, ""},
    {"_bases", Py_T_OBJECT_EX, offsetof(SpecificationObject, bases), 0, ""},
    {"_v_attrs", Py_T_OBJECT_EX, offsetof(SpecificationObject, v_attrs), 0, ""},
    {"__iro__", Py_T_OBJECT_EX, offsetof(SpecificationObject, iro), 0, ""},
    {"__sro__", Py_T_OBJECT_EX, offsetof(SpecificationObject, sro), 0, ""},
    {nullptr, 0, 0, 0, nullptr},
};

} // namespace

// The header macro ends in a comma of its own, which the formatter misreads.
// clang-format off
PyTypeObject SpecificationBaseType = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0)
    .tp_name = "_interface_coptimizations.SpecificationBase",
    .tp_basicsize = sizeof(SpecificationObject),
    .tp_dealloc = specification_dealloc,
    .tp_call = specification_call,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC,
    .tp_doc = "Base type for Specification objects",
    .tp_traverse = specification_traverse,
    .tp_clear = specification_clear,
    .tp_weaklistoffset = offsetof(SpecificationObject, weak_references),
    .tp_methods = specification_methods,
    .tp_members = specification_members,
};
// clang-format on

} // namespace trel
