// One control-loop step of a colcon package: point the left arm, and report a refusal as a value.
#include <tarvelo/torso_kinematics.h>

#include <cstdio>

int main() {
    const auto arm = tarvelo::ArmKinematics::default_left();
    const auto joints = arm.ik_from_direction({0.9, 0.1, 0.4});
    if (!joints) {
        std::printf("refused: %.*s\n", static_cast<int>(joints.error().message.size()),
                    joints.error().message.data());
        return 1;
    }
    std::printf("theta_a=%.6f theta_b=%.6f\n", joints->theta_a, joints->theta_b);
    return 0;
}
