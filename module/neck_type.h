// The TarveloNeckKinematics type.
#pragma once

#include <Python.h>

#include "module/neck_methods.h"

namespace torso::py {

/// A neck instance: the object header and nothing else.
struct NeckObject {
    PyObject_HEAD

        /// What the methods compute on: nothing.
        static NeckValue value() {
        return {};
    }

    /// The neck type, created on first use (null with the error set if that failed).
    static PyTypeObject* type() { return type_cell != nullptr ? type_cell : create_type(); }
    /// A new instance of `type` (the neck type), or null with the error set.
    static PyObject* create(PyTypeObject* type, NeckValue value);

    static inline PyTypeObject* type_cell = nullptr;
    static PyTypeObject* create_type();
};

}  // namespace torso::py
