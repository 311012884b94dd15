// The module's init function: one module object per process, its two classes and __all__.
#include <Python.h>

#include <atomic>
#include <cstdint>

#include "module/arm_type.h"
#include "module/convert.h"
#include "module/guard.h"
#include "module/neck_type.h"
#include "module/ref.h"

namespace torso::py {
namespace {

/// Interpreter that first initialised the module; -1 until then.
std::atomic<std::int64_t> g_interpreter_id{-1};
PyObject* g_module = nullptr;

PyModuleDef kModuleDef = {
    PyModuleDef_HEAD_INIT,
    "tarvelo_torso_kinematics",
    "",
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

/// Record the calling interpreter, or refuse a second one. False with the error set.
bool claim_interpreter() {
    std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id == -1) {
        if (!PyErr_Occurred()) {
            PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
        }
        return false;
    }
    std::int64_t expected = -1;
    if (!g_interpreter_id.compare_exchange_strong(expected, id) && expected != id) {
        PyErr_SetString(PyExc_ImportError,
                        "tarvelo_torso_kinematics: extension modules of this kind do not yet "
                        "support subinterpreters; please report your use case on the "
                        "tarvelo_torso_kinematics issue tracker");
        return false;
    }
    return true;
}

/// The module's __all__ list, created when absent. Null with the error set.
Ref all_list(PyObject* module) {
    Ref all(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        resume_panic_from_python();
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) {
            return Ref();
        }
        PyErr_Clear();
        all = Ref(PyList_New(0));
        if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) {
            return Ref();
        }
        return all;
    }
    if (!PyList_Check(all.get())) {
        raise_cannot_convert(all.get(), "PyList");
        return Ref();
    }
    return all;
}

/// Add one class to the module and to __all__. False with the error set.
bool register_class(PyObject* module, PyTypeObject* type, const char* name) {
    if (type == nullptr) {
        return false;
    }
    Ref text(PyUnicode_FromString(name));
    if (!text) {
        return false;
    }
    Ref all = all_list(module);
    if (!all) {
        return false;
    }
    if (PyList_Append(all.get(), text.get()) < 0) {
        PyErr_Clear();
        fail_internally("could not append __name__ to __all__");
    }
    return PyModule_AddObjectRef(module, name, reinterpret_cast<PyObject*>(type)) == 0;
}

PyObject* initialise() {
    if (!claim_interpreter()) {
        return nullptr;
    }
    if (g_module != nullptr) {
        return Py_NewRef(g_module);
    }
    Ref module(PyModule_Create2(&kModuleDef, 1013));
    if (!module || !register_class(module.get(), ArmObject::type(), "TarveloArmKinematics") ||
        !register_class(module.get(), NeckObject::type(), "TarveloNeckKinematics")) {
        return nullptr;
    }
    g_module = Py_NewRef(module.get());
    return module.release();
}

}  // namespace
}  // namespace torso::py

PyMODINIT_FUNC PyInit_tarvelo_torso_kinematics() {
    return torso::py::guarded<PyObject*>([] { return torso::py::initialise(); });
}
