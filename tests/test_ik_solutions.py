"""Solution sets: ik_solutions and ik_from_direction_solutions list every joint pair that reaches
the target, none that does not, in the order ik and ik_from_direction choose among them.

Completeness is checked against an independent search: a grid of joint space, whose local
minima of the distance to the target direction are refined by Newton steps through joint_rates.
"""

import math

import numpy as np
import pytest

import reference_kinematics as ref
from tarvelo_torso_kinematics import TarveloArmKinematics

ARMS = [
    pytest.param(lambda: TarveloArmKinematics.default_left(), id="left"),
    pytest.param(lambda: TarveloArmKinematics.default_right(), id="right"),
    pytest.param(lambda: TarveloArmKinematics.from_json('[0.7, 0.5, "negative"]'), id="left-negative"),
    pytest.param(lambda: TarveloArmKinematics.from_json('[0.9, 0.6, "negative", true]'), id="wide-negative-mirrored"),
]
GRID = 160
TARGETS = 75  # per arm
SEED_SPACING = 0.1


def wrap(angle):
    return math.remainder(angle, math.tau)


def same_pair(p, q, tolerance=1e-7):
    return abs(wrap(p[0] - q[0])) < tolerance and abs(wrap(p[1] - q[1])) < tolerance


def distinct(pairs):
    kept = []
    for pair in pairs:
        if not any(same_pair(pair, k) for k in kept):
            kept.append(pair)
    return kept


class JointSpaceScan:
    """Directions of a GRID × GRID grid of joint pairs (NaN where the loop does not close)."""

    def __init__(self, arm):
        self.arm = arm
        self.angles = np.linspace(-math.pi, math.pi, GRID, endpoint=False)
        self.directions = np.full((GRID, GRID, 3), np.nan)
        for i, a in enumerate(self.angles.tolist()):
            for j, b in enumerate(self.angles.tolist()):
                if arm.is_reachable_joints(a, b):
                    self.directions[i, j] = arm.direction(a, b)

    def seeds(self, d):
        """Grid pairs whose direction lies near d, nearest first, each at least SEED_SPACING
        (in joint space, around the circle) from every nearer one: every basin of Newton's
        method around a solution holds one, however narrow the solution's region of the grid."""
        gap = np.linalg.norm(self.directions - d, axis=-1)
        i, j = np.nonzero(gap < 0.2)
        order = np.argsort(gap[i, j])
        a, b = self.angles[i[order]], self.angles[j[order]]
        picked = []
        while a.size:
            picked.append((float(a[0]), float(b[0])))
            far = (np.abs(np.remainder(a - a[0] + math.pi, math.tau) - math.pi) >= SEED_SPACING) | (
                np.abs(np.remainder(b - b[0] + math.pi, math.tau) - math.pi) >= SEED_SPACING)
            a, b = a[far], b[far]
        return picked

    def refine(self, pair, d):
        """Newton steps θ ← θ + joint_rates(θ, d - direction(θ)), halved while they leave the
        closing region; the converged pair or None."""
        a, b = pair
        if not self.arm.is_reachable_joints(a, b):
            return None
        for _ in range(40):
            miss = [x - y for x, y in zip(d, self.arm.direction(a, b))]
            if math.hypot(*miss) < 1e-13:
                return (wrap(a), wrap(b))
            try:
                rate_a, rate_b = self.arm.joint_rates(a, b, miss)
            except ValueError:
                return None
            scale = min(1.0, 0.2 / math.hypot(rate_a, rate_b))
            while not self.arm.is_reachable_joints(a + scale * rate_a, b + scale * rate_b):
                scale /= 2
            a, b = a + scale * rate_a, b + scale * rate_b
        return None

    def solutions(self, d):
        return distinct(p for p in (self.refine(s, d) for s in self.seeds(d)) if p is not None)


def targets(arm, count, seed):
    rng = np.random.default_rng(seed)
    pairs = []
    while len(pairs) < count:
        a, b = rng.uniform(-math.pi, math.pi, size=2).tolist()
        if arm.is_reachable_joints(a, b):
            pairs.append((a, b))
    return pairs


def frobenius(p, q):
    return float(np.linalg.norm(np.subtract(p, q)))


