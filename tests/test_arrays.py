"""The array methods: each row bit for bit what the scalar method gives, shapes, refusals, workers."""

import math
import subprocess
import sys
import threading
import time
import tracemalloc

import numpy as np
import pytest

from conftest import ARM_NAMES, make_arm
from tarvelo_torso_kinematics import TarveloArmKinematics, TarveloNeckKinematics

NECK = TarveloNeckKinematics()
LEFT = TarveloArmKinematics.default_left()
RNG = np.random.default_rng(20261208)
SPECIAL = [0.0, -0.0, math.pi, -math.pi, 1.474, -1.4745, 1e-300, 1e300, math.nan, math.inf, -math.inf]
NEAR_GIMBAL = [math.pi / 2, math.nextafter(math.pi / 2, 0.0), math.pi / 2 - 1.4e-3, math.pi / 2 - 1.5e-3]


def joint_pairs():
    special = [(a, b) for a in SPECIAL for b in SPECIAL[::2]]
    return np.concatenate([RNG.uniform(-math.pi, math.pi, (300, 2)), np.array(special)])


def rotations(arm):
    """fk rotations, the same with noise below, near and above the 1e-6 match, and non-rotations."""
    closing = arm.fk_batch(RNG.uniform(-0.6, 0.6, (200, 2)))
    closing = closing[~np.isnan(closing[:, 0, 0])]
    noisy = [closing[:60] + RNG.normal(0.0, scale, (60, 3, 3)) for scale in (1e-8, 3e-7, 1e-6)]
    odd = [np.eye(3), np.zeros((3, 3)), np.full((3, 3), math.nan), np.full((3, 3), math.inf)]
    return np.concatenate([closing, *noisy, np.array(odd)])


def directions(arm):
    pointing = arm.direction_batch(RNG.uniform(-0.6, 0.6, (200, 2)))
    pointing = pointing[~np.isnan(pointing[:, 0])]
    scaled = [pointing[:20] * k for k in (5.0, 1e-12, 1e-13)]
    odd = [(0.0, 0.0, 1.0), (0.0, 0.0, 0.0), (math.nan, 0.0, 1.0), (math.inf, 0.0, 0.0), (1.0, 0.0, 0.0)]
    return np.concatenate([pointing, RNG.normal(size=(100, 3)), *scaled, np.array(odd)])


def neck_joints():
    pitches = NEAR_GIMBAL + [-p for p in NEAR_GIMBAL]
    edges = [(0.3, p, -0.2) for p in pitches] + [(a, b, a) for a in SPECIAL for b in SPECIAL[::3]]
    return np.concatenate([RNG.uniform(-math.pi, math.pi, (300, 3)), np.array(edges)])


def scalar(call):
    """What a scalar call returns, or None for the routine's failure."""
    try:
        return call()
    except (RuntimeError, ValueError):
        return None


def assert_rows_match(batch, expected):
    """Each row: the scalar result's bytes, or all NaN where the scalar call failed."""
    assert len(batch) == len(expected) > 0
    for row, value in zip(batch, expected, strict=True):
        if value is None:
            assert np.isnan(row).all(), row
        elif isinstance(value, bool):
            assert row.dtype == np.bool_ and bool(row) is value
        else:
            assert row.tobytes() == np.array(value, dtype=np.float64).tobytes(), (row, value)


