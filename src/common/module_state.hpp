// What every part of the module reads: the attribute names it fetches and
// the adapter hooks list.
//
// Both are created at initialisation and live as long as the runtime that
// made them: plain pointers, never released, never visited by the
// collector. A static Ref would be released by C++ at exit, after the
// interpreter is gone. The objects belong to the one interpreter that
// imported the module first; no other interpreter is given the module, and
// the runtime's finalisation forgets them all (see module/module.cpp).
#pragma once

#include "ref.hpp"

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
    PyObject* name;                   // "__name__"
    PyObject* module;                 // "__module__"
};

struct ModuleState {
    Names names;
    // The list adaptation reads its hooks from. Rebinding the module
    // attribute does not change it; this reference keeps it alive.
    PyObject* adapter_hooks;
};

extern ModuleState module_state;

// Creates the names, in the order of their fields, then the empty hooks
// list. 0, or -1 with an exception set; what was made before a failure
// stays, and a later call makes everything again.
int create_module_state() noexcept;

// AttributeError for an unset field, worded as a failed member read:
// "'T' object has no attribute 'name'". Always NULL, for returning.
PyObject* missing_attribute(PyObject* self, const char* name) noexcept;

} // namespace trel
