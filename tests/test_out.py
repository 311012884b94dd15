"""`out=`: the array methods write into the caller's array, the very bytes they would return."""

import math
import os
import subprocess
import sys

import numpy as np
import pytest

from tarvelo_torso_kinematics import TarveloArmKinematics, TarveloNeckKinematics

LEFT = TarveloArmKinematics.default_left()
NECK = TarveloNeckKinematics()
ARM = "TarveloArmKinematics"
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
    (LEFT, "direction_rates"): RNG.normal(size=(ROWS, 3)),
    (NECK, "angular_velocities"): RNG.normal(size=(ROWS, 3)),
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
                found.append((f"{owner_label}.{name}", getattr(owner, name), arrays, "workers" in params))
    return found


METHODS = array_methods()
assert len(METHODS) >= 18 and "arm.ik_from_direction_path" in [m[0] for m in METHODS]


def scribbled_like(array):
    """An array of the same shape and dtype whose every byte is 0xAB: no valid bool, and a NaN
    payload no kernel writes, so each byte left unwritten shows."""
    out = np.empty_like(array)
    out.view(np.uint8)[...] = 0xAB
    return out


@pytest.mark.parametrize(("method", "arrays", "workers"), [m[1:] for m in METHODS], ids=[m[0] for m in METHODS])
def test_out_receives_the_bytes_of_the_result_and_is_returned(method, arrays, workers):
    missing = [param for param in arrays if (method.__self__, param) not in INPUTS]
    assert not missing, f"INPUTS needs rows for {missing}"
    inputs = [INPUTS[method.__self__, param] for param in arrays]
    expected = method(*inputs)
    for options in [{"workers": 1}, {"workers": 2}, {"workers": -1}] if workers else [{}]:
        out = scribbled_like(expected)
        assert method(*inputs, out=out, **options) is out
        assert out.tobytes() == expected.tobytes(), options
        out.view(np.uint8)[::7] = 0xAB  # a second call into the same array writes it whole again
        assert method(*inputs, out=out, **options) is out
        assert out.tobytes() == expected.tobytes(), options


SHAPES = [  # (label, call taking out, shape of the result)
    ("grid", lambda out: LEFT.fk_batch(JOINTS[:24].reshape(6, 4, 2), out=out), (6, 4, 3, 3)),
    ("one-row-mask", lambda out: LEFT.is_reachable_joints_batch(JOINTS[0], out=out), ()),
    ("grid-of-scalars", lambda out: LEFT.manipulability_batch(JOINTS[:24].reshape(6, 4, 2), out=out), (6, 4)),
    (
        "near-broadcast",
        lambda out: LEFT.ik_from_direction_batch(DIRECTIONS[:12].reshape(3, 4, 3), [0, 1], out=out),
        (3, 4, 2),
    ),
    ("empty", lambda out: LEFT.fk_batch(JOINTS[:0], out=out), (0, 3, 3)),
    ("empty-path", lambda out: LEFT.ik_from_direction_path(DIRECTIONS[:0], out=out), (0, 2)),
]


@pytest.mark.parametrize(("call", "shape"), [s[1:] for s in SHAPES], ids=[s[0] for s in SHAPES])
def test_out_of_any_leading_shape(call, shape):
    expected = call(None)
    assert expected.shape == shape
    out = scribbled_like(expected)
    assert call(out) is out
    assert out.tobytes() == expected.tobytes()


class AsArray:
    """No buffer of its own: numpy.asarray gives a view of `array`."""

    def __init__(self, array):
        self.array = array

    def __array__(self, dtype=None, copy=None):
        return self.array


def fk4(out):
    return LEFT.fk_batch(JOINTS[:4], out=out)


def mask4(out):
    return LEFT.is_reachable_joints_batch(JOINTS[:4], out=out)


def read_only(array):
    array.flags.writeable = False
    return array


def layout(expected, out):
    return f"out must have shape {expected}, got shape {out.shape} and dtype {out.dtype}"


