"""Rates: the arm's frame and direction Jacobians, joint rates, manipulability; the neck's Jacobian
and joint rates. Checked against central finite differences of fk and direction."""

import math

import numpy as np
import pytest

import reference_kinematics as ref
from tarvelo_torso_kinematics import TarveloArmKinematics, TarveloNeckKinematics

LOOP_OPEN = ref.LOOP_OPEN
SINGULAR = "Singular configuration: joint rates are not determined for the pointing direction here."
GIMBAL_LOCK = "Gimbal lock: pitch is too close to ±π/2."
NECK = TarveloNeckKinematics()
LEFT = TarveloArmKinematics.default_left()

GEOMETRIES = [
    pytest.param(lambda: TarveloArmKinematics.default_left(), id="left"),
    pytest.param(lambda: TarveloArmKinematics.default_right(), id="right"),
    pytest.param(lambda: TarveloArmKinematics.from_json('[0.7, 0.5, "negative"]'), id="left-negative"),
    pytest.param(lambda: TarveloArmKinematics.from_json('[0.9, 0.6, "negative", true]'), id="wide-negative-mirrored"),
    pytest.param(lambda: TarveloArmKinematics(0.5, 0.7), id="long-coupler"),
]
PER_GEOMETRY = 2000  # five geometries: 10,000 configurations
STEP = 1e-7  # truncation error ~ step², rounding error ~ 1e-16 / step
# Near the closing limit the Jacobian's derivatives grow without bound and a central difference
# of fixed step loses its accuracy (its error grows as (step / distance to the limit)²); the
# comparison keeps to configurations whose manipulability stays below this.
MAX_GAIN = 20.0


def rows(call, pairs):
    return np.array([call(a, b) for a, b in pairs])


def reachable_sample(arm, count, seed):
    """Random joint pairs in [-π, π]² whose loop closes at every point of the difference stencil."""
    rng = np.random.default_rng(seed)
    shifts = [(0.0, 0.0), (STEP, 0.0), (-STEP, 0.0), (0.0, STEP), (0.0, -STEP)]
    pairs = []
    while len(pairs) < count:
        for a, b in rng.uniform(-math.pi, math.pi, size=(4 * count, 2)).tolist():
            if all(arm.is_reachable_joints(a + da, b + db) for da, db in shifts) and arm.manipulability(a, b) < MAX_GAIN:
                pairs.append((a, b))
    return pairs[:count]


def omega_from_rotations(plus, minus, centre):
    """ω from the central difference of rotations: the axial vector of Ṙ Rᵀ."""
    w = np.einsum("nij,nkj->nik", (plus - minus) / (2 * STEP), centre)
    return 0.5 * np.stack([w[:, 2, 1] - w[:, 1, 2], w[:, 0, 2] - w[:, 2, 0], w[:, 1, 0] - w[:, 0, 1]], axis=-1)


def finite_differences(arm, pairs):
    """(frame Jacobians, direction Jacobians) by central differences, shape (n, 3, 2) each."""
    frame, direction = [], []
    centre = rows(arm.fk, pairs)
    for da, db in ((STEP, 0.0), (0.0, STEP)):
        plus = [(a + da, b + db) for a, b in pairs]
        minus = [(a - da, b - db) for a, b in pairs]
        frame.append(omega_from_rotations(rows(arm.fk, plus), rows(arm.fk, minus), centre))
        direction.append((rows(arm.direction, plus) - rows(arm.direction, minus)) / (2 * STEP))
    return np.stack(frame, axis=-1), np.stack(direction, axis=-1)


def relative_gap(got, want):
    return np.abs(got - want).max(axis=(1, 2)) / np.abs(want).max(axis=(1, 2))


