#!/usr/bin/env bash
# Installs the built wheel, and then the sdist (built from source), each into
# a fresh virtual environment, and runs the test suite the sdist carries
# against each installation, from outside the source tree.
# Usage: tools/check-dist.sh PYTHON   (after `python -m build --outdir dist`)
set -euo pipefail
cd "$(dirname "$0")/.."
python=$1
wheel=$(ls dist/*.whl)
sdist=$(ls dist/*.tar.gz)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The sdist's own tests, unpacked where nothing else is importable.
tar -xzf "$sdist" -C "$work"
tests=$(ls -d "$work"/*/)

check() {
    local label=$1 artifact=$2
    local venv="$work/venv-$label"
    "$python" -m venv "$venv"
    "$venv/bin/python" -m pip install -q "$artifact[test]"
    echo "== $label: $(basename "$artifact")"
    local output
    if ! output=$(cd "$tests" && "$venv/bin/python" -m pytest -q tests 2>&1); then
        echo "$output"
        return 1
    fi
    echo "   $(echo "$output" | tail -n 1)"
    # The type information is installed: each module's stub as a stub-only
    # package, and the markers of the two packages in the trel namespace.
    "$venv/bin/python" - <<'PY'
import pathlib, sysconfig
site = pathlib.Path(sysconfig.get_paths()["platlib"])
for name in ("_trel_interface_coptimizations-stubs/__init__.pyi", "_trel_interface_speedups-stubs/__init__.pyi",
             "trel/interface/py.typed", "trel/component/py.typed"):
    assert (site / name).is_file(), f"not installed: {name}"
# A namespace package, so that other distributions can add trel.* packages.
assert not (site / "trel" / "__init__.py").exists(), "trel/__init__.py is installed"
PY
    # The tests ran against the installed module, not a copy in the tree.
    "$venv/bin/python" -c 'import _trel_interface_coptimizations as m, trel.interface as t; print("   from", m.__file__); print("   and ", t.__file__)'
}

check wheel "$wheel"
check sdist "$sdist"
