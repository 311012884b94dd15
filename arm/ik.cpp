// Inverse kinematics of one arm: candidate joint pairs for a direction, and the choice among them.
#include "arm/ik.h"

#include <algorithm>
#include <cmath>

#include "core/expected.h"

namespace torso::arm {

namespace {

// Strict: a rotation at Frobenius distance e < kOrientationTolerance from the target matches;
// an exactly equal e does not, and a NaN e never does.
constexpr double kOrientationTolerance = 1e-6;

// Strict: a candidate whose v_3 lies at distance < kDirectionTolerance from the direction
// points along it; an exactly equal distance does not, and a NaN distance never does.
constexpr double kDirectionTolerance = 1e-6;

// Strict: a direction shorter than kMinDirectionLength cannot be normalised; a length of
// exactly this value is accepted, and a NaN length passes on (and leaves no survivor).
constexpr double kMinDirectionLength = 1e-12;

// A direction whose squared length overflows (its components finite) is first scaled by the
// power of two that puts its largest component in [2^kScaledExponent, 2^(kScaledExponent + 1)).
// Scaling by a power of two is exact, so the unit direction is the one the plain formula gives
// for each power-of-two multiple of the direction that it can normalise. 510 is the largest
// exponent whose three squares still sum to less than the largest double; at that size the
// length passes kMinDirectionLength by far, and a component pushed below the normal range by
// the scaling has a quotient by the length that rounds to zero, as the exact one does.
constexpr int kScaledExponent = 510;

// Tip signs, in the order that fixes every tie-break: +1 first, then -1.
constexpr double kTipSigns[] = {1.0, -1.0};

/// θ_A that turns arm A's rest tip to the tip p_A, as atan2 about u_A = (0, 0, 1).
double angle_of_arm_a(const ArmLinkage& linkage, const Vec3& p_a) {
    // s sin α stays in both arguments: a negative one moves the angle by π.
    const double radius = linkage.s * linkage.sin_alpha;
    return std::atan2(radius * p_a.y, radius * p_a.x);
}

/// θ_B that turns arm B's rest tip to the tip p_B, as atan2 about u_B = (s, 0, 0).
double angle_of_arm_b(const ArmLinkage& linkage, const Vec3& p_b) {
    return std::atan2((-linkage.s * linkage.sin_alpha) * p_b.y, linkage.sin_alpha * p_b.z);
}

/// Tip of one input arm, at arc α from its axis and arc β from d, on the `sign` side.
std::optional<Vec3> arm_tip_towards(const ArmLinkage& linkage, const Vec3& axis, const Vec3& d,
                                    double sign) {
    return intersect_small_circles_cos(axis, d, linkage.cos_alpha, linkage.cos_beta, sign);
}

/// Frobenius distance between two matrices, the squared differences summed column by column,
/// each column top to bottom, left to right in one running sum.
double frobenius_distance(const Mat3& p, const Mat3& q) {
    double sum = 0.0;
    for (std::size_t col = 0; col < 3; ++col) {
        for (std::size_t row = 0; row < 3; ++row) {
            const double diff = p.at(row, col) - q.at(row, col);
            sum += diff * diff;
        }
    }
    return std::sqrt(sum);
}

/// Squared distance in plain radians from `pair` to `near`, or from the origin without one.
double joint_cost(const JointPair& pair, const std::optional<JointPair>& near) {
    if (!near) {
        return pair.theta_a * pair.theta_a + pair.theta_b * pair.theta_b;
    }
    const double da = pair.theta_a - near->theta_a;
    const double db = pair.theta_b - near->theta_b;
    return da * da + db * db;
}

/// The first survivor of least cost: a later one wins only when strictly cheaper, so equal
/// costs keep the earlier one and a NaN cost never replaces.
JointPair cheapest(const JointPairList& survivors, const std::optional<JointPair>& near) {
    JointPair best = survivors.pairs[0];
    if (survivors.count == 1) {
        return best;
    }
    double best_cost = joint_cost(best, near);
    for (std::size_t i = 1; i < survivors.count; ++i) {
        const double cost = joint_cost(survivors.pairs[i], near);
        if (best_cost > cost) {
            best = survivors.pairs[i];
            best_cost = cost;
        }
    }
    return best;
}

/// The first of the offered candidates at least distance: a later one replaces it only when
/// strictly nearer, so equal distances keep the earlier one and a NaN distance is never taken.
class NearestCandidate {
public:
    void offer(const JointPair& joints, double distance) {
        if (best_ ? distance < best_->distance : !std::isnan(distance)) {
            best_ = NearestPair{joints, distance};
        }
    }

