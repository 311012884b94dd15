"""`out=`: the array methods write into the caller's array, the very bytes they would return."""

import math
import subprocess
import sys
import tracemalloc

import numpy as np
import pytest

from tarvelo_torso_kinematics import TarveloArmKinematics, TarveloNeckKinematics

LEFT = TarveloArmKinematics.default_left()
NECK = TarveloNeckKinematics()
RNG = np.random.default_rng(24)
ROWS = 8_000  # enough for two chunks of the cheapest method with workers=2

JOINTS = RNG.uniform(-1.5, 1.5, (ROWS, 2))
JOINTS[::97] = (math.nan, 0.0)
ROTATIONS = LEFT.fk_batch(JOINTS) + RNG.normal(0.0, 1e-7, (ROWS, 3, 3))
DIRECTIONS = LEFT.direction_batch(JOINTS)
NECK_JOINTS = RNG.uniform(-math.pi, math.pi, (ROWS, 3))
# Inputs by owner and parameter name.
INPUTS = {
    (LEFT, "joints"): JOINTS,
    (LEFT, "rotations"): ROTATIONS,
    (LEFT, "directions"): DIRECTIONS,
    (LEFT, "near"): RNG.uniform(-1.0, 1.0, (ROWS, 2)),
    (NECK, "joints"): NECK_JOINTS,
    (NECK, "rotations"): NECK.fk_batch(NECK_JOINTS) + RNG.normal(0.0, 1e-7, (ROWS, 3, 3)),
}


def array_methods():
    """(label, method, its array parameters, takes workers) of every method that takes `out`."""
    found = []
    for owner, owner_label in [(LEFT, "arm"), (NECK, "neck")]:
        for name in dir(owner):
            signature = getattr(getattr(owner, name), "__text_signature__", None) or ""
            if "out=None" in signature:
                params = [p.split("=")[0] for p in signature[1:-1].split(", ")]
                arrays = params[1 : params.index("*")]
                for param in arrays:
                    assert (owner, param) in INPUTS, f"no test input for {name}({param})"
                found.append((f"{owner_label}.{name}", getattr(owner, name), arrays, "workers" in params))
    return found


METHODS = array_methods()


def test_every_array_method_takes_out():
    labels = [label for label, *_ in METHODS]
    assert len(labels) >= 14 and "arm.ik_from_direction_path" in labels
    assert [label for label in labels if label.startswith("neck")] == [
        "neck.fk_batch",
        "neck.ik_batch",
        "neck.jacobian_batch",
    ]


def scribbled_like(array):
    """An array of the same shape and dtype whose every byte is 0xAB: no valid bool, and a NaN
    payload no kernel writes, so each byte left unwritten shows."""
    out = np.empty_like(array)
    out.view(np.uint8)[...] = 0xAB
    return out


@pytest.mark.parametrize(("method", "arrays", "workers"), [m[1:] for m in METHODS], ids=[m[0] for m in METHODS])
def test_out_receives_the_bytes_of_the_result_and_is_returned(method, arrays, workers):
    owner = method.__self__
    inputs = [INPUTS[owner, param] for param in arrays]
    expected = method(*inputs)
    assert expected.shape[0] == ROWS
    for options in [{"workers": 1}, {"workers": 2}, {"workers": -1}] if workers else [{}]:
        out = scribbled_like(expected)
        assert method(*inputs, out=out, **options) is out
        assert out.tobytes() == expected.tobytes(), options
        # A second call into the same array writes it whole again.
        out.view(np.uint8)[::7] = 0xAB
        assert method(*inputs, out=out, **options) is out
        assert out.tobytes() == expected.tobytes(), options


@pytest.mark.parametrize(
    ("call", "rows"),
    [
        (lambda out: LEFT.fk_batch(JOINTS[:24].reshape(6, 4, 2), out=out), (6, 4, 3, 3)),
        (lambda out: LEFT.is_reachable_joints_batch(JOINTS[0], out=out), ()),
        (lambda out: LEFT.manipulability_batch(JOINTS[:24].reshape(6, 4, 2), out=out), (6, 4)),
        (lambda out: LEFT.ik_from_direction_batch(DIRECTIONS[:12].reshape(3, 4, 3), [(0.1, 0.2)], out=out), (3, 4, 2)),
        (lambda out: NECK.ik_batch(np.eye(3), out=out), (3,)),
        (lambda out: LEFT.fk_batch(JOINTS[:0], out=out), (0, 3, 3)),
        (lambda out: LEFT.ik_from_direction_path(DIRECTIONS[:0], out=out), (0, 2)),
    ],
    ids=["grid", "one-row-mask", "grid-of-scalars", "grid-near-broadcast", "one-row", "empty", "empty-path"],
)
def test_out_of_any_leading_shape(call, rows):
    expected = call(None)
    assert expected.shape == rows
    out = scribbled_like(expected)
    assert call(out) is out
    assert out.tobytes() == expected.tobytes()