def arm_cases(arm):
    """(method, input rows, scalar call per row) of every arm array method."""
    pairs, rots, dirs = joint_pairs(), rotations(arm), directions(arm)
    near = RNG.uniform(-1.0, 1.0, (len(dirs), 2))
    rates = np.concatenate(
        [RNG.normal(size=(len(pairs) - 3, 3)), [(0.0, 0.0, 0.0), (math.nan, 0.0, 0.0), (1e300, 1e300, 0.0)]]
    )
    return [
        ("fk_batch", (pairs,), [lambda p=p: arm.fk(*p) for p in pairs]),
        ("direction_batch", (pairs,), [lambda p=p: arm.direction(*p) for p in pairs]),
        ("is_reachable_joints_batch", (pairs,), [lambda p=p: arm.is_reachable_joints(*p) for p in pairs]),
        ("ik_batch", (rots,), [lambda r=r: arm.ik(r.tolist()) for r in rots]),
        (
            "is_reachable_orientation_batch",
            (rots,),
            [lambda r=r: arm.is_reachable_orientation(r.tolist()) for r in rots],
        ),
        ("ik_from_direction_batch", (dirs,), [lambda d=d: arm.ik_from_direction(d.tolist()) for d in dirs]),
        (
            "ik_from_direction_batch",
            (dirs, near),
            [
                lambda d=d, n=n: arm.ik_from_direction(d.tolist(), near=tuple(n))
                for d, n in zip(dirs, near, strict=True)
            ],
        ),
        ("is_reachable_direction_batch", (dirs,), [lambda d=d: arm.is_reachable_direction(d.tolist()) for d in dirs]),
        ("jacobian_batch", (pairs,), [lambda p=p: arm.jacobian(*p) for p in pairs]),
        ("direction_jacobian_batch", (pairs,), [lambda p=p: arm.direction_jacobian(*p) for p in pairs]),
        ("manipulability_batch", (pairs,), [lambda p=p: arm.manipulability(*p) for p in pairs]),
        ("ik_nearest_batch", (rots,), [lambda r=r: arm.ik_nearest(r.tolist()) for r in rots]),
        (
            "joint_rates_batch",
            (pairs, rates),
            [lambda p=p, r=r: arm.joint_rates(*p, r.tolist()) for p, r in zip(pairs, rates, strict=True)],
        ),
        ("linkage_points_batch", (pairs,), [lambda p=p: arm.linkage_points(*p) for p in pairs]),
    ]


@pytest.mark.parametrize("arm_name", ARM_NAMES)
def test_arm_rows_are_the_scalar_results(arm_name):
    arm, _ = make_arm(arm_name)
    for name, inputs, calls in arm_cases(arm):
        assert_rows_match(getattr(arm, name)(*inputs), [scalar(call) for call in calls])


def test_neck_rows_are_the_scalar_results():
    joints = neck_joints()
    rows = np.concatenate([NECK.fk_batch(joints), np.full((1, 3, 3), math.nan), np.eye(3)[None]])
    assert_rows_match(NECK.fk_batch(joints), [NECK.fk(j.tolist()) for j in joints])
    assert_rows_match(NECK.ik_batch(rows), [scalar(lambda r=r: NECK.ik(r.tolist())) for r in rows])
    assert_rows_match(NECK.jacobian_batch(joints), [NECK.jacobian(j.tolist()) for j in joints])
    velocities = RNG.normal(size=joints.shape)
    assert_rows_match(
        NECK.joint_rates_batch(joints, velocities),
        [
            scalar(lambda j=j, w=w: NECK.joint_rates(j.tolist(), w.tolist()))
            for j, w in zip(joints, velocities, strict=True)
        ],
    )


def path_by_loop(arm, dirs, near):
    rows, previous = [], near
    for d in dirs:
        pair = scalar(lambda d=d, p=previous: arm.ik_from_direction(d.tolist(), near=p))
        rows.append(pair)
        previous = pair if pair is not None else previous
    return rows


@pytest.mark.parametrize("arm_name", ARM_NAMES)
@pytest.mark.parametrize("near", [None, (0.5, 0.5), (3.0, -3.0)], ids=["no-near", "near", "far-near"])
def test_path_follows_the_last_reachable_row(arm_name, near):
    arm, _ = make_arm(arm_name)
    # A sweep through the workspace with unreachable stretches: NaN rows must not move the chain.
    theta = np.linspace(-1.2, 1.2, 120)
    path = arm.direction_batch(np.stack([theta, 0.8 * np.sin(3 * theta)], axis=-1))
    path[np.isnan(path)] = 0.0
    path[::17] = (0.0, 0.0, 1.0)
    expected = path_by_loop(arm, path, near)
    assert any(e is None for e in expected) and any(e is not None for e in expected)
    assert_rows_match(arm.ik_from_direction_path(path, near=near), expected)


