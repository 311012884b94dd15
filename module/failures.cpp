// Raising the failures of the kinematics routines.
#include "module/failures.h"

#include "module/guard.h"
#include "module/ref.h"

namespace torso::py {

PyObject* raise_message(PyObject* type, std::string_view message) {
    Ref text(PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
    if (!text) {
        fail_python_api_call();
    }
    PyErr_SetObject(type, text.get());
    return nullptr;
}

}  // namespace torso::py
