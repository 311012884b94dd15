"""Rates of the arm and the neck, against central finite differences of fk and direction."""

import math

import numpy as np
import pytest

import reference_kinematics as ref
from tarvelo_torso_kinematics import TarveloArmKinematics as Arm, TarveloNeckKinematics

SINGULAR = "Singular configuration: joint rates are not determined for the pointing direction here."
NECK = TarveloNeckKinematics()
LEFT = Arm.default_left()
GEOMETRIES = {
    "left": Arm.default_left(),
    "right": Arm.default_right(),
    "long-coupler": Arm(0.5, 0.7),
    "left-negative": Arm.from_json('[0.7, 0.5, "negative"]'),
    "wide-negative-mirrored": Arm.from_json('[0.9, 0.6, "negative", true]'),
}
PER_GEOMETRY = 2000  # five geometries: 10,000 configurations
STEP = 1e-7  # truncation error ~ step², rounding error ~ 1e-16 / step
# A central difference of fixed step loses accuracy towards the closing limit, where the
# Jacobian's derivatives grow without bound: the comparison keeps to manipulability below this.
MAX_GAIN = 20.0


def rows(call, points):
    return np.array([call(*p) for p in points])


def omega(plus, minus, centre):
    """Angular velocities from central differences of rotations: the axial vector of Ṙ Rᵀ."""
    w = np.einsum("nij,nkj->nik", (plus - minus) / (2 * STEP), centre)
    return 0.5 * np.stack([w[:, 2, 1] - w[:, 1, 2], w[:, 0, 2] - w[:, 2, 0], w[:, 1, 0] - w[:, 0, 1]], axis=-1)


def relative_gap(got, want):
    return (np.abs(got - want).max(axis=(1, 2)) / np.abs(want).max(axis=(1, 2))).max()


@pytest.mark.parametrize("name", GEOMETRIES)
def test_arm_rates_match_finite_differences_and_joint_rates_invert(name):
    arm, rng = GEOMETRIES[name], np.random.default_rng(len(name))
    pairs, shifts = [], [(STEP, 0.0), (0.0, STEP)]
    while len(pairs) < PER_GEOMETRY:
        a, b = rng.uniform(-math.pi, math.pi, size=2).tolist()
        stencil = [(a + s * da, b + s * db) for da, db in shifts for s in (-1, 1)]
        if (
            arm.is_reachable_joints(a, b)
            and all(arm.is_reachable_joints(*p) for p in stencil)
            and arm.manipulability(a, b) < MAX_GAIN
        ):
            pairs.append((a, b))
    frame, direction, centre = rows(arm.jacobian, pairs), rows(arm.direction_jacobian, pairs), rows(arm.fk, pairs)
    fd_frame, fd_direction = [], []
    for da, db in shifts:
        plus, minus = [(a + da, b + db) for a, b in pairs], [(a - da, b - db) for a, b in pairs]
        fd_frame.append(omega(rows(arm.fk, plus), rows(arm.fk, minus), centre))
        fd_direction.append((rows(arm.direction, plus) - rows(arm.direction, minus)) / (2 * STEP))
    assert relative_gap(frame, np.stack(fd_frame, axis=-1)) <= 1e-6
    assert relative_gap(direction, np.stack(fd_direction, axis=-1)) <= 1e-6

    # Manipulability is the area the two columns of the direction Jacobian span.
    area = np.linalg.norm(np.cross(direction[:, :, 0], direction[:, :, 1]), axis=1)
    assert np.abs(rows(arm.manipulability, pairs) - area).max() <= 1e-12 * area.max()

    # joint_rates inverts the direction Jacobian and ignores a rate along v_3.
    wanted = rng.uniform(-1.0, 1.0, size=(PER_GEOMETRY, 2))
    rates = np.einsum("nij,nj->ni", direction, wanted) + rng.uniform(-1, 1, (PER_GEOMETRY, 1)) * centre[:, :, 2]
    back = rows(
        lambda a, b, rate: arm.joint_rates(a, b, rate),
        [(a, b, r) for (a, b), r in zip(pairs, rates.tolist(), strict=True)],
    )
    assert (np.abs(back - wanted).max(axis=1) / np.abs(wanted).max(axis=1)).max() <= 1e-9


def theta_a_where_t_a_is(value):
    """θ_A (θ_B = 0, default left arm) where t_A = (u_A × v_2)·v_3 equals `value`, by bisection;
    t_A falls through 0 near θ_A = 0.43, at the edge of the pointing workspace."""

    def t_a(theta_a):
        v_2, _ = ref.tips(ref.LEFT, theta_a, 0.0)
        return ref.dot(ref.cross((0.0, 0.0, 1.0), v_2), LEFT.direction(theta_a, 0.0))

    low, high = 0.3, 0.6
    for _ in range(100):
        middle = 0.5 * (low + high)
        low, high = (middle, high) if t_a(middle) > value else (low, middle)
    return low


CLOSING_LIMIT = 1.4740857891368973  # the largest θ_A (θ_B = 0) at which the loop closes