CANONICAL = RNG.uniform(-1.0, 1.0, (6, 4, 2))

SHAPES = [
    ("rows", lambda: CANONICAL[0], (4,)),
    ("one-pair", lambda: CANONICAL[0, 0], ()),
    ("nested", lambda: CANONICAL, (6, 4)),
    ("empty", lambda: CANONICAL[:0, 0], (0,)),
    ("empty-middle", lambda: CANONICAL[:, :0], (6, 0)),
    ("strided", lambda: CANONICAL[::2, ::3], (3, 2)),
    ("fortran", lambda: np.asfortranarray(CANONICAL[1]), (4,)),
    ("big-endian", lambda: CANONICAL.astype(">f8"), (6, 4)),
    ("int", lambda: np.arange(8).reshape(4, 2) - 4, (4,)),
    ("float32", lambda: CANONICAL.astype(np.float32), (6, 4)),
    ("bool", lambda: np.array([[True, False]]), (1,)),
    ("list", lambda: CANONICAL[2].tolist(), (4,)),
    ("tuples", lambda: tuple(map(tuple, CANONICAL[3].tolist())), (4,)),
    ("memoryview", lambda: memoryview(np.ascontiguousarray(CANONICAL[4])), (4,)),
    # Regression: a float64 array at an odd byte offset (a log read past its header) was a panic.
    ("unaligned", lambda: np.frombuffer(b"h" + CANONICAL[5].tobytes(), np.float64, offset=1).reshape(4, 2), (4,)),
    (
        "unaligned-memoryview",
        lambda: memoryview(bytearray(b"h" + CANONICAL[5].tobytes()))[1:].cast("B").cast("d", (4, 2)),
        (4,),
    ),
]


@pytest.mark.parametrize(("maker", "leading"), [s[1:] for s in SHAPES], ids=[s[0] for s in SHAPES])
def test_any_array_like_is_read_as_float64(maker, leading):
    rows = maker()
    reference = np.ascontiguousarray(np.asarray(rows, dtype=np.float64)).reshape(-1, 2)
    fk = LEFT.fk_batch(rows)
    mask = LEFT.is_reachable_joints_batch(rows, workers=2)
    assert (fk.shape, fk.dtype, mask.shape, mask.dtype) == (leading + (3, 3), np.float64, leading, np.bool_)
    assert fk.tobytes() == LEFT.fk_batch(reference).tobytes()
    assert mask.tobytes() == LEFT.is_reachable_joints_batch(reference).tobytes()


@pytest.mark.parametrize("near_shape", [(2,), (1, 2), (4, 2), (1, 4, 2), (3, 1, 2), (3, 4, 2)])
def test_near_broadcasts_to_the_rows(near_shape):
    dirs = LEFT.direction_batch(RNG.uniform(-0.5, 0.5, (3, 4, 2)))
    near = RNG.uniform(-1.0, 1.0, near_shape)
    per_row = np.broadcast_to(near, (3, 4, 2)).reshape(-1, 2)
    expected = [
        scalar(lambda d=d, n=n: LEFT.ik_from_direction(d.tolist(), near=tuple(n)))
        for d, n in zip(dirs.reshape(-1, 3), per_row, strict=True)
    ]
    assert_rows_match(LEFT.ik_from_direction_batch(dirs, near).reshape(-1, 2), expected)


@pytest.mark.parametrize("rate_shape", [(3,), (1, 3), (4, 3), (1, 4, 3), (3, 1, 3), (3, 4, 3)])
def test_rates_broadcast_to_the_rows(rate_shape):
    pairs, triples = RNG.uniform(-0.5, 0.5, (3, 4, 2)), RNG.uniform(-1.0, 1.0, (3, 4, 3))
    rates = RNG.normal(size=rate_shape)
    per_row = np.broadcast_to(rates, (3, 4, 3)).reshape(-1, 3)
    arm_rows = zip(pairs.reshape(-1, 2), per_row, strict=True)
    neck_rows = zip(triples.reshape(-1, 3), per_row, strict=True)
    assert_rows_match(
        LEFT.joint_rates_batch(pairs, rates).reshape(-1, 2),
        [scalar(lambda p=p, r=r: LEFT.joint_rates(*p, r.tolist())) for p, r in arm_rows],
    )
    assert_rows_match(
        NECK.joint_rates_batch(triples, rates).reshape(-1, 3),
        [NECK.joint_rates(t.tolist(), r.tolist()) for t, r in neck_rows],
    )


