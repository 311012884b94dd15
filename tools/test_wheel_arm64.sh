#!/usr/bin/env bash
# Test an aarch64 wheel on this x86_64 machine: tools/test_wheel_arm64.sh WHEEL SYSROOT X.Y
#
# SYSROOT holds Debian's arm64 CPython X.Y (tools/arm64-python unpacks one). The host's pip
# installs the wheel with its test extra (aarch64 binaries only, for the sysroot's glibc) into a
# folder of its own, and a copy of tests/ runs from outside this tree on the sysroot's
# interpreter under qemu-aarch64, slow tests aside. Without binfmt_misc the emulator does not
# follow exec(), so sys.executable is pointed at a launcher that starts the same emulated
# interpreter (TORSO_EMULATED_PYTHON, read by tests/conftest.py). Extra arguments go to pytest.
# ARM64_CHECKS names what runs: "suite" (the default), "identity" (see below) or both.
set -euo pipefail

wheel="$(realpath "$1")"
sysroot="$(realpath "$2")"
version="$3"
shift 3
project="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

mkdir "$work/suite"
cp -r "$project/tests" "$work/suite/"
cp "$project/pyproject.toml" "$work/suite/"  # the pytest options only; nothing is built from it
find "$work/suite" -name __pycache__ -prune -exec rm -rf {} +

# Wheels for every manylinux level up to the sysroot's glibc.
glibc=$(readelf -W --dyn-syms "$sysroot"/lib/aarch64-linux-gnu/libc.so.6 | grep -o 'GLIBC_2\.[0-9]*' | sort -V | tail -n 1)
platforms=(--platform manylinux2014_aarch64)
for minor in $(seq 17 "${glibc#GLIBC_2.}"); do platforms+=(--platform "manylinux_2_${minor}_aarch64"); done
python3 -m pip install --quiet --target "$work/site" --only-binary=:all: "${platforms[@]}" \
    --python-version "$version" --implementation cp --abi "cp${version/./}" \
    "tarvelo_torso_kinematics[test] @ file://$wheel"

cat > "$work/python" <<LAUNCHER
#!/bin/sh
exec qemu-aarch64 -L "$sysroot" "$sysroot/usr/bin/python$version" "\$@"
LAUNCHER
chmod +x "$work/python"

unset PYTHONHOME VIRTUAL_ENV
export PYTHONPATH="$work/site" TORSO_EMULATED_PYTHON="$work/python"
cd "$work/suite"
"$work/python" -c "import platform, tarvelo_torso_kinematics as m
assert platform.machine() == \"aarch64\", platform.machine()
print(\"testing\", m.__file__, \"on\", platform.machine())"
for check in ${ARM64_CHECKS:-suite}; do
    case "$check" in
    suite) "$work/python" -m pytest -q -p no:cacheprovider -m "not slow" "$@" ;;
    # Every method on the rows of ARM64_IDENTITY_BASE (tools/arch_identity.py run on this
    # machine), compared with that run bit for bit.
    identity)
        "$work/python" "$project/tools/arch_identity.py" run "$work/aarch64.pickle" --inputs "$ARM64_IDENTITY_BASE"
        "$work/python" "$project/tools/arch_identity.py" compare "$ARM64_IDENTITY_BASE" "$work/aarch64.pickle" ;;
    *) echo "test_wheel_arm64.sh: unknown check $check" >&2; exit 2 ;;
    esac
done
