// Yaw-pitch-roll neck: the head rotation from the joint triple, and the triple back from it.
#include "neck/neck.h"

#include <cmath>
#include <cstddef>

namespace torso::neck {
namespace {

// Gimbal-lock margin on d = 1 - |r[2][0]| = 1 - |sin pitch|. Strict: a d exactly at the
// margin passes, and a NaN d compares false, so a NaN passes on (to asin in ik).
constexpr double kGimbalMargin = 1e-6;

constexpr Vec3 kAxisX{1.0, 0.0, 0.0};
constexpr Vec3 kAxisY{0.0, 1.0, 0.0};
constexpr Vec3 kAxisZ{0.0, 0.0, 1.0};

constexpr Mat3 kIdentity{{kAxisX, kAxisY, kAxisZ}};

/// Matrix whose entry (i, j) is entry(i, j), for i, j in 0..2.
template <typename Entry>
Mat3 from_entries(Entry entry) {
    Mat3 m{};
    for (std::size_t j = 0; j < 3; ++j) {
        m.columns[j] = {entry(0, j), entry(1, j), entry(2, j)};
    }
    return m;
}

/// Rotation by `angle` (radians) about the unit coordinate axis u, by the axis-angle formula
/// R = c I + (1 - c) u uᵀ + s [u]x. Every entry takes c or s, so a NaN or infinite angle
/// makes all nine NaN.
Mat3 axis_rotation(const Vec3& u, double angle) {
    if (angle == 0.0) {
        return kIdentity;  // what the formula gives, without evaluating sin and cos
    }
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    const Mat3 u_cross{{cross(u, kAxisX), cross(u, kAxisY), cross(u, kAxisZ)}};  // [u]x
    return from_entries([&](std::size_t i, std::size_t j) {
        const double uu = u[i] * u[j];
        if (i == j) {
            // c + (1 - c) u_i², grouped so that the axis entry is exactly 1 and the others
            // exactly c: c + (1 - c) itself can round to 1 - 2⁻⁵³ for some c < 0.
            return uu + ((1.0 - uu) * c);
        }
        return (uu * (1.0 - c)) + (s * u_cross.at(i, j));
    });
}

/// Matrix product; each entry summed over k = 0, 1, 2 in that order.
Mat3 multiply(const Mat3& a, const Mat3& b) {
    return from_entries([&](std::size_t i, std::size_t j) {
        return ((a.at(i, 0) * b.at(0, j)) + (a.at(i, 1) * b.at(1, j))) + (a.at(i, 2) * b.at(2, j));
    });
}

}  // namespace

Mat3 forward_kinematics(const JointTriple& joints) {
    const Mat3 yawed_pitched =
        multiply(axis_rotation(kAxisZ, joints.yaw), axis_rotation(kAxisY, joints.pitch));
    return multiply(yawed_pitched, axis_rotation(kAxisX, joints.roll));
}

bool is_near_gimbal_lock(double sin_pitch) { return 1.0 - std::fabs(sin_pitch) < kGimbalMargin; }

std::expected<JointTriple, GimbalLockError> inverse_kinematics(const Mat3& r) {
    // r[2][0] = -sin pitch.
    if (is_near_gimbal_lock(r.at(2, 0))) {
        return std::unexpected(GimbalLockError{});
    }
    const double pitch = std::asin(-r.at(2, 0));
    const double roll = std::atan2(r.at(2, 1), r.at(2, 2));
    const double yaw = std::atan2(r.at(1, 0), r.at(0, 0));
    return JointTriple{yaw, pitch, roll};
}

}  // namespace torso::neck
