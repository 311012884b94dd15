// Inverse kinematics of one arm: from a target rotation and from a pointing direction.
#pragma once

#include <array>
#include <cstddef>
#include <expected>
#include <optional>
#include <string_view>

#include "arm/fk.h"

namespace torso::arm {

/// One joint pair that can put v_3 on a given direction, with its pose. Angles in [-π, π].
struct IkCandidate {
    double theta_a;
    double theta_b;
    LinkagePose pose;
};

/// Candidates in the fixed order of tip signs (+,+), (+,-), (-,+), (-,-), skipped ones left
/// out. At most four, held in place: listing allocates nothing.
// Only items[0, count) are ever read; zeroing all four poses per listing would be wasted.
// NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init)
struct CandidateList {
    std::array<IkCandidate, 4> items;
    std::size_t count = 0;

    const IkCandidate* begin() const { return items.data(); }
    const IkCandidate* end() const { return items.data() + count; }
};

/// No joint pair reaches the target.
struct TargetUnreachableError {
    static constexpr std::string_view message =
        "Target orientation is outside the spherical 5-bar workspace.";
};

/// A joint pair and the Frobenius distance of its rotation from a target rotation.
struct NearestPair {
    JointPair joints;
    double distance;
};

/// Every joint pair whose tips sit at arc β from the unit direction `d` (not normalised here).
CandidateList enumerate_candidates(const ArmLinkage& linkage, const Vec3& d);

/// Joint pair whose rotation lies closest to `target` and within 1e-6 (Frobenius) of it.
std::expected<JointPair, TargetUnreachableError> inverse_kinematics(const ArmLinkage& linkage,
                                                                    const Mat3& target);

/// The candidate of inverse_kinematics whose rotation lies closest (Frobenius) to `target`, at
/// any distance, with that distance: the first of equal distances, never a NaN one. Where
/// inverse_kinematics finds a pair, the same pair. TargetUnreachableError when no candidate
/// has a distance that is not NaN.
std::expected<NearestPair, TargetUnreachableError> nearest_orientation(const ArmLinkage& linkage,
                                                                       const Mat3& target);

/// Whether inverse_kinematics finds a pair; stops at the first matching candidate.
bool is_orientation_reachable(const ArmLinkage& linkage, const Mat3& target);

/// Whether inverse_kinematics_from_direction without `near` finds a pair; stops at the first
/// candidate pointing along `v`.
bool is_direction_reachable(const ArmLinkage& linkage, const Vec3& v);

/// Joint pair pointing v_3 along `v` (any length from 1e-12, normalised here), nearest to
/// `near` in plain radians, else of smallest norm.
std::expected<JointPair, TargetUnreachableError>
inverse_kinematics_from_direction(const ArmLinkage& linkage, const Vec3& v,
                                  const std::optional<JointPair>& near);

/// Every joint pair whose rotation lies within 1e-6 (Frobenius) of `target`, in candidate
/// order: the pairs inverse_kinematics chooses among. Empty when there is none.
JointPairList orientation_solutions(const ArmLinkage& linkage, const Mat3& target);

/// Every joint pair pointing v_3 along `v` (normalised here), in candidate order: the pairs
/// inverse_kinematics_from_direction chooses among. Empty when `v` is unreachable or shorter
/// than 1e-12.
JointPairList direction_solutions(const ArmLinkage& linkage, const Vec3& v);

}  // namespace torso::arm