@pytest.mark.parametrize("make_arm", GEOMETRIES)
def test_jacobians_match_finite_differences_and_joint_rates_invert(make_arm):
    arm = make_arm()
    pairs = reachable_sample(arm, PER_GEOMETRY, seed=len(repr(arm.arm_arc())) + int(arm.mirror()))
    frame, direction = rows(arm.jacobian, pairs), rows(arm.direction_jacobian, pairs)
    assert frame.shape == direction.shape == (PER_GEOMETRY, 3, 2)
    fd_frame, fd_direction = finite_differences(arm, pairs)
    assert relative_gap(frame, fd_frame).max() <= 1e-6
    assert relative_gap(direction, fd_direction).max() <= 1e-6

    v_3 = rows(arm.direction, pairs)
    # Manipulability is the area spanned by the two columns of the direction Jacobian.
    area = np.linalg.norm(np.cross(direction[:, :, 0], direction[:, :, 1]), axis=1)
    gain = np.array([arm.manipulability(a, b) for a, b in pairs])
    assert np.abs(gain - area).max() <= 1e-12 * max(1.0, area.max())

    rng = np.random.default_rng(7)
    wanted = rng.uniform(-1.0, 1.0, size=(PER_GEOMETRY, 2))
    direction_rates = np.einsum("nij,nj->ni", direction, wanted)
    # A part along v_3 is ignored.
    direction_rates += rng.uniform(-1.0, 1.0, size=(PER_GEOMETRY, 1)) * v_3
    back, refused = [], 0
    for (a, b), rate, want in zip(pairs, direction_rates.tolist(), wanted):
        try:
            back.append(np.abs(np.array(arm.joint_rates(a, b, rate)) - want).max() / np.abs(want).max())
        except ValueError as error:
            assert str(error) == SINGULAR
            refused += 1
    assert refused < PER_GEOMETRY // 100
    assert max(back) <= 1e-9


def coupler_t_a(arm_ref, theta_a, theta_b, v_3):
    """t_A = (u_A × v_2)·v_3 from the tips' definition."""
    v_2, _ = ref.tips(arm_ref, theta_a, theta_b)
    return ref.dot(ref.cross((0.0, 0.0, 1.0), v_2), v_3)


def theta_a_where_t_a_is(value, low=0.3, high=0.6):
    """θ_A (with θ_B = 0 on the default left arm) where t_A = value, by bisection; t_A falls
    through zero near 0.43."""
    def t_a(theta_a):
        return coupler_t_a(ref.LEFT, theta_a, 0.0, LEFT.direction(theta_a, 0.0))

    assert t_a(low) > value > t_a(high)
    for _ in range(200):
        middle = 0.5 * (low + high)
        low, high = (middle, high) if t_a(middle) > value else (low, middle)
    return low


@pytest.mark.parametrize(("t_a", "refused"), [
    (0.0, True),
    (5e-7, True),
    (-5e-7, True),
    (2e-6, False),
    (-2e-6, False),
    (1e-3, False),
], ids=["zero", "just-below", "just-below-negative", "just-above", "just-above-negative", "ordinary"])
def test_joint_rates_refuse_where_a_tip_its_axis_and_v3_are_coplanar(t_a, refused):
    theta_a = theta_a_where_t_a_is(t_a)
    if refused:
        with pytest.raises(ValueError) as info:
            LEFT.joint_rates(theta_a, 0.0, [0.0, 0.0, 1.0])
        assert type(info.value) is ValueError and str(info.value) == SINGULAR
    else:
        rates = LEFT.joint_rates(theta_a, 0.0, [0.0, 0.0, 1.0])
        assert all(math.isfinite(x) for x in rates)


def test_manipulability_vanishes_towards_t_a_zero():
    root = theta_a_where_t_a_is(0.0)
    gains = [LEFT.manipulability(root - gap, 0.0) for gap in (1e-1, 1e-2, 1e-3, 1e-4, 1e-6)]
    assert all(x > y for x, y in zip(gains, gains[1:])), gains
    assert gains[-1] < 1e-5 * gains[0]
    assert LEFT.manipulability(root, 0.0) < 1e-12


def closing_limit():
    """Largest θ_A (θ_B = 0, default left arm) at which the loop closes, by bisection."""
    low, high = 1.4, 1.5
    while high - low > 0.0 and math.nextafter(low, high) != high:
        middle = 0.5 * (low + high)
        low, high = (middle, high) if LEFT.is_reachable_joints(middle, 0.0) else (low, middle)
    return low


def test_manipulability_grows_without_bound_towards_the_closing_limit():
    limit = closing_limit()
    assert abs(limit - 1.474086) < 1e-6
    gains = [LEFT.manipulability(limit - 10.0**-k, 0.0) for k in range(2, 13, 2)]
    assert all(x < y for x, y in zip(gains, gains[1:])), gains
    assert gains[-1] > 1e4 * gains[0]
    with pytest.raises(ValueError, match="^Singular configuration"):
        LEFT.joint_rates(limit, 0.0, [0.0, 1.0, 0.0])


