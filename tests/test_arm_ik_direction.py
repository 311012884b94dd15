import math

import pytest
from hypothesis import example, given, settings
from hypothesis import strategies as st

import reference_kinematics as ref
from conftest import ARM_NAMES, make_arm

PI = math.pi
NAN = math.nan
INF = math.inf
# direction(0.5, 0.5) of the default left arm: reached by (0.5, 0.5) and by (-0.167602…, 0.5).
HALF = ref.direction(ref.LEFT, 0.5, 0.5)
OTHER_A = -0.167602


def assert_unreachable(arm, v3, near=None):
    with pytest.raises(RuntimeError) as info:
        arm.ik_from_direction(v3, near)
    assert type(info.value) is RuntimeError
    assert str(info.value) == ref.UNREACHABLE
    assert arm.is_reachable_direction(v3) is False


def assert_matches_reference(arm, reference, v3, near=None):
    want = ref.ik_from_direction(reference, v3, near)
    if want is None:
        assert_unreachable(arm, v3, near)
        return
    got = arm.ik_from_direction(v3, near)
    assert type(got) is tuple
    assert ref.same_nested(got, want), (got, want)
    assert arm.is_reachable_direction(v3) is True


@pytest.mark.parametrize(
    ("near", "expected"),
    [
        (None, (OTHER_A, 0.5)),
        ((0.5, 0.5), (0.5, 0.5)),
        ((2 * PI + OTHER_A, 0.5), (0.5, 0.5)),
        ((NAN, 0.0), (0.5, 0.5)),
        ((0.0, NAN), (0.5, 0.5)),
        ((INF, 0.0), (0.5, 0.5)),
        ((-INF, 0.0), (0.5, 0.5)),
        ((-0.1, 0.5), (OTHER_A, 0.5)),
        ((-7.0, 3.0), (OTHER_A, 0.5)),
    ],
    ids=["smallest-norm", "near-self", "no-wrapping", "nan-a", "nan-b", "inf", "minus-inf", "near-other", "outside-pi"],
)
def test_choice_among_survivors(left, near, expected):
    assert left.ik_from_direction(HALF, near) == pytest.approx(expected, abs=5e-7)
    assert_matches_reference(left, ref.LEFT, HALF, near)


@pytest.mark.parametrize("scale", [1e-9, 5.0, 1e-12, 1e12], ids=["tiny", "five", "at-min-length", "huge"])
def test_length_does_not_matter(left, scale):
    v3 = [scale * x for x in HALF]
    assert left.ik_from_direction(v3) == pytest.approx(left.ik_from_direction(HALF), abs=1e-12)
    assert left.is_reachable_direction(v3) is True


def test_length_bound_is_strict(left):
    at_bound = ref.scaled(1e-12, HALF)
    assert ref.length(at_bound) == 1e-12
    assert_matches_reference(left, ref.LEFT, at_bound)
    scale = 1e-12
    while ref.length(ref.scaled(scale, HALF)) == 1e-12:
        scale = math.nextafter(scale, 0.0)
    below = ref.scaled(scale, HALF)
    assert ref.length(below) == math.nextafter(1e-12, 0.0)
    assert_unreachable(left, below)


def answer(arm, v3, near=None):
    """ik_from_direction's pair, or None where it raises; is_reachable_direction must agree."""
    try:
        found = arm.ik_from_direction(v3, near)
    except RuntimeError:
        found = None
    assert arm.is_reachable_direction(v3) is (found is not None)
    return found


@pytest.mark.parametrize(
    "v3",
    [HALF, [1.0, 1.0, 1.0], [0.6, 2.0**-600, 0.8], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]],
    ids=["half", "diagonal", "tiny-y", "outside-workspace", "axis-a"],
)
@pytest.mark.parametrize("exponent", [-39, -1, 1, 511, 512, 530, 1000, 1023])
def test_power_of_two_scaling_gives_the_same_answer(arms, v3, exponent):
    """From 2^512 up the plain squared length of these directions overflows; 2^-39 keeps them
    at least 1e-12 long, 2^1023 keeps them finite."""
    arm, reference = arms
    scaled = [math.ldexp(x, exponent) for x in v3]
    for near in (None, (0.5, 0.5)):
        want = ref.ik_from_direction(reference, v3, near)
        assert ref.same_nested(ref.ik_from_direction(reference, scaled, near), want)
        assert ref.same_nested(answer(arm, scaled, near), want)
        assert ref.same_nested(answer(arm, v3, near), want)


UNREACHABLE_DIRECTIONS = [
    ([0.0, 0.0, 0.0], "zero"),
    ([-0.0, 0.0, -0.0], "minus-zero"),
    ([1e-13 * x for x in HALF], "shorter-than-min"),
    ([0.0, 0.0, 1.0], "axis-a"),
    ([0.0, 0.0, -3.0], "minus-axis-a"),
    ([0.0, 1.0, 0.0], "outside-workspace"),
    ([NAN, 0.2, 0.3], "nan"),
    ([NAN, NAN, NAN], "all-nan"),
    ([INF, 0.2, 0.3], "inf"),
    ([-INF, INF, 0.0], "infs"),
    ([0.0, 0.0, 1e300], "overflowing-axis-a"),
]


@pytest.mark.parametrize("v3", [v for v, _ in UNREACHABLE_DIRECTIONS], ids=[i for _, i in UNREACHABLE_DIRECTIONS])
@pytest.mark.parametrize("near", [None, (0.5, 0.5)], ids=["no-near", "near"])
def test_unreachable_direction(arms, v3, near):
    arm, reference = arms
    assert ref.ik_from_direction(reference, v3, near) is None
    assert_unreachable(arm, v3, near)


