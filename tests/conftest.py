"""Shared fixtures: a purpose-made declarations module, both cores, and the leak check.

The cores load "trel.interface.declarations" once per process and keep what
they fetched. The tests install their own module under that name before
anything resolves, so they never depend on the framework's package; tests
about the first or a failed load run in a fresh interpreter instead.

The behaviour tests of the core run against both cores: each file listed in
DUAL_CORE is collected twice, as `<file>::cpp` and `<file>::pure`, and
imported afresh for each with `ext` and `Implements` (import them from this
module) bound to that core's objects. Tests marked `cpp_only` (C-level
details: interpreter-worded argument errors, type names, member docstrings)
and `isolated` tests (they start an interpreter on the extension) run for
the C++ core only.
"""

import ast
import gc
import importlib.util
import os
import subprocess
import sys
import textwrap
import types

import pytest

import _trel_interface_coptimizations as cpp_core
from trel.interface import _pure as pure_core

CORES = {"cpp": cpp_core, "pure": pure_core}

DUAL_CORE = {
    "test_resolution.py",
    "test_specification.py",
    "test_descriptors.py",
    "test_interface.py",
    "test_adaptation.py",
    "test_lookup.py",
    "test_verifying.py",
    "test_probes.py",
}


class DeclaredSpecification:
    """The fake declarations module's `Implements`: a layout-free base that
    each core's declared specifications derive from, so one class serves
    both cores' type test."""

    __slots__ = ()


def _implements_for(core):
    class Implements(core.SpecificationBase, DeclaredSpecification):
        """The fake declarations module's class of declared specifications."""

        def __init__(self, *implied):
            self._implied = dict.fromkeys(implied, ())

    return Implements


IMPLEMENTS = {name: _implements_for(core) for name, core in CORES.items()}


class Empty:
    """What objects without a class provide: a specification of neither core,
    so both consult it alike, by calling it."""

    _implied = {}  # noqa: RUF012 (read, never changed)

    def __call__(self, interface):
        return False

    def __repr__(self):
        return "<empty>"


# The core under test, rebound while each test module is imported.
CORE = "cpp"
ext = cpp_core
Implements = IMPLEMENTS["cpp"]


def _select(core):
    global CORE, ext, Implements
    CORE, ext, Implements = core, CORES[core], IMPLEMENTS[core]


def _default_fallback(cls):
    return ("fallback", cls)


def _install_fake_declarations():
    fake = types.ModuleType("trel.interface.declarations")
    fake.Implements = DeclaredSpecification
    fake._empty = Empty()
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


class CoreModule(pytest.Module):
    """One test file imported for one core, under a name of its own."""

    def __init__(self, *args, core, **kwargs):
        super().__init__(*args, **kwargs)
        self.core = core

    def _getobj(self):
        _select(self.core)
        try:
            name = f"{self.path.stem}__{self.core}"
            spec = importlib.util.spec_from_file_location(name, self.path)
            module = importlib.util.module_from_spec(spec)
            source = self.path.read_bytes()
            tree = ast.parse(source, filename=str(self.path))
            try:
                from _pytest.assertion.rewrite import rewrite_asserts

                rewrite_asserts(tree, source, str(self.path), self.config)
            except ImportError:  # plain asserts still test; they only explain less
                pass
            sys.modules[name] = module
            exec(compile(tree, str(self.path), "exec"), module.__dict__)
        finally:
            _select("cpp")
        self.config.pluginmanager.consider_module(module)
        return module

    def collect(self):
        items = super().collect()
        if self.core == "cpp":
            return items
        return [item for item in items if not _cpp_only(item)]


def _cpp_only(node):
    return any(node.get_closest_marker(mark) for mark in ("cpp_only", "isolated"))


class DualCoreFile(pytest.File):
    def collect(self):
        for core in CORES:
            yield CoreModule.from_parent(self, path=self.path, name=core, nodeid=f"{self.nodeid}::{core}", core=core)


def pytest_pycollect_makemodule(module_path, parent):
    if module_path.name in DUAL_CORE:
        return DualCoreFile.from_parent(parent, path=module_path)
    return None


def run_isolated(code, env=None):
    """Runs code in a fresh interpreter; returns its stdout, failing on a crash.

    ``env`` adds to (or, with None values, removes from) the environment.
    """
    environment = dict(os.environ)
    for name, value in (env or {}).items():
        if value is None:
            environment.pop(name, None)
        else:
            environment[name] = value
    done = subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)],
        capture_output=True,
        text=True,
        timeout=120,
        env=environment,
    )
    assert done.returncode == 0, f"exit {done.returncode}\n{done.stdout}\n{done.stderr}"
    return done.stdout


# The framework chooses its core when it is imported, and this process has
# the purpose-made declarations module installed: framework tests run their
# scripts in fresh interpreters, once per core.
CORE_ENV = {
    "c++": {"TREL_INTERFACE_PURE": None},
    "python": {"TREL_INTERFACE_PURE": "1"},
}


@pytest.fixture(params=sorted(CORE_ENV))
def run(request):
    """Runs a script on one core, after checking that core is the one chosen."""
    core = request.param

    def run_script(code):
        prelude = f"import trel.interface\nassert trel.interface.CORE == {core!r}, trel.interface.CORE\n"
        return run_isolated(prelude + code, env=CORE_ENV[core])

    return run_script


# The leak check: under a debug interpreter, `--check-refleaks` runs each
# test body again and again and fails it when the interpreter's total
# reference count grows in every measured round. Tests that start another
# interpreter (marked `isolated`) run once, and so do the plain-Python
# core's: it counts no references of its own, and repeating them would
# only double the run.

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
    config.addinivalue_line("markers", "cpp_only: a detail of the C++ core that the plain-Python core does not mirror")
    if config.getoption("--check-refleaks") and not hasattr(sys, "gettotalrefcount"):
        raise pytest.UsageError("--check-refleaks needs a debug interpreter (sys.gettotalrefcount)")


def pytest_collection_finish(session):
    # Every test's leak check runs full collections; the collected test tree
    # and the imported modules live all session, so they are set aside once
    # and the collections walk only what the tests create.
    if session.config.getoption("--check-refleaks"):
        gc.collect()
        gc.freeze()


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
    module = pyfuncitem.getparent(CoreModule)
    if module is not None and module.core != "cpp":
        return None
    test = pyfuncitem.obj
    args = {name: pyfuncitem.funcargs[name] for name in pyfuncitem._fixtureinfo.argnames}
    deltas = refcount_deltas(lambda: test(**args))
    if all(delta > 0 for delta in deltas):
        pytest.fail(f"reference leak: total reference count grew by {deltas} in successive rounds")
    return True
