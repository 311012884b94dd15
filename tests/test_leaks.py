"""No reference leaks: every method, on success and on every kind of failure path."""

import gc
import math
import sys

import numpy as np
import pytest

from tarvelo_torso_kinematics import TarveloArmKinematics, TarveloNeckKinematics

# Slow (about a minute): run once, on the main interpreter, not in every CI leg.
pytestmark = pytest.mark.slow

ARM = TarveloArmKinematics.default_left()
NECK = TarveloNeckKinematics()
ROWS = ARM.fk(0.5, 0.5)
D = ARM.direction(0.5, 0.5)
NEAR = (0.5, 0.5)
NECK_ROWS = NECK.fk([0.3, 0.2, 0.1])
DOCUMENT = '{"arm_arc": 0.7, "coupler_arc": 0.5, "branch": {"negative": null}, "mirror": true}'
BAD_DOCUMENT = '{"arm_arc": 0.7, "arm_arc": 0.8}'
NAN_ARM = TarveloArmKinematics(float("nan"))
GIMBAL = [[0.0, 0.0, 1.0], [0.0, 1.0, 0.0], [-1.0, 0.0, 0.0]]
JOINT_ROWS = np.array([[0.5, 0.5], [0.0, math.pi]] * 4)
DIRECTION_GRID = np.array([[D, D], [D, [0.0, 0.0, 1.0]]])
NEAR_COLUMN = np.array([[NEAR], [(0.4, 0.4)]])  # broadcast along the grid's second axis
COMPLEX_ROWS, DATE_ROWS = np.zeros((2, 3, 3), complex), np.zeros((2, 3), "M8[s]")
FK_OUT, MASK_OUT, PATH_OUT = np.empty((8, 3, 3)), np.empty((2, 2), bool), np.empty((2, 2))


class Float:
    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value


class RaisesType:
    def __float__(self):
        raise TypeError("not a number")


def refusals(*calls):
    """Run calls that each raise TypeError or ValueError, then raise TypeError too."""
    for call in calls:
        try:
            call()
        except (TypeError, ValueError):
            pass
        else:  # pragma: no cover - each call must be refused
            raise AssertionError("not refused")
    raise TypeError("refused")


ARGUMENTS = [
    ROWS,
    D,
    NEAR,
    NECK_ROWS,
    DOCUMENT,
    BAD_DOCUMENT,
    GIMBAL,
    JOINT_ROWS,
    DIRECTION_GRID,
    NEAR_COLUMN,
    COMPLEX_ROWS,
    DATE_ROWS,
    FK_OUT,
    MASK_OUT,
    PATH_OUT,
    Float(0.5),
]

