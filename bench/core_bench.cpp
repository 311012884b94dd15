// Pure compute cost of every kinematics routine on fixed reachable inputs (no Python).
#include <benchmark/benchmark.h>

#include <optional>
#include <string_view>

#include "arm/fk.h"
#include "arm/geometry_document.h"
#include "arm/ik.h"
#include "neck/neck.h"

namespace {

using namespace torso;

const arm::ArmLinkage kLeft = arm::prepare_linkage(arm::kDefaultLeft);
const arm::LinkagePose kPose = *arm::forward_kinematics(kLeft, 0.5, 0.5);
constexpr JointTriple kNeckJoints{0.3, 0.2, 0.1};
constexpr std::string_view kDocument =
    R"({"arm_arc": 0.7, "coupler_arc": 0.5, "branch": "negative", "mirror": true})";

void forward_kinematics(benchmark::State& state) {
    double theta_a = 0.5, theta_b = 0.5;
    for (auto _ : state) {
        benchmark::DoNotOptimize(theta_a);
        benchmark::DoNotOptimize(arm::forward_kinematics(kLeft, theta_a, theta_b));
    }
}

void pointing_direction(benchmark::State& state) {
    double theta_a = 0.5, theta_b = 0.5;
    for (auto _ : state) {
        benchmark::DoNotOptimize(theta_a);
        benchmark::DoNotOptimize(arm::pointing_direction(kLeft, theta_a, theta_b));
    }
}

void is_orientation_reachable(benchmark::State& state) {
    Mat3 target = kPose.rotation;
    for (auto _ : state) {
        benchmark::DoNotOptimize(target);
        benchmark::DoNotOptimize(arm::is_orientation_reachable(kLeft, target));
    }
}

void is_direction_reachable(benchmark::State& state) {
    Vec3 d = kPose.v_3;
    for (auto _ : state) {
        benchmark::DoNotOptimize(d);
        benchmark::DoNotOptimize(arm::is_direction_reachable(kLeft, d));
    }
}

void enumerate_candidates(benchmark::State& state) {
    Vec3 d = kPose.v_3;
    for (auto _ : state) {
        benchmark::DoNotOptimize(d);
        benchmark::DoNotOptimize(arm::enumerate_candidates(kLeft, d));
    }
}

void inverse_kinematics(benchmark::State& state) {
    Mat3 target = kPose.rotation;
    for (auto _ : state) {
        benchmark::DoNotOptimize(target);
        benchmark::DoNotOptimize(arm::inverse_kinematics(kLeft, target));
    }
}

void inverse_kinematics_from_direction(benchmark::State& state) {
    Vec3 d = kPose.v_3;
    for (auto _ : state) {
        benchmark::DoNotOptimize(d);
        benchmark::DoNotOptimize(arm::inverse_kinematics_from_direction(kLeft, d, std::nullopt));
    }
}

void inverse_kinematics_from_direction_near(benchmark::State& state) {
    Vec3 d = kPose.v_3;
    std::optional<JointPair> near = JointPair{0.5, 0.5};
    for (auto _ : state) {
        benchmark::DoNotOptimize(d);
        benchmark::DoNotOptimize(arm::inverse_kinematics_from_direction(kLeft, d, near));
    }
}

void neck_forward_kinematics(benchmark::State& state) {
    JointTriple joints = kNeckJoints;
    for (auto _ : state) {
        benchmark::DoNotOptimize(joints);
        benchmark::DoNotOptimize(neck::forward_kinematics(joints));
    }
}

void neck_inverse_kinematics(benchmark::State& state) {
    Mat3 r = neck::forward_kinematics(kNeckJoints);
    for (auto _ : state) {
        benchmark::DoNotOptimize(r);
        benchmark::DoNotOptimize(neck::inverse_kinematics(r));
    }
}

void read_geometry_document(benchmark::State& state) {
    std::string_view text = kDocument;
    for (auto _ : state) {
        benchmark::DoNotOptimize(text);
        benchmark::DoNotOptimize(arm::read_geometry_document(text));
    }
}

void prepare_linkage(benchmark::State& state) {
    arm::SphericalLinkGeometry geometry = arm::kDefaultLeft;
    for (auto _ : state) {
        benchmark::DoNotOptimize(geometry);
        benchmark::DoNotOptimize(arm::prepare_linkage(geometry));
    }
}

BENCHMARK(forward_kinematics);
BENCHMARK(pointing_direction);
BENCHMARK(enumerate_candidates);
BENCHMARK(inverse_kinematics);
BENCHMARK(is_orientation_reachable);
BENCHMARK(inverse_kinematics_from_direction);
BENCHMARK(inverse_kinematics_from_direction_near);
BENCHMARK(is_direction_reachable);
BENCHMARK(neck_forward_kinematics);
BENCHMARK(neck_inverse_kinematics);
BENCHMARK(read_geometry_document);
BENCHMARK(prepare_linkage);

}  // namespace

BENCHMARK_MAIN();
