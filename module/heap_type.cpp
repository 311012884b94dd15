// Creation of the module's heap types and of their instances.
#include "module/heap_type.h"

namespace torso::py {

PyTypeObject* type_once(PyTypeObject*& cell, PyType_Spec& type_spec) {
    if (cell == nullptr) {
        PyObject* created = PyType_FromSpec(&type_spec);
        if (created == nullptr) {
            return nullptr;
        }
        // Creation may run Python code and let another thread in: the first one stored wins.
        if (cell == nullptr) {
            cell = reinterpret_cast<PyTypeObject*>(created);
        } else {
            Py_DECREF(created);
        }
    }
    return cell;
}

PyObject* allocate_instance(PyTypeObject* type) {
    allocfunc alloc = type->tp_alloc != nullptr ? type->tp_alloc : PyType_GenericAlloc;
    return alloc(type, 0);
}

void deallocate_instance(PyObject* self) noexcept {
    PyTypeObject* type = Py_TYPE(self);
    type->tp_free(self);
    Py_DECREF(type);  // an instance of a heap type holds a reference to it
}

}  // namespace torso::py
