// SpecificationBase: storage for a specification's attributes and the
// implication test on its `_implied` dictionary.
#pragma once

#include "../common/ref.hpp"

namespace trel {

// Subtypes (ClassProvidesBase, InterfaceBase) begin with these fields in this
// order and rely on specification_clear and specification_dealloc_finish to
// release them.
struct SpecificationObject {
    PyObject ob_base; // what PyObject_HEAD declares
    PyObject* weak_references;
    PyObject* implied; // dict whose keys are the specifications this one implies
    PyObject* dependents;
    PyObject* bases;
    PyObject* v_attrs;
    PyObject* iro;
    PyObject* sro;
};

extern PyTypeObject SpecificationBaseType;

inline SpecificationObject* as_specification(PyObject* ob) noexcept {
    return reinterpret_cast<SpecificationObject*>(ob);
}

// The type test (identity first, then subtype); never fails. Unlike
// isinstance it ignores a spoofed "__class__".
inline bool is_specification(PyObject* ob) noexcept {
    return Py_IS_TYPE(ob, &SpecificationBaseType) || PyType_IsSubtype(Py_TYPE(ob), &SpecificationBaseType);
}

// Whether `key` is a key of spec's `_implied`: 1 or 0. Only presence counts;
// a key whose hashing or comparison fails is absent, and an `_implied` that
// is not a dict implies nothing. -1 with AttributeError when `_implied` is
// unset. May run Python code (the key's __hash__ and __eq__).
int specification_implies(PyObject* spec, PyObject* key) noexcept;

// Releases the six attribute fields, each unset before its reference drops.
int specification_clear(PyObject* self) noexcept;
// The last steps of every specification type's deallocation: weak
// references, the base fields, then the actual type's free.
void specification_dealloc_finish(PyObject* self) noexcept;
// Visits the six attribute fields.
int specification_traverse(PyObject* self, visitproc visit, void* arg) noexcept;

} // namespace trel
