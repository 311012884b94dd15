import math

import pytest
from hypothesis import example, given, settings
from hypothesis import strategies as st

import reference_kinematics as ref
from conftest import ARM_NAMES, make_arm, needs_from_json
from tarvelo_torso_kinematics import TarveloArmKinematics

PI = math.pi
NAN = math.nan
INF = math.inf
angles = st.floats(min_value=-4.0, max_value=4.0, allow_nan=False)


def assert_loop_open(arm, theta_a, theta_b):
    for method in (arm.fk, arm.direction, arm.linkage_points):
        with pytest.raises(RuntimeError) as info:
            method(theta_a, theta_b)
        assert type(info.value) is RuntimeError
        assert str(info.value) == ref.LOOP_OPEN
    assert arm.is_reachable_joints(theta_a, theta_b) is False


def assert_matches_reference(arm, reference, theta_a, theta_b):
    """fk, direction, linkage_points and is_reachable_joints give the reference's doubles, or fail with it."""
    want = ref.fk(reference, theta_a, theta_b)
    if want is None:
        assert_loop_open(arm, theta_a, theta_b)
        return
    got = arm.fk(theta_a, theta_b)
    assert ref.same_nested(got, want), (got, want)
    assert ref.same_nested(arm.direction(theta_a, theta_b), ref.direction(reference, theta_a, theta_b))
    assert ref.same_nested(arm.linkage_points(theta_a, theta_b), list(ref.pose(reference, theta_a, theta_b)[1:]))
    assert arm.is_reachable_joints(theta_a, theta_b) is True


# Values to six decimals for the default geometry.
@pytest.mark.parametrize(
    ("name", "joints", "rows"),
    [
        (
            "left",
            (0.0, 0.0),
            [[0.334817, 0.707107, 0.622814], [-0.880792, 0.0, 0.473503], [0.334817, -0.707107, 0.622814]],
        ),
    ],
    ids=["left-rest"],
)
def test_fk_known_rotation(name, joints, rows):
    arm, _ = make_arm(name)
    assert arm.fk(*joints) == [pytest.approx(row, abs=5e-7) for row in rows]


@pytest.mark.parametrize(
    ("name", "joints", "v3"),
    [
        ("left", (0.0, 0.0), [0.622814, 0.473503, 0.622814]),
        ("left", (0.5, 0.5), [0.891191, 0.149494, 0.428287]),
        ("right", (0.0, 0.0), [-0.622814, -0.473503, 0.622814]),
        pytest.param("left-negative", (0.0, 0.0), [0.622814, -0.473503, 0.622814], marks=needs_from_json),
    ],
    ids=["left-rest", "left-half", "right-rest", "negative-rest"],
)
def test_direction_known(name, joints, v3):
    arm, _ = make_arm(name)
    assert arm.direction(*joints) == pytest.approx(v3, abs=5e-7)


def test_fk_known_first_row(left):
    assert left.fk(0.5, 0.5)[0] == pytest.approx([-0.345663, 0.29376, 0.891191], abs=5e-7)


def test_reference_tips_at_rest():
    v_2, v_4 = ref.tips(ref.LEFT, 0.0, 0.0)
    assert v_2 == pytest.approx((0.644218, 0.0, 0.764842), abs=5e-7)
    assert v_4 == pytest.approx((0.764842, 0.0, 0.644218), abs=5e-7)


@pytest.mark.parametrize(
    "joints",
    [
        (0.0, PI),
        (1.0, 1.0),
        (-1.0, -1.0),
        (1.5, 0.0),
        (-1.5, 0.0),
        (1.48, 0.0),
        (0.0, 1.48),
    ],
    ids=["b-pi", "both-1", "both-minus-1", "a-1.5", "a-minus-1.5", "a-1.48", "b-1.48"],
)
def test_loop_does_not_close(left, joints):
    assert_loop_open(left, *joints)


@pytest.mark.parametrize(
    "joints", [(1.47, 0.0), (0.0, 1.47), (-1.47, 0.0), (0.0, -1.47)], ids=["a", "b", "minus-a", "minus-b"]
)
def test_loop_closes_just_inside(left, joints):
    assert left.is_reachable_joints(*joints) is True
    assert len(left.fk(*joints)) == 3


def last_closing_angle(reference, along_a, sign):
    """Largest |θ| (one joint moving, the other at 0) for which the reference loop closes."""
    lo, hi = 1.0, 2.0
    while math.nextafter(lo, hi) < hi:
        mid = lo + (hi - lo) / 2
        joints = (sign * mid, 0.0) if along_a else (0.0, sign * mid)
        if ref.fk(reference, *joints) is None:
            hi = mid
        else:
            lo = mid
    return lo, hi