@pytest.mark.parametrize(
    ("name", "axis_b"), [("left", [1.0, 0.0, 0.0]), ("right", [-1.0, 0.0, 0.0])], ids=["left", "right"]
)
def test_own_b_axis_is_unreachable(name, axis_b):
    assert_unreachable(make_arm(name)[0], axis_b)


def tie_breaking_nears():
    """near values making the two survivors of HALF cost exactly equal, and one strictly less."""
    (a1, b1), (a2, b2) = ref.survivors(ref.LEFT, HALF)
    near_b = 1.5  # a large common term makes the rounded costs tie over a range of near_a

    def costs(near_a):
        return [(a - near_a) * (a - near_a) + (b - near_b) * (b - near_b) for a, b in ((a1, b1), (a2, b2))]

    near_a = a2 + (a1 - a2) / 2
    while costs(near_a)[0] > costs(near_a)[1]:
        near_a = math.nextafter(near_a, a1)
    while costs(near_a)[0] < costs(near_a)[1]:
        near_a = math.nextafter(near_a, a2)
    tie = near_a
    while costs(near_a)[0] == costs(near_a)[1]:
        near_a = math.nextafter(near_a, a2)
    return (a1, b1), (a2, b2), (tie, near_b), (near_a, near_b)


def test_equal_costs_keep_the_earlier_survivor(left):
    first, second, tie, second_cheaper = tie_breaking_nears()
    assert first[0] == pytest.approx(0.5) and second[0] == pytest.approx(OTHER_A, abs=5e-7)
    assert left.ik_from_direction(HALF, tie) == first
    assert left.ik_from_direction(HALF, second_cheaper) == second


def first_candidate(v3):
    """The left arm's first candidate for v3 as the routine normalises it, and that direction."""
    d = ref.divided(v3, ref.length(v3))
    return ref.candidates(ref.LEFT, d)[0] + (d,)


def survivor_bound_crossing():
    """Directions just inside and outside the 1e-6 bound for the first candidate's v_3.

    direction(θ, 0) of the negative branch near the loop-closing limit; on the positive arm the
    first candidate then closes on the nearby other meeting point.
    """

    def first_survives(theta):
        v3 = ref.direction(ref.LEFT_NEGATIVE, theta, 0.0)
        first = first_candidate(v3)
        return (first[0], first[1]) in ref.survivors(ref.LEFT, v3)

    lo, hi = 1.0, 2.0
    while math.nextafter(lo, hi) < hi:
        mid = lo + (hi - lo) / 2
        lo, hi = (mid, hi) if ref.fk(ref.LEFT_NEGATIVE, mid, 0.0) is not None else (lo, mid)
    outside, inside = lo - 1e-11, lo - 1e-13
    assert not first_survives(outside) and first_survives(inside)
    while math.nextafter(outside, inside) != inside:
        mid = outside + (inside - outside) / 2
        outside, inside = (mid, inside) if not first_survives(mid) else (outside, mid)
    return [ref.direction(ref.LEFT_NEGATIVE, theta, 0.0) for theta in (inside, outside)]


@pytest.mark.parametrize("side", [0, 1], ids=["inside", "outside"])
def test_survivor_bound_matches_reference(left, side):
    v3 = survivor_bound_crossing()[side]
    theta_a, theta_b, _, v_3, d = first_candidate(v3)
    gap = ref.length([v_3[i] - d[i] for i in range(3)])
    assert gap == pytest.approx(1e-6, rel=1e-3)
    assert (gap < 1e-6) is (side == 0)
    near = (theta_a, theta_b)
    assert_matches_reference(left, ref.LEFT, v3, near)
    assert (left.ik_from_direction(v3, near) == near) is (side == 0)


@pytest.mark.parametrize("name", ARM_NAMES)
@settings(derandomize=True, max_examples=300, deadline=None)
@given(
    theta_a=st.floats(-PI, PI),
    theta_b=st.floats(-PI, PI),
    near=st.none() | st.tuples(st.floats(-10.0, 10.0), st.floats(-10.0, 10.0)),
)
@example(theta_a=0.0, theta_b=0.0, near=None)
@example(theta_a=PI, theta_b=-PI, near=(PI, -PI))
@example(theta_a=math.nextafter(PI, 0.0), theta_b=0.3, near=None)
def test_random_directions_match_reference(name, theta_a, theta_b, near):
    arm, reference = make_arm(name)
    v3 = ref.direction(reference, theta_a, theta_b)
    if v3 is None:
        v3 = [math.cos(theta_a), math.sin(theta_a) * math.cos(theta_b), math.sin(theta_b)]
    assert_matches_reference(arm, reference, v3, near)
    found = ref.ik_from_direction(reference, v3, near)
    if found is not None:
        assert ref.direction(reference, *found) == pytest.approx([x / ref.length(v3) for x in v3], abs=1e-6)


@pytest.mark.parametrize(
    "v3",
    [HALF, [0.0, 0.0, 0.0], [0.0, 0.0, 1.0], [NAN, 0.0, 1.0], [0.5, 0.1, 0.4]],
    ids=["half", "zero", "axis-a", "nan", "near-half"],
)
@pytest.mark.parametrize("near", [None, (0.5, 0.5), (NAN, NAN), (-100.0, 100.0)], ids=["none", "half", "nan", "far"])
def test_reachable_iff_ik_succeeds(left, v3, near):
    try:
        left.ik_from_direction(v3, near)
    except RuntimeError:
        succeeded = False
    else:
        succeeded = True
    assert left.is_reachable_direction(v3) is succeeded
