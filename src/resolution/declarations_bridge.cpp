#include "declarations_bridge.hpp"

namespace trel {

DeclarationsBridge declarations_bridge = {};

// Runs Python code (the import and the module's attribute lookups), which
// may itself need the bridge and so start a nested load: each load that
// completes stores what it fetched. Values a previous load stored are not
// released, because callers may be using them.
int load_declarations() noexcept {
    Ref module = Ref::steal(PyImport_ImportModule("trel.interface.declarations"));
    if (!module) {
        return -1;
    }
    Ref builtins = Ref::steal(PyObject_GetAttrString(module.get(), "BuiltinImplementationSpecifications"));
    if (!builtins) {
        return -1;
    }
    Ref empty = Ref::steal(PyObject_GetAttrString(module.get(), "_empty"));
    if (!empty) {
        return -1;
    }
    Ref fallback = Ref::steal(PyObject_GetAttrString(module.get(), "implementedByFallback"));
    if (!fallback) {
        return -1;
    }
    Ref implements = Ref::steal(PyObject_GetAttrString(module.get(), "Implements"));
    if (!implements) {
        return -1;
    }
    if (!PyType_Check(implements.get())) {
        PyErr_SetString(PyExc_TypeError, "trel.interface.declarations.Implements is not a type");
        return -1;
    }
    DeclarationsBridge& bridge = declarations_bridge;
    bridge.builtin_implementation_specifications = builtins.release();
    bridge.empty = empty.release();
    bridge.implemented_by_fallback = fallback.release();
    bridge.implements = implements.release();
    bridge.loaded = true;
    return 0;
}

} // namespace trel
