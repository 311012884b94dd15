// Joint values of the arm (a pair) and of the neck (a triple), in radians.
#pragma once

#include <array>
#include <cstddef>

namespace torso {

/// Joint pair (θ_A, θ_B) of one arm.
struct JointPair {
    double theta_a, theta_b;
};

/// Up to four joint pairs in order, held in place: the inverse kinematics' solutions.
// Only pairs[0, count) are ever read, so the slots stay unset until pushed.
// NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init)
struct JointPairList {
    std::array<JointPair, 4> pairs;
    std::size_t count = 0;

    void push_back(const JointPair& pair) { pairs[count++] = pair; }
    const JointPair* begin() const { return pairs.data(); }
    const JointPair* end() const { return pairs.data() + count; }
};

/// Joint triple of the neck.
struct JointTriple {
    double yaw, pitch, roll;
};

}  // namespace torso
