// Per-arm constants derived from the geometry.
#include "arm/geometry.h"

#include <bit>
#include <cmath>
#include <cstdint>

namespace torso::arm {
namespace {

ArmLinkage compute_linkage(const SphericalLinkGeometry& geometry) {
    return {geometry,
            mirror_sign(geometry),
            branch_sign(geometry),
            std::sin(geometry.arm_arc),
            std::cos(geometry.arm_arc),
            std::cos(geometry.coupler_arc)};
}

/// Whether two geometries hold the very same values (bit for bit: -0.0 and 0.0 differ).
bool same_geometry(const SphericalLinkGeometry& a, const SphericalLinkGeometry& b) {
    return std::bit_cast<std::uint64_t>(a.arm_arc) == std::bit_cast<std::uint64_t>(b.arm_arc) &&
           std::bit_cast<std::uint64_t>(a.coupler_arc) ==
               std::bit_cast<std::uint64_t>(b.coupler_arc) &&
           a.branch == b.branch && a.mirror == b.mirror;
}

}  // namespace

ArmLinkage prepare_linkage(const SphericalLinkGeometry& geometry) {
    // Most arms are the default left or right one: their constants are computed once.
    static const ArmLinkage left = compute_linkage(kDefaultLeft);
    static const ArmLinkage right = compute_linkage(kDefaultRight);
    if (same_geometry(geometry, kDefaultLeft)) {
        return left;
    }
    if (same_geometry(geometry, kDefaultRight)) {
        return right;
    }
    return compute_linkage(geometry);
}

}  // namespace torso::arm
