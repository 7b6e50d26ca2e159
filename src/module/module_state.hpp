// The process-wide state of the module and the declarations bridge.
//
// Everything here is created once (names and hooks at initialisation, the
// bridge at the first load that completes) and lives as long as the runtime
// that made it: plain pointers, never released, never visited by the
// collector. A static Ref would be released by C++ at exit, after the
// interpreter is gone. The objects belong to the one interpreter that
// imported the module first; no other interpreter is given the module, and
// the runtime's finalisation forgets them all (see module.cpp).
#pragma once

#include "../common/ref.hpp"

namespace trel {

// One string per attribute name the module fetches or looks up, so no hot
// path builds a string.
struct Names {
    PyObject* dict;                   // "__dict__"
    PyObject* implemented;            // "__implemented__"
    PyObject* provides;               // "__provides__"
    PyObject* class_;                 // "__class__"
    PyObject* provided_by;            // "__providedBy__"
    PyObject* extends;                // "extends"
    PyObject* conform;                // "__conform__"
    PyObject* call_conform;           // "_call_conform"
    PyObject* uncached_lookup;        // "_uncached_lookup"
    PyObject* uncached_lookup_all;    // "_uncached_lookupAll"
    PyObject* uncached_subscriptions; // "_uncached_subscriptions"
    PyObject* registry;               // "_registry"
    PyObject* generation;             // "_generation"
    PyObject* ro;                     // "ro"
    PyObject* changed;                // "changed"
    PyObject* self;                   // "__self__"
    PyObject* adapt;                  // "__adapt__"
    PyObject* call_custom_adapt;      // "_CALL_CUSTOM_ADAPT"
};

// The four values taken from "trel.interface.declarations". They are read
// only while `loaded` is set.
struct DeclarationsBridge {
    bool loaded;
    PyObject* builtin_implementation_specifications;
    PyObject* empty;
    PyObject* implemented_by_fallback;
    PyObject* implements;
};

struct ModuleState {
    Names names;
    // object's own "__class__" descriptor: a type whose lookup finds it
    // reports type(ob) as every instance's class.
    PyObject* object_class_descriptor;
    // The list adaptation reads its hooks from. Rebinding the module
    // attribute does not change it; this reference keeps it alive.
    PyObject* adapter_hooks;
    DeclarationsBridge declarations;
};

extern ModuleState module_state;

// Imports the declarations module and fills the bridge. 0 on success, -1
// with an exception set (nothing kept, so the next need tries again).
// Runs Python code: the import, and attribute lookups on the module.
int load_declarations() noexcept;

// type(ob) when ob.__class__ cannot be anything else (generic attribute
// access finds object's own descriptor, which instance dicts cannot shadow),
// so the fetch can be skipped; NULL when the attribute must be fetched.
inline PyTypeObject* plain_class_of(PyObject* ob) noexcept {
    PyTypeObject* type = Py_TYPE(ob);
    if (type->tp_getattro != PyObject_GenericGetAttr) {
        return nullptr;
    }
    PyObject* standard = module_state.object_class_descriptor;
    if (!standard) {
        return nullptr;
    }
    // Compared by identity only. The MRO walk can run Python code only for
    // a non-string key in a class namespace whose hash collides with the
    // name's; type(ob) is read again afterwards in case that code changed it.
    PyObject* found = trel_type_lookup(type, module_state.names.class_);
    return found == standard && Py_TYPE(ob) == type ? type : nullptr;
}

// The check every resolution does before it reads a bridge value.
inline int ensure_declarations() noexcept {
    return module_state.declarations.loaded ? 0 : load_declarations();
}

} // namespace trel