# (label, call); each call may raise: only what it leaves behind counts.
CALLS = [
    ("new", lambda: TarveloArmKinematics(0.7, 0.5, mirror=True)),
    ("new-bad-bool", lambda: TarveloArmKinematics(mirror=1)),
    ("new-too-many", lambda: TarveloArmKinematics(1, 2, 3, 4)),
    ("neck-new", lambda: TarveloNeckKinematics()),
    ("neck-new-arg", lambda: TarveloNeckKinematics(1)),
    ("default-left", TarveloArmKinematics.default_left),
    ("default-right", TarveloArmKinematics.default_right),
    ("from-json", lambda: TarveloArmKinematics.from_json(DOCUMENT)),
    ("from-json-refused", lambda: TarveloArmKinematics.from_json(BAD_DOCUMENT)),
    ("from-json-bytes", lambda: TarveloArmKinematics.from_json(b"{}")),
    ("accessors", lambda: (ARM.arm_arc(), ARM.coupler_arc(), ARM.mirror(), ARM.branch())),
    ("to-json", ARM.to_json),
    ("to-json-refused", lambda: NAN_ARM.to_json()),
    ("branch-argument", lambda: ARM.branch(1)),
    ("fk", lambda: ARM.fk(0.5, 0.5)),
    ("fk-float-like", lambda: ARM.fk(ARGUMENTS[-1], theta_b=0.5)),
    ("fk-no-closure", lambda: ARM.fk(0.0, math.pi)),
    ("fk-wrapped-type-error", lambda: ARM.fk(RaisesType(), 0.0)),
    ("fk-unexpected-keyword", lambda: ARM.fk(0.1, theta_c=0.2)),
    ("fk-missing", lambda: ARM.fk(0.1)),
    ("direction", lambda: ARM.direction(0.5, 0.5)),
    ("is-reachable-joints", lambda: ARM.is_reachable_joints(0.0, math.pi)),
    ("ik", lambda: ARM.ik(ROWS)),
    ("ik-unreachable", lambda: ARM.ik([[1, 0, 0], [0, 1, 0], [0, 0, 1]])),
    ("ik-short-row", lambda: ARM.ik([ROWS[0], [1.0, 2.0], ROWS[2]])),
    ("is-reachable-orientation", lambda: ARM.is_reachable_orientation(ROWS)),
    ("ik-from-direction", lambda: ARM.ik_from_direction(D)),
    ("ik-from-direction-near", lambda: ARM.ik_from_direction(D, near=NEAR)),
    ("ik-from-direction-bad-near", lambda: ARM.ik_from_direction(D, near=[0.5, 0.5])),
    ("ik-from-direction-zero", lambda: ARM.ik_from_direction([0.0, 0.0, 0.0])),
    ("is-reachable-direction", lambda: ARM.is_reachable_direction(D)),
    ("is-reachable-direction-dict", lambda: ARM.is_reachable_direction({})),
    ("neck-fk", lambda: NECK.fk([0.3, 0.2, 0.1])),
    ("neck-ik", lambda: NECK.ik(NECK_ROWS)),
    ("neck-ik-gimbal", lambda: NECK.ik(GIMBAL)),
    ("neck-ik-overflow", lambda: NECK.ik([[10**400, 0, 0], [0, 1, 0], [0, 0, 1]])),
    ("jacobian", lambda: ARM.jacobian(0.5, 0.5)),
    ("direction-jacobian-no-closure", lambda: ARM.direction_jacobian(0.0, math.pi)),
    ("joint-rates", lambda: ARM.joint_rates(0.5, theta_b=0.5, direction_rate=D)),
    ("joint-rates-singular", lambda: ARM.joint_rates(1.4740857891368973, 0.0, D)),  # at the closing limit
    ("joint-rates-bad-rate", lambda: ARM.joint_rates(0.5, 0.5, [ARGUMENTS[-1], RaisesType(), 0.0])),
    ("manipulability", lambda: ARM.manipulability(0.5, 0.5)),
    ("ik-solutions", lambda: ARM.ik_solutions(ROWS)),
    ("ik-from-direction-solutions", lambda: ARM.ik_from_direction_solutions(D)),
    ("ik-from-direction-solutions-none", lambda: ARM.ik_from_direction_solutions([0.0, 0.0, 1.0])),
    ("neck-jacobian", lambda: NECK.jacobian([0.3, 0.2, 0.1])),
    ("neck-joint-rates", lambda: NECK.joint_rates([0.3, 0.2, 0.1], D)),
    ("neck-joint-rates-gimbal", lambda: NECK.joint_rates([0.3, math.pi / 2, 0.1], D)),
    ("ik-nearest", lambda: ARM.ik_nearest(ROWS)),
    ("ik-nearest-unreachable", lambda: ARM.ik_nearest(GIMBAL)),
    ("linkage-points", lambda: ARM.linkage_points(0.5, theta_b=0.5)),
    ("linkage-points-no-closure", lambda: ARM.linkage_points(0.0, math.pi)),
    (
        "array-methods",
        lambda: (
            ARM.fk_batch(JOINT_ROWS, workers=-1),
            ARM.is_reachable_joints_batch(JOINT_ROWS[:4]),
            ARM.is_reachable_orientation_batch([ROWS]),
            ARM.is_reachable_direction_batch(DIRECTION_GRID),
            ARM.ik_batch([ROWS, GIMBAL]),
            ARM.ik_from_direction_batch(DIRECTION_GRID, NEAR_COLUMN),
            ARM.ik_from_direction_path(DIRECTION_GRID[1], near=NEAR),
            NECK.ik_batch(NECK.fk_batch([[0.3, 0.2, 0.1]])),
            ARM.jacobian_batch(JOINT_ROWS),
            ARM.direction_jacobian_batch(JOINT_ROWS[:4], workers=2),
            ARM.manipulability_batch(JOINT_ROWS),
            NECK.jacobian_batch([[0.3, 0.2, 0.1]]),
            ARM.ik_nearest_batch([ROWS, GIMBAL], workers=2),
            ARM.joint_rates_batch(JOINT_ROWS, D),
            ARM.linkage_points_batch(JOINT_ROWS),
            NECK.joint_rates_batch([NECK_ROWS[0], [0.0, math.pi / 2, 0.0]], DIRECTION_GRID[:, :1]),
        ),
    ),
    (
        "array-refusals",
        lambda: refusals(
            lambda: ARM.direction_batch(DIRECTION_GRID),
            lambda: ARM.ik_from_direction_batch(DIRECTION_GRID, JOINT_ROWS),
            lambda: NECK.fk_batch([[0.0, 0.0, 0.0]], workers=0),
            lambda: ARM.fk_batch(JOINT_ROWS, workers="2"),
            lambda: ARM.fk_batch(JOINT_ROWS, 2),
            lambda: ARM.manipulability_batch(DIRECTION_GRID),
            lambda: ARM.joint_rates_batch(JOINT_ROWS, DIRECTION_GRID),
            lambda: NECK.joint_rates_batch(DIRECTION_GRID, None),
        ),
    ),
    (
        "array-out",
        lambda: (
            ARM.fk_batch(JOINT_ROWS, workers=2, out=FK_OUT),
            ARM.is_reachable_direction_batch(DIRECTION_GRID, out=MASK_OUT),
            ARM.ik_from_direction_path(DIRECTION_GRID[1], near=NEAR, out=PATH_OUT),
            ARM.fk_batch(JOINT_ROWS, out=None),
        ),
    ),
    (
        "array-out-refusals",
        lambda: refusals(
            lambda: ARM.fk_batch(JOINT_ROWS, out=[FK_OUT]),
            lambda: ARM.fk_batch(JOINT_ROWS[:4], out=FK_OUT),
            lambda: ARM.is_reachable_direction_batch(DIRECTION_GRID, out=PATH_OUT),
            lambda: ARM.fk_batch(JOINT_ROWS, out=np.broadcast_to(FK_OUT[:1], FK_OUT.shape)),
            lambda: ARM.fk_batch(JOINT_ROWS[::2], out=FK_OUT[::2]),
            lambda: ARM.ik_from_direction_path(DIRECTION_GRID[1], near=PATH_OUT[0], out=PATH_OUT),
            lambda: ARM.ik_from_direction_batch(DIRECTION_GRID, JOINT_ROWS, out=PATH_OUT),
        ),
    ),
]
# Refusals of an array's dtype: the interpreter's caches grow once (by 20 to 300 blocks) at some
# point after a few thousand of them, so they are counted over the long run only.
LONG_RUN_CALLS = [
    ("array-dtype-refusals", lambda: refusals(lambda: ARM.ik_batch(COMPLEX_ROWS), lambda: NECK.fk_batch(DATE_ROWS))),
    ("array-out-dtype-refusal", lambda: ARM.is_reachable_joints_batch(JOINT_ROWS[:2], out=DATE_ROWS[0, :2])),
]
ROUNDS = 3000  # 53 kinds of call x 3000


