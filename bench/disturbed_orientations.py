"""How many disturbed fk rotations ik refuses, and what ik_nearest returns for them.

100,000 rotations that fk gives for random joint pairs in [-pi, pi]^2 (the first that close),
disturbed as measured or planned orientations are: a float32 quaternion round trip, and noise
of a rotation vector whose components have a standard deviation of 1e-7 or 1e-6 rad. For each,
the share that ik_batch refuses, the share that ik_nearest_batch refuses (no candidate: the
target's pointing direction is pushed out of the workspace), the largest distance ik_nearest
returns, and whether ik_nearest gives ik's very pair wherever ik succeeds. Needs scipy.

    python bench/disturbed_orientations.py [--rows 100000] [--seed 22]
"""

import argparse
import sys

import numpy as np
from scipy.spatial.transform import Rotation

from tarvelo_torso_kinematics import TarveloArmKinematics


def fk_rotations(arm, rows, rng):
    rotations = arm.fk_batch(rng.uniform(-np.pi, np.pi, (8 * rows, 2)))
    return rotations[~np.isnan(rotations[:, 0, 0])][:rows]


def quaternion_float32(rotations, rng):
    quaternions = Rotation.from_matrix(rotations).as_quat().astype(np.float32)
    return Rotation.from_quat(quaternions.astype(np.float64)).as_matrix()


def noise(sigma):
    def disturb(rotations, rng):
        turn = Rotation.from_rotvec(rng.normal(0.0, sigma, (len(rotations), 3)))
        return (turn * Rotation.from_matrix(rotations)).as_matrix()

    return disturb


DISTURBANCES = [
    ("none", lambda rotations, rng: rotations),
    ("a float32 quaternion round trip", quaternion_float32),
    ("1e-7 rad of noise", noise(1e-7)),
    ("1e-6 rad of noise", noise(1e-6)),
]


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rows", type=int, default=100_000)
    parser.add_argument("--seed", type=int, default=22)
    options = parser.parse_args(argv)
    arm = TarveloArmKinematics.default_left()
    rng = np.random.default_rng(options.seed)
    exact = fk_rotations(arm, options.rows, rng)
    print(f"{len(exact):,} fk rotations of the default left arm")
    print(
        "| disturbance | `ik` refuses | `ik_nearest` refuses | largest `ik_nearest` distance | same pair where `ik` succeeds |"
    )
    print("|---|---:|---:|---:|---|")
    for label, disturb in DISTURBANCES:
        targets = disturb(exact, rng)
        pairs, nearest = arm.ik_batch(targets, workers=-1), arm.ik_nearest_batch(targets, workers=-1)
        matched = ~np.isnan(pairs[:, 0])
        same = nearest[matched, :2].tobytes() == pairs[matched].tobytes() and bool((nearest[matched, 2] < 1e-6).all())
        refused = np.isnan(nearest[:, 0])
        print(
            f"| {label} | {100 * (1 - matched.mean()):.2f} % | {100 * refused.mean():.3f} % "
            f"({refused.sum()}) | {np.nanmax(nearest[:, 2]):.3g} | {'yes' if same else 'NO'} |"
        )
    return 0


if __name__ == "__main__":
    sys.exit(main())
