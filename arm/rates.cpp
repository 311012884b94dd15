// Rates of one arm, from differentiating the loop's closure conditions w_i·v_3 = cos β.
//
// With the tips w_A = v_2 and w_B = v_4 turning about u_A and u_B, the conditions give
// w_i·v̇_3 = -θ̇_i t_i with t_i = (u_i × w_i)·v_3, and v_3·v̇_3 = 0: a 3x3 system whose matrix
// M has the rows w_A, w_B and v_3.
#include "arm/rates.h"

#include <cmath>
#include <cstddef>

namespace torso::arm {
namespace {

// Strict: the configuration is singular where |t_A|, |t_B| or |det M| lies below
// kSingularityMargin. Each is a triple product of unit vectors (at most 1) that vanishes on a
// singular set: the joint rates divide by t_A and t_B (so none needs a gain above 10⁶ here),
// the direction's rates by det M. A value exactly at the margin is not singular, and a NaN is
// not either: NaN joint angles give NaN rates, as they give NaN poses.
constexpr double kSingularityMargin = 1e-6;

constexpr Vec3 kAxisA{0.0, 0.0, 1.0};

/// First-order motion of the loop closed at one joint pair.
struct LoopMotion {
    Vec3 v_2, v_3, v_4;
    Vec3 tip_rate_a;  // dv_2/dθ_A = u_A × v_2
    Vec3 tip_rate_b;  // dv_4/dθ_B = u_B × v_4
    double t_a;       // (u_A × v_2)·v_3
    double t_b;       // (u_B × v_4)·v_3
    double det_m;     // det M = v_2·(v_4 × v_3)
};

/// The loop's motion at (θ_A, θ_B): the same tips and v_3 as forward_kinematics.
std::expected<LoopMotion, LoopClosureError> loop_motion(const ArmLinkage& linkage, double theta_a,
                                                        double theta_b) {
    const Vec3 v_2 = tip_of_arm_a(linkage, theta_a);
    const Vec3 v_4 = tip_of_arm_b(linkage, theta_b);
    const std::optional<Vec3> v_3 = coupler_meeting_point(linkage, v_2, v_4);
    if (!v_3) {
        return std::unexpected(LoopClosureError{});
    }
    const Vec3 tip_rate_a = cross(kAxisA, v_2);
    const Vec3 tip_rate_b = cross(Vec3{linkage.s, 0.0, 0.0}, v_4);
    return LoopMotion{v_2,
                      *v_3,
                      v_4,
                      tip_rate_a,
                      tip_rate_b,
                      dot(tip_rate_a, *v_3),
                      dot(tip_rate_b, *v_3),
                      dot(v_2, cross(v_4, *v_3))};
}

/// v̇_3 per unit joint rate: M⁻¹ (-t_A, 0, 0) and M⁻¹ (0, -t_B, 0), where M⁻¹ has the columns
/// (v_4 × v_3, v_3 × v_2, v_2 × v_4) / det M.
Mat3x2 direction_columns(const LoopMotion& m) {
    return Mat3x2{
        {(-m.t_a / m.det_m) * cross(m.v_4, m.v_3), (-m.t_b / m.det_m) * cross(m.v_3, m.v_2)}};
}

/// Rate of the frame's roll about v_3, ė_x·e_y, for a tip-sum rate and a v_3 rate. e_x is
/// `reference` made perpendicular to v_3 and normalised, so ė_x·e_y = ṗ·e_y / |p| with
/// ṗ·e_y = ṙeference·e_y - (reference·v_3)(v̇_3·e_y). The bisector (v_2 + v_4)/|v_2 + v_4| has
/// no part along e_y, so its rate there is (v̇_2 + v̇_4)·e_y / |v_2 + v_4|; a fixed base axis
/// does not turn.
double roll_rate(const XAxisConstruction& x_axis, const Vec3& v_3, const Vec3& e_y,
                 const Vec3& tip_sum_rate, const Vec3& v_3_rate) {
    const double reference_turn =
        x_axis.follows_tips ? dot(tip_sum_rate, e_y) / x_axis.tip_sum_length : 0.0;
    return (reference_turn - (dot(x_axis.reference, v_3) * dot(v_3_rate, e_y))) / x_axis.length;
}

bool is_singular(const LoopMotion& m) {
    return std::fabs(m.t_a) < kSingularityMargin || std::fabs(m.t_b) < kSingularityMargin ||
           std::fabs(m.det_m) < kSingularityMargin;
}

}  // namespace

std::expected<Mat3x2, LoopClosureError> frame_jacobian(const ArmLinkage& linkage, double theta_a,
                                                       double theta_b) {
    const auto motion = loop_motion(linkage, theta_a, theta_b);
    if (!motion) {
        return std::unexpected(motion.error());
    }
    const LoopMotion& m = *motion;
    const XAxisConstruction x_axis = x_axis_construction(m.v_2, m.v_3, m.v_4);
    const Vec3 e_y = cross(m.v_3, x_axis.axis());
    const Mat3x2 v_3_rates = direction_columns(m);
    const Vec3 tip_rates[] = {m.tip_rate_a, m.tip_rate_b};
    Mat3x2 omega{};
    for (std::size_t j = 0; j < 2; ++j) {
        // ω = v_3 × v̇_3 (its part across v_3) + (ė_x·e_y) v_3 (its part along v_3).
        const Vec3& v_3_rate = v_3_rates.columns[j];
        omega.columns[j] =
            cross(m.v_3, v_3_rate) + roll_rate(x_axis, m.v_3, e_y, tip_rates[j], v_3_rate) * m.v_3;
    }
    return omega;
}

std::expected<Mat3x2, LoopClosureError> direction_jacobian(const ArmLinkage& linkage,
                                                           double theta_a, double theta_b) {
    const auto motion = loop_motion(linkage, theta_a, theta_b);
    if (!motion) {
        return std::unexpected(motion.error());
    }
    return direction_columns(*motion);
}

std::expected<JointPair, JointRateError> joint_rates(const ArmLinkage& linkage, double theta_a,
                                                     double theta_b, const Vec3& direction_rate) {
    const auto motion = loop_motion(linkage, theta_a, theta_b);
    if (!motion) {
        return std::unexpected(motion.error());
    }
    const LoopMotion& m = *motion;
    if (is_singular(m)) {
        return std::unexpected(SingularConfigurationError{});
    }
    // The rows w_i of M give w_i·v̇_3 = -θ̇_i t_i for a tangent v̇_3.
    const Vec3 tangent_rate = reject(direction_rate, m.v_3);
    return JointPair{-dot(m.v_2, tangent_rate) / m.t_a, -dot(m.v_4, tangent_rate) / m.t_b};
}

std::expected<double, LoopClosureError> manipulability(const ArmLinkage& linkage, double theta_a,
                                                       double theta_b) {
    const auto motion = loop_motion(linkage, theta_a, theta_b);
    if (!motion) {
        return std::unexpected(motion.error());
    }
    // The two columns of the direction Jacobian span t_A t_B / det M times v_3.
    return std::fabs((motion->t_a * motion->t_b) / motion->det_m);
}

}  // namespace torso::arm
