// The TarveloArmKinematics type: constructors, accessors and the kinematics methods.
#include "module/arm_type.h"

#include <string_view>

#include "arm/fk.h"
#include "arm/geometry_document.h"
#include "arm/geometry_document_writer.h"
#include "arm/ik.h"
#include "arm/rates.h"
#include "module/arrays.h"
#include "module/binder.h"
#include "module/heap_type.h"
#include "stubs/docs.h"

namespace torso::py {
namespace {

constexpr const char* kClassName = "TarveloArmKinematics";

Param kNewParams[] = {{"arm_arc", true}, {"coupler_arc", true}, {"mirror", true}};
Param kJointPairParams[] = {{"theta_a"}, {"theta_b"}};
Param kRotationParams[] = {{"r_target"}};
Param kDirectionParams[] = {{"v3"}};
Param kDirectionNearParams[] = {{"v3"}, {"near", true}};
Param kJsonParams[] = {{"json"}};
Param kJointRateParams[] = {{"theta_a"}, {"theta_b"}, {"direction_rate"}};

constexpr auto kAlwaysPlural = PositionalWording::always_plural;

const MethodSignature kNew{kClassName, "__new__", kNewParams};
const MethodSignature kFromJson{kClassName, "from_json", kJsonParams, kAlwaysPlural};
const MethodSignature kFk{kClassName, "fk", kJointPairParams};
const MethodSignature kIk{kClassName, "ik", kRotationParams, kAlwaysPlural};
const MethodSignature kIkFromDirection{kClassName, "ik_from_direction", kDirectionNearParams};
const MethodSignature kDirection{kClassName, "direction", kJointPairParams};
const MethodSignature kIsReachableJoints{kClassName, "is_reachable_joints", kJointPairParams};
const MethodSignature kIsReachableOrientation{kClassName, "is_reachable_orientation",
                                              kRotationParams, kAlwaysPlural};
const MethodSignature kIsReachableDirection{kClassName, "is_reachable_direction", kDirectionParams,
                                            kAlwaysPlural};
const MethodSignature kJacobian{kClassName, "jacobian", kJointPairParams};
const MethodSignature kDirectionJacobian{kClassName, "direction_jacobian", kJointPairParams};
const MethodSignature kJointRates{kClassName, "joint_rates", kJointRateParams};
const MethodSignature kManipulability{kClassName, "manipulability", kJointPairParams};
const MethodSignature kIkSolutions{kClassName, "ik_solutions", kRotationParams};
const MethodSignature kIkFromDirectionSolutions{kClassName, "ik_from_direction_solutions",
                                                kDirectionParams};

Param kJointsBatchParams[] = {{"joints"}, kWorkersParam};
Param kRotationsBatchParams[] = {{"rotations"}, kWorkersParam};
Param kDirectionsBatchParams[] = {{"directions"}, kWorkersParam};
Param kDirectionsNearBatchParams[] = {{"directions"}, {"near", true}, kWorkersParam};
Param kPathParams[] = {{"directions"}, {"near", true}};

constexpr ArrayParam kJointRows[] = {{kPairRow, Leading::any}};
constexpr ArrayParam kRotationRows[] = {{kMatrixRow, Leading::any}};
constexpr ArrayParam kDirectionRows[] = {{kVectorRow, Leading::any}};
constexpr ArrayParam kDirectionNearRows[] = {{kVectorRow, Leading::any},
                                             {kPairRow, Leading::broadcast}};
constexpr ArrayParam kPathRows[] = {{kVectorRow, Leading::one_axis},
                                    {kPairRow, Leading::broadcast}};

// Row costs: the core benchmark of each routine on the default arm, in nanoseconds.
const ArraySignature kFkBatch{
    {kClassName, "fk_batch", kJointsBatchParams}, kJointRows, kMatrixRow, chunk_rows_for(80)};
const ArraySignature kDirectionBatch{{kClassName, "direction_batch", kJointsBatchParams},
                                     kJointRows,
                                     kVectorRow,
                                     chunk_rows_for(40)};
const ArraySignature kIsReachableJointsBatch{
    {kClassName, "is_reachable_joints_batch", kJointsBatchParams},
    kJointRows,
    kScalarRow,
    chunk_rows_for(40)};
const ArraySignature kIkBatch{
    {kClassName, "ik_batch", kRotationsBatchParams}, kRotationRows, kPairRow, chunk_rows_for(430)};
const ArraySignature kIsReachableOrientationBatch{
    {kClassName, "is_reachable_orientation_batch", kRotationsBatchParams},
    kRotationRows,
    kScalarRow,
    chunk_rows_for(380)};
const ArraySignature kIkFromDirectionBatch{
    {kClassName, "ik_from_direction_batch", kDirectionsNearBatchParams},
    kDirectionNearRows,
    kPairRow,
    chunk_rows_for(340)};
const ArraySignature kIsReachableDirectionBatch{
    {kClassName, "is_reachable_direction_batch", kDirectionsBatchParams},
    kDirectionRows,
    kScalarRow,
    chunk_rows_for(250)};
const ArraySignature kJacobianBatch{{kClassName, "jacobian_batch", kJointsBatchParams},
                                    kJointRows,
                                    kJacobianRow,
                                    chunk_rows_for(130)};
const ArraySignature kDirectionJacobianBatch{
    {kClassName, "direction_jacobian_batch", kJointsBatchParams},
    kJointRows,
    kJacobianRow,
    chunk_rows_for(80)};
const ArraySignature kManipulabilityBatch{{kClassName, "manipulability_batch", kJointsBatchParams},
                                          kJointRows,
                                          kScalarRow,
                                          chunk_rows_for(80)};
const ArraySignature kIkFromDirectionPath{
    {kClassName, "ik_from_direction_path", kPathParams}, kPathRows, kPairRow, chunk_rows_for(340)};

const arm::ArmLinkage& linkage_of(const ArmObject& self) { return self.linkage; }

/// The rotation that `fk` returns: the end-effector frame of the closed loop.
std::expected<Mat3, arm::LoopClosureError> end_effector_rotation(const ArmObject& arm,
                                                                 double theta_a, double theta_b) {
    return map_value(arm::forward_kinematics(linkage_of(arm), theta_a, theta_b),
                     [](const arm::LinkagePose& pose) { return pose.rotation; });
}

/// What `is_reachable_joints` returns: whether the loop closes.
bool loop_closes(const ArmObject& arm, double theta_a, double theta_b) {
    return arm::pointing_direction(linkage_of(arm), theta_a, theta_b).has_value();
}

PyObject* arm_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return construct(kNew, type, args, kwargs,
                     [](PyTypeObject* cls, Omittable<double> arm_arc, Omittable<double> coupler_arc,
                        Omittable<bool> mirror) {
                         return new_arm(cls, {arm_arc.value_or(arm::kDefaultLeft.arm_arc),
                                              coupler_arc.value_or(arm::kDefaultLeft.coupler_arc),
                                              arm::Branch::positive, mirror.value_or(false)});
                     });
}

PyObject* arm_default_left(PyObject*, PyObject*) {
    return call_static_noargs([] { return arm::kDefaultLeft; });
}

PyObject* arm_default_right(PyObject*, PyObject*) {
    return call_static_noargs([] { return arm::kDefaultRight; });
}

PyObject* arm_from_json(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return call_static(kFromJson, args, nargs, kwnames,
                       [](std::string_view json) { return arm::read_geometry_document(json); });
}

PyObject* arm_fk(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return call_method<ArmObject>(kFk, self, args, nargs, kwnames,
                                  [](const ArmObject& arm, double theta_a, double theta_b) {
                                      return end_effector_rotation(arm, theta_a, theta_b);
                                  });
}

PyObject* arm_ik(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return call_method<ArmObject>(kIk, self, args, nargs, kwnames,
                                  [](const ArmObject& arm, const Mat3& r_target) {
                                      return arm::inverse_kinematics(linkage_of(arm), r_target);
                                  });
}

PyObject* arm_ik_from_direction(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                PyObject* kwnames) {
    return call_method<ArmObject>(
        kIkFromDirection, self, args, nargs, kwnames,
        [](const ArmObject& arm, const Vec3& v3, const std::optional<JointPair>& near) {
            return arm::inverse_kinematics_from_direction(linkage_of(arm), v3, near);
        });
}

PyObject* arm_direction(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) {
    return call_method<ArmObject>(kDirection, self, args, nargs, kwnames,
                                  [](const ArmObject& arm, double theta_a, double theta_b) {
                                      return arm::pointing_direction(linkage_of(arm), theta_a,
                                                                     theta_b);
                                  });
}

PyObject* arm_is_reachable_joints(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kwnames) {
    return call_method<ArmObject>(kIsReachableJoints, self, args, nargs, kwnames,
                                  [](const ArmObject& arm, double theta_a, double theta_b) {
                                      return loop_closes(arm, theta_a, theta_b);
                                  });
}

PyObject* arm_is_reachable_orientation(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                       PyObject* kwnames) {
    return call_method<ArmObject>(kIsReachableOrientation, self, args, nargs, kwnames,
                                  [](const ArmObject& arm, const Mat3& r_target) {
                                      return arm::is_orientation_reachable(linkage_of(arm),
                                                                           r_target);
                                  });
}

PyObject* arm_is_reachable_direction(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                     PyObject* kwnames) {
    return call_method<ArmObject>(kIsReachableDirection, self, args, nargs, kwnames,
                                  [](const ArmObject& arm, const Vec3& v3) {
                                      return arm::is_direction_reachable(linkage_of(arm), v3);
                                  });
}

PyObject* arm_jacobian(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return call_method<ArmObject>(kJacobian, self, args, nargs, kwnames,
                                  [](const ArmObject& arm, double theta_a, double theta_b) {
                                      return arm::frame_jacobian(linkage_of(arm), theta_a, theta_b);
                                  });
}

PyObject* arm_direction_jacobian(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames) {
    return call_method<ArmObject>(kDirectionJacobian, self, args, nargs, kwnames,
                                  [](const ArmObject& arm, double theta_a, double theta_b) {
                                      return arm::direction_jacobian(linkage_of(arm), theta_a,
                                                                     theta_b);
                                  });
}

PyObject* arm_joint_rates(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) {
    return call_method<ArmObject>(
        kJointRates, self, args, nargs, kwnames,
        [](const ArmObject& arm, double theta_a, double theta_b, const Vec3& direction_rate) {
            return arm::joint_rates(linkage_of(arm), theta_a, theta_b, direction_rate);
        });
}

PyObject* arm_manipulability(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) {
    return call_method<ArmObject>(kManipulability, self, args, nargs, kwnames,
                                  [](const ArmObject& arm, double theta_a, double theta_b) {
                                      return arm::manipulability(linkage_of(arm), theta_a, theta_b);
                                  });
}

PyObject* arm_ik_solutions(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) {
    return call_method<ArmObject>(kIkSolutions, self, args, nargs, kwnames,
                                  [](const ArmObject& arm, const Mat3& r_target) {
                                      return arm::orientation_solutions(linkage_of(arm), r_target);
                                  });
}

PyObject* arm_ik_from_direction_solutions(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                          PyObject* kwnames) {
    return call_method<ArmObject>(kIkFromDirectionSolutions, self, args, nargs, kwnames,
                                  [](const ArmObject& arm, const Vec3& v3) {
                                      return arm::direction_solutions(linkage_of(arm), v3);
                                  });
}

PyObject* arm_fk_batch(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return run_rows<ArmObject>(kFkBatch, self, args, nargs, kwnames,
                               [](const ArmObject& arm, const double* joints, double* out) {
                                   write_row(out, end_effector_rotation(arm, joints[0], joints[1]));
                               });
}

PyObject* arm_direction_batch(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) {
    return run_rows<ArmObject>(
        kDirectionBatch, self, args, nargs, kwnames,
        [](const ArmObject& arm, const double* joints, double* out) {
            write_row(out, arm::pointing_direction(linkage_of(arm), joints[0], joints[1]));
        });
}

PyObject* arm_is_reachable_joints_batch(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                        PyObject* kwnames) {
    return run_rows<ArmObject>(kIsReachableJointsBatch, self, args, nargs, kwnames,
                               [](const ArmObject& arm, const double* joints, bool* out) {
                                   write_row(out, loop_closes(arm, joints[0], joints[1]));
                               });
}

PyObject* arm_ik_batch(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return run_rows<ArmObject>(
        kIkBatch, self, args, nargs, kwnames,
        [](const ArmObject& arm, const double* rotation, double* out) {
            write_row(out, arm::inverse_kinematics(linkage_of(arm), mat3_at(rotation)));
        });
}

PyObject* arm_is_reachable_orientation_batch(PyObject* self, PyObject* const* args,
                                             Py_ssize_t nargs, PyObject* kwnames) {
    return run_rows<ArmObject>(
        kIsReachableOrientationBatch, self, args, nargs, kwnames,
        [](const ArmObject& arm, const double* rotation, bool* out) {
            write_row(out, arm::is_orientation_reachable(linkage_of(arm), mat3_at(rotation)));
        });
}

PyObject* arm_ik_from_direction_batch(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                      PyObject* kwnames) {
    return run_rows<ArmObject>(
        kIkFromDirectionBatch, self, args, nargs, kwnames,
        [](const ArmObject& arm, const double* direction, const double* near, double* out) {
            write_row(out, arm::inverse_kinematics_from_direction(
                               linkage_of(arm), vec3_at(direction), optional_pair_at(near)));
        });
}

PyObject* arm_is_reachable_direction_batch(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                           PyObject* kwnames) {
    return run_rows<ArmObject>(
        kIsReachableDirectionBatch, self, args, nargs, kwnames,
        [](const ArmObject& arm, const double* direction, bool* out) {
            write_row(out, arm::is_direction_reachable(linkage_of(arm), vec3_at(direction)));
        });
}

PyObject* arm_ik_from_direction_path(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                     PyObject* kwnames) {
    // Rows run in order: each one starts from the last reachable row's pair.
    return run_rows<ArmObject>(
        kIkFromDirectionPath, self, args, nargs, kwnames,
        [previous = std::optional<JointPair>{}](const ArmObject& arm, const double* direction,
                                                const double* near, double* out) mutable {
            const auto pair = arm::inverse_kinematics_from_direction(
                linkage_of(arm), vec3_at(direction), previous ? previous : optional_pair_at(near));
            if (pair) {
                previous = *pair;
            }
            write_row(out, pair);
        });
}

PyObject* arm_jacobian_batch(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) {
    return run_rows<ArmObject>(
        kJacobianBatch, self, args, nargs, kwnames,
        [](const ArmObject& arm, const double* joints, double* out) {
            write_row(out, arm::frame_jacobian(linkage_of(arm), joints[0], joints[1]));
        });
}

PyObject* arm_direction_jacobian_batch(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                       PyObject* kwnames) {
    return run_rows<ArmObject>(
        kDirectionJacobianBatch, self, args, nargs, kwnames,
        [](const ArmObject& arm, const double* joints, double* out) {
            write_row(out, arm::direction_jacobian(linkage_of(arm), joints[0], joints[1]));
        });
}

PyObject* arm_manipulability_batch(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                   PyObject* kwnames) {
    return run_rows<ArmObject>(
        kManipulabilityBatch, self, args, nargs, kwnames,
        [](const ArmObject& arm, const double* joints, double* out) {
            write_row(out, arm::manipulability(linkage_of(arm), joints[0], joints[1]));
        });
}

PyObject* arm_arm_arc(PyObject* self, PyObject*) {
    return call_noargs<ArmObject>(
        kClassName, self, [](const ArmObject& arm) { return arm.linkage.geometry.arm_arc; });
}

PyObject* arm_coupler_arc(PyObject* self, PyObject*) {
    return call_noargs<ArmObject>(
        kClassName, self, [](const ArmObject& arm) { return arm.linkage.geometry.coupler_arc; });
}

PyObject* arm_mirror(PyObject* self, PyObject*) {
    return call_noargs<ArmObject>(kClassName, self,
                                  [](const ArmObject& arm) { return arm.linkage.geometry.mirror; });
}

PyObject* arm_to_json(PyObject* self, PyObject*) {
    return call_noargs<ArmObject>(kClassName, self, [](const ArmObject& arm) {
        return arm::write_geometry_document(arm.linkage.geometry);
    });
}

PyObject* arm_branch(PyObject* self, PyObject*) {
    return call_noargs<ArmObject>(kClassName, self,
                                  [](const ArmObject& arm) { return arm.linkage.geometry.branch; });
}

constexpr int kVectorcall = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef kArmMethods[] = {
    {"default_left", arm_default_left, METH_STATIC | METH_NOARGS, docs::kArmDefaultLeft},
    {"default_right", arm_default_right, METH_STATIC | METH_NOARGS, docs::kArmDefaultRight},
    {"from_json", as_cfunction<arm_from_json>(), METH_STATIC | kVectorcall, docs::kArmFromJson},
    {"fk", as_cfunction<arm_fk>(), kVectorcall, docs::kArmFk},
    {"ik", as_cfunction<arm_ik>(), kVectorcall, docs::kArmIk},
    {"ik_from_direction", as_cfunction<arm_ik_from_direction>(), kVectorcall,
     docs::kArmIkFromDirection},
    {"direction", as_cfunction<arm_direction>(), kVectorcall, docs::kArmDirection},
    {"is_reachable_joints", as_cfunction<arm_is_reachable_joints>(), kVectorcall,
     docs::kArmIsReachableJoints},
    {"is_reachable_orientation", as_cfunction<arm_is_reachable_orientation>(), kVectorcall,
     docs::kArmIsReachableOrientation},
    {"is_reachable_direction", as_cfunction<arm_is_reachable_direction>(), kVectorcall,
     docs::kArmIsReachableDirection},
    {"arm_arc", arm_arm_arc, METH_NOARGS, docs::kArmArmArc},
    {"coupler_arc", arm_coupler_arc, METH_NOARGS, docs::kArmCouplerArc},
    {"mirror", arm_mirror, METH_NOARGS, docs::kArmMirror},
    {"jacobian", as_cfunction<arm_jacobian>(), kVectorcall, docs::kArmJacobian},
    {"direction_jacobian", as_cfunction<arm_direction_jacobian>(), kVectorcall,
     docs::kArmDirectionJacobian},
    {"joint_rates", as_cfunction<arm_joint_rates>(), kVectorcall, docs::kArmJointRates},
    {"manipulability", as_cfunction<arm_manipulability>(), kVectorcall, docs::kArmManipulability},
    {"ik_solutions", as_cfunction<arm_ik_solutions>(), kVectorcall, docs::kArmIkSolutions},
    {"ik_from_direction_solutions", as_cfunction<arm_ik_from_direction_solutions>(), kVectorcall,
     docs::kArmIkFromDirectionSolutions},
    {"to_json", arm_to_json, METH_NOARGS, docs::kArmToJson},
    {"branch", arm_branch, METH_NOARGS, docs::kArmBranch},
    {"fk_batch", as_cfunction<arm_fk_batch>(), kVectorcall, docs::kArmFkBatch},
    {"direction_batch", as_cfunction<arm_direction_batch>(), kVectorcall, docs::kArmDirectionBatch},
    {"is_reachable_joints_batch", as_cfunction<arm_is_reachable_joints_batch>(), kVectorcall,
     docs::kArmIsReachableJointsBatch},
    {"ik_batch", as_cfunction<arm_ik_batch>(), kVectorcall, docs::kArmIkBatch},
    {"is_reachable_orientation_batch", as_cfunction<arm_is_reachable_orientation_batch>(),
     kVectorcall, docs::kArmIsReachableOrientationBatch},
    {"ik_from_direction_batch", as_cfunction<arm_ik_from_direction_batch>(), kVectorcall,
     docs::kArmIkFromDirectionBatch},
    {"is_reachable_direction_batch", as_cfunction<arm_is_reachable_direction_batch>(), kVectorcall,
     docs::kArmIsReachableDirectionBatch},
    {"ik_from_direction_path", as_cfunction<arm_ik_from_direction_path>(), kVectorcall,
     docs::kArmIkFromDirectionPath},
    {"jacobian_batch", as_cfunction<arm_jacobian_batch>(), kVectorcall, docs::kArmJacobianBatch},
    {"direction_jacobian_batch", as_cfunction<arm_direction_jacobian_batch>(), kVectorcall,
     docs::kArmDirectionJacobianBatch},
    {"manipulability_batch", as_cfunction<arm_manipulability_batch>(), kVectorcall,
     docs::kArmManipulabilityBatch},
    {nullptr, nullptr, 0, nullptr},
};

char kArmDoc[] = "TarveloArmKinematics(arm_arc=0.7, coupler_arc=0.5, mirror=False)\n--\n\n";

PyType_Slot kArmSlots[] = {
    {Py_tp_base, &PyBaseObject_Type},
    {Py_tp_new, reinterpret_cast<void*>(arm_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(deallocate_instance)},
    {Py_tp_doc, kArmDoc},
    {Py_tp_methods, kArmMethods},
    {0, nullptr},
};

PyType_Spec kArmSpec = {
    "tarvelo_torso_kinematics.TarveloArmKinematics",
    static_cast<int>(sizeof(ArmObject)),
    0,
    Py_TPFLAGS_DEFAULT,
    kArmSlots,
};

}  // namespace

PyTypeObject* ArmObject::create_type() { return type_once(type_cell, kArmSpec); }

PyObject* new_arm(PyTypeObject* type, const arm::SphericalLinkGeometry& geometry) {
    PyObject* self = allocate_instance(type);
    if (self != nullptr) {
        reinterpret_cast<ArmObject*>(self)->linkage = arm::prepare_linkage(geometry);
    }
    return self;
}

PyObject* new_arm(const arm::SphericalLinkGeometry& geometry) {
    PyTypeObject* type = ArmObject::type();
    return type != nullptr ? new_arm(type, geometry) : nullptr;
}

}  // namespace torso::py
