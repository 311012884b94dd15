// Writer of the arm geometry JSON document ("arms.json"), the reader's inverse.
#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "arm/geometry.h"
#include "core/float_text.h"

namespace torso::arm {

/// A geometry that no document can hold: JSON has no NaN or infinite number. The full
/// user-facing message, naming the first such member.
struct GeometryNotWritableError {
    std::string message;
};

/// The text of one written document. Its longest form, two 24-character arcs on the
/// negative branch, takes 117 bytes.
using GeometryDocumentText = FixedText<128>;

/// The geometry as a document in object shape, with all four members in their order, laid
/// out as Python's json.dumps lays out the same dict: each arc in the shortest form that
/// reads back to the very same double (sign of zero included). No heap on success.
std::expected<GeometryDocumentText, GeometryNotWritableError>
write_geometry_document(const SphericalLinkGeometry& geometry);

}  // namespace torso::arm
