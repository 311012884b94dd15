// Latency of every allocation-free method of the C++ library, as a control loop sees it: each
// call (with the copy of its result into a record of doubles) timed on its own, 10^6 calls per
// method on random inputs (success and failure paths alike), on one thread pinned to one CPU.
// Prints p50, p99 and p99.9 in nanoseconds, and the same figures for an empty call, which is the
// clock's own cost inside every figure.
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "tests/cpp/facade_calls.h"

namespace {

using namespace torso::facade_calls;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kCalls = 1'000'000;
constexpr std::size_t kWarmUp = 10'000;

/// Pins the calling thread to the last CPU it may run on; false if that is refused.
bool pin_to_one_cpu(int& cpu) {
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return false;
    for (cpu = CPU_SETSIZE - 1; cpu >= 0 && !CPU_ISSET(cpu, &allowed); --cpu) {
    }
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    return sched_setaffinity(0, sizeof one, &one) == 0;
}

struct Percentiles {
    double p50, p99, p999;
};

Percentiles time_calls(void (*call)(const Fixture&, const Input&, Record&), const Fixture& fixture,
                       const std::vector<Input>& inputs, std::vector<std::int64_t>& ns) {
    for (std::size_t i = 0; i < kWarmUp; ++i) {
        Record record;
        call(fixture, inputs[i % inputs.size()], record);
        keep(record);
    }
    for (std::size_t i = 0; i < kCalls; ++i) {
        const Input& in = inputs[i % inputs.size()];
        Record record;
        const auto start = Clock::now();
        call(fixture, in, record);
        const auto stop = Clock::now();
        keep(record);
        ns[i] = std::chrono::duration_cast<std::chrono::nanoseconds>(stop - start).count();
    }
    std::sort(ns.begin(), ns.end());
    const auto at = [&](double q) {
        return static_cast<double>(
            ns[static_cast<std::size_t>(q * static_cast<double>(kCalls - 1))]);
    };
    return {at(0.50), at(0.99), at(0.999)};
}

void print_row(const char* name, const Percentiles& p) {
    std::printf("| %-29s | %7.0f | %7.0f | %7.0f |\n", name, p.p50, p.p99, p.p999);
}

}  // namespace

int main() {  // NOLINT(bugprone-exception-escape): a failed allocation ends the run
    int cpu = -1;
    if (!pin_to_one_cpu(cpu)) {
        std::puts("could not pin the thread to one CPU");
        return 1;
    }
    const Fixture fixture;
    const std::vector<Input> inputs = random_inputs(1U << 16U, fixture);
    std::vector<std::int64_t> ns(kCalls);
    std::printf("C++ library latency, ns per call, %zu calls per method, one thread on CPU %d\n\n",
                kCalls, cpu);
    std::printf("| %-29s | %7s | %7s | %7s |\n", "method", "p50", "p99", "p99.9");
    std::printf("|-------------------------------|--------:|--------:|--------:|\n");
    print_row("(empty call: the clock)",
              time_calls([](const Fixture&, const Input&, Record&) {}, fixture, inputs, ns));
    for (const Method& method : kMethods) {
        print_row(method.name, time_calls(method.call, fixture, inputs, ns));
    }
    return 0;
}
