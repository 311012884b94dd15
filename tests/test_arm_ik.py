import math

import pytest
from hypothesis import assume, example, given, settings
from hypothesis import strategies as st

import reference_kinematics as ref
from conftest import ARM_NAMES, make_arm

PI = math.pi
NAN = math.nan
INF = math.inf
# Distance from the workspace boundary (radians of arc) that keeps every circle crossing clean.
MARGIN = 0.03


def assert_unreachable(arm, rows):
    with pytest.raises(RuntimeError) as info:
        arm.ik(rows)
    assert type(info.value) is RuntimeError
    assert str(info.value) == ref.UNREACHABLE
    assert arm.is_reachable_orientation(rows) is False


def assert_ik_matches_reference(arm, reference, rows):
    want = ref.ik(reference, rows)
    if want is None:
        assert_unreachable(arm, rows)
        return
    got = arm.ik(rows)
    assert type(got) is tuple
    assert ref.same_nested(got, want), (got, want)
    assert arm.is_reachable_orientation(rows) is True


def arc(p, q):
    return math.acos(max(-1.0, min(1.0, ref.dot(p, q))))


def clear_of_boundary(reference, theta_a, theta_b):
    """True when neither the loop closure nor either arm's circle crossing is near tangency."""
    closed = ref.pose(reference, theta_a, theta_b)
    if closed is None:
        return False
    _, v_2, v_3, v_4 = closed
    alpha, beta = reference.arm_arc, reference.coupler_arc
    if not MARGIN < arc(v_2, v_4) < 2 * beta - MARGIN:
        return False
    axes = ((0.0, 0.0, 1.0), (reference.s, 0.0, 0.0))
    return all(abs(alpha - beta) + MARGIN < arc(axis, v_3) < alpha + beta - MARGIN for axis in axes)


def rotate_about_own_z(rows, angle):
    c, s = math.cos(angle), math.sin(angle)
    return [[r[0] * c + r[1] * s, -r[0] * s + r[1] * c, r[2]] for r in rows]


@pytest.mark.parametrize(
    ("joints", "expected"),
    [
        ((0.5, 0.5), (0.5, 0.5)),
        ((0.3, -0.2), (0.3, -0.2)),
        ((0.5 + 2 * PI, 0.5), (0.5, 0.5)),
        ((0.5, 0.5 - 2 * PI), (0.5, 0.5)),
    ],
    ids=["half", "mixed", "wrapped-a", "wrapped-b"],
)
def test_known_round_trips(left, joints, expected):
    assert left.ik(left.fk(*joints)) == pytest.approx(expected, abs=1e-12)


@pytest.mark.parametrize(
    "joints", [(0.5, 0.5), (0.3, -0.2), (-0.4, 0.6), (-0.2, 0.3)], ids=["half", "mixed", "negative-a", "small"]
)
def test_round_trip_every_arm(arms, joints):
    arm, reference = arms
    assert clear_of_boundary(reference, *joints)
    rows = arm.fk(*joints)
    assert arm.ik(rows) == pytest.approx(joints, abs=1e-12)
    assert_ik_matches_reference(arm, reference, rows)


@pytest.mark.parametrize("name", ARM_NAMES)
@settings(derandomize=True, max_examples=200, deadline=None)
@given(theta_a=st.floats(-2 * PI, 2 * PI), theta_b=st.floats(-2 * PI, 2 * PI))
@example(theta_a=0.0, theta_b=0.0)
@example(theta_a=PI - 0.3, theta_b=0.0)
@example(theta_a=-PI + 0.3, theta_b=0.0)
def test_round_trip_property(name, theta_a, theta_b):
    arm, reference = make_arm(name)
    assume(clear_of_boundary(reference, theta_a, theta_b))
    rows = arm.fk(theta_a, theta_b)
    want = (math.remainder(theta_a, 2 * PI), math.remainder(theta_b, 2 * PI))
    assert arm.ik(rows) == pytest.approx(want, abs=1e-9)
    assert_ik_matches_reference(arm, reference, rows)


def turned_half(left):
    return rotate_about_own_z(left.fk(0.5, 0.5), 0.1)


