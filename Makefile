# Set-up, build, example and tests. `make example` and `make test` are all a fresh machine needs.
SHELL := /bin/bash
PYTHON ?= python3
VENV := .venv
PY := $(VENV)/bin/python
DEBIAN_PACKAGES := rapidjson-dev
SOURCES := $(shell find core arm neck module stubs tools -name '*.cpp' -o -name '*.h' -o -name '*.map' 2>/dev/null) \
           CMakeLists.txt pyproject.toml
CMAKE_DEFINES ?= -C cmake.define.TORSO_WERROR=ON
# Where ccache is installed (.ci/run installs it), every CMake build here compiles through it:
# the core and the stub records do not depend on the interpreter, so the builds for each
# CPython and for each wheel compile them once between them, and a rerun compiles nothing.
CCACHE := $(shell command -v ccache 2>/dev/null)
ifneq ($(CCACHE),)
export CMAKE_CXX_COMPILER_LAUNCHER ?= $(CCACHE)
# ccache tells compilers apart by name, and scikit-build-core would take each interpreter's
# own name for g++ (Debian's builds say x86_64-linux-gnu-g++): name one for all of them.
export CXX
endif

.PHONY: example test build stub-golden bench cpp-example colcon-check test-sanitize fuzz-smoke valgrind fetched-pythons test-pythons wheels wheels-arm64 arm64-tools arm64-identity lint format clean

example: build
	$(PY) examples/quickstart.py

test: build
	$(PY) -m pytest -q

build: $(VENV)/.installed

# Debian packages, only when one is missing (apt-get needs root).
$(VENV)/.system-deps:
	@if ! dpkg -s $(DEBIAN_PACKAGES) >/dev/null 2>&1; then \
	  apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q $(DEBIAN_PACKAGES); fi
	@mkdir -p $(VENV) && touch $@

$(VENV)/.python-deps: $(VENV)/.system-deps pyproject.toml Makefile
	test -x $(PY) || $(PYTHON) -m venv $(VENV)
	$(PY) -m pip install -q --upgrade pip
	$(PY) -m pip install -q "cmake>=3.20"
	touch $@

$(VENV)/.installed: $(VENV)/.python-deps $(SOURCES) Makefile
	$(PY) -m pip install -q $(CMAKE_DEFINES) ".[test,examples]"
	touch $@

# Rewrite the expected stub in tests/data from the stub tool, so that a change to a method's
# declaration shows as a difference in `git diff`.
STUB_BUILD := build/stub
stub-golden: $(VENV)/.python-deps
	$(VENV)/bin/cmake -S . -B $(STUB_BUILD) >/dev/null
	$(VENV)/bin/cmake --build $(STUB_BUILD) --target torso_stubgen -j2
	$(STUB_BUILD)/torso_stubgen tests/data/tarvelo_torso_kinematics.pyi

