"""Bit identity of every method between two builds, typically x86_64 and aarch64 under emulation.

    python tools/arch_identity.py run OUT [--inputs FILE] [--rows N] [--seed S]
    python tools/arch_identity.py compare A B

`run` computes every method, scalar and array forms, on the same rows and writes each row's
result as bytes (float64 bit patterns; a failure as its exception type and message) to OUT.
Without --inputs it first draws the rows from the seed: random joints, targets made reachable
by the forward kinematics and then nudged across the 1e-6 acceptance bound, directions around
the 1e-12 length bound, neck pitches at the gimbal-lock bound, and NaN and infinity rows. The
rows are saved with the results, so the second build runs with --inputs set to the first's OUT
and computes exactly the same rows (the check needs nothing else to agree between the two).
`compare` prints, per method, the rows compared and the rows whose bytes differ, with the
first few differences, and fails when any differs.
"""

import argparse
import itertools
import pickle
import sys

import numpy as np

import tarvelo_torso_kinematics as tk

# Consecutive directions of each ik_from_direction_path call.
PATH_LENGTH = 50


def draw_inputs(rows, seed):
    """The rows every method is computed on: a dict of float64 arrays of `rows` rows."""
    rng = np.random.default_rng(seed)
    # Row i is computed with arms()[i % 3]: its targets come from that arm.
    row_arm = [arm for _, arm in zip(range(rows), itertools.cycle(arms()))]
    # Half the joints where the loop closes (drawn until it does), half anywhere.
    joints = rng.uniform(-3.5, 3.5, (rows, 2))
    for i in range(0, rows, 2):
        while not row_arm[i].is_reachable_joints(*joints[i]):
            joints[i] = rng.uniform(-3.5, 3.5, 2)
    special = np.array([np.nan, np.inf, -np.inf, 0.0, -0.0, np.pi, -np.pi, 1e300, 5e-324])
    joints[: len(special) ** 2] = np.array(np.meshgrid(special, special)).reshape(2, -1).T
    # Rotations and directions the arm reaches, from random joints, nudged by about 1e-6: on
    # both sides of the acceptance bound. A tenth carries a NaN or an infinity in one element.
    reached = rng.uniform(-3.5, 3.5, (rows, 2))
    reached[::2] = joints[::2]
    rotations = np.empty((rows, 3, 3))
    directions = np.empty((rows, 3))
    for i, (a, b) in enumerate(reached):
        if row_arm[i].is_reachable_joints(a, b):
            rotations[i], directions[i] = row_arm[i].fk(a, b), row_arm[i].direction(a, b)
        else:
            rotations[i], directions[i] = rng.uniform(-1, 1, (3, 3)), rng.uniform(-1, 1, 3)
    rotations += rng.choice([0.0, 1.0], (rows, 1, 1)) * rng.uniform(-1.5e-6, 1.5e-6, (rows, 3, 3))
    directions += rng.choice([0.0, 1.0], (rows, 1)) * rng.uniform(-1.5e-6, 1.5e-6, (rows, 3))
    directions *= rng.choice([1.0, 7.0, 1e-9], (rows, 1))
    # Directions whose length is the 1e-12 bound, a bit above or below it.
    short = slice(rows // 10, rows // 10 + rows // 20)
    unit = directions[short] / np.linalg.norm(directions[short], axis=1, keepdims=True)
    directions[short] = unit * rng.choice(
        [1e-12, np.nextafter(1e-12, 0), np.nextafter(1e-12, 1), 1.1e-12], (len(unit), 1)
    )
    for values, width in ((rotations.reshape(rows, 9), 9), (directions, 3)):
        poisoned = np.arange(rows - rows // 10, rows)
        values[poisoned, rng.integers(0, width, len(poisoned))] = rng.choice(special[:3], len(poisoned))
    near = rng.uniform(-3.5, 3.5, (rows, 2))
    # The neck: pitch around the gimbal-lock bound asin(1 - 1e-6), and some non-finite angles.
    neck_joints = rng.uniform(-3.5, 3.5, (rows, 3))
    bound = np.arcsin(1 - 1e-6)
    neck_joints[: rows // 5, 1] = rng.choice([1.0, -1.0], rows // 5) * (bound + rng.uniform(-1e-9, 1e-9, rows // 5))
    neck_joints[-rows // 20 :, 2] = rng.choice(special[:3], rows // 20)
    neck = tk.TarveloNeckKinematics()
    neck_rotations = np.array([neck.fk(j) if np.isfinite(j).all() else np.eye(3).tolist() for j in neck_joints])
    rates = rng.uniform(-2, 2, (rows, 3))
    return {
        "joints": joints,
        "rotations": rotations,
        "directions": directions,
        "near": near,
        "neck_joints": neck_joints,
        "neck_rotations": neck_rotations,
        "rates": rates,
    }


def arms():
    negative = tk.TarveloArmKinematics.from_json('{"arm_arc":0.7,"coupler_arc":0.5,"branch":"negative"}')
    return [tk.TarveloArmKinematics.default_left(), tk.TarveloArmKinematics.default_right(), negative]


def encode(result):
    """A result's exact bytes: float64 bit patterns with the shape, or the failure's type and message."""
    if isinstance(result, BaseException):
        return f"!{type(result).__name__}: {result}".encode()
    if isinstance(result, (bool, np.bool_)):
        return b"T" if result else b"F"
    array = np.asarray(result, dtype=np.float64)
    return repr(array.shape).encode() + array.astype("<f8").tobytes()


def call(method, *arguments, **options):
    try:
        return method(*arguments, **options)
    except Exception as failure:  # noqa: BLE001 (a failure is a result to compare)
        return failure


def scalar_methods(inputs):
    """(name, inputs key(s), function of (object, row values)) for the per-call forms."""
    return [
        ("fk", ("joints",), lambda o, j: o.fk(*j)),
        ("direction", ("joints",), lambda o, j: o.direction(*j)),
        ("is_reachable_joints", ("joints",), lambda o, j: o.is_reachable_joints(*j)),
        ("jacobian", ("joints",), lambda o, j: o.jacobian(*j)),
        ("direction_jacobian", ("joints",), lambda o, j: o.direction_jacobian(*j)),
        ("manipulability", ("joints",), lambda o, j: o.manipulability(*j)),
        ("joint_rates", ("joints", "rates"), lambda o, j, r: o.joint_rates(*j, r.tolist())),
        ("ik", ("rotations",), lambda o, r: o.ik(r.tolist())),
        ("is_reachable_orientation", ("rotations",), lambda o, r: o.is_reachable_orientation(r.tolist())),
        ("ik_solutions", ("rotations",), lambda o, r: o.ik_solutions(r.tolist())),
        ("ik_from_direction", ("directions",), lambda o, d: o.ik_from_direction(d.tolist())),
        (
            "ik_from_direction near",
            ("directions", "near"),
            lambda o, d, n: o.ik_from_direction(d.tolist(), near=tuple(n.tolist())),
        ),
        ("is_reachable_direction", ("directions",), lambda o, d: o.is_reachable_direction(d.tolist())),
        ("ik_from_direction_solutions", ("directions",), lambda o, d: o.ik_from_direction_solutions(d.tolist())),
    ]


def array_methods():
    """(name, inputs key(s), function of (object, arrays)) for the array forms."""
    return [
        (name, ("joints",), lambda o, j, name=name: getattr(o, name)(j))
        for name in ("fk_batch", "direction_batch", "is_reachable_joints_batch", "jacobian_batch")
        + ("direction_jacobian_batch", "manipulability_batch")
    ] + [
        ("ik_batch", ("rotations",), lambda o, r: o.ik_batch(r)),
        ("is_reachable_orientation_batch", ("rotations",), lambda o, r: o.is_reachable_orientation_batch(r)),
        ("ik_from_direction_batch", ("directions",), lambda o, d: o.ik_from_direction_batch(d)),
        ("ik_from_direction_batch near", ("directions", "near"), lambda o, d, n: o.ik_from_direction_batch(d, n)),
        ("is_reachable_direction_batch", ("directions",), lambda o, d: o.is_reachable_direction_batch(d)),
        ("ik_from_direction_path", ("directions", "near"), lambda o, d, n: o.ik_from_direction_path(d, n[0])),
    ]


NECK_SCALAR = [
    ("neck fk", ("neck_joints",), lambda o, j: o.fk(j.tolist())),
    ("neck ik", ("neck_rotations",), lambda o, r: o.ik(r.tolist())),
    ("neck jacobian", ("neck_joints",), lambda o, j: o.jacobian(j.tolist())),
    ("neck joint_rates", ("neck_joints", "rates"), lambda o, j, w: o.joint_rates(j.tolist(), w.tolist())),
]
NECK_ARRAYS = [
    ("neck fk_batch", ("neck_joints",), lambda o, j: o.fk_batch(j)),
    ("neck ik_batch", ("neck_rotations",), lambda o, r: o.ik_batch(r)),
    ("neck jacobian_batch", ("neck_joints",), lambda o, j: o.jacobian_batch(j)),
]


def run_arrays(function, obj, columns, rows):
    """Each row's result of an array form over `rows`, in blocks; a block that fails is computed
    row by row, so that each row's own failure is compared."""
    out = []
    for start in range(0, len(rows), PATH_LENGTH):
        block = rows[start : start + PATH_LENGTH]
        result = call(function, obj, *(c[block] for c in columns))
        if not isinstance(result, BaseException):
            out += [encode(row) for row in result]
        else:
            out += [encode(call(function, obj, *(c[[i]] for c in columns))) for i in block]
    return out


def compute(inputs):
    rows = len(inputs["joints"])
    arm_list, neck = arms(), tk.TarveloNeckKinematics()
    results = {}
    for name, keys, function in scalar_methods(inputs):
        columns = [inputs[k] for k in keys]
        results[name] = [encode(call(function, arm_list[i % 3], *(c[i] for c in columns))) for i in range(rows)]
    for name, keys, function in NECK_SCALAR:
        columns = [inputs[k] for k in keys]
        results[name] = [encode(call(function, neck, *(c[i] for c in columns))) for i in range(rows)]
    for name, keys, function in array_methods():
        columns = [inputs[k] for k in keys]
        per_arm = [run_arrays(function, arm, columns, np.arange(k, rows, 3)) for k, arm in enumerate(arm_list)]
        results[name] = [per_arm[i % 3][i // 3] for i in range(rows)]
    for name, keys, function in NECK_ARRAYS:
        results[name] = run_arrays(function, neck, [inputs[k] for k in keys], np.arange(rows))
    return results


def without_nan_sign(blob):
    """A float result's bytes with every NaN made the positive quiet NaN. x86_64 makes a NaN
    from an invalid operation (inf - inf, 0 * inf, sin(inf)) with its sign bit set, AArch64
    without it, so such a row differs in that bit alone."""
    if blob[:1] != b"(":
        return blob
    head, _, values = blob.partition(b")")
    array = np.frombuffer(values, dtype="<f8").copy()
    array[np.isnan(array)] = np.nan
    return head + b")" + array.tobytes()


def compare(first, second):
    if any(not np.array_equal(first["inputs"][k], second["inputs"][k], equal_nan=True) for k in first["inputs"]):
        sys.exit("the two runs computed different inputs: run the second with --inputs set to the first's output")
    totals = [0, 0, 0]
    print(f"{first['machine']} against {second['machine']}: rows compared, rows differing, and rows whose")
    print("only difference is the sign of a NaN (counted apart, not a failure)")
    print(f"{'method':34} {'rows':>7} {'differing':>9} {'NaN sign':>9}")
    for name, ours in first["results"].items():
        theirs = second["results"][name]
        unequal = [i for i, (a, b) in enumerate(zip(ours, theirs, strict=True)) if a != b]
        differing = [i for i in unequal if without_nan_sign(ours[i]) != without_nan_sign(theirs[i])]
        counts = [len(ours), len(differing), len(unequal) - len(differing)]
        totals = [t + c for t, c in zip(totals, counts, strict=True)]
        print(f"{name:34} {counts[0]:7} {counts[1]:9} {counts[2]:9}")
        for i in differing[:3]:
            print(f"    row {i}: {ours[i][:120]!r}\n    {'':{len(str(i)) + 5}}{theirs[i][:120]!r}")
    print(f"{'all':34} {totals[0]:7} {totals[1]:9} {totals[2]:9}")
    return totals[1] == 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    run = commands.add_parser("run")
    run.add_argument("out")
    run.add_argument("--inputs", help="a previous run's output, whose rows to compute")
    run.add_argument("--rows", type=int, default=10_000)
    run.add_argument("--seed", type=int, default=20261208)
    both = commands.add_parser("compare")
    both.add_argument("first")
    both.add_argument("second")
    options = parser.parse_args()
    if options.command == "compare":
        with open(options.first, "rb") as a, open(options.second, "rb") as b:
            sys.exit(0 if compare(pickle.load(a), pickle.load(b)) else 1)
    if options.inputs:
        with open(options.inputs, "rb") as given:
            inputs = pickle.load(given)["inputs"]
    else:
        inputs = draw_inputs(options.rows, options.seed)
    import platform

    record = {"machine": platform.machine(), "inputs": inputs, "results": compute(inputs)}
    with open(options.out, "wb") as out:
        pickle.dump(record, out, protocol=pickle.HIGHEST_PROTOCOL)


if __name__ == "__main__":
    main()
