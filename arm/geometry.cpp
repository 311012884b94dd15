// Per-arm constants derived from the geometry.
#include "arm/geometry.h"

#include <cmath>

namespace torso::arm {

ArmLinkage prepare_linkage(const SphericalLinkGeometry& geometry) {
    return {geometry,
            mirror_sign(geometry),
            branch_sign(geometry),
            std::sin(geometry.arm_arc),
            std::cos(geometry.arm_arc),
            std::cos(geometry.coupler_arc)};
}

}  // namespace torso::arm
