"""Cost of the array methods of tarvelo_torso_kinematics, per element and per call.

Inputs are the per-call benchmark's fixed reachable inputs (bench_calls.py), repeated to N rows.
Each figure is the median of --reps timed calls, with the garbage collector off.

- per element at N = 100,000 with workers=1, beside the core routine's own time when the core
  benchmark's JSON output is given (--core-json, as `make bench` writes it);
- at N = 200,000: a Python loop that keeps the scalar results, against one array call;
- neck fk_batch / ik_batch against scipy's Rotation.from_euler("ZYX") / as_euler("ZYX")
  (when scipy is installed);
- workers=2 (and -1) against workers=1 at N = 1,000,000, best of interleaved rounds;
- fk_batch, ik_batch and neck fk_batch at N = 1,000,000 with workers 1 and 2, each writing a
  new result and writing into a reused `out`, beside the core routine's time (divided by the
  workers);
- a call with a single row;
- --sweep: workers=2 against workers=1 for N from 1,000 to 256,000 rows, to see where a
  second thread starts to pay.

    python bench/bench_arrays.py [--core-json build/bench/core.json] [--reps 9] [--sweep | --out-only]
"""

import argparse
import gc
import json
import math
import statistics
import sys
import time

import numpy as np

sys.path.insert(0, __file__.rsplit("/", 1)[0])
from bench_calls import RATE, inputs  # noqa: E402  (the same inputs as the per-call bench)

# array method: (input names, core benchmark of the routine it calls per row)
METHODS = {
    "fk_batch": (("pairs",), "forward_kinematics"),
    "direction_batch": (("pairs",), "pointing_direction"),
    "is_reachable_joints_batch": (("pairs",), "pointing_direction"),
    "ik_batch": (("rotations",), "inverse_kinematics"),
    "is_reachable_orientation_batch": (("rotations",), "is_orientation_reachable"),
    "ik_from_direction_batch": (("directions",), "inverse_kinematics_from_direction"),
    "ik_from_direction_batch(near)": (("directions", "nears"), "inverse_kinematics_from_direction_near"),
    "is_reachable_direction_batch": (("directions",), "is_direction_reachable"),
    "ik_from_direction_path": (("directions",), "inverse_kinematics_from_direction_near"),
    "jacobian_batch": (("pairs",), "frame_jacobian"),
    "direction_jacobian_batch": (("pairs",), "direction_jacobian"),
    "manipulability_batch": (("pairs",), "manipulability"),
    "neck fk_batch": (("triples",), "neck_forward_kinematics"),
    "neck ik_batch": (("neck_rotations",), "neck_inverse_kinematics"),
    "neck jacobian_batch": (("triples",), "neck_angular_velocity_jacobian"),
    "ik_nearest_batch": (("rotations",), "nearest_orientation"),
    "joint_rates_batch": (("pairs", "rates"), "joint_rates"),
    "linkage_points_batch": (("pairs",), "linkage_points"),
    "neck joint_rates_batch": (("triples", "rates"), "neck_joint_rates"),
}


def arrays(n):
    """The bench inputs as float64 arrays of n rows each."""
    data = inputs()
    rows = {
        "pairs": np.array(data["pairs"]),
        "rotations": np.array(data["rotations"]),
        "directions": np.array(data["directions"]),
        "nears": np.array([near for _, near in data["directions_near"]]),
        "triples": np.array(data["triples"]),
        "neck_rotations": np.array(data["neck_rotations"]),
        "rates": np.array([RATE] * len(data["pairs"])),
    }
    index = np.arange(n) % len(data["pairs"])
    return {name: np.ascontiguousarray(values[index]) for name, values in rows.items()}, data


def method(data, name):
    owner = data["neck"] if name.startswith("neck ") else data["arm"]
    return getattr(owner, name.removeprefix("neck ").removesuffix("(near)"))


def median_ns(call, reps):
    call()  # warm-up: numpy's import, first-touch of caches
    gc.disable()
    try:
        times = []
        for _ in range(reps):
            start = time.perf_counter_ns()
            call()
            times.append(time.perf_counter_ns() - start)
    finally:
        gc.enable()
    return statistics.median(times)


def core_times(path):
    """ns per call of each core benchmark (the median aggregate) from Google Benchmark's JSON."""
    if not path:
        return {}
    with open(path, encoding="utf-8") as source:
        report = json.load(source)
    return {b["run_name"]: b["real_time"] for b in report["benchmarks"] if b.get("aggregate_name") == "median"}


