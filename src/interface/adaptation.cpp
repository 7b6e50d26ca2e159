// Calling an interface adapts an object to it.
#include "interface_base.hpp"

#include "../common/module_state.hpp"
#include "../resolution/resolution.hpp"

namespace trel {

namespace {

// Whether obj's specification implies the interface: 1, 0 or -1. A
// SpecificationBase answers through its `_implied`; anything else is called
// with the interface and its answer's truth counts.
int provides(PyObject* iface, PyObject* obj) noexcept {
    Ref spec = Ref::steal(provided_by(obj));
    if (!spec) {
        return -1;
    }
    if (is_specification(spec.get())) {
        return specification_implies(spec.get(), iface);
    }
    Ref answer = Ref::steal(PyObject_CallOneArg(spec.get(), iface));
    if (!answer) {
        return -1;
    }
    return PyObject_IsTrue(answer.get());
}

// Asks each adapter hook in turn. The count is read once, so hooks appended
// during the walk wait for the next adaptation; a hook may also shorten the
// list, so every index is checked against its current length.
PyObject* ask_hooks(PyObject* iface, PyObject* obj) noexcept {
    PyObject* hooks = module_state.adapter_hooks;
    const Py_ssize_t count = PyList_GET_SIZE(hooks);
    PyObject* args[] = {iface, obj};
    for (Py_ssize_t i = 0; i < count && i < PyList_GET_SIZE(hooks); ++i) {
        // The hook may remove itself from the list while it runs.
        Ref hook = Ref::borrow(PyList_GET_ITEM(hooks, i));
        Ref adapter = Ref::steal(PyObject_Vectorcall(hook.get(), args, 2, nullptr));
        if (!adapter || adapter.get() != Py_None) {
            return adapter.release();
        }
    }
    Py_RETURN_NONE;
}

// The class selects its own __adapt__ by defining _CALL_CUSTOM_ADAPT in its
// own namespace; its presence alone counts, and base classes are not searched.
// 1, 0, or -1 when the probe was interrupted.
int selects_custom_adapt(PyObject* iface) noexcept {
    // Held: a key of the namespace may compare by running Python code that
    // rebinds iface.__class__ and frees the class with its namespace.
    Ref own = Ref::steal(PyType_GetDict(Py_TYPE(iface)));
    if (!own) {
        return 0;
    }
    if (dict_find_quietly(own.get(), module_state.names.call_custom_adapt)) {
        return 1;
    }
    return PyErr_Occurred() ? -1 : 0;
}

PyObject* adapt(PyObject* self, PyObject* obj, PyObject* alternate) noexcept {
    const Names& names = module_state.names;
    Ref conform;
    if (PyObject_GetOptionalAttr(obj, names.conform, conform.out()) < 0) {
        return nullptr;
    }
    if (conform && conform.get() != Py_None) {
        Ref adapter = Ref::steal(PyObject_CallMethodOneArg(self, names.call_conform, conform.get()));
        if (!adapter || adapter.get() != Py_None) {
            return adapter.release();
        }
    }
    const int custom = selects_custom_adapt(self);
    if (custom < 0) {
        return nullptr;
    }
    Ref adapter =
        Ref::steal(custom ? PyObject_CallMethodOneArg(self, names.adapt, obj) : default_adapt(self, obj));
    if (!adapter || adapter.get() != Py_None) {
        return adapter.release();
    }
    if (alternate) {
        return Py_NewRef(alternate);
    }
    Ref error = Ref::steal(Py_BuildValue("sOO", "Could not adapt", obj, self));
    if (error) {
        PyErr_SetObject(PyExc_TypeError, error.get());
    }
    return nullptr;
}

} // namespace

PyObject* default_adapt(PyObject* self, PyObject* obj) noexcept {
    int provided = provides(self, obj);
    if (provided < 0) {
        return nullptr;
    }
    if (provided) {
        return Py_NewRef(obj);
    }
    return ask_hooks(self, obj);
}

PyObject* interface_call(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
    PyObject* obj = nullptr;
    PyObject* alternate = nullptr; // not given differs from None
    const Py_ssize_t count = PyTuple_GET_SIZE(args);
    if ((count == 1 || count == 2) && (!kwargs || PyDict_GET_SIZE(kwargs) == 0)) [[likely]] {
        // Plain positional calls: the parser would accept them the same way.
        obj = PyTuple_GET_ITEM(args, 0);
        alternate = count == 2 ? PyTuple_GET_ITEM(args, 1) : nullptr;
    } else {
        static const char* keywords[] = {"obj", "alternate", nullptr};
        if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|O", const_cast<char**>(keywords), &obj,
                                         &alternate)) {
            return nullptr;
        }
    }
    return adapt(self, obj, alternate);
}

} // namespace trel
