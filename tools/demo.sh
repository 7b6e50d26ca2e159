#!/usr/bin/env bash
# Runs every example on the C++ core and on the plain-Python core, shows
# both outputs one after the other, and fails if they differ anywhere but
# in the line that names the core.
# Usage: tools/demo.sh PYTHON
set -euo pipefail
cd "$(dirname "$0")/.."
python=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for example in examples/*.py; do
    TREL_INTERFACE_PURE=0 "$python" "$example" >"$work/cpp" 2>&1 || { cat "$work/cpp"; exit 1; }
    TREL_INTERFACE_PURE=1 "$python" "$example" >"$work/python" 2>&1 || { cat "$work/python"; exit 1; }
    echo "== $example"
    echo "-- on the C++ core"
    cat "$work/cpp"
    echo "-- on the plain-Python core"
    cat "$work/python"
    if diff <(grep -v '^core: ' "$work/cpp") <(grep -v '^core: ' "$work/python") >"$work/diff"; then
        echo "-- the same on both cores"
    else
        echo "-- DIFFERENT on the two cores (< C++, > plain Python):"
        cat "$work/diff"
        status=1
    fi
    echo
done
exit $status
