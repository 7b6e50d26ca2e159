// The module definition, its initialisation and the declarations bridge.
#include "module_state.hpp"

#include "../resolution/resolution.hpp"
#include "../interface/interface_base.hpp"
#include "../specification/descriptors.hpp"
#include "../lookup/lookup_base.hpp"
#include "../lookup/verifying_base.hpp"
#include "../specification/specification_base.hpp"

#include <cstdint>

namespace trel {

ModuleState module_state = {};

namespace {

struct NameEntry {
    PyObject* Names::*field;
    const char* text;
};

// In the order the names are created at initialisation.
constexpr NameEntry name_table[] = {
    {&Names::dict, "__dict__"},
    {&Names::implemented, "__implemented__"},
    {&Names::provides, "__provides__"},
    {&Names::class_, "__class__"},
    {&Names::provided_by, "__providedBy__"},
    {&Names::extends, "extends"},
    {&Names::conform, "__conform__"},
    {&Names::call_conform, "_call_conform"},
    {&Names::uncached_lookup, "_uncached_lookup"},
    {&Names::uncached_lookup_all, "_uncached_lookupAll"},
    {&Names::uncached_subscriptions, "_uncached_subscriptions"},
    {&Names::registry, "_registry"},
    {&Names::generation, "_generation"},
    {&Names::ro, "ro"},
    {&Names::changed, "changed"},
    {&Names::self, "__self__"},
    {&Names::adapt, "__adapt__"},
    {&Names::call_custom_adapt, "_CALL_CUSTOM_ADAPT"},
};

struct TypeEntry {
    const char* attribute;
    PyTypeObject* type;
};

// Readied in this order (every base before its subtypes) and published in it.
TypeEntry const type_table[] = {
    {"SpecificationBase", &SpecificationBaseType},
    {"ObjectSpecificationDescriptor", &ObjectSpecificationDescriptorType},
    {"ClassProvidesBase", &ClassProvidesBaseType},
    {"InterfaceBase", &InterfaceBaseType},
    {"LookupBase", &LookupBaseType},
    {"VerifyingBase", &VerifyingBaseType},
};

PyObject* module_implemented_by(PyObject* /*module*/, PyObject* cls) { return implemented_by(cls); }

PyObject* module_get_object_specification(PyObject* /*module*/, PyObject* ob) {
    return get_object_specification(ob);
}

PyObject* module_provided_by(PyObject* /*module*/, PyObject* ob) { return provided_by(ob); }

PyMethodDef module_methods[] = {
    {"implementedBy", module_implemented_by, METH_O,
     "Interfaces implemented by a class or factory.\n"
     "Raises TypeError if argument is neither a class nor a callable."},
    {"getObjectSpecification", module_get_object_specification, METH_O,
     "Get an object's interfaces (internal api)"},
    {"providedBy", module_provided_by, METH_O, "Get an object's interfaces"},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_definition = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "_trel_interface_coptimizations",
    .m_doc = "C optimizations for trel.interface\n\n",
    // 0, not -1: with -1 the interpreter copies the first module's namespace
    // into every later import, in any interpreter, without calling
    // `initialise`, which would hand one interpreter's hooks list and
    // declarations to another. With 0 every import runs `initialise`, which
    // gives the owning interpreter its state again and refuses the others.
    .m_size = 0,
    .m_methods = module_methods,
};

// Any value already in the state stays there: a failed initialisation keeps
// what it made, and a value that code may still hold is never released.
int create_state() noexcept {
    for (const NameEntry& entry : name_table) {
        PyObject* name = PyUnicode_InternFromString(entry.text);
        if (!name) {
            return -1;
        }
        module_state.names.*entry.field = name;
    }
    // NULL where the MRO walk is unavailable: "__class__" is then always fetched.
    module_state.object_class_descriptor =
        Py_XNewRef(trel_type_lookup(&PyBaseObject_Type, module_state.names.class_));
    PyObject* hooks = PyList_New(0);
    if (!hooks) {
        return -1;
    }
    module_state.adapter_hooks = hooks;
    return 0;
}

// The state and the types hold objects of one interpreter, so only one
// interpreter of the process uses the module: the first that imports it.
// Interpreter ids are never reused while the runtime lives, and the runtime's
// finalisation forgets the owner (see forget_runtime).
struct Ownership {
    bool claimed;
    int64_t interpreter;
    // Set once all of the state is made and the types are ready; later
    // imports by the owner then share them.
    bool complete;
};

Ownership ownership = {};

// Runs when the runtime has been finalised, the last step of Py_FinalizeEx:
// every object the state and the types referred to belonged to it and may be
// freed, so they are dropped without being touched, and the next runtime
// starts from nothing: an application that embeds the interpreter can
// finalise it and initialise it again.
void forget_runtime() {
    module_state = {};
    for (const TypeEntry& entry : type_table) {
        forget_readied_type(entry.type);
    }
    ownership = {};
}

int claim_interpreter() noexcept {
    const int64_t current = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (current < 0) {
        return -1;
    }
    if (ownership.claimed) {
        if (ownership.interpreter == current) {
            return 0;
        }
        PyErr_SetString(PyExc_ImportError,
                        "_trel_interface_coptimizations serves only the first interpreter of the process "
                        "that imports it, and another interpreter has");
        return -1;
    }
    if (Py_AtExit(forget_runtime) < 0) {
        PyErr_SetString(PyExc_ImportError,
                        "_trel_interface_coptimizations could not register its finalisation step");
        return -1;
    }
    ownership.claimed = true;
    ownership.interpreter = current;
    return 0;
}

PyObject* initialise() noexcept {
    if (claim_interpreter() < 0) {
        return nullptr;
    }
    if (!ownership.complete) {
        if (create_state() < 0) {
            return nullptr;
        }
        for (const TypeEntry& entry : type_table) {
            entry.type->tp_new = PyBaseObject_Type.tp_new;
            if (PyType_Ready(entry.type) < 0) {
                return nullptr;
            }
        }
        ownership.complete = true;
    }
    Ref module = Ref::steal(PyModule_Create(&module_definition));
    if (!module) {
        return nullptr;
    }
    for (const TypeEntry& entry : type_table) {
        if (PyModule_AddObjectRef(module.get(), entry.attribute, reinterpret_cast<PyObject*>(entry.type)) <
            0) {
            return nullptr;
        }
    }
    if (PyModule_AddObjectRef(module.get(), "adapter_hooks", module_state.adapter_hooks) < 0) {
        return nullptr;
    }
    return module.release();
}

} // namespace

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
    DeclarationsBridge& bridge = module_state.declarations;
    bridge.builtin_implementation_specifications = builtins.release();
    bridge.empty = empty.release();
    bridge.implemented_by_fallback = fallback.release();
    bridge.implements = implements.release();
    bridge.loaded = true;
    return 0;
}

} // namespace trel

PyMODINIT_FUNC PyInit__trel_interface_coptimizations() { return trel::initialise(); }
