"""The module object, its classes, their flags, doc texts and constructors."""

import importlib
import importlib.util
import sys
import weakref

import numpy as np
import pytest

import tarvelo_torso_kinematics as tk
from tarvelo_torso_kinematics import TarveloArmKinematics, TarveloNeckKinematics

ARM_DOC = "TarveloArmKinematics(arm_arc=0.7, coupler_arc=0.5, mirror=False)\n--\n\n"


def test_module_contents():
    assert tk.__all__ == ["TarveloArmKinematics", "TarveloNeckKinematics"]
    assert tk.__doc__ == ""
    public = sorted(name for name in vars(tk) if not name.startswith("__"))
    assert public == ["TarveloArmKinematics", "TarveloNeckKinematics"]


def test_reimport_returns_the_same_module_and_classes():
    module = sys.modules.pop("tarvelo_torso_kinematics")
    try:
        again = importlib.import_module("tarvelo_torso_kinematics")
        assert again is module
        assert again.TarveloArmKinematics is TarveloArmKinematics
        assert again.TarveloNeckKinematics is TarveloNeckKinematics
    finally:
        sys.modules["tarvelo_torso_kinematics"] = module


@pytest.mark.parametrize(
    ("cls", "signature"),
    [
        (TarveloArmKinematics, "(arm_arc=0.7, coupler_arc=0.5, mirror=False)"),
        (TarveloNeckKinematics, "()"),
    ],
    ids=["arm", "neck"],
)
def test_class_identity(cls, signature):
    assert cls.__module__ == "tarvelo_torso_kinematics"
    assert cls.__qualname__ == cls.__name__
    assert cls.__text_signature__ == signature
    assert cls.__doc__ == ""
    assert cls.__bases__ == (object,)


@pytest.mark.parametrize("cls", [TarveloArmKinematics, TarveloNeckKinematics], ids=["arm", "neck"])
def test_classes_are_final_and_instances_closed(cls):
    with pytest.raises(TypeError):
        type("Derived", (cls,), {})
    instance = cls()
    with pytest.raises(AttributeError):
        instance.anything = 1
    assert not hasattr(instance, "__dict__")
    with pytest.raises(TypeError):
        weakref.ref(instance)
    cls.class_attribute_allowed = 1  # the type is not immutable
    del cls.class_attribute_allowed


@pytest.mark.parametrize(
    ("method", "signature", "doc_start"),
    [
        (TarveloArmKinematics.fk, "($self, theta_a, theta_b)", "Forward kinematics: "),
        (TarveloArmKinematics.ik, "($self, r_target)", "Inverse kinematics: 3×3 rotation"),
        (TarveloArmKinematics.ik_from_direction, "($self, v3, near=None)", "Inverse kinematics from"),
        (TarveloArmKinematics.direction, "($self, theta_a, theta_b)", "Forward kinematics that"),
        (TarveloArmKinematics.is_reachable_joints, "($self, theta_a, theta_b)", "Whether `(θ_A"),
        (TarveloArmKinematics.is_reachable_orientation, "($self, r_target)", "Whether `r_target`"),
        (TarveloArmKinematics.is_reachable_direction, "($self, v3)", "Whether the pointing"),
        (TarveloArmKinematics.default_left, "()", "Build the default left-arm geometry."),
        (TarveloArmKinematics.default_right, "()", "Build the default right-arm geometry"),
        (TarveloArmKinematics.from_json, "(json)", "Build the arm from a JSON string"),
        (TarveloArmKinematics.to_json, "($self)", "The arm's geometry as a JSON document"),
        (TarveloArmKinematics.branch, "($self)", "Which of the two loop-closure solutions"),
        (TarveloNeckKinematics.fk, "($self, joints)", "Forward kinematics. `joints"),
        (TarveloNeckKinematics.ik, "($self, r)", "Inverse kinematics. `r` is"),
    ],
    ids=lambda v: v if isinstance(v, str) and v.startswith("(") else None,
)
def test_method_signatures_and_docs(method, signature, doc_start):
    assert method.__text_signature__ == signature
    assert method.__doc__.startswith(doc_start)


@pytest.mark.parametrize("name", ["arm_arc", "coupler_arc", "mirror"])
def test_accessors_are_methods_without_doc(name):
    arm = TarveloArmKinematics()
    method = getattr(arm, name)
    assert callable(method) and method.__self__ is arm
    assert method.__text_signature__ == "($self)"
    assert method.__doc__ is None
    with pytest.raises(TypeError):
        method(1)


def test_full_doc_texts():
    assert TarveloArmKinematics.ik.__doc__ == (
        "Inverse kinematics: 3×3 rotation → `(θ_A, θ_B)`.\n"
        "Raises `RuntimeError` when the target orientation isn't reachable."
    )
    assert TarveloNeckKinematics.ik.__doc__ == (
        "Inverse kinematics. `r` is a 3×3 rotation matrix (row-major).\n"
        "Returns `(yaw, pitch, roll)` in radians.\n\n"
        "Raises `ValueError` near gimbal lock (|pitch| ≈ π/2). The neck's\n"
        "pitch range is well under that limit in practice."
    )


def geometry(arm):
    return (arm.arm_arc(), arm.coupler_arc(), arm.mirror())


