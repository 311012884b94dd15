import os
import sys

import pytest

import reference_kinematics as ref
from tarvelo_torso_kinematics import TarveloArmKinematics

# Under user-mode emulation without binfmt_misc a child started from sys.executable would not
# run: the runner (tools/test_wheel_arm64.sh) names a launcher that starts the same interpreter
# under the emulator, and every test that starts a child goes through it.
if launcher := os.environ.get("TORSO_EMULATED_PYTHON"):
    sys.executable = launcher

NEGATIVE_LEFT_JSON = '{"arm_arc":0.7,"coupler_arc":0.5,"branch":"negative"}'
needs_from_json = pytest.mark.skipif(not hasattr(TarveloArmKinematics, "from_json"), reason="from_json not built yet")


def make_arm(name):
    """(extension arm, reference arm) for 'left', 'right' or 'left-negative'."""
    if name == "left":
        return TarveloArmKinematics.default_left(), ref.LEFT
    if name == "right":
        return TarveloArmKinematics.default_right(), ref.RIGHT
    return TarveloArmKinematics.from_json(NEGATIVE_LEFT_JSON), ref.LEFT_NEGATIVE


ARM_NAMES = [
    pytest.param("left", id="left"),
    pytest.param("right", id="right"),
    pytest.param("left-negative", id="left-negative", marks=needs_from_json),
]


@pytest.fixture(params=ARM_NAMES)
def arms(request):
    """The same arm twice: from the extension and from the reference kinematics."""
    return make_arm(request.param)


@pytest.fixture
def left():
    return TarveloArmKinematics.default_left()
