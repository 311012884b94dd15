// Writer of the arm geometry JSON document.
#include "arm/geometry_document_writer.h"

#include <cmath>
#include <optional>
#include <utility>

namespace torso::arm {
namespace {

/// The refusal of a member that JSON cannot hold, or nothing when its value is finite.
std::optional<GeometryNotWritableError> refuse_non_finite(std::string_view member, double value) {
    if (std::isfinite(value)) {
        return std::nullopt;
    }
    return GeometryNotWritableError{"Cannot write arms.json: `" + std::string(member) + "` is " +
                                    std::string(python_float_repr(value).view()) +
                                    ", and JSON has no NaN or infinite numbers"};
}

}  // namespace

std::expected<GeometryDocumentText, GeometryNotWritableError>
write_geometry_document(const SphericalLinkGeometry& geometry) {
    if (auto refused = refuse_non_finite("arm_arc", geometry.arm_arc)) {
        return std::unexpected(std::move(*refused));
    }
    if (auto refused = refuse_non_finite("coupler_arc", geometry.coupler_arc)) {
        return std::unexpected(std::move(*refused));
    }
    GeometryDocumentText document;
    document << R"({"arm_arc": )" << python_float_repr(geometry.arm_arc).view()
             << R"(, "coupler_arc": )" << python_float_repr(geometry.coupler_arc).view()
             << R"(, "branch": ")" << branch_name(geometry.branch) << R"(", "mirror": )"
             << (geometry.mirror ? "true" : "false") << "}";
    return document;
}

}  // namespace torso::arm
