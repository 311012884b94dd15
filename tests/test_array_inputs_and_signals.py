"""The array methods under what users hand them and do to them: buffers of any native float64
format, exact numbers, views, Ctrl-C, interpreter shutdown and huge worker counts."""

import ctypes
import multiprocessing.sharedctypes
import os
import signal
import subprocess
import sys
import threading
import time
from decimal import Decimal
from fractions import Fraction

import numpy as np
import pytest

from tarvelo_torso_kinematics import TarveloArmKinematics

LEFT = TarveloArmKinematics.default_left()
PAIRS = np.random.default_rng(7).uniform(-0.8, 0.8, (1000, 2))


def raw_array(values):
    """Shared memory as multiprocessing hands it to worker processes, seen through numpy."""
    shared = multiprocessing.sharedctypes.RawArray("d", values.size)
    view = np.ctypeslib.as_array(shared).reshape(values.shape)
    view[...] = values
    return view


NATIVE_FLOAT64 = [
    ("ctypes", lambda p: (ctypes.c_double * 2 * len(p))(*[(ctypes.c_double * 2)(*row) for row in p])),
    ("asarray-of-ctypes", lambda p: np.asarray((ctypes.c_double * p.size)(*p.ravel())).reshape(p.shape)),
    ("shared-RawArray", raw_array),
    (
        "memoryview-of-ctypes",
        lambda p: memoryview((ctypes.c_double * p.size)(*p.ravel())).cast("B").cast("@d", p.shape),
    ),
    ("big-endian", lambda p: p.astype(">f8")),  # converted
    ("odd-offset", lambda p: np.frombuffer(b"\0" + p.tobytes(), np.float64, p.size, 1).reshape(p.shape)),
]


@pytest.mark.parametrize("make", [m for _, m in NATIVE_FLOAT64], ids=[n for n, _ in NATIVE_FLOAT64])
def test_every_float64_buffer_gives_the_rows_of_the_array(make):
    expected = LEFT.fk_batch(PAIRS).tobytes()
    assert LEFT.fk_batch(make(PAIRS)).tobytes() == expected
    assert LEFT.fk_batch(make(PAIRS), workers=2).tobytes() == expected


EXACT = [
    [[Fraction(1, 3), Fraction(-2, 7)]],
    [[Decimal("0.1"), Decimal("-1e-400")], [Decimal("NaN"), 2]],
    [[2**64, -(2**70)], [3**40 + 1, 0.5]],
    np.array([[0.25, 7], [True, np.float32(0.1)]], dtype=object)[:, ::-1],
]


@pytest.mark.parametrize("rows", EXACT, ids=["fraction", "decimal", "big-int", "object-view"])
def test_exact_numbers_are_read_as_numpy_reads_them(rows):
    assert LEFT.direction_batch(rows).tobytes() == LEFT.direction_batch(np.asarray(rows, np.float64)).tobytes()


@pytest.mark.parametrize(
    ("rows", "kind", "message"),
    [
        ([[1.0, None]], TypeError, "argument 'joints': expected an array of real numbers, not NoneType"),
        ([[Fraction(1), "0.5"]], TypeError, "argument 'joints': expected an array of real numbers, not str"),
        (
            np.array([[1.0, 1j]], dtype=object),
            TypeError,
            "argument 'joints': expected an array of real numbers, not complex",
        ),
        ([[1.0, 10**400]], OverflowError, "int too large to convert to float"),
    ],
)
def test_what_float_cannot_read_is_refused_by_type(rows, kind, message):
    with pytest.raises(kind) as info:
        LEFT.direction_batch(rows)
    assert str(info.value) == message


GRID = np.random.default_rng(8).uniform(-0.8, 0.8, (6, 5, 2))
VIEWS = {
    "reversed-grid": GRID[::-1, ::-1],
    "strided": GRID[::2, 1::2],
    "transposed-rows": np.ascontiguousarray(GRID.transpose(2, 0, 1)).transpose(1, 2, 0),
    "fortran": np.asfortranarray(GRID),
    "broadcast-inner": np.broadcast_to(GRID[:, :1], GRID.shape),
    "broadcast-outer": np.broadcast_to(GRID[:1, ::-1], GRID.shape),
}