def test_float64_is_read_without_a_copy():
    rows = np.zeros((400_000, 2))  # 6.4 MB in, 0.4 MB out
    views = [rows, rows[::-1], np.broadcast_to(rows[0], rows.shape), np.asfortranarray(rows)]
    grid = np.broadcast_to(rows[:2000, None], (2000, 200, 2))  # rows at no single step: copied a block at a time
    for array, copied in [*[(view, False) for view in [*views, grid]], (rows.astype(np.float32), True)]:
        tracemalloc.start()
        LEFT.is_reachable_joints_batch(array, workers=2)
        peak = tracemalloc.get_traced_memory()[1]
        tracemalloc.stop()
        assert (peak > 6_000_000) is copied, peak


ARM_CLS, NECK_CLS = "TarveloArmKinematics", "TarveloNeckKinematics"
D = np.array([[0.6, 0.4, 0.6]])

REFUSALS = [
    (lambda: LEFT.fk_batch(np.zeros((5, 3))), ValueError, "joints must have shape (..., 2), got (5, 3)"),
    (lambda: LEFT.direction_batch(1.0), ValueError, "joints must have shape (..., 2), got ()"),
    (lambda: LEFT.ik_batch(np.zeros((4, 3))), ValueError, "rotations must have shape (..., 3, 3), got (4, 3)"),
    (lambda: NECK.fk_batch([1.0, 2.0]), ValueError, "joints must have shape (..., 3), got (2,)"),
    (lambda: LEFT.ik_from_direction_path(D[0]), ValueError, "directions must have shape (N, 3), got (3,)"),
    (lambda: LEFT.ik_from_direction_path(D[None]), ValueError, "directions must have shape (N, 3), got (1, 1, 3)"),
    (
        lambda: LEFT.ik_from_direction_batch(np.zeros((4, 3)), np.zeros((3, 2))),
        ValueError,
        "near must broadcast to shape (4, 2), got (3, 2)",
    ),
    (
        lambda: LEFT.ik_from_direction_batch(D, near=(1.0, 2.0, 3.0)),
        ValueError,
        "near must have shape (..., 2), got (3,)",
    ),
    (
        lambda: LEFT.fk_batch([1j, 2.0]),
        TypeError,
        "argument 'joints': expected an array of real numbers, not complex numbers",
    ),
    (
        lambda: LEFT.fk_batch([[1.0, None]]),
        TypeError,
        "argument 'joints': expected an array of real numbers, not NoneType",
    ),
    (lambda: LEFT.ik_batch("abc"), TypeError, "argument 'rotations': expected an array of real numbers, not text"),
    (
        lambda: NECK.ik_batch(np.zeros((3, 3), "M8[s]")),
        TypeError,
        "argument 'rotations': expected an array of real numbers, not dates",
    ),
    (
        lambda: NECK.fk_batch(np.zeros(3, "m8[s]")),
        TypeError,
        "argument 'joints': expected an array of real numbers, not time spans",
    ),
    (
        lambda: NECK.fk_batch(np.zeros(3, "V8")),
        TypeError,
        "argument 'joints': expected an array of real numbers, not records",
    ),
    (
        lambda: LEFT.ik_from_direction_batch(D, near=[1j, 1]),
        TypeError,
        "argument 'near': expected an array of real numbers, not complex numbers",
    ),
    (lambda: LEFT.fk_batch([[1.0, 2.0], [3.0]]), ValueError, None),  # numpy's ragged-list error
    (
        lambda: LEFT.joint_rates_batch(np.zeros((4, 2)), np.zeros((3, 3))),
        ValueError,
        "direction_rates must broadcast to shape (4, 3), got (3, 3)",
    ),
    (
        lambda: NECK.joint_rates_batch(np.zeros(3), np.zeros(2)),
        ValueError,
        "angular_velocities must have shape (..., 3), got (2,)",
    ),
    (lambda: LEFT.linkage_points_batch(np.zeros(3)), ValueError, "joints must have shape (..., 2), got (3,)"),
    (lambda: LEFT.ik_nearest_batch(np.zeros(9)), ValueError, "rotations must have shape (..., 3, 3), got (9,)"),
    # A required second array is not optional: None is read as an array, and refused.
    (
        lambda: LEFT.joint_rates_batch(np.zeros((4, 2)), None),
        TypeError,
        "argument 'direction_rates': expected an array of real numbers, not NoneType",
    ),
    (
        lambda: NECK.joint_rates_batch(np.zeros(3)),
        TypeError,
        f"{NECK_CLS}.joint_rates_batch() missing 1 required positional argument: 'angular_velocities'",
    ),
    (lambda: LEFT.fk_batch([0, 0], workers=0), ValueError, "workers must be a positive int or -1, got 0"),
    (lambda: LEFT.fk_batch([0, 0], workers=-2), ValueError, "workers must be a positive int or -1, got -2"),
    (
        lambda: LEFT.fk_batch([0, 0], workers=-(10**30)),
        ValueError,
        f"workers must be a positive int or -1, got {-(10**30)}",
    ),
    (lambda: LEFT.fk_batch([0, 0], workers=True), TypeError, "argument 'workers': expected an int, not bool"),
    (lambda: NECK.ik_batch(np.eye(3), workers=2.0), TypeError, "argument 'workers': expected an int, not float"),
    (lambda: LEFT.fk_batch([0, 0], workers=None), TypeError, "argument 'workers': expected an int, not NoneType"),
    (lambda: LEFT.fk_batch([0, 0], 2), TypeError, f"{ARM_CLS}.fk_batch() takes 1 positional argument but 2 were given"),
    (
        lambda: LEFT.fk_batch([0, 0], 2, workers=2),
        TypeError,
        f"{ARM_CLS}.fk_batch() takes 1 positional argument but 2 positional arguments (and 1 keyword-only argument) were given",
    ),
    (
        lambda: LEFT.ik_from_direction_batch(D, None, 2),
        TypeError,
        f"{ARM_CLS}.ik_from_direction_batch() takes from 1 to 2 positional arguments but 3 were given",
    ),
    (lambda: NECK.fk_batch(), TypeError, f"{NECK_CLS}.fk_batch() missing 1 required positional argument: 'joints'"),
    (
        lambda: LEFT.ik_from_direction_path(D, workers=2),
        TypeError,
        f"{ARM_CLS}.ik_from_direction_path() got an unexpected keyword argument 'workers'",
    ),
    (
        lambda: LEFT.fk_batch([0, 0], joints=[0, 0]),
        TypeError,
        f"{ARM_CLS}.fk_batch() got multiple values for argument 'joints'",
    ),
    # The scalar methods keep their wording.
    (lambda: LEFT.ik(np.eye(3), 1), TypeError, f"{ARM_CLS}.ik() takes 1 positional arguments but 2 were given"),
]


