// Joint values of the arm (a pair) and of the neck (a triple), in radians.
#pragma once

namespace torso {

/// Joint pair (θ_A, θ_B) of one arm.
struct JointPair {
    double theta_a, theta_b;
};

/// Joint triple of the neck.
struct JointTriple {
    double yaw, pitch, roll;
};

}  // namespace torso