F64, BOOL = np.float64, np.bool_
BUFFER = np.zeros(64)
DIRS4 = DIRECTIONS[:4]


class AsArray:
    """No buffer of its own: numpy.asarray gives a view of `array`."""

    def __init__(self, array):
        self.array = array

    def __array__(self, dtype=None, copy=None):
        return self.array


def fk_into(out):
    return LEFT.fk_batch(JOINTS[:4], out=out)


def unaligned(shape):
    raw = np.zeros(int(np.prod(shape)) * 8 + 1, np.uint8)
    return raw[1:].view(F64).reshape(shape)


def read_only(shape, dtype=F64):
    out = np.zeros(shape, dtype)
    out.flags.writeable = False
    return out


# (call taking out, out, exception type, message); each out must come back unchanged.
REFUSALS = [
    (fk_into, [[0.0] * 3] * 3, TypeError, "argument 'out': expected a numpy.ndarray, not list"),
    (fk_into, memoryview(np.zeros((4, 3, 3))), TypeError, "argument 'out': expected a numpy.ndarray, not memoryview"),
    (fk_into, 1.5, TypeError, "argument 'out': expected a numpy.ndarray, not float"),
    (
        fk_into,
        np.zeros((4, 9)),
        ValueError,
        "out must have shape (4, 3, 3) and dtype float64, got shape (4, 9) and dtype float64",
    ),
    (
        fk_into,
        np.zeros((5, 3, 3)),
        ValueError,
        "out must have shape (4, 3, 3) and dtype float64, got shape (5, 3, 3) and dtype float64",
    ),
    (
        fk_into,
        np.zeros((4, 3, 3), np.float32),
        ValueError,
        "out must have shape (4, 3, 3) and dtype float64, got shape (4, 3, 3) and dtype float32",
    ),
    (
        fk_into,
        np.zeros((4, 3, 3), ">f8"),
        ValueError,
        "out must have shape (4, 3, 3) and dtype float64, got shape (4, 3, 3) and dtype >f8",
    ),
    (
        fk_into,
        np.zeros((4, 3, 3), "M8[s]"),
        ValueError,
        "out must have shape (4, 3, 3) and dtype float64, got shape (4, 3, 3) and dtype datetime64[s]",
    ),
    (
        fk_into,
        np.zeros((4, 3, 3), object),
        ValueError,
        "out must have shape (4, 3, 3) and dtype float64, got shape (4, 3, 3) and dtype object",
    ),
    (
        lambda out: LEFT.is_reachable_joints_batch(JOINTS[:4], out=out),
        np.zeros(4),
        ValueError,
        "out must have shape (4,) and dtype bool, got shape (4,) and dtype float64",
    ),
    (
        lambda out: LEFT.manipulability_batch(JOINTS[:4], out=out),
        np.zeros(4, BOOL),
        ValueError,
        "out must have shape (4,) and dtype float64, got shape (4,) and dtype bool",
    ),
    (
        lambda out: LEFT.is_reachable_joints_batch(JOINTS[0], out=out),
        np.zeros(1, BOOL),
        ValueError,
        "out must have shape () and dtype bool, got shape (1,) and dtype bool",
    ),
    (fk_into, read_only((4, 3, 3)), ValueError, "out is read-only"),
    (fk_into, np.broadcast_to(np.zeros((1, 3, 3)), (4, 3, 3)), ValueError, "out is read-only"),
    (
        lambda out: LEFT.is_reachable_joints_batch(JOINTS[:4], out=out),
        read_only(4, BOOL),
        ValueError,
        "out is read-only",
    ),
    (fk_into, unaligned((4, 3, 3)), ValueError, "out is not aligned"),
    (fk_into, np.zeros((8, 3, 3))[::2], ValueError, "out is not C-contiguous"),
    (fk_into, np.asfortranarray(np.zeros((4, 3, 3))), ValueError, "out is not C-contiguous"),
    # Overlap with an input: the input as passed, a view of it, what numpy.asarray made of it.
    (
        lambda out: LEFT.fk_batch(BUFFER[:8].reshape(4, 2), out=out),
        BUFFER[4:40].reshape(4, 3, 3),
        ValueError,
        "out must not overlap joints in memory",
    ),
    (
        lambda out: LEFT.fk_batch(BUFFER[:8].reshape(4, 2), out=out),
        BUFFER[7:43].reshape(4, 3, 3),
        ValueError,
        "out must not overlap joints in memory",
    ),
    (
        lambda out: LEFT.direction_batch(out[:, :2], out=out),
        np.zeros((4, 3)),
        ValueError,
        "out must not overlap joints in memory",
    ),
    (
        lambda out: LEFT.direction_batch(out[::-1, 1:], out=out),
        np.zeros((4, 3)),
        ValueError,
        "out must not overlap joints in memory",
    ),
    (
        lambda out: LEFT.direction_batch(memoryview(out[:, :2]), out=out),
        np.zeros((4, 3)),
        ValueError,
        "out must not overlap joints in memory",
    ),
    (
        lambda out: LEFT.direction_batch(AsArray(out.reshape(-1)[4:12].reshape(4, 2)), out=out),
        np.zeros((4, 3)),
        ValueError,
        "out must not overlap joints in memory",
    ),
    (
        lambda out: LEFT.ik_from_direction_batch(DIRS4, out[0], out=out),
        np.zeros((4, 2)),
        ValueError,
        "out must not overlap near in memory",
    ),
    (
        lambda out: LEFT.ik_from_direction_path(DIRS4, near=out[3], out=out),
        np.zeros((4, 2)),
        ValueError,
        "out must not overlap near in memory",
    ),
    (
        lambda out: NECK.ik_batch(out.reshape(-1, 3, 3), out=out[:3]),
        np.zeros((9, 3)),
        ValueError,
        "out must not overlap rotations in memory",
    ),
    # Binding: `out` is keyword-only, given once.
    (
        lambda out: LEFT.fk_batch(JOINTS[:4], out),
        np.zeros((4, 3, 3)),
        TypeError,
        "TarveloArmKinematics.fk_batch() takes 1 positional argument but 2 were given",
    ),
    (
        lambda out: LEFT.ik_from_direction_path(DIRS4, None, out),
        np.zeros((4, 2)),
        TypeError,
        "TarveloArmKinematics.ik_from_direction_path() takes from 1 to 2 positional arguments but 3 were given",
    ),
]


