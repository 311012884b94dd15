// Vec3, Mat3 and the small vector helpers of the kinematics, with a fixed summation order.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>

namespace torso {

/// Three doubles; in the kinematics usually a unit vector on the sphere.
struct Vec3 {
    double x, y, z;

    /// Component i (0 = x, 1 = y, 2 = z).
    constexpr double operator[](std::size_t i) const { return i == 0 ? x : (i == 1 ? y : z); }
};

/// 3x3 matrix of doubles held column by column.
struct Mat3 {
    std::array<Vec3, 3> columns;

    /// Entry in row `row` and column `col`.
    constexpr double at(std::size_t row, std::size_t col) const { return columns[col][row]; }
};

/// 3x2 matrix of doubles held column by column: a rate of a 3-vector per unit rate of each
/// of two joints.
struct Mat3x2 {
    std::array<Vec3, 2> columns;

    /// Entry in row `row` and column `col`.
    constexpr double at(std::size_t row, std::size_t col) const { return columns[col][row]; }
};

/// The matrix whose rows are m's columns.
constexpr Mat3 transpose(const Mat3& m) {
    const auto row = [&m](std::size_t i) { return Vec3{m.at(i, 0), m.at(i, 1), m.at(i, 2)}; };
    return Mat3{{row(0), row(1), row(2)}};
}

/// Dot product summed as (x1 x2 + y1 y2) + z1 z2.
constexpr double dot(const Vec3& a, const Vec3& b) {
    return ((a.x * b.x) + (a.y * b.y)) + (a.z * b.z);
}

/// Right-handed cross product.
constexpr Vec3 cross(const Vec3& a, const Vec3& b) {
    return {(a.y * b.z) - (a.z * b.y), (a.z * b.x) - (a.x * b.z), (a.x * b.y) - (a.y * b.x)};
}

/// Euclidean length, sqrt((x² + y²) + z²).
inline double norm(const Vec3& a) { return std::sqrt(dot(a, a)); }

constexpr Vec3 operator+(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
constexpr Vec3 operator-(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
constexpr Vec3 operator*(double k, const Vec3& a) { return {k * a.x, k * a.y, k * a.z}; }
/// Each component divided by `k` (not multiplied by 1/k, which rounds differently).
constexpr Vec3 operator/(const Vec3& a, double k) { return {a.x / k, a.y / k, a.z / k}; }

/// `v` with its part along the unit vector `axis` removed: v - (v·axis) axis.
constexpr Vec3 reject(const Vec3& v, const Vec3& axis) { return v - dot(v, axis) * axis; }

}  // namespace torso
