// Rates of the yaw-pitch-roll neck. Yaw turns the head about the body z axis, pitch about the
// yawed y axis Rz(yaw)·y, roll about the head's own x axis Rz(yaw)·Ry(pitch)·x.
#include "neck/rates.h"

#include <cmath>

namespace torso::neck {

Mat3 angular_velocity_jacobian(const JointTriple& joints) {
    const double c_yaw = std::cos(joints.yaw);
    const double s_yaw = std::sin(joints.yaw);
    const double c_pitch = std::cos(joints.pitch);
    const double s_pitch = std::sin(joints.pitch);
    return Mat3{{Vec3{0.0, 0.0, 1.0}, Vec3{-s_yaw, c_yaw, 0.0},
                 Vec3{c_yaw * c_pitch, s_yaw * c_pitch, -s_pitch}}};
}

std::expected<JointTriple, GimbalLockError> joint_rates(const JointTriple& joints,
                                                        const Vec3& angular_velocity) {
    const double s_pitch = std::sin(joints.pitch);
    if (is_near_gimbal_lock(s_pitch)) {
        return std::unexpected(GimbalLockError{});
    }
    const double c_yaw = std::cos(joints.yaw);
    const double s_yaw = std::sin(joints.yaw);
    const double c_pitch = std::cos(joints.pitch);
    const Vec3& w = angular_velocity;
    // ω turned back by -yaw about z: its x part comes from roll alone (times cos pitch), its
    // y part from pitch alone; the z part is yaw's less roll's -sin(pitch) share.
    const double roll_rate = ((c_yaw * w.x) + (s_yaw * w.y)) / c_pitch;
    const double pitch_rate = (c_yaw * w.y) - (s_yaw * w.x);
    const double yaw_rate = w.z + (s_pitch * roll_rate);
    return JointTriple{yaw_rate, pitch_rate, roll_rate};
}

}  // namespace torso::neck
