"""The C++ library against the Python module: the installed example's output, no allocation in
any noexcept method (the ctest test), and bit-identical results on random inputs.

The library is built with CMake into build/cpp-tests (reused between runs) and installed into
a prefix there; the example is built against that prefix as a user builds it.
"""

import math
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

from tarvelo_torso_kinematics import TarveloArmKinematics, TarveloNeckKinematics

ROOT = Path(__file__).resolve().parent.parent
BUILD = ROOT / "build" / "cpp-tests"
PREFIX = BUILD / "prefix"
EXAMPLE_BUILD = ROOT / "build" / "cpp-tests-example"
# The cmake that `make` installs into .venv, so that every interpreter's run reuses one build.
CMAKE = next(
    (str(c) for c in [ROOT / ".venv" / "bin" / "cmake"] if c.is_file()),
    shutil.which("cmake") or shutil.which("cmake", path=str(Path(sys.executable).parent)),
)

pytestmark = [
    pytest.mark.skipif(not (ROOT / "include" / "tarvelo").is_dir(), reason="no source tree beside tests/"),
    pytest.mark.skipif(CMAKE is None or shutil.which("c++") is None, reason="no cmake or C++ compiler"),
    pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""), reason="C++ build under AddressSanitizer"),
]


def run(*command, **options):
    result = subprocess.run(command, capture_output=True, text=True, timeout=900, **options)
    assert result.returncode == 0, result.stdout + result.stderr
    return result.stdout


@pytest.fixture(scope="module")
def installed():
    """Build, test-build and install the library; build the example against the install."""
    run(CMAKE, "-S", ROOT, "-B", BUILD, "-DCMAKE_BUILD_TYPE=Release", "-DTORSO_CXX_TESTS=ON", "-DTORSO_WERROR=ON")
    run(CMAKE, "--build", BUILD, "-j2")
    run(CMAKE, "--install", BUILD, "--prefix", PREFIX)
    run(CMAKE, "-S", ROOT / "examples" / "cpp", "-B", EXAMPLE_BUILD, f"-DCMAKE_PREFIX_PATH={PREFIX}")
    run(CMAKE, "--build", EXAMPLE_BUILD)
    return BUILD


def python_example_lines():
    """What the example prints, computed by the Python module and written by repr."""
    arm, neck = TarveloArmKinematics.default_left(), TarveloNeckKinematics()

    def line(numbers):
        return " ".join(repr(x) for x in numbers)

    rotation = arm.fk(0.5, 0.5)
    with pytest.raises(RuntimeError) as refused:
        arm.ik([[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]])
    return [
        line(x for row in rotation for x in row),
        line(arm.ik(rotation)),
        line(arm.ik_from_direction((0.9, 0.1, 0.4), near=(0.5, 0.5))),
        line(x for row in neck.fk([0.3, 0.2, 0.1]) for x in row),
        str(refused.value),
    ]


def test_example_prints_what_python_gives(installed):
    printed = run(EXAMPLE_BUILD / "torso_example").splitlines()
    assert printed == python_example_lines()


def test_no_method_allocates(installed):
    ctest = Path(CMAKE).with_name("ctest")
    out = run(ctest, "--test-dir", installed, "--verbose", "--tests-regex", "allocations")
    counts = re.findall(r"^\d+: (\S+) (\d+) (\d+)$", out, re.MULTILINE)
    rows = {name: (int(calls), int(allocations)) for name, calls, allocations in counts}
    assert len(rows) == 24, out
    assert all(calls == 10**6 and allocations == 0 for calls, allocations in rows.values()), rows


# ---- Bitwise agreement --------------------------------------------------------------------------

CALLS = 100_000
RECORD = 10  # the driver's record: status, then up to nine doubles
ARMS = [
    TarveloArmKinematics.default_left(),
    TarveloArmKinematics.default_right(),
    TarveloArmKinematics.from_json('{"arm_arc": 0.7, "coupler_arc": 0.5, "branch": "negative"}'),
]
NECK = TarveloNeckKinematics()
# The driver's status of each failure kind, and the exception Python raises for it.
KINDS = {1: RuntimeError, 2: RuntimeError, 3: ValueError, 4: ValueError}


