"""Writing an arm's geometry back out: `to_json`, read back by `from_json`, and `branch`."""

import json
import math
import struct

import pytest
from hypothesis import example, given, settings
from hypothesis import strategies as st

from tarvelo_torso_kinematics import TarveloArmKinematics, TarveloNeckKinematics

MEMBERS = ["arm_arc", "coupler_arc", "branch", "mirror"]


def bits(value):
    return struct.pack("<d", value)


def arm_from(arm_arc, coupler_arc, branch, mirror):
    """An arm with exactly these fields; only a document can choose the branch."""
    document = {"arm_arc": arm_arc, "coupler_arc": coupler_arc, "branch": branch, "mirror": mirror}
    return TarveloArmKinematics.from_json(json.dumps(document, allow_nan=False))


def fields(arm):
    return bits(arm.arm_arc()), bits(arm.coupler_arc()), arm.branch(), arm.mirror()


# Every finite double: ±0.0, subnormals, the ends of the range.
arcs = st.floats(allow_nan=False, allow_infinity=False)


@settings(derandomize=True, max_examples=500, deadline=None)
@given(arm_arc=arcs, coupler_arc=arcs, branch=st.sampled_from(["positive", "negative"]), mirror=st.booleans())
@example(arm_arc=-0.0, coupler_arc=0.0, branch="negative", mirror=True)
@example(arm_arc=5e-324, coupler_arc=-2.2250738585072014e-308, branch="positive", mirror=False)
@example(arm_arc=1.7976931348623157e308, coupler_arc=-1e300, branch="negative", mirror=False)
@example(arm_arc=1e16, coupler_arc=9999999999999998.0, branch="positive", mirror=True)
@example(arm_arc=1e-4, coupler_arc=9.999999999999999e-5, branch="positive", mirror=False)
@example(arm_arc=0.1 + 0.2, coupler_arc=1.0, branch="negative", mirror=True)
def test_document_round_trip_is_bit_exact(arm_arc, coupler_arc, branch, mirror):
    arm = arm_from(arm_arc, coupler_arc, branch, mirror)
    text = arm.to_json()
    # Laid out as json.dumps writes the same dict, each arc in Python's shortest repr.
    assert text == json.dumps(dict(zip(MEMBERS, [arm_arc, coupler_arc, branch, mirror], strict=True)))
    again = TarveloArmKinematics.from_json(text)
    assert fields(again) == (bits(arm_arc), bits(coupler_arc), branch, mirror)
    assert again.to_json() == text


@pytest.mark.parametrize(
    ("make", "branch"),
    [
        (TarveloArmKinematics, "positive"),
        (lambda: TarveloArmKinematics(0.9, 0.3, True), "positive"),
        (TarveloArmKinematics.default_left, "positive"),
        (TarveloArmKinematics.default_right, "positive"),
        (lambda: TarveloArmKinematics.from_json('[0.7, 0.5, "negative"]'), "negative"),
        (
            lambda: TarveloArmKinematics.from_json('{"arm_arc": 1, "coupler_arc": 2, "branch": {"negative": null}}'),
            "negative",
        ),
        (lambda: TarveloArmKinematics.from_json('{"branch": "positive", "coupler_arc": 2, "arm_arc": 1}'), "positive"),
    ],
    ids=[
        "constructor",
        "constructor-mirrored",
        "default-left",
        "default-right",
        "array-negative",
        "object-negative-tagged",
        "object-positive",
    ],
)
def test_branch_is_the_arm_own(make, branch):
    arm = make()
    assert arm.branch() == branch and type(arm.branch()) is str
    assert json.loads(arm.to_json())["branch"] == branch


def test_round_trip_keeps_the_kinematics():
    negative = TarveloArmKinematics.from_json('{"arm_arc": 0.7, "coupler_arc": 0.5, "branch": "negative"}')
    for arm in (negative, TarveloArmKinematics.default_right()):
        again = TarveloArmKinematics.from_json(arm.to_json())
        assert again.direction(0.3, -0.2) == arm.direction(0.3, -0.2)


NAN, INF = math.nan, math.inf


@pytest.mark.parametrize(
    ("arm_arc", "coupler_arc", "member", "shown"),
    [
        (NAN, 0.5, "arm_arc", "nan"),
        (INF, 0.5, "arm_arc", "inf"),
        (-INF, 0.5, "arm_arc", "-inf"),
        (0.7, NAN, "coupler_arc", "nan"),
        (0.7, -INF, "coupler_arc", "-inf"),
        (-NAN, INF, "arm_arc", "nan"),  # the first member that cannot be written is named
    ],
    ids=["nan-arm", "inf-arm", "minus-inf-arm", "nan-coupler", "minus-inf-coupler", "both"],
)
def test_non_finite_arc_is_refused_naming_the_member(arm_arc, coupler_arc, member, shown):
    arm = TarveloArmKinematics(arm_arc, coupler_arc)
    with pytest.raises(ValueError) as info:
        arm.to_json()
    assert type(info.value) is ValueError and info.value.__cause__ is None
    assert str(info.value) == f"Cannot write arms.json: `{member}` is {shown}, and JSON has no NaN or infinite numbers"
    assert arm.branch() == "positive"  # the arm is untouched and usable


@pytest.mark.parametrize("name", ["to_json", "branch"])
def test_new_accessors_refuse_other_receivers_and_arguments(name):
    with pytest.raises(TypeError):
        getattr(TarveloArmKinematics, name)(TarveloNeckKinematics())
    with pytest.raises(TypeError):
        getattr(TarveloArmKinematics(), name)(1)