def per_element(reps, core):
    n = 100_000
    rows, data = arrays(n)
    print(f"\nper element, workers=1, N = {n:,}")
    print(f"{'method':<32} {'ns/elem':>8} {'core ns':>8} {'ratio':>6}")
    results = {}
    for name, (names, core_name) in METHODS.items():
        call = method(data, name)
        args = [rows[k] for k in names]
        ns = median_ns(lambda call=call, args=args: call(*args), reps) / n
        core_ns = core.get(core_name, math.nan)
        results[name] = {"ns_per_element": ns, "core_ns": core_ns}
        print(f"{name:<32} {ns:>8.1f} {core_ns:>8.1f} {ns / core_ns:>6.2f}")
    return results


def against_python_loop(reps):
    n = 200_000
    rows, data = arrays(n)
    arm, neck = data["arm"], data["neck"]
    pairs, triples = rows["pairs"].tolist(), rows["triples"].tolist()
    print(f"\nN = {n:,}: a Python loop keeping the scalar results, against one array call")
    print(f"{'method':<10} {'loop ns/elem':>13} {'batch ns/elem':>14} {'speed-up':>9}")
    results = {}
    cases = [
        ("arm fk", lambda: [arm.fk(a, b) for a, b in pairs], lambda: arm.fk_batch(rows["pairs"])),
        ("neck fk", lambda: [neck.fk(t) for t in triples], lambda: neck.fk_batch(rows["triples"])),
    ]
    for label, loop, batch in cases:
        # The loop as a user writes it: the collector on, the results kept.
        loop_ns = statistics.median(timed_with_gc(loop) for _ in range(max(3, reps // 3))) / n
        batch_ns = median_ns(batch, reps) / n
        results[label] = {"loop": loop_ns, "batch": batch_ns}
        print(f"{label:<10} {loop_ns:>13.1f} {batch_ns:>14.1f} {loop_ns / batch_ns:>8.1f}x")
    return results


def timed_with_gc(call):
    start = time.perf_counter_ns()
    result = call()
    elapsed = time.perf_counter_ns() - start
    del result
    return elapsed


def against_scipy(reps):
    try:
        from scipy.spatial.transform import Rotation
    except ImportError:
        print("\nscipy is not installed: no comparison with scipy.spatial.transform.Rotation")
        return {}
    n = 100_000
    rows, data = arrays(n)
    neck = data["neck"]
    angles, matrices = rows["triples"], rows["neck_rotations"]
    print(f"\nN = {n:,}: neck array methods against scipy's Rotation (vectorised)")
    print(f"{'method':<10} {'scipy ns/elem':>14} {'batch ns/elem':>14} {'speed-up':>9}")
    results = {}
    cases = [
        ("neck fk", lambda: Rotation.from_euler("ZYX", angles).as_matrix(), lambda: neck.fk_batch(angles)),
        ("neck ik", lambda: Rotation.from_matrix(matrices).as_euler("ZYX"), lambda: neck.ik_batch(matrices)),
    ]
    for label, scipy_call, batch in cases:
        scipy_ns, batch_ns = median_ns(scipy_call, reps) / n, median_ns(batch, reps) / n
        results[label] = {"scipy": scipy_ns, "batch": batch_ns}
        print(f"{label:<10} {scipy_ns:>14.1f} {batch_ns:>14.1f} {scipy_ns / batch_ns:>8.1f}x")
    return results


def best_of_interleaved(calls, reps):
    """The fastest of `reps` rounds for each call, the calls interleaved round by round: on a
    shared machine another process takes the second core at times, and the best round is the
    one that had both."""
    best = [math.inf] * len(calls)
    gc.disable()
    try:
        for _ in range(reps):
            for i, call in enumerate(calls):
                start = time.perf_counter_ns()
                call()
                best[i] = min(best[i], time.perf_counter_ns() - start)
    finally:
        gc.enable()
    return best


def workers_throughput(reps):
    n = 1_000_000
    rows, data = arrays(n)
    print(f"\nN = {n:,}: throughput of workers=2 and workers=-1 against workers=1 (best of {reps}, interleaved)")
    print(f"{'method':<32} {'w=1 ms':>8} {'w=2 ms':>8} {'w=-1 ms':>8} {'w2 gain':>8}")
    results = {}
    for name, (names, _) in METHODS.items():
        if name == "ik_from_direction_path":
            continue  # one chain: no workers
        call = method(data, name)
        args = [rows[k] for k in names]
        ms = [
            ns / 1e6
            for ns in best_of_interleaved(
                [lambda w=w, call=call, args=args: call(*args, workers=w) for w in (1, 2, -1)], reps
            )
        ]
        results[name] = ms
        print(f"{name:<32} {ms[0]:>8.1f} {ms[1]:>8.1f} {ms[2]:>8.1f} {ms[0] / ms[1]:>7.2f}x")
    return results


def reused_out(reps, core):
    n = 1_000_000
    rows, data = arrays(n)
    print(f"\nN = {n:,}: ns per row, a new result against a reused out (best of {reps}, interleaved)")
    print(f"{'method':<16} {'workers':>7} {'new':>7} {'out':>7} {'core/w':>7} {'out/core':>9} {'new/out':>8}")
    results = {}
    for name in ("fk_batch", "ik_batch", "neck fk_batch"):
        names, core_name = METHODS[name]
        call = method(data, name)
        args = [rows[k] for k in names]
        out = call(*args)
        for workers in (1, 2):
            new_ns, out_ns = (
                ns / n
                for ns in best_of_interleaved(
                    [
                        lambda call=call, args=args, w=workers: call(*args, workers=w),
                        lambda call=call, args=args, w=workers, out=out: call(*args, workers=w, out=out),
                    ],
                    reps,
                )
            )
            core_ns = core.get(core_name, math.nan) / workers
            results[f"{name} workers={workers}"] = {"new": new_ns, "out": out_ns, "core_per_worker": core_ns}
            print(
                f"{name:<16} {workers:>7} {new_ns:>7.1f} {out_ns:>7.1f} {core_ns:>7.1f} "
                f"{out_ns / core_ns:>9.2f} {new_ns / out_ns:>7.2f}x"
            )
    return results


def single_row(reps):
    _, data = arrays(1)
    arm, neck = data["arm"], data["neck"]
    pair, triple = np.array([0.1, 0.2]), np.array([0.3, 0.2, 0.1])
    print("\na call with a single row (ns per call, loop overhead included)")
    results = {}
    cases = [
        ("arm fk_batch(ndarray (2,))", lambda: arm.fk_batch(pair)),
        ("arm fk_batch((a, b))", lambda: arm.fk_batch((0.1, 0.2))),
        ("neck fk_batch(ndarray (3,))", lambda: neck.fk_batch(triple)),
        ("arm fk(a, b), for scale", lambda: arm.fk(0.1, 0.2)),
    ]
    calls = 10_000
    for label, call in cases:
        ns = median_ns(lambda call=call: [call() for _ in range(calls)], reps) / calls
        results[label] = ns
        print(f"{label:<32} {ns:>8.0f}")
    return results


def sweep(reps):
    rows, data = arrays(256_000)
    print(f"\nworkers=2 against workers=1 by rows (best of {reps}, interleaved; 1.00: not split)")
    for name in ("neck ik_batch", "fk_batch", "ik_batch"):
        names, _ = METHODS[name]
        call = method(data, name)
        cells = []
        for n in (1_000, 2_000, 4_000, 8_000, 16_000, 64_000, 256_000):
            args = [rows[k][:n] for k in names]
            t1, t2 = best_of_interleaved(
                [lambda call=call, args=args: call(*args), lambda call=call, args=args: call(*args, workers=2)], reps
            )
            cells.append(f"{n // 1000}k {t1 / t2:.2f}")
        print(f"{name:<16} " + "  ".join(cells))


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--reps", type=int, default=9)
    parser.add_argument("--core-json", help="Google Benchmark JSON of bench/core_bench.cpp")
    parser.add_argument("--sweep", action="store_true", help="only the workers sweep")
    parser.add_argument("--out-only", action="store_true", help="only the reused-out figures")
    parser.add_argument("--json", help="also write the figures to this file")
    options = parser.parse_args(argv)
    if options.sweep:
        sweep(options.reps)
        return 0
    if options.out_only:
        reused_out(options.reps, core_times(options.core_json))
        return 0
    results = {
        "python": sys.version.split()[0],
        "numpy": np.__version__,
        "per_element": per_element(options.reps, core_times(options.core_json)),
        "python_loop": against_python_loop(options.reps),
        "scipy": against_scipy(options.reps),
        "workers": workers_throughput(options.reps),
        "reused_out": reused_out(options.reps, core_times(options.core_json)),
        "single_row": single_row(options.reps),
    }
    if options.json:
        with open(options.json, "w", encoding="utf-8") as out:
            json.dump(results, out, indent=2)
    return 0


if __name__ == "__main__":
    sys.exit(main())
