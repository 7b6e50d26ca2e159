// The descriptors through which classes answer "__providedBy__" and
// "__provides__" as ordinary attributes.
#pragma once

#include "specification_base.hpp"

namespace trel {

// Computes what an instance (or a class itself) provides.
extern PyTypeObject ObjectSpecificationDescriptorType;

// A class's own specification, stored in that class under "__provides__":
// read through the class it is the specification itself, through an
// instance of the class it is `_implements`, and through anything else
// (subclasses included) it is absent.
struct ClassProvidesObject {
    SpecificationObject specification;
    PyObject* cls;        // the defining class
    PyObject* implements; // what instances of cls are handed
};

extern PyTypeObject ClassProvidesBaseType;

} // namespace trel
