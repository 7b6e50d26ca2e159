#include "resolution.hpp"

#include "../common/module_state.hpp"
#include "../specification/specification_type.hpp"
#include "declarations_bridge.hpp"

namespace trel {

namespace {

// object's own "__class__" descriptor: a type whose lookup finds it reports
// type(ob) as every instance's class. NULL where the MRO walk is
// unavailable: "__class__" is then always fetched.
PyObject* object_class_descriptor = nullptr;

// type(ob) when ob.__class__ cannot be anything else (generic attribute
// access finds object's own descriptor, which instance dicts cannot shadow),
// so the fetch can be skipped; NULL when the attribute must be fetched.
inline PyTypeObject* plain_class_of(PyObject* ob) noexcept {
    PyTypeObject* type = Py_TYPE(ob);
    if (type->tp_getattro != PyObject_GenericGetAttr || !object_class_descriptor) {
        return nullptr;
    }
    // Compared by identity only. The MRO walk can run Python code only for
    // a non-string key in a class namespace whose hash collides with the
    // name's; type(ob) is read again afterwards in case that code changed it.
    PyObject* found = trel_type_lookup(type, module_state.names.class_);
    return found == object_class_descriptor && Py_TYPE(ob) == type ? type : nullptr;
}

inline bool is_super(PyObject* ob) noexcept {
    return Py_IS_TYPE(ob, &PySuper_Type) || PyType_IsSubtype(Py_TYPE(ob), &PySuper_Type);
}

// The last resort: whatever the declarations module's fallback answers.
PyObject* implemented_by_fallback(PyObject* cls) noexcept {
    if (ensure_declarations() < 0) {
        return nullptr;
    }
    // A nested load during the call may store a new fallback; hold this one.
    Ref fallback = Ref::borrow(declarations_bridge.implemented_by_fallback);
    return PyObject_CallOneArg(fallback.get(), cls);
}

// The namespace that may declare cls's "__implemented__": a class's own
// dictionary, read directly (no metaclass "__dict__", no proxy), or the
// "__dict__" attribute of anything else. Empty with no exception set when
// there is none: an ordinary failure of the fetch counts as "no namespace".
// Empty with an exception set when the fetch was interrupted.
Ref own_namespace(PyObject* cls) noexcept {
    if (PyType_Check(cls)) {
        Ref dict = Ref::steal(PyType_GetDict(reinterpret_cast<PyTypeObject*>(cls)));
        if (dict) {
            return dict;
        }
    }
    Ref dict;
    if (PyObject_GetOptionalAttr(cls, module_state.names.dict, dict.out()) < 0) {
        (void)clear_ordinary_error();
    }
    return dict;
}

// The value of "__implemented__" in the namespace, or empty with no
// exception set: a missing key and an ordinary failure of the lookup count
// alike. Empty with an exception set when the lookup was interrupted.
Ref own_implemented(PyObject* namespace_) noexcept {
    PyObject* name = module_state.names.implemented;
    if (PyDict_CheckExact(namespace_)) {
        // Same answer as the subscript for an exact dict, without making
        // a KeyError for the common miss.
        Ref value;
        if (PyDict_GetItemRef(namespace_, name, value.out()) < 0) {
            (void)clear_ordinary_error();
        }
        return value;
    }
    Ref value = Ref::steal(PyObject_GetItem(namespace_, name));
    if (!value) {
        (void)clear_ordinary_error();
    }
    return value;
}

// ob.__class__ when it needs no fetch (see plain_class_of), else empty.
Ref known_class_of(PyObject* ob) noexcept {
    return Ref::borrow(reinterpret_cast<PyObject*>(plain_class_of(ob)));
}

} // namespace

PyObject* implemented_by(PyObject* cls) noexcept {
    if (is_super(cls)) {
        return implemented_by_fallback(cls);
    }
    Ref value;
    {
        Ref namespace_ = own_namespace(cls);
        if (!namespace_) {
            return PyErr_Occurred() ? nullptr : implemented_by_fallback(cls);
        }
        value = own_implemented(namespace_.get());
        if (!value && PyErr_Occurred()) {
            return nullptr;
        }
    }
    if (ensure_declarations() < 0) {
        return nullptr;
    }
    if (value) {
        if (PyObject_TypeCheck(value.get(),
                               reinterpret_cast<PyTypeObject*>(declarations_bridge.implements))) {
            return value.release();
        }
        return implemented_by_fallback(cls);
    }
    PyObject* table = declarations_bridge.builtin_implementation_specifications;
    if (PyDict_Check(table)) {
        // An unhashable cls is simply not listed.
        PyObject* listed = dict_find_quietly(table, cls);
        if (listed) {
            return Py_NewRef(listed);
        }
        if (PyErr_Occurred()) {
            return nullptr;
        }
    }
    return implemented_by_fallback(cls);
}

PyObject* get_object_specification(PyObject* ob) noexcept {
    const Names& names = module_state.names;
    Ref provides;
    if (PyObject_GetOptionalAttr(ob, names.provides, provides.out()) < 0) {
        return nullptr;
    }
    if (provides) {
        int is_spec =
            PyObject_IsInstance(provides.get(), reinterpret_cast<PyObject*>(&SpecificationBaseType));
        if (is_spec < 0) {
            return nullptr;
        }
        if (is_spec) {
            return provides.release();
        }
    }
    Ref cls = known_class_of(ob);
    if (!cls && PyObject_GetOptionalAttr(ob, names.class_, cls.out()) < 0) {
        return nullptr;
    }
    if (cls) {
        return implemented_by(cls.get());
    }
    if (ensure_declarations() < 0) {
        return nullptr;
    }
    return Py_NewRef(declarations_bridge.empty);
}

PyObject* provided_by(PyObject* ob) noexcept {
    const Names& names = module_state.names;
    // isinstance, not the type test: a "__class__" attribute naming super
    // counts too. When that attribute can only be type(ob), the type test
    // is the whole answer.
    int super_like = 1;
    if (!is_super(ob)) {
        super_like =
            plain_class_of(ob) ? 0 : PyObject_IsInstance(ob, reinterpret_cast<PyObject*>(&PySuper_Type));
    }
    if (super_like < 0) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) {
            return nullptr;
        }
        PyErr_Clear();
        super_like = 1;
    }
    if (super_like) {
        return implemented_by(ob);
    }

    {
        Ref declared;
        if (PyObject_GetOptionalAttr(ob, names.provided_by, declared.out()) < 0) {
            return nullptr;
        }
        if (!declared) {
            return get_object_specification(ob);
        }
        if (is_specification(declared.get())) {
            return declared.release();
        }
        // Anything that looks like a specification is taken as one; an
        // ordinary failure of the "extends" lookup counts as absence.
        Ref extends;
        if (PyObject_GetOptionalAttr(declared.get(), names.extends, extends.out()) < 0 &&
            clear_ordinary_error() < 0) {
            return nullptr;
        }
        if (extends) {
            return declared.release();
        }
    }

    Ref cls = known_class_of(ob);
    if (!cls) {
        cls = Ref::steal(PyObject_GetAttr(ob, names.class_));
        if (!cls) {
            return nullptr;
        }
    }
    Ref own;
    if (PyObject_GetOptionalAttr(ob, names.provides, own.out()) < 0 && clear_ordinary_error() < 0) {
        return nullptr;
    }
    if (!own) {
        return implemented_by(cls.get());
    }
    Ref inherited;
    if (PyObject_GetOptionalAttr(cls.get(), names.provides, inherited.out()) < 0 &&
        clear_ordinary_error() < 0) {
        return nullptr;
    }
    if (inherited && inherited.get() == own.get()) {
        return implemented_by(cls.get());
    }
    return own.release();
}

void prepare_resolution() noexcept {
    object_class_descriptor = Py_XNewRef(trel_type_lookup(&PyBaseObject_Type, module_state.names.class_));
}

void forget_resolution() noexcept {
    object_class_descriptor = nullptr;
    declarations_bridge = {};
}

} // namespace trel
