// The TarveloNeckKinematics type.
#include "module/neck_type.h"

#include "module/binder.h"
#include "module/heap_type.h"
#include "neck/neck.h"
#include "neck/rates.h"
#include "stubs/docs.h"

namespace torso::py {
namespace {

constexpr const char* kClassName = "TarveloNeckKinematics";

Param kJointsParams[] = {{"joints"}};
Param kRotationParams[] = {{"r"}};
Param kJointRateParams[] = {{"joints"}, {"angular_velocity"}};

const MethodSignature kNew{kClassName, "__new__", {}};
const MethodSignature kFk{kClassName, "fk", kJointsParams};
const MethodSignature kIk{kClassName, "ik", kRotationParams};
const MethodSignature kJacobian{kClassName, "jacobian", kJointsParams};
const MethodSignature kJointRates{kClassName, "joint_rates", kJointRateParams};

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

PyObject* neck_jacobian(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return call_method<NeckObject>(kJacobian, self, args, nargs, kwnames,
                                   [](const NeckObject&, const JointTriple& joints) {
                                       return neck::angular_velocity_jacobian(joints);
                                   });
}

PyObject* neck_joint_rates(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return call_method<NeckObject>(
        kJointRates, self, args, nargs, kwnames,
        [](const NeckObject&, const JointTriple& joints, const Vec3& angular_velocity) {
            return neck::joint_rates(joints, angular_velocity);
        });
}

PyMethodDef kNeckMethods[] = {
    {"fk", as_cfunction<neck_fk>(), METH_FASTCALL | METH_KEYWORDS, docs::kNeckFk},
    {"ik", as_cfunction<neck_ik>(), METH_FASTCALL | METH_KEYWORDS, docs::kNeckIk},
    {"jacobian", as_cfunction<neck_jacobian>(), METH_FASTCALL | METH_KEYWORDS, docs::kNeckJacobian},
    {"joint_rates", as_cfunction<neck_joint_rates>(), METH_FASTCALL | METH_KEYWORDS,
     docs::kNeckJointRates},
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

}  // namespace

PyTypeObject* NeckObject::create_type() { return type_once(type_cell, kNeckSpec); }

}  // namespace torso::py