@pytest.mark.parametrize("view", VIEWS.values(), ids=VIEWS.keys())
def test_a_view_gives_the_rows_of_its_copy(view):
    copy = np.ascontiguousarray(view)
    assert LEFT.fk_batch(view, workers=2).tobytes() == LEFT.fk_batch(copy).tobytes()
    near = view[:, :1]  # broadcast against the directions
    dirs = LEFT.direction_batch(copy)
    assert (
        LEFT.ik_from_direction_batch(dirs, near).tobytes() == LEFT.ik_from_direction_batch(dirs, near.copy()).tobytes()
    )


def test_an_empty_input_is_not_converted():
    assert LEFT.is_reachable_joints_batch(np.broadcast_to([0.1, 0.2], (10**12, 0, 2))).shape == (10**12, 0)
    assert LEFT.is_reachable_joints_batch(np.empty((0, 2**61, 2), np.int8)).shape == (0, 2**61)


def threads_alive():
    return len(os.listdir("/proc/self/task"))


def threads_alive_after_join(limit):
    """threads_alive(), once it is at most `limit` or after a second. Under user-mode emulation
    a joined thread's host thread leaves /proc/self/task a moment after the join returns;
    natively the count is read at once."""
    deadline = time.monotonic() + (1.0 if os.environ.get("TORSO_EMULATED_PYTHON") else 0.0)
    while threads_alive() > limit and time.monotonic() < deadline:
        time.sleep(0.01)
    return threads_alive()


def most_threads_during(call):
    """The most threads this process had while `call` ran, sampled from another thread."""
    most, done = [threads_alive()], threading.Event()

    def sample():
        while not done.is_set():
            most[0] = max(most[0], threads_alive())

    sampler = threading.Thread(target=sample)
    sampler.start()
    try:
        call()
    finally:
        done.set()
        sampler.join()
    return most[0]


def test_workers_are_capped_at_the_cpus_of_the_process():
    before = threads_alive()
    rows = np.broadcast_to([0.3, -0.2], (2_000_000, 2))
    most = most_threads_during(lambda: LEFT.fk_batch(rows, workers=10**6))
    assert most - (before + 1) <= len(os.sched_getaffinity(0)) - 1  # + 1: the sampler


def interrupted_call(workers, rows=6_000_000):
    """Seconds from a SIGINT sent 0.2 s into a long call to its KeyboardInterrupt."""
    directions = np.broadcast_to(LEFT.direction_batch([0.4, 0.3]), (rows, 3))
    sent = []
    timer = threading.Timer(0.2, lambda: (sent.append(time.perf_counter()), os.kill(os.getpid(), signal.SIGINT)))
    timer.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            LEFT.ik_from_direction_batch(directions, workers=workers)
        return time.perf_counter() - sent[0]
    finally:
        timer.join()


@pytest.mark.parametrize("workers", [1, 2])
def test_ctrl_c_stops_a_long_call_at_once(workers):
    before = threads_alive()
    seconds = [interrupted_call(workers) for _ in range(3)]
    assert min(seconds) < 0.1 and max(seconds) < 1.0, seconds  # the slowest may wait for a busy CPU
    # Every worker joined (a thread of an earlier test may end meanwhile).
    assert threads_alive_after_join(before) <= before
    assert LEFT.fk_batch(PAIRS, workers=workers).tobytes() == LEFT.fk_batch(PAIRS).tobytes()


DAEMON_AT_SHUTDOWN = """
import sys, threading, time
import numpy as np
from tarvelo_torso_kinematics import TarveloArmKinematics
arm = TarveloArmKinematics.default_left()
rows = np.broadcast_to(arm.direction_batch([0.4, 0.3]), (3_000, 3))
running = threading.Event()
def work():
    while True:
        running.set()
        arm.ik_from_direction_batch(rows, workers=int(sys.argv[1]))
threading.Thread(target=work, daemon=True).start()
running.wait()
time.sleep(0.02)
"""


@pytest.mark.parametrize("workers", [1, 2])
def test_a_daemon_thread_in_a_call_at_shutdown_exits_cleanly(workers):
    for _ in range(3):
        result = subprocess.run(
            [sys.executable, "-c", DAEMON_AT_SHUTDOWN, str(workers)], capture_output=True, text=True, timeout=60
        )
        assert (result.returncode, result.stderr) == (0, "")