@pytest.mark.parametrize(
    ("call", "out", "kind", "message"),
    REFUSALS,
    ids=[f"{i}-{k.__name__}" for i, (_, _, k, _) in enumerate(REFUSALS)],
)
def test_refused_out_is_left_untouched(call, out, kind, message):
    before = np.array(out, copy=True) if isinstance(out, np.ndarray) and out.dtype != object else None
    with pytest.raises(Exception) as info:
        call(out)
    assert type(info.value) is kind
    assert str(info.value) == message
    if before is not None:
        assert np.asarray(out).tobytes() == before.tobytes()


def test_out_just_beside_an_input_is_accepted():
    buffer = np.zeros(8 + 36 + 8)
    joints, out, after = buffer[:8].reshape(4, 2), buffer[8:44].reshape(4, 3, 3), buffer[44:].reshape(4, 2)
    joints[...] = after[...] = JOINTS[:4]
    assert LEFT.fk_batch(joints, out=out) is out
    assert LEFT.fk_batch(after, out=out).tobytes() == LEFT.fk_batch(JOINTS[:4]).tobytes()


LOOP = """
import resource, sys, tracemalloc
import numpy as np
from tarvelo_torso_kinematics import TarveloArmKinematics
arm = TarveloArmKinematics.default_left()
joints = np.random.default_rng(1).uniform(-1.0, 1.0, (10_000, 2))
out = np.empty((10_000, 3, 3))
reuse = sys.argv[1] == "out"
call = (lambda: arm.fk_batch(joints, out=out)) if reuse else (lambda: arm.fk_batch(joints))
call()
rss_before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
tracemalloc.start()
for _ in range(1000):
    call()
traced_peak = tracemalloc.get_traced_memory()[1]
tracemalloc.stop()
for _ in range(1000):
    call()
print(traced_peak, rss_before, resource.getrusage(resource.RUSAGE_SELF).ru_maxrss)
"""


def loop_memory(mode):
    """(tracemalloc peak in bytes, peak RSS in KiB before and after) of 1,000 fk_batch calls on
    10^4 rows, in a fresh process."""
    result = subprocess.run([sys.executable, "-c", LOOP, mode], capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    return tuple(int(x) for x in result.stdout.split())


def test_a_loop_with_a_reused_out_does_not_grow_memory():
    traced, rss_before, rss_after = loop_memory("out")
    # Without out each call allocates its 720 kB result; with it, nothing that outlives a call.
    assert traced < 4_096, traced
    assert rss_after - rss_before < 256, (rss_before, rss_after)  # KiB
    assert loop_memory("new")[0] >= 720_000


def test_with_workers_a_reused_out_traces_no_allocation():
    out = np.empty((ROWS, 2))
    LEFT.ik_batch(ROTATIONS, out=out, workers=2)
    tracemalloc.start()
    for _ in range(50):
        LEFT.ik_batch(ROTATIONS, out=out, workers=2)
    peak = tracemalloc.get_traced_memory()[1]
    tracemalloc.stop()
    assert peak < 4_096, peak
