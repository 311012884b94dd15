// Creation of the module's heap types and of their instances.
#pragma once

#include <Python.h>

namespace torso::py {

/// The type in `cell`, created from `type_spec` on first use and kept for the life of the process;
/// null with the error set when creation fails (the cell then stays empty).
PyTypeObject* type_once(PyTypeObject*& cell, PyType_Spec& type_spec);

/// A new, zeroed instance of `type` by its tp_alloc; null with the error set on failure.
PyObject* allocate_instance(PyTypeObject* type);

/// Deallocator of both classes: frees the instance and releases its reference to the type.
void deallocate_instance(PyObject* self) noexcept;

}  // namespace torso::py
