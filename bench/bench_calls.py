"""Per-call cost of every method of tarvelo_torso_kinematics, as user code calls it.

Each method runs over fixed reachable inputs (a grid of joint pairs) in a loop compiled for it alone; a batch is
calibrated to about --batch-ms, the calibration runs are the warm-up, and the figure is the
median over --reps batches of (ns per call - ns per iteration of the same loop without the
call). The garbage collector is off inside a batch, as in timeit.

    python bench/bench_calls.py [--reps 15] [--batch-ms 20] [--methods fk,ik] [--json out.json]
"""

import argparse
import gc
import json
import math
import statistics
import sys
import time

from tarvelo_torso_kinematics import TarveloArmKinematics, TarveloNeckKinematics

DOCUMENT = '{"arm_arc": 0.7, "coupler_arc": 0.5, "branch": "positive", "mirror": false}'
RATE = [0.1, -0.2, 0.3]  # a direction rate and an angular velocity


def joint_grid(arm):
    """Joint pairs of a grid inside the default arm's workspace that come back from ik(fk)."""
    pairs = []
    for a in (-0.45, -0.2, 0.1, 0.35, 0.55):
        for b in (-0.5, -0.15, 0.2, 0.45):
            if arm.is_reachable_joints(a, b):
                back = arm.ik(arm.fk(a, b))
                if abs(back[0] - a) < 1e-9 and abs(back[1] - b) < 1e-9:
                    pairs.append((a, b))
    return pairs


def inputs():
    """Fixed reachable inputs; the core benchmarks use the same ones."""
    arm = TarveloArmKinematics.default_left()
    neck = TarveloNeckKinematics()
    pairs = joint_grid(arm)
    directions = [arm.direction(a, b) for a, b in pairs]
    triples = [
        [0.3 * math.sin(1.7 * k + 0.4), 0.8 * math.sin(0.9 * k + 1.1), 0.5 * math.cos(1.3 * k + 0.2)]
        for k in range(len(pairs))
    ]
    return {
        "arm": arm,
        "neck": neck,
        "pairs": pairs,
        "rotations": [arm.fk(a, b) for a, b in pairs],
        "directions": directions,
        "directions_near": [(d, (a + 0.01, b - 0.01)) for d, (a, b) in zip(directions, pairs, strict=True)],
        "triples": triples,
        "neck_rotations": [neck.fk(t) for t in triples],
        "pair_rates": [(a, b, RATE) for a, b in pairs],
        "triple_rates": [(t, RATE) for t in triples],
        "documents": [DOCUMENT] * len(pairs),
        "nothing": [None] * len(pairs),
    }


# name: (input list, loop body over `x` with the arm `o`, the neck `n`, the class `C`)
METHODS = {
    "new": ("nothing", "C()"),
    "default_left": ("nothing", "C.default_left()"),
    "default_right": ("nothing", "C.default_right()"),
    "from_json": ("documents", "C.from_json(x)"),
    "arm_arc": ("nothing", "o.arm_arc()"),
    "coupler_arc": ("nothing", "o.coupler_arc()"),
    "mirror": ("nothing", "o.mirror()"),
    "fk": ("pairs", "o.fk(x[0], x[1])"),
    "direction": ("pairs", "o.direction(x[0], x[1])"),
    "is_reachable_joints": ("pairs", "o.is_reachable_joints(x[0], x[1])"),
    "ik": ("rotations", "o.ik(x)"),
    "is_reachable_orientation": ("rotations", "o.is_reachable_orientation(x)"),
    "ik_from_direction": ("directions", "o.ik_from_direction(x)"),
    "ik_from_direction_near": ("directions_near", "o.ik_from_direction(x[0], near=x[1])"),
    "is_reachable_direction": ("directions", "o.is_reachable_direction(x)"),
    "neck_new": ("nothing", "N()"),
    "neck_fk": ("triples", "n.fk(x)"),
    "neck_ik": ("neck_rotations", "n.ik(x)"),
    "jacobian": ("pairs", "o.jacobian(x[0], x[1])"),
    "direction_jacobian": ("pairs", "o.direction_jacobian(x[0], x[1])"),
    "joint_rates": ("pair_rates", "o.joint_rates(x[0], x[1], x[2])"),
    "manipulability": ("pairs", "o.manipulability(x[0], x[1])"),
    "ik_solutions": ("rotations", "o.ik_solutions(x)"),
    "ik_from_direction_solutions": ("directions", "o.ik_from_direction_solutions(x)"),
    "neck_jacobian": ("triples", "n.jacobian(x)"),
    "neck_joint_rates": ("triple_rates", "n.joint_rates(x[0], x[1])"),
}


def compile_loop(body):
    """A fresh function per method, so the interpreter's inline caches are not shared."""
    source = (
        f"def run(xs, rounds, o, n, C, N):\n    for _ in range(rounds):\n        for x in xs:\n            {body}\n"
    )
    namespace = {}
    exec(compile(source, f"<bench {body}>", "exec"), namespace)
    return namespace["run"]


def timed(run, args, rounds):
    start = time.perf_counter_ns()
    run(*args[:1], rounds, *args[1:])
    return time.perf_counter_ns() - start


def measure(body, xs, data, reps, batch_ms):
    run, bare = compile_loop(body), compile_loop("pass")
    args = (xs, data["arm"], data["neck"], TarveloArmKinematics, TarveloNeckKinematics)
    rounds = 1
    while timed(run, args, rounds) < batch_ms * 1e6 / 4:  # calibration doubles as warm-up
        rounds *= 2
    rounds = max(1, int(rounds * batch_ms * 1e6 / max(1, timed(run, args, rounds))))
    calls = rounds * len(xs)
    net = []
    gc.disable()
    try:
        for _ in range(reps):
            loop_ns = timed(bare, args, rounds) / calls
            net.append(timed(run, args, rounds) / calls - loop_ns)
    finally:
        gc.enable()
    return statistics.median(net)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--reps", type=int, default=15)
    parser.add_argument("--batch-ms", type=float, default=20.0)
    parser.add_argument("--methods", default=",".join(METHODS))
    parser.add_argument("--json", help="also write the figures to this file")
    options = parser.parse_args(argv)
    data = inputs()
    results = {}
    print(f"{'method':<26} {'ns/call':>9}")
    for name in options.methods.split(","):
        source, body = METHODS[name]
        results[name] = measure(body, data[source], data, options.reps, options.batch_ms)
        print(f"{name:<26} {results[name]:>9.1f}")
    if options.json:
        with open(options.json, "w", encoding="utf-8") as out:
            json.dump({"python": sys.version.split()[0], "ns_per_call": results}, out, indent=2)
    return 0 if all(math.isfinite(v) for v in results.values()) else 1


if __name__ == "__main__":
    sys.exit(main())