@pytest.mark.parametrize("call", [
    lambda: LEFT.jacobian(0.0, math.pi),
    lambda: LEFT.direction_jacobian(1.0, 1.0),
    lambda: LEFT.joint_rates(1.5, 0.0, [0.0, 0.0, 1.0]),
    lambda: LEFT.manipulability(-1.0, -1.0),
], ids=["jacobian", "direction_jacobian", "joint_rates", "manipulability"])
def test_joint_pair_methods_raise_fk_error_when_the_loop_does_not_close(call):
    with pytest.raises(RuntimeError) as info:
        call()
    assert type(info.value) is RuntimeError and str(info.value) == LOOP_OPEN


@pytest.mark.parametrize("call", [
    lambda: LEFT.jacobian(math.nan, 0.0),
    lambda: LEFT.direction_jacobian(0.0, math.inf),
    lambda: LEFT.joint_rates(math.nan, 0.0, [0.0, 0.0, 1.0]),
    lambda: [LEFT.manipulability(math.nan, 0.0)],
    lambda: LEFT.joint_rates(0.1, 0.2, [math.nan, 0.0, 0.0]),
], ids=["jacobian", "direction_jacobian", "joint_rates", "manipulability", "nan-rate"])
def test_nan_passes_through_as_nan(call):
    assert all(math.isnan(x) for x in np.ravel(call()))


# ---- the neck ----


def neck_closed_form(yaw, pitch):
    cy, sy, cp, sp = math.cos(yaw), math.sin(yaw), math.cos(pitch), math.sin(pitch)
    return np.array([[0.0, -sy, cy * cp], [0.0, cy, sy * cp], [1.0, 0.0, -sp]])


def test_neck_jacobian_matches_finite_differences_closed_form_and_joint_rates_invert():
    rng = np.random.default_rng(3)
    joints = rng.uniform(-math.pi, math.pi, size=(2000, 3))
    joints[:, 1] = rng.uniform(-1.5, 1.5, size=2000)
    jacobians = np.array([NECK.jacobian(j) for j in joints.tolist()])
    fd = []
    for k in range(3):
        shift = np.zeros(3)
        shift[k] = STEP
        plus = np.array([NECK.fk(j) for j in (joints + shift).tolist()])
        minus = np.array([NECK.fk(j) for j in (joints - shift).tolist()])
        fd.append(omega_from_rotations(plus, minus, np.array([NECK.fk(j) for j in joints.tolist()])))
    assert np.abs(jacobians - np.stack(fd, axis=-1)).max() < 1e-7
    closed = np.array([neck_closed_form(y, p) for y, p, _ in joints.tolist()])
    assert np.abs(jacobians - closed).max() == 0.0
    assert np.abs(np.linalg.det(jacobians) + np.cos(joints[:, 1])).max() < 1e-14

    wanted = rng.uniform(-1.0, 1.0, size=(2000, 3))
    omegas = np.einsum("nij,nj->ni", jacobians, wanted)
    back = np.array([NECK.joint_rates(j, w) for j, w in zip(joints.tolist(), omegas.tolist())])
    assert (np.abs(back - wanted).max(axis=1) / np.abs(wanted).max(axis=1)).max() <= 1e-9 / np.cos(1.5)


HALF_PI = 1.5707963267948966
# asin(1 - 1e-6) ≈ 1.5693821: beyond it ik refuses fk's rotation. None: at the margin, where
# the rounding of sin decides; only the agreement with ik is checked.
PITCHES = [
    (0.0, False), (1.5693, False), (2.0, False), (math.pi - 1.5693, False), (math.nan, False),
    (1.56939, True), (HALF_PI, True), (-HALF_PI, True), (math.pi - 1.56939, True), (-1.5694, True),
    (math.asin(1.0 - 1e-6), None), (math.nextafter(math.asin(1.0 - 1e-6), 2.0), None),
]


@pytest.mark.parametrize(("pitch", "refused"), PITCHES, ids=[repr(p) for p, _ in PITCHES])
def test_neck_joint_rates_refuse_exactly_where_ik_refuses(pitch, refused):
    joints = [0.3, pitch, -0.2]
    try:
        NECK.ik(NECK.fk(joints))
        ik_refuses = False
    except ValueError:
        ik_refuses = True
    assert refused in (None, ik_refuses)
    if ik_refuses:
        with pytest.raises(ValueError) as info:
            NECK.joint_rates(joints, [0.1, 0.2, 0.3])
        assert type(info.value) is ValueError and str(info.value) == GIMBAL_LOCK
    else:
        rates = NECK.joint_rates(joints, [0.1, 0.2, 0.3])
        # A NaN pitch leaves the pitch rate, which does not depend on it, finite.
        finite = [not math.isnan(pitch), True, not math.isnan(pitch)]
        assert [math.isfinite(x) for x in rates] == finite
