"""Argument binding, value conversion and their messages."""

import collections

import numpy as np
import pytest

from tarvelo_torso_kinematics import TarveloArmKinematics, TarveloNeckKinematics

ARM = TarveloArmKinematics.default_left()
NECK = TarveloNeckKinematics()
D = ARM.direction(0.5, 0.5)
ROWS = ARM.fk(0.5, 0.5)


class Number:
    """Converts to a float through __float__, raising `error` when it is set."""

    def __init__(self, value=0.0, error=None):
        self.value, self.error = value, error

    def __float__(self):
        if self.error is not None:
            raise self.error
        return self.value


BINDING = [
    (lambda: ARM.fk(0.1), "TarveloArmKinematics.fk() missing 1 required positional argument: 'theta_b'"),
    (lambda: ARM.fk(), "TarveloArmKinematics.fk() missing 2 required positional arguments: 'theta_a' and 'theta_b'"),
    (lambda: ARM.fk(1, 2, 3), "TarveloArmKinematics.fk() takes 2 positional arguments but 3 were given"),
    (
        lambda: ARM.ik_from_direction(D, None, 0),
        "TarveloArmKinematics.ik_from_direction() takes from 1 to 2 positional arguments but 3 were given",
    ),
    (lambda: TarveloNeckKinematics(1), "TarveloNeckKinematics.__new__() takes 0 positional arguments but 1 was given"),
    (
        lambda: TarveloArmKinematics(1, 2, 3, 4),
        "TarveloArmKinematics.__new__() takes from 0 to 3 positional arguments but 4 were given",
    ),
    (lambda: ARM.fk(0.1, theta_a=0.2), "TarveloArmKinematics.fk() got multiple values for argument 'theta_a'"),
    (
        lambda: ARM.fk(theta_a=0.1, theta_c=0.2),
        "TarveloArmKinematics.fk() got an unexpected keyword argument 'theta_c'",
    ),
    (
        lambda: TarveloArmKinematics(0.7, arm_arc=0.7),
        "TarveloArmKinematics.__new__() got multiple values for argument 'arm_arc'",
    ),
    (lambda: TarveloArmKinematics(arm=0.7), "TarveloArmKinematics.__new__() got an unexpected keyword argument 'arm'"),
    (
        lambda: TarveloNeckKinematics(joints=1),
        "TarveloNeckKinematics.__new__() got an unexpected keyword argument 'joints'",
    ),
    (
        lambda: ARM.ik_from_direction(near=None),
        "TarveloArmKinematics.ik_from_direction() missing 1 required positional argument: 'v3'",
    ),
    (
        lambda: TarveloArmKinematics.from_json(),
        "TarveloArmKinematics.from_json() missing 1 required positional argument: 'json'",
    ),
    (lambda: NECK.ik(), "TarveloNeckKinematics.ik() missing 1 required positional argument: 'r'"),
    (
        lambda: ARM.is_reachable_joints(0.1, 0.2, theta_a=1),
        "TarveloArmKinematics.is_reachable_joints() got multiple values for argument 'theta_a'",
    ),
    (
        lambda: ARM.joint_rates(0.1, 0.2),
        "TarveloArmKinematics.joint_rates() missing 1 required positional argument: 'direction_rate'",
    ),
    (
        lambda: ARM.joint_rates(0.1, 0.2, D, 0),
        "TarveloArmKinematics.joint_rates() takes 3 positional arguments but 4 were given",
    ),
    (
        lambda: ARM.ik_from_direction_solutions(D, None),
        # A method added after the first ones is worded as the interpreter words it.
        "TarveloArmKinematics.ik_from_direction_solutions() takes 1 positional argument but 2 were given",
    ),
    (
        lambda: NECK.joint_rates([0.0, 0.0, 0.0]),
        "TarveloNeckKinematics.joint_rates() missing 1 required positional argument: 'angular_velocity'",
    ),
    (lambda: NECK.jacobian(r=ROWS), "TarveloNeckKinematics.jacobian() got an unexpected keyword argument 'r'"),
]


@pytest.mark.parametrize(
    ("call", "message"), BINDING, ids=[m.split("() ")[1][:40] + str(i) for i, (_, m) in enumerate(BINDING)]
)
def test_binding_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert type(info.value) is TypeError
    assert str(info.value) == message


class Outer:
    class Inner:
        pass


