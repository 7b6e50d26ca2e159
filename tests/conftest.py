"""Shared fixtures: a purpose-made declarations module and the leak check.

The extension loads "trel.interface.declarations" once per process and keeps
what it fetched. The tests install their own module under that name before
anything resolves, so they never depend on the framework's package; tests
about the first or a failed load run in a fresh interpreter instead.
"""

import gc
import subprocess
import sys
import textwrap
import types

import pytest

import _trel_interface_coptimizations as ext


class Implements(ext.SpecificationBase):
    """The fake declarations module's class of declared specifications."""

    def __init__(self, *implied):
        self._implied = dict.fromkeys(implied, ())


def _default_fallback(cls):
    return ("fallback", cls)


def _install_fake_declarations():
    fake = types.ModuleType("trel.interface.declarations")
    fake.Implements = Implements
    fake._empty = Implements()
    fake.BuiltinImplementationSpecifications = {}
    # Tests swap `fallback`; the module keeps `implementedByFallback` itself.
    fake.fallback = _default_fallback
    fake.implementedByFallback = lambda cls: fake.fallback(cls)
    sys.modules[fake.__name__] = fake
    return fake


FAKE_DECLARATIONS = _install_fake_declarations()


@pytest.fixture
def declarations():
    """The fake declarations module, restored after the test."""
    yield FAKE_DECLARATIONS
    FAKE_DECLARATIONS.BuiltinImplementationSpecifications.clear()
    FAKE_DECLARATIONS.fallback = _default_fallback


def run_isolated(code):
    """Runs code in a fresh interpreter; returns its stdout, failing on a crash."""
    done = subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)],
        capture_output=True,
        text=True,
        timeout=120,
    )
    assert done.returncode == 0, f"exit {done.returncode}\n{done.stdout}\n{done.stderr}"
    return done.stdout


# The leak check: under a debug interpreter, `--check-refleaks` runs each
# test body again and again and fails it when the interpreter's total
# reference count grows in every measured round. Tests that start another
# interpreter (marked `isolated`) run once.

WARMUP_ROUNDS = 3
MEASURED_ROUNDS = 4


def pytest_addoption(parser):
    parser.addoption(
        "--check-refleaks",
        action="store_true",
        help="repeat each test and fail it when the total reference count keeps growing",
    )


def pytest_configure(config):
    config.addinivalue_line("markers", "isolated: runs a fresh interpreter; not repeated by the leak check")
    if config.getoption("--check-refleaks") and not hasattr(sys, "gettotalrefcount"):
        raise pytest.UsageError("--check-refleaks needs a debug interpreter (sys.gettotalrefcount)")


def refcount_deltas(fn):
    for _ in range(WARMUP_ROUNDS):
        fn()
    deltas = [0] * MEASURED_ROUNDS  # made beforehand: growing it would count
    for i in range(MEASURED_ROUNDS):
        gc.collect()
        before = sys.gettotalrefcount()
        fn()
        gc.collect()
        after = sys.gettotalrefcount()  # read into a local first: the subtraction's operand would count
        deltas[i] = after - before
    return deltas


@pytest.hookimpl(tryfirst=True)
def pytest_pyfunc_call(pyfuncitem):
    if not pyfuncitem.config.getoption("--check-refleaks"):
        return None
    if pyfuncitem.get_closest_marker("isolated"):
        return None
    test = pyfuncitem.obj
    args = {name: pyfuncitem.funcargs[name] for name in pyfuncitem._fixtureinfo.argnames}
    deltas = refcount_deltas(lambda: test(**args))
    if all(delta > 0 for delta in deltas):
        pytest.fail(f"reference leak: total reference count grew by {deltas} in successive rounds")
    return True
