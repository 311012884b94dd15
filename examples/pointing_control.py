"""Steer an arm's pointing direction along a great-circle arc with resolved-rate control.

    python examples/pointing_control.py                      # 0.5 rad/s, 2 ms steps
    python examples/pointing_control.py --speed 1.0 --dt 0.001 --correct-every 0

The wanted direction d(t) turns at a constant angular speed ω about the axis k normal to the
arc, so its rate is ḋ = ω k × d(t). Each control step asks `joint_rates` for the joint rates
that give that rate at the current joints and integrates them over one step (explicit Euler).
Euler steps drift off the arc by a little each time; every few steps `ik_from_direction`, given
the current joints as `near`, puts the joints back on the exact solution of the same branch.
The script prints the largest pointing error met (the angle between `direction(θ)` and d(t),
measured before each correction) and the smallest `manipulability` on the way.
"""

import argparse
import math
import sys

from tarvelo_torso_kinematics import TarveloArmKinematics

START = (0.2, -0.4)  # joint pairs whose directions the arc joins, on the default left arm
END = (-0.3, 0.5)


def parse_arguments(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--speed", type=float, default=0.5, help="angular speed along the arc, rad/s (default 0.5)")
    parser.add_argument("--dt", type=float, default=0.002, help="control step, s (default 0.002)")
    parser.add_argument(
        "--correct-every",
        type=int,
        default=10,
        metavar="N",
        help="correct the joints with ik_from_direction every N steps; 0: never (default 10)",
    )
    arguments = parser.parse_args(argv)
    if not (arguments.speed > 0.0 and arguments.dt > 0.0 and arguments.correct_every >= 0):
        parser.error("--speed and --dt must be positive, --correct-every at least 0")
    return arguments


def cross(p, q):
    return [p[1] * q[2] - p[2] * q[1], p[2] * q[0] - p[0] * q[2], p[0] * q[1] - p[1] * q[0]]


def angle_between(p, q):
    """Angle between two unit vectors, accurate for small angles too."""
    return math.atan2(math.hypot(*cross(p, q)), sum(a * b for a, b in zip(p, q, strict=True)))


def great_circle(d_start, d_end):
    """(unit axis k, arc length, d(angle)): the arc from d_start to d_end about k."""
    normal = cross(d_start, d_end)
    length = math.hypot(*normal)
    k = [x / length for x in normal]
    k_cross_start = cross(k, d_start)

    def point(angle):
        c, s = math.cos(angle), math.sin(angle)
        return [c * a + s * b for a, b in zip(d_start, k_cross_start, strict=True)]

    return k, angle_between(d_start, d_end), point


def run(arm, speed, dt, correct_every):
    """Follow the arc; returns (steps, largest pointing error, smallest manipulability)."""
    k, length, wanted = great_circle(arm.direction(*START), arm.direction(*END))
    duration = length / speed
    steps = math.ceil(duration / dt)
    theta_a, theta_b = START
    worst_error, least_gain = 0.0, arm.manipulability(theta_a, theta_b)
    for step in range(steps):
        t, t_next = step * dt, min(duration, (step + 1) * dt)  # the last step may be shorter
        d = wanted(speed * t)
        rate = [speed * x for x in cross(k, d)]  # ḋ = ω k × d
        rate_a, rate_b = arm.joint_rates(theta_a, theta_b, rate)
        theta_a, theta_b = theta_a + (t_next - t) * rate_a, theta_b + (t_next - t) * rate_b
        d_next = wanted(speed * t_next)
        worst_error = max(worst_error, angle_between(arm.direction(theta_a, theta_b), d_next))
        if correct_every and (step + 1) % correct_every == 0:
            theta_a, theta_b = arm.ik_from_direction(d_next, near=(theta_a, theta_b))
        least_gain = min(least_gain, arm.manipulability(theta_a, theta_b))
    return steps, length, worst_error, least_gain, (theta_a, theta_b)


def main(argv=None):
    arguments = parse_arguments(argv)
    arm = TarveloArmKinematics.default_left()
    steps, length, worst_error, least_gain, final = run(arm, arguments.speed, arguments.dt, arguments.correct_every)
    print(
        f"arc of {length:.4f} rad at {arguments.speed:g} rad/s: {steps} steps of {arguments.dt:g} s, "
        f"ending at joints ({final[0]:.6f}, {final[1]:.6f})"
    )
    print(f"largest pointing error {worst_error:.3e} rad")
    print(f"smallest manipulability {least_gain:.4f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
