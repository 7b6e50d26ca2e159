#include "ownership.hpp"

namespace trel {

int claim_interpreter(Ownership& ownership, const char* module, void (*forget)()) noexcept {
    const int64_t current = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (current < 0) {
        return -1;
    }
    if (ownership.claimed) {
        if (ownership.interpreter == current) {
            return 0;
        }
        PyErr_Format(PyExc_ImportError,
                     "%s serves only the first interpreter of the process that imports it, and another "
                     "interpreter has",
                     module);
        return -1;
    }
    if (Py_AtExit(forget) < 0) {
        PyErr_Format(PyExc_ImportError, "%s could not register its finalisation step", module);
        return -1;
    }
    ownership.claimed = true;
    ownership.interpreter = current;
    return 0;
}

} // namespace trel
