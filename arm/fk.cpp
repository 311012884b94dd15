// Forward kinematics of one arm: joint pair to tips, loop closure, end-effector frame.
#include "arm/fk.h"

#include <cmath>

#include "core/expected.h"

namespace torso::arm {

namespace {

// Strict: w < kDegenerateCentres refuses centres this close to coincident or opposite; an
// exactly equal w is kept, and a NaN w passes on into a NaN point.
constexpr double kDegenerateCentres = 1e-12;

// Strict: |p| > kDegenerateBisector keeps the tips' bisector as the x axis; an exactly equal
// |p| and a NaN |p| both fall back to a base axis.
constexpr double kDegenerateBisector = 1e-12;

// Strict: |v_3.x| < kFallbackAxisLimit falls back to the base x axis; an exactly equal value
// and a NaN fall back to the base y axis.
constexpr double kFallbackAxisLimit = 0.9;

/// m clamped to [-1, 1]; a NaN passes both tests unchanged.
double clamp_cosine(double m) {
    if (m < -1.0) {
        return -1.0;
    }
    if (m > 1.0) {
        return 1.0;
    }
    return m;
}

/// The construction of e_x, inlined where forward kinematics needs only the axis.
inline XAxisConstruction construct_x_axis(const Vec3& v_2, const Vec3& v_3, const Vec3& v_4) {
    const Vec3 tip_sum = v_2 + v_4;
    const double tip_sum_length = norm(tip_sum);
    const Vec3 mid = tip_sum / tip_sum_length;
    const Vec3 p = reject(mid, v_3);
    const double p_length = norm(p);
    if (p_length > kDegenerateBisector) {
        return {mid, p, p_length, true, tip_sum_length};
    }
    const Vec3 h =
        std::fabs(v_3.x) < kFallbackAxisLimit ? Vec3{1.0, 0.0, 0.0} : Vec3{0.0, 1.0, 0.0};
    const Vec3 q = reject(h, v_3);
    return {h, q, norm(q), false, tip_sum_length};
}

}  // namespace

XAxisConstruction x_axis_construction(const Vec3& v_2, const Vec3& v_3, const Vec3& v_4) {
    return construct_x_axis(v_2, v_3, v_4);
}

Vec3 tip_of_arm_a(const ArmLinkage& linkage, double theta_a) {
    const double radius = linkage.s * linkage.sin_alpha;
    // A zero angle is the identity rotation: the rest tip, with no sin or cos evaluated.
    if (theta_a == 0.0) {
        return {radius, 0.0, linkage.cos_alpha};
    }
    return {radius * std::cos(theta_a), radius * std::sin(theta_a), linkage.cos_alpha};
}

Vec3 tip_of_arm_b(const ArmLinkage& linkage, double theta_b) {
    const double along_axis = linkage.s * linkage.cos_alpha;
    if (theta_b == 0.0) {
        return {along_axis, 0.0, linkage.sin_alpha};
    }
    return {along_axis, (-linkage.s * linkage.sin_alpha) * std::sin(theta_b),
            linkage.sin_alpha * std::cos(theta_b)};
}

std::optional<Vec3> intersect_small_circles_cos(const Vec3& c1, const Vec3& c2, double cos_r1,
                                                double cos_r2, double sign) {
    const double m = clamp_cosine(dot(c1, c2));
    const double w = std::sqrt(1.0 - m * m);
    if (w < kDegenerateCentres) {
        return std::nullopt;
    }
    const double a = cos_r1;
    const double b = (cos_r2 - a * m) / w;
    const double t = (1.0 - a * a) - b * b;
    // Strict: circles that just touch (t == 0) meet in one point; a NaN t passes on.
    if (t < 0.0) {
        return std::nullopt;
    }
    const Vec3 n = cross(c1, c2) / w;
    const Vec3 u = cross(n, c1);
    const double h = sign * std::sqrt(t);
    // Summed per component as (a c1 + b u) + h n.
    return (a * c1 + b * u) + h * n;
}

std::optional<Vec3> intersect_small_circles(const Vec3& c1, const Vec3& c2, double r1, double r2,
                                            double sign) {
    return intersect_small_circles_cos(c1, c2, std::cos(r1), std::cos(r2), sign);
}

std::optional<Vec3> coupler_meeting_point(const ArmLinkage& linkage, const Vec3& v_2,
                                          const Vec3& v_4) {
    return intersect_small_circles_cos(v_2, v_4, linkage.cos_beta, linkage.cos_beta, linkage.sigma);
}

LinkagePose pose_of_closed_loop(const Vec3& v_2, const Vec3& v_3, const Vec3& v_4) {
    const Vec3 e_x = construct_x_axis(v_2, v_3, v_4).axis();
    const Vec3 e_y = cross(v_3, e_x);
    return LinkagePose{Mat3{{e_x, e_y, v_3}}, v_2, v_3, v_4};
}

std::expected<LinkagePose, LoopClosureError> close_loop(const ArmLinkage& linkage, const Vec3& v_2,
                                                        const Vec3& v_4) {
    const std::optional<Vec3> v_3 = coupler_meeting_point(linkage, v_2, v_4);
    if (!v_3) {
        return std::unexpected(LoopClosureError{});
    }
    return pose_of_closed_loop(v_2, *v_3, v_4);
}

std::expected<LinkagePose, LoopClosureError> forward_kinematics(const ArmLinkage& linkage,
                                                                double theta_a, double theta_b) {
    return close_loop(linkage, tip_of_arm_a(linkage, theta_a), tip_of_arm_b(linkage, theta_b));
}

std::expected<LinkagePoints, LoopClosureError> linkage_points(const ArmLinkage& linkage,
                                                              double theta_a, double theta_b) {
    const Vec3 v_2 = tip_of_arm_a(linkage, theta_a);
    const Vec3 v_4 = tip_of_arm_b(linkage, theta_b);
    const std::optional<Vec3> v_3 = coupler_meeting_point(linkage, v_2, v_4);
    if (!v_3) {
        return std::unexpected(LoopClosureError{});
    }
    return LinkagePoints{v_2, *v_3, v_4};
}

std::expected<Vec3, LoopClosureError> pointing_direction(const ArmLinkage& linkage, double theta_a,
                                                         double theta_b) {
    return map_value(linkage_points(linkage, theta_a, theta_b),
                     [](const LinkagePoints& points) { return points.v_3; });
}

}  // namespace torso::arm
