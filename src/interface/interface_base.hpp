// InterfaceBase: a specification with a name and a module, whose identity
// for hashing and ordering is that pair, and whose call adapts objects.
#pragma once

#include "../specification/specification_base.hpp"

namespace trel {

struct InterfaceObject {
    SpecificationObject specification;
    PyObject* name;
    PyObject* module;
    // 0 until the first successful hashing; never reset afterwards.
    Py_hash_t hash_cache;
};

extern PyTypeObject InterfaceBaseType;

inline InterfaceObject* as_interface(PyObject* ob) noexcept { return reinterpret_cast<InterfaceObject*>(ob); }

inline bool is_interface(PyObject* ob) noexcept {
    return Py_IS_TYPE(ob, &InterfaceBaseType) || PyType_IsSubtype(Py_TYPE(ob), &InterfaceBaseType);
}

// Calling an interface: the object itself, an adapter, the alternate, or
// TypeError "Could not adapt". Runs Python code at almost every step.
PyObject* interface_call(PyObject* self, PyObject* args, PyObject* kwargs) noexcept;

// The built-in adaptation: obj if it provides the interface, else the first
// adapter hook's answer that is not None, else None. Runs Python code.
PyObject* default_adapt(PyObject* self, PyObject* obj) noexcept;

} // namespace trel
