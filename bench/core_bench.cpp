// Pure compute cost of every kinematics routine (no Python), averaged over the same fixed
// inputs that the per-call benchmarks use: a grid of joint pairs inside the default left
// arm's workspace, away from its boundary, and the rotations and directions they give.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

#include "arm/fk.h"
#include "arm/geometry_document.h"
#include "arm/ik.h"
#include "arm/rates.h"
#include "neck/neck.h"
#include "neck/rates.h"

namespace {

using namespace torso;

const arm::ArmLinkage kLeft = arm::prepare_linkage(arm::kDefaultLeft);
constexpr std::string_view kDocument =
    R"({"arm_arc": 0.7, "coupler_arc": 0.5, "branch": "positive", "mirror": false})";

/// Joint pairs of the grid that close the loop and come back from ik(fk(pair)).
std::vector<JointPair> joint_grid() {
    std::vector<JointPair> pairs;
    for (double a : {-0.45, -0.2, 0.1, 0.35, 0.55}) {
        for (double b : {-0.5, -0.15, 0.2, 0.45}) {
            const auto pose = arm::forward_kinematics(kLeft, a, b);
            if (!pose) {
                continue;
            }
            const auto back = arm::inverse_kinematics(kLeft, pose->rotation);
            if (back && std::fabs(back->theta_a - a) < 1e-9 &&
                std::fabs(back->theta_b - b) < 1e-9) {
                pairs.push_back({a, b});
            }
        }
    }
    return pairs;
}

struct Inputs {
    std::vector<JointPair> pairs = joint_grid();
    std::vector<Mat3> rotations;
    std::vector<Vec3> directions;
    std::vector<std::optional<JointPair>> nears;
    std::vector<JointTriple> neck_joints;
    std::vector<Mat3> neck_rotations;

    Inputs() {
        for (std::size_t k = 0; k < pairs.size(); ++k) {
            const auto pose = *arm::forward_kinematics(kLeft, pairs[k].theta_a, pairs[k].theta_b);
            rotations.push_back(pose.rotation);
            directions.push_back(pose.v_3);
            nears.push_back(JointPair{pairs[k].theta_a + 0.01, pairs[k].theta_b - 0.01});
            const double i = static_cast<double>(k);
            neck_joints.push_back({0.3 * std::sin((1.7 * i) + 0.4), 0.8 * std::sin((0.9 * i) + 1.1),
                                   0.5 * std::cos((1.3 * i) + 0.2)});
            neck_rotations.push_back(neck::forward_kinematics(neck_joints.back()));
        }
    }
};

const Inputs& inputs() {
    static const Inputs all;
    return all;
}

/// Run `call` on the inputs in turn, one per iteration.
template <class Items, class Call>
void cycle(benchmark::State& state, const Items& items, Call call) {
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(call(items[i]));
        i = i + 1 == items.size() ? 0 : i + 1;
    }
}

void forward_kinematics(benchmark::State& state) {
    cycle(state, inputs().pairs,
          [](const JointPair& p) { return arm::forward_kinematics(kLeft, p.theta_a, p.theta_b); });
}

void pointing_direction(benchmark::State& state) {
    cycle(state, inputs().pairs,
          [](const JointPair& p) { return arm::pointing_direction(kLeft, p.theta_a, p.theta_b); });
}

void linkage_points(benchmark::State& state) {
    cycle(state, inputs().pairs,
          [](const JointPair& p) { return arm::linkage_points(kLeft, p.theta_a, p.theta_b); });
}

void enumerate_candidates(benchmark::State& state) {
    cycle(state, inputs().directions,
          [](const Vec3& d) { return arm::enumerate_candidates(kLeft, d); });
}

void inverse_kinematics(benchmark::State& state) {
    cycle(state, inputs().rotations,
          [](const Mat3& r) { return arm::inverse_kinematics(kLeft, r); });
}

void nearest_orientation(benchmark::State& state) {
    cycle(state, inputs().rotations,
          [](const Mat3& r) { return arm::nearest_orientation(kLeft, r); });
}

void is_orientation_reachable(benchmark::State& state) {
    cycle(state, inputs().rotations,
          [](const Mat3& r) { return arm::is_orientation_reachable(kLeft, r); });
}

void inverse_kinematics_from_direction(benchmark::State& state) {
    cycle(state, inputs().directions, [](const Vec3& d) {
        return arm::inverse_kinematics_from_direction(kLeft, d, std::nullopt);
    });
}

