#include "descriptors.hpp"

#include "../common/module_state.hpp"
#include "../resolution/resolution.hpp"

#include <cstddef>

namespace trel {

namespace {

// Through a class: what the class object provides. Through an instance: its
// "__provides__", whatever it is, or else what its class implements.
PyObject* object_specification_descriptor_get(PyObject* /*self*/, PyObject* inst, PyObject* cls) {
    if (!inst) {
        return get_object_specification(cls);
    }
    // Attribute access passes type(inst) borrowed; the lookup below may
    // rebind inst.__class__ and free that type before it is used.
    Ref keep_cls = Ref::borrow(cls);
    Ref provides;
    // An ordinary failure of the lookup means "nothing of its own".
    if (PyObject_GetOptionalAttr(inst, module_state.names.provides, provides.out()) < 0 &&
        clear_ordinary_error() < 0) {
        return nullptr;
    }
    if (provides) {
        return provides.release();
    }
    // __get__(inst) alone gives no class; the instance's own type stands in.
    return implemented_by(cls ? cls : reinterpret_cast<PyObject*>(Py_TYPE(inst)));
}

inline ClassProvidesObject* as_class_provides(PyObject* ob) noexcept {
    return reinterpret_cast<ClassProvidesObject*>(ob);
}

PyObject* class_provides_get(PyObject* self, PyObject* inst, PyObject* cls) {
    ClassProvidesObject* provides = as_class_provides(self);
    if (!provides->cls) {
        return missing_attribute(self, "_cls");
    }
    if (cls != provides->cls) {
        // Read through any other class, subclasses included, it is absent.
        PyErr_SetObject(PyExc_AttributeError, module_state.names.provides);
        return nullptr;
    }
    if (!inst) {
        return Py_NewRef(self);
    }
    if (!provides->implements) {
        return missing_attribute(self, "_implements");
    }
    return Py_NewRef(provides->implements);
}

int class_provides_clear(PyObject* self) {
    ClassProvidesObject* provides = as_class_provides(self);
    clear_field(provides->cls);
    clear_field(provides->implements);
    return specification_clear(self);
}

int class_provides_traverse(PyObject* self, visitproc visit, void* arg) {
    ClassProvidesObject* provides = as_class_provides(self);
    Py_VISIT(provides->cls);
    Py_VISIT(provides->implements);
    return specification_traverse(self, visit, arg);
}

void class_provides_dealloc(PyObject* self) {
    specification_dealloc_as<class_provides_dealloc, class_provides_clear>(self);
}

PyMemberDef class_provides_members[] = {
    {"_cls", Py_T_OBJECT_EX, offsetof(ClassProvidesObject, cls), 0, "Defining class."},
    {"_implements", Py_T_OBJECT_EX, offsetof(ClassProvidesObject, implements), 0, "Result of implementedBy."},
    {nullptr, 0, 0, 0, nullptr},
};

} // namespace

// The header macro ends in a comma of its own, which the formatter misreads.
// clang-format off
PyTypeObject ObjectSpecificationDescriptorType = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0)
    .tp_name = "_interface_coptimizations.ObjectSpecificationDescriptor",
    .tp_basicsize = sizeof(PyObject),
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    .tp_doc = "Object Specification Descriptor",
    .tp_descr_get = object_specification_descriptor_get,
};

PyTypeObject ClassProvidesBaseType = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0)
    .tp_name = "_interface_coptimizations.ClassProvidesBase",
    .tp_basicsize = sizeof(ClassProvidesObject),
    .tp_dealloc = class_provides_dealloc,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC,
    .tp_doc = "C Base class for ClassProvides",
    .tp_traverse = class_provides_traverse,
    .tp_clear = class_provides_clear,
    .tp_weaklistoffset = offsetof(SpecificationObject, weak_references),
    .tp_members = class_provides_members,
    .tp_base = &SpecificationBaseType,
    .tp_descr_get = class_provides_get,
};
// clang-format on

} // namespace trel
