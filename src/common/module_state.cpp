#include "module_state.hpp"

namespace trel {

ModuleState module_state = {};

namespace {

struct NameEntry {
    PyObject* Names::*field;
    const char* text;
};

// In the order the names are created at initialisation.
constexpr NameEntry name_table[] = {
    {&Names::dict, "__dict__"},
    {&Names::implemented, "__implemented__"},
    {&Names::provides, "__provides__"},
    {&Names::class_, "__class__"},
    {&Names::provided_by, "__providedBy__"},
    {&Names::extends, "extends"},
    {&Names::conform, "__conform__"},
    {&Names::call_conform, "_call_conform"},
    {&Names::uncached_lookup, "_uncached_lookup"},
    {&Names::uncached_lookup_all, "_uncached_lookupAll"},
    {&Names::uncached_subscriptions, "_uncached_subscriptions"},
    {&Names::registry, "_registry"},
    {&Names::generation, "_generation"},
    {&Names::ro, "ro"},
    {&Names::changed, "changed"},
    {&Names::self, "__self__"},
    {&Names::adapt, "__adapt__"},
    {&Names::call_custom_adapt, "_CALL_CUSTOM_ADAPT"},
    {&Names::name, "__name__"},
    {&Names::module, "__module__"},
};

} // namespace

int create_module_state() noexcept {
    for (const NameEntry& entry : name_table) {
        PyObject* name = PyUnicode_InternFromString(entry.text);
        if (!name) {
            return -1;
        }
        module_state.names.*entry.field = name;
    }
    PyObject* hooks = PyList_New(0);
    if (!hooks) {
        return -1;
    }
    module_state.adapter_hooks = hooks;
    return 0;
}

PyObject* missing_attribute(PyObject* self, const char* name) noexcept {
    PyErr_Format(PyExc_AttributeError, "'%.200s' object has no attribute '%s'", Py_TYPE(self)->tp_name, name);
    return nullptr;
}

} // namespace trel
