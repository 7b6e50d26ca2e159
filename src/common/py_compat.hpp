// The one place that tests the interpreter's version.
//
// Code is written against the newest public C API name; for older
// interpreters this header supplies that name. Each shim names the version
// that added the real thing, so it can be deleted when the minimum rises.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#if PY_VERSION_HEX < 0x030C0000 // member type codes moved into Python.h in 3.12
#include <structmember.h>
#ifndef Py_T_OBJECT_EX
#define Py_T_OBJECT_EX T_OBJECT_EX
#endif
#ifndef Py_READONLY
#define Py_READONLY READONLY
#endif
#endif

#if PY_VERSION_HEX < 0x030A0000 // Py_NewRef, Py_XNewRef, PyModule_AddObjectRef: 3.10
static inline PyObject* Py_NewRef(PyObject* o) {
    Py_INCREF(o);
    return o;
}
static inline PyObject* Py_XNewRef(PyObject* o) {
    Py_XINCREF(o);
    return o;
}
static inline int PyModule_AddObjectRef(PyObject* module, const char* name, PyObject* value) {
    Py_XINCREF(value);
    if (PyModule_AddObject(module, name, value) < 0) {
        Py_XDECREF(value);
        return -1;
    }
    return 0;
}
#endif

#if PY_VERSION_HEX < 0x030D0000 // PyObject_GetOptionalAttr, PyDict_GetItemRef: public from 3.13
// 3.7 to 3.12 have the same 1/0/-1 contract under a private name.
static inline int PyObject_GetOptionalAttr(PyObject* o, PyObject* name, PyObject** out) {
    return _PyObject_LookupAttr(o, name, out);
}
static inline int PyDict_GetItemRef(PyObject* dict, PyObject* key, PyObject** out) {
    PyObject* item = PyDict_GetItemWithError(dict, key);
    if (item) {
        *out = Py_NewRef(item);
        return 1;
    }
    *out = nullptr;
    return PyErr_Occurred() ? -1 : 0;
}
#endif

#if PY_VERSION_HEX < 0x030C0000 // PyType_GetDict: 3.12 (static builtin types keep tp_dict NULL there)
static inline PyObject* PyType_GetDict(PyTypeObject* type) { return Py_XNewRef(type->tp_dict); }
#endif

// A type's attribute as the MRO walk finds it (borrowed, or NULL with no
// exception set). There is no public equivalent; the private one is used
// only on the versions known to export it. Elsewhere the answer is "not
// known", and callers take their general path.
static inline PyObject* trel_type_lookup(PyTypeObject* type, PyObject* name) {
#if PY_VERSION_HEX < 0x030F0000 // _PyType_Lookup: exported 3.9 to 3.14
    return _PyType_Lookup(type, name);
#else
    (void)type;
    (void)name;
    return nullptr;
#endif
}

// Returns a static type readied by a runtime that has since been finalised
// to the state PyType_Ready expects of a type never readied. Whatever the
// type referred to (its namespace, bases, MRO, subclass list) belonged to
// that runtime and may be freed, so it is dropped untouched; the version tag
// would name an entry of the dead runtime's type cache.
static inline void forget_readied_type(PyTypeObject* type) {
    type->tp_flags &= ~(Py_TPFLAGS_READY | Py_TPFLAGS_READYING | Py_TPFLAGS_VALID_VERSION_TAG);
    type->tp_dict = nullptr;
    type->tp_bases = nullptr;
    type->tp_mro = nullptr;
    type->tp_cache = nullptr;
    type->tp_subclasses = nullptr;
    type->tp_weaklist = nullptr;
    type->tp_version_tag = 0;
#if PY_VERSION_HEX >= 0x030C0000 // type watchers: 3.12
    type->tp_watched = 0;
#endif
#if PY_VERSION_HEX >= 0x030D0000 // the per-type count of version tags handed out: 3.13
    type->tp_versions_used = 0;
#endif
}
