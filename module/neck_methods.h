// TarveloNeckKinematics, declared: one row per Python method, in table order.
#pragma once

#include "module/declare.h"
#include "neck/neck.h"
#include "neck/rates.h"

namespace torso::py {

/// What a neck instance holds: nothing.
struct NeckValue {};

namespace neck_rows {

inline constexpr ArrayParam kJoints{"joints", kVectorRow};
inline constexpr ArrayParam kRotations{"rotations", kMatrixRow};
inline constexpr ArrayParam kAngularVelocities{"angular_velocities", kVectorRow,
                                               Leading::broadcast};

// Row costs are the core benchmark of each routine, in nanoseconds.
inline constexpr auto kNeck = class_rows<NeckValue>(
    "TarveloNeckKinematics", constructor(params(), "", [] { return NeckValue{}; }),
    method("fk", params("joints"),
           "Forward kinematics. `joints = [yaw, pitch, roll]` in radians.\n"
           "Returns the 3×3 rotation matrix of the head frame in the body frame.",
           [](const NeckValue&, const JointTriple& joints) {
               return neck::forward_kinematics(joints);
           })
        .always_plural(),
    method("ik", params("r"),
           "Inverse kinematics. `r` is a 3×3 rotation matrix (row-major).\n"
           "Returns `(yaw, pitch, roll)` in radians.\n"
           "\n"
           "Raises `ValueError` near gimbal lock (|pitch| ≈ π/2). The neck's\n"
           "pitch range is well under that limit in practice.",
           [](const NeckValue&, const Mat3& r) { return neck::inverse_kinematics(r); })
        .always_plural(),
    method("jacobian", params("joints"),
           "Angular-velocity Jacobian, 3×3: column i is the head frame's angular\n"
           "velocity in the body frame per unit rate of joint i of\n"
           "`joints = [yaw, pitch, roll]` (radians). Its determinant is -cos(pitch).",
           [](const NeckValue&, const JointTriple& joints) {
               return neck::angular_velocity_jacobian(joints);
           }),
    method("joint_rates", params("joints", "angular_velocity"),
           "Joint rates `(yaw rate, pitch rate, roll rate)` that turn the head with\n"
           "`angular_velocity` (3-vector, body frame) at `joints`.\n"
           "\n"
           "Raises `ValueError` near gimbal lock, where `ik` refuses the rotation\n"
           "`fk(joints)` (|pitch| ≈ π/2).",
           [](const NeckValue&, const JointTriple& joints, const Vec3& angular_velocity) {
               return neck::joint_rates(joints, angular_velocity);
           }),
    rows("fk_batch", arrays(kJoints), kMatrixRow, 60,
         "Forward kinematics of many joint triples: `joints` `(..., 3)` as\n"
         "[yaw, pitch, roll] → float64 `(..., 3, 3)`, each element the rotation\n"
         "`fk` returns.",
         [](const NeckValue&, const double* joints, double* out) {
             write_row(out, neck::forward_kinematics(triple_at(joints)));
         }),
    rows("ik_batch", arrays(kRotations), kVectorRow, 30,
         "Inverse kinematics of many rotations: `rotations` `(..., 3, 3)`,\n"
         "row-major → float64 `(..., 3)`, each row the `(yaw, pitch, roll)` of\n"
         "`ik`; NaN near gimbal lock.",
         [](const NeckValue&, const double* rotation, double* out) {
             write_row(out, neck::inverse_kinematics(mat3_at(rotation)));
         }),
    rows("jacobian_batch", arrays(kJoints), kMatrixRow, 25,
         "Angular-velocity Jacobians of many joint triples: `joints` `(..., 3)`\n"
         "as [yaw, pitch, roll] → float64 `(..., 3, 3)`, each element what\n"
         "`jacobian` returns.",
         [](const NeckValue&, const double* joints, double* out) {
             write_row(out, neck::angular_velocity_jacobian(triple_at(joints)));
         }),
    rows("joint_rates_batch", arrays(kJoints, kAngularVelocities), kVectorRow, 35,
         "Joint rates of many configurations: `joints` `(..., 3)` as\n"
         "[yaw, pitch, roll] and `angular_velocities` `(..., 3)` (body frame)\n"
         "→ float64 `(..., 3)`, each row what `joint_rates` returns; NaN near\n"
         "gimbal lock. `angular_velocities` broadcasts to `(..., 3)` over the\n"
         "rows of `joints`: one angular velocity for every row, or one per row.",
         [](const NeckValue&, const double* joints, const double* angular_velocity, double* out) {
             write_row(out, neck::joint_rates(triple_at(joints), vec3_at(angular_velocity)));
         }));

}  // namespace neck_rows

using neck_rows::kNeck;

}  // namespace torso::py
