"""ik_solutions and ik_from_direction_solutions: every pair that reaches the target, in the order ik
and ik_from_direction choose among, checked against an independent search of joint space."""

import math

import numpy as np
import pytest

import reference_kinematics as ref
from tarvelo_torso_kinematics import TarveloArmKinematics as Arm

LEFT = Arm.default_left()
ARMS = {
    "left": LEFT,
    "right": Arm.default_right(),
    "left-negative": Arm.from_json('[0.7, 0.5, "negative"]'),
    "long-coupler-negative-mirrored": Arm.from_json('[0.6, 0.7, "negative", true]'),
    "wide-negative-mirrored": Arm.from_json('[0.9, 0.6, "negative", true]'),
}
TARGETS = 60  # per arm: 300 targets
ANGLES = np.linspace(-math.pi, math.pi, 160, endpoint=False)
SEED_SPACING = 0.1


def same_pair(p, q, tolerance=1e-7):
    return all(abs(math.remainder(x - y, math.tau)) < tolerance for x, y in zip(p, q, strict=True))


def distinct(pairs):
    kept = []
    for pair in pairs:
        if not any(same_pair(pair, k) for k in kept):
            kept.append(pair)
    return kept


def seeds(grid, d):
    """Grid pairs whose direction lies near d, nearest first, each at least SEED_SPACING from every
    nearer one (around the circle): one in every basin of Newton's method, however narrow."""
    gap = np.linalg.norm(grid - d, axis=-1)
    i, j = np.nonzero(gap < 0.2)
    order = np.argsort(gap[i, j])
    a, b = ANGLES[i[order]], ANGLES[j[order]]
    while a.size:
        yield float(a[0]), float(b[0])
        far = (
            np.maximum(
                np.abs(np.remainder(a - a[0] + math.pi, math.tau) - math.pi),
                np.abs(np.remainder(b - b[0] + math.pi, math.tau) - math.pi),
            )
            >= SEED_SPACING
        )
        a, b = a[far], b[far]


def refine(arm, a, b, d):
    """Newton steps θ ← θ + joint_rates(θ, d - direction(θ)), at most 0.05 rad and halved while they
    leave the closing region; the converged pair in [-π, π], or None."""
    for _ in range(60):
        miss = [x - y for x, y in zip(d, arm.direction(a, b), strict=True)]
        if math.hypot(*miss) < 1e-13:
            return math.remainder(a, math.tau), math.remainder(b, math.tau)
        try:
            rate_a, rate_b = arm.joint_rates(a, b, miss)
        except ValueError:
            return None
        scale = min(1.0, 0.05 / math.hypot(rate_a, rate_b))
        while not arm.is_reachable_joints(a + scale * rate_a, b + scale * rate_b):
            scale /= 2
        a, b = a + scale * rate_a, b + scale * rate_b
    return None


def search(arm, grid, d):
    """Every joint pair pointing along d that Newton's method finds from the grid's seeds."""
    return distinct(p for p in (refine(arm, a, b, d) for a, b in seeds(grid, d)) if p is not None)


def frobenius(p, q):
    return float(np.linalg.norm(np.subtract(p, q)))