void inverse_kinematics_from_direction_near(benchmark::State& state) {
    const Inputs& in = inputs();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            arm::inverse_kinematics_from_direction(kLeft, in.directions[i], in.nears[i]));
        i = i + 1 == in.directions.size() ? 0 : i + 1;
    }
}

void is_direction_reachable(benchmark::State& state) {
    cycle(state, inputs().directions,
          [](const Vec3& d) { return arm::is_direction_reachable(kLeft, d); });
}

void orientation_solutions(benchmark::State& state) {
    cycle(state, inputs().rotations,
          [](const Mat3& r) { return arm::orientation_solutions(kLeft, r); });
}

void direction_solutions(benchmark::State& state) {
    cycle(state, inputs().directions,
          [](const Vec3& d) { return arm::direction_solutions(kLeft, d); });
}

constexpr Vec3 kRate{0.1, -0.2, 0.3};  // a direction rate and an angular velocity

void frame_jacobian(benchmark::State& state) {
    cycle(state, inputs().pairs,
          [](const JointPair& p) { return arm::frame_jacobian(kLeft, p.theta_a, p.theta_b); });
}

void direction_jacobian(benchmark::State& state) {
    cycle(state, inputs().pairs,
          [](const JointPair& p) { return arm::direction_jacobian(kLeft, p.theta_a, p.theta_b); });
}

void joint_rates(benchmark::State& state) {
    cycle(state, inputs().pairs,
          [](const JointPair& p) { return arm::joint_rates(kLeft, p.theta_a, p.theta_b, kRate); });
}

void manipulability(benchmark::State& state) {
    cycle(state, inputs().pairs,
          [](const JointPair& p) { return arm::manipulability(kLeft, p.theta_a, p.theta_b); });
}

void neck_angular_velocity_jacobian(benchmark::State& state) {
    cycle(state, inputs().neck_joints,
          [](const JointTriple& j) { return neck::angular_velocity_jacobian(j); });
}

void neck_joint_rates(benchmark::State& state) {
    cycle(state, inputs().neck_joints,
          [](const JointTriple& j) { return neck::joint_rates(j, kRate); });
}

void neck_forward_kinematics(benchmark::State& state) {
    cycle(state, inputs().neck_joints,
          [](const JointTriple& j) { return neck::forward_kinematics(j); });
}

void neck_inverse_kinematics(benchmark::State& state) {
    cycle(state, inputs().neck_rotations,
          [](const Mat3& r) { return neck::inverse_kinematics(r); });
}

void read_geometry_document(benchmark::State& state) {
    std::string_view text = kDocument;
    for (auto _ : state) {
        benchmark::DoNotOptimize(text);
        benchmark::DoNotOptimize(arm::read_geometry_document(text));
    }
}

void prepare_linkage(benchmark::State& state) {
    arm::SphericalLinkGeometry geometry{0.6, 0.4, arm::Branch::positive, true};
    for (auto _ : state) {
        benchmark::DoNotOptimize(geometry);
        benchmark::DoNotOptimize(arm::prepare_linkage(geometry));
    }
}

/// What one more worker of an array call costs besides its rows: starting a thread and
/// joining it (the array methods give each worker at least several times this much work).
void start_and_join_thread(benchmark::State& state) {
    for (auto _ : state) {
        std::jthread worker([] {});
    }
}

BENCHMARK(forward_kinematics);
BENCHMARK(pointing_direction);
BENCHMARK(linkage_points);
BENCHMARK(enumerate_candidates);
BENCHMARK(inverse_kinematics);
BENCHMARK(nearest_orientation);
BENCHMARK(is_orientation_reachable);
BENCHMARK(inverse_kinematics_from_direction);
BENCHMARK(inverse_kinematics_from_direction_near);
BENCHMARK(is_direction_reachable);
BENCHMARK(orientation_solutions);
BENCHMARK(direction_solutions);
BENCHMARK(frame_jacobian);
BENCHMARK(direction_jacobian);
BENCHMARK(joint_rates);
BENCHMARK(manipulability);
BENCHMARK(neck_angular_velocity_jacobian);
BENCHMARK(neck_joint_rates);
BENCHMARK(neck_forward_kinematics);
BENCHMARK(neck_inverse_kinematics);
BENCHMARK(read_geometry_document);
BENCHMARK(prepare_linkage);
BENCHMARK(start_and_join_thread)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