CONVERSION = [
    # (call, exception type, message)
    (lambda: ARM.fk("x", 0.0), TypeError, "argument 'theta_a': must be real number, not str"),
    (lambda: ARM.fk(0.0, None), TypeError, "argument 'theta_b': must be real number, not NoneType"),
    (lambda: ARM.is_reachable_direction([0, 0]), ValueError, "expected a sequence of length 3 (got 2)"),
    (
        lambda: ARM.is_reachable_direction({0: 1, 1: 2, 2: 3}),
        TypeError,
        "argument 'v3': 'dict' object cannot be converted to 'Sequence'",
    ),
    (
        lambda: ARM.is_reachable_direction(x for x in D),
        TypeError,
        "argument 'v3': 'generator' object cannot be converted to 'Sequence'",
    ),
    (
        lambda: ARM.is_reachable_direction(None),
        TypeError,
        "argument 'v3': 'NoneType' object cannot be converted to 'Sequence'",
    ),
    (lambda: ARM.is_reachable_direction("abc"), TypeError, "argument 'v3': must be real number, not str"),
    (lambda: ARM.ik([ROWS[0], ROWS[1] + [0.0], ROWS[2]]), ValueError, "expected a sequence of length 3 (got 4)"),
    (lambda: ARM.ik([ROWS[0], ROWS[1]]), ValueError, "expected a sequence of length 3 (got 2)"),
    (
        lambda: ARM.ik([ROWS[0], 5, ROWS[2]]),
        TypeError,
        "argument 'r_target': 'int' object cannot be converted to 'Sequence'",
    ),
    (
        lambda: ARM.ik_from_direction(D, near=[0.1, 0.2]),
        TypeError,
        "argument 'near': 'list' object cannot be converted to 'PyTuple'",
    ),
    (
        lambda: ARM.ik_from_direction(D, near=(0.1,)),
        ValueError,
        "expected tuple of length 2, but got tuple of length 1",
    ),
    (lambda: ARM.ik_from_direction(D, near=(0.1, "b")), TypeError, "argument 'near': must be real number, not str"),
    (
        lambda: TarveloArmKinematics(mirror=1),
        TypeError,
        "argument 'mirror': 'int' object cannot be converted to 'PyBool'",
    ),
    (
        lambda: TarveloArmKinematics(mirror=None),
        TypeError,
        "argument 'mirror': 'NoneType' object cannot be converted to 'PyBool'",
    ),
    (lambda: TarveloArmKinematics(arm_arc=None), TypeError, "argument 'arm_arc': must be real number, not NoneType"),
    (lambda: TarveloArmKinematics(0.7, "x", 1), TypeError, "argument 'coupler_arc': must be real number, not str"),
    (
        lambda: TarveloArmKinematics.from_json(b"{}"),
        TypeError,
        "argument 'json': 'bytes' object cannot be converted to 'PyString'",
    ),
    (
        lambda: TarveloArmKinematics.from_json(5),
        TypeError,
        "argument 'json': 'int' object cannot be converted to 'PyString'",
    ),
    # Types are named by __qualname__: a nested class by its dotted path, a static type
    # whose C name carries its module ("collections.OrderedDict") by the name after the point.
    (
        lambda: TarveloArmKinematics(mirror=Outer.Inner()),
        TypeError,
        "argument 'mirror': 'Outer.Inner' object cannot be converted to 'PyBool'",
    ),
    (
        lambda: TarveloArmKinematics.from_json(collections.OrderedDict()),
        TypeError,
        "argument 'json': 'OrderedDict' object cannot be converted to 'PyString'",
    ),
    (lambda: NECK.fk([1.0, 2.0]), ValueError, "expected a sequence of length 3 (got 2)"),
    (lambda: NECK.fk(joints=1.0), TypeError, "argument 'joints': 'float' object cannot be converted to 'Sequence'"),
    (lambda: NECK.ik([[1, 0, 0], [0, 1, 0]]), ValueError, "expected a sequence of length 3 (got 2)"),
    (lambda: ARM.fk(Number(error=ValueError("bad value")), 0.0), ValueError, "bad value"),
    (lambda: ARM.fk(0.0, Number(error=TypeError("bad type"))), TypeError, "argument 'theta_b': bad type"),
    (lambda: ARM.direction(Number(error=ZeroDivisionError("zero")), 0.0), ZeroDivisionError, "zero"),
    (lambda: ARM.joint_rates(0.1, 0.2, [1.0, 2.0]), ValueError, "expected a sequence of length 3 (got 2)"),
    (
        lambda: ARM.joint_rates(0.1, 0.2, {}),
        TypeError,
        "argument 'direction_rate': 'dict' object cannot be converted to 'Sequence'",
    ),
    (lambda: ARM.joint_rates("x", 0.2, None), TypeError, "argument 'theta_a': must be real number, not str"),
    (
        lambda: ARM.ik_from_direction_solutions(5),
        TypeError,
        "argument 'v3': 'int' object cannot be converted to 'Sequence'",
    ),
    (
        lambda: NECK.joint_rates([0.0, 0.0, 0.0], None),
        TypeError,
        "argument 'angular_velocity': 'NoneType' object cannot be converted to 'Sequence'",
    ),
]


