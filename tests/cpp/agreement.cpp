// Calls the facade on blocks of arguments, for the bit-for-bit comparison with the Python module.
// In:  blocks of a text line "<method> <arm> <calls> <arguments per call>" (<arm> indexes
//      Fixture::arms) followed by the arguments as native doubles.
// Out: per call a record of 10 native doubles: 0 and the result's doubles (a bool as 0 or 1,
//      a list of joint pairs as its size then its pairs), or the failure's kind + 1; the rest 0.
// With --messages: one line "<kind + 1> <message>" per failure kind of the kinematics.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "tests/cpp/facade_calls.h"

namespace {

using namespace torso::facade_calls;

constexpr std::size_t kRecord = 10;

/// Appends a result's doubles to a record.
struct Record {
    double* out = nullptr;
    std::size_t size = 1;  // out[0] is the status

    void put(double x) { out[size++] = x; }
    void put(bool x) { put(x ? 1.0 : 0.0); }
    void put(const Vec3& v) {
        for (const double x : v) put(x);
    }
    void put(const JointPair& p) { put(p.theta_a), put(p.theta_b); }
    void put(const JointTriple& j) { put(j.yaw), put(j.pitch), put(j.roll); }
    template <std::size_t n>
    void put(const std::array<std::array<double, n>, 3>& m) {
        for (const auto& row : m) {
            for (const double x : row) put(x);
        }
    }
    void put(const JointPairList& list) {
        put(static_cast<double>(list.size()));
        for (const JointPair& p : list) put(p);
    }
    template <class T>
    void answer(const T& value) {
        put(value);
    }
    template <class T>
    void answer(const Result<T>& result) {
        if (result) return put(*result);
        out[0] = static_cast<double>(result.error().kind) + 1;
    }
};

/// The arguments of one call, in order.
struct Arguments {
    const double* x;
    Vec3 vec(std::size_t i) const { return {x[i], x[i + 1], x[i + 2]}; }
    Mat3 mat() const { return {vec(0), vec(3), vec(6)}; }
    JointTriple triple(std::size_t i) const { return {x[i], x[i + 1], x[i + 2]}; }
};

void call(std::string_view method, const ArmKinematics& arm, const NeckKinematics& neck,
          const Arguments& a, Record r) {
    if (method == "fk") return r.answer(arm.fk(a.x[0], a.x[1]));
    if (method == "direction") return r.answer(arm.direction(a.x[0], a.x[1]));
    if (method == "ik") return r.answer(arm.ik(a.mat()));
    if (method == "ik_from_direction") return r.answer(arm.ik_from_direction(a.vec(0)));
    if (method == "ik_from_direction_near")
        return r.answer(arm.ik_from_direction(a.vec(0), JointPair{a.x[3], a.x[4]}));
    if (method == "is_reachable_joints") return r.answer(arm.is_reachable_joints(a.x[0], a.x[1]));
    if (method == "is_reachable_orientation")
        return r.answer(arm.is_reachable_orientation(a.mat()));
    if (method == "is_reachable_direction") return r.answer(arm.is_reachable_direction(a.vec(0)));
    if (method == "ik_solutions") return r.answer(arm.ik_solutions(a.mat()));
    if (method == "ik_from_direction_solutions")
        return r.answer(arm.ik_from_direction_solutions(a.vec(0)));
    if (method == "jacobian") return r.answer(arm.jacobian(a.x[0], a.x[1]));
    if (method == "direction_jacobian") return r.answer(arm.direction_jacobian(a.x[0], a.x[1]));
    if (method == "joint_rates") return r.answer(arm.joint_rates(a.x[0], a.x[1], a.vec(2)));
    if (method == "manipulability") return r.answer(arm.manipulability(a.x[0], a.x[1]));
    if (method == "neck_fk") return r.answer(neck.fk(a.triple(0)));
    if (method == "neck_ik") return r.answer(neck.ik(a.mat()));
    if (method == "neck_jacobian") return r.answer(neck.jacobian(a.triple(0)));
    if (method == "neck_joint_rates") return r.answer(neck.joint_rates(a.triple(0), a.vec(3)));
    std::fprintf(stderr, "unknown method %.*s\n", static_cast<int>(method.size()), method.data());
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

bool read_block(const Fixture& f) {
    char header[256];
    if (std::fgets(header, sizeof header, stdin) == nullptr) return false;
    char* cursor = header + std::strcspn(header, " ");
    const std::string_view method(header, static_cast<std::size_t>(cursor - header));
    const std::size_t arm = std::strtoul(cursor, &cursor, 10);
    const std::size_t calls = std::strtoul(cursor, &cursor, 10);
    const std::size_t width = std::strtoul(cursor, &cursor, 10);
    std::vector<double> in(calls * width), out(calls * kRecord, 0.0);
    if (std::fread(in.data(), sizeof(double), in.size(), stdin) != in.size()) std::exit(2);
    for (std::size_t i = 0; i < calls; ++i) {
        call(method, f.arms[arm % 3], f.neck, {in.data() + i * width}, {out.data() + i * kRecord});
    }
    std::fwrite(out.data(), sizeof(double), out.size(), stdout);
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
    while (read_block(fixture)) {
    }
    return 0;
}
