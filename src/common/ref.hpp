// Owning references as a type.
//
// Every PyObject* this module owns lives either in a Ref or in a field of one
// of its objects, so "released on every path" is the default. A Ref is made
// from a raw pointer only by saying which transfer it is: steal (the API gave
// a new reference) or borrow (it gave a borrowed one).
#pragma once

#include "py_compat.hpp"

#include <cassert>
#include <utility>

namespace trel {

class [[nodiscard]] Ref {
public:
    Ref() noexcept = default;
    static Ref steal(PyObject* p) noexcept { return Ref(p); }
    static Ref borrow(PyObject* p) noexcept { return Ref(Py_XNewRef(p)); }

    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    Ref& operator=(Ref&& o) noexcept {
        PyObject* old = std::exchange(p_, std::exchange(o.p_, nullptr));
        Py_XDECREF(old); // last: a decref can run Python code that looks at us
        return *this;
    }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { Py_XDECREF(p_); }

    [[nodiscard]] PyObject* get() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    // Hands the reference back to C, e.g. as a function's result.
    [[nodiscard]] PyObject* release() noexcept { return std::exchange(p_, nullptr); }
    // For APIs that fill a "PyObject** result".
    PyObject** out() noexcept {
        Py_CLEAR(p_);
        return &p_;
    }

private:
    explicit Ref(PyObject* p) noexcept : p_(p) {}
    PyObject* p_ = nullptr;
};

// Replaces an owned field: the new value is stored before the old one is
// dropped, because the decref may run Python code that reads the field.
inline void set_field(PyObject*& slot, PyObject* new_value) noexcept {
    PyObject* old = std::exchange(slot, new_value);
    Py_XDECREF(old);
}

// Unsets an owned field before releasing its reference (as Py_CLEAR does).
inline void clear_field(PyObject*& slot) noexcept { set_field(slot, nullptr); }

// The probes below count a failed lookup as absence. That holds for ordinary
// failures only (Exception subclasses other than MemoryError): an interrupt,
// an exit request or a memory error is no answer about the object, so it
// stays set for the caller to pass on. Returns 0 when nothing is pending any
// more, -1 when the pending exception must propagate.
inline int clear_ordinary_error() noexcept {
    PyObject* type = PyErr_Occurred();
    if (!type) {
        return 0;
    }
    if (PyErr_GivenExceptionMatches(type, PyExc_Exception) &&
        !PyErr_GivenExceptionMatches(type, PyExc_MemoryError)) {
        PyErr_Clear();
        return 0;
    }
    return -1;
}

// A dict probe in which an ordinary failure (a key whose hashing or
// comparison raises) counts as absence and leaves nothing pending:
// PyDict_GetItem's answer, without the save and restore of the current
// exception that it pays on every call. Callers have no exception set.
// Borrowed result; it may run the key's __hash__ and __eq__. NULL means
// absent, unless an exception is left set (see clear_ordinary_error), which
// the caller must check for with PyErr_Occurred and pass on.
inline PyObject* dict_find_quietly(PyObject* dict, PyObject* key) noexcept {
    assert(!PyErr_Occurred());
    PyObject* found = PyDict_GetItemWithError(dict, key);
    if (!found) {
        (void)clear_ordinary_error();
    }
    return found;
}

inline PyObject* new_bool(bool value) noexcept { return Py_NewRef(value ? Py_True : Py_False); }

} // namespace trel
