#include "verifying_base.hpp"

#include "../common/module_state.hpp"
#include "query_methods.hpp"

namespace trel {

namespace {

VerifyingObject* as_verifying(PyObject* ob) noexcept { return reinterpret_cast<VerifyingObject*>(ob); }

void verifying_clear_fields(PyObject* self) noexcept {
    lookup_clear_caches(self);
    VerifyingObject* verifying = as_verifying(self);
    clear_field(verifying->snapshot_ro_generations);
    clear_field(verifying->snapshot_ro);
}

// The `_generation` of each registry, in order, as a tuple. Runs Python
// code. The values are gathered in a list, which is valid at every step,
// and the tuple is made only when all are read: code run by a read could
// otherwise reach a tuple with empty slots (through the collector).
Ref collect_generations(PyObject* registries) noexcept {
    Py_ssize_t count = PyTuple_GET_SIZE(registries);
    Ref generations = Ref::steal(PyList_New(0));
    if (!generations) {
        return {};
    }
    for (Py_ssize_t i = 0; i < count; ++i) {
        Ref generation =
            Ref::steal(PyObject_GetAttr(PyTuple_GET_ITEM(registries, i), module_state.names.generation));
        if (!generation || PyList_Append(generations.get(), generation.get()) < 0) {
            return {};
        }
    }
    return Ref::steal(PyList_AsTuple(generations.get()));
}

// Whether the current generations differ from `saved`, as tuple inequality
// would say: all generations are read first, then compared pairwise
// (identity, then ==) until the first unequal pair; equal prefixes leave the
// lengths to decide. 1, 0, or -1 with an exception set. Up to
// `inline_capacity` registries the current values live on the stack, so an
// unchanged registry costs no allocation. Runs Python code.
int generations_moved(PyObject* registries, PyObject* saved) noexcept {
    constexpr Py_ssize_t inline_capacity = 8;
    Py_ssize_t count = PyTuple_GET_SIZE(registries);
    if (count > inline_capacity) [[unlikely]] {
        Ref current = collect_generations(registries);
        if (!current) {
            return -1;
        }
        return PyObject_RichCompareBool(saved, current.get(), Py_NE);
    }
    Ref current[inline_capacity];
    for (Py_ssize_t i = 0; i < count; ++i) {
        current[i] =
            Ref::steal(PyObject_GetAttr(PyTuple_GET_ITEM(registries, i), module_state.names.generation));
        if (!current[i]) {
            return -1;
        }
    }
    Py_ssize_t saved_count = PyTuple_GET_SIZE(saved);
    Py_ssize_t common = saved_count < count ? saved_count : count;
    for (Py_ssize_t i = 0; i < common; ++i) {
        int equal = PyObject_RichCompareBool(PyTuple_GET_ITEM(saved, i), current[i].get(), Py_EQ);
        if (equal <= 0) {
            return equal < 0 ? -1 : 1;
        }
    }
    return saved_count != count ? 1 : 0;
}

// The check before every query: `changed(None)` by name when there are no
// snapshots or a generation moved. 0, or -1 with an exception set. Runs
// Python code, which may call `changed` and replace the snapshots; the ones
// the check started with are held until it is done with them.
int verify_generations(PyObject* self) noexcept {
    VerifyingObject* verifying = as_verifying(self);
    if (verifying->snapshot_ro && verifying->snapshot_ro_generations) [[likely]] {
        Ref registries = Ref::borrow(verifying->snapshot_ro);
        Ref saved = Ref::borrow(verifying->snapshot_ro_generations);
        int moved = generations_moved(registries.get(), saved.get());
        if (moved <= 0) {
            return moved;
        }
    }
    Ref ignored = Ref::steal(PyObject_CallMethodOneArg(self, module_state.names.changed, Py_None));
    return ignored ? 0 : -1;
}

// Runs Python code: the attribute reads, tuple() over `ro`, each
// `_generation`, and the releases of the old fields.
PyObject* verifying_changed(PyObject* self, PyObject* /*ignored*/) {
    verifying_clear_fields(self);
    const Names& names = module_state.names;
    Ref registry = Ref::steal(PyObject_GetAttr(self, names.registry));
    if (!registry) {
        return nullptr;
    }
    Ref ro = Ref::steal(PyObject_GetAttr(registry.get(), names.ro));
    if (!ro) {
        return nullptr;
    }
    Ref order = Ref::steal(PyObject_CallOneArg(reinterpret_cast<PyObject*>(&PyTuple_Type), ro.get()));
    if (!order) {
        return nullptr;
    }
    Ref registries = Ref::steal(PyTuple_GetSlice(order.get(), 1, PyTuple_GET_SIZE(order.get())));
    if (!registries) {
        return nullptr;
    }
    Ref generations = collect_generations(registries.get());
    if (!generations) {
        return nullptr;
    }
    // Both are stored before anything is released, so code run by a release
    // never sees one snapshot without its partner. Normally there is nothing
    // to release: only a nested `changed` can have filled them meanwhile.
    VerifyingObject* verifying = as_verifying(self);
    Ref old_generations =
        Ref::steal(std::exchange(verifying->snapshot_ro_generations, generations.release()));
    Ref old_registries = Ref::steal(std::exchange(verifying->snapshot_ro, registries.release()));
    Py_RETURN_NONE;
}

int verifying_clear(PyObject* self) {
    verifying_clear_fields(self);
    return 0;
}

int verifying_traverse(PyObject* self, visitproc visit, void* arg) {
    if (int stop = lookup_traverse(self, visit, arg)) {
        return stop;
    }
    VerifyingObject* verifying = as_verifying(self);
    Py_VISIT(verifying->snapshot_ro);
    Py_VISIT(verifying->snapshot_ro_generations);
    return 0;
}

void verifying_dealloc(PyObject* self) {
    PyObject_GC_UnTrack(self);
    verifying_clear_fields(self);
    Py_TYPE(self)->tp_free(self);
}

std::array<PyMethodDef, query_count + 2> verifying_methods =
    query_method_table<false, verify_generations>(verifying_changed);

} // namespace

// The header macro ends in a comma of its own, which the formatter misreads.
// clang-format off
PyTypeObject VerifyingBaseType = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0)
    .tp_name = "_trel_interface_coptimizations.VerifyingBase",
    .tp_basicsize = sizeof(VerifyingObject),
    .tp_dealloc = verifying_dealloc,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC,
    .tp_doc = "",
    .tp_traverse = verifying_traverse,
    .tp_clear = verifying_clear,
    .tp_methods = verifying_methods.data(),
    .tp_base = &LookupBaseType,
};
// clang-format on

} // namespace trel
