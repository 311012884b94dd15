"""Seconds from a SIGINT to the KeyboardInterrupt of a long array call, and what is left after.

The signal is sent 0.2 s into a 6,000,000-row ik_from_direction_batch, 20 times with workers=1
and with workers=2; after each, the threads of the process are counted (every worker joined)
and a small call must work.

    python bench/interrupt_latency.py
"""

import os
import signal
import statistics
import threading
import time

import numpy as np

from tarvelo_torso_kinematics import TarveloArmKinematics


def threads():
    return len(os.listdir("/proc/self/task"))


def main():
    arm = TarveloArmKinematics.default_left()
    rows = np.ascontiguousarray(np.broadcast_to(arm.direction_batch([0.4, 0.3]), (6_000_000, 3)))
    for workers in (1, 2):
        seconds = []
        for _ in range(20):
            before, sent = threads(), []
            timer = threading.Timer(
                0.2, lambda sent=sent: (sent.append(time.perf_counter()), os.kill(os.getpid(), signal.SIGINT))
            )
            timer.start()
            try:
                arm.ik_from_direction_batch(rows, workers=workers)
                print("the call ended before the signal")
            except KeyboardInterrupt:
                seconds.append(time.perf_counter() - sent[0])
            timer.join()
            assert threads() <= before, (threads(), before)
            assert arm.fk_batch([[0.1, 0.2]] * 3, workers=workers).shape == (3, 3, 3)
        ms = sorted(s * 1000 for s in seconds)
        print(
            f"workers={workers}: {len(ms)} tries, median {statistics.median(ms):.1f} ms, worst {ms[-1]:.1f} ms"
            f" ({' '.join(f'{x:.1f}' for x in ms)})"
        )


if __name__ == "__main__":
    main()
