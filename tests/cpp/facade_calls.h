// Every allocation-free method of the C++ facade as one row of a table, writing its result as
// doubles. The allocation test and the latency benchmark call it on random inputs that take
// its success and failure paths alike; the agreement driver on inputs from pytest.
#pragma once

#include <cstdint>
#include <numbers>
#include <optional>
#include <vector>

#include "tarvelo/torso_kinematics.h"

namespace torso::facade_calls {

using namespace tarvelo;

/// splitmix64: a fixed sequence, so every run calls the same inputs.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30U)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27U)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31U);
    }
    /// Uniform in [lo, hi).
    double uniform(double lo, double hi) {
        return lo + (hi - lo) * static_cast<double>(next() >> 11U) * 0x1p-53;
    }
    double angle() { return uniform(-std::numbers::pi, std::numbers::pi); }
    bool coin() { return (next() & 1U) != 0; }

private:
    std::uint64_t state_;
};

/// The arms every call may run on: left, right, and left on the negative branch.
struct Fixture {
    ArmKinematics arms[3] = {
        ArmKinematics::default_left(), ArmKinematics::default_right(),
        ArmKinematics::from_json(R"({"arm_arc": 0.7, "coupler_arc": 0.5, "branch": "negative"})")
            .value()};
    NeckKinematics neck;
};

/// The arguments of one call of any method; each method reads the ones it takes.
struct Input {
    std::size_t arm;
    double theta_a, theta_b;
    Mat3 rotation;  // an arm's or the neck's fk (reachable) or a turned one (mostly not)
    Vec3 vector;    // a direction, a direction rate, an angular velocity
    std::optional<JointPair> near;
    JointTriple joints;  // pitch sometimes exactly at ±π/2, where the neck locks
    bool mirror;         // of a constructed arm
};

inline Mat3 random_rotation(Rng& rng, const Fixture& f, std::size_t arm) {
    const auto closed = f.arms[arm].fk(rng.angle(), rng.angle());
    const Mat3 r = closed ? *closed : f.neck.fk({rng.angle(), rng.angle(), rng.angle()});
    if (rng.next() % 8U == 0) return f.neck.fk({rng.angle(), std::numbers::pi / 2, rng.angle()});
    return rng.coin() ? r : f.neck.fk({rng.angle(), rng.angle() / 2, rng.angle()});
}

inline Input random_input(Rng& rng, const Fixture& f) {
    Input in{};
    in.arm = static_cast<std::size_t>(rng.next() % 3U);
    in.theta_a = rng.angle();
    in.theta_b = rng.angle();
    in.rotation = random_rotation(rng, f, in.arm);
    in.vector = {rng.uniform(-1, 1), rng.uniform(-1, 1), rng.uniform(-1, 1)};
    if (rng.coin()) in.near = JointPair{rng.angle(), rng.angle()};
    const double pitch = rng.next() % 8U == 0 ? std::numbers::pi / 2 : rng.angle() / 2;
    in.joints = {rng.angle(), pitch, rng.angle()};
    in.mirror = rng.coin();
    return in;
}

/// `count` random inputs, made before any call is counted or timed; the calls cycle over them.
inline std::vector<Input> random_inputs(std::size_t count, const Fixture& f) {
    Rng rng(0x5EED);
    std::vector<Input> inputs;
    inputs.reserve(count);
    for (std::size_t i = 0; i < count; ++i) inputs.push_back(random_input(rng, f));
    return inputs;
}

/// Keeps a result from being optimised away, without a store the compiler could drop.
template <class T>
inline void keep(const T& value) {
    asm volatile("" : : "r"(&value) : "memory");
}

/// A call's result as doubles: 0 then the result's numbers in order (a bool or the branch as
/// 0 or 1, a list of joint pairs as its size then its pairs, an arm as its arcs, mirror and
/// branch), or the failure's kind + 1 alone.
struct Record {
    std::array<double, 10> values{};
    std::size_t size = 1;

    void put(double x) { values[size++] = x; }
    void put(bool x) { put(x ? 1.0 : 0.0); }
    void put(Branch branch) { put(branch == Branch::negative); }
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
    void put(const ArmKinematics& arm) {
        put(arm.arm_arc()), put(arm.coupler_arc()), put(arm.mirror()), put(arm.branch());
    }
    template <class T>
    void answer(const T& value) {
        put(value);
    }
    template <class T>
    void answer(const Result<T>& result) {
        if (result) return put(*result);
        values[0] = static_cast<double>(result.error().kind) + 1;
    }
};

