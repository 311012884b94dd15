// Forward kinematics of one arm and the small-circle intersection that closes its loop.
#pragma once

#include <expected>
#include <optional>
#include <string_view>

#include "arm/geometry.h"
#include "core/joints.h"
#include "core/vec.h"

namespace torso::arm {

/// Pose of the closed linkage, in the arm's base frame. Unit vectors; radians.
struct LinkagePose {
    Mat3 rotation;  // columns: e_x, e_y, v_3
    Vec3 v_2, v_3, v_4;
};

/// The coupler circles around the two input-arm tips do not meet.
struct LoopClosureError {
    static constexpr std::string_view message =
        "Spherical 5-bar loop does not close: v_2 and v_4 are too far apart for the coupler.";
};

/// Full pose for the joint pair, or LoopClosureError when the loop cannot close.
std::expected<LinkagePose, LoopClosureError> forward_kinematics(const ArmLinkage& linkage,
                                                                double theta_a, double theta_b);

/// The moving points of the closed linkage, in the arm's base frame: the input-arm tips v_2
/// and v_4 and the couplers' meeting point v_3. Unit vectors.
struct LinkagePoints {
    Vec3 v_2, v_3, v_4;
};

/// The points of forward_kinematics' pose (the same values), without building the frame, or
/// LoopClosureError when the loop cannot close.
std::expected<LinkagePoints, LoopClosureError> linkage_points(const ArmLinkage& linkage,
                                                              double theta_a, double theta_b);

/// Just v_3 of forward_kinematics (the same values), without building the frame.
std::expected<Vec3, LoopClosureError> pointing_direction(const ArmLinkage& linkage, double theta_a,
                                                         double theta_b);

/// Tip v_2 of input arm A turned by θ_A about u_A = (0, 0, 1). Unit vector.
Vec3 tip_of_arm_a(const ArmLinkage& linkage, double theta_a);

/// Tip v_4 of input arm B turned by θ_B about u_B = (s, 0, 0). Unit vector.
Vec3 tip_of_arm_b(const ArmLinkage& linkage, double theta_b);

/// Where the coupler segments from the tips v_2 and v_4 meet on the branch's side: v_3 of
/// close_loop (the same values), or nothing when the loop does not close.
std::optional<Vec3> coupler_meeting_point(const ArmLinkage& linkage, const Vec3& v_2,
                                          const Vec3& v_4);

/// How the end-effector's x axis e_x is built from the closed loop: a unit `reference` made
/// perpendicular to v_3 and normalised. The reference is the tips' bisector
/// (v_2 + v_4)/|v_2 + v_4|, or, when that runs along v_3, a fixed base axis.
struct XAxisConstruction {
    Vec3 reference;
    Vec3 perpendicular;     // reference - (reference·v_3) v_3
    double length;          // |perpendicular|
    bool follows_tips;      // the reference is the bisector, which turns with the tips
    double tip_sum_length;  // |v_2 + v_4|

    /// The unit x axis e_x.
    Vec3 axis() const { return perpendicular / length; }
};

/// The construction of e_x for the loop closed at v_3 from the tips v_2 and v_4.
XAxisConstruction x_axis_construction(const Vec3& v_2, const Vec3& v_3, const Vec3& v_4);

/// Pose of the linkage closed at v_3 (a meeting point of the couplers from v_2 and v_4):
/// the end-effector frame built from the three points.
LinkagePose pose_of_closed_loop(const Vec3& v_2, const Vec3& v_3, const Vec3& v_4);

/// Pose of the linkage whose input-arm tips are v_2 and v_4, or LoopClosureError.
/// forward_kinematics is this on the tips of its joint pair.
std::expected<LinkagePose, LoopClosureError> close_loop(const ArmLinkage& linkage, const Vec3& v_2,
                                                        const Vec3& v_4);

/// Point at arc r1 from c1 and arc r2 from c2 (unit vectors, not normalised here) on the
/// side of c1 × c2 that `sign` (+1 or -1) selects; nothing when the centres coincide or are
/// opposite, or the circles do not meet.
std::optional<Vec3> intersect_small_circles(const Vec3& c1, const Vec3& c2, double r1, double r2,
                                            double sign);

/// Same as intersect_small_circles, given cos r1 and cos r2 instead of the radii.
std::optional<Vec3> intersect_small_circles_cos(const Vec3& c1, const Vec3& c2, double cos_r1,
                                                double cos_r2, double sign);

}  // namespace torso::arm
