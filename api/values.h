// The facade's values and the core's, one into the other: layouts and failures only, no maths.
#pragma once

#include <expected>
#include <variant>

#include "arm/fk.h"
#include "arm/geometry.h"
#include "arm/ik.h"
#include "arm/rates.h"
#include "core/joints.h"
#include "core/vec.h"
#include "neck/neck.h"
#include "tarvelo/torso_kinematics.h"

namespace tarvelo::detail {

static_assert(static_cast<int>(Branch::positive) == static_cast<int>(torso::arm::Branch::positive));
static_assert(static_cast<int>(Branch::negative) == static_cast<int>(torso::arm::Branch::negative));

inline torso::Vec3 to_core(const Vec3& v) noexcept { return {v[0], v[1], v[2]}; }

/// The core holds a matrix column by column; the facade row by row.
inline torso::Mat3 to_core(const Mat3& m) noexcept {
    return {{torso::Vec3{m[0][0], m[1][0], m[2][0]}, torso::Vec3{m[0][1], m[1][1], m[2][1]},
             torso::Vec3{m[0][2], m[1][2], m[2][2]}}};
}

inline torso::JointTriple to_core(const JointTriple& j) noexcept {
    return {j.yaw, j.pitch, j.roll};
}

inline std::optional<torso::JointPair> to_core(const std::optional<JointPair>& p) noexcept {
    if (!p) return std::nullopt;
    return torso::JointPair{p->theta_a, p->theta_b};
}

inline double from_core(double x) noexcept { return x; }
inline Vec3 from_core(const torso::Vec3& v) noexcept { return {v.x, v.y, v.z}; }
inline JointPair from_core(const torso::JointPair& p) noexcept { return {p.theta_a, p.theta_b}; }
inline JointTriple from_core(const torso::JointTriple& j) noexcept {
    return {j.yaw, j.pitch, j.roll};
}

inline Mat3 from_core(const torso::Mat3& m) noexcept {
    Mat3 out;
    for (std::size_t row = 0; row < 3; ++row) {
        for (std::size_t col = 0; col < 3; ++col) out[row][col] = m.at(row, col);
    }
    return out;
}

inline Mat3x2 from_core(const torso::Mat3x2& m) noexcept {
    Mat3x2 out;
    for (std::size_t row = 0; row < 3; ++row) {
        for (std::size_t col = 0; col < 2; ++col) out[row][col] = m.at(row, col);
    }
    return out;
}

inline JointPairList from_core(const torso::JointPairList& list) noexcept {
    JointPairList out;
    for (const torso::JointPair& pair : list) out.pairs[out.count++] = from_core(pair);
    return out;
}

// Each core failure as an Error: its kind, and the core's own message, which is the text the
// Python module raises.
inline Error from_core(const torso::arm::LoopClosureError& e) noexcept {
    return {ErrorKind::loop_not_closed, e.message};
}
inline Error from_core(const torso::arm::TargetUnreachableError& e) noexcept {
    return {ErrorKind::unreachable, e.message};
}
inline Error from_core(const torso::arm::SingularConfigurationError& e) noexcept {
    return {ErrorKind::singular_configuration, e.message};
}
inline Error from_core(const torso::neck::GimbalLockError& e) noexcept {
    return {ErrorKind::gimbal_lock, e.message};
}
template <class... E>
Error from_core(const std::variant<E...>& failure) noexcept {
    return std::visit([](const auto& alternative) { return from_core(alternative); }, failure);
}

/// A core result as the facade's: the value converted, or the failure as an Error.
template <class T, class E>
auto from_core(const std::expected<T, E>& result) noexcept -> Result<decltype(from_core(*result))> {
    if (!result) return std::unexpected(from_core(result.error()));
    return from_core(*result);
}

}  // namespace tarvelo::detail