@pytest.mark.parametrize(
    ("call", "kind", "message"), CONVERSION, ids=[f"{k.__name__}-{i}" for i, (_, k, _) in enumerate(CONVERSION)]
)
def test_conversion_errors(call, kind, message):
    with pytest.raises(BaseException) as info:
        call()
    assert type(info.value) is kind
    assert str(info.value) == message


def test_int_too_large_for_a_double_is_not_wrapped():
    with pytest.raises(OverflowError) as info:
        ARM.fk(10**400, 0.0)
    assert type(info.value) is OverflowError
    assert "theta_a" not in str(info.value)


def test_lone_surrogate_text_raises_the_encoding_error():
    with pytest.raises(UnicodeEncodeError):
        TarveloArmKinematics.from_json('{"arm_arc": 0.7, "\ud800": 1}')


def test_wrapped_type_error_keeps_the_cause_of_the_original():
    cause = KeyError("root")

    class Chained:
        def __float__(self):
            raise TypeError("inner") from cause

    with pytest.raises(TypeError) as info:
        ARM.fk(Chained(), 0.0)
    assert str(info.value) == "argument 'theta_a': inner"
    assert info.value.__cause__ is cause


def test_wrapped_type_error_whose_text_fails():
    class Unprintable:
        def __str__(self):
            raise ValueError("no text")

    with pytest.raises(TypeError) as info:
        ARM.fk(Number(error=TypeError(Unprintable())), 0.0)
    assert str(info.value) == "argument 'theta_a': <exception str() failed>"


def test_wrapped_type_error_without_cause_has_none():
    with pytest.raises(TypeError) as info:
        ARM.fk("x", 0.0)
    assert info.value.__cause__ is None


def test_type_error_subclass_is_not_wrapped():
    class Special(TypeError):
        pass

    with pytest.raises(Special) as info:
        ARM.fk(Number(error=Special("special")), 0.0)
    assert str(info.value) == "special"


def test_first_failing_argument_stops_conversion():
    seen = []

    class Spy:
        def __init__(self, name):
            self.name = name

        def __float__(self):
            seen.append(self.name)
            raise ValueError(self.name)

    with pytest.raises(ValueError, match="^a$"):
        ARM.fk(Spy("a"), Spy("b"))
    assert seen == ["a"]


ACCEPTED_VECTORS = [
    pytest.param(list(D), id="list"),
    pytest.param(tuple(D), id="tuple"),
    pytest.param(np.array(D), id="numpy"),
    pytest.param([Number(x) for x in D], id="float-like-items"),
]


@pytest.mark.parametrize("v3", ACCEPTED_VECTORS)
def test_vector_shapes_accepted(v3):
    assert ARM.ik_from_direction(v3, near=(0.5, 0.5)) == ARM.ik_from_direction(D, near=(0.5, 0.5))


@pytest.mark.parametrize(
    "rows",
    [
        pytest.param(ROWS, id="lists"),
        pytest.param(tuple(tuple(r) for r in ROWS), id="tuples"),
        pytest.param(np.array(ROWS), id="numpy"),
        pytest.param([np.array(r) for r in ROWS], id="list-of-numpy-rows"),
    ],
)
def test_matrix_shapes_accepted(rows):
    assert ARM.ik(rows) == ARM.ik(ROWS)


def test_range_and_bytes_are_sequences():
    assert NECK.fk(range(3)) == NECK.fk([0.0, 1.0, 2.0])
    assert NECK.fk(b"\x00\x01\x02") == NECK.fk([0.0, 1.0, 2.0])


def test_near_none_is_the_same_as_omitted_and_tuple_subclass_is_accepted():
    class Pair(tuple):
        pass

    assert ARM.ik_from_direction(D, None) == ARM.ik_from_direction(D)
    assert ARM.ik_from_direction(D, near=Pair((0.5, 0.5))) == ARM.ik_from_direction(D, near=(0.5, 0.5))


def test_keywords_in_any_order():
    assert ARM.fk(theta_b=0.0, theta_a=0.0) == ARM.fk(0.0, 0.0)
    assert ARM.ik_from_direction(near=(0.5, 0.5), v3=D) == ARM.ik_from_direction(D, (0.5, 0.5))


