"""No heap allocation of the module's own on any method's success path (counted by valgrind).

Python's small objects come from its own arenas, not malloc, so a loop of successful calls
adds malloc calls only if the module (or a library it calls) allocates per call.
"""

import os
import re
import shutil
import subprocess
import sys

import pytest

# Slow (two valgrind runs): once, on the main interpreter, not in every CI leg.
pytestmark = pytest.mark.slow

LOOP = """
import sys
from tarvelo_torso_kinematics import TarveloArmKinematics as C, TarveloNeckKinematics as N
arm, neck = C.default_left(), N()
rows, d, nrows = arm.fk(0.5, 0.5), arm.direction(0.5, 0.5), neck.fk([0.3, 0.2, 0.1])
doc = '{"arm_arc": 0.7, "coupler_arc": 0.5, "branch": "negative", "mirror": true, "note": [1, {"x": null}]}'
for _ in range(int(sys.argv[1])):
    C(0.6, 0.4, True); C.default_left(); C.default_right(); C.from_json(doc); C.from_json("[0.7, 0.5]")
    arm.arm_arc(); arm.coupler_arc(); arm.mirror(); arm.branch(); arm.to_json()
    arm.fk(0.5, 0.5); arm.direction(0.5, 0.5); arm.is_reachable_joints(0.5, 0.5)
    arm.ik(rows); arm.is_reachable_orientation(rows)
    arm.ik_from_direction(d); arm.ik_from_direction(d, near=(0.5, 0.5)); arm.is_reachable_direction(d)
    N(); neck.fk([0.3, 0.2, 0.1]); neck.ik(nrows)
    arm.jacobian(0.5, 0.5); arm.direction_jacobian(0.5, 0.5); arm.joint_rates(0.5, 0.5, d); arm.manipulability(0.5, 0.5)
    arm.ik_solutions(rows); arm.ik_from_direction_solutions(d); neck.jacobian([0.3, 0.2, 0.1]); neck.joint_rates([0.3, 0.2, 0.1], d)
"""


def malloc_count(iterations):
    run = subprocess.run(
        ["valgrind", "--tool=memcheck", sys.executable, "-c", LOOP, str(iterations)],
        capture_output=True,
        text=True,
        timeout=300,
    )
    if "Fatal error at startup" in run.stderr:
        # As on an interpreter that brings a C library whose loader is stripped: valgrind stops
        # before the interpreter starts, so there is nothing to count. Its first two paragraphs say why.
        said = "\n".join(
            line.removeprefix("valgrind:").strip() for line in run.stderr.splitlines() if line.startswith("valgrind:")
        )
        why = " ".join(" ".join(said.strip().split("\n\n")[:2]).split())
        pytest.skip(f"valgrind cannot start {sys.executable}: {why}")
    assert run.returncode == 0, run.stderr
    found = re.search(r"total heap usage: ([\d,]+) allocs", run.stderr)
    assert found, run.stderr
    return int(found.group(1).replace(",", ""))


@pytest.mark.skipif(shutil.which("valgrind") is None, reason="valgrind is not installed")
@pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""), reason="valgrind cannot run beside AddressSanitizer")
def test_success_paths_do_not_allocate():
    few, many = malloc_count(10), malloc_count(1010)
    # 1000 more iterations of 29 calls: one allocation per call would add 29,000.
    assert many - few < 50, (few, many)
