// Calls the facade on blocks of inputs, for the bit-for-bit comparison with the Python module.
// In:  blocks of a text line "<method> <calls>" (a name of kMethods) followed by, per call, 22
//      native doubles: arm (index into Fixture::arms), theta_a, theta_b, rotation (9, row by
//      row), vector (3), has near, near (2), yaw, pitch, roll, mirror.
// Out: per call the method's Record, 10 native doubles (unused ones 0).
// With --messages: one line "<kind + 1> <message>" per failure kind of the kinematics.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "tests/cpp/facade_calls.h"

namespace {

using namespace torso::facade_calls;

constexpr std::size_t kInputWidth = 22;

Input input_at(const double* x) {
    Input in{};
    in.arm = static_cast<std::size_t>(x[0]) % 3;
    in.theta_a = x[1];
    in.theta_b = x[2];
    in.rotation = {{{x[3], x[4], x[5]}, {x[6], x[7], x[8]}, {x[9], x[10], x[11]}}};
    in.vector = {x[12], x[13], x[14]};
    if (x[15] != 0) in.near = JointPair{x[16], x[17]};
    in.joints = {x[18], x[19], x[20]};
    in.mirror = x[21] != 0;
    return in;
}

const Method& method_named(std::string_view name) {
    for (const Method& method : kMethods) {
        if (name == method.name) return method;
    }
    std::fprintf(stderr, "unknown method %.*s\n", static_cast<int>(name.size()), name.data());
    std::exit(2);
}

/// The largest θ_A (with θ_B = 0) at which the arm's loop still closes: there the joint rates
/// are not determined.
double closing_limit(const ArmKinematics& arm) {
    double closes = 0.0, open = std::numbers::pi;
    for (int i = 0; i < 200; ++i) {
        const double middle = (closes + open) / 2;
        (arm.is_reachable_joints(middle, 0.0) ? closes : open) = middle;
    }
    return closes;
}

template <class T>
Error failure_of(const Result<T>& result) {
    if (result) std::exit(3);
    return result.error();
}

/// Each kinematics failure kind once, from a call that fails with it.
void print_messages(const Fixture& f) {
    const ArmKinematics& arm = f.arms[0];
    const Error errors[] = {
        failure_of(arm.ik(Mat3{})),
        failure_of(arm.fk(0.0, std::numbers::pi)),
        failure_of(f.neck.ik(f.neck.fk({0.0, std::numbers::pi / 2, 0.0}))),
        failure_of(arm.joint_rates(closing_limit(arm), 0.0, {0.0, 0.0, 1.0})),
    };
    for (const Error& e : errors) {
        std::printf("%d %.*s\n", static_cast<int>(e.kind) + 1, static_cast<int>(e.message.size()),
                    e.message.data());
    }
}

bool run_block(const Fixture& f) {
    char header[256];
    if (std::fgets(header, sizeof header, stdin) == nullptr) return false;
    char* cursor = header + std::strcspn(header, " ");
    const Method& method = method_named({header, static_cast<std::size_t>(cursor - header)});
    const std::size_t calls = std::strtoul(cursor, &cursor, 10);
    std::vector<double> in(calls * kInputWidth);
    std::vector<Record> out(calls);
    if (std::fread(in.data(), sizeof(double), in.size(), stdin) != in.size()) std::exit(2);
    for (std::size_t i = 0; i < calls; ++i) {
        method.call(f, input_at(in.data() + i * kInputWidth), out[i]);
    }
    for (const Record& record : out) {
        std::fwrite(record.values.data(), sizeof(double), record.values.size(), stdout);
    }
    return true;
}

}  // namespace

// NOLINTNEXTLINE(bugprone-exception-escape): a failed allocation ends the run
int main(int argc, char** argv) {
    const Fixture fixture;
    if (argc > 1 && std::strcmp(argv[1], "--messages") == 0) {
        print_messages(fixture);
        return 0;
    }
    while (run_block(fixture)) {
    }
    return 0;
}