def test_keyword_names_built_at_run_time_match():
    name = "".join(["theta", "_a"])
    assert ARM.fk(**{name: 0.1, "theta_b": 0.2}) == ARM.fk(0.1, 0.2)


def test_list_shortened_while_converting_fails_like_item_access():
    values = [0.5, 0.5, 0.5]

    class Shrinking:
        def __float__(self):
            values.pop()
            values.pop()
            return 0.9

    values[0] = Shrinking()
    with pytest.raises(IndexError) as info:
        ARM.is_reachable_direction(values)
    assert str(info.value) == "list index out of range"


def test_sequence_length_error_passes_unchanged():
    class Broken:
        def __len__(self):
            raise RuntimeError("no length")

        def __getitem__(self, index):
            return 0.0

    with pytest.raises(RuntimeError, match="^no length$"):
        ARM.is_reachable_direction(Broken())


def test_wrong_receiver_through_the_method_descriptor():
    with pytest.raises(TypeError):
        TarveloArmKinematics.fk(NECK, 0.0, 0.0)


@pytest.mark.parametrize(
    ("call", "shape"),
    [
        (lambda: ARM.fk(0.0, 0.0), (list, 3, list, 3)),
        (lambda: ARM.direction(0.0, 0.0), (list, 3, float, None)),
        (lambda: ARM.ik(ROWS), (tuple, 2, float, None)),
        (lambda: ARM.ik_from_direction(D), (tuple, 2, float, None)),
        (lambda: NECK.fk([0.1, 0.2, 0.3]), (list, 3, list, 3)),
        (lambda: NECK.ik(NECK.fk([0.1, 0.2, 0.3])), (tuple, 3, float, None)),
        (lambda: ARM.direction_jacobian(0.1, 0.2), (list, 3, list, 2)),
        (lambda: ARM.joint_rates(0.1, 0.2, D), (tuple, 2, float, None)),
        (lambda: ARM.ik_from_direction_solutions(D), (list, 2, tuple, 2)),
        (lambda: NECK.joint_rates([0.1, 0.2, 0.3], [1, 2, 3]), (tuple, 3, float, None)),
    ],
    ids=[
        "arm-fk",
        "direction",
        "ik",
        "ik-from-direction",
        "neck-fk",
        "neck-ik",
        "direction-jacobian",
        "joint-rates",
        "ik-from-direction-solutions",
        "neck-joint-rates",
    ],
)
def test_result_shapes(call, shape):
    outer, length, inner, inner_length = shape
    result = call()
    assert type(result) is outer and len(result) == length
    for item in result:
        assert type(item) is inner
        if inner_length is not None:
            assert len(item) == inner_length and all(type(x) is float for x in item)


@pytest.mark.parametrize(
    "call",
    [
        lambda: ARM.is_reachable_joints(0.0, 0.0),
        lambda: ARM.is_reachable_orientation(ROWS),
        lambda: ARM.is_reachable_direction(D),
        lambda: ARM.is_reachable_joints(0.0, 3.14),
    ],
    ids=["joints", "orientation", "direction", "joints-false"],
)
def test_reachability_returns_bool(call):
    assert call() in (True, False) and type(call()) is bool


def numpy_like(name, **members):
    """A class that passes for numpy's boolean scalar type by its module and name."""
    return type(name, (), {"__module__": "numpy", **members})


@pytest.mark.parametrize(
    ("value", "kind", "message"),
    [
        (numpy_like("bool_", __bool__=lambda self: True)(), None, True),
        (numpy_like("bool", __bool__=lambda self: False)(), None, False),
        (
            numpy_like("bool")(),
            TypeError,
            "argument 'mirror': object of type 'bool' does not define a '__bool__' conversion",
        ),
        (numpy_like("bool_", __bool__=lambda self: 1 / 0)(), ZeroDivisionError, "division by zero"),
        (
            numpy_like("int8", __bool__=lambda self: True)(),
            TypeError,
            "argument 'mirror': 'int8' object cannot be converted to 'PyBool'",
        ),
    ],
    ids=["bool_-true", "bool-false", "no-truth-slot", "truth-raises", "other-numpy-type"],
)
def test_numpy_like_booleans(value, kind, message):
    if kind is None:
        assert TarveloArmKinematics(mirror=value).mirror() is message
        return
    with pytest.raises(kind) as info:
        TarveloArmKinematics(mirror=value)
    assert type(info.value) is kind
    assert str(info.value) == message
