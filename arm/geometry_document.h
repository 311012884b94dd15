// Reader of the arm geometry JSON document ("arms.json").
#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "arm/geometry.h"

namespace torso::arm {

/// A refused document: the full user-facing message, "Invalid arms.json: " and the
/// description of the first problem, ending with its line and column where it has one.
struct GeometryDocumentError {
    std::string message;
};

/// Geometry read from the UTF-8 text of one document in object or array shape.
std::expected<SphericalLinkGeometry, GeometryDocumentError>
read_geometry_document(std::string_view json);

}  // namespace torso::arm
