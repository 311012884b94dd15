"""Shared instances under 8 threads at once give the single-threaded results."""

import math
import sys
import threading
import time

import numpy as np

from tarvelo_torso_kinematics import TarveloArmKinematics, TarveloNeckKinematics

THREADS = 8
SECONDS = 3.0

LEFT = TarveloArmKinematics.default_left()
RIGHT = TarveloArmKinematics.default_right()
NEGATIVE = TarveloArmKinematics.from_json('[0.7, 0.5, "negative", false]')
NECK = TarveloNeckKinematics()


class Yielding:
    """A float-like value whose conversion hands the interpreter to another thread."""

    def __init__(self, value):
        self.value = value

    def __float__(self):
        time.sleep(0)
        return self.value


def outcome(call):
    try:
        return ("ok", call())
    except (RuntimeError, ValueError, TypeError) as error:
        return (type(error).__name__, str(error))


def workload():
    """(label, call) pairs covering every method; the same list on every thread."""
    calls = []
    for name, arm in [("left", LEFT), ("right", RIGHT), ("negative", NEGATIVE)]:
        for a, b in [(0.5, 0.5), (0.3, -0.2), (0.0, math.pi), (-0.4, 0.1)]:
            rows = arm.fk(a, b) if arm.is_reachable_joints(a, b) else [[1, 0, 0], [0, 1, 0], [0, 0, 1]]
            d = rows[0][2], rows[1][2], rows[2][2]
            calls += [
                (f"{name}-fk-{a}-{b}", lambda arm=arm, a=a, b=b: arm.fk(a, b)),
                (f"{name}-fk-yield-{a}-{b}", lambda arm=arm, a=a, b=b: arm.fk(Yielding(a), Yielding(b))),
                (f"{name}-direction-{a}-{b}", lambda arm=arm, a=a, b=b: arm.direction(a, b)),
                (f"{name}-joints-{a}-{b}", lambda arm=arm, a=a, b=b: arm.is_reachable_joints(a, b)),
                (f"{name}-ik-{a}-{b}", lambda arm=arm, rows=rows: arm.ik(rows)),
                (f"{name}-orientation-{a}-{b}", lambda arm=arm, rows=rows: arm.is_reachable_orientation(rows)),
                (f"{name}-ikdir-{a}-{b}", lambda arm=arm, d=d: arm.ik_from_direction(list(d))),
                (
                    f"{name}-ikdir-near-{a}-{b}",
                    lambda arm=arm, d=d, a=a, b=b: arm.ik_from_direction([Yielding(x) for x in d], near=(a, b)),
                ),
                (f"{name}-reach-dir-{a}-{b}", lambda arm=arm, d=d: arm.is_reachable_direction(d)),
                (f"{name}-jacobian-{a}-{b}", lambda arm=arm, a=a, b=b: arm.jacobian(Yielding(a), b)),
                (
                    f"{name}-rates-{a}-{b}",
                    lambda arm=arm, a=a, b=b, d=d: arm.joint_rates(a, b, [Yielding(x) for x in d]),
                ),
                (
                    f"{name}-solutions-{a}-{b}",
                    lambda arm=arm, rows=rows, d=d: (arm.ik_solutions(rows), arm.ik_from_direction_solutions(d)),
                ),
            ]
        # Array calls hand the interpreter lock over while they compute.
        joints = np.array([[0.5, 0.5], [0.3, -0.2], [0.0, math.pi], [-0.4, 0.1]] * 1000)
        rotations, directions = arm.fk_batch(joints), arm.direction_batch(joints)
        calls += [
            (f"{name}-fk-batch", lambda arm=arm, j=joints: arm.fk_batch(j, workers=2).tobytes()),
            (f"{name}-ik-batch", lambda arm=arm, r=rotations: arm.ik_batch(r[::4]).tobytes()),
            (f"{name}-path", lambda arm=arm, d=directions: arm.ik_from_direction_path(d[:400], (0.5, 0.5)).tobytes()),
            (
                f"{name}-rates-batch",
                lambda arm=arm, j=joints: (
                    arm.jacobian_batch(j, workers=2).tobytes(),
                    arm.manipulability_batch(j[::4]).tobytes(),
                ),
            ),
            (
                f"{name}-reach-dir-batch",
                lambda arm=arm, d=directions: arm.is_reachable_direction_batch(d[::4], workers=-1).tobytes(),
            ),
        ]
        calls.append(
            (
                f"{name}-accessors",
                lambda arm=arm: (arm.arm_arc(), arm.coupler_arc(), arm.mirror(), arm.branch(), arm.to_json()),
            )
        )
    for joints in [[0.3, 0.2, 0.1], [0.5, 2.0, 0.3], [0.0, math.pi / 2, 0.0]]:
        calls += [
            (f"neck-fk-{joints}", lambda j=joints: NECK.fk(j)),
            (f"neck-fk-yield-{joints}", lambda j=joints: NECK.fk([Yielding(x) for x in j])),
            (f"neck-ik-{joints}", lambda j=joints: NECK.ik(NECK.fk(j))),
            (
                f"neck-rates-{joints}",
                lambda j=joints: (NECK.jacobian(j), NECK.joint_rates(j, [Yielding(0.1), 0.2, 0.3])),
            ),
        ]
    neck_joints = np.linspace(-1.5, 1.5, 30_000).reshape(-1, 3)
    calls += [
        ("neck-fk-batch", lambda: NECK.fk_batch(neck_joints, workers=2).tobytes()),
        ("neck-ik-batch", lambda: NECK.ik_batch(NECK.fk_batch(neck_joints)).tobytes()),
        ("from-json", lambda: TarveloArmKinematics.from_json('{"arm_arc": 0.6, "coupler_arc": 0.4}').arm_arc()),
        ("from-json-refused", lambda: TarveloArmKinematics.from_json('{"arm_arc": 0.6}')),
        ("new", lambda: TarveloArmKinematics(Yielding(0.6), 0.4, True).coupler_arc()),
    ]
    return calls


def test_eight_threads_agree_with_one():
    calls = workload()
    expected = {label: outcome(call) for label, call in calls}
    counts = [0] * THREADS
    mismatches = []
    stop = time.monotonic() + SECONDS
    start = threading.Barrier(THREADS)

    def worker(index):
        start.wait()
        while time.monotonic() < stop:
            for label, call in calls:
                got = outcome(call)
                if got != expected[label]:
                    mismatches.append((label, got, expected[label]))
                counts[index] += 1

    old_interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-5)  # switch threads as often as the interpreter allows
    try:
        threads = [threading.Thread(target=worker, args=(i,)) for i in range(THREADS)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    finally:
        sys.setswitchinterval(old_interval)
    assert mismatches == []
    assert all(count >= len(calls) for count in counts), counts
    print(f"calls per thread: {counts}, total {sum(counts)}")