@pytest.mark.parametrize(
    ("along_a", "sign"), [(True, 1.0), (True, -1.0), (False, 1.0), (False, -1.0)], ids=["a", "minus-a", "b", "minus-b"]
)
def test_loop_closing_limit_is_the_same_double(arms, along_a, sign):
    arm, reference = arms
    inside, outside = last_closing_angle(reference, along_a, sign)
    assert inside == pytest.approx(1.474086, abs=5e-7)
    assert math.nextafter(inside, 2.0) == outside
    for theta, closes in ((inside, True), (outside, False)):
        joints = (sign * theta, 0.0) if along_a else (0.0, sign * theta)
        assert arm.is_reachable_joints(*joints) is closes
        assert_matches_reference(arm, reference, *joints)


# Edge inputs: signed zeros skip sin/cos, NaN and infinities pass through, large angles wrap.
EDGE_JOINTS = [
    ((0.0, 0.0), "zero"),
    ((-0.0, 0.0), "minus-zero-a"),
    ((0.0, -0.0), "minus-zero-b"),
    ((5e-324, 0.0), "subnormal-a"),
    ((0.0, -5e-324), "subnormal-b"),
    ((PI, 0.0), "pi-a"),
    ((-PI, 0.0), "minus-pi-a"),
    ((0.5 + 2 * PI, 0.5), "wrapped"),
    ((-7.0, 3.0), "outside-pi"),
    ((1e300, 0.0), "huge-a"),
    ((NAN, 0.0), "nan-a"),
    ((0.0, NAN), "nan-b"),
    ((INF, 0.0), "inf-a"),
    ((0.0, -INF), "minus-inf-b"),
    ((NAN, INF), "nan-inf"),
]


@pytest.mark.parametrize("joints", [j for j, _ in EDGE_JOINTS], ids=[i for _, i in EDGE_JOINTS])
def test_edge_inputs_match_reference(arms, joints):
    assert_matches_reference(*arms, *joints)


@pytest.mark.parametrize(
    "joints", [(NAN, 0.0), (0.0, NAN), (INF, 0.0), (0.0, -INF)], ids=["nan-a", "nan-b", "inf-a", "minus-inf-b"]
)
def test_non_finite_angle_gives_nan_rotation(left, joints):
    assert left.is_reachable_joints(*joints) is True
    rows = left.fk(*joints)
    assert [math.isnan(x) for row in rows for x in row] == [True] * 9
    assert [math.isnan(x) for x in left.direction(*joints)] == [True] * 3


@pytest.mark.parametrize("name", ARM_NAMES)
@settings(derandomize=True, max_examples=300, deadline=None)
@given(theta_a=angles, theta_b=angles)
@example(theta_a=0.0, theta_b=0.0)
@example(theta_a=PI, theta_b=-PI)
@example(theta_a=math.nextafter(PI, 0.0), theta_b=math.nextafter(-PI, 0.0))
def test_random_joints_match_reference(name, theta_a, theta_b):
    assert_matches_reference(*make_arm(name), theta_a, theta_b)


@pytest.mark.parametrize(
    "joints",
    [(0.0, 0.0), (0.5, 0.5), (0.3, -0.2), (-0.4, 0.9), (1.47, 0.0)],
    ids=["rest", "half", "mixed", "far-b", "near-limit"],
)
def test_rotation_is_proper_and_ends_in_direction(arms, joints):
    arm, _ = arms
    rows = arm.fk(*joints)
    assert [row[2] for row in rows] == arm.direction(*joints)
    columns = [[rows[r][c] for r in range(3)] for c in range(3)]
    for i in range(3):
        for j in range(3):
            assert ref.dot(columns[i], columns[j]) == pytest.approx(float(i == j), abs=1e-12)
    determinant = ref.dot(ref.cross(columns[0], columns[1]), columns[2])
    assert determinant == pytest.approx(1.0, abs=1e-12)


def test_angles_outside_pi_wrap(left):
    for row, wrapped in zip(left.fk(0.5, 0.5), left.fk(0.5 + 2 * PI, 0.5 - 4 * PI), strict=True):
        assert wrapped == pytest.approx(row, abs=1e-12)


# Tips meeting at rest: sin α cos α + cos α sin α rounds above 1 for this α, so only the
# clamp of c1·c2 keeps the loop closure from taking sqrt of a negative number.
COINCIDENT_TIPS_ARC = 0.7853981633971158


@pytest.mark.parametrize("coupler_arc", [0.5, 0.0, PI / 2], ids=["default", "zero", "right-angle"])
def test_coincident_tips_do_not_close(coupler_arc):
    reference = ref.Arm(arm_arc=COINCIDENT_TIPS_ARC, coupler_arc=coupler_arc)
    v_2, v_4 = ref.tips(reference, 0.0, 0.0)
    assert ref.dot(v_2, v_4) > 1.0
    arm = TarveloArmKinematics(COINCIDENT_TIPS_ARC, coupler_arc)
    assert_loop_open(arm, 0.0, 0.0)
    assert_matches_reference(arm, reference, 0.0, 0.0)
