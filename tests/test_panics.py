"""PanicException: a panic raised back from Python code, and routine failures without a cause."""

import math
import subprocess
import sys
import textwrap

import pytest

from tarvelo_torso_kinematics import TarveloArmKinematics, TarveloNeckKinematics


def panic_type():
    """PanicException is not a module attribute: find it among BaseException's subclasses."""
    found = [
        c
        for c in BaseException.__subclasses__()
        if c.__qualname__ == "PanicException" and c.__module__ == "tarvelo_runtime"
    ]
    assert len(found) == 1
    return found[0]


def test_panic_type_shape():
    panic = panic_type()
    assert panic.__bases__ == (BaseException,)
    assert not issubclass(panic, Exception)
    assert "panic" in panic.__doc__.lower() and "BaseException" in panic.__doc__
    import tarvelo_torso_kinematics

    assert not hasattr(tarvelo_torso_kinematics, "PanicException")


PANIC_SCRIPT = textwrap.dedent(
    """
    from tarvelo_torso_kinematics import TarveloArmKinematics
    Panic = next(c for c in BaseException.__subclasses__() if c.__module__ == "tarvelo_runtime")

    class Exploding:
        def __float__(self):
            raise Panic("boom from python")

    arm = TarveloArmKinematics.default_left()
    original = None
    try:
        try:
            arm.fk(Exploding(), 0.0)
        except Exception:
            print("caught by except Exception")
    except BaseException as error:
        print("type", type(error).__name__, type(error) is Panic)
        print("message", error)
        print("cause", error.__cause__)
    print("still usable", arm.is_reachable_joints(0.0, 0.0))
    """
)


def test_panic_from_python_is_reported_and_raised_again():
    run = subprocess.run([sys.executable, "-c", PANIC_SCRIPT], capture_output=True, text=True, timeout=60)
    assert run.returncode == 0, run.stderr
    assert run.stdout.splitlines() == [
        "type PanicException True",
        "message boom from python",
        "cause None",
        "still usable True",
    ]
    err = run.stderr.splitlines()
    assert "resuming a panic after fetching a PanicException from Python" in err[0]
    assert err[1] == "Python stack trace below:"
    assert err[2] == "Traceback (most recent call last):"
    assert any(line.endswith("in __float__") for line in err)
    assert err[-1] == "tarvelo_runtime.PanicException: boom from python"


def test_panic_whose_str_fails_uses_the_fixed_message():
    script = PANIC_SCRIPT.replace(
        'raise Panic("boom from python")',
        'raise Panic(type("Unprintable", (), {"__str__": lambda self: 1 / 0})())',
    )
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert run.returncode == 0, run.stderr
    assert run.stdout.splitlines()[:2] == ["type PanicException True", "message Unwrapped panic from Python code"]


@pytest.mark.parametrize(
    "message", ["a\x00b", "lone \ud800 surrogate", "π ≈ 3.14"], ids=["nul", "lone-surrogate", "non-ascii"]
)
def test_panic_message_comes_back_whole(message):
    script = PANIC_SCRIPT.replace('raise Panic("boom from python")', f"raise Panic({message!r})").replace(
        'print("message", error)', 'print("message", ascii(error.args))'
    )
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert run.returncode == 0, run.stderr
    assert run.stdout.splitlines()[1] == f"message {ascii((message,))}"


def raise_(error):
    raise error


def raising(method, error):
    """An object whose `method` (__float__, __str__) raises `error`."""
    return type("Raising", (), {method: lambda self: raise_(error)})()


def flag_whose_type_raises(attribute, error):
    """An instance of a class whose metaclass raises `error` when `attribute` is read."""
    meta = type("Meta", (type,), {attribute: property(lambda cls: raise_(error))})
    return meta("Flag", (), {})()


# Python code that the conversions run where an error is ordinarily cleared or replaced:
# a call raising `error` there, and the TypeError it gives for an ordinary error.
CLEARED_ERRORS = [
    (
        lambda error: TarveloArmKinematics(mirror=flag_whose_type_raises("__module__", error)),
        "argument 'mirror': 'Flag' object cannot be converted to 'PyBool'",
    ),
    (
        lambda error: TarveloArmKinematics(mirror=flag_whose_type_raises("__name__", error)),
        "argument 'mirror': 'Flag' object cannot be converted to 'PyBool'",
    ),
    (
        lambda error: TarveloArmKinematics.default_left().fk(
            raising("__float__", TypeError(raising("__str__", error))), 0.0
        ),
        "argument 'theta_a': <exception str() failed>",
    ),
]


@pytest.mark.parametrize(
    ("call", "ordinary_message"), CLEARED_ERRORS, ids=["bool-type-module", "bool-type-name", "wrapped-error-text"]
)
def test_panic_where_an_ordinary_error_is_cleared_comes_back(call, ordinary_message):
    panic = panic_type()
    with pytest.raises(panic) as info:
        call(panic("from python"))
    assert type(info.value) is panic
    assert info.value.args == ("from python",)
    with pytest.raises(TypeError) as info:
        call(ValueError("ordinary"))
    assert type(info.value) is TypeError
    assert str(info.value) == ordinary_message


