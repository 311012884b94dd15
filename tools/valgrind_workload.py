"""Every method on its success and failure paths, for a run under valgrind (make valgrind)."""

import math
import sys

import numpy as np

from tarvelo_torso_kinematics import TarveloArmKinematics as Arm, TarveloNeckKinematics as Neck


class Raises:
    def __float__(self):
        raise TypeError("not a number")


def calls(arm, neck):
    rows, d = arm.fk(0.5, 0.5), arm.direction(0.5, 0.5)
    yield lambda: Arm(0.6, 0.4, True)
    yield lambda: Arm(mirror=1)
    yield lambda: Arm(1, 2, 3, 4)
    yield lambda: Arm.from_json('{"arm_arc": 0.7, "coupler_arc": 0.5, "branch": {"negative": null}, "x": [1, {}]}')
    yield lambda: Arm.from_json('[0.7, 0.5, "positive", true]')
    yield lambda: Arm.from_json('{"arm_arc": 0.7, "arm_arc": 0.7}')
    yield lambda: Arm.from_json("[" * 5000)
    yield lambda: (arm.arm_arc(), arm.coupler_arc(), arm.mirror(), Arm.default_left(), Arm.default_right())
    yield lambda: (arm.to_json(), arm.branch(), Arm.from_json(Arm(-0.0, 5e-324).to_json()))
    yield lambda: Arm(float("inf")).to_json()
    yield lambda: arm.fk(0.5, 0.5)
    yield lambda: arm.fk(0.0, math.pi)
    yield lambda: arm.fk(Raises(), 0.0)
    yield lambda: arm.direction(float("nan"), 0.0)
    yield lambda: arm.is_reachable_joints(1.0, 1.0)
    yield lambda: arm.ik(rows)
    yield lambda: arm.ik([[1, 0, 0], [0, 1, 0], [0, 0, 1]])
    yield lambda: arm.ik([rows[0], [1.0], rows[2]])
    yield lambda: arm.is_reachable_orientation(rows)
    yield lambda: arm.ik_from_direction(d, near=(0.5, 0.5))
    yield lambda: arm.ik_from_direction([0.0, 0.0, 0.0])
    yield lambda: arm.ik_from_direction(d, near=[0.5, 0.5])
    yield lambda: arm.is_reachable_direction(d)
    yield lambda: arm.is_reachable_direction({})
    yield lambda: neck.fk([0.3, 0.2, 0.1])
    yield lambda: neck.ik(neck.fk([0.3, 0.2, 0.1]))
    yield lambda: neck.ik(neck.fk([0.0, math.pi / 2, 0.0]))
    yield lambda: Neck(1)
    yield lambda: (arm.jacobian(0.5, 0.5), arm.direction_jacobian(0.5, 0.5), arm.manipulability(0.5, 0.5))
    yield lambda: arm.jacobian(0.0, math.pi)
    yield lambda: arm.joint_rates(0.5, 0.5, d)
    yield lambda: arm.joint_rates(0.5, 0.5, {})
    yield lambda: (
        arm.ik_solutions(rows),
        arm.ik_from_direction_solutions(d),
        arm.ik_from_direction_solutions([0, 0, 1]),
    )
    yield lambda: (neck.jacobian([0.3, 0.2, 0.1]), neck.joint_rates([0.3, 0.2, 0.1], d))
    yield lambda: neck.joint_rates([0.0, math.pi / 2, 0.0], d)
    joint_rows = [[0.5, 0.5], [0.0, math.pi]] * 2000
    yield lambda: arm.fk_batch(joint_rows, workers=2)
    yield lambda: arm.is_reachable_orientation_batch([arm.fk(0.5, 0.5)] * 3)
    yield lambda: arm.ik_from_direction_batch([[d, d], [d, d]], near=[[(0.5, 0.5)], [(0.4, 0.4)]], workers=-1)
    yield lambda: arm.ik_from_direction_path([d, [0.0, 0.0, 1.0], d])
    yield lambda: neck.ik_batch(neck.fk_batch([[0.3, 0.2, 0.1], [0.0, math.pi / 2, 0.0]]))
    yield lambda: (arm.jacobian_batch(joint_rows, workers=2), arm.direction_jacobian_batch(joint_rows[:3]))
    yield lambda: (arm.manipulability_batch(joint_rows), neck.jacobian_batch([[0.3, 0.2, 0.1]]))
    yield lambda: (arm.ik_nearest(rows), arm.linkage_points(0.5, 0.5))
    yield lambda: arm.ik_nearest([[1, 0, 0], [0, 1, 0], [0, 0, 1]])
    yield lambda: arm.linkage_points(0.0, math.pi)
    yield lambda: arm.ik_nearest_batch([rows, [[1, 0, 0], [0, 1, 0], [0, 0, 1]]] * 500, workers=2)
    yield lambda: (arm.joint_rates_batch(joint_rows, d, workers=2), arm.linkage_points_batch(joint_rows[:3]))
    yield lambda: neck.joint_rates_batch([[0.3, 0.2, 0.1], [0.0, math.pi / 2, 0.0]], [d, d])
    yield lambda: arm.joint_rates_batch(joint_rows, [d, d])
    yield lambda: arm.fk_batch([[1j, 0]])
    yield lambda: arm.fk_batch(joint_rows, workers=0)
    fk_out, pair_out = np.empty((len(joint_rows), 3, 3)), np.empty((3, 2))
    yield lambda: arm.fk_batch(joint_rows, workers=2, out=fk_out)
    yield lambda: arm.ik_from_direction_path([d, [0.0, 0.0, 1.0], d], out=pair_out)
    yield lambda: arm.ik_from_direction_batch([d, d, d], near=pair_out[0], out=pair_out)
    yield lambda: arm.fk_batch(joint_rows, out=fk_out[:3])
    yield lambda: arm.is_reachable_joints_batch(joint_rows, out=fk_out)


def main():
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 200
    outcomes = {}
    for arm in (Arm.default_left(), Arm.default_right(), Arm(0.9, 0.6)):
        for call in list(calls(arm, Neck())) * rounds:
            try:
                call()
                outcomes["ok"] = outcomes.get("ok", 0) + 1
            except (TypeError, ValueError, RuntimeError) as error:
                outcomes[type(error).__name__] = outcomes.get(type(error).__name__, 0) + 1
    print(sorted(outcomes.items()))


if __name__ == "__main__":
    main()
