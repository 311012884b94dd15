"""Measure the share of the sphere that an arm can point at, on many processes with Dask.

    python examples/parallel_workspace.py                        # 2 local worker processes
    python examples/parallel_workspace.py --workers 1            # the same on one
    python examples/parallel_workspace.py --json arms.json --resolution 3000
    python examples/parallel_workspace.py --scheduler tcp://scheduler.example:8786

The sphere is cut into the equal-area grid of examples/workspace.py: N latitude bands (even in
sin(latitude)) times 2N longitudes, every cell the same area, so the share of reachable cell
centres is the share of the sphere. The default N = 1500 gives 4.5 million directions per
branch. Each task takes a block of bands, builds its directions and tests them all with one
`is_reachable_direction_batch` call. Arms do not pickle: a task gets the arm as the text of
`to_json()` and rebuilds it with `from_json`, which gives the very same arcs.

Without --scheduler the script starts a dask LocalCluster of --workers processes on this
machine. With --scheduler it uses a running cluster instead; every worker must have this
module (and numpy) installed, e.g. from the wheel. It prints, for each branch, the share of
the sphere reached, then the time the mapping took, then the shares that examples/workspace.py
finds on its own (coarser) grid, for comparison.

Needs dask[distributed] (`pip install ".[examples]"`), and matplotlib for the comparison run.
"""

import argparse
import contextlib
import json
import math
import re
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy as np
from dask.distributed import Client, LocalCluster

from tarvelo_torso_kinematics import TarveloArmKinematics

BRANCHES = ("positive", "negative")
SHARE_LINE = re.compile(r"^(positive|negative) branch reaches (\d+\.\d+) of the sphere$", re.MULTILINE)