def angles(rng, n, columns):
    return rng.uniform(-math.pi, math.pi, (n, columns))


def closing_limits(rng, arm, n):
    """Joint pairs on the edge of the arm's workspace, where the joint rates are singular:
    θ_A bisected between a closing and an open loop for random θ_B."""
    theta_b = rng.uniform(-0.5, 0.5, n)
    closes, opens = np.zeros(n), np.full(n, math.pi)
    for _ in range(60):
        middle = (closes + opens) / 2
        inside = arm.is_reachable_joints_batch(np.stack([middle, theta_b], axis=1))
        closes, opens = np.where(inside, middle, closes), np.where(inside, opens, middle)
    return np.stack([closes, theta_b], axis=1)


def joints_and_edges(rng, arm, n):
    """Random joint pairs, a tenth of them on the workspace's edge."""
    joints = angles(rng, n, 2)
    joints[::10] = closing_limits(rng, arm, len(joints[::10]))
    return joints


def rotations(rng, arm, n):
    """The arm's fk where the loop closes (reachable), else the neck's; every eighth at the
    neck's gimbal lock."""
    by_arm = arm.fk_batch(angles(rng, n, 2))
    by_neck = NECK.fk_batch(neck_joints(rng, n))
    closed = ~np.isnan(by_arm[:, 0, 0])
    closed[::8] = False
    return np.where(closed[:, None, None], by_arm, by_neck).reshape(n, 9)


def neck_joints(rng, n):
    """Neck joints, every eighth with its pitch at π/2."""
    triples = angles(rng, n, 3)
    triples[::8, 1] = math.pi / 2
    return triples


def vectors(rng, n):
    return rng.uniform(-1, 1, (n, 3))


def near(rng, n):
    """Half the rows without `near` (first column 0), half with one."""
    return np.hstack([rng.integers(0, 2, (n, 1)), angles(rng, n, 2)])


# The driver's input columns, and how each is drawn for an arm.
COLUMNS = {
    "joints": (slice(1, 3), joints_and_edges),
    "rotation": (slice(3, 12), rotations),
    "vector": (slice(12, 15), lambda rng, arm, n: vectors(rng, n)),
    "near": (slice(15, 18), lambda rng, arm, n: near(rng, n)),
    "triple": (slice(18, 21), lambda rng, arm, n: neck_joints(rng, n)),
    "mirror": (slice(21, 22), lambda rng, arm, n: rng.integers(0, 2, (n, 1))),
}
WIDTH = 22


def driver_inputs(rng, arm_index, n, columns):
    x = np.zeros((n, WIDTH))
    x[:, 0] = arm_index
    for column in columns:
        where, draw = COLUMNS[column]
        x[:, where] = draw(rng, ARMS[arm_index], n)
    return x


def rows(x):
    return [x[3:6], x[6:9], x[9:12]]


def geometry(arm):
    return [arm.arm_arc(), arm.coupler_arc(), arm.mirror(), arm.branch() == "negative"]


def near_of(x):
    return {"near": (x[16], x[17])} if x[15] else {}