@pytest.mark.parametrize(
    ("call", "kind", "message"), REFUSALS, ids=[f"{i}-{k.__name__}" for i, (_, k, _) in enumerate(REFUSALS)]
)
def test_refusals(call, kind, message):
    with pytest.raises(Exception) as info:
        call()
    assert type(info.value) is kind
    if message is not None:
        assert str(info.value) == message


def every_batch_call(rows):
    """(label, call) of every array method on `rows` inputs of its own kind, given workers."""
    joints = RNG.uniform(-0.8, 0.8, (rows, 2))
    rots, dirs = LEFT.fk_batch(joints), LEFT.direction_batch(joints)
    neck_rows = NECK.fk_batch(RNG.uniform(-1.0, 1.0, (rows, 3)))
    return [
        ("fk", lambda w: LEFT.fk_batch(joints, workers=w)),
        ("direction", lambda w: LEFT.direction_batch(joints, workers=w)),
        ("joints", lambda w: LEFT.is_reachable_joints_batch(joints, workers=w)),
        ("ik", lambda w: LEFT.ik_batch(rots, workers=w)),
        ("orientation", lambda w: LEFT.is_reachable_orientation_batch(rots, workers=w)),
        ("ik-direction", lambda w: LEFT.ik_from_direction_batch(dirs, joints[::-1], workers=w)),
        ("direction-reach", lambda w: LEFT.is_reachable_direction_batch(dirs, workers=w)),
        ("neck-fk", lambda w: NECK.fk_batch(neck_rows[:, 0], workers=w)),
        ("neck-ik", lambda w: NECK.ik_batch(neck_rows, workers=w)),
        ("ik-nearest", lambda w: LEFT.ik_nearest_batch(rots, workers=w)),
        ("joint-rates", lambda w: LEFT.joint_rates_batch(joints, dirs, workers=w)),
        ("linkage-points", lambda w: LEFT.linkage_points_batch(joints, workers=w)),
        ("neck-joint-rates", lambda w: NECK.joint_rates_batch(neck_rows[:, 0], dirs, workers=w)),
    ]


