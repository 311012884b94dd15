// The torso kinematics for C++ programs: the arm and neck classes of the Python module
// tarvelo_torso_kinematics, with the same names, results (bit for bit) and failure texts.
//
// Conventions of every value below:
// - Angles are in radians. Directions and rates are expressed in the base frame of the arm
//   (or the body frame of the neck); a direction is a unit vector unless a method says
//   otherwise.
// - Vec3 is {x, y, z}.
// - Mat3 and Mat3x2 are row-major: m[row][col]. A rotation's columns are the moving frame's
//   axes expressed in the fixed frame, as in the Python module's three rows of three floats.
// - A Jacobian's column j is the rate per unit rate of joint j: for the arm column 0 is θ_A and
//   column 1 θ_B; for the neck columns 0, 1 and 2 are yaw, pitch and roll.
//
// Every kinematics method is noexcept, allocates nothing and returns its failure as a value
// (std::expected). Only from_json and to_json allocate (the text of a document or of its
// refusal) and may throw std::bad_alloc. The library is built with -std=c++23.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace torso::arm {
struct ArmLinkage;
struct SphericalLinkGeometry;
}  // namespace torso::arm

namespace tarvelo {

/// {x, y, z}.
using Vec3 = std::array<double, 3>;
/// Row-major 3x3: m[row][col].
using Mat3 = std::array<std::array<double, 3>, 3>;
/// Row-major 3x2: m[row][col], column 0 per unit rate of θ_A, column 1 per unit rate of θ_B.
using Mat3x2 = std::array<std::array<double, 2>, 3>;

/// Joint angles (θ_A, θ_B) of one arm, in radians.
struct JointPair {
    double theta_a;
    double theta_b;
};

/// Joint angles of the neck, in radians: head = Rz(yaw)·Ry(pitch)·Rx(roll).
struct JointTriple {
    double yaw;
    double pitch;
    double roll;
};

/// Up to four joint pairs, held in place: the solutions of an inverse kinematics, in the order
/// the Python module lists them. Only [begin(), end()) holds values.
struct JointPairList {
    std::array<JointPair, 4> pairs{};
    std::size_t count = 0;

    std::size_t size() const noexcept { return count; }
    bool empty() const noexcept { return count == 0; }
    const JointPair& operator[](std::size_t i) const noexcept { return pairs[i]; }
    const JointPair* begin() const noexcept { return pairs.data(); }
    const JointPair* end() const noexcept { return pairs.data() + count; }
};

/// Which of the two loop-closure solutions an arm takes ("positive" or "negative" in a
/// geometry document and in Python).
enum class Branch : std::uint8_t { positive, negative };

/// What went wrong. The Python module raises RuntimeError for `unreachable` and
/// `loop_not_closed`, ValueError for the others.
enum class ErrorKind : std::uint8_t {
    unreachable,             // no joint pair reaches the target
    loop_not_closed,         // the coupler circles do not meet at these joint angles
    gimbal_lock,             // the neck's pitch is too near ±π/2
    singular_configuration,  // the joint rates are not determined here
    document_refused,        // from_json: not a valid geometry document
    document_not_writable,   // to_json: an arc that JSON cannot hold (NaN or infinite)
};

/// A kinematics failure: its kind and the exact text the Python module raises. The text is
/// static; copying an Error allocates nothing.
struct Error {
    ErrorKind kind;
    std::string_view message;
};

/// A refused or unwritable geometry document: its kind and the exact text the Python module
/// raises, which names the first problem (and, when reading, its line and column).
struct DocumentError {
    ErrorKind kind;
    std::string message;
};

template <class T>
using Result = std::expected<T, Error>;

/// The geometry of TarveloArmKinematics() without arguments, the default left arm.
inline constexpr double kDefaultArmArc = 0.7;
inline constexpr double kDefaultCouplerArc = 0.5;

/// One spherical five-bar arm (TarveloArmKinematics). Immutable, trivially copyable, no heap.
class ArmKinematics {
public:
    /// The arm with these arcs (radians, never validated) on the positive branch; mirrored
    /// across the YZ plane for a right arm.
    explicit ArmKinematics(double arm_arc = kDefaultArmArc, double coupler_arc = kDefaultCouplerArc,
                           bool mirror = false) noexcept;