# The C++ library installed into build/cpp-prefix, and examples/cpp built against it as a
# user builds it (find_package through CMAKE_PREFIX_PATH), then run.
CPP_BUILD := build/cpp
CPP_PREFIX := build/cpp-prefix
cpp-example: $(VENV)/.python-deps
	$(VENV)/bin/cmake -S . -B $(CPP_BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	$(VENV)/bin/cmake --build $(CPP_BUILD) -j2 --target torso_kinematics_cpp
	$(VENV)/bin/cmake --install $(CPP_BUILD) --prefix $(CPP_PREFIX) >/dev/null
	$(VENV)/bin/cmake -S examples/cpp -B build/cpp-example -DCMAKE_PREFIX_PATH=$(abspath $(CPP_PREFIX)) >/dev/null
	$(VENV)/bin/cmake --build build/cpp-example
	build/cpp-example/torso_example

# A colcon workspace as ROS 2 builds one, with colcon from PyPI and no ROS: this tree (through
# its package.xml, as a plain CMake package) and the consumer package of examples/colcon.
COLCON_VENV := build/colcon/venv
COLCON_WS := build/colcon/ws
colcon-check: $(VENV)/.python-deps
	test -x $(COLCON_VENV)/bin/colcon || ($(PYTHON) -m venv $(COLCON_VENV) && \
	  $(COLCON_VENV)/bin/pip install -q colcon-common-extensions)
	rm -rf $(COLCON_WS) && mkdir -p $(COLCON_WS)/src
	ln -s $(CURDIR) $(COLCON_WS)/src/tarvelo_torso_kinematics
	ln -s $(CURDIR)/examples/colcon/torso_consumer $(COLCON_WS)/src/torso_consumer
	cd $(COLCON_WS) && PATH=$(abspath $(VENV))/bin:$(abspath $(COLCON_VENV))/bin:$$PATH \
	  colcon build --event-handlers console_cohesion-
	bash -c '. $(COLCON_WS)/install/setup.bash && torso_consumer'

# nox runs the suite and builds wheels on every CPython from 3.10 to 3.15 found here
# (noxfile.py); it makes its own environments under .nox.
NOX := $(VENV)/bin/nox
$(VENV)/.nox-installed: $(VENV)/.python-deps
	$(PY) -m pip install -q "nox>=2024.4"
	touch $@

# CPythons that neither Debian 12 nor pyenv offer here: the shared tool unpacks Debian's own
# builds into ~/.cache (a second run only prints the path), and nox is handed their paths.
FETCHED_PYTHONS ?= 3.14 3.15
# The team's tool when this tree sits beside it, else the copy kept in tools/.
CPYTHON_FROM_DEBIAN ?= $(firstword $(wildcard ../shared/tools/cpython-from-debian) tools/cpython-from-debian)
WITH_FETCHED_PYTHONS = set -o pipefail; pythons=""; \
	  for v in $(FETCHED_PYTHONS); do pythons="$$pythons $$($(CPYTHON_FROM_DEBIAN) $$v | tail -n 1)" || exit 1; done; \
	  export TORSO_PYTHONS="$$pythons";

# Prints the fetched interpreters' paths (fetching them on the first run).
fetched-pythons:
	@$(WITH_FETCHED_PYTHONS) printf '%s\n' $$TORSO_PYTHONS

# The suite but its slow tests on each interpreter other than .venv's (`make test` runs that
# one, slow tests included), built from source. Fails when a version in REQUIRED_PYTHONS is
# missing or when fewer than MIN_PYTHONS interpreters besides .venv's were found.
REQUIRED_PYTHONS ?= $(FETCHED_PYTHONS)
MIN_PYTHONS ?= 1
test-pythons: $(VENV)/.nox-installed
	@$(WITH_FETCHED_PYTHONS) $(NOX) --list --json | $(PY) -c 'import json, sys; \
	  found = [s["session"].removeprefix("tests(").removesuffix(")") for s in json.load(sys.stdin) if s["name"] == "tests"]; \
	  print("CPython versions found besides the main one:", *found); \
	  problems = [f"CPython {v} not found" for v in sys.argv[1].split() if v not in found]; \
	  problems += [f"fewer than {sys.argv[2]} found"] if len(found) < int(sys.argv[2]) else []; \
	  sys.exit("; ".join(problems) or None)' "$(REQUIRED_PYTHONS)" $(MIN_PYTHONS)
	$(WITH_FETCHED_PYTHONS) $(NOX) -s tests

# A wheel per interpreter, repaired with auditwheel, and one built from the sdist; each is
# installed into a clean venv (no compiler, headers or source tree) and tested, slow tests
# aside. Into dist/.
WHEEL_SESSIONS ?= wheels sdist
wheels: $(VENV)/.nox-installed
	$(WITH_FETCHED_PYTHONS) $(NOX) -s $(WHEEL_SESSIONS)

# aarch64 wheels, cross-built with Debian's aarch64-linux-gnu-g++ (cmake/aarch64-linux-gnu.cmake)
# against Debian's arm64 CPythons, repaired and tested under qemu-aarch64 (noxfile.py). The
# interpreters' sysroots go to ~/.cache/arm64-python. ARM64_CMAKE_ARGS reach the cross build alone.
ARM64_VERSIONS ?= 3.11 3.13 3.14 3.15
ARM64_DEBIAN_PACKAGES := g++-aarch64-linux-gnu qemu-user
ARM64_PYTHON ?= $(firstword $(wildcard ../shared/tools/arm64-python) tools/arm64-python)
export ARM64_PYTHON
ARM64_CMAKE_ARGS ?=
arm64-tools:
	@if ! dpkg -s $(ARM64_DEBIAN_PACKAGES) >/dev/null 2>&1; then \
	  apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q $(ARM64_DEBIAN_PACKAGES); fi

wheels-arm64: $(VENV)/.nox-installed arm64-tools
	$(WITH_FETCHED_PYTHONS) $(NOX) -s $(foreach v,$(ARM64_VERSIONS),"wheels-arm64($(v))") -- $(ARM64_CMAKE_ARGS)

# CI's aarch64 leg: every method on this machine (.venv's build), then the cp311 aarch64 wheel
# cross-built and the same rows computed under qemu-aarch64, compared bit for bit
# (tools/arch_identity.py). ARM64_CI_CHECKS=suite adds the suite under emulation (ten minutes).
IDENTITY_BASE := build/identity/x86_64.pickle
ARM64_CI_CHECKS ?=
arm64-identity: build $(VENV)/.nox-installed arm64-tools
	@mkdir -p $(dir $(IDENTITY_BASE))
	$(PY) tools/arch_identity.py run $(IDENTITY_BASE)
	ARM64_CHECKS="identity $(ARM64_CI_CHECKS)" ARM64_IDENTITY_BASE=$(abspath $(IDENTITY_BASE)) \
	  $(NOX) -s "wheels-arm64(3.11)" -- $(ARM64_CMAKE_ARGS)

# The suite but its slow tests against a build with AddressSanitizer and
# UndefinedBehaviorSanitizer (any finding aborts the run). The sanitized module is put first
# on the path.
SANITIZE_BUILD := build/sanitize
ASAN_PRELOAD = $(shell g++ -print-file-name=libasan.so) $(shell g++ -print-file-name=libstdc++.so)
test-sanitize: build
	$(VENV)/bin/cmake -S . -B $(SANITIZE_BUILD) -DTORSO_BUILD_MODULE=ON -DTORSO_SANITIZE=ON -DTORSO_WERROR=ON \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPython_EXECUTABLE=$(abspath $(PY)) >/dev/null
	$(VENV)/bin/cmake --build $(SANITIZE_BUILD) -j2
	$(VENV)/bin/cmake --install $(SANITIZE_BUILD) --prefix $(SANITIZE_BUILD)/site >/dev/null
	LD_PRELOAD="$(ASAN_PRELOAD)" ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 PYTHONPATH=$(abspath $(SANITIZE_BUILD)/site) \
	  $(PY) -m pytest -q -p no:cacheprovider -m "not slow"

# A short run of the geometry document fuzzer (clang's libFuzzer).
FUZZ_SECONDS ?= 60
fuzz-smoke:
	@dpkg -s clang libclang-rt-14-dev >/dev/null 2>&1 || \
	  (apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q clang libclang-rt-14-dev)
	bash tools/run_fuzz.sh $(FUZZ_SECONDS)

# Every method's success and failure paths under valgrind's memcheck. The interpreter's own
# start-up reports (an uninitialised read in CPython's int.from_bytes) and those of importing
# numpy, which the array methods do (the dynamic loader reading numpy's RPATH), are measured on
# a script that only imports numpy, and suppressed; anything else fails the run.
VALGRIND_DIR := build/valgrind
valgrind: build
	@mkdir -p $(VALGRIND_DIR)
	PYTHONMALLOC=malloc valgrind --gen-suppressions=all $(PY) -c "import numpy" 2>&1 \
	  | awk '/^\{/{keep=1} keep{print} /^\}/{keep=0}' > $(VALGRIND_DIR)/interpreter-start.supp
	PYTHONMALLOC=malloc valgrind --error-exitcode=1 --suppressions=$(VALGRIND_DIR)/interpreter-start.supp \
	  $(PY) tools/valgrind_workload.py 20

# Core microbenchmarks (Google Benchmark), the per-call cost of every method from Python, the
# array methods against the core, a Python loop and scipy (installed into .venv for the
# comparison only; the module does not need it), and the C++ library's per-call latency.
bench: build
	@dpkg -s libbenchmark-dev >/dev/null 2>&1 || \
	  (apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q libbenchmark-dev)
	@$(PY) -c "import scipy" 2>/dev/null || $(PY) -m pip install -q scipy
	$(VENV)/bin/cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DTORSO_BENCHMARKS=ON >/dev/null
	$(VENV)/bin/cmake --build build/bench --target core_bench torso_latency
	build/bench/core_bench --benchmark_min_time=0.2 --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
	  --benchmark_out=build/bench/core.json --benchmark_out_format=json
	$(PY) bench/bench_calls.py
	$(PY) bench/bench_arrays.py --core-json build/bench/core.json
	build/bench/torso_latency

# Formatting and static analysis with pinned tools from PyPI, inside .venv. `make lint`
# changes nothing and fails on any finding; `make format` applies both formatters.
CXX_FILES = $(shell find core arm neck module stubs tools bench -name '*.cpp' -o -name '*.h')
TIDY_FILES = $(filter-out tools/fuzz_geometry_document.cpp,$(filter %.cpp,$(CXX_FILES)))
LINT_BUILD := build/lint
$(VENV)/.lint-tools: $(VENV)/.python-deps pyproject.toml
	$(PY) -m pip install -q --group lint
	touch $@

lint: $(VENV)/.lint-tools
	@dpkg -s libbenchmark-dev >/dev/null 2>&1 || \
	  (apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q libbenchmark-dev)
	$(VENV)/bin/ruff check --no-cache .
	$(VENV)/bin/ruff format --no-cache --check .
	$(VENV)/bin/clang-format --dry-run --Werror $(CXX_FILES)
	$(VENV)/bin/cmake -S . -B $(LINT_BUILD) -DTORSO_BUILD_MODULE=ON -DTORSO_BENCHMARKS=ON \
	  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DPython_EXECUTABLE=$(abspath $(PY)) >/dev/null
	printf '%s\n' $(TIDY_FILES) | xargs -P 2 -n 4 $(VENV)/bin/clang-tidy -p $(LINT_BUILD) --quiet
	$(VENV)/bin/clang-tidy --quiet tools/fuzz_geometry_document.cpp -- -std=c++23 -I.

format: $(VENV)/.lint-tools
	$(VENV)/bin/ruff format --no-cache .
	$(VENV)/bin/clang-format -i $(CXX_FILES)

clean:
	rm -rf build dist .nox $(VENV)
