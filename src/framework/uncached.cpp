#include "uncached.hpp"

#include "registry_base.hpp"

#include <new>
#include <utility>

namespace trel::framework {

namespace {

// Whether a nested registration level counts: a non-empty dict, or any
// other object that is true.
int present(PyObject* level) noexcept {
    if (PyDict_CheckExact(level)) {
        return PyDict_GET_SIZE(level) > 0 ? 1 : 0;
    }
    return PyObject_IsTrue(level);
}

// `mapping.get(key)` for the registry's dicts: borrowed, NULL when absent
// (no exception) or on an error (exception set).
PyObject* get(PyObject* mapping, PyObject* key) noexcept {
    if (!PyDict_Check(mapping)) {
        PyErr_Format(PyExc_TypeError, "registrations must be held in dicts, not %.200s",
                     Py_TYPE(mapping)->tp_name);
        return nullptr;
    }
    return PyDict_GetItemWithError(mapping, key);
}

// The first adapter under `name` for one of `extendors` in `components`.
// New reference, NULL with no exception when there is none.
Ref named(PyObject* components, PyObject* extendors, PyObject* name) noexcept {
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(extendors); ++i) {
        Ref by_name = Ref::borrow(get(components, PyTuple_GET_ITEM(extendors, i)));
        if (!by_name) {
            if (PyErr_Occurred()) {
                return {};
            }
            continue;
        }
        const int has = present(by_name.get());
        if (has < 0) {
            return {};
        }
        if (has) {
            Ref found = Ref::borrow(get(by_name.get(), name));
            if (found && found.get() != Py_None) {
                return found;
            }
            if (PyErr_Occurred()) {
                return {};
            }
        }
    }
    return {};
}

// One required specification being walked: the registrations reached so far
// and that specification's order, with the position reached in it.
struct Step {
    Ref level;
    Ref order;
    Py_ssize_t position;
};

// The walk over the required specifications' orders, depth first and left
// to right, with a stack of its own (one step per required specification).
class FirstMatch {
public:
    FirstMatch(PyObject* required, PyObject* extendors, PyObject* name) noexcept
        : required_(required), extendors_(extendors), name_(name), depth_(PyTuple_GET_SIZE(required)) {}
    FirstMatch(const FirstMatch&) = delete;
    FirstMatch& operator=(const FirstMatch&) = delete;
    FirstMatch(FirstMatch&&) = delete;
    FirstMatch& operator=(FirstMatch&&) = delete;
    ~FirstMatch() {
        for (Py_ssize_t i = 0; i < used_; ++i) {
            stack_[i].~Step();
        }
        PyMem_Free(stack_);
    }

    // New reference; NULL with no exception when nothing matches.
    Ref in(PyObject* components) noexcept {
        if (depth_ == 0) {
            return named(components, extendors_, name_);
        }
        stack_ = static_cast<Step*>(PyMem_Malloc(static_cast<size_t>(depth_) * sizeof(Step)));
        if (!stack_) {
            PyErr_NoMemory();
            return {};
        }
        if (push(components) < 0) {
            return {};
        }
        while (used_ > 0) {
            Ref nested = next_level(stack_[used_ - 1]);
            if (!nested) {
                if (PyErr_Occurred()) {
                    return {};
                }
                stack_[--used_].~Step();
                continue;
            }
            if (used_ < depth_) {
                if (push(nested.get()) < 0) {
                    return {};
                }
                continue;
            }
            Ref found = named(nested.get(), extendors_, name_);
            if (found || PyErr_Occurred()) {
                return found;
            }
        }
        return {};
    }

private:
    // The next registrations the step reaches along its order; empty when
    // its order is used up (or with an exception set).
    static Ref next_level(Step& step) noexcept {
        while (step.position < PyTuple_GET_SIZE(step.order.get())) {
            PyObject* spec = PyTuple_GET_ITEM(step.order.get(), step.position++);
            Ref nested = Ref::borrow(get(step.level.get(), spec));
            if (!nested) {
                if (PyErr_Occurred()) {
                    return {};
                }
                continue;
            }
            const int has = present(nested.get());
            if (has != 0) {
                return has > 0 ? std::move(nested) : Ref();
            }
        }
        return {};
    }

    int push(PyObject* level) noexcept {
        Ref order = Ref::steal(PyObject_GetAttr(PyTuple_GET_ITEM(required_, used_), framework_state.sro));
        if (!order) {
            return -1;
        }
        Ref as_tuple = Ref::steal(PySequence_Tuple(order.get()));
        if (!as_tuple) {
            return -1;
        }
        new (&stack_[used_]) Step{Ref::borrow(level), std::move(as_tuple), 0};
        ++used_;
        return 0;
    }

    PyObject* required_;
    PyObject* extendors_;
    PyObject* name_;
    Py_ssize_t depth_;
    Step* stack_ = nullptr;
    Py_ssize_t used_ = 0;
};

// registry._extendors_of(provided) as a tuple: read from the registry's own
// cache of those answers when it holds one, asked for otherwise.
Ref extendors_of(PyObject* registry, PyObject* provided) noexcept {
    const FrameworkState& state = framework_state;
    Ref cache;
    if (PyObject_GetOptionalAttr(registry, state.extendors_cache, cache.out()) < 0) {
        return {};
    }
    Ref found;
    if (cache && PyDict_CheckExact(cache.get())) {
        found = Ref::borrow(PyDict_GetItemWithError(cache.get(), provided));
        if (!found && PyErr_Occurred()) {
            return {};
        }
    }
    if (!found) {
        found = Ref::steal(PyObject_CallMethodOneArg(registry, state.extendors_of, provided));
        if (!found) {
            return {};
        }
    }
    return PyTuple_CheckExact(found.get()) ? std::move(found) : Ref::steal(PySequence_Tuple(found.get()));
}

} // namespace

PyObject* uncached_lookup(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs) noexcept {
    if (nargs != 4) {
        PyErr_Format(PyExc_TypeError, "uncached_lookup() takes 4 arguments (%zd given)", nargs);
        return nullptr;
    }
    // Held as tuples: the Python code run below may change what was passed.
    Ref ro = Ref::steal(PySequence_Tuple(args[0]));
    Ref required = ro ? Ref::steal(PySequence_Tuple(args[1])) : Ref();
    if (!required) {
        return nullptr;
    }
    PyObject* provided = args[2];
    PyObject* name = args[3];
    const FrameworkState& state = framework_state;
    const Py_ssize_t order = PyTuple_GET_SIZE(required.get());
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(ro.get()); ++i) {
        PyObject* registry = PyTuple_GET_ITEM(ro.get(), i);
        Ref by_order = Ref::steal(PyObject_GetAttr(registry, state.adapters));
        if (!by_order) {
            return nullptr;
        }
        const Py_ssize_t levels = PySequence_Size(by_order.get());
        if (levels < 0) {
            return nullptr;
        }
        if (order >= levels) {
            continue;
        }
        Ref components = Ref::steal(PySequence_GetItem(by_order.get(), order));
        if (!components) {
            return nullptr;
        }
        const int has = present(components.get());
        if (has <= 0) {
            if (has < 0) {
                return nullptr;
            }
            continue;
        }
        Ref extendors = extendors_of(registry, provided);
        if (!extendors) {
            return nullptr;
        }
        FirstMatch walk(required.get(), extendors.get(), name);
        Ref found = walk.in(components.get());
        if (found) {
            return found.release();
        }
        if (PyErr_Occurred()) {
            return nullptr;
        }
    }
    Py_RETURN_NONE;
}

} // namespace trel::framework