@pytest.mark.parametrize(
    ("make", "expected"),
    [
        (lambda: TarveloArmKinematics(), (0.7, 0.5, False)),
        (TarveloArmKinematics.default_left, (0.7, 0.5, False)),
        (TarveloArmKinematics.default_right, (0.7, 0.5, True)),
        (lambda: TarveloArmKinematics(mirror=True), (0.7, 0.5, True)),
        (lambda: TarveloArmKinematics(0.9), (0.9, 0.5, False)),
        (lambda: TarveloArmKinematics(coupler_arc=0.3), (0.7, 0.3, False)),
        (lambda: TarveloArmKinematics(-1.0, 0.0), (-1.0, 0.0, False)),
        (lambda: TarveloArmKinematics(1), (1.0, 0.5, False)),
        (lambda: TarveloArmKinematics(mirror=np.bool_(True)), (0.7, 0.5, True)),
        (lambda: TarveloArmKinematics(mirror=np.bool_(False)), (0.7, 0.5, False)),
        (lambda: TarveloArmKinematics(float("inf"), float("-inf")), (float("inf"), float("-inf"), False)),
    ],
    ids=[
        "no-args",
        "default-left",
        "default-right",
        "mirror-kw",
        "arm-arc-only",
        "coupler-kw",
        "negative-and-zero",
        "int-arc",
        "numpy-true",
        "numpy-false",
        "infinite",
    ],
)
def test_constructed_geometry(make, expected):
    arm = make()
    assert type(arm) is TarveloArmKinematics
    assert geometry(arm) == expected
    assert type(arm.arm_arc()) is float and type(arm.mirror()) is bool


def test_static_constructors_make_new_objects_from_class_and_instance():
    first = TarveloArmKinematics.default_left()
    second = first.default_left()
    assert first is not second
    assert geometry(first) == geometry(second)


def test_default_arm_equals_explicit_construction():
    explicit, default = TarveloArmKinematics(), TarveloArmKinematics.default_left()
    for pair in [(0.0, 0.0), (0.5, 0.5), (0.3, -0.2), (-0.4, 0.1)]:
        assert explicit.fk(*pair) == default.fk(*pair)
    mirrored, right = TarveloArmKinematics(mirror=True), TarveloArmKinematics.default_right()
    assert mirrored.fk(0.5, 0.5) == right.fk(0.5, 0.5)


def test_nan_arc_is_stored_unchanged():
    arm = TarveloArmKinematics(float("nan"))
    assert arm.arm_arc() != arm.arm_arc()


def test_neck_holds_nothing():
    neck = TarveloNeckKinematics()
    assert type(neck) is TarveloNeckKinematics
    assert TarveloNeckKinematics.__basicsize__ == object.__basicsize__


def test_repr_is_the_default():
    arm = TarveloArmKinematics()
    assert repr(arm).startswith("<tarvelo_torso_kinematics.TarveloArmKinematics object at 0x")


# The private module of subinterpreters: `_xxsubinterpreters` up to 3.12, `_interpreters` since.
SUBINTERPRETERS = next(
    (name for name in ("_interpreters", "_xxsubinterpreters") if importlib.util.find_spec(name) is not None), None
)

# Imports the module in a second interpreter and prints the refusal as "Type: message", then
# uses the module of the first. "legacy" asks for an interpreter that admits single-phase
# modules, so that the module's own check refuses it; "default" takes what the interpreter
# gives, which since 3.12 is an isolated one that refuses such modules before their code runs,
# and which since 3.14 is what the public `concurrent.interpreters` creates.
SUBINTERPRETER_SCRIPT = """
import sys
import tarvelo_torso_kinematics


def public_refusal():
    from concurrent import interpreters

    interp = interpreters.create()
    try:
        interp.exec("import tarvelo_torso_kinematics")
    except interpreters.ExecutionFailed as error:
        return f"{{error.excinfo.type.__name__}}: {{error.excinfo.msg}}"
    finally:
        interp.close()
    return "imported"


def private_refusal():
    import {module} as interpreters

    if sys.argv[1] == "default":
        interp = interpreters.create()
    elif hasattr(interpreters, "new_config"):
        interp = interpreters.create("legacy")
    else:
        interp = interpreters.create(isolated=False)
    try:
        failure = interpreters.run_string(interp, "import tarvelo_torso_kinematics")
    except interpreters.RunFailedError as error:
        return str(error).replace("<class '", "").replace("'>", "", 1)
    return f"{{failure.type.__name__}}: {{failure.msg}}" if failure is not None else "imported"


public = sys.argv[1] == "default" and sys.version_info >= (3, 14)
print(public_refusal() if public else private_refusal())
print(tarvelo_torso_kinematics.TarveloArmKinematics().arm_arc())
"""
OWN_REFUSAL = "do not yet support subinterpreters"
INTERPRETER_REFUSAL = "module tarvelo_torso_kinematics does not support loading in subinterpreters"


@pytest.mark.skipif(SUBINTERPRETERS is None, reason="no subinterpreter module in this interpreter")
@pytest.mark.parametrize("kind", ["legacy", "default"])
def test_second_interpreter_is_refused_and_first_unaffected(kind):
    import subprocess

    script = SUBINTERPRETER_SCRIPT.format(module=SUBINTERPRETERS)
    run = subprocess.run([sys.executable, "-c", script, kind], capture_output=True, text=True, timeout=60)
    assert run.returncode == 0, run.stderr
    refusal, arc = run.stdout.splitlines()
    assert refusal.startswith("ImportError: ")
    own = OWN_REFUSAL in refusal and "issue tracker" in refusal
    # Only an isolated interpreter may refuse first, and then in its own words.
    assert own or (kind == "default" and sys.version_info >= (3, 12) and INTERPRETER_REFUSAL in refusal), refusal
    assert arc == "0.7"
