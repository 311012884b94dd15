"""A first look at tarvelo_torso_kinematics: both arms, the neck and a geometry document."""

import math

from tarvelo_torso_kinematics import TarveloArmKinematics, TarveloNeckKinematics


def show(label, value):
    print(f"{label:<44} {value}")


def main():
    left = TarveloArmKinematics.default_left()
    right = TarveloArmKinematics.default_right()
    show("left arm (arm_arc, coupler_arc, mirror)", (left.arm_arc(), left.coupler_arc(), left.mirror()))
    show("right arm (arm_arc, coupler_arc, mirror)", (right.arm_arc(), right.coupler_arc(), right.mirror()))

    rotation = left.fk(0.5, 0.5)
    show("left.fk(0.5, 0.5) first row", [round(x, 6) for x in rotation[0]])
    show("left.direction(0.5, 0.5)", [round(x, 6) for x in left.direction(0.5, 0.5)])
    show("left.ik(left.fk(0.5, 0.5))", left.ik(rotation))

    pointing = left.direction(0.5, 0.5)
    show("left.ik_from_direction(d)", left.ik_from_direction(pointing))
    show("left.ik_from_direction(d, near=(0.5, 0.5))", left.ik_from_direction(pointing, near=(0.5, 0.5)))
    show("right.direction(0.0, 0.0)", [round(x, 6) for x in right.direction(0.0, 0.0)])

    try:
        left.fk(0.0, math.pi)
    except RuntimeError as error:
        show("left.fk(0.0, pi) raises", f"RuntimeError: {error}")
    show("left.is_reachable_joints(0.0, pi)", left.is_reachable_joints(0.0, math.pi))

    neck = TarveloNeckKinematics()
    head = neck.fk([0.3, 0.2, 0.1])
    show("neck.fk([0.3, 0.2, 0.1]) first row", [round(x, 6) for x in head[0]])
    show("neck.ik(neck.fk([0.3, 0.2, 0.1]))", tuple(round(x, 12) for x in neck.ik(head)))
    try:
        neck.ik(neck.fk([0.0, math.pi / 2, 0.0]))
    except ValueError as error:
        show("neck.ik at pitch pi/2 raises", f"ValueError: {error}")

    negative = TarveloArmKinematics.from_json('{"arm_arc": 0.7, "coupler_arc": 0.5, "branch": "negative"}')
    show("negative-branch arm direction(0.0, 0.0)", [round(x, 6) for x in negative.direction(0.0, 0.0)])
    try:
        TarveloArmKinematics.from_json('{"arm_arc": 0.7}')
    except ValueError as error:
        show("from_json without coupler_arc raises", f"ValueError: {error}")


if __name__ == "__main__":
    main()
