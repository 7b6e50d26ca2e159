// RegistryBase: the adapter registry's queries over several objects, which
// resolve what each object provides, look the answer up in the registry's
// cached lookup and call it.
#pragma once

#include "../common/ref.hpp"

namespace trel::framework {

struct RegistryObject {
    PyObject ob_base; // what PyObject_HEAD declares
    // The registry's lookup object (a LookupBase of the core): `_v_lookup`.
    PyObject* lookup;
};

extern PyTypeObject RegistryBaseType;

// What the queries need of the core and the names they call by; made at
// initialisation, forgotten untouched at the runtime's finalisation.
struct FrameworkState {
    PyObject* provided_by;        // the core's providedBy
    PyObject* specification_base; // the core's SpecificationBase
    PyObject* lookup;             // "lookup"
    PyObject* subscriptions;      // "subscriptions"
    PyObject* check_query;        // "_check_query"
    PyObject* empty;              // "", the name a query gets by default
    PyObject* adapters;           // "_adapters"
    PyObject* extendors_of;       // "_extendors_of"
    PyObject* sro;                // "__sro__"
    PyObject* extendors_cache;    // "_v_extendors"
};

extern FrameworkState framework_state;

} // namespace trel::framework
