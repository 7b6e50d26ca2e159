// The registry's miss path: the most specific adapter registered in a
// registry or its bases.
#pragma once

#include "../common/ref.hpp"

namespace trel::framework {

// uncached_lookup(ro, required, provided, name): the first registry in `ro`
// whose registrations for len(required) specifications hold an adapter for
// `required` (each specification walked along its `__sro__`, left to right)
// giving one of the registry's `_extendors_of(provided)` under `name`; the
// adapter, or None. Runs Python code: attribute reads, `_extendors_of`,
// hashing and comparing the keys.
PyObject* uncached_lookup(PyObject* module, PyObject* const* args, Py_ssize_t nargs) noexcept;

} // namespace trel::framework
