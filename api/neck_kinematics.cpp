// tarvelo::NeckKinematics: each method is the core routine the Python method calls.
#include "api/values.h"
#include "neck/neck.h"
#include "neck/rates.h"
#include "tarvelo/torso_kinematics.h"

namespace tarvelo {

Mat3 NeckKinematics::fk(const JointTriple& joints) const noexcept {
    return detail::from_core(torso::neck::forward_kinematics(detail::to_core(joints)));
}

Result<JointTriple> NeckKinematics::ik(const Mat3& r) const noexcept {
    return detail::from_core(torso::neck::inverse_kinematics(detail::to_core(r)));
}

Mat3 NeckKinematics::jacobian(const JointTriple& joints) const noexcept {
    return detail::from_core(torso::neck::angular_velocity_jacobian(detail::to_core(joints)));
}

Result<JointTriple> NeckKinematics::joint_rates(const JointTriple& joints,
                                                const Vec3& angular_velocity) const noexcept {
    return detail::from_core(
        torso::neck::joint_rates(detail::to_core(joints), detail::to_core(angular_velocity)));
}

}  // namespace tarvelo
