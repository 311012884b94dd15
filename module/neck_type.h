// The TarveloNeckKinematics type.
#pragma once

#include <Python.h>

namespace torso::py {

/// A neck instance: the object header and nothing else.
struct NeckObject {
    PyObject_HEAD

        /// The neck type, created on first use (null with the error set if that failed).
        static PyTypeObject* type() {
        return type_cell != nullptr ? type_cell : create_type();
    }

    static inline PyTypeObject* type_cell = nullptr;
    static PyTypeObject* create_type();
};

}  // namespace torso::py