    std::expected<NearestPair, TargetUnreachableError> result() const {
        if (!best_) {
            return std::unexpected(TargetUnreachableError{});
        }
        return *best_;
    }

private:
    std::optional<NearestPair> best_;
};

/// Arm B's tip for one tip sign: its joint angle and the tip turned by it.
struct ArmBTip {
    bool found;
    double theta_b;
    Vec3 v_4;
};

/// Visit, in candidate order, every joint pair that can put v_3 on the unit direction d, with
/// `close(v_2, v_4)` (the loop closed from the pair's tips). Pairs whose loop does not close
/// are skipped; `visit(theta_a, theta_b, closed)` returns false to stop early.
template <class Close, class Visit>
void for_each_candidate(const ArmLinkage& linkage, const Vec3& d, Close close, Visit visit) {
    const Vec3 u_a{0.0, 0.0, 1.0};
    const Vec3 u_b{linkage.s, 0.0, 0.0};
    // Arm B's tips do not depend on arm A's sign: its angles and turned tips are found once
    // for both (the same values forward kinematics of each pair would compute again).
    ArmBTip arm_b[2];
    for (std::size_t i = 0; i < 2; ++i) {
        const std::optional<Vec3> p_b = arm_tip_towards(linkage, u_b, d, kTipSigns[i]);
        const double theta_b = p_b ? angle_of_arm_b(linkage, *p_b) : 0.0;
        arm_b[i] = {p_b.has_value(), theta_b, p_b ? tip_of_arm_b(linkage, theta_b) : Vec3{}};
    }
    for (const double sign_a : kTipSigns) {
        const std::optional<Vec3> p_a = arm_tip_towards(linkage, u_a, d, sign_a);
        if (!p_a) {
            continue;
        }
        const double theta_a = angle_of_arm_a(linkage, *p_a);
        const Vec3 v_2 = tip_of_arm_a(linkage, theta_a);
        for (const ArmBTip& tip_b : arm_b) {
            if (!tip_b.found) {
                continue;
            }
            const auto closed = close(v_2, tip_b.v_4);
            if (closed && !visit(theta_a, tip_b.theta_b, *closed)) {
                return;
            }
        }
    }
}

/// Whether every component is finite (neither infinite nor NaN).
bool is_finite(const Vec3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

/// v scaled by the power of two that puts its largest component's exponent at kScaledExponent.
Vec3 scaled_to_safe_length(const Vec3& v) {
    const double largest = std::max({std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)});
    const int shift = kScaledExponent - std::ilogb(largest);
    return {std::scalbn(v.x, shift), std::scalbn(v.y, shift), std::scalbn(v.z, shift)};
}

/// The unit direction of v, or nothing when v is too short to normalise.
std::optional<Vec3> unit_direction(const Vec3& v) {
    const double length = norm(v);
    if (std::isinf(length) && is_finite(v)) [[unlikely]] {
        // Only the squares overflowed. An infinite component keeps the infinite length, and
        // the NaN quotients leave no survivor.
        const Vec3 u = scaled_to_safe_length(v);
        return u / norm(u);
    }
    if (length < kMinDirectionLength) {
        return std::nullopt;
    }
    return v / length;
}

/// Whether the meeting point v_3 lies within kDirectionTolerance of the unit direction d.
bool points_along(const Vec3& v_3, const Vec3& d) { return norm(v_3 - d) < kDirectionTolerance; }

/// Pose of a candidate that may match `target`, or nothing for one that cannot. A pose's
/// third column is v_3, and the Frobenius distance sums the squares of its differences from
/// the target's third column among its non-negative terms (rounding never lowers a running
/// sum of them), so it is at least |v_3 - target column 2|: a v_3 that far from that column
/// (or NaN) cannot be within tolerance, and its frame is not built.
std::optional<LinkagePose> pose_that_may_match(const ArmLinkage& linkage, const Vec3& v_2,
                                               const Vec3& v_4, const Mat3& target) {
    const std::optional<Vec3> v_3 = coupler_meeting_point(linkage, v_2, v_4);
    if (!v_3 || !(norm(*v_3 - target.columns[2]) < kOrientationTolerance)) {
        return std::nullopt;
    }
    return pose_of_closed_loop(v_2, *v_3, v_4);
}

/// Visit, in candidate order, the candidates whose rotation lies within kOrientationTolerance
/// of `target`, with that distance; `visit(pair, distance)` returns false to stop early.
template <class Visit>
void for_each_orientation_match(const ArmLinkage& linkage, const Mat3& target, Visit visit) {
    for_each_candidate(
        linkage, target.columns[2],
        [&](const Vec3& v_2, const Vec3& v_4) {
            return pose_that_may_match(linkage, v_2, v_4, target);
        },
        [&](double theta_a, double theta_b, const LinkagePose& pose) {
            const double distance = frobenius_distance(pose.rotation, target);
            return !(distance < kOrientationTolerance) ||
                   visit(JointPair{theta_a, theta_b}, distance);
        });
}

/// Visit the candidates for d that point v_3 along d (only v_3 is computed: the frame is not
/// needed to tell), in candidate order; `visit(pair)` returns false to stop early.
template <class Visit>
void for_each_survivor(const ArmLinkage& linkage, const Vec3& d, Visit visit) {
    for_each_candidate(
        linkage, d,
        [&](const Vec3& v_2, const Vec3& v_4) { return coupler_meeting_point(linkage, v_2, v_4); },
        [&](double theta_a, double theta_b, const Vec3& v_3) {
            return !points_along(v_3, d) || visit(JointPair{theta_a, theta_b});
        });
}

}  // namespace

CandidateList enumerate_candidates(const ArmLinkage& linkage, const Vec3& d) {
    CandidateList list;
    for_each_candidate(
        linkage, d, [&](const Vec3& v_2, const Vec3& v_4) { return close_loop(linkage, v_2, v_4); },
        [&](double theta_a, double theta_b, const LinkagePose& pose) {
            list.items[list.count++] = {theta_a, theta_b, pose};
            return true;
        });
    return list;
}

std::expected<JointPair, TargetUnreachableError> inverse_kinematics(const ArmLinkage& linkage,
                                                                    const Mat3& target) {
    // The candidates of enumerate_candidates, less those that cannot match (see
    // pose_that_may_match): the same choice at less cost.
    NearestCandidate nearest;
    for_each_orientation_match(linkage, target, [&](const JointPair& pair, double distance) {
        nearest.offer(pair, distance);
        return true;
    });
    return map_value(nearest.result(), [](const NearestPair& found) { return found.joints; });
}

std::expected<NearestPair, TargetUnreachableError> nearest_orientation(const ArmLinkage& linkage,
                                                                       const Mat3& target) {
    // Every candidate of inverse_kinematics, in its order, none left out: the pose of each is
    // the one inverse_kinematics measures, so a pair it matches comes with the same distance.
    NearestCandidate nearest;
    for_each_candidate(
        linkage, target.columns[2],
        [&](const Vec3& v_2, const Vec3& v_4) { return close_loop(linkage, v_2, v_4); },
        [&](double theta_a, double theta_b, const LinkagePose& pose) {
            nearest.offer(JointPair{theta_a, theta_b}, frobenius_distance(pose.rotation, target));
            return true;
        });
    return nearest.result();
}

bool is_orientation_reachable(const ArmLinkage& linkage, const Mat3& target) {
    bool found = false;
    for_each_orientation_match(linkage, target, [&](const JointPair&, double) {
        found = true;
        return false;
    });
    return found;
}

JointPairList orientation_solutions(const ArmLinkage& linkage, const Mat3& target) {
    JointPairList solutions;
    for_each_orientation_match(linkage, target, [&](const JointPair& pair, double) {
        solutions.push_back(pair);
        return true;
    });
    return solutions;
}

std::expected<JointPair, TargetUnreachableError>
inverse_kinematics_from_direction(const ArmLinkage& linkage, const Vec3& v,
                                  const std::optional<JointPair>& near) {
    const JointPairList survivors = direction_solutions(linkage, v);
    if (survivors.count == 0) {
        return std::unexpected(TargetUnreachableError{});
    }
    return cheapest(survivors, near);
}

JointPairList direction_solutions(const ArmLinkage& linkage, const Vec3& v) {
    JointPairList survivors;
    const std::optional<Vec3> d = unit_direction(v);
    if (d) {
        for_each_survivor(linkage, *d, [&](const JointPair& pair) {
            survivors.push_back(pair);
            return true;
        });
    }
    return survivors;
}

bool is_direction_reachable(const ArmLinkage& linkage, const Vec3& v) {
    const std::optional<Vec3> d = unit_direction(v);
    bool found = false;
    if (d) {
        for_each_survivor(linkage, *d, [&](const JointPair&) {
            found = true;
            return false;
        });
    }
    return found;
}

}  // namespace torso::arm
