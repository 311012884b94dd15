"""Draw the workspace of one arm: where it can point, and which joint pairs close its loop.

    python examples/workspace.py                         # default left arm, into docs/workspace.png
    python examples/workspace.py --mirror                # default right arm
    python examples/workspace.py --arm-arc 0.9 --coupler-arc 0.6 --out wide.png
    python examples/workspace.py --json arms.json --resolution 400

The picture has four panels. The first two show, on the unit sphere, the pointing directions
that the positive and the negative branch of the same geometry reach
(`is_reachable_direction_batch`), in the equal-area Hammer projection, with the two base-joint
axes u_A and u_B marked. The map is centred on u_B; its longitude is the azimuth about u_A
measured from u_B. The third panel shows which joint pairs (θ_A, θ_B) close the loop
(`is_reachable_joints_batch`), with the closing limit drawn as a contour. The fourth maps the
`manipulability` of those joint pairs: how much pointing velocity a unit of joint rate buys, 0
where a joint cannot move the direction across its own plane and growing without bound at the
closing limit. The script prints, for each branch, the fraction of the sphere's area it reaches,
and the spread of the manipulability.

Needs matplotlib (`pip install ".[examples]"`); the module itself does not.
"""

import argparse
import json
import math
import sys
import time
from pathlib import Path

import matplotlib

matplotlib.use("Agg")

import matplotlib.pyplot as plt  # noqa: E402  (the backend is chosen first)
import numpy as np  # noqa: E402
from matplotlib.colors import ListedColormap, LogNorm  # noqa: E402

from tarvelo_torso_kinematics import TarveloArmKinematics  # noqa: E402

BRANCHES = ("positive", "negative")
BRANCH_COLOURS = {"positive": "#1f77b4", "negative": "#d62728"}
JOINT_COLOUR = "#2ca02c"
DEFAULT_OUT = Path(__file__).resolve().parent.parent / "docs" / "workspace.png"


