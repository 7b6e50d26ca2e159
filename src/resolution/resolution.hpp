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

// Made at initialisation, after the names: what lets resolution skip the
// "__class__" fetch for ordinary objects. Cannot fail.
void prepare_resolution() noexcept;
// At the runtime's finalisation: forgets, untouched, what resolution kept
// (the bridge included), so the next runtime loads afresh.
void forget_resolution() noexcept;

} // namespace trel
