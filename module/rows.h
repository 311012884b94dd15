// Rows of the array methods: their shapes, and reading and writing one row of plain values.
// No Python here: the method declarations and their kernels use it.
#pragma once

#include <array>
#include <cstddef>
#include <expected>
#include <limits>
#include <optional>

#include "arm/ik.h"
#include "core/joints.h"
#include "core/vec.h"

namespace torso::py {

/// Index into an array, as the interpreter's Py_ssize_t.
using RowIndex = std::ptrdiff_t;

/// The trailing shape of one row of an array: (2), (3) or (3, 3).
struct RowShape {
    std::array<RowIndex, 2> dims{};
    std::size_t rank = 0;

    /// Values in one row.
    constexpr RowIndex size() const {
        return rank == 0 ? 1 : (rank == 1 ? dims[0] : dims[0] * dims[1]);
    }
};

inline constexpr RowShape kPairRow{{2, 0}, 1};
inline constexpr RowShape kVectorRow{{3, 0}, 1};
inline constexpr RowShape kMatrixRow{{3, 3}, 2};
/// A 3x2 Jacobian of the arm.
inline constexpr RowShape kJacobianRow{{3, 2}, 2};
/// A row of one value: a bool of a reachability mask.
inline constexpr RowShape kScalarRow{{1, 0}, 0};

/// Which leading shapes an array parameter takes before its row shape.
enum class Leading : unsigned char {
    any,        // (..., row): any leading shape, none included
    one_axis,   // (N, row): a sequence of rows
    broadcast,  // what broadcasts to the leading shape of the first array parameter
};

/// One array parameter: its name, its row shape, its leading shapes, and whether it may be
/// omitted (or None).
struct ArrayParam {
    const char* name = nullptr;
    RowShape row{};
    Leading leading = Leading::any;
    bool optional = false;
};

/// The most array parameters a method has.
inline constexpr std::size_t kMaxArrayInputs = 2;

/// The default of the array methods' keyword-only `workers`: the calling thread alone.
inline constexpr int kDefaultWorkers = 1;

/// Least work, in nanoseconds on one core, that a chunk of its own is given. Starting and
/// joining a thread takes 20 to 45 us (core_bench's start_and_join_thread); 100 us keeps a
/// split from ever losing and makes the smallest one, two chunks, about 1.4x faster.
inline constexpr double kChunkNanoseconds = 100'000.0;

/// Rows of a routine taking `row_nanoseconds` per row (its core benchmark) in one chunk.
constexpr RowIndex chunk_rows_for(double row_nanoseconds) noexcept {
    return static_cast<RowIndex>(kChunkNanoseconds / row_nanoseconds) + 1;
}

// ---- reading rows and writing results, for the kernels ----

inline Vec3 vec3_at(const double* row) { return {row[0], row[1], row[2]}; }
inline JointTriple triple_at(const double* row) { return {row[0], row[1], row[2]}; }
/// A row-major 3x3 row as the column-major Mat3.
inline Mat3 mat3_at(const double* row) {
    return Mat3{
        {Vec3{row[0], row[3], row[6]}, Vec3{row[1], row[4], row[7]}, Vec3{row[2], row[5], row[8]}}};
}
/// The pair in a row, or none for an omitted parameter.
inline std::optional<JointPair> optional_pair_at(const double* row) {
    return row != nullptr ? std::optional<JointPair>(JointPair{row[0], row[1]}) : std::nullopt;
}

inline void write_row(double* out, const Vec3& v) {
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
}
inline void write_row(double* out, const JointPair& pair) {
    out[0] = pair.theta_a;
    out[1] = pair.theta_b;
}
inline void write_row(double* out, const JointTriple& joints) {
    out[0] = joints.yaw;
    out[1] = joints.pitch;
    out[2] = joints.roll;
}
/// θ_A, θ_B, then the distance.
inline void write_row(double* out, const arm::NearestPair& nearest) {
    write_row(out, nearest.joints);
    out[2] = nearest.distance;
}
/// The matrix's three rows of `cols` entries, row-major, as the scalar methods return it.
template <std::size_t cols, class Matrix>
void write_matrix_rows(double* out, const Matrix& m) {
    for (std::size_t row = 0; row < 3; ++row) {
        for (std::size_t col = 0; col < cols; ++col) {
            out[(cols * row) + col] = m.at(row, col);
        }
    }
}
inline void write_row(double* out, const Mat3& m) { write_matrix_rows<3>(out, m); }
inline void write_row(double* out, const Mat3x2& m) { write_matrix_rows<2>(out, m); }
inline void write_row(double* out, double value) { *out = value; }
inline void write_row(bool* out, bool value) { *out = value; }

/// Doubles that write_row writes for a T.
template <class T>
inline constexpr std::size_t kRowValues = 0;
template <>
inline constexpr std::size_t kRowValues<Vec3> = 3;
template <>
inline constexpr std::size_t kRowValues<Mat3> = 9;
template <>
inline constexpr std::size_t kRowValues<JointPair> = 2;
template <>
inline constexpr std::size_t kRowValues<JointTriple> = 3;
template <>
inline constexpr std::size_t kRowValues<arm::NearestPair> = 3;
template <>
inline constexpr std::size_t kRowValues<Mat3x2> = 6;
template <>
inline constexpr std::size_t kRowValues<double> = 1;

/// The value's row, or a row of NaN where the routine failed.
template <class T, class E>
void write_row(double* out, const std::expected<T, E>& result) {
    static_assert(kRowValues<T> > 0);
    if (result) {
        write_row(out, *result);
        return;
    }
    for (std::size_t i = 0; i < kRowValues<T>; ++i) {
        out[i] = std::numeric_limits<double>::quiet_NaN();
    }
}

}  // namespace torso::py
