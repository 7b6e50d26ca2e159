// SpecificationBase: storage for a specification's attributes and the
// implication test on its `_implied` dictionary.
#pragma once

#include "specification_type.hpp"

namespace trel {

// Subtypes (ClassProvidesBase, InterfaceBase) begin with these fields in this
// order; their clearing releases their own fields, then these through
// specification_clear.
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

inline SpecificationObject* as_specification(PyObject* ob) noexcept {
    return reinterpret_cast<SpecificationObject*>(ob);
}

// Whether `key` is a key of spec's `_implied`: 1 or 0. Only presence counts;
// a key whose hashing or comparison fails is absent, and an `_implied` that
// is not a dict implies nothing. -1 with AttributeError when `_implied` is
// unset. May run Python code (the key's __hash__ and __eq__).
int specification_implies(PyObject* spec, PyObject* key) noexcept;

// Releases the six attribute fields, each unset before its reference drops.
int specification_clear(PyObject* self) noexcept;
// Visits the six attribute fields.
int specification_traverse(PyObject* self, visitproc visit, void* arg) noexcept;

// The deallocation of every specification type, `dealloc` being the type's
// own and `clear` its clearing: stop tracking; then, inside the trashcan,
// drop the weak references, clear the fields and free through the actual
// type. A chain of specifications linked through their fields (an interface
// named by another, and so on) would otherwise be released recursively and
// overflow the C stack; the trashcan defers the deep links.
template <destructor dealloc, inquiry clear> void specification_dealloc_as(PyObject* self) noexcept {
    PyObject_GC_UnTrack(self);
    Py_TRASHCAN_BEGIN(self, dealloc)
        if (as_specification(self)->weak_references) {
            PyObject_ClearWeakRefs(self);
        }
        clear(self);
        Py_TYPE(self)->tp_free(self);
    Py_TRASHCAN_END
}

} // namespace trel