UNREACHABLE_TARGETS = [
    ("identity", lambda left: [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]]),
    ("along-u-b", lambda left: [[0.0, 0.0, 1.0], [0.0, 1.0, 0.0], [-1.0, 0.0, 0.0]]),
    ("twisted", turned_half),
    ("scaled", lambda left: [[2.0 * x for x in row] for row in left.fk(0.5, 0.5)]),
    ("zero", lambda left: [[0.0] * 3] * 3),
    ("outside-workspace", lambda left: [[1.0, 0.0, 0.0], [0.0, 0.0, -1.0], [0.0, 1.0, 0.0]]),
    ("one-nan", lambda left: [[NAN] + row[1:] if i == 0 else row for i, row in enumerate(left.fk(0.5, 0.5))]),
    ("nan-direction", lambda left: [row[:2] + [NAN] for row in left.fk(0.5, 0.5)]),
    ("one-inf", lambda left: [row[:1] + [INF] + row[2:] if i == 1 else row for i, row in enumerate(left.fk(0.5, 0.5))]),
    ("inf-direction", lambda left: [[1.0, 0.0, INF], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]]),
]


@pytest.mark.parametrize("build", [b for _, b in UNREACHABLE_TARGETS], ids=[i for i, _ in UNREACHABLE_TARGETS])
def test_unreachable_orientation(left, build):
    rows = build(left)
    assert_unreachable(left, rows)
    assert ref.ik(ref.LEFT, rows) is None


def test_twisted_target_keeps_reachable_direction(left):
    assert left.is_reachable_direction([row[2] for row in turned_half(left)]) is True


def test_right_arm_refuses_its_own_b_axis():
    arm, _ = make_arm("right")
    assert_unreachable(arm, [[0.0, 0.0, -1.0], [0.0, 1.0, 0.0], [1.0, 0.0, 0.0]])


def test_reference_candidate_order():
    d = ref.direction(ref.LEFT, 0.5, 0.5)
    listed = ref.candidates(ref.LEFT, d)
    assert [x for a, b, _, _ in listed for x in (a, b)] == pytest.approx(
        [0.5, 0.5, 0.5, -1.171659, -0.167602, 0.5, -0.167602, -1.171659], abs=5e-7
    )
    target = ref.fk(ref.LEFT, 0.5, 0.5)
    assert [ref.frobenius(rows, target) < 1e-6 for _, _, rows, _ in listed] == [True, False, False, False]
    assert [ref.length([v[i] - d[i] for i in range(3)]) < 1e-6 for _, _, _, v in listed] == [True, False, True, False]


def frobenius_limit(arm_ref, joints, row, col):
    """Entry values of a target just inside and just outside the 1e-6 bound, by bisection."""
    rows = ref.fk(arm_ref, *joints)
    base = rows[row][col]

    def reached(value):
        target = [list(r) for r in rows]
        target[row][col] = value
        return ref.ik(arm_ref, target) is not None

    inside, outside = base, base + 2e-6
    assert reached(inside) and not reached(outside)
    while math.nextafter(inside, outside) != outside:
        mid = inside + (outside - inside) / 2
        inside, outside = (mid, outside) if reached(mid) else (inside, mid)
    return rows, inside, outside


@pytest.mark.parametrize(
    ("joints", "row", "col"),
    [
        ((0.5, 0.5), 0, 0),
        ((0.3, -0.2), 1, 1),
        ((-0.4, 0.6), 2, 0),
    ],
    ids=["half-x", "mixed-y", "negative-z"],
)
def test_frobenius_bound_matches_reference(left, joints, row, col):
    rows, inside, outside = frobenius_limit(ref.LEFT, joints, row, col)
    assert outside - rows[row][col] == pytest.approx(1e-6, rel=1e-6)
    for value in (inside, outside):
        target = [list(r) for r in rows]
        target[row][col] = value
        assert_ik_matches_reference(left, ref.LEFT, target)
    target[row][col] = inside
    assert left.is_reachable_orientation(target) is True


@pytest.mark.parametrize("name", ARM_NAMES)
@settings(derandomize=True, max_examples=200, deadline=None)
@given(theta_a=st.floats(-PI, PI), theta_b=st.floats(-PI, PI), noise=st.floats(-2e-6, 2e-6), entry=st.integers(0, 8))
@example(theta_a=0.0, theta_b=0.0, noise=0.0, entry=0)
@example(theta_a=0.5, theta_b=0.5, noise=1e-6, entry=4)
def test_perturbed_targets_match_reference(name, theta_a, theta_b, noise, entry):
    arm, reference = make_arm(name)
    rows = ref.fk(reference, theta_a, theta_b)
    assume(rows is not None)
    rows[entry // 3][entry % 3] += noise
    assert_ik_matches_reference(arm, reference, rows)
