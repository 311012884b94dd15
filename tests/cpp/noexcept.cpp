// Every facade method but from_json and to_json is noexcept, so a control loop needs no
// exception handling around it; those two may throw std::bad_alloc.
#include <optional>
#include <string_view>

#include "tarvelo/torso_kinematics.h"

namespace torso::noexcept_check {

using namespace tarvelo;  // NOLINT(google-build-using-namespace)

// Only named inside noexcept(...), which evaluates nothing.
const ArmKinematics& arm() noexcept;
const NeckKinematics& neck() noexcept;
constexpr Mat3 kRotation{};
constexpr Vec3 kVector{};
constexpr JointTriple kJoints{};

static_assert(noexcept(ArmKinematics()) && noexcept(ArmKinematics(0.7, 0.5, true)));
static_assert(noexcept(ArmKinematics::default_left()) && noexcept(ArmKinematics::default_right()));
static_assert(noexcept(arm().arm_arc()) && noexcept(arm().coupler_arc()));
static_assert(noexcept(arm().mirror()) && noexcept(arm().branch()));
static_assert(noexcept(arm().fk(0, 0)) && noexcept(arm().direction(0, 0)));
static_assert(noexcept(arm().ik(kRotation)) && noexcept(arm().ik_from_direction(kVector)));
static_assert(noexcept(arm().ik_from_direction(kVector, JointPair{0, 0})));
static_assert(noexcept(arm().is_reachable_joints(0, 0)));
static_assert(noexcept(arm().is_reachable_orientation(kRotation)));
static_assert(noexcept(arm().is_reachable_direction(kVector)));
static_assert(noexcept(arm().ik_solutions(kRotation)));
static_assert(noexcept(arm().ik_from_direction_solutions(kVector)));
static_assert(noexcept(arm().jacobian(0, 0)) && noexcept(arm().direction_jacobian(0, 0)));
static_assert(noexcept(arm().joint_rates(0, 0, kVector)) && noexcept(arm().manipulability(0, 0)));
static_assert(noexcept(neck().fk(kJoints)) && noexcept(neck().ik(kRotation)));
static_assert(noexcept(neck().jacobian(kJoints)) && noexcept(neck().joint_rates(kJoints, kVector)));
// The results themselves copy without throwing.
static_assert(noexcept(Result<Mat3>(arm().fk(0, 0))) &&
              noexcept(JointPairList(arm().ik_solutions(kRotation))));

static_assert(!noexcept(ArmKinematics::from_json(std::string_view{})) &&
              !noexcept(arm().to_json()));

}  // namespace torso::noexcept_check