@pytest.mark.parametrize(
    ("theta_a", "refused"),
    [
        (theta_a_where_t_a_is(0.0), True),
        (theta_a_where_t_a_is(5e-7), True),
        (theta_a_where_t_a_is(-5e-7), True),
        (theta_a_where_t_a_is(2e-6), False),
        (theta_a_where_t_a_is(-2e-6), False),
        (CLOSING_LIMIT, True),
        (CLOSING_LIMIT - 1e-6, False),
    ],
    ids=[
        "t_A-zero",
        "t_A-below",
        "t_A-below-negative",
        "t_A-above",
        "t_A-above-negative",
        "closing-limit",
        "near-closing-limit",
    ],
)
def test_joint_rates_refuse_singular_configurations(theta_a, refused):
    assert LEFT.is_reachable_joints(theta_a, 0.0) and not LEFT.is_reachable_joints(math.nextafter(CLOSING_LIMIT, 2), 0)
    if refused:
        with pytest.raises(ValueError) as info:
            LEFT.joint_rates(theta_a, 0.0, [0.0, 0.0, 1.0])
        assert type(info.value) is ValueError and str(info.value) == SINGULAR
    else:
        assert all(map(math.isfinite, LEFT.joint_rates(theta_a, 0.0, [0.0, 0.0, 1.0])))


@pytest.mark.parametrize(
    ("target", "gaps", "trend"),
    [
        (theta_a_where_t_a_is(0.0), [1e-1, 1e-2, 1e-4, 1e-6, 0.0], "vanishes"),
        (CLOSING_LIMIT, [1e-2, 1e-4, 1e-6, 1e-8, 1e-10, 1e-12], "grows"),
    ],
    ids=["towards-t_A-zero", "towards-closing-limit"],
)
def test_manipulability_towards_singular_configurations(target, gaps, trend):
    gains = [LEFT.manipulability(target - gap, 0.0) for gap in gaps]
    if trend == "vanishes":
        assert all(x > y for x, y in zip(gains, gains[1:], strict=False)) and gains[-1] < 1e-12, gains
    else:
        assert all(x < y for x, y in zip(gains, gains[1:], strict=False)) and gains[-1] > 1e4 * gains[0], gains


@pytest.mark.parametrize("method", ["jacobian", "direction_jacobian", "joint_rates", "manipulability"])
def test_joint_pair_methods_raise_fk_error_when_the_loop_does_not_close(method):
    with pytest.raises(RuntimeError) as info:
        getattr(LEFT, method)(0.0, math.pi, *([[0.0, 0.0, 1.0]] if method == "joint_rates" else []))
    assert type(info.value) is RuntimeError and str(info.value) == ref.LOOP_OPEN


def test_neck_jacobian_matches_finite_differences_closed_form_and_joint_rates_invert():
    rng = np.random.default_rng(3)
    joints = rng.uniform(-math.pi, math.pi, size=(2000, 3))
    joints[:, 1] = rng.uniform(-1.5, 1.5, size=2000)
    jacobians = rows(lambda *j: NECK.jacobian(j), joints.tolist())
    centre = rows(lambda *j: NECK.fk(j), joints.tolist())
    for k, shift in enumerate(np.eye(3) * STEP):
        fd = omega(
            rows(lambda *j: NECK.fk(j), (joints + shift).tolist()),
            rows(lambda *j: NECK.fk(j), (joints - shift).tolist()),
            centre,
        )
        assert np.abs(jacobians[:, :, k] - fd).max() < 1e-7
    yaw, pitch = joints[:, 0], joints[:, 1]
    closed = np.stack(
        [
            np.broadcast_to([0.0, 0.0, 1.0], (2000, 3)),
            np.stack([-np.sin(yaw), np.cos(yaw), 0 * yaw], -1),
            np.stack([np.cos(yaw) * np.cos(pitch), np.sin(yaw) * np.cos(pitch), -np.sin(pitch)], -1),
        ],
        -1,
    )
    assert np.abs(jacobians - closed).max() == 0.0

    wanted = rng.uniform(-1.0, 1.0, size=(2000, 3))
    back = rows(
        NECK.joint_rates, zip(joints.tolist(), np.einsum("nij,nj->ni", jacobians, wanted).tolist(), strict=True)
    )
    assert (np.abs(back - wanted).max(axis=1) / np.abs(wanted).max(axis=1)).max() <= 1e-9 / math.cos(1.5)


HALF_PI = 1.5707963267948966
EDGE = math.asin(1.0 - 1e-6)  # ≈ 1.5693821: beyond it ik refuses fk's rotation


@pytest.mark.parametrize(
    ("pitch", "refused"),
    [
        (0.0, False),
        (1.5693, False),
        (2.0, False),
        (math.nan, False),
        (1.56939, True),
        (-HALF_PI, True),
        (math.pi - 1.56939, True),
        (EDGE, None),
        (math.nextafter(EDGE, 2.0), None),
    ],
    ids=[
        "zero",
        "below-edge",
        "beyond-half-pi",
        "nan",
        "above-edge",
        "minus-half-pi",
        "mirror-of-edge",
        "edge",
        "edge-next",
    ],
)
def test_neck_joint_rates_refuse_exactly_where_ik_refuses(pitch, refused):
    joints = [0.3, pitch, -0.2]
    try:
        NECK.ik(NECK.fk(joints))
        ik_refuses = False
    except ValueError:
        ik_refuses = True
    assert refused in (None, ik_refuses)  # None: the rounding of sin decides
    if ik_refuses:
        with pytest.raises(ValueError, match="^Gimbal lock: pitch is too close to ±π/2.$"):
            NECK.joint_rates(joints, [0.1, 0.2, 0.3])
    else:
        # A NaN pitch leaves the pitch rate, which does not depend on it, finite.
        finite = not math.isnan(pitch)
        assert [math.isfinite(x) for x in NECK.joint_rates(joints, [0.1, 0.2, 0.3])] == [finite, True, finite]