def parse_arguments(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--arm-arc", type=float, help="arc of each input arm, radians (default 0.7)")
    parser.add_argument("--coupler-arc", type=float, help="arc of each coupler segment, radians (default 0.5)")
    parser.add_argument("--mirror", action="store_true", help="the mirrored (right) arm")
    parser.add_argument("--json", metavar="FILE", help="read the geometry from a JSON document instead")
    parser.add_argument(
        "--resolution",
        type=int,
        default=200,
        help="grid size: N latitude bands × 2N longitudes, N × N joint pairs (default 200)",
    )
    parser.add_argument(
        "--out", type=Path, default=DEFAULT_OUT, help="PNG to write (default docs/workspace.png of this project)"
    )
    arguments = parser.parse_args(argv)
    if arguments.resolution < 2:
        parser.error("--resolution must be at least 2")
    explicit = arguments.arm_arc is not None or arguments.coupler_arc is not None or arguments.mirror
    if arguments.json and explicit:
        parser.error("--json cannot be combined with --arm-arc, --coupler-arc or --mirror")
    try:
        arguments.arm = load_arm(arguments)
    except (OSError, ValueError) as error:
        parser.error(str(error))
    return arguments


def load_arm(arguments):
    if arguments.json:
        with open(arguments.json, encoding="utf-8") as document:
            return TarveloArmKinematics.from_json(document.read())
    arm_arc = 0.7 if arguments.arm_arc is None else arguments.arm_arc
    coupler_arc = 0.5 if arguments.coupler_arc is None else arguments.coupler_arc
    return TarveloArmKinematics(arm_arc, coupler_arc, arguments.mirror)


def arm_with_branch(arm, branch):
    """The arm's geometry (arcs and mirror) on the given branch: only a document can choose it."""
    document = {"arm_arc": arm.arm_arc(), "coupler_arc": arm.coupler_arc(), "branch": branch, "mirror": arm.mirror()}
    return TarveloArmKinematics.from_json(json.dumps(document, allow_nan=False))


def branch_of(arm, arms_by_branch, joint_pairs):
    """Which branch `arm` closes on, found by comparing pointing directions at one closing pair.

    The class has no accessor for its branch. Loop closure does not depend on the branch, so a
    pair that closes for one branch closes for both; the first pair at which the two branches
    point apart tells them apart. None when no pair closes (the geometry never closes).
    """
    positive, negative = arms_by_branch["positive"], arms_by_branch["negative"]
    for theta_a, theta_b in joint_pairs:
        if not arm.is_reachable_joints(theta_a, theta_b):
            continue
        d_pos = positive.direction(theta_a, theta_b)
        d_neg = negative.direction(theta_a, theta_b)
        if math.dist(d_pos, d_neg) < 1e-6:
            continue  # the coupler circles just touch here: both branches agree
        return "positive" if math.dist(arm.direction(theta_a, theta_b), d_pos) < 1e-9 else "negative"
    return None


def sphere_grid(resolution, centre_azimuth):
    """Equal-area grid: cell edges uniform in longitude and in sin(latitude), so every cell has
    the same area and a plain mean over cells is an area-weighted fraction of the sphere.

    Longitudes are map longitudes, measured from `centre_azimuth` (the azimuth of u_B).
    Returns (longitude edges, latitude edges, unit directions of the cell centres as an
    (n_lat, n_lon, 3) array).
    """
    n_lat, n_lon = resolution, 2 * resolution
    lon_edges = np.linspace(-math.pi, math.pi, n_lon + 1)
    lat_edges = np.arcsin(np.linspace(-1.0, 1.0, n_lat + 1))
    lon = (lon_edges[:-1] + lon_edges[1:]) / 2
    z = np.linspace(-1.0, 1.0, n_lat + 1)
    z = (z[:-1] + z[1:]) / 2
    lon_grid, z_grid = np.meshgrid(lon, z)
    ring = np.sqrt(1.0 - z_grid**2)
    azimuth = lon_grid + centre_azimuth
    directions = np.stack([ring * np.cos(azimuth), ring * np.sin(azimuth), z_grid], axis=-1)
    return lon_edges, lat_edges, directions


def reachable_joints(arm, angles):
    # Rows follow θ_B, columns θ_A, as contour() expects for x = θ_A, y = θ_B.
    theta_a, theta_b = np.meshgrid(angles, angles)
    return arm.is_reachable_joints_batch(np.stack([theta_a, theta_b], axis=-1))


def rest_direction(arm):
    """Where the arm points with both joints at zero, or None when its loop does not close there."""
    return arm.direction(0.0, 0.0) if arm.is_reachable_joints(0.0, 0.0) else None


def draw_sphere(axes, arm, lon_edges, lat_edges, reached, branch, fraction, centre_azimuth):
    colours = ListedColormap(["#f2f2f2", BRANCH_COLOURS[branch]])
    axes.pcolormesh(
        lon_edges, lat_edges, reached.astype(float), cmap=colours, vmin=0, vmax=1, shading="flat", rasterized=True
    )
    axes.grid(True, color="0.6", linewidth=0.4)
    axes.tick_params(labelsize=7)
    axes.set_xlabel("longitude: azimuth about u_A from u_B, positive by the right hand about u_A", fontsize=8)
    axes.set_ylabel("latitude above the plane normal to u_A", fontsize=8)
    # u_A = (0, 0, 1) is the north pole; u_B lies on the equator at the map's centre.
    axes.plot([0.0], [math.pi / 2], marker="^", color="black", markersize=9, clip_on=False)
    axes.annotate("u_A", (0.0, math.pi / 2), xytext=(8, -4), textcoords="offset points")
    axes.plot([0.0], [0.0], marker="o", color="black", markersize=7)
    axes.annotate("u_B", (0.0, 0.0), xytext=(7, -12), textcoords="offset points")
    rest = rest_direction(arm)
    if rest is not None:
        x, y, z = rest
        longitude = (math.atan2(y, x) - centre_azimuth + math.pi) % (2 * math.pi) - math.pi
        axes.plot(
            [longitude],
            [math.asin(max(-1.0, min(1.0, z)))],
            marker="*",
            color="gold",
            markeredgecolor="black",
            markersize=12,
            label="direction(0, 0)",
        )
        axes.legend(loc="lower right", fontsize=7, framealpha=0.9)
    axes.set_title(f"{branch} branch: {fraction:.4f} of the sphere", fontsize=10, pad=16)


def draw_joints(axes, angles, closes, branch, fraction):
    closes = closes.astype(float)
    axes.contourf(angles, angles, closes, levels=[0.5, 1.5], colors=[JOINT_COLOUR], alpha=0.35)
    axes.contour(angles, angles, closes, levels=[0.5], colors=[JOINT_COLOUR], linewidths=1.5)
    axes.plot([0.0], [0.0], marker="+", color="black", markersize=10)
    axes.set_xlim(-math.pi, math.pi)
    axes.set_ylim(-math.pi, math.pi)
    axes.set_aspect("equal")
    ticks = [-math.pi, -math.pi / 2, 0.0, math.pi / 2, math.pi]
    labels = ["−π", "−π/2", "0", "π/2", "π"]
    axes.set_xticks(ticks, labels)
    axes.set_yticks(ticks, labels)
    axes.set_xlabel("θ_A (rad)")
    axes.set_ylabel("θ_B (rad)")
    axes.grid(True, color="0.8", linewidth=0.4)
    axes.set_title(f"joint pairs that close the loop\n({branch} branch): {fraction:.4f} of the square", fontsize=10)


def manipulability_map(arm, angles):
    """manipulability(θ_A, θ_B) on the grid, NaN where the loop does not close; rows follow θ_B."""

    def gain(theta_a, theta_b):
        return arm.manipulability(theta_a, theta_b) if arm.is_reachable_joints(theta_a, theta_b) else math.nan

    return np.array([[gain(theta_a, theta_b) for theta_a in angles] for theta_b in angles])


def draw_manipulability(figure, axes, angles, gains):
    """Log-scaled map of the manipulability over the closing joint pairs (blank elsewhere)."""
    shown = np.ma.masked_invalid(np.clip(gains, 1e-3, 1e3))
    image = axes.pcolormesh(
        angles, angles, shown, norm=LogNorm(vmin=1e-2, vmax=1e2), cmap="viridis", shading="nearest", rasterized=True
    )
    figure.colorbar(image, ax=axes, shrink=0.8, label="|t_A t_B / det M|")
    axes.set_xlim(-math.pi, math.pi)
    axes.set_ylim(-math.pi, math.pi)
    axes.set_aspect("equal")
    axes.set_xlabel("θ_A (rad)")
    axes.set_ylabel("θ_B (rad)")
    axes.set_title(
        "manipulability of the closing joint pairs\n(dark: a joint cannot turn v_3 across it)",
        fontsize=10,
    )


def main(argv=None):
    arguments = parse_arguments(argv)
    started = time.perf_counter()
    arm = arguments.arm
    arms_by_branch = {branch: arm_with_branch(arm, branch) for branch in BRANCHES}
    centre_azimuth = math.pi if arm.mirror() else 0.0  # the azimuth of u_B = (s, 0, 0)

    lon_edges, lat_edges, directions = sphere_grid(arguments.resolution, centre_azimuth)
    reached = {name: arms_by_branch[name].is_reachable_direction_batch(directions) for name in BRANCHES}
    fractions = {branch: float(reached[branch].mean()) for branch in BRANCHES}

    angles = np.linspace(-math.pi, math.pi, arguments.resolution)
    closes = reachable_joints(arm, angles)
    joint_fraction = float(closes.mean())
    pairs = zip(np.repeat(angles, angles.size).tolist(), np.tile(angles, angles.size).tolist(), strict=True)
    branch = branch_of(arm, arms_by_branch, pairs) or "either"  # "either": the loop never closes

    gains = manipulability_map(arm, angles)

    figure = plt.figure(figsize=(21, 5.2), layout="constrained")
    grid = figure.add_gridspec(1, 4, width_ratios=[1.55, 1.55, 1, 1.2])
    for column, name in enumerate(BRANCHES):
        axes = figure.add_subplot(grid[0, column], projection="hammer")
        draw_sphere(
            axes, arms_by_branch[name], lon_edges, lat_edges, reached[name], name, fractions[name], centre_azimuth
        )
    draw_joints(figure.add_subplot(grid[0, 2]), angles, closes, branch, joint_fraction)
    draw_manipulability(figure, figure.add_subplot(grid[0, 3]), angles, gains)
    figure.suptitle(
        f"arm_arc {arm.arm_arc():g} rad, coupler_arc {arm.coupler_arc():g} rad, "
        f"mirror {arm.mirror()}: reachable pointing directions and closing joint pairs"
    )
    figure.text(
        0.5,
        0.01,
        "Hammer equal-area maps centred on u_B; longitude is the azimuth about u_A "
        "measured from u_B, latitude is measured from the plane normal to u_A. "
        "Right: θ_A, θ_B in [−π, π], closing limit outlined; their manipulability on a log scale.",
        ha="center",
        fontsize=8,
    )
    arguments.out.parent.mkdir(parents=True, exist_ok=True)
    figure.savefig(arguments.out, dpi=110)
    plt.close(figure)

    print(f"arm_arc {arm.arm_arc()!r} coupler_arc {arm.coupler_arc()!r} mirror {arm.mirror()} branch {branch}")
    for name in BRANCHES:
        print(f"{name} branch reaches {fractions[name]:.4f} of the sphere")
    print(f"{branch} branch closes the loop for {joint_fraction:.4f} of the joint square [-pi, pi]^2")
    closing_gains = gains[~np.isnan(gains)]
    if closing_gains.size:
        print(
            f"manipulability over the closing joint pairs: median {np.median(closing_gains):.4f}, "
            f"10th percentile {np.percentile(closing_gains, 10):.4f}, "
            f"90th percentile {np.percentile(closing_gains, 90):.4f}"
        )
    print(f"wrote {arguments.out.resolve()} in {time.perf_counter() - started:.2f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
