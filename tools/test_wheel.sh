#!/usr/bin/env bash
# Test a wheel as a robot's computer would have it: tools/test_wheel.sh WHEEL PYTHON
#
# A fresh virtual environment of PYTHON installs the wheel with its test extra (binaries only)
# and runs a copy of tests/ from outside this tree. Where mount namespaces are allowed (root),
# that happens with the compiler's programs, every C and C++ header (RapidJSON's included) and
# this source tree hidden, and the script checks that they are gone before it installs anything.
set -euo pipefail

wheel="$(realpath "$1")"
python="$2"
project="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

mkdir "$work/suite"
cp -r "$project/tests" "$work/suite/"
cp "$project/pyproject.toml" "$work/suite/"  # the pytest options only; nothing is built from it
find "$work/suite" -name __pycache__ -prune -exec rm -rf {} +
cp "$wheel" "$work/"

# Runs in the hidden view where there is one: check it, then install and test.
inner='
set -euo pipefail
if [ "$hidden" = yes ]; then
    [ ! -e /usr/include/rapidjson ] || { echo "RapidJSON headers still visible" >&2; exit 1; }
    [ -z "$(ls -A "$project")" ] || { echo "source tree still visible" >&2; exit 1; }
    for compiler in c++ g++ gcc cc; do
        if echo "int main() { return 0; }" | "$compiler" -x c++ - -o "$work/a.out" 2>/dev/null; then
            echo "$compiler still compiles" >&2; exit 1
        fi
    done
fi
"$python" -m venv "$work/venv"
export PATH="$work/venv/bin:/usr/bin:/bin"
python -m pip install --quiet --only-binary=:all: "tarvelo_torso_kinematics[test] @ file://$work/$(basename "$wheel")"
cd "$work/suite"
python -c "import sys, tarvelo_torso_kinematics as m
assert m.__file__.startswith(sys.prefix + \"/\"), m.__file__
print(\"testing\", m.__file__)"
python -m pytest -q -p no:cacheprovider -m "not slow"  # the slow tests run once, from source
'

unset PYTHONPATH PYTHONHOME VIRTUAL_ENV CPATH C_INCLUDE_PATH CPLUS_INCLUDE_PATH
export work project python wheel
if unshare --mount --propagation private true 2>/dev/null; then
    hide='
    mount -t tmpfs -o ro none /usr/include
    for dir in /usr/lib/gcc /usr/libexec/gcc "$project"; do
        if [ -d "$dir" ]; then mount -t tmpfs -o ro none "$dir"; fi
    done'
    hidden=yes unshare --mount --propagation private bash -c "$hide
$inner"
else
    echo "test_wheel.sh: no mount namespace here: the compiler, headers and source tree stay" \
         "visible; only binaries are installed and the tests run outside the tree" >&2
    hidden=no bash -c "$inner"
fi
