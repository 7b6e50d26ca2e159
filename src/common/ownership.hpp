// Which interpreter an extension's process-wide state belongs to.
//
// An extension keeps objects of one interpreter in static storage, so only
// one interpreter of the process may use it: the first that imports it.
// Interpreter ids are never reused while the runtime lives, and the
// runtime's finalisation forgets the owner, so an application that embeds
// the interpreter can finalise it and initialise it again.
#pragma once

#include "py_compat.hpp"

#include <cstdint>

namespace trel {

struct Ownership {
    bool claimed;
    int64_t interpreter;
    // Set by the extension once all of its state is made; later imports by
    // the owner then share it.
    bool complete;
};

// 0 when the current interpreter owns the extension (claiming it if no
// interpreter does yet); -1 with ImportError naming `module` when another
// interpreter owns it. `forget` is registered at the first claim in each
// runtime and runs when the runtime has been finalised, the last step of
// Py_FinalizeEx; it must drop, untouched, everything the state refers to
// (it all belonged to that runtime and may be freed) and reset `ownership`.
int claim_interpreter(Ownership& ownership, const char* module, void (*forget)()) noexcept;

} // namespace trel
