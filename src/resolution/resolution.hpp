// Which specification a class implements and an object provides.
//
// Each routine returns a new reference, or NULL with an exception set. All
// of them can run Python code (attribute lookups, the declarations import,
// the fallback). Other folders call them directly, never through the module
// attributes, so rebinding those from Python changes nothing here.
#pragma once

#include "../common/ref.hpp"

namespace trel {

PyObject* implemented_by(PyObject* cls) noexcept;
PyObject* get_object_specification(PyObject* ob) noexcept;
PyObject* provided_by(PyObject* ob) noexcept;

} // namespace trel