@pytest.mark.parametrize("make_arm", ARMS)
def test_solution_lists_are_complete_exact_and_hold_the_chosen_answer(make_arm):
    arm = make_arm()
    scan = JointSpaceScan(arm)
    rng = np.random.default_rng(11)
    checked = 0
    for theta_a, theta_b in targets(arm, TARGETS, seed=5):
        d = arm.direction(theta_a, theta_b)
        rotation = arm.fk(theta_a, theta_b)
        by_direction = arm.ik_from_direction_solutions(d)
        by_rotation = arm.ik_solutions(rotation)
        assert all(type(p) is tuple and len(p) == 2 for p in by_direction + by_rotation)

        # Every member reproduces its target.
        assert all(math.dist(arm.direction(*p), d) < 1e-6 for p in by_direction)
        assert all(frobenius(arm.fk(*p), rotation) < 1e-6 for p in by_rotation)
        # The rotation's members are direction members (d normalised may differ in its last bits).
        in_both = [p for p in by_direction if any(same_pair(p, q, 1e-12) for q in by_rotation)]
        assert len(in_both) == len(by_rotation) and all(map(same_pair, in_both, by_rotation))

        # None is missed, and the search finds every member.
        found = scan.solutions(d)
        assert len(distinct(by_direction)) == len(found), (theta_a, theta_b, by_direction, found)
        assert all(any(same_pair(p, f) for f in found) for p in by_direction)
        found_rotation = [p for p in found if frobenius(arm.fk(*p), rotation) < 1e-6]
        assert len(distinct(by_rotation)) == len(found_rotation)
        assert any(same_pair(p, (theta_a, theta_b)) for p in by_rotation)

        # The single answers are members: ik's the closest, ik_from_direction's the cheapest.
        assert arm.ik(rotation) in by_rotation
        assert arm.ik_from_direction(d) == ref.cheapest(by_direction)
        near = tuple(rng.uniform(-math.pi, math.pi, size=2).tolist())
        assert arm.ik_from_direction(d, near=near) == ref.cheapest(by_direction, near)
        checked += 1
    assert checked == TARGETS


LEFT = TarveloArmKinematics.default_left()


@pytest.mark.parametrize(("method", "target"), [
    ("ik_solutions", [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]]),
    ("ik_solutions", [[math.nan] * 3] * 3),
    ("ik_from_direction_solutions", [0.0, 0.0, 0.0]),
    ("ik_from_direction_solutions", [0.0, 0.0, 1.0]),
    ("ik_from_direction_solutions", [0.0, 0.0, -1.0]),
    ("ik_from_direction_solutions", [math.nan, 0.0, 1.0]),
    ("ik_from_direction_solutions", [x * 1e-13 for x in LEFT.direction(0.0, 0.0)]),
], ids=["identity", "nan-rotation", "zero", "along-u_A", "below", "nan", "shorter-than-1e-12"])
def test_unreachable_targets_give_an_empty_list(method, target):
    assert getattr(LEFT, method)(target) == []


def test_direction_list_of_a_known_target_at_any_length():
    d = LEFT.direction(0.5, 0.5)
    listed = LEFT.ik_from_direction_solutions(d)
    assert listed == [pytest.approx((0.5, 0.5), abs=1e-12), pytest.approx((-0.167602, 0.5), abs=1e-6)]
    for scale in (1e-9, 5.0, 2.0**600):  # from 2^512 up the plain squared length overflows
        scaled = LEFT.ik_from_direction_solutions([scale * x for x in d])
        assert len(scaled) == 2 and all(map(same_pair, scaled, listed))


@pytest.mark.parametrize("azimuth_degrees", [-20, 0, 20, 45, 65])
def test_touching_circles_list_both_tips_of_arm_a(azimuth_degrees):
    # A direction just inside arc α + β of u_A: arm A's two tips lie 2.5e-7 rad apart, so both
    # pairs reach the direction, and the rotations of both lie within 1e-6 of each other's.
    polar, azimuth = 0.7 + 0.5 - 1e-14, math.radians(azimuth_degrees)
    d = [math.sin(polar) * math.cos(azimuth), math.sin(polar) * math.sin(azimuth), math.cos(polar)]
    by_direction = LEFT.ik_from_direction_solutions(d)
    assert len(by_direction) in (2, 4)
    rotation = LEFT.fk(*by_direction[0])
    by_rotation = LEFT.ik_solutions(rotation)
    assert len(by_rotation) == 2 and 0.0 < abs(by_rotation[0][0] - by_rotation[1][0]) < 1e-6
    assert by_rotation[0][1] == by_rotation[1][1]
    assert all(frobenius(LEFT.fk(*p), rotation) < 1e-6 for p in by_rotation)
    assert LEFT.ik(rotation) in by_rotation
