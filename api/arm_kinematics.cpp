// tarvelo::ArmKinematics: each method is the core routine the Python method calls.
#include <new>
#include <type_traits>

#include "api/values.h"
#include "arm/geometry_document.h"
#include "arm/geometry_document_writer.h"
#include "tarvelo/torso_kinematics.h"

namespace tarvelo {

using torso::arm::ArmLinkage;
using torso::arm::SphericalLinkGeometry;

static_assert(kDefaultArmArc == torso::arm::kDefaultLeft.arm_arc);
static_assert(kDefaultCouplerArc == torso::arm::kDefaultLeft.coupler_arc);
static_assert(std::is_trivially_copyable_v<ArmLinkage>);
static_assert(std::is_trivially_copyable_v<ArmKinematics>);
static_assert(std::is_nothrow_copy_constructible_v<Error>);

ArmKinematics::ArmKinematics(double arm_arc, double coupler_arc, bool mirror) noexcept {
    static_assert(sizeof(ArmLinkage) <= sizeof linkage_ && alignof(ArmLinkage) <= alignof(double));
    ::new (linkage_.data()) ArmLinkage(
        torso::arm::prepare_linkage({arm_arc, coupler_arc, torso::arm::Branch::positive, mirror}));
}

ArmKinematics ArmKinematics::of_geometry(const SphericalLinkGeometry& geometry) noexcept {
    ArmKinematics arm;
    ::new (arm.linkage_.data()) ArmLinkage(torso::arm::prepare_linkage(geometry));
    return arm;
}

const ArmLinkage& ArmKinematics::linkage() const noexcept {
    return *std::launder(reinterpret_cast<const ArmLinkage*>(linkage_.data()));
}

ArmKinematics ArmKinematics::default_left() noexcept {
    return of_geometry(torso::arm::kDefaultLeft);
}

ArmKinematics ArmKinematics::default_right() noexcept {
    return of_geometry(torso::arm::kDefaultRight);
}

std::expected<ArmKinematics, DocumentError> ArmKinematics::from_json(std::string_view text) {
    auto geometry = torso::arm::read_geometry_document(text);
    if (!geometry) {
        return std::unexpected(
            DocumentError{ErrorKind::document_refused, std::move(geometry.error().message)});
    }
    return of_geometry(*geometry);
}

std::expected<std::string, DocumentError> ArmKinematics::to_json() const {
    const auto text = torso::arm::write_geometry_document(linkage().geometry);
    if (!text) {
        return std::unexpected(
            DocumentError{ErrorKind::document_not_writable, text.error().message});
    }
    return std::string(text->view());
}

double ArmKinematics::arm_arc() const noexcept { return linkage().geometry.arm_arc; }
double ArmKinematics::coupler_arc() const noexcept { return linkage().geometry.coupler_arc; }
bool ArmKinematics::mirror() const noexcept { return linkage().geometry.mirror; }
Branch ArmKinematics::branch() const noexcept {
    return static_cast<Branch>(linkage().geometry.branch);
}

Result<Mat3> ArmKinematics::fk(double theta_a, double theta_b) const noexcept {
    const auto pose = torso::arm::forward_kinematics(linkage(), theta_a, theta_b);
    if (!pose) return std::unexpected(detail::from_core(pose.error()));
    return detail::from_core(pose->rotation);
}

Result<Vec3> ArmKinematics::direction(double theta_a, double theta_b) const noexcept {
    return detail::from_core(torso::arm::pointing_direction(linkage(), theta_a, theta_b));
}

Result<JointPair> ArmKinematics::ik(const Mat3& r_target) const noexcept {
    return detail::from_core(torso::arm::inverse_kinematics(linkage(), detail::to_core(r_target)));
}

Result<JointPair> ArmKinematics::ik_from_direction(const Vec3& v3,
                                                   std::optional<JointPair> near) const noexcept {
    return detail::from_core(torso::arm::inverse_kinematics_from_direction(
        linkage(), detail::to_core(v3), detail::to_core(near)));
}

bool ArmKinematics::is_reachable_joints(double theta_a, double theta_b) const noexcept {
    return torso::arm::pointing_direction(linkage(), theta_a, theta_b).has_value();
}

bool ArmKinematics::is_reachable_orientation(const Mat3& r_target) const noexcept {
    return torso::arm::is_orientation_reachable(linkage(), detail::to_core(r_target));
}

bool ArmKinematics::is_reachable_direction(const Vec3& v3) const noexcept {
    return torso::arm::is_direction_reachable(linkage(), detail::to_core(v3));
}

JointPairList ArmKinematics::ik_solutions(const Mat3& r_target) const noexcept {
    return detail::from_core(
        torso::arm::orientation_solutions(linkage(), detail::to_core(r_target)));
}

JointPairList ArmKinematics::ik_from_direction_solutions(const Vec3& v3) const noexcept {
    return detail::from_core(torso::arm::direction_solutions(linkage(), detail::to_core(v3)));
}

Result<Mat3x2> ArmKinematics::jacobian(double theta_a, double theta_b) const noexcept {
    return detail::from_core(torso::arm::frame_jacobian(linkage(), theta_a, theta_b));
}

Result<Mat3x2> ArmKinematics::direction_jacobian(double theta_a, double theta_b) const noexcept {
    return detail::from_core(torso::arm::direction_jacobian(linkage(), theta_a, theta_b));
}

Result<JointPair> ArmKinematics::joint_rates(double theta_a, double theta_b,
                                             const Vec3& direction_rate) const noexcept {
    return detail::from_core(
        torso::arm::joint_rates(linkage(), theta_a, theta_b, detail::to_core(direction_rate)));
}

Result<double> ArmKinematics::manipulability(double theta_a, double theta_b) const noexcept {
    return detail::from_core(torso::arm::manipulability(linkage(), theta_a, theta_b));
}

}  // namespace tarvelo