struct Method {
    const char* name;
    void (*call)(const Fixture&, const Input&, Record&);
};

// clang-format off
inline constexpr Method kMethods[] = {
    {"ArmKinematics()", [](const Fixture&, const Input& in, Record& r) { r.answer(ArmKinematics(in.theta_a, in.theta_b, in.mirror)); }},
    {"default_left", [](const Fixture&, const Input&, Record& r) { r.answer(ArmKinematics::default_left()); }},
    {"default_right", [](const Fixture&, const Input&, Record& r) { r.answer(ArmKinematics::default_right()); }},
    {"arm_arc", [](const Fixture& f, const Input& in, Record& r) { r.answer(f.arms[in.arm].arm_arc()); }},
    {"coupler_arc", [](const Fixture& f, const Input& in, Record& r) { r.answer(f.arms[in.arm].coupler_arc()); }},
    {"mirror", [](const Fixture& f, const Input& in, Record& r) { r.answer(f.arms[in.arm].mirror()); }},
    {"branch", [](const Fixture& f, const Input& in, Record& r) { r.answer(f.arms[in.arm].branch()); }},
    {"fk", [](const Fixture& f, const Input& in, Record& r) { r.answer(f.arms[in.arm].fk(in.theta_a, in.theta_b)); }},
    {"direction", [](const Fixture& f, const Input& in, Record& r) { r.answer(f.arms[in.arm].direction(in.theta_a, in.theta_b)); }},
    {"ik", [](const Fixture& f, const Input& in, Record& r) { r.answer(f.arms[in.arm].ik(in.rotation)); }},
    {"ik_from_direction", [](const Fixture& f, const Input& in, Record& r) { r.answer(f.arms[in.arm].ik_from_direction(in.vector, in.near)); }},
    {"is_reachable_joints", [](const Fixture& f, const Input& in, Record& r) { r.answer(f.arms[in.arm].is_reachable_joints(in.theta_a, in.theta_b)); }},
    {"is_reachable_orientation", [](const Fixture& f, const Input& in, Record& r) { r.answer(f.arms[in.arm].is_reachable_orientation(in.rotation)); }},
    {"is_reachable_direction", [](const Fixture& f, const Input& in, Record& r) { r.answer(f.arms[in.arm].is_reachable_direction(in.vector)); }},
    {"ik_solutions", [](const Fixture& f, const Input& in, Record& r) { r.answer(f.arms[in.arm].ik_solutions(in.rotation)); }},
    {"ik_from_direction_solutions", [](const Fixture& f, const Input& in, Record& r) { r.answer(f.arms[in.arm].ik_from_direction_solutions(in.vector)); }},
    {"jacobian", [](const Fixture& f, const Input& in, Record& r) { r.answer(f.arms[in.arm].jacobian(in.theta_a, in.theta_b)); }},
    {"direction_jacobian", [](const Fixture& f, const Input& in, Record& r) { r.answer(f.arms[in.arm].direction_jacobian(in.theta_a, in.theta_b)); }},
    {"joint_rates", [](const Fixture& f, const Input& in, Record& r) { r.answer(f.arms[in.arm].joint_rates(in.theta_a, in.theta_b, in.vector)); }},
    {"manipulability", [](const Fixture& f, const Input& in, Record& r) { r.answer(f.arms[in.arm].manipulability(in.theta_a, in.theta_b)); }},
    {"neck.fk", [](const Fixture& f, const Input& in, Record& r) { r.answer(f.neck.fk(in.joints)); }},
    {"neck.ik", [](const Fixture& f, const Input& in, Record& r) { r.answer(f.neck.ik(in.rotation)); }},
    {"neck.jacobian", [](const Fixture& f, const Input& in, Record& r) { r.answer(f.neck.jacobian(in.joints)); }},
    {"neck.joint_rates", [](const Fixture& f, const Input& in, Record& r) { r.answer(f.neck.joint_rates(in.joints, in.vector)); }},
};
// clang-format on

}  // namespace torso::facade_calls
