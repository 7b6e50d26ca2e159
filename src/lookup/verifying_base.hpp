// VerifyingBase: a LookupBase that drops its caches by itself whenever the
// generation counter of a registry behind it moves.
#pragma once

#include "lookup_base.hpp"

namespace trel {

struct VerifyingObject {
    LookupObject lookup;
    // The entries of `self._registry.ro` after the first, and the
    // `_generation` of each, as read by the last `changed` that succeeded.
    // Both present or both absent; absent means the next query calls
    // `changed` first.
    PyObject* snapshot_ro;
    PyObject* snapshot_ro_generations;
};

extern PyTypeObject VerifyingBaseType;

} // namespace trel