F64_443 = "(4, 3, 3) and dtype float64"
UNALIGNED = np.zeros(289, np.uint8)[1:].view(np.float64).reshape(4, 3, 3)
BUFFER, Z43, Z42 = np.zeros(64), np.zeros((4, 3)), np.zeros((4, 2))
# (call taking out, out, exception type, message); each refused out comes back unchanged.
REFUSALS = [
    (fk4, [[0.0] * 3] * 3, TypeError, "argument 'out': expected a numpy.ndarray, not list"),
    (fk4, memoryview(np.zeros((4, 3, 3))), TypeError, "argument 'out': expected a numpy.ndarray, not memoryview"),
    *[
        (call, out, ValueError, layout(expected, out))
        for call, expected, out in [
            (fk4, F64_443, np.zeros((4, 9))),
            (fk4, F64_443, np.zeros((5, 3, 3))),
            (fk4, F64_443, np.zeros((4, 3, 3), np.float32)),
            (fk4, F64_443, np.zeros((4, 3, 3), ">f8")),
            (fk4, F64_443, np.zeros((4, 3, 3), "M8[s]")),
            (fk4, F64_443, np.zeros((4, 3, 3), object)),
            (mask4, "(4,) and dtype bool", np.zeros(4)),
            (lambda out: LEFT.manipulability_batch(JOINTS[:4], out=out), "(4,) and dtype float64", np.zeros(4, bool)),
            (lambda out: LEFT.is_reachable_joints_batch(JOINTS[0], out=out), "() and dtype bool", np.zeros(1, bool)),
        ]
    ],
    (fk4, read_only(np.zeros((4, 3, 3))), ValueError, "out is read-only"),
    (fk4, np.broadcast_to(np.zeros((1, 3, 3)), (4, 3, 3)), ValueError, "out is read-only"),
    (mask4, read_only(np.zeros(4, bool)), ValueError, "out is read-only"),
    (fk4, UNALIGNED, ValueError, "out is not aligned"),
    (fk4, np.zeros((8, 3, 3))[::2], ValueError, "out is not C-contiguous"),
    (fk4, np.asfortranarray(np.zeros((4, 3, 3))), ValueError, "out is not C-contiguous"),
    # Overlap with an input: the input as passed, a view of it, what numpy.asarray made of it.
    *[
        (call, out, ValueError, f"out must not overlap {name} in memory")
        for call, out, name in [
            (lambda out: LEFT.fk_batch(BUFFER[:8].reshape(4, 2), out=out), BUFFER[4:40].reshape(4, 3, 3), "joints"),
            (lambda out: LEFT.fk_batch(BUFFER[:8].reshape(4, 2), out=out), BUFFER[7:43].reshape(4, 3, 3), "joints"),
            (lambda out: LEFT.direction_batch(out[:, :2], out=out), Z43, "joints"),
            (lambda out: LEFT.direction_batch(out[::-1, 1:], out=out), Z43, "joints"),
            (lambda out: LEFT.direction_batch(memoryview(out[:, :2]), out=out), Z43, "joints"),
            (lambda out: LEFT.direction_batch(AsArray(out.reshape(-1)[4:12].reshape(4, 2)), out=out), Z43, "joints"),
            (lambda out: LEFT.ik_from_direction_batch(DIRECTIONS[:4], out[0], out=out), Z42, "near"),
            (lambda out: LEFT.ik_from_direction_path(DIRECTIONS[:4], near=out[3], out=out), Z42, "near"),
            (lambda out: NECK.ik_batch(out.reshape(-1, 3, 3), out=out[:3]), np.zeros((9, 3)), "rotations"),
        ]
    ],
    # `out` is keyword-only.
    (
        lambda out: LEFT.fk_batch(JOINTS[:4], out),
        Z43,
        TypeError,
        f"{ARM}.fk_batch() takes 1 positional argument but 2 were given",
    ),
    (
        lambda out: LEFT.ik_from_direction_path(DIRECTIONS[:4], None, out),
        Z42,
        TypeError,
        f"{ARM}.ik_from_direction_path() takes from 1 to 2 positional arguments but 3 were given",
    ),
]


@pytest.mark.parametrize(
    ("call", "out", "kind", "message"), REFUSALS, ids=[f"{i}-{k.__name__}" for i, (_, _, k, _) in enumerate(REFUSALS)]
)
def test_refused_out_is_left_untouched(call, out, kind, message):
    before = np.array(out, copy=True) if isinstance(out, np.ndarray) and out.dtype != object else None
    with pytest.raises(Exception) as info:
        call(out)
    assert (type(info.value), str(info.value)) == (kind, message)
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
reuse, workers = sys.argv[1] == "out", int(sys.argv[2])
call = (lambda: arm.fk_batch(joints, workers=workers, out=out)) if reuse else (lambda: arm.fk_batch(joints))
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


def loop_memory(mode, workers=1):
    """(tracemalloc peak in bytes, peak RSS in KiB before and after) of 1,000 fk_batch calls on
    10^4 rows, in a fresh process."""
    result = subprocess.run(
        [sys.executable, "-c", LOOP, mode, str(workers)], capture_output=True, text=True, timeout=120
    )
    assert result.returncode == 0, result.stderr
    return tuple(int(x) for x in result.stdout.split())


@pytest.mark.parametrize("workers", [1, 2])
def test_a_loop_with_a_reused_out_does_not_grow_memory(workers):
    traced, rss_before, rss_after = loop_memory("out", workers)
    # Without out each call allocates its 720 kB result; with it, nothing that outlives a call.
    assert traced < 4_096, traced
    # Under AddressSanitizer the resident size also holds its quarantine of freed blocks, those
    # of each call's worker thread among them.
    if "libasan" not in os.environ.get("LD_PRELOAD", ""):
        assert rss_after - rss_before < 256, (rss_before, rss_after)  # KiB
    assert loop_memory("new")[0] >= 720_000