def parse_arguments(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--arm-arc", type=float, default=0.7, help="arc of each input arm, radians (0.7)")
    parser.add_argument("--coupler-arc", type=float, default=0.5, help="arc of each coupler segment, radians (0.5)")
    parser.add_argument("--mirror", action="store_true", help="the mirrored (right) arm")
    parser.add_argument("--json", metavar="FILE", help="read the geometry from a JSON document instead")
    parser.add_argument(
        "--resolution",
        type=int,
        default=1500,
        help="N: N latitude bands x 2N longitudes per branch (1500: 4.5 million directions)",
    )
    parser.add_argument("--bands-per-task", type=int, default=50, help="latitude bands in one task (50)")
    parser.add_argument("--workers", type=int, default=2, help="worker processes of the local cluster (2)")
    parser.add_argument(
        "--scheduler",
        metavar="ADDRESS",
        help="a running dask scheduler, such as tcp://host:8786, instead of a local cluster",
    )
    parser.add_argument(
        "--compare-resolution",
        type=int,
        default=200,
        help="grid of the examples/workspace.py run to compare with; 0 skips it (200)",
    )
    arguments = parser.parse_args(argv)
    if arguments.resolution < 2:
        parser.error("--resolution must be at least 2")
    if arguments.bands_per_task < 1 or arguments.workers < 1:
        parser.error("--bands-per-task and --workers must be at least 1")
    try:
        arguments.arm = load_arm(arguments)
        arguments.documents = documents_by_branch(arguments.arm)  # refuses a NaN or infinite arc
    except (OSError, ValueError) as error:
        parser.error(str(error))
    return arguments


def load_arm(arguments):
    if arguments.json:
        with open(arguments.json, encoding="utf-8") as document:
            return TarveloArmKinematics.from_json(document.read())
    return TarveloArmKinematics(arguments.arm_arc, arguments.coupler_arc, arguments.mirror)


def documents_by_branch(arm):
    """The arm's geometry document on each branch: the text that travels to the workers."""
    document = json.loads(arm.to_json())
    return {branch: json.dumps({**document, "branch": branch}) for branch in BRANCHES}


def band_directions(resolution, centre_azimuth, first_band, end_band):
    """Unit directions of the cell centres of bands [first_band, end_band), shape (bands, 2N, 3).

    The same arithmetic as examples/workspace.py's grid, restricted to some bands: cell edges
    uniform in longitude and in z = sin(latitude); longitudes measured from `centre_azimuth`.
    """
    lon_edges = np.linspace(-math.pi, math.pi, 2 * resolution + 1)
    lon = (lon_edges[:-1] + lon_edges[1:]) / 2
    z = np.linspace(-1.0, 1.0, resolution + 1)
    z = ((z[:-1] + z[1:]) / 2)[first_band:end_band]
    lon_grid, z_grid = np.meshgrid(lon, z)
    ring = np.sqrt(1.0 - z_grid**2)
    azimuth = lon_grid + centre_azimuth
    return np.stack([ring * np.cos(azimuth), ring * np.sin(azimuth), z_grid], axis=-1)


def count_reachable(document, resolution, centre_azimuth, first_band, end_band):
    """Runs on a worker: how many cell centres of the bands the arm of `document` reaches."""
    arm = TarveloArmKinematics.from_json(document)
    directions = band_directions(resolution, centre_azimuth, first_band, end_band)
    return int(np.count_nonzero(arm.is_reachable_direction_batch(directions)))


def map_shares(client, documents, resolution, centre_azimuth, bands_per_task):
    """{branch: share of the sphere reached}, every block of bands a task."""
    blocks = [(first, min(first + bands_per_task, resolution)) for first in range(0, resolution, bands_per_task)]
    futures = {
        branch: [
            client.submit(count_reachable, document, resolution, centre_azimuth, first, end, pure=False)
            for first, end in blocks
        ]
        for branch, document in documents.items()
    }
    cells = resolution * 2 * resolution
    return {branch: sum(client.gather(parts)) / cells for branch, parts in futures.items()}


def workspace_shares(arm, resolution):
    """The shares that examples/workspace.py prints for the same arm on its own grid."""
    with tempfile.TemporaryDirectory() as folder:
        document = Path(folder) / "arms.json"
        document.write_text(arm.to_json(), encoding="utf-8")
        run = subprocess.run(
            [
                sys.executable,
                str(Path(__file__).with_name("workspace.py")),
                "--json",
                str(document),
                "--resolution",
                str(resolution),
                "--out",
                str(Path(folder) / "workspace.png"),
            ],
            capture_output=True,
            text=True,
            check=True,
        )
    return {branch: float(share) for branch, share in SHARE_LINE.findall(run.stdout)}


def start_client(arguments, resources):
    """A client of the given scheduler, or of a new local cluster of worker processes; both
    are closed with `resources`."""
    if arguments.scheduler:
        return resources.enter_context(Client(arguments.scheduler)), "scheduler " + arguments.scheduler
    cluster = resources.enter_context(
        LocalCluster(n_workers=arguments.workers, threads_per_worker=1, processes=True, dashboard_address=None)
    )
    return resources.enter_context(Client(cluster)), "local cluster"


def main(argv=None):
    arguments = parse_arguments(argv)
    arm = arguments.arm
    centre_azimuth = math.pi if arm.mirror() else 0.0  # the azimuth of u_B = (s, 0, 0)
    print(f"arm_arc {arm.arm_arc()!r} coupler_arc {arm.coupler_arc()!r} mirror {arm.mirror()} branch {arm.branch()}")

    started = time.perf_counter()
    with contextlib.ExitStack() as resources:
        client, where = start_client(arguments, resources)
        workers = len(client.scheduler_info()["workers"])
        worker_count = f"{workers} worker" + ("" if workers == 1 else "s")
        print(f"{where}: {worker_count}, ready in {time.perf_counter() - started:.1f} s")
        started = time.perf_counter()
        shares = map_shares(client, arguments.documents, arguments.resolution, centre_azimuth, arguments.bands_per_task)
        elapsed = time.perf_counter() - started

    directions = 2 * arguments.resolution**2
    print(f"grid: {arguments.resolution} x {2 * arguments.resolution} = {directions:,} directions per branch")
    for branch in BRANCHES:
        print(f"{branch} branch reaches {shares[branch]:.4f} of the sphere")
    print(
        f"mapped {len(BRANCHES) * directions:,} directions in {elapsed:.2f} s on {worker_count} "
        f"({len(BRANCHES) * directions / elapsed / 1e6:.2f} million per second)"
    )
    if arguments.compare_resolution:
        reference = workspace_shares(arm, arguments.compare_resolution)
        print(
            f"examples/workspace.py at resolution {arguments.compare_resolution}: "
            + ", ".join(
                f"{branch} {reference[branch]:.4f} ({shares[branch] - reference[branch]:+.4f})" for branch in BRANCHES
            )
        )
    return 0


if __name__ == "__main__":
    sys.exit(main())
