#!/usr/bin/env bash
# Builds the package and runs the test suite on every CPython 3.9 or newer
# this machine offers: each interpreter pyenv knows, and the system's. Each
# gets its own virtual environment (.venv-matrix/NAME) and its own build tree
# (build/matrix-NAME), so interpreters sharing a wheel tag never share a
# CMake cache. Prints one line per interpreter; the full output of each is
# kept in build/matrix-NAME.log. Exits non-zero if any interpreter fails.
# Arguments, if any, keep only the interpreters whose NAME contains one of
# them: `tools/test-matrix.sh 3.13 system`.
set -uo pipefail
cd "$(dirname "$0")/.."

BUILD_DEPS=("scikit-build-core>=1.0" cmake ninja "pytest>=7" "hypothesis>=6")

candidates=()
if command -v pyenv >/dev/null 2>&1; then
    root=$(pyenv root)
    while read -r version; do
        [ -x "$root/versions/$version/bin/python3" ] && candidates+=("pyenv:$root/versions/$version/bin/python3")
    done < <(pyenv versions --bare 2>/dev/null)
fi
[ -x /usr/bin/python3 ] && candidates+=("system:/usr/bin/python3")

# "cpython 3.12.1" for a CPython, anything else otherwise.
describe() {
    "$1" -c 'import sys; print(sys.implementation.name, "%d.%d.%d" % sys.version_info[:3])' 2>/dev/null
}

# Debian's interpreter needs its venv and header packages to build here.
system_prerequisites() {
    "$1" -c 'import ensurepip, os, sysconfig, sys; sys.exit(not os.path.exists(os.path.join(sysconfig.get_paths()["include"], "Python.h")))' \
        2>/dev/null && return 0
    command -v apt-get >/dev/null 2>&1 || return 1
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq python3-venv python3-dev >/dev/null
}

declare -A seen=()
found=0
failed=0
for candidate in "${candidates[@]}"; do
    origin=${candidate%%:*}
    python=${candidate#*:}
    real=$(readlink -f "$python")
    [ -n "${seen[$real]:-}" ] && continue
    seen[$real]=1
    read -r implementation version < <(describe "$python") || continue
    [ "$implementation" = cpython ] || continue
    if ! "$python" -c 'import sys; sys.exit(sys.version_info < (3, 9))'; then
        continue
    fi
    if [ "$origin" = system ]; then
        system_prerequisites "$python" || echo "warning: $python may lack python3-venv or python3-dev" >&2
    fi
    name="$origin-$version"
    if [ "$#" -gt 0 ]; then
        wanted=0
        for pattern in "$@"; do
            [[ "$name" == *"$pattern"* ]] && wanted=1
        done
        [ "$wanted" -eq 1 ] || continue
    fi
    venv=".venv-matrix/$name"
    log="build/matrix-$name.log"
    mkdir -p build
    printf '%-16s %-40s ' "$name" "$python"
    (
        set -e
        if [ ! -f "$venv/.ready" ]; then
            rm -rf "$venv"
            "$python" -m venv "$venv"
            "$venv/bin/python" -m pip install -q --upgrade pip
            "$venv/bin/python" -m pip install -q "${BUILD_DEPS[@]}"
            touch "$venv/.ready"
        fi
        "$venv/bin/python" -m pip install --no-build-isolation --no-deps -q \
            --config-settings=cmake.define.TREL_WERROR=ON \
            "--config-settings=build-dir=build/matrix-$name" .
        "$venv/bin/python" -m pytest -q
    ) >"$log" 2>&1
    status=$?
    summary=$(grep -E '^=*ERROR|[0-9]+ (passed|failed|error)' "$log" | tail -n 1 | sed 's/^=* *//; s/ *=*$//')
    if [ "$status" -eq 0 ]; then
        result="PASS  ${summary}"
    else
        result="FAIL  ${summary:-build failed} (see $log)"
        failed=1
    fi
    echo "$result"
    found=1
done

if [ "$found" -eq 0 ]; then
    echo "no CPython 3.9 or newer found" >&2
    exit 1
fi
exit "$failed"
