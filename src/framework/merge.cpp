#include "merge.hpp"

#include <cstddef>

namespace trel::framework {

namespace {

// How many times each object stands in the tail of some sequence: an open
// addressing table keyed by the object's address, sized for every object.
class TailCounts {
public:
    TailCounts() noexcept = default;
    TailCounts(const TailCounts&) = delete;
    TailCounts& operator=(const TailCounts&) = delete;
    ~TailCounts() { PyMem_Free(slots_); }

    // 0, or -1 with MemoryError set.
    int reserve(Py_ssize_t objects) noexcept {
        size_t capacity = 8;
        while (capacity < static_cast<size_t>(objects) * 2) {
            capacity *= 2;
        }
        slots_ = static_cast<Slot*>(PyMem_Calloc(capacity, sizeof(Slot)));
        if (!slots_) {
            PyErr_NoMemory();
            return -1;
        }
        mask_ = capacity - 1;
        return 0;
    }

    Py_ssize_t& operator[](PyObject* key) noexcept {
        size_t i = (reinterpret_cast<size_t>(key) >> 4) & mask_;
        while (slots_[i].key && slots_[i].key != key) {
            i = (i + 1) & mask_;
        }
        slots_[i].key = key;
        return slots_[i].count;
    }

private:
    struct Slot {
        PyObject* key;
        Py_ssize_t count;
    };
    Slot* slots_ = nullptr;
    size_t mask_ = 0;
};

} // namespace

PyObject* c3_merge(PyObject* /*module*/, PyObject* sequences) noexcept {
    // Every sequence as a tuple of its own, held for the whole merge: the
    // objects are compared by address, so each must stay alive.
    Ref all = Ref::steal(PySequence_Tuple(sequences));
    if (!all) {
        return nullptr;
    }
    const Py_ssize_t count = PyTuple_GET_SIZE(all.get());
    Ref tuples = Ref::steal(PyTuple_New(count));
    if (!tuples) {
        return nullptr;
    }
    Py_ssize_t objects = 0;
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyObject* sequence = PySequence_Tuple(PyTuple_GET_ITEM(all.get(), i));
        if (!sequence) {
            return nullptr;
        }
        PyTuple_SET_ITEM(tuples.get(), i, sequence);
        objects += PyTuple_GET_SIZE(sequence);
    }
    TailCounts in_tails;
    if (in_tails.reserve(objects) < 0) {
        return nullptr;
    }
    auto* positions =
        static_cast<Py_ssize_t*>(PyMem_Calloc(static_cast<size_t>(count) + 1, sizeof(Py_ssize_t)));
    if (!positions) {
        return PyErr_NoMemory();
    }
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyObject* sequence = PyTuple_GET_ITEM(tuples.get(), i);
        for (Py_ssize_t j = 1; j < PyTuple_GET_SIZE(sequence); ++j) {
            ++in_tails[PyTuple_GET_ITEM(sequence, j)];
        }
    }
    Ref result = Ref::steal(PyList_New(0));
    bool consistent = true;
    while (result) {
        // The first head, in sequence order, that stands in no tail.
        PyObject* head = nullptr;
        bool any_left = false;
        for (Py_ssize_t i = 0; i < count && !head; ++i) {
            PyObject* sequence = PyTuple_GET_ITEM(tuples.get(), i);
            if (positions[i] < PyTuple_GET_SIZE(sequence)) {
                any_left = true;
                PyObject* candidate = PyTuple_GET_ITEM(sequence, positions[i]);
                if (in_tails[candidate] == 0) {
                    head = candidate;
                }
            }
        }
        if (!any_left) {
            break;
        }
        if (!head) {
            consistent = false;
            break;
        }
        if (PyList_Append(result.get(), head) < 0) {
            result = Ref();
            break;
        }
        for (Py_ssize_t i = 0; i < count; ++i) {
            PyObject* sequence = PyTuple_GET_ITEM(tuples.get(), i);
            const Py_ssize_t size = PyTuple_GET_SIZE(sequence);
            if (positions[i] < size && PyTuple_GET_ITEM(sequence, positions[i]) == head &&
                ++positions[i] < size) {
                // The next object leaves this sequence's tail for its head.
                --in_tails[PyTuple_GET_ITEM(sequence, positions[i])];
            }
        }
    }
    PyMem_Free(positions);
    if (!result) {
        return nullptr;
    }
    return consistent ? result.release() : Py_NewRef(Py_None);
}

} // namespace trel::framework
