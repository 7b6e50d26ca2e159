"""A short fixed-seed run of the entry-point fuzzer (fuzz_entry_points.py).

It runs in child interpreters, so a crash counts as a failure instead of
ending the suite; `make fuzz SECONDS=600` runs the same fuzzer for longer.
"""

import os
import subprocess
import sys

import pytest

SCRIPT = os.path.join(os.path.dirname(__file__), "fuzz_entry_points.py")


@pytest.mark.isolated
def test_fixed_seed_fuzz_run_finds_nothing():
    done = subprocess.run(
        [sys.executable, SCRIPT, "--examples", "150", "--seed", "0"],
        capture_output=True,
        text=True,
        timeout=300,
    )
    last = done.stdout.splitlines()[-1] if done.stdout else ""
    assert done.returncode == 0, f"{done.stdout[-4000:]}\n{done.stderr[-4000:]}"
    words = last.split()
    assert words[:1] == ["calls"] and int(words[1]) > 500 and words[2:] == ["failures", "0"], last