def run_all(rounds):
    for _ in range(rounds):
        for _, call in CALLS + LONG_RUN_CALLS:
            try:
                call()
            except (TypeError, ValueError, RuntimeError, OverflowError):
                pass


def counts():
    gc.collect()
    return sys.getallocatedblocks(), [sys.getrefcount(a) for a in ARGUMENTS]


def test_every_call_path_runs():
    outcomes = set()
    for _label, call in CALLS:
        try:
            call()
            outcomes.add("ok")
        except (TypeError, ValueError, RuntimeError, OverflowError) as error:
            outcomes.add(type(error).__name__)
    assert outcomes == {"ok", "TypeError", "ValueError", "RuntimeError", "OverflowError"}


def test_no_leaks_over_many_calls():
    # Warm the interpreter's caches and free lists: 3.10's keep growing, by about a hundred
    # blocks in all, for the first thousand or two rounds.
    run_all(ROUNDS)
    blocks = []
    for _ in range(2):
        blocks_before, refs_before = counts()
        run_all(ROUNDS)
        blocks_after, refs_after = counts()
        assert refs_after == refs_before
        blocks.append(blocks_after - blocks_before)
    # A leak of one object per call shows as 3000 blocks or more in every window; the
    # interpreter's free lists and caches (and numpy's) grow by a few hundred now and then,
    # in one window or the other.
    assert min(blocks) < 400, blocks


@pytest.mark.parametrize(("label", "call"), CALLS, ids=[label for label, _ in CALLS])
def test_each_path_alone_leaks_nothing(label, call):
    def repeat(n):
        for _ in range(n):
            try:
                call()
            except (TypeError, ValueError, RuntimeError, OverflowError):
                pass

    repeat(2000)  # the first runs may grow caches of the interpreter once
    blocks = []
    for _ in range(2):
        blocks_before, refs_before = counts()
        repeat(2000)
        blocks_after, refs_after = counts()
        assert refs_after == refs_before
        blocks.append(blocks_after - blocks_before)
    # One leaked object per call shows as 2000 blocks in every window; a cache that grows
    # once more shows in one window only.
    assert min(blocks) < 20, blocks
