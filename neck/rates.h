// Rates of the yaw-pitch-roll neck: the head's angular velocity per joint rate, and back.
#pragma once

#include <expected>

#include "core/joints.h"
#include "core/vec.h"
#include "neck/neck.h"

namespace torso::neck {

/// Angular velocity of the head frame in the body frame per unit rate of yaw (column 0),
/// pitch (column 1) and roll (column 2). Never fails; its determinant is -cos(pitch).
Mat3 angular_velocity_jacobian(const JointTriple& joints);

/// (yaw rate, pitch rate, roll rate) that turn the head with `angular_velocity` (body
/// frame), or GimbalLockError where inverse_kinematics refuses the rotation at `joints`.
std::expected<JointTriple, GimbalLockError> joint_rates(const JointTriple& joints,
                                                        const Vec3& angular_velocity);

}  // namespace torso::neck
