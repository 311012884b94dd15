"""Neck yaw-pitch-roll kinematics: forward and inverse, gimbal lock, NaN, round trips."""

import math

import pytest
from hypothesis import example, given, settings
from hypothesis import strategies as st

from tarvelo_torso_kinematics import TarveloNeckKinematics

NECK = TarveloNeckKinematics()
GIMBAL_LOCK = "Gimbal lock: pitch is too close to ±π/2."
HALF_PI = 1.5707963267948966
# Largest |r[2][0]| whose 1 - |r[2][0]| is still >= 1e-6; one ulp more is gimbal lock.
LAST_FREE_SINE = 0.999999


def rotation(yaw, pitch, roll):
    """Rz(yaw)·Ry(pitch)·Rx(roll) written out, each sum in the order the product forms it."""
    cy, sy = math.cos(yaw), math.sin(yaw)
    cp, sp = math.cos(pitch), math.sin(pitch)
    cr, sr = math.cos(roll), math.sin(roll)
    return [
        [cy * cp, (cy * sp) * sr - sy * cr, (cy * sp) * cr + sy * sr],
        [sy * cp, (sy * sp) * sr + cy * cr, (sy * sp) * cr - cy * sr],
        [-sp, cp * sr, cp * cr],
    ]


def angle_gap(a, b):
    """Distance between two angles on the circle."""
    return abs(math.remainder(a - b, math.tau))


def matrix_with_sine(r20):
    """A matrix whose only interesting entry is r[2][0] = -sin(pitch)."""
    return [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [r20, 0.0, 1.0]]


FK_EXACT = [
    ([0.0, 0.0, 0.0], [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]]),
    ([-0.0, -0.0, -0.0], [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]]),
    ([0.0, HALF_PI, 0.0], [[6.123233995736766e-17, 0.0, 1.0], [0.0, 1.0, 0.0], [-1.0, 0.0, 6.123233995736766e-17]]),
    (
        [0.3, 0.2, 0.1],
        [
            [0.9362933635841992, -0.2750958473182437, 0.21835066314633444],
            [0.28962947762551555, 0.9564250858492325, -0.03695701352462508],
            [-0.19866933079506122, 0.09784339500725571, 0.975170327201816],
        ],
    ),
    # The smallest nonzero angle still goes through sine and cosine.
    ([5e-324, 0.0, 0.0], [[1.0, -5e-324, 0.0], [5e-324, 1.0, 0.0], [0.0, 0.0, 1.0]]),
]


@pytest.mark.parametrize(
    ("joints", "rows"), FK_EXACT, ids=["zero", "negative-zero", "pitch-half-pi", "ordinary", "smallest-yaw"]
)
def test_fk_exact_values(joints, rows):
    result = NECK.fk(joints)
    assert result == rows
    assert all(type(x) is float for row in result for x in row)


# Regression: built as c + (1 - c), the axis entry of an elementary rotation came out as
# 0.9999999999999999 for this angle, whose cosine is -0.5000000000000006.
@pytest.mark.parametrize(
    ("joints", "row", "col"),
    [
        ([2.094395102393196, 0.0, 0.0], 2, 2),
        ([0.0, 2.094395102393196, 0.0], 1, 1),
        ([0.0, 0.0, 2.094395102393196], 0, 0),
    ],
    ids=["yaw-axis", "pitch-axis", "roll-axis"],
)
def test_fk_axis_entry_is_exactly_one(joints, row, col):
    assert NECK.fk(joints)[row][col] == 1.0


@pytest.mark.parametrize("position", [0, 1, 2], ids=["yaw", "pitch", "roll"])
@pytest.mark.parametrize("bad", [math.nan, math.inf, -math.inf], ids=["nan", "inf", "-inf"])
def test_fk_non_finite_angle_makes_every_entry_nan(position, bad):
    joints = [0.0, 0.0, 0.0]
    joints[position] = bad
    entries = [x for row in NECK.fk(joints) for x in row]
    assert len(entries) == 9
    assert all(math.isnan(x) for x in entries)


finite_angle = st.floats(-20.0, 20.0, allow_nan=False)


@settings(derandomize=True, max_examples=300)
@given(finite_angle, finite_angle, finite_angle)
@example(0.0, 0.0, 0.0)
@example(math.pi, -math.pi, math.pi)
@example(0.3, HALF_PI, -0.2)
@example(2.094395102393196, 2.094395102393196, 2.094395102393196)
def test_fk_matches_written_out_product(yaw, pitch, roll):
    assert NECK.fk([yaw, pitch, roll]) == rotation(yaw, pitch, roll)


def test_fk_accepts_keyword_and_integers():
    assert NECK.fk(joints=(1, 2, 3)) == NECK.fk([1.0, 2.0, 3.0])


IK_EXACT = [
    (matrix_with_sine(0.0), (0.0, -0.0, 0.0)),
    (NECK.fk([0.3, 0.2, 0.1]), (0.3, 0.2, 0.09999999999999999)),
    (matrix_with_sine(LAST_FREE_SINE), (0.0, -1.5693821131146521, 0.0)),
    (matrix_with_sine(-LAST_FREE_SINE), (0.0, 1.5693821131146521, 0.0)),
    # Only five entries are read; the other four must merely be numbers.
    ([[1.0, 7.0, 8.0], [0.0, 9.0, 10.0], [0.0, 0.0, 1.0]], (0.0, -0.0, 0.0)),
]


@pytest.mark.parametrize(
    ("r", "joints"),
    IK_EXACT,
    ids=["identity", "ordinary", "last-free-sine", "last-free-sine-negative", "unused-entries"],
)
def test_ik_exact_values(r, joints):
    result = NECK.ik(r)
    assert type(result) is tuple
    assert result == joints
    assert [math.copysign(1.0, x) for x in result] == [math.copysign(1.0, x) for x in joints]


