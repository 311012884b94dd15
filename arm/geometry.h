// The fixed geometry of one arm and the values derived from it once.
#pragma once

#include <cstdint>
#include <string_view>

namespace torso::arm {

/// Which of the two coupler-circle intersections forward kinematics takes as v_3.
enum class Branch : std::uint8_t { positive, negative };

/// The branch's name in geometry documents and in Python: "positive" or "negative".
constexpr std::string_view branch_name(Branch branch) {
    return branch == Branch::positive ? "positive" : "negative";
}

/// Geometry of one spherical five-bar arm. Arcs in radians; never validated.
struct SphericalLinkGeometry {
    double arm_arc;      // α: base axis to input-arm tip
    double coupler_arc;  // β: input-arm tip to end-effector direction
    Branch branch;
    bool mirror;  // right arm: mirror image across the YZ plane
};

inline constexpr SphericalLinkGeometry kDefaultLeft{0.7, 0.5, Branch::positive, false};
inline constexpr SphericalLinkGeometry kDefaultRight{0.7, 0.5, Branch::positive, true};

/// Mirror sign s: -1 for a mirrored arm, +1 otherwise.
constexpr double mirror_sign(const SphericalLinkGeometry& g) { return g.mirror ? -1.0 : 1.0; }

/// Branch sign σ: +1 for `positive`, -1 for `negative`.
constexpr double branch_sign(const SphericalLinkGeometry& g) {
    return g.branch == Branch::positive ? 1.0 : -1.0;
}

/// The geometry together with the values that depend only on it, computed once when an
/// arm is built so that no call repeats them. Same results as computing them per call.
struct ArmLinkage {
    SphericalLinkGeometry geometry;
    double s;          // mirror sign
    double sigma;      // branch sign
    double sin_alpha;  // sin(arm_arc)
    double cos_alpha;  // cos(arm_arc)
    double cos_beta;   // cos(coupler_arc)
};

/// Derive the per-arm constants from a geometry.
ArmLinkage prepare_linkage(const SphericalLinkGeometry& geometry);

}  // namespace torso::arm