# method (the driver's name): (the input columns it reads, the Python call on an arm and a row)
METHODS = {
    "ArmKinematics()": (["joints", "mirror"], lambda arm, x: geometry(TarveloArmKinematics(x[1], x[2], bool(x[21])))),
    "default_left": ([], lambda arm, x: geometry(TarveloArmKinematics.default_left())),
    "default_right": ([], lambda arm, x: geometry(TarveloArmKinematics.default_right())),
    "arm_arc": ([], lambda arm, x: arm.arm_arc()),
    "coupler_arc": ([], lambda arm, x: arm.coupler_arc()),
    "mirror": ([], lambda arm, x: arm.mirror()),
    "branch": ([], lambda arm, x: arm.branch() == "negative"),
    "fk": (["joints"], lambda arm, x: arm.fk(x[1], x[2])),
    "direction": (["joints"], lambda arm, x: arm.direction(x[1], x[2])),
    "ik": (["rotation"], lambda arm, x: arm.ik(rows(x))),
    "ik_from_direction": (["vector", "near"], lambda arm, x: arm.ik_from_direction(x[12:15], **near_of(x))),
    "is_reachable_joints": (["joints"], lambda arm, x: arm.is_reachable_joints(x[1], x[2])),
    "is_reachable_orientation": (["rotation"], lambda arm, x: arm.is_reachable_orientation(rows(x))),
    "is_reachable_direction": (["vector"], lambda arm, x: arm.is_reachable_direction(x[12:15])),
    "ik_solutions": (["rotation"], lambda arm, x: counted(arm.ik_solutions(rows(x)))),
    "ik_from_direction_solutions": (["vector"], lambda arm, x: counted(arm.ik_from_direction_solutions(x[12:15]))),
    "jacobian": (["joints"], lambda arm, x: arm.jacobian(x[1], x[2])),
    "direction_jacobian": (["joints"], lambda arm, x: arm.direction_jacobian(x[1], x[2])),
    "joint_rates": (["joints", "vector"], lambda arm, x: arm.joint_rates(x[1], x[2], x[12:15])),
    "manipulability": (["joints"], lambda arm, x: arm.manipulability(x[1], x[2])),
    "neck.fk": (["triple"], lambda arm, x: NECK.fk(x[18:21])),
    "neck.ik": (["rotation"], lambda arm, x: NECK.ik(rows(x))),
    "neck.jacobian": (["triple"], lambda arm, x: NECK.jacobian(x[18:21])),
    "neck.joint_rates": (["triple", "vector"], lambda arm, x: NECK.joint_rates(x[18:21], x[12:15])),
}


def counted(solutions):
    """A list of joint pairs as the driver writes it: its size, then the pairs."""
    return [len(solutions), solutions]


def flatten(value):
    """A result's numbers in order, as doubles (a bool as 0.0 or 1.0)."""
    if isinstance(value, (tuple, list)):
        return [x for item in value for x in flatten(item)]
    return [float(value)]


def python_records(call, arm, inputs, messages):
    """The driver's records of the Python calls; each failure's message is checked against the
    driver's text of its kind."""
    kind_of = {(KINDS[k], text): k for k, text in messages.items()}
    out = np.zeros((len(inputs), RECORD))
    for i, x in enumerate(inputs):
        try:
            numbers = flatten(call(arm, x))
            out[i, 1 : 1 + len(numbers)] = numbers
        except (RuntimeError, ValueError) as failure:
            out[i, 0] = kind_of.get((type(failure), str(failure)), -1)
    return out


@pytest.mark.slow
def test_bitwise_agreement_with_python(installed):
    driver = installed / "torso_cpp_agreement"
    messages = dict(line.split(" ", 1) for line in run(driver, "--messages").splitlines())
    messages = {int(k): text for k, text in messages.items()}
    rng = np.random.default_rng(20)
    blocks = []  # (method, arm index, inputs)
    for method, (columns, _) in METHODS.items():
        for arm_index, n in enumerate((CALLS - 2 * (CALLS // 3), CALLS // 3, CALLS // 3)):
            blocks.append((method, arm_index, driver_inputs(rng, arm_index, n, columns).astype("<f8")))
    script = b"".join(f"{m} {len(x)}\n".encode() + x.tobytes() for m, _, x in blocks)
    answers = subprocess.run([driver], input=script, capture_output=True, timeout=600, check=True).stdout
    answers = np.frombuffer(answers, dtype="<f8").reshape(-1, RECORD).view("<u8")

    tally = {}  # method: [agreeing successes, agreeing failures, disagreements]
    start = 0
    for method, arm_index, inputs in blocks:
        expected = python_records(METHODS[method][1], ARMS[arm_index], inputs.tolist(), messages)
        got = answers[start : start + len(inputs)]
        start += len(inputs)
        agree = (expected.view("<u8") == got).all(axis=1)
        failed = expected[:, 0] != 0
        row = tally.setdefault(method, [0, 0, 0])
        row[0] += int((agree & ~failed).sum())
        row[1] += int((agree & failed).sum())
        row[2] += int((~agree).sum())
    assert start == len(answers)
    print("\nmethod: agreeing successes, agreeing failures, disagreements")
    for method, row in tally.items():
        print(f"{method}: {row[0]}, {row[1]}, {row[2]}")
    assert all(row[2] == 0 for row in tally.values()), tally
    assert all(sum(row) == CALLS for row in tally.values())
