"""Outside code that calls back into the module mid-operation.

The scenarios live in reentry_scenarios.py and run in a child interpreter,
so that a crash fails the scenario that caused it instead of the whole run.
One child runs them all; after a crash a new child takes the rest.
"""

import json
import os
import subprocess
import sys

import pytest

import reentry_scenarios

SCRIPT = os.path.join(os.path.dirname(__file__), "reentry_scenarios.py")
NAMES = list(reentry_scenarios.SCENARIOS)


def run_scenarios(names):
    """{name: (outcome, expected)}, or {name: ("crashed", details)} for the one that died."""
    results = {}
    pending = list(names)
    while pending:
        done = subprocess.run(
            [sys.executable, "-X", "faulthandler", SCRIPT, *pending],
            capture_output=True,
            text=True,
            timeout=120,
            cwd=os.path.dirname(SCRIPT),
        )
        started = None
        for line in done.stdout.splitlines():
            if line.startswith("start "):
                started = line.split(" ", 1)[1]
                continue
            name, outcome, expected = json.loads(line)
            results[name] = (outcome, expected)
            started = None
        if done.returncode == 0:
            break
        crashed = started or pending[0]
        results[crashed] = ("crashed", f"exit {done.returncode}\n{done.stderr[-3000:]}")
        pending = pending[pending.index(crashed) + 1 :]
    return results


@pytest.fixture(scope="module")
def outcomes():
    return run_scenarios(NAMES)


@pytest.mark.isolated
@pytest.mark.parametrize("name", NAMES)
def test_reentry(outcomes, name):
    outcome, expected = outcomes[name]
    assert outcome != "crashed", expected
    assert outcome == expected
