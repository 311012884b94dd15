// The TarveloArmKinematics type.
#pragma once

#include <Python.h>

#include "arm/geometry.h"

namespace torso::py {

/// An arm instance: the object header, then the geometry and the constants derived from it.
struct ArmObject {
    PyObject_HEAD arm::ArmLinkage linkage;

    /// What the methods compute on.
    const arm::ArmLinkage& value() const { return linkage; }

    /// The arm type, created on first use (null with the error set if that failed).
    static PyTypeObject* type() { return type_cell != nullptr ? type_cell : create_type(); }
    /// A new instance of `type` (the arm type) holding the geometry, or null with the error set.
    static PyObject* create(PyTypeObject* type, const arm::SphericalLinkGeometry& geometry);

    static inline PyTypeObject* type_cell = nullptr;
    static PyTypeObject* create_type();
};

}  // namespace torso::py
