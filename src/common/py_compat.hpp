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

#if PY_VERSION_HEX >= 0x030D0000 && PY_VERSION_HEX < 0x030E0000 // Py_TRASHCAN_BEGIN: bounded by stack in 3.14
// 3.13's trashcan defers a deallocation only once nearly all of the thread's
// C recursion budget (thousands of nested deallocations) is spent, which
// overflows small thread stacks long before. As up to 3.12 and in effect from
// 3.14, a thread here nests at most 50 of this module's deallocations and
// defers the deeper ones to a list of its own, which the outermost one
// releases when it is done. The list is the module's, not the interpreter's:
// the interpreter releases its own list whenever its counter allows, and an
// object it released there at this module's limit would only be deferred
// again, without end.
struct TrelDeferredDealloc {
    PyObject* object;
    TrelDeferredDealloc* next;
};
inline thread_local int trel_trash_depth = 0;
inline thread_local TrelDeferredDealloc* trel_trash_deferred = nullptr;

// Whether `op` joined the list; with no memory for the link it is released now.
inline bool trel_trash_defer(PyObject* op) noexcept {
    auto* link = static_cast<TrelDeferredDealloc*>(PyMem_RawMalloc(sizeof(TrelDeferredDealloc)));
    if (!link) {
        return false;
    }
    *link = {op, trel_trash_deferred};
    trel_trash_deferred = link;
    return true;
}

// Releases the list, itself counting as a level, so that the releases it
// makes defer their deep links to the list instead of draining it again.
inline void trel_trash_release_deferred() noexcept {
    ++trel_trash_depth;
    while (TrelDeferredDealloc* link = trel_trash_deferred) {
        trel_trash_deferred = link->next;
        PyObject* op = link->object;
        PyMem_RawFree(link);
        Py_TYPE(op)->tp_dealloc(op);
    }
    --trel_trash_depth;
}

#undef Py_TRASHCAN_BEGIN
#undef Py_TRASHCAN_END
// clang-format off
#define Py_TRASHCAN_BEGIN(op, dealloc) \
    do { \
        if (trel_trash_depth >= 50 && Py_TYPE(op)->tp_dealloc == (destructor)(dealloc) && \
            trel_trash_defer((PyObject*)(op))) { \
            break; \
        } \
        ++trel_trash_depth;
#define Py_TRASHCAN_END \
        if (--trel_trash_depth == 0 && trel_trash_deferred) { \
            trel_trash_release_deferred(); \
        } \
    } while (0);
// clang-format on
#endif
