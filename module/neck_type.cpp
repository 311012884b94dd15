// The TarveloNeckKinematics type.
#include "module/neck_type.h"

#include "module/binder.h"
#include "module/heap_type.h"
#include "neck/neck.h"

namespace torso::py {
namespace {

constexpr const char* kClassName = "TarveloNeckKinematics";

Param kJointsParams[] = {{"joints"}};
Param kRotationParams[] = {{"r"}};

const MethodSpec kNew{kClassName, "__new__", {}};
const MethodSpec kFk{kClassName, "fk", kJointsParams};
const MethodSpec kIk{kClassName, "ik", kRotationParams};

PyObject* neck_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return construct(kNew, type, args, kwargs, [](PyTypeObject* cls) { return allocate_instance(cls); });
}

PyObject* neck_fk(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return call_method<NeckObject>(kFk, self, args, nargs, kwnames,
                                   [](const NeckObject&, const JointTriple& joints) {
                                       return neck::forward_kinematics(joints);
                                   });
}

PyObject* neck_ik(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return call_method<NeckObject>(
        kIk, self, args, nargs, kwnames,
        [](const NeckObject&, const Mat3& r) { return neck::inverse_kinematics(r); });
}

PyMethodDef kNeckMethods[] = {
    {"fk", as_cfunction<neck_fk>(), METH_FASTCALL | METH_KEYWORDS,
     "fk($self, joints)\n--\n\nForward kinematics. `joints = [yaw, pitch, roll]` in radians.\n"
     "Returns the 3×3 rotation matrix of the head frame in the body frame."},
    {"ik", as_cfunction<neck_ik>(), METH_FASTCALL | METH_KEYWORDS,
     "ik($self, r)\n--\n\nInverse kinematics. `r` is a 3×3 rotation matrix (row-major).\n"
     "Returns `(yaw, pitch, roll)` in radians.\n\nRaises `ValueError` near gimbal lock "
     "(|pitch| ≈ π/2). The neck's\npitch range is well under that limit in practice."},
    {nullptr, nullptr, 0, nullptr},
};

char kNeckDoc[] = "TarveloNeckKinematics()\n--\n\n";

PyType_Slot kNeckSlots[] = {
    {Py_tp_base, &PyBaseObject_Type},
    {Py_tp_new, reinterpret_cast<void*>(neck_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(deallocate_instance)},
    {Py_tp_doc, kNeckDoc},
    {Py_tp_methods, kNeckMethods},
    {0, nullptr},
};

PyType_Spec kNeckSpec = {
    "tarvelo_torso_kinematics.TarveloNeckKinematics",
    static_cast<int>(sizeof(NeckObject)),
    0,
    Py_TPFLAGS_DEFAULT,
    kNeckSlots,
};

PyTypeObject* g_neck_type = nullptr;

}  // namespace

PyTypeObject* NeckObject::type() { return type_once(g_neck_type, kNeckSpec); }

}  // namespace torso::py