@pytest.mark.parametrize("rows", [1, 7, 20_000])
def test_any_number_of_workers_gives_the_same_bytes(rows):
    for label, call in every_batch_call(rows):
        one = call(1).tobytes()
        assert [call(w).tobytes() for w in (2, 3, -1, 64, 10**30, np.int64(2))] == [one] * 6, label


def test_other_threads_run_while_a_batch_computes():
    joints = np.tile([[0.1, 0.2]], (3_000_000, 1))
    ticks, done = [], threading.Event()

    def ticker():
        while not done.is_set():
            ticks.append(time.perf_counter())

    thread = threading.Thread(target=ticker)
    thread.start()
    try:
        time.sleep(0.05)
        start = time.perf_counter()
        LEFT.is_reachable_joints_batch(joints)
        end = time.perf_counter()
    finally:
        done.set()
        thread.join()
    # Held lock: no tick after the first switch interval of the call. Released: ticks throughout.
    margin = (end - start) / 4
    assert end - start > 0.05
    assert sum(start + margin < t < end - margin for t in ticks) > 100


def run_python(code):
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60)


def test_numpy_is_imported_by_the_first_array_call_only():
    result = run_python(
        "import sys, tarvelo_torso_kinematics as tk\n"
        "arm = tk.TarveloArmKinematics.default_left(); arm.fk(0.1, 0.2); tk.TarveloNeckKinematics().ik(arm.fk(0, 0))\n"
        "print('numpy' in sys.modules, end=' ')\n"
        "arm.fk_batch([0.1, 0.2]); print('numpy' in sys.modules)"
    )
    assert (result.returncode, result.stdout) == (0, "False True\n"), result.stderr


def test_without_numpy_the_array_methods_say_they_need_it():
    result = run_python(
        "import sys; sys.modules['numpy'] = None\n"
        "import tarvelo_torso_kinematics as tk\n"
        "arm = tk.TarveloArmKinematics.default_left(); print(arm.ik(arm.fk(0.1, 0.2)))\n"
        "for call in (lambda: arm.fk_batch([[0.1, 0.2]]), lambda: tk.TarveloNeckKinematics().ik_batch([])):\n"
        "    try: call()\n"
        "    except ImportError as e: print(type(e).__name__, e, type(e.__cause__).__name__)"
    )
    assert result.returncode == 0, result.stderr
    reason = "import of numpy halted; None in sys.modules"
    assert result.stdout.splitlines()[1:] == [
        f"ImportError TarveloArmKinematics.fk_batch() needs numpy, which could not be imported: {reason} ModuleNotFoundError",
        f"ImportError TarveloNeckKinematics.ik_batch() needs numpy, which could not be imported: {reason} ModuleNotFoundError",
    ]
