// Rates of one arm: the Jacobians of its end-effector frame and pointing direction, the joint
// rates of a wanted direction rate, and the manipulability of the pointing direction.
#pragma once

#include <expected>
#include <string_view>
#include <variant>

#include "arm/fk.h"

namespace torso::arm {

/// The joint rates of a pointing-direction rate are not determined: an input arm's tip, its
/// base axis and v_3 lie in one plane, or the two tips and v_3 do.
struct SingularConfigurationError {
    static constexpr std::string_view message =
        "Singular configuration: joint rates are not determined for the pointing direction here.";
};

/// Why joint_rates has no answer.
using JointRateError = std::variant<LoopClosureError, SingularConfigurationError>;

/// Angular velocity of the end-effector frame (forward_kinematics' rotation), in the base
/// frame, per unit rate of θ_A (column 0) and θ_B (column 1), or LoopClosureError.
std::expected<Mat3x2, LoopClosureError> frame_jacobian(const ArmLinkage& linkage, double theta_a,
                                                       double theta_b);

/// Velocity of the pointing direction v_3 per unit rate of θ_A (column 0) and θ_B (column 1),
/// tangent to the sphere at v_3; not finite where the two tips and v_3 lie in one plane.
std::expected<Mat3x2, LoopClosureError> direction_jacobian(const ArmLinkage& linkage,
                                                           double theta_a, double theta_b);

/// (θ̇_A, θ̇_B) that move v_3 with `direction_rate` (its part along v_3 is ignored), or
/// SingularConfigurationError where |t_A|, |t_B| or |det M| is below 1e-6.
std::expected<JointPair, JointRateError> joint_rates(const ArmLinkage& linkage, double theta_a,
                                                     double theta_b, const Vec3& direction_rate);

/// |t_A t_B / det M|, the area that a unit square of joint rates sweeps on the sphere at v_3:
/// 0 where a tip, its base axis and v_3 lie in one plane; infinite where the tips and v_3 do.
std::expected<double, LoopClosureError> manipulability(const ArmLinkage& linkage, double theta_a,
                                                       double theta_b);

}  // namespace torso::arm
