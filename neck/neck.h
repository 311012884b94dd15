// Forward and inverse kinematics of the yaw-pitch-roll neck.
#pragma once

#include <expected>
#include <string_view>

#include "core/joints.h"
#include "core/vec.h"

namespace torso::neck {

/// Pitch within 1e-6 (in 1 - |sin pitch|) of ±π/2: yaw and roll are not separable.
struct GimbalLockError {
    static constexpr std::string_view message = "Gimbal lock: pitch is too close to ±π/2.";
};

/// Rotation of the head frame in the body frame: Rz(yaw)·Ry(pitch)·Rx(roll). Never fails;
/// a non-finite angle makes all nine entries NaN.
Mat3 forward_kinematics(const JointTriple& joints);

/// Whether a pitch with this sine lies too near ±π/2 to tell yaw from roll:
/// 1 - |sin pitch| < 1e-6.
bool is_near_gimbal_lock(double sin_pitch);

/// (yaw, pitch, roll) of a rotation, or GimbalLockError near |pitch| = π/2.
std::expected<JointTriple, GimbalLockError> inverse_kinematics(const Mat3& r);

}  // namespace torso::neck