def test_ik_nan_sine_passes_the_gimbal_test():
    yaw, pitch, roll = NECK.ik(matrix_with_sine(math.nan))
    assert math.isnan(pitch)
    assert (yaw, roll) == (0.0, 0.0)


GIMBAL = [
    (matrix_with_sine(math.nextafter(LAST_FREE_SINE, 2.0)), "one-ulp-past-margin"),
    (matrix_with_sine(-math.nextafter(LAST_FREE_SINE, 2.0)), "one-ulp-past-margin-negative"),
    (matrix_with_sine(1.0), "sine-one"),
    (matrix_with_sine(-1.0), "sine-minus-one"),
    (matrix_with_sine(1.5), "above-one"),
    (matrix_with_sine(-math.inf), "infinite"),
    (NECK.fk([0.0, HALF_PI, 0.0]), "fk-half-pi"),
    (NECK.fk([0.4, -HALF_PI, -1.0]), "fk-minus-half-pi"),
    (NECK.fk([0.0, 1.5695, 0.0]), "fk-pitch-1.5695"),
    (NECK.fk([0.0, math.pi - 1.5695, 0.0]), "fk-pitch-pi-minus-1.5695"),
]


@pytest.mark.parametrize("r", [r for r, _ in GIMBAL], ids=[name for _, name in GIMBAL])
def test_ik_gimbal_lock(r):
    with pytest.raises(ValueError) as info:
        NECK.ik(r)
    assert type(info.value) is ValueError
    assert str(info.value) == GIMBAL_LOCK


def test_ik_just_inside_the_margin_from_fk():
    yaw, pitch, roll = NECK.ik(NECK.fk([0.1, 1.5693, 0.2]))
    assert abs(pitch - 1.5693) < 1e-9
    assert abs(yaw - 0.1) < 1e-9 and abs(roll - 0.2) < 1e-9


inner_angle = st.floats(-3.14, 3.14)
free_pitch = st.floats(-1.569, 1.569)


@settings(derandomize=True, max_examples=300)
@given(inner_angle, free_pitch, inner_angle)
@example(0.0, 0.0, 0.0)
@example(3.14, 1.569, -3.14)
@example(-3.14, -1.569, 3.14)
def test_round_trip_returns_the_joints(yaw, pitch, roll):
    result = NECK.ik(NECK.fk([yaw, pitch, roll]))
    assert result == pytest.approx((yaw, pitch, roll), abs=1e-9)


ROUND_TRIPS = [
    ([0.5, 2.0, 0.3], (0.5 - math.pi, math.pi - 2.0, 0.3 - math.pi)),
    ([0.5, -2.0, 0.3], (0.5 - math.pi, -math.pi + 2.0, 0.3 - math.pi)),
    ([-0.5, 2.5, -0.3], (-0.5 + math.pi, math.pi - 2.5, -0.3 + math.pi)),
    ([0.3 + 2 * math.pi, 0.2, 0.1 - 4 * math.pi], (0.3, 0.2, 0.1)),
    ([3.5, 0.2, -3.5], (3.5 - 2 * math.pi, 0.2, -3.5 + 2 * math.pi)),
    ([0.3, 0.2 + 2 * math.pi, 0.1], (0.3, 0.2, 0.1)),
]


@pytest.mark.parametrize(
    ("joints", "expected"),
    ROUND_TRIPS,
    ids=[
        "pitch-above-half-pi",
        "pitch-below-minus-half-pi",
        "other-signs",
        "turns-added",
        "yaw-roll-outside-pi",
        "pitch-full-turn",
    ],
)
def test_round_trip_gives_the_equivalent_triple(joints, expected):
    result = NECK.ik(NECK.fk(joints))
    assert result == pytest.approx(expected, abs=1e-12)
    assert all(-math.pi <= x <= math.pi for x in result)


wide_angle = st.floats(-50.0, 50.0)


@settings(derandomize=True, max_examples=300)
@given(wide_angle, wide_angle, wide_angle)
@example(0.5, 2.0, 0.3)
@example(-7.0, 3.0, 9.0)
def test_round_trip_keeps_the_rotation(yaw, pitch, roll):
    rows = NECK.fk([yaw, pitch, roll])
    if 1.0 - abs(rows[2][0]) < 1e-5:
        return  # near gimbal lock yaw and roll are ill-conditioned
    again = NECK.fk(list(NECK.ik(rows)))
    assert [x for row in again for x in row] == pytest.approx([x for row in rows for x in row], abs=1e-9)


@pytest.mark.parametrize(
    ("call", "exc", "message"),
    [
        (lambda: NECK.ik([[1, 0, 0], [0, 1, 0, 0], [0, 0, 1]]), ValueError, "expected a sequence of length 3 (got 4)"),
        (
            lambda: NECK.ik(r=[[1, 0, 0], [0, 1, 0], [0, 0, "x"]]),
            TypeError,
            "argument 'r': must be real number, not str",
        ),
        (lambda: NECK.fk(joints={}), TypeError, "argument 'joints': 'dict' object cannot be converted to 'Sequence'"),
        (
            lambda: NECK.fk(rows=[0, 0, 0]),
            TypeError,
            "TarveloNeckKinematics.fk() got an unexpected keyword argument 'rows'",
        ),
    ],
    ids=["ik-row-too-long", "ik-element-not-number", "fk-dict", "fk-unknown-keyword"],
)
def test_argument_errors(call, exc, message):
    with pytest.raises(exc) as info:
        call()
    assert type(info.value) is exc
    assert str(info.value) == message
