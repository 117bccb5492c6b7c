# Everything a fresh machine needs is set up by the targets themselves.
#   make test   C++ tests (plain and under ASan+UBSan), Python tests on 3.12 and 3.13
#   make bench  benchmarks
#   make demo   a venv of its own, then the main job: an analysis and a self-play game with its HTML replay
SHELL := /bin/bash
.SHELLFLAGS := -eu -o pipefail -c
.DEFAULT_GOAL := test

PYTHON_VERSIONS := 3.12 3.13
JOBS ?= $(shell nproc)
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
APT_STAMP := build/.apt-updated

.PRECIOUS: .venv/%/bin/python .venv/%/requirements.stamp
.PHONY: demo test cpp-test cpp-test-asan py-test py-test-assertions fuzz fuzz-smoke fuzz-build deps-fuzz bench deps-cpp deps-bench deps-py clean

test: cpp-test cpp-test-asan py-test fuzz-smoke py-test-assertions

# --- system packages (Debian) -------------------------------------------------
define apt_install
	@missing=""; for pkg in $(1); do dpkg -s $$pkg >/dev/null 2>&1 || missing="$$missing $$pkg"; done; \
	if [ -n "$$missing" ]; then \
	  echo "installing$$missing"; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing >/dev/null; \
	fi
endef

deps-cpp:
	$(call apt_install,libgtest-dev)

deps-bench:
	$(call apt_install,libbenchmark-dev)

deps-py:
	$(call apt_install,librsvg2-bin)

# --- C++ ----------------------------------------------------------------------
CMAKE_TEST_FLAGS := -DTOVAK_BUILD_TESTS=ON -DTOVAK_BUILD_PYTHON=OFF -DTOVAK_WERROR=ON

cpp-test: deps-cpp
	cmake -S . -B build/cpp -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_TEST_FLAGS) >/dev/null
	cmake --build build/cpp -j $(JOBS)
	ctest --test-dir build/cpp --output-on-failure -j $(JOBS)

cpp-test-asan: deps-cpp
	cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DTOVAK_SANITIZE=ON $(CMAKE_TEST_FLAGS) >/dev/null
	cmake --build build/asan -j $(JOBS)
	ctest --test-dir build/asan --output-on-failure -j $(JOBS)

# --- Python -------------------------------------------------------------------
# One virtual environment per interpreter; the package is built and installed
# into it with pip (scikit-build-core), then the pytest suite runs.
.venv/%/bin/python:
	"$$(tools/find-python $*)" -m venv .venv/$*
	.venv/$*/bin/python -m pip install -q --upgrade pip
	.venv/$*/bin/python -m pip install -q -r tests/python/requirements.txt

py-test: $(foreach v,$(PYTHON_VERSIONS),py-test-$(v))

# A venv made before a requirement was added gets it on the next run.
.venv/%/requirements.stamp: tests/python/requirements.txt | .venv/%/bin/python
	.venv/$*/bin/python -m pip install -q -r tests/python/requirements.txt
	touch $@

py-test-%: .venv/%/bin/python .venv/%/requirements.stamp deps-py
	.venv/$*/bin/python -m pip install -q --force-reinstall --no-deps -Cbuild-dir=build/py$* -Ccmake.define.TOVAK_WERROR=ON .
	.venv/$*/bin/python -m pytest -q -p no:cacheprovider
	$(MAKE) --no-print-directory typecheck-$*

# The installed stub against the built module, and the tovak package under
# mypy's strictest settings (both read the stub as installed).
typecheck-%: .venv/%/bin/python
	.venv/$*/bin/python -m mypy.stubtest tovak_python
	.venv/$*/bin/python -m mypy --strict python/tovak

# Once more against a module built with the standard library's assertions and
# the project's own assert()s on (RelWithDebInfo without NDEBUG), with the
# interpreter's allocator debug hooks (buffer overruns, API use without the lock).
.venv/assert/bin/python:
	"$$(tools/find-python 3.12)" -m venv .venv/assert
	.venv/assert/bin/python -m pip install -q --upgrade pip
	.venv/assert/bin/python -m pip install -q -r tests/python/requirements.txt

py-test-assertions: .venv/assert/bin/python .venv/assert/requirements.stamp deps-py
	.venv/assert/bin/python -m pip install -q --force-reinstall --no-deps -Cbuild-dir=build/py-assert \
	  -Ccmake.build-type=RelWithDebInfo '-Ccmake.define.CMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g' \
	  -Ccmake.define.CMAKE_CXX_FLAGS=-D_GLIBCXX_ASSERTIONS .
	@grep -q -- -D_GLIBCXX_ASSERTIONS build/py-assert/compile_commands.json && \
	  ! grep -q -- -DNDEBUG build/py-assert/compile_commands.json || \
	  { echo "py-test-assertions: the module was not built with assertions on"; exit 1; }
	PYTHONMALLOC=debug .venv/assert/bin/python -m pytest -q -p no:cacheprovider

# --- fuzzing (clang + libFuzzer, a build of its own) -------------------------
#   make fuzz-smoke   each target a few seconds on its checked-in corpus (part of make test)
#   make fuzz         each target for FUZZ_SECONDS (default 60)
FUZZ_CXX := clang++-14
FUZZ_SECONDS ?= 60
FUZZ_SMOKE_SECONDS ?= 3

deps-fuzz:
	$(call apt_install,clang-14 libclang-rt-14-dev)

fuzz-build: deps-fuzz
	cmake -S fuzz -B build/fuzz -DCMAKE_CXX_COMPILER=$(FUZZ_CXX) >/dev/null
	cmake --build build/fuzz -j $(JOBS)

fuzz-smoke: fuzz-build
	rm -rf build/fuzz/smoke
	bash fuzz/run-fuzzers build/fuzz $(FUZZ_SMOKE_SECONDS) build/fuzz/smoke

fuzz: fuzz-build
	bash fuzz/run-fuzzers build/fuzz $(FUZZ_SECONDS)

# --- demo ---------------------------------------------------------------------
# A fresh machine needs only this: its own venv, the package built into it,
# then the initial position analysed and one short self-play game, printed
# ply by ply and written out as JSON lines and an HTML replay.
DEMO_OUT := demo-output

demo:
	@[ -x .venv/demo/bin/python ] || "$$(tools/find-python 3.12)" -m venv .venv/demo
	.venv/demo/bin/python -m pip install -q --upgrade pip
	.venv/demo/bin/python -m pip install -q -Cbuild-dir=build/demo .
	.venv/demo/bin/tovak analyze --depth 4
	.venv/demo/bin/tovak selfplay --games 1 --depth 3 --seed 1 --max-plies 60 --show --out $(DEMO_OUT)
	@echo
	@echo "HTML replay: $(CURDIR)/$(DEMO_OUT)/game-0001.html (open it in a browser; arrow keys step)"

# --- benchmarks ---------------------------------------------------------------
bench: deps-bench
	cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DTOVAK_BUILD_BENCH=ON -DTOVAK_BUILD_PYTHON=OFF >/dev/null
	cmake --build build/bench -j $(JOBS)
	@for b in build/bench/bench/*_bench; do echo "== $$b"; $$b; done

clean:
	rm -rf build .venv $(DEMO_OUT)
