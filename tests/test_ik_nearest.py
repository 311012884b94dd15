"""ik_nearest: the candidate of ik nearest to any target, and the very pair of ik wherever ik succeeds."""

import math

import numpy as np
import pytest
from hypothesis import example, given, settings
from hypothesis import strategies as st

import reference_kinematics as ref
from conftest import ARM_NAMES, make_arm

PI, NAN, INF = math.pi, math.nan, math.inf


def refused_or(call):
    """What the call returns, or None where it raises the unreachable-target error."""
    try:
        return call()
    except RuntimeError as error:
        assert type(error) is RuntimeError
        assert str(error) == ref.UNREACHABLE
        return None


def assert_nearest_matches_reference(arm, reference, rows):
    """ik_nearest is the reference's nearest candidate, and where ik succeeds, its pair to the bit."""
    got = refused_or(lambda: arm.ik_nearest(rows))
    assert ref.same_nested(got, ref.ik_nearest(reference, rows)), (got, ref.ik_nearest(reference, rows))
    pair = refused_or(lambda: arm.ik(rows))
    if pair is not None:
        assert np.array(got[:2]).tobytes() == np.array(pair).tobytes(), (got, pair)
        assert got[2] < 1e-6
    return got


@pytest.mark.parametrize("name", ARM_NAMES)
@settings(derandomize=True, max_examples=300, deadline=None)
@given(
    theta_a=st.floats(-PI, PI),
    theta_b=st.floats(-PI, PI),
    noise=st.floats(-0.05, 0.05),
    entry=st.integers(0, 8),
)
@example(theta_a=0.5, theta_b=0.5, noise=0.0, entry=0)
@example(theta_a=0.5, theta_b=0.5, noise=1e-6, entry=4)
@example(theta_a=0.5, theta_b=0.5, noise=-9.99e-7, entry=8)
@example(theta_a=0.3, theta_b=-0.2, noise=0.05, entry=2)
def test_disturbed_targets_match_reference(name, theta_a, theta_b, noise, entry):
    arm, reference = make_arm(name)
    rows = ref.fk(reference, theta_a, theta_b)
    if rows is None:
        return
    rows[entry // 3][entry % 3] += noise
    assert_nearest_matches_reference(arm, reference, rows)


def twisted(rows, angle=0.1):
    """The rotation turned about its own z axis: the same pointing direction, another frame."""
    c, s = math.cos(angle), math.sin(angle)
    return [[r[0] * c + r[1] * s, -r[0] * s + r[1] * c, r[2]] for r in rows]


HALF = ref.fk(ref.LEFT, 0.5, 0.5)

# (target, what ik_nearest gives: "refused", "finite" distance >= 1e-6, or "inf")
ODD_TARGETS = [
    ("twisted", twisted(HALF), "finite"),
    ("turned-around", twisted(HALF, PI), "finite"),
    ("scaled", [[2.0 * x for x in row] for row in HALF], "refused"),
    ("zero", [[0.0] * 3] * 3, "refused"),
    ("identity", [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]], "refused"),
    ("along-u-b", [[0.0, 0.0, 1.0], [0.0, 1.0, 0.0], [-1.0, 0.0, 0.0]], "refused"),
    ("outside-workspace", [[1.0, 0.0, 0.0], [0.0, 0.0, -1.0], [0.0, 1.0, 0.0]], "refused"),
    # Every candidate's distance is NaN: refused like no candidate at all.
    ("one-nan", [[NAN] + HALF[0][1:], HALF[1], HALF[2]], "refused"),
    ("nan-direction", [row[:2] + [NAN] for row in HALF], "refused"),
    # Infinitely far, but not NaN: the first candidate is the answer.
    ("one-inf", [HALF[0], [HALF[1][0], INF, HALF[1][2]], HALF[2]], "inf"),
    ("inf-direction", [[1.0, 0.0, INF], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]], "refused"),
]


@pytest.mark.parametrize(("rows", "outcome"), [t[1:] for t in ODD_TARGETS], ids=[t[0] for t in ODD_TARGETS])
def test_targets_ik_refuses(left, rows, outcome):
    got = assert_nearest_matches_reference(left, ref.LEFT, rows)
    assert refused_or(lambda: left.ik(rows)) is None
    if outcome == "refused":
        assert got is None
    else:
        assert got is not None and not math.isnan(got[0]) and not math.isnan(got[1])
        assert (got[2] == INF) is (outcome == "inf") and got[2] >= 1e-6


def small_rotations(rng, n, angle):
    """n rotation matrices turning by `angle` radians about random axes (Rodrigues)."""
    axes = rng.normal(size=(n, 3))
    axes /= np.linalg.norm(axes, axis=1, keepdims=True)
    k = np.zeros((n, 3, 3))
    k[:, 0, 1], k[:, 0, 2], k[:, 1, 2] = -axes[:, 2], axes[:, 1], -axes[:, 0]
    k -= k.transpose(0, 2, 1)
    return np.eye(3) + math.sin(angle) * k + (1.0 - math.cos(angle)) * (k @ k)


DISTURBANCES = [
    ("none", lambda rng, r: r),
    ("float32", lambda rng, r: r.astype(np.float32).astype(np.float64)),
    ("1e-7-rad", lambda rng, r: small_rotations(rng, len(r), 1e-7) @ r),
    ("1e-6-rad", lambda rng, r: small_rotations(rng, len(r), 1e-6) @ r),
]


@pytest.mark.parametrize("arm_name", ARM_NAMES)
@pytest.mark.parametrize("disturb", [d for _, d in DISTURBANCES], ids=[i for i, _ in DISTURBANCES])
def test_agrees_with_ik_on_fk_rotations(arm_name, disturb):
    arm, _ = make_arm(arm_name)
    rng = np.random.default_rng(2026)
    rotations = arm.fk_batch(rng.uniform(-PI, PI, (600_000, 2)))
    rotations = disturb(rng, rotations[~np.isnan(rotations[:, 0, 0])][:100_000])
    assert len(rotations) == 100_000
    pairs, nearest = arm.ik_batch(rotations), arm.ik_nearest_batch(rotations)
    matched = ~np.isnan(pairs[:, 0])
    assert matched.any()
    assert nearest[matched, :2].tobytes() == pairs[matched].tobytes()
    assert (nearest[matched, 2] < 1e-6).all()
    # Only a target pushed out of the workspace, next to its edge, has no candidate.
    assert np.isnan(nearest[:, 0]).mean() < 1e-3
