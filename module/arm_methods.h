// TarveloArmKinematics, declared: one row per Python method, in table order.
#pragma once

#include <optional>
#include <string_view>

#include "arm/fk.h"
#include "arm/geometry.h"
#include "arm/geometry_document.h"
#include "arm/geometry_document_writer.h"
#include "arm/ik.h"
#include "arm/rates.h"
#include "core/expected.h"
#include "module/declare.h"

namespace torso::py {
namespace arm_rows {

using arm::ArmLinkage;

/// The rotation that `fk` returns: the end-effector frame of the closed loop.
inline std::expected<Mat3, arm::LoopClosureError>
end_effector_rotation(const ArmLinkage& arm, double theta_a, double theta_b) {
    return map_value(arm::forward_kinematics(arm, theta_a, theta_b),
                     [](const arm::LinkagePose& pose) { return pose.rotation; });
}

/// What `is_reachable_joints` returns: whether the loop closes.
inline bool loop_closes(const ArmLinkage& arm, double theta_a, double theta_b) {
    return arm::pointing_direction(arm, theta_a, theta_b).has_value();
}

inline constexpr ArrayParam kJoints{"joints", kPairRow};
inline constexpr ArrayParam kRotations{"rotations", kMatrixRow};
inline constexpr ArrayParam kDirections{"directions", kVectorRow};
inline constexpr ArrayParam kNear{"near", kPairRow, Leading::broadcast, true};
inline constexpr ArrayParam kDirectionRates{"direction_rates", kVectorRow, Leading::broadcast};

/// What `linkage_points` returns: v_2, v_3 and v_4 as the rows of a matrix.
inline std::expected<Mat3, arm::LoopClosureError> points_as_rows(const ArmLinkage& arm,
                                                                 double theta_a, double theta_b) {
    return map_value(arm::linkage_points(arm, theta_a, theta_b),
                     [](const arm::LinkagePoints& points) {
                         return transpose(Mat3{{points.v_2, points.v_3, points.v_4}});
                     });
}

// Row costs are the core benchmark of each routine on the default arm, in nanoseconds.
inline constexpr auto kArm = class_rows<ArmLinkage>(
    "TarveloArmKinematics",
    constructor(params("arm_arc", "coupler_arc", "mirror"),
                "Create an arm with explicit geometry parameters.\n"
                "\n"
                "- `arm_arc`: arc length (radians) of each input arm.\n"
                "- `coupler_arc`: arc length (radians) of each coupler segment.\n"
                "- `mirror`: when true, mirror the arm across the YZ plane (right arm).",
                [](Default<arm::kDefaultLeft.arm_arc> arm_arc,
                   Default<arm::kDefaultLeft.coupler_arc> coupler_arc,
                   Default<arm::kDefaultLeft.mirror> mirror) {
                    return arm::SphericalLinkGeometry{arm_arc.value, coupler_arc.value,
                                                      arm::Branch::positive, mirror.value};
                }),
    static_method("default_left", params(), "Build the default left-arm geometry.",
                  [] { return arm::kDefaultLeft; }),
    static_method("default_right", params(),
                  "Build the default right-arm geometry (mirror of left).",
                  [] { return arm::kDefaultRight; }),
    static_method("from_json", params("json"),
                  "Build the arm from a JSON string matching `SphericalLinkGeometry`.",
                  [](std::string_view json) { return arm::read_geometry_document(json); })
        .always_plural(),
    method("fk", params("theta_a", "theta_b"),
           "Forward kinematics: `(θ_A, θ_B)` → 3×3 rotation of the end-effector.\n"
           "Raises `RuntimeError` when the loop fails to close (target joint\n"
           "pair is outside the workspace).",
           [](const ArmLinkage& arm, double theta_a, double theta_b) {
               return end_effector_rotation(arm, theta_a, theta_b);
           }),
    method("ik", params("r_target"),
           "Inverse kinematics: 3×3 rotation → `(θ_A, θ_B)`.\n"
           "Raises `RuntimeError` when the target orientation isn't reachable.",
           [](const ArmLinkage& arm, const Mat3& r_target) {
               return arm::inverse_kinematics(arm, r_target);
           })
        .always_plural(),
    method("ik_from_direction", params("v3", "near"),
           "Inverse kinematics from just the end-effector pointing direction\n"
           "(3-vector, automatically normalized). When multiple `(θ_A, θ_B)`\n"
           "branches reach the same direction, `near` (an optional current\n"
           "joint pair) picks the closest one; otherwise the smallest-norm\n"
           "solution wins.",
           [](const ArmLinkage& arm, const Vec3& v3, const std::optional<JointPair>& near) {
               return arm::inverse_kinematics_from_direction(arm, v3, near);
           }),
    method("direction", params("theta_a", "theta_b"),
           "Forward kinematics that returns just the end-effector pointing\n"
           "direction (the third column of the FK rotation, equal to `v_3`).",
           [](const ArmLinkage& arm, double theta_a, double theta_b) {
               return arm::pointing_direction(arm, theta_a, theta_b);
           }),
    method("is_reachable_joints", params("theta_a", "theta_b"),
           "Whether `(θ_A, θ_B)` lands inside the workspace (loop closes).",
           [](const ArmLinkage& arm, double theta_a, double theta_b) {
               return loop_closes(arm, theta_a, theta_b);
           }),
    method("is_reachable_orientation", params("r_target"),
           "Whether `r_target` is on the reachable manifold (IK succeeds).",
           [](const ArmLinkage& arm, const Mat3& r_target) {
               return arm::is_orientation_reachable(arm, r_target);
           })
        .always_plural(),
    method(
        "is_reachable_direction", params("v3"),
        "Whether the pointing direction `v3` (3-vector, auto-normalized)\n"
        "is on the reachable manifold.",
        [](const ArmLinkage& arm, const Vec3& v3) { return arm::is_direction_reachable(arm, v3); })
        .always_plural(),
    method("arm_arc", params(), "", [](const ArmLinkage& arm) { return arm.geometry.arm_arc; }),
    method("coupler_arc", params(), "",
           [](const ArmLinkage& arm) { return arm.geometry.coupler_arc; }),
    method("mirror", params(), "", [](const ArmLinkage& arm) { return arm.geometry.mirror; }),
    method("jacobian", params("theta_a", "theta_b"),
           "Angular-velocity Jacobian, 3×2 as 3 rows of 2 floats: column 0 (1)\n"
           "is the angular velocity of the end-effector frame (the rotation `fk`\n"
           "returns), in the base frame, per unit rate of θ_A (θ_B).\n"
           "Raises `RuntimeError` when the loop fails to close.",
           [](const ArmLinkage& arm, double theta_a, double theta_b) {
               return arm::frame_jacobian(arm, theta_a, theta_b);
           }),
    method("direction_jacobian", params("theta_a", "theta_b"),
           "Pointing-direction Jacobian, 3×2 as 3 rows of 2 floats: column 0 (1)\n"
           "is the velocity of `v_3` per unit rate of θ_A (θ_B), tangent to the\n"
           "sphere; not finite at the closing limit.\n"
           "Raises `RuntimeError` when the loop fails to close.",
           [](const ArmLinkage& arm, double theta_a, double theta_b) {
               return arm::direction_jacobian(arm, theta_a, theta_b);
           }),
    method("joint_rates", params("theta_a", "theta_b", "direction_rate"),
           "Joint rates `(θ̇_A, θ̇_B)` that move the pointing direction `v_3` with\n"
           "`direction_rate` (3-vector; its part along `v_3` is ignored).\n"
           "Raises `ValueError` at a singular configuration (an input arm's tip,\n"
           "its base axis and `v_3`, or both tips and `v_3`, within 1e-6 of one\n"
           "plane) and `RuntimeError` when the loop fails to close.",
           [](const ArmLinkage& arm, double theta_a, double theta_b, const Vec3& direction_rate) {
               return arm::joint_rates(arm, theta_a, theta_b, direction_rate);
           }),
    method("manipulability", params("theta_a", "theta_b"),
           "|t_A·t_B / det M|: the area gain from joint rates to the velocity of\n"
           "`v_3`. 0 where an input arm's tip, its base axis and `v_3` lie in one\n"
           "plane; grows without bound towards the closing limit.\n"
           "Raises `RuntimeError` when the loop fails to close.",
           [](const ArmLinkage& arm, double theta_a, double theta_b) {
               return arm::manipulability(arm, theta_a, theta_b);
           }),
    method("ik_solutions", params("r_target"),
           "Every `(θ_A, θ_B)` whose rotation lies within 1e-6 of `r_target`, in\n"
           "the order `ik` considers them (`ik` returns one of them); `[]` when\n"
           "there is none.",
           [](const ArmLinkage& arm, const Mat3& r_target) {
               return arm::orientation_solutions(arm, r_target);
           }),
    method("ik_from_direction_solutions", params("v3"),
           "Every `(θ_A, θ_B)` that points the end-effector along `v3` (3-vector,\n"
           "automatically normalized), in the order `ik_from_direction` chooses\n"
           "among them; `[]` when `v3` is unreachable or too short.",
           [](const ArmLinkage& arm, const Vec3& v3) { return arm::direction_solutions(arm, v3); }),
    method("to_json", params(),
           "The arm's geometry as a JSON document in object form, with all four\n"
           "members, laid out as `json.dumps` writes the same dict. `from_json`\n"
           "reads it back to an arm with the very same arcs (bit for bit), branch\n"
           "and mirror flag.\n"
           "Raises `ValueError` when an arc is NaN or infinite, which JSON cannot hold.",
           [](const ArmLinkage& arm) { return arm::write_geometry_document(arm.geometry); }),
    method("branch", params(),
           "Which of the two loop-closure solutions the arm takes: `\"positive\"`\n"
           "or `\"negative\"`.",
           [](const ArmLinkage& arm) { return arm.geometry.branch; }),
    rows("fk_batch", arrays(kJoints), kMatrixRow, 80,
         "Forward kinematics of many joint pairs: `joints` of shape `(..., 2)`\n"
         "→ float64 `(..., 3, 3)`, each element the rotation `fk` returns.\n"
         "Rows whose loop does not close are NaN.",
         [](const ArmLinkage& arm, const double* joints, double* out) {
             write_row(out, end_effector_rotation(arm, joints[0], joints[1]));
         }),
    rows("direction_batch", arrays(kJoints), kVectorRow, 40,
         "Pointing directions of many joint pairs: `joints` `(..., 2)` →\n"
         "float64 `(..., 3)`, each row what `direction` returns; NaN where the\n"
         "loop does not close.",
         [](const ArmLinkage& arm, const double* joints, double* out) {
             write_row(out, arm::pointing_direction(arm, joints[0], joints[1]));
         }),
    rows("is_reachable_joints_batch", arrays(kJoints), kScalarRow, 40,
         "Whether each joint pair closes the loop: `joints` `(..., 2)` → bool\n"
         "`(...)`, each element what `is_reachable_joints` returns.",
         [](const ArmLinkage& arm, const double* joints, bool* out) {
             write_row(out, loop_closes(arm, joints[0], joints[1]));
         }),
    rows("ik_batch", arrays(kRotations), kPairRow, 430,
         "Inverse kinematics of many rotations: `rotations` `(..., 3, 3)`,\n"
         "row-major → float64 `(..., 2)`, each row the `(θ_A, θ_B)` of `ik`;\n"
         "NaN where the target isn't reachable.",
         [](const ArmLinkage& arm, const double* rotation, double* out) {
             write_row(out, arm::inverse_kinematics(arm, mat3_at(rotation)));
         }),
    rows("is_reachable_orientation_batch", arrays(kRotations), kScalarRow, 380,
         "Whether each rotation is reachable: `rotations` `(..., 3, 3)` → bool\n"
         "`(...)`, each element what `is_reachable_orientation` returns.\n",
         [](const ArmLinkage& arm, const double* rotation, bool* out) {
             write_row(out, arm::is_orientation_reachable(arm, mat3_at(rotation)));
         }),
    rows("ik_from_direction_batch", arrays(kDirections, kNear), kPairRow, 340,
         "Inverse kinematics of many pointing directions: `directions`\n"
         "`(..., 3)` → float64 `(..., 2)`, each row what `ik_from_direction`\n"
         "returns; NaN where no joint pair reaches it. `near`, when given,\n"
         "broadcasts to `(..., 2)`: one pair for every row, or one per row.\n",
         [](const ArmLinkage& arm, const double* direction, const double* near, double* out) {
             write_row(out, arm::inverse_kinematics_from_direction(arm, vec3_at(direction),
                                                                   optional_pair_at(near)));
         }),
    rows("is_reachable_direction_batch", arrays(kDirections), kScalarRow, 250,
         "Whether each pointing direction is reachable: `directions` `(..., 3)`\n"
         "→ bool `(...)`, each element what `is_reachable_direction` returns.\n",
         [](const ArmLinkage& arm, const double* direction, bool* out) {
             write_row(out, arm::is_direction_reachable(arm, vec3_at(direction)));
         }),
    // Rows run in order: each one starts from the last reachable row's pair.
    rows_in_order(
        "ik_from_direction_path",
        arrays(ArrayParam{"directions", kVectorRow, Leading::one_axis}, kNear), kPairRow, 340,
        "Inverse kinematics along a path of pointing directions, on one\n"
        "solution branch: `directions` `(N, 3)` → float64 `(N, 2)`. Row i is\n"
        "`ik_from_direction(d_i, near=previous)`, previous being the last\n"
        "reachable row's pair, or `near` while no row has been reachable.\n"
        "An unreachable row is NaN and does not move the chain.",
        [previous = std::optional<JointPair>{}](const ArmLinkage& arm, const double* direction,
                                                const double* near, double* out) mutable {
            const auto pair = arm::inverse_kinematics_from_direction(
                arm, vec3_at(direction), previous ? previous : optional_pair_at(near));
            if (pair) {
                previous = *pair;
            }
            write_row(out, pair);
        }),
    rows("jacobian_batch", arrays(kJoints), kJacobianRow, 130,
         "Angular-velocity Jacobians of many joint pairs: `joints` `(..., 2)` →\n"
         "float64 `(..., 3, 2)`, each element what `jacobian` returns. Rows\n"
         "whose loop does not close are NaN.",
         [](const ArmLinkage& arm, const double* joints, double* out) {
             write_row(out, arm::frame_jacobian(arm, joints[0], joints[1]));
         }),
    rows("direction_jacobian_batch", arrays(kJoints), kJacobianRow, 80,
         "Pointing-direction Jacobians of many joint pairs: `joints` `(..., 2)`\n"
         "→ float64 `(..., 3, 2)`, each element what `direction_jacobian`\n"
         "returns. Rows whose loop does not close are NaN.",
         [](const ArmLinkage& arm, const double* joints, double* out) {
             write_row(out, arm::direction_jacobian(arm, joints[0], joints[1]));
         }),
    rows("manipulability_batch", arrays(kJoints), kScalarRow, 80,
         "Manipulability of many joint pairs: `joints` `(..., 2)` → float64\n"
         "`(...)`, each element what `manipulability` returns; NaN where the\n"
         "loop does not close.",
         [](const ArmLinkage& arm, const double* joints, double* out) {
             write_row(out, arm::manipulability(arm, joints[0], joints[1]));
         }),
    method("ik_nearest", params("r_target"),
           "Inverse kinematics without the 1e-6 match, for measured or planned\n"
           "orientations: 3×3 rotation → `(θ_A, θ_B, distance)`. Of the joint\n"
           "pairs that `ik` considers, the one whose rotation lies nearest to\n"
           "`r_target` (Frobenius distance), the first of equal distances; where\n"
           "`ik` succeeds, the same pair, at a distance below 1e-6.\n"
           "Raises `RuntimeError` when there is no candidate, or when every\n"
           "distance is NaN.",
           [](const ArmLinkage& arm, const Mat3& r_target) {
               return arm::nearest_orientation(arm, r_target);
           }),
    rows("ik_nearest_batch", arrays(kRotations), kVectorRow, 510,
         "`ik_nearest` of many rotations: `rotations` `(..., 3, 3)`, row-major\n"
         "→ float64 `(..., 3)`, each row the `(θ_A, θ_B, distance)` it returns;\n"
         "NaN where it raises.",
         [](const ArmLinkage& arm, const double* rotation, double* out) {
             write_row(out, arm::nearest_orientation(arm, mat3_at(rotation)));
         }),
    rows("joint_rates_batch", arrays(kJoints, kDirectionRates), kPairRow, 85,
         "Joint rates of many configurations: `joints` `(..., 2)` and\n"
         "`direction_rates` `(..., 3)` → float64 `(..., 2)`, each row what\n"
         "`joint_rates` returns; NaN where the configuration is singular or the\n"
         "loop does not close. `direction_rates` broadcasts to `(..., 3)` over\n"
         "the rows of `joints`: one rate for every row, or one per row.",
         [](const ArmLinkage& arm, const double* joints, const double* rate, double* out) {
             write_row(out, arm::joint_rates(arm, joints[0], joints[1], vec3_at(rate)));
         }),
    method("linkage_points", params("theta_a", "theta_b"),
           "The points of the closed linkage at `(θ_A, θ_B)`, for drawing it: the\n"
           "unit vectors `v_2` (arm A's tip), `v_3` (the pointing direction) and\n"
           "`v_4` (arm B's tip), as 3 rows of 3 floats, in the base frame.\n"
           "Raises `RuntimeError` when the loop fails to close.",
           [](const ArmLinkage& arm, double theta_a, double theta_b) {
               return points_as_rows(arm, theta_a, theta_b);
           }),
    rows("linkage_points_batch", arrays(kJoints), kMatrixRow, 45,
         "Points of the linkage at many joint pairs: `joints` `(..., 2)` →\n"
         "float64 `(..., 3, 3)`, each element the rows `linkage_points`\n"
         "returns. Rows whose loop does not close are NaN.",
         [](const ArmLinkage& arm, const double* joints, double* out) {
             write_row(out, points_as_rows(arm, joints[0], joints[1]));
         }));

}  // namespace arm_rows

using arm_rows::kArm;

}  // namespace torso::py
