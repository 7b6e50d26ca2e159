// The SpecificationBase type and its type test: all that resolution, the
// layer below, needs of this folder (resolution and specifications call
// each other, and this header is the one place where they meet upward).
#pragma once

#include "../common/ref.hpp"

namespace trel {

extern PyTypeObject SpecificationBaseType;

// The type test (identity first, then subtype); never fails. Unlike
// isinstance it ignores a spoofed "__class__".
inline bool is_specification(PyObject* ob) noexcept {
    return Py_IS_TYPE(ob, &SpecificationBaseType) || PyType_IsSubtype(Py_TYPE(ob), &SpecificationBaseType);
}

} // namespace trel