REPORT_SCRIPT = PANIC_SCRIPT.split("arm = ")[0] + textwrap.dedent(
    """
    import io, sys

    class Failing:
        def write(self, text):
            raise OSError("stream closed")

    buffer = io.StringIO()
    saved = sys.stderr
    {setup}
    try:
        TarveloArmKinematics.default_left().fk(Exploding(), 0.0)
    except Panic as error:
        message = str(error)
    finally:
        sys.stderr = saved
    print(message)
    print(buffer.getvalue(), end="")
    """
)
BANNER = "--- tarvelo_torso_kinematics is resuming a panic after fetching a PanicException from Python. ---"


@pytest.mark.parametrize(
    ("setup", "through_sys_stderr"),
    [
        ("sys.stderr = buffer", True),
        ("del sys.stderr", False),
        ("sys.stderr = None", False),
        ("sys.stderr = Failing()", False),
    ],
    ids=["redirected", "missing", "none", "failing"],
)
def test_panic_report_goes_through_sys_stderr(setup, through_sys_stderr):
    """The whole report, banner first, where sys.stderr points; the process's stderr only
    takes what sys.stderr cannot."""
    script = REPORT_SCRIPT.format(setup=setup)
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert run.returncode == 0, run.stderr
    message, *captured = run.stdout.splitlines()
    assert message == "boom from python"
    report = captured if through_sys_stderr else run.stderr.splitlines()
    assert report[:2] == [BANNER, "Python stack trace below:"]
    if through_sys_stderr:
        assert report[2] == "Traceback (most recent call last):"
        assert report[-1] == "tarvelo_runtime.PanicException: boom from python"
        assert run.stderr == ""
    else:
        assert captured == []


ROUTINE_FAILURES = [
    (
        lambda: TarveloArmKinematics.default_left().fk(0.0, math.pi),
        RuntimeError,
        "Spherical 5-bar loop does not close: v_2 and v_4 are too far apart for the coupler.",
    ),
    (
        lambda: TarveloArmKinematics.default_left().direction(1.0, 1.0),
        RuntimeError,
        "Spherical 5-bar loop does not close: v_2 and v_4 are too far apart for the coupler.",
    ),
    (
        lambda: TarveloArmKinematics.default_left().ik([[1, 0, 0], [0, 1, 0], [0, 0, 1]]),
        RuntimeError,
        "Target orientation is outside the spherical 5-bar workspace.",
    ),
    (
        lambda: TarveloArmKinematics.default_left().ik_from_direction([0, 0, 0]),
        RuntimeError,
        "Target orientation is outside the spherical 5-bar workspace.",
    ),
    (
        lambda: TarveloNeckKinematics().ik([[0, 0, 1], [0, 1, 0], [-1, 0, 0]]),
        ValueError,
        "Gimbal lock: pitch is too close to ±π/2.",
    ),
    (lambda: TarveloArmKinematics.from_json("nope"), ValueError, None),
    (
        lambda: TarveloArmKinematics.default_left().joint_rates(1.0, 1.0, [0, 0, 1]),
        RuntimeError,
        "Spherical 5-bar loop does not close: v_2 and v_4 are too far apart for the coupler.",
    ),
    # The last θ_A at which the loop closes with θ_B = 0: both tips and v_3 lie in one plane.
    (
        lambda: TarveloArmKinematics.default_left().joint_rates(1.4740857891368973, 0.0, [0, 0, 1]),
        ValueError,
        "Singular configuration: joint rates are not determined for the pointing direction here.",
    ),
    (
        lambda: TarveloNeckKinematics().joint_rates([0, math.pi / 2, 0], [0, 0, 1]),
        ValueError,
        "Gimbal lock: pitch is too close to ±π/2.",
    ),
]


@pytest.mark.parametrize(
    ("call", "kind", "message"),
    ROUTINE_FAILURES,
    ids=[
        "fk",
        "direction",
        "ik",
        "ik-from-direction",
        "neck-ik",
        "from-json",
        "joint-rates-open",
        "joint-rates-singular",
        "neck-joint-rates",
    ],
)
def test_routine_failures_have_one_argument_and_no_cause(call, kind, message):
    with pytest.raises(kind) as info:
        call()
    assert type(info.value) is kind
    assert len(info.value.args) == 1 and type(info.value.args[0]) is str
    if message is not None:
        assert info.value.args[0] == message
    else:
        assert info.value.args[0].startswith("Invalid arms.json: ")
    assert info.value.__cause__ is None


def test_instance_usable_after_failure():
    arm = TarveloArmKinematics.default_left()
    with pytest.raises(RuntimeError):
        arm.fk(0.0, math.pi)
    assert arm.is_reachable_joints(0.0, math.pi) is False
    assert arm.direction(0.0, 0.0) == TarveloArmKinematics.default_left().direction(0.0, 0.0)
