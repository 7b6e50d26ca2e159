// The C3 merge of resolution orders, by identity.
#pragma once

#include "../common/ref.hpp"

namespace trel::framework {

// c3_merge(sequences): the objects of `sequences` (a sequence of sequences)
// in C3 order, as a list, or None when the sequences admit no such order.
// Objects are told apart by identity only, so no Python code runs but the
// sequences' own iteration.
PyObject* c3_merge(PyObject* module, PyObject* sequences) noexcept;

} // namespace trel::framework
