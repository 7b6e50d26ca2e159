// The framework's own extension: its hot paths, beside the core. It uses the
// core (imported at initialisation) through the core's public functions, and
// like the core it serves only the first interpreter that imports it.
#include "../common/ownership.hpp"
#include "../common/query_arguments.hpp"
#include "../common/ref.hpp"
#include "merge.hpp"
#include "registry_base.hpp"
#include "uncached.hpp"

namespace trel::framework {

namespace {

Ownership ownership = {};

void forget_runtime() {
    framework_state = {};
    forget_readied_type(&RegistryBaseType);
    ownership = {};
}

// What the state takes from the core, and the names. What a failed attempt
// made stays where it is: code may hold it.
int create_state() noexcept {
    Ref core = Ref::steal(PyImport_ImportModule("_trel_interface_coptimizations"));
    if (!core) {
        return -1;
    }
    Ref provided_by = Ref::steal(PyObject_GetAttrString(core.get(), "providedBy"));
    if (!provided_by) {
        return -1;
    }
    Ref specification_base = Ref::steal(PyObject_GetAttrString(core.get(), "SpecificationBase"));
    if (!specification_base) {
        return -1;
    }
    if (!PyType_Check(specification_base.get())) {
        PyErr_SetString(PyExc_TypeError, "_trel_interface_coptimizations.SpecificationBase is not a type");
        return -1;
    }
    struct {
        PyObject* FrameworkState::*field;
        const char* text;
    } const names[] = {
        {&FrameworkState::lookup, "lookup"},
        {&FrameworkState::subscriptions, "subscriptions"},
        {&FrameworkState::check_query, "_check_query"},
        {&FrameworkState::empty, ""},
        {&FrameworkState::adapters, "_adapters"},
        {&FrameworkState::extendors_of, "_extendors_of"},
        {&FrameworkState::sro, "__sro__"},
        {&FrameworkState::extendors_cache, "_v_extendors"},
    };
    for (const auto& entry : names) {
        PyObject* name = PyUnicode_InternFromString(entry.text);
        if (!name) {
            return -1;
        }
        framework_state.*entry.field = name;
    }
    framework_state.provided_by = provided_by.release();
    framework_state.specification_base = specification_base.release();
    return 0;
}

PyMethodDef module_methods[] = {
    {"c3_merge", c3_merge, METH_O,
     "The objects of the sequences in C3 order, as a list, or None when they admit no such order."},
    {"uncached_lookup", as_method(uncached_lookup), METH_FASTCALL,
     "uncached_lookup(ro, required, provided, name): the most specific adapter registered in the registries "
     "of "
     "ro, or None."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_definition = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "_trel_interface_speedups",
    .m_doc = "The framework's hot paths in C++, beside the core.",
    // 0: every import runs `initialise`, which refuses other interpreters.
    .m_size = 0,
    .m_methods = module_methods,
};

PyObject* initialise() noexcept {
    // The core first: in an interpreter that the core refuses, this module
    // is refused too, without claiming anything.
    Ref core = Ref::steal(PyImport_ImportModule("_trel_interface_coptimizations"));
    if (!core || claim_interpreter(ownership, "_trel_interface_speedups", forget_runtime) < 0) {
        return nullptr;
    }
    if (!ownership.complete) {
        if (create_state() < 0) {
            return nullptr;
        }
        RegistryBaseType.tp_new = PyType_GenericNew;
        if (PyType_Ready(&RegistryBaseType) < 0) {
            return nullptr;
        }
        ownership.complete = true;
    }
    Ref module = Ref::steal(PyModule_Create(&module_definition));
    if (!module || PyModule_AddObjectRef(module.get(), "RegistryBase",
                                         reinterpret_cast<PyObject*>(&RegistryBaseType)) < 0) {
        return nullptr;
    }
    return module.release();
}

} // namespace

} // namespace trel::framework

PyMODINIT_FUNC PyInit__trel_interface_speedups() { return trel::framework::initialise(); }
