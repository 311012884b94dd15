"""A client of every method, typed as the stub types them: `mypy --strict` accepts it and it runs."""

from collections.abc import Sequence
from typing import Literal

import numpy as np
import numpy.typing as npt

from tarvelo_torso_kinematics import TarveloArmKinematics, TarveloNeckKinematics


def pointing(arm: TarveloArmKinematics, joints: tuple[float, float]) -> list[float]:
    return arm.direction(*joints)


def arm_round_trip() -> tuple[float, float]:
    arm = TarveloArmKinematics(arm_arc=0.7, coupler_arc=0.5, mirror=False)
    left: TarveloArmKinematics = TarveloArmKinematics.default_left()
    right = left.default_right()
    parsed = TarveloArmKinematics.from_json(json='{"arm_arc": 0.7, "coupler_arc": 0.5}')
    rotation: list[list[float]] = parsed.fk(0.1, theta_b=0.2)
    rows: Sequence[Sequence[float]] = tuple(tuple(row) for row in rotation)
    theta_a, theta_b = arm.ik(r_target=rows)
    near: tuple[float, float] | None = (theta_a, theta_b)
    pair: tuple[float, float] = arm.ik_from_direction(pointing(arm, (0.1, 0.2)), near=near)
    reachable: bool = (
        arm.is_reachable_joints(theta_a, theta_b)
        and arm.is_reachable_orientation(rotation)
        and arm.is_reachable_direction(v3=(0.0, 0.0, 1.0))
    )
    jacobian: list[list[float]] = arm.jacobian(0.1, theta_b=0.2)
    pointing_rates: list[list[float]] = arm.direction_jacobian(0.1, 0.2)
    rates: tuple[float, float] = arm.joint_rates(0.1, 0.2, direction_rate=(0.0, 0.1, 0.0))
    gain: float = arm.manipulability(theta_a=0.1, theta_b=0.2) + jacobian[0][0] + pointing_rates[2][1]
    solutions: list[tuple[float, float]] = arm.ik_solutions(rows) + arm.ik_from_direction_solutions(v3=[1.0, 1.0, 1.0])
    print(rates, gain, solutions)
    arcs: float = right.arm_arc() + right.coupler_arc()
    mirrored: bool = right.mirror()
    branch: Literal["positive", "negative"] = right.branch()
    copy = TarveloArmKinematics.from_json(right.to_json())
    print(reachable, arcs, mirrored, branch, copy.branch())
    return pair


def neck_round_trip() -> tuple[float, float, float]:
    neck = TarveloNeckKinematics()
    yaw, pitch, roll = neck.ik(r=neck.fk(joints=[0.3, 0.2, 0.1]))
    columns: list[list[float]] = neck.jacobian([yaw, pitch, roll])
    yaw_rate, pitch_rate, roll_rate = neck.joint_rates(joints=(yaw, pitch, roll), angular_velocity=columns[0])
    print(yaw_rate + pitch_rate + roll_rate)
    return (yaw, pitch, roll)


def float_arrays_as_arguments() -> tuple[float, float, float]:
    """Float arrays where the scalar methods read a vector or a matrix, as numpy gives them."""
    arm, neck = TarveloArmKinematics.default_left(), TarveloNeckKinematics()
    r: npt.NDArray[np.float64] = np.asarray(arm.fk(0.3, -0.2))
    pair = arm.ik(np.asarray(arm.fk(0.3, -0.2)))
    toward = arm.ik_from_direction(r[:, 2])
    rates = arm.joint_rates(0.3, -0.2, np.array([0, 0.1, 0]))
    # As scipy's Rotation.as_matrix() gives it: one float64 (3, 3) array.
    head: npt.NDArray[np.float64] = neck.fk_batch([0.3, 0.2, 0.1])
    print(pair, toward, rates)
    return neck.ik(head)


def newer_methods() -> npt.NDArray[np.float64]:
    arm, neck = TarveloArmKinematics.default_left(), TarveloNeckKinematics()
    theta_a, theta_b, distance = arm.ik_nearest(r_target=arm.fk(0.3, -0.2))
    points: list[list[float]] = arm.linkage_points(theta_a, theta_b=theta_b)
    joints: npt.NDArray[np.float64] = np.array([[0.1, 0.2], [0.3, -0.1]])
    nearest: npt.NDArray[np.float64] = arm.ik_nearest_batch(arm.fk_batch(joints), workers=2)
    rates: npt.NDArray[np.float64] = arm.joint_rates_batch(joints, direction_rates=[0.0, 0.1, 0.0])
    head_rates = neck.joint_rates_batch([[0.3, 0.2, 0.1]], angular_velocities=[[0.0, 0.1, 0.0]], workers=-1)
    print(distance, points, nearest, rates, head_rates)
    return arm.linkage_points_batch(joints)


def arrays() -> npt.NDArray[np.float64]:
    arm = TarveloArmKinematics.default_left()
    joints: npt.NDArray[np.float64] = np.array([[0.1, 0.2], [0.3, -0.1]])
    rotations: npt.NDArray[np.float64] = arm.fk_batch(joints, workers=2)
    directions = arm.direction_batch([[0.1, 0.2]], workers=-1)
    closes: npt.NDArray[np.bool_] = arm.is_reachable_joints_batch(joints)
    pairs = arm.ik_batch(rotations) + arm.ik_from_direction_batch(directions, near=(0.1, 0.2))
    reached: npt.NDArray[np.bool_] = arm.is_reachable_orientation_batch(rotations) & arm.is_reachable_direction_batch(
        directions
    )
    path = arm.ik_from_direction_path(directions, near=None, out=np.empty((1, 2)))
    same: npt.NDArray[np.float64] = arm.fk_batch(joints, workers=2, out=rotations)
    closes = arm.is_reachable_joints_batch(joints, out=closes)
    print(same is rotations)
    rates: npt.NDArray[np.float64] = arm.jacobian_batch(joints) + arm.direction_jacobian_batch(joints, workers=2)
    gains: npt.NDArray[np.float64] = arm.manipulability_batch(joints)
    print(rates, gains, TarveloNeckKinematics().jacobian_batch([[0.3, 0.2, 0.1]]))
    neck = TarveloNeckKinematics()
    triples = neck.ik_batch(neck.fk_batch([[0.3, 0.2, 0.1]]), workers=1)
    print(closes, reached, path, triples)
    return pairs


if __name__ == "__main__":
    arm_round_trip()
    neck_round_trip()
    arrays()
    float_arrays_as_arguments()
    newer_methods()