@pytest.mark.parametrize("name", ARMS)
def test_solution_lists_are_complete_exact_and_hold_the_chosen_answer(name):
    arm, rng = ARMS[name], np.random.default_rng(5)
    grid = np.array(
        [
            [arm.direction(a, b) if arm.is_reachable_joints(a, b) else [np.nan] * 3 for b in ANGLES.tolist()]
            for a in ANGLES.tolist()
        ]
    )
    checked = listed = unfound = 0
    while checked < TARGETS:
        theta_a, theta_b = rng.uniform(-math.pi, math.pi, size=2).tolist()
        if not arm.is_reachable_joints(theta_a, theta_b):
            continue
        d, rotation = arm.direction(theta_a, theta_b), arm.fk(theta_a, theta_b)
        by_direction, by_rotation = arm.ik_from_direction_solutions(d), arm.ik_solutions(rotation)
        assert all(math.dist(arm.direction(*p), d) < 1e-6 for p in by_direction)
        assert all(frobenius(arm.fk(*p), rotation) < 1e-6 for p in by_rotation)
        assert any(same_pair(p, (theta_a, theta_b)) for p in by_rotation)
        # Both lists in candidate order (d normalised may differ from d in its last bits).
        in_both = [p for p in by_direction if any(same_pair(p, q, 1e-12) for q in by_rotation)]
        assert len(in_both) == len(by_rotation) and all(map(same_pair, in_both, by_rotation))

        # None is missed: every pair the search finds is listed.
        found = search(arm, grid, d)
        assert all(any(same_pair(f, p) for p in by_direction) for f in found), (by_direction, found)
        assert all(any(same_pair(f, p) for p in by_rotation) for f in found if frobenius(arm.fk(*f), rotation) < 1e-6)
        listed, unfound = listed + len(distinct(by_direction)), unfound + len(distinct(by_direction)) - len(found)

        assert arm.ik(rotation) in by_rotation
        near = tuple(rng.uniform(-math.pi, math.pi, size=2).tolist())
        assert arm.ik_from_direction(d) == ref.cheapest(by_direction)
        assert arm.ik_from_direction(d, near=near) == ref.cheapest(by_direction, near)
        checked += 1
    # The search itself finds nearly every listed pair: it can miss two that lie either side of a
    # fold of the direction map (a singular configuration) closer together than its grid.
    print(f"{name}: the search found {listed - unfound} of {listed} listed pairs")
    assert unfound <= 0.03 * listed


@pytest.mark.parametrize("azimuth_degrees", [-20, 0, 45, 65])
def test_touching_circles_list_both_tips_of_arm_a(azimuth_degrees):
    # A direction just inside arc α + β of u_A: arm A's two tips lie 2.5e-7 rad apart, and both
    # pairs' rotations lie within 1e-6 of either one's.
    polar, azimuth = 0.7 + 0.5 - 1e-14, math.radians(azimuth_degrees)
    d = [math.sin(polar) * math.cos(azimuth), math.sin(polar) * math.sin(azimuth), math.cos(polar)]
    by_direction = LEFT.ik_from_direction_solutions(d)
    rotation = LEFT.fk(*by_direction[0])
    by_rotation = LEFT.ik_solutions(rotation)
    assert len(by_direction) in (2, 4) and len(by_rotation) == 2 and by_rotation[0][1] == by_rotation[1][1]
    assert 0.0 < abs(by_rotation[0][0] - by_rotation[1][0]) < 1e-6 and LEFT.ik(rotation) in by_rotation


@pytest.mark.parametrize(
    ("method", "target"),
    [
        ("ik_solutions", [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]]),
        ("ik_solutions", [[math.nan] * 3] * 3),
        ("ik_from_direction_solutions", [0.0, 0.0, 1.0]),
        ("ik_from_direction_solutions", [math.nan, 0.0, 1.0]),
        ("ik_from_direction_solutions", [x * 1e-13 for x in LEFT.direction(0.0, 0.0)]),
    ],
    ids=["identity", "nan-rotation", "along-u_A", "nan", "shorter-than-1e-12"],
)
def test_unreachable_targets_give_an_empty_list(method, target):
    assert getattr(LEFT, method)(target) == []


def test_direction_list_of_a_known_target_at_any_length():
    d = LEFT.direction(0.5, 0.5)
    listed = LEFT.ik_from_direction_solutions(d)
    assert listed == [pytest.approx((0.5, 0.5), abs=1e-12), pytest.approx((-0.167602, 0.5), abs=1e-6)]
    for scale in (1e-9, 5.0, 2.0**600):  # from 2^512 up the plain squared length overflows
        scaled = LEFT.ik_from_direction_solutions([scale * x for x in d])
        assert len(scaled) == 2 and all(map(same_pair, scaled, listed))
