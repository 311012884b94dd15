// The TarveloNeckKinematics type.
#include "module/neck_type.h"

#include "module/arrays.h"
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

Param kJointsBatchParams[] = {{"joints"}, kWorkersParam};
Param kRotationsBatchParams[] = {{"rotations"}, kWorkersParam};

constexpr ArrayParam kJointRows[] = {{kVectorRow, Leading::any}};
constexpr ArrayParam kRotationRows[] = {{kMatrixRow, Leading::any}};

const MethodSignature kNew{kClassName, "__new__", {}};
const MethodSignature kFk{kClassName, "fk", kJointsParams, PositionalWording::always_plural};
const MethodSignature kIk{kClassName, "ik", kRotationParams, PositionalWording::always_plural};
const MethodSignature kJacobian{kClassName, "jacobian", kJointsParams};
const MethodSignature kJointRates{kClassName, "joint_rates", kJointRateParams};
// Row costs: the core benchmark of each routine, in nanoseconds.
const ArraySignature kFkBatch{
    {kClassName, "fk_batch", kJointsBatchParams}, kJointRows, kMatrixRow, chunk_rows_for(60)};
const ArraySignature kIkBatch{
    {kClassName, "ik_batch", kRotationsBatchParams}, kRotationRows, kVectorRow, chunk_rows_for(30)};
const ArraySignature kJacobianBatch{
    {kClassName, "jacobian_batch", kJointsBatchParams}, kJointRows, kMatrixRow, chunk_rows_for(25)};

PyObject* neck_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return construct(kNew, type, args, kwargs,
                     [](PyTypeObject* cls) { return allocate_instance(cls); });
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

PyObject* neck_jacobian(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) {
    return call_method<NeckObject>(kJacobian, self, args, nargs, kwnames,
                                   [](const NeckObject&, const JointTriple& joints) {
                                       return neck::angular_velocity_jacobian(joints);
                                   });
}

PyObject* neck_joint_rates(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) {
    return call_method<NeckObject>(
        kJointRates, self, args, nargs, kwnames,
        [](const NeckObject&, const JointTriple& joints, const Vec3& angular_velocity) {
            return neck::joint_rates(joints, angular_velocity);
        });
}

PyObject* neck_fk_batch(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) {
    return run_rows<NeckObject>(kFkBatch, self, args, nargs, kwnames,
                                [](const NeckObject&, const double* joints, double* out) {
                                    write_row(out, neck::forward_kinematics(triple_at(joints)));
                                });
}

PyObject* neck_ik_batch(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) {
    return run_rows<NeckObject>(kIkBatch, self, args, nargs, kwnames,
                                [](const NeckObject&, const double* rotation, double* out) {
                                    write_row(out, neck::inverse_kinematics(mat3_at(rotation)));
                                });
}

PyObject* neck_jacobian_batch(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) {
    return run_rows<NeckObject>(kJacobianBatch, self, args, nargs, kwnames,
                                [](const NeckObject&, const double* joints, double* out) {
                                    write_row(out,
                                              neck::angular_velocity_jacobian(triple_at(joints)));
                                });
}

PyMethodDef kNeckMethods[] = {
    {"fk", as_cfunction<neck_fk>(), METH_FASTCALL | METH_KEYWORDS, docs::kNeckFk},
    {"ik", as_cfunction<neck_ik>(), METH_FASTCALL | METH_KEYWORDS, docs::kNeckIk},
    {"jacobian", as_cfunction<neck_jacobian>(), METH_FASTCALL | METH_KEYWORDS, docs::kNeckJacobian},
    {"joint_rates", as_cfunction<neck_joint_rates>(), METH_FASTCALL | METH_KEYWORDS,
     docs::kNeckJointRates},
    {"fk_batch", as_cfunction<neck_fk_batch>(), METH_FASTCALL | METH_KEYWORDS, docs::kNeckFkBatch},
    {"ik_batch", as_cfunction<neck_ik_batch>(), METH_FASTCALL | METH_KEYWORDS, docs::kNeckIkBatch},
    {"jacobian_batch", as_cfunction<neck_jacobian_batch>(), METH_FASTCALL | METH_KEYWORDS,
     docs::kNeckJacobianBatch},
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