    static ArmKinematics default_left() noexcept;
    static ArmKinematics default_right() noexcept;
    /// The arm of a geometry document ("arms.json"), or a `document_refused` failure.
    static std::expected<ArmKinematics, DocumentError> from_json(std::string_view text);
    /// The geometry as a document that from_json reads back to the same arm, or a
    /// `document_not_writable` failure.
    std::expected<std::string, DocumentError> to_json() const;

    double arm_arc() const noexcept;
    double coupler_arc() const noexcept;
    bool mirror() const noexcept;
    Branch branch() const noexcept;

    /// Rotation of the end-effector frame at the joint pair; `loop_not_closed` otherwise.
    Result<Mat3> fk(double theta_a, double theta_b) const noexcept;
    /// Pointing direction v_3 at the joint pair (column 2 of fk); `loop_not_closed` otherwise.
    Result<Vec3> direction(double theta_a, double theta_b) const noexcept;
    /// Joint pair whose fk lies closest to `r_target`; `unreachable` when none is within 1e-6.
    Result<JointPair> ik(const Mat3& r_target) const noexcept;
    /// Joint pair pointing v_3 along `v3` (any length from 1e-12), nearest to `near` in plain
    /// radians when given, else of smallest norm; `unreachable` otherwise.
    Result<JointPair>
    ik_from_direction(const Vec3& v3, std::optional<JointPair> near = std::nullopt) const noexcept;
    /// Whether fk succeeds.
    bool is_reachable_joints(double theta_a, double theta_b) const noexcept;
    /// Whether ik succeeds.
    bool is_reachable_orientation(const Mat3& r_target) const noexcept;
    /// Whether ik_from_direction without `near` succeeds.
    bool is_reachable_direction(const Vec3& v3) const noexcept;
    /// Every joint pair ik chooses among; empty when none.
    JointPairList ik_solutions(const Mat3& r_target) const noexcept;
    /// Every joint pair ik_from_direction chooses among; empty when none.
    JointPairList ik_from_direction_solutions(const Vec3& v3) const noexcept;
    /// Angular velocity of the end-effector frame per unit joint rate; `loop_not_closed`.
    Result<Mat3x2> jacobian(double theta_a, double theta_b) const noexcept;
    /// Velocity of v_3 per unit joint rate; `loop_not_closed`.
    Result<Mat3x2> direction_jacobian(double theta_a, double theta_b) const noexcept;
    /// (θ̇_A, θ̇_B) moving v_3 with `direction_rate`; `loop_not_closed` or
    /// `singular_configuration`.
    Result<JointPair> joint_rates(double theta_a, double theta_b,
                                  const Vec3& direction_rate) const noexcept;
    /// Area a unit square of joint rates sweeps on the sphere at v_3; `loop_not_closed`.
    Result<double> manipulability(double theta_a, double theta_b) const noexcept;

private:
    static ArmKinematics of_geometry(const torso::arm::SphericalLinkGeometry& geometry) noexcept;
    const torso::arm::ArmLinkage& linkage() const noexcept;

    // The core's prepared linkage (geometry and per-arm constants), held in place so that an
    // arm is a plain value and this header needs none of the library's own.
    alignas(double) std::array<unsigned char, 64> linkage_{};
};

/// The yaw-pitch-roll neck (TarveloNeckKinematics). Stateless.
class NeckKinematics {
public:
    /// Rotation of the head frame in the body frame. Never fails; a non-finite angle gives NaN.
    Mat3 fk(const JointTriple& joints) const noexcept;
    /// (yaw, pitch, roll) of a rotation; `gimbal_lock` near |pitch| = π/2.
    Result<JointTriple> ik(const Mat3& r) const noexcept;
    /// Angular velocity of the head (body frame) per unit rate of yaw, pitch and roll (columns).
    Mat3 jacobian(const JointTriple& joints) const noexcept;
    /// (yaw rate, pitch rate, roll rate) turning the head with `angular_velocity`;
    /// `gimbal_lock` where ik refuses the rotation at `joints`.
    Result<JointTriple> joint_rates(const JointTriple& joints,
                                    const Vec3& angular_velocity) const noexcept;
};

}  // namespace tarvelo
