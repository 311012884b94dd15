"""A first look at tarvelo_torso_kinematics: every scalar method of both classes once, array calls, and each failure."""

import math

from tarvelo_torso_kinematics import TarveloArmKinematics, TarveloNeckKinematics


def show(label, value):
    print(f"{label:<46} {value}")


def rounded(values, digits=6):
    """Floats, or lists/tuples of them (a rotation is a list of rows), rounded for printing."""
    if isinstance(values, float):
        return round(values, digits) + 0.0  # + 0.0 turns -0.0 into 0.0
    return type(values)(rounded(value, digits) for value in values)


def show_failure(label, call):
    try:
        call()
    except (RuntimeError, ValueError, TypeError) as error:
        show(label, f"{type(error).__name__}: {error}")
    else:
        raise AssertionError(f"{label}: expected an exception")


def arms():
    print("-- arms: (arm_arc(), coupler_arc(), mirror())")
    left = TarveloArmKinematics.default_left()
    right = TarveloArmKinematics.default_right()
    wide = TarveloArmKinematics(0.9, coupler_arc=0.6)
    for name, arm in (
        ("TarveloArmKinematics.default_left()", left),
        ("TarveloArmKinematics.default_right()", right),
        ("TarveloArmKinematics(0.9, coupler_arc=0.6)", wide),
    ):
        show(name, (arm.arm_arc(), arm.coupler_arc(), arm.mirror()))
    return left, right


def forward_and_inverse(left, right):
    print("-- forward and inverse kinematics")
    rotation = left.fk(0.5, 0.5)
    show("left.fk(0.5, 0.5) rows [e_x, e_y, v_3]", rounded(rotation[0]))
    show("", rounded(rotation[1]))
    show("", rounded(rotation[2]))
    show("left.direction(0.5, 0.5)  (third column)", rounded(left.direction(0.5, 0.5)))
    show("left.ik(left.fk(0.5, 0.5))", rounded(left.ik(rotation), 12))
    show("right.direction(0.0, 0.0)", rounded(right.direction(0.0, 0.0)))

    pointing = left.direction(0.5, 0.5)
    show("left.ik_from_direction(d)  (smallest norm)", rounded(left.ik_from_direction(pointing)))
    near = left.ik_from_direction(pointing, near=(0.5, 0.5))
    show("left.ik_from_direction(d, near=(0.5, 0.5))", rounded(near))
    longer = [5 * x for x in pointing]
    show("left.ik_from_direction(5 * d)  (any length)", rounded(left.ik_from_direction(longer)))

    show("left.is_reachable_joints(0.5, 0.5)", left.is_reachable_joints(0.5, 0.5))
    show("left.is_reachable_joints(0.0, pi)", left.is_reachable_joints(0.0, math.pi))
    show("left.is_reachable_orientation(fk(0.5, 0.5))", left.is_reachable_orientation(rotation))
    twisted = [
        [row[0] * math.cos(0.1) + row[1] * math.sin(0.1), -row[0] * math.sin(0.1) + row[1] * math.cos(0.1), row[2]]
        for row in rotation
    ]
    show("... the same, turned 0.1 rad about v_3", left.is_reachable_orientation(twisted))
    show("left.is_reachable_direction(d)", left.is_reachable_direction(pointing))
    show("left.is_reachable_direction(u_A = [0, 0, 1])", left.is_reachable_direction([0, 0, 1]))


def neck_kinematics():
    print("-- neck")
    neck = TarveloNeckKinematics()
    head = neck.fk([0.3, 0.2, 0.1])
    show("neck.fk([0.3, 0.2, 0.1]) first row", rounded(head[0]))
    show("neck.ik(neck.fk([0.3, 0.2, 0.1]))", rounded(neck.ik(head), 12))
    return neck


def geometry_documents():
    print("-- geometry documents")
    document = '{"arm_arc": 0.7, "coupler_arc": 0.5, "branch": "negative", "mirror": false}'
    negative = TarveloArmKinematics.from_json(document)
    show("object form, negative branch: direction(0, 0)", rounded(negative.direction(0.0, 0.0)))
    array = TarveloArmKinematics.from_json('[0.7, 0.5, "positive", true]')
    show('array form [0.7, 0.5, "positive", true]', (array.arm_arc(), array.coupler_arc(), array.mirror()))


def arrays(left, neck):
    print("-- arrays: one call for many rows (needs numpy)")
    joints = [[0.5, 0.5], [0.0, math.pi], [-0.2, 0.3]]
    rotations = left.fk_batch(joints)
    show("left.fk_batch(3 joint pairs).shape", rotations.shape)
    show("left.is_reachable_joints_batch(same)", left.is_reachable_joints_batch(joints).tolist())
    show("left.ik_batch(left.fk_batch(same))  (NaN row)", rounded(left.ik_batch(rotations).tolist()))
    show(
        "neck.ik_batch(neck.fk_batch(2 triples))",
        rounded(neck.ik_batch(neck.fk_batch([[0.3, 0.2, 0.1], [0.0, -0.4, 0.2]])).tolist(), 12),
    )


def failures(left, neck):
    print("-- failures")
    show_failure("left.fk(0.0, pi)", lambda: left.fk(0.0, math.pi))
    show_failure("left.ik(identity)", lambda: left.ik([[1, 0, 0], [0, 1, 0], [0, 0, 1]]))
    show_failure("left.ik_from_direction([0, 0, 1])", lambda: left.ik_from_direction([0, 0, 1]))
    show_failure("neck.ik(neck.fk([0, pi/2, 0]))", lambda: neck.ik(neck.fk([0.0, math.pi / 2, 0.0])))
    show_failure("from_json('{\"arm_arc\": 0.7}')", lambda: TarveloArmKinematics.from_json('{"arm_arc": 0.7}'))
    show_failure(
        "left.ik_from_direction(d, near=[0.5, 0.5])", lambda: left.ik_from_direction([1, 0, 0], near=[0.5, 0.5])
    )
    show_failure("left.fk(0.5)", lambda: left.fk(0.5))


def main():
    left, right = arms()
    forward_and_inverse(left, right)
    neck = neck_kinematics()
    geometry_documents()
    arrays(left, neck)
    failures(left, neck)


if __name__ == "__main__":
    main()
