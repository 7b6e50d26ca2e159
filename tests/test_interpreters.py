"""The extension and other interpreters: sub-interpreters and repeated embedding.

The extension keeps process-wide state that belongs to one interpreter, so
the first interpreter of the process to import it is the only one that uses
it: any other gets ImportError, and the framework runs there on the
plain-Python core. A runtime that is finalised and initialised again (an
embedding application) starts from nothing. Each scenario runs in a child
process, so that a crash fails the test instead of the run.
"""

import os
import subprocess
import sys
import sysconfig
import textwrap

import pytest

from conftest import run_isolated

pytestmark = pytest.mark.isolated

# Which sub-interpreter kinds this interpreter can make, and the call that
# makes one: shared-GIL ("legacy") interpreters everywhere, and from 3.12
# on the isolated kind, which refuses single-phase extensions by itself.
SUBINTERPRETERS = """
import sys
try:
    import _interpreters as interpreters
except ImportError:
    import _xxsubinterpreters as interpreters

def create(kind):
    if hasattr(interpreters, "new_config"):
        return interpreters.create(kind)
    if sys.version_info >= (3, 12):
        return interpreters.create(isolated=kind == "isolated")
    return interpreters.create()

def run(interp, code):
    failure = interpreters.run_string(interp, code)
    if failure is not None:
        raise AssertionError(f"sub-interpreter failed: {failure}")
"""

KINDS = ["legacy", "isolated"] if sys.version_info >= (3, 12) else ["legacy"]

# What a framework user does, checked against the core the interpreter chose.
USE_FRAMEWORK = """
import trel.interface
from trel.interface import AdapterRegistry, Interface, adapter_hooks, implementedBy, implementer, providedBy

class IGreeter(Interface):
    pass

class IShout(Interface):
    pass

@implementer(IGreeter)
class Greeter:
    pass

greeter = Greeter()
assert IGreeter.providedBy(greeter) and implementedBy(Greeter) is Greeter.__implemented__
registry = AdapterRegistry()
registry.register([IGreeter], IShout, "", lambda ob: ("shout", ob))
assert registry.queryAdapter(greeter, IShout) == ("shout", greeter)
adapter_hooks.append(registry.adapter_hook)
assert IShout(greeter) == ("shout", greeter)
registry.register([IGreeter, IGreeter], IShout, "", lambda a, b: ("both", a, b))
assert registry.queryMultiAdapter((greeter, greeter), IShout) == ("both", greeter, greeter)
"""

SUB_INTERPRETER_CODE = (
    """
for extension in ("_trel_interface_coptimizations", "_trel_interface_speedups"):
    try:
        __import__(extension)
    except ImportError as error:
        assert "first interpreter" in str(error) or "subinterpreters" in str(error), error
    else:
        raise AssertionError(f"{extension} was imported by a second interpreter")
"""
    + USE_FRAMEWORK
    + """
assert trel.interface.CORE == "python", trel.interface.CORE
"""
)


@pytest.mark.parametrize("kind", KINDS)
def test_sub_interpreters_get_the_plain_core(kind):
    run_isolated(
        SUBINTERPRETERS
        + USE_FRAMEWORK
        + f"""
assert trel.interface.CORE == "c++"
hooks_before = list(adapter_hooks)
for _ in range(20):
    interp = create({kind!r})
    run(interp, {SUB_INTERPRETER_CODE!r})
    interpreters.destroy(interp)
# The main interpreter's state is its own: the hooks appended in the
# sub-interpreters are not in its list, and everything still resolves.
assert adapter_hooks == hooks_before
"""
        + USE_FRAMEWORK
    )


def test_first_importer_owns_the_extension():
    # A sub-interpreter imports the framework first and is destroyed. Where
    # the sub-interpreter's import initialises the extension itself, it owns
    # it and the main interpreter is refused; where the interpreter runs a
    # single-phase initialisation in the main interpreter first (3.13), the
    # main interpreter owns it. Either way exactly one of them runs on the
    # C++ core and both work.
    report = "print('core', trel.interface.CORE, flush=True)\n"
    out = run_isolated(
        SUBINTERPRETERS
        + f"""
interp = create("legacy")
run(interp, {USE_FRAMEWORK + report!r})
interpreters.destroy(interp)
"""
        + USE_FRAMEWORK
        + report
    )
    assert sorted(out.split()) == sorted(["core", "core", "c++", "python"]), out


def test_reimport_in_the_owner_shares_its_state():
    run_isolated("""
        import sys
        import _trel_interface_coptimizations as first
        hooks = first.adapter_hooks
        del sys.modules["_trel_interface_coptimizations"]
        import _trel_interface_coptimizations as second
        assert second is not first and second.adapter_hooks is hooks
        assert second.InterfaceBase is first.InterfaceBase
    """)


# An application that embeds the interpreter, uses the framework, finalises
# it and starts again, several times in one process.
EMBEDDER = r"""
#include <Python.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    int rounds = atoi(argv[1]);
    for (int round = 0; round < rounds; ++round) {
        Py_Initialize();
        if (PyRun_SimpleString(argv[2]) != 0) {
            return 10 + round;
        }
        if (Py_FinalizeEx() < 0) {
            return 100 + round;
        }
    }
    return 0;
}
"""


def build_embedder(directory):
    """The embedding program, linked against this interpreter's shared library; None if it has none."""
    config = sysconfig.get_config_var
    libdir = config("LIBDIR")
    library = os.path.join(libdir or "", config("LDLIBRARY") or "")
    if not config("Py_ENABLE_SHARED") or not os.path.exists(library) or not config("CC"):
        return None
    source = os.path.join(directory, "embedder.c")
    program = os.path.join(directory, "embedder")
    with open(source, "w") as out:
        out.write(EMBEDDER)
    command = [
        config("CC").split()[0],
        "-o",
        program,
        source,
        f"-I{sysconfig.get_paths()['include']}",
        f"-L{libdir}",
        f"-Wl,-rpath,{libdir}",
        f"-lpython{config('LDVERSION')}",
        *(config("LIBS") or "").split(),
        *(config("SYSLIBS") or "").split(),
    ]
    subprocess.run(command, check=True, capture_output=True)
    return program


def test_repeated_embedding(tmp_path):
    program = build_embedder(str(tmp_path))
    if program is None:
        pytest.skip("this interpreter has no shared library to embed")
    code = USE_FRAMEWORK + 'assert trel.interface.CORE == "c++", trel.interface.CORE\n'
    environment = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path[1:]))
    environment.pop("TREL_INTERFACE_PURE", None)
    done = subprocess.run([program, "8", textwrap.dedent(code)], capture_output=True, text=True, env=environment)
    assert done.returncode == 0, f"exit {done.returncode}\n{done.stdout}\n{done.stderr}"
