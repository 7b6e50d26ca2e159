// The module definition and its initialisation: the top of the module,
// included by nothing.
#include "../common/module_state.hpp"
#include "../common/ownership.hpp"
#include "../interface/interface_base.hpp"
#include "../lookup/lookup_base.hpp"
#include "../lookup/verifying_base.hpp"
#include "../resolution/resolution.hpp"
#include "../specification/descriptors.hpp"
#include "../specification/specification_base.hpp"

namespace trel {

namespace {

struct TypeEntry {
    const char* attribute;
    PyTypeObject* type;
};

// Readied in this order (every base before its subtypes) and published in it.
// The first three types report the module name "_interface_coptimizations"
// and the other three "_trel_interface_coptimizations" (see each tp_name):
// the names the framework's types have always reported, kept so that reprs
// and checks written against them (type names compared as strings) stay
// valid.
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

Ownership ownership = {};

// Runs when the runtime has been finalised, the last step of Py_FinalizeEx:
// every object the state and the types referred to belonged to it and may be
// freed, so they are dropped without being touched, and the next runtime
// starts from nothing: an application that embeds the interpreter can
// finalise it and initialise it again.
void forget_runtime() {
    module_state = {};
    forget_resolution();
    for (const TypeEntry& entry : type_table) {
        forget_readied_type(entry.type);
    }
    ownership = {};
}

PyObject* initialise() noexcept {
    if (claim_interpreter(ownership, "_trel_interface_coptimizations", forget_runtime) < 0) {
        return nullptr;
    }
    if (!ownership.complete) {
        // Whatever a failed attempt made stays where it is: code may hold it.
        if (create_module_state() < 0) {
            return nullptr;
        }
        prepare_resolution();
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

} // namespace trel

PyMODINIT_FUNC PyInit__trel_interface_coptimizations() { return trel::initialise(); }
