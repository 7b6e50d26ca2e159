// The declarations bridge: the four values resolution takes from the
// framework's "trel.interface.declarations" module, loaded on first need.
//
// Like the module state, the values live as long as the runtime that loaded
// them and are forgotten, untouched, when it is finalised.
#pragma once

#include "../common/ref.hpp"

namespace trel {

// The values are read only while `loaded` is set.
struct DeclarationsBridge {
    bool loaded;
    PyObject* builtin_implementation_specifications;
    PyObject* empty;
    PyObject* implemented_by_fallback;
    PyObject* implements;
};

extern DeclarationsBridge declarations_bridge;

// Imports the declarations module and fills the bridge. 0 on success, -1
// with an exception set (nothing kept, so the next need tries again).
// Runs Python code: the import, and attribute lookups on the module.
int load_declarations() noexcept;

// The check every resolution does before it reads a bridge value.
inline int ensure_declarations() noexcept { return declarations_bridge.loaded ? 0 : load_declarations(); }

} // namespace trel
