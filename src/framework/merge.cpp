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
    TailCounts(TailCounts&&) = delete;
    TailCounts& operator=(TailCounts&&) = delete;
    ~TailCounts() { PyMem_Free(slots_); }

    // 0, or -1 with MemoryError set.
    int reserve(Py_ssize_t objects) noexcept {
        constexpr size_t smallest = 8;
        size_t capacity = smallest;
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

// Every sequence as a tuple of its own, in a tuple held for the whole merge
// (the objects are compared by address, so each must stay alive); `objects`
// is their total length. They are gathered in a list, valid at every step,
// and the tuple is made only when all are in: iterating a sequence runs
// Python code, which could otherwise reach a tuple with empty slots.
Ref held_tuples(PyObject* sequences, Py_ssize_t& objects) noexcept {
    Ref all = Ref::steal(PySequence_Tuple(sequences));
    if (!all) {
        return {};
    }
    Ref gathered = Ref::steal(PyList_New(0));
    if (!gathered) {
        return {};
    }
    objects = 0;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(all.get()); ++i) {
        Ref sequence = Ref::steal(PySequence_Tuple(PyTuple_GET_ITEM(all.get(), i)));
        if (!sequence || PyList_Append(gathered.get(), sequence.get()) < 0) {
            return {};
        }
        objects += PyTuple_GET_SIZE(sequence.get());
    }
    return Ref::steal(PyList_AsTuple(gathered.get()));
}

// The merge's state: each sequence's position, and the tail counts.
class Merge {
public:
    Merge(PyObject* tuples, Py_ssize_t* positions, TailCounts& in_tails) noexcept
        : tuples_(tuples), count_(PyTuple_GET_SIZE(tuples)), positions_(positions), in_tails_(in_tails) {
        for (Py_ssize_t i = 0; i < count_; ++i) {
            PyObject* sequence = PyTuple_GET_ITEM(tuples_, i);
            for (Py_ssize_t j = 1; j < PyTuple_GET_SIZE(sequence); ++j) {
                ++in_tails_[PyTuple_GET_ITEM(sequence, j)];
            }
        }
    }

    // The first head, in sequence order, that stands in no tail; NULL with
    // `done` set when every sequence is used up, NULL alone when none can
    // come next.
    PyObject* next(bool& done) noexcept {
        done = true;
        for (Py_ssize_t i = 0; i < count_; ++i) {
            PyObject* sequence = PyTuple_GET_ITEM(tuples_, i);
            if (positions_[i] < PyTuple_GET_SIZE(sequence)) {
                done = false;
                PyObject* candidate = PyTuple_GET_ITEM(sequence, positions_[i]);
                if (in_tails_[candidate] == 0) {
                    return candidate;
                }
            }
        }
        return nullptr;
    }

    // Takes `head` off every sequence it heads.
    void take(PyObject* head) noexcept {
        for (Py_ssize_t i = 0; i < count_; ++i) {
            PyObject* sequence = PyTuple_GET_ITEM(tuples_, i);
            const Py_ssize_t size = PyTuple_GET_SIZE(sequence);
            if (positions_[i] < size && PyTuple_GET_ITEM(sequence, positions_[i]) == head &&
                ++positions_[i] < size) {
                // The next object leaves this sequence's tail for its head.
                --in_tails_[PyTuple_GET_ITEM(sequence, positions_[i])];
            }
        }
    }

private:
    PyObject* tuples_;
    Py_ssize_t count_;
    Py_ssize_t* positions_;
    TailCounts& in_tails_;
};

} // namespace

PyObject* c3_merge(PyObject* /*module*/, PyObject* sequences) noexcept {
    Py_ssize_t objects = 0;
    Ref tuples = held_tuples(sequences, objects);
    if (!tuples) {
        return nullptr;
    }
    TailCounts in_tails;
    if (in_tails.reserve(objects) < 0) {
        return nullptr;
    }
    const auto count = static_cast<size_t>(PyTuple_GET_SIZE(tuples.get()));
    auto* positions = static_cast<Py_ssize_t*>(PyMem_Calloc(count + 1, sizeof(Py_ssize_t)));
    if (!positions) {
        return PyErr_NoMemory();
    }
    Merge merge(tuples.get(), positions, in_tails);
    Ref result = Ref::steal(PyList_New(0));
    bool done = false;
    while (result) {
        PyObject* head = merge.next(done);
        if (!head) {
            break;
        }
        if (PyList_Append(result.get(), head) < 0) {
            result = Ref();
            break;
        }
        merge.take(head);
    }
    PyMem_Free(positions);
    if (!result) {
        return nullptr;
    }
    return done ? result.release() : Py_NewRef(Py_None);
}

} // namespace trel::framework
