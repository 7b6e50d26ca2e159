"""The timed loop the benchmark rows share."""

import time

LOOP_NS = 8_000_000  # the length each timed loop is calibrated to
CALIBRATION_NS = 5_000_000
UNROLL = 10

clock = time.perf_counter_ns


# Each timed callable gets its own compiled copy of the loop, so the
# interpreter's per-call-site specialisation never sees two callables.
_LOOP_SOURCE = (
    "def loop(n, f, clock):\n"
    "    start = clock()\n"
    "    for _ in range(n):\n" + "        f()\n" * UNROLL + "    return clock() - start\n"
)


class Timer:
    def __init__(self, call):
        namespace = {}
        exec(compile(_LOOP_SOURCE, "<bench loop>", "exec"), namespace)
        self.loop = namespace["loop"]
        self.call = call
        self.n = self._calibrate()

    def _calibrate(self):
        n = 1
        while True:
            elapsed = self.loop(n, self.call, clock)
            if elapsed >= CALIBRATION_NS:
                return max(1, round(n * LOOP_NS / elapsed))
            n *= 2 if elapsed * 8 >= CALIBRATION_NS else 8

    def measure(self):
        """Nanoseconds per call, one loop's worth."""
        return self.loop(self.n, self.call, clock) / (self.n * UNROLL)


def time_rounds(timers, rounds):
    """Per timer, its cost in each round less the no-op lambda's, timed just
    before it; the timers take turns within every round."""
    noop = Timer(lambda: None)
    samples = [[] for _ in timers]
    for _ in range(rounds):
        for timer, kept in zip(timers, samples):
            base = noop.measure()
            kept.append(timer.measure() - base)
    return samples
