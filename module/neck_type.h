// The TarveloNeckKinematics type.
#pragma once

#include <Python.h>

namespace torso::py {

/// A neck instance: the object header and nothing else.
struct NeckObject {
    PyObject_HEAD

    /// The neck type, created on first use (null with the error set if that failed).
    static PyTypeObject* type();
};

}  // namespace torso::py
