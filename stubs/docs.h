// Doc texts of the Python methods, shared by the method tables and the stub records.
// The run-time form starts with the text signature and "\n--\n\n", from which the
// interpreter derives __text_signature__; the stub shows only the body after it.
#pragma once

#include <string_view>

namespace torso::docs {

inline constexpr char kArmDefaultLeft[] =
    "default_left()\n--\n\nBuild the default left-arm geometry.";
inline constexpr char kArmDefaultRight[] =
    "default_right()\n--\n\nBuild the default right-arm geometry (mirror of left).";
inline constexpr char kArmFromJson[] =
    "from_json(json)\n--\n\nBuild the arm from a JSON string matching `SphericalLinkGeometry`.";
inline constexpr char kArmFk[] =
    "fk($self, theta_a, theta_b)\n--\n\n"
    "Forward kinematics: `(θ_A, θ_B)` → 3×3 rotation of the end-effector.\n"
    "Raises `RuntimeError` when the loop fails to close (target joint\n"
    "pair is outside the workspace).";
inline constexpr char kArmIk[] =
    "ik($self, r_target)\n--\n\n"
    "Inverse kinematics: 3×3 rotation → `(θ_A, θ_B)`.\n"
    "Raises `RuntimeError` when the target orientation isn't reachable.";
inline constexpr char kArmIkFromDirection[] =
    "ik_from_direction($self, v3, near=None)\n--\n\n"
    "Inverse kinematics from just the end-effector pointing direction\n"
    "(3-vector, automatically normalized). When multiple `(θ_A, θ_B)`\n"
    "branches reach the same direction, `near` (an optional current\n"
    "joint pair) picks the closest one; otherwise the smallest-norm\n"
    "solution wins.";
inline constexpr char kArmDirection[] =
    "direction($self, theta_a, theta_b)\n--\n\n"
    "Forward kinematics that returns just the end-effector pointing\n"
    "direction (the third column of the FK rotation, equal to `v_3`).";
inline constexpr char kArmIsReachableJoints[] =
    "is_reachable_joints($self, theta_a, theta_b)\n--\n\n"
    "Whether `(θ_A, θ_B)` lands inside the workspace (loop closes).";
inline constexpr char kArmIsReachableOrientation[] =
    "is_reachable_orientation($self, r_target)\n--\n\n"
    "Whether `r_target` is on the reachable manifold (IK succeeds).";
inline constexpr char kArmIsReachableDirection[] =
    "is_reachable_direction($self, v3)\n--\n\n"
    "Whether the pointing direction `v3` (3-vector, auto-normalized)\n"
    "is on the reachable manifold.";
inline constexpr char kArmArmArc[] = "arm_arc($self)\n--\n\n";
inline constexpr char kArmCouplerArc[] = "coupler_arc($self)\n--\n\n";
inline constexpr char kArmMirror[] = "mirror($self)\n--\n\n";
inline constexpr char kArmJacobian[] =
    "jacobian($self, theta_a, theta_b)\n--\n\n"
    "Angular-velocity Jacobian, 3×2 as 3 rows of 2 floats: column 0 (1)\n"
    "is the angular velocity of the end-effector frame (the rotation `fk`\n"
    "returns), in the base frame, per unit rate of θ_A (θ_B).\n"
    "Raises `RuntimeError` when the loop fails to close.";
inline constexpr char kArmDirectionJacobian[] =
    "direction_jacobian($self, theta_a, theta_b)\n--\n\n"
    "Pointing-direction Jacobian, 3×2 as 3 rows of 2 floats: column 0 (1)\n"
    "is the velocity of `v_3` per unit rate of θ_A (θ_B), tangent to the\n"
    "sphere; not finite at the closing limit.\n"
    "Raises `RuntimeError` when the loop fails to close.";
inline constexpr char kArmJointRates[] =
    "joint_rates($self, theta_a, theta_b, direction_rate)\n--\n\n"
    "Joint rates `(θ̇_A, θ̇_B)` that move the pointing direction `v_3` with\n"
    "`direction_rate` (3-vector; its part along `v_3` is ignored).\n"
    "Raises `ValueError` at a singular configuration (an input arm's tip,\n"
    "its base axis and `v_3`, or both tips and `v_3`, within 1e-6 of one\n"
    "plane) and `RuntimeError` when the loop fails to close.";
inline constexpr char kArmManipulability[] =
    "manipulability($self, theta_a, theta_b)\n--\n\n"
    "|t_A·t_B / det M|: the area gain from joint rates to the velocity of\n"
    "`v_3`. 0 where an input arm's tip, its base axis and `v_3` lie in one\n"
    "plane; grows without bound towards the closing limit.\n"
    "Raises `RuntimeError` when the loop fails to close.";
inline constexpr char kArmIkSolutions[] =
    "ik_solutions($self, r_target)\n--\n\n"
    "Every `(θ_A, θ_B)` whose rotation lies within 1e-6 of `r_target`, in\n"
    "the order `ik` considers them (`ik` returns one of them); `[]` when\n"
    "there is none.";
inline constexpr char kArmIkFromDirectionSolutions[] =
    "ik_from_direction_solutions($self, v3)\n--\n\n"
    "Every `(θ_A, θ_B)` that points the end-effector along `v3` (3-vector,\n"
    "automatically normalized), in the order `ik_from_direction` chooses\n"
    "among them; `[]` when `v3` is unreachable or too short.";
inline constexpr char kArmToJson[] =
    "to_json($self)\n--\n\n"
    "The arm's geometry as a JSON document in object form, with all four\n"
    "members, laid out as `json.dumps` writes the same dict. `from_json`\n"
    "reads it back to an arm with the very same arcs (bit for bit), branch\n"
    "and mirror flag.\n"
    "Raises `ValueError` when an arc is NaN or infinite, which JSON cannot hold.";
inline constexpr char kArmBranch[] =
    "branch($self)\n--\n\n"
    "Which of the two loop-closure solutions the arm takes: `\"positive\"`\n"
    "or `\"negative\"`.";

inline constexpr char kNeckFk[] =
    "fk($self, joints)\n--\n\n"
    "Forward kinematics. `joints = [yaw, pitch, roll]` in radians.\n"
    "Returns the 3×3 rotation matrix of the head frame in the body frame.";
inline constexpr char kNeckIk[] =
    "ik($self, r)\n--\n\n"
    "Inverse kinematics. `r` is a 3×3 rotation matrix (row-major).\n"
    "Returns `(yaw, pitch, roll)` in radians.\n"
    "\n"
    "Raises `ValueError` near gimbal lock (|pitch| ≈ π/2). The neck's\n"
    "pitch range is well under that limit in practice.";
inline constexpr char kNeckJacobian[] =
    "jacobian($self, joints)\n--\n\n"
    "Angular-velocity Jacobian, 3×3: column i is the head frame's angular\n"
    "velocity in the body frame per unit rate of joint i of\n"
    "`joints = [yaw, pitch, roll]` (radians). Its determinant is -cos(pitch).";
inline constexpr char kNeckJointRates[] =
    "joint_rates($self, joints, angular_velocity)\n--\n\n"
    "Joint rates `(yaw rate, pitch rate, roll rate)` that turn the head with\n"
    "`angular_velocity` (3-vector, body frame) at `joints`.\n"
    "\n"
    "Raises `ValueError` near gimbal lock, where `ik` refuses the rotation\n"
    "`fk(joints)` (|pitch| ≈ π/2).";

// Array methods, after the scalar ones.
/// The default of the array methods' `workers`: the calling thread alone.
inline constexpr int kDefaultWorkers = 1;

inline constexpr char kArmFkBatch[] =
    "fk_batch($self, joints, *, workers=1)\n--\n\n"
    "Forward kinematics of many joint pairs: `joints` of shape `(..., 2)`\n"
    "→ float64 `(..., 3, 3)`, each element the rotation `fk` returns.\n"
    "Rows whose loop does not close are NaN. `workers` threads share the\n"
    "rows (-1: one per CPU the process may run on).";
inline constexpr char kArmDirectionBatch[] =
    "direction_batch($self, joints, *, workers=1)\n--\n\n"
    "Pointing directions of many joint pairs: `joints` `(..., 2)` →\n"
    "float64 `(..., 3)`, each row what `direction` returns; NaN where the\n"
    "loop does not close. `workers` threads share the rows (-1: one per\n"
    "CPU the process may run on).";
inline constexpr char kArmIsReachableJointsBatch[] =
    "is_reachable_joints_batch($self, joints, *, workers=1)\n--\n\n"
    "Whether each joint pair closes the loop: `joints` `(..., 2)` → bool\n"
    "`(...)`, each element what `is_reachable_joints` returns. `workers`\n"
    "threads share the rows (-1: one per CPU the process may run on).";
inline constexpr char kArmIkBatch[] =
    "ik_batch($self, rotations, *, workers=1)\n--\n\n"
    "Inverse kinematics of many rotations: `rotations` `(..., 3, 3)`,\n"
    "row-major → float64 `(..., 2)`, each row the `(θ_A, θ_B)` of `ik`;\n"
    "NaN where the target isn't reachable. `workers` threads share the\n"
    "rows (-1: one per CPU the process may run on).";
inline constexpr char kArmIsReachableOrientationBatch[] =
    "is_reachable_orientation_batch($self, rotations, *, workers=1)\n--\n\n"
    "Whether each rotation is reachable: `rotations` `(..., 3, 3)` → bool\n"
    "`(...)`, each element what `is_reachable_orientation` returns.\n"
    "`workers` threads share the rows (-1: one per CPU the process may run on).";
inline constexpr char kArmIkFromDirectionBatch[] =
    "ik_from_direction_batch($self, directions, near=None, *, workers=1)\n--\n\n"
    "Inverse kinematics of many pointing directions: `directions`\n"
    "`(..., 3)` → float64 `(..., 2)`, each row what `ik_from_direction`\n"
    "returns; NaN where no joint pair reaches it. `near`, when given,\n"
    "broadcasts to `(..., 2)`: one pair for every row, or one per row.\n"
    "`workers` threads share the rows (-1: one per CPU the process may run on).";
inline constexpr char kArmIsReachableDirectionBatch[] =
    "is_reachable_direction_batch($self, directions, *, workers=1)\n--\n\n"
    "Whether each pointing direction is reachable: `directions` `(..., 3)`\n"
    "→ bool `(...)`, each element what `is_reachable_direction` returns.\n"
    "`workers` threads share the rows (-1: one per CPU the process may run on).";
inline constexpr char kArmIkFromDirectionPath[] =
    "ik_from_direction_path($self, directions, near=None)\n--\n\n"
    "Inverse kinematics along a path of pointing directions, on one\n"
    "solution branch: `directions` `(N, 3)` → float64 `(N, 2)`. Row i is\n"
    "`ik_from_direction(d_i, near=previous)`, previous being the last\n"
    "reachable row's pair, or `near` while no row has been reachable.\n"
    "An unreachable row is NaN and does not move the chain.";
inline constexpr char kArmJacobianBatch[] =
    "jacobian_batch($self, joints, *, workers=1)\n--\n\n"
    "Angular-velocity Jacobians of many joint pairs: `joints` `(..., 2)` →\n"
    "float64 `(..., 3, 2)`, each element what `jacobian` returns. Rows\n"
    "whose loop does not close are NaN. `workers` threads share the rows\n"
    "(-1: one per CPU the process may run on).";
inline constexpr char kArmDirectionJacobianBatch[] =
    "direction_jacobian_batch($self, joints, *, workers=1)\n--\n\n"
    "Pointing-direction Jacobians of many joint pairs: `joints` `(..., 2)`\n"
    "→ float64 `(..., 3, 2)`, each element what `direction_jacobian`\n"
    "returns. Rows whose loop does not close are NaN. `workers` threads\n"
    "share the rows (-1: one per CPU the process may run on).";
inline constexpr char kArmManipulabilityBatch[] =
    "manipulability_batch($self, joints, *, workers=1)\n--\n\n"
    "Manipulability of many joint pairs: `joints` `(..., 2)` → float64\n"
    "`(...)`, each element what `manipulability` returns; NaN where the\n"
    "loop does not close. `workers` threads share the rows (-1: one per\n"
    "CPU the process may run on).";
inline constexpr char kNeckFkBatch[] =
    "fk_batch($self, joints, *, workers=1)\n--\n\n"
    "Forward kinematics of many joint triples: `joints` `(..., 3)` as\n"
    "[yaw, pitch, roll] → float64 `(..., 3, 3)`, each element the rotation\n"
    "`fk` returns. `workers` threads share the rows (-1: one per CPU the\n"
    "process may run on).";
inline constexpr char kNeckIkBatch[] =
    "ik_batch($self, rotations, *, workers=1)\n--\n\n"
    "Inverse kinematics of many rotations: `rotations` `(..., 3, 3)`,\n"
    "row-major → float64 `(..., 3)`, each row the `(yaw, pitch, roll)` of\n"
    "`ik`; NaN near gimbal lock. `workers` threads share the rows (-1: one\n"
    "per CPU the process may run on).";
inline constexpr char kNeckJacobianBatch[] =
    "jacobian_batch($self, joints, *, workers=1)\n--\n\n"
    "Angular-velocity Jacobians of many joint triples: `joints` `(..., 3)`\n"
    "as [yaw, pitch, roll] → float64 `(..., 3, 3)`, each element what\n"
    "`jacobian` returns. `workers` threads share the rows (-1: one per CPU\n"
    "the process may run on).";

/// The arm constructor's body. The class doc text holds only the constructor's signature,
/// so this text appears in the stub alone.
inline constexpr std::string_view kArmNewBody =
    "Create an arm with explicit geometry parameters.\n"
    "\n"
    "- `arm_arc`: arc length (radians) of each input arm.\n"
    "- `coupler_arc`: arc length (radians) of each coupler segment.\n"
    "- `mirror`: when true, mirror the arm across the YZ plane (right arm).";

/// What follows the text-signature header of a run-time doc text; the whole text when
/// it has no header.
constexpr std::string_view doc_body(std::string_view runtime_doc) {
    constexpr std::string_view separator = ")\n--\n\n";
    // An index loop rather than string_view::find, whose constant evaluation g++ 12 rejects
    // when the undefined-behaviour sanitizer instruments char_traits.
    for (std::size_t at = 0; at + separator.size() <= runtime_doc.size(); ++at) {
        if (runtime_doc.substr(at, separator.size()) == separator) {
            return runtime_doc.substr(at + separator.size());
        }
    }
    return runtime_doc;
}

}  // namespace torso::docs
