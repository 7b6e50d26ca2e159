#!/usr/bin/env bash
# clang-tidy over the given translation units, two at a time, against the
# compile commands of the build tree that PYTHON's environment was built in.
# Usage: tools/clang-tidy.sh PYTHON FILE...
set -euo pipefail
cd "$(dirname "$0")/.."
python=$1
shift
tag=$("$python" -c 'import sys; print("cp%d%d" % sys.version_info[:2])')
tree=$(ls -d build/"$tag"-"$tag"-*/ | head -n 1)
[ -f "$tree/compile_commands.json" ] || { echo "no compile commands in $tree" >&2; exit 1; }
echo "clang-tidy -p $tree: $# files"
# Its per-file count of warnings raised (and filtered) inside system headers is noise.
set +e
printf '%s\n' "$@" | xargs -P 2 -n 1 clang-tidy -p "$tree" --quiet 2>&1 | grep -v '^[0-9]* warnings generated\.$'
statuses=("${PIPESTATUS[@]}")
set -e
if [ "${statuses[1]}" -ne 0 ]; then
    echo "clang-tidy found problems" >&2
    exit 1
fi
