# Everything a fresh machine needs is set up by the targets themselves.
#   make test   C++ tests (plain and under ASan+UBSan), Python tests on 3.12 and 3.13; builds and
#               installs log to build/logs/, each suite's output to build/test-logs/, and a
#               summary of every suite closes the run (tools/run-suite, tools/test-summary)
#   make bench  benchmarks (make bench-abi3: the wheel's module against a full-API build)
#   make wheel  one abi3 wheel for every interpreter from 3.12 on, in build/wheel/dist/
#   make format the C++ sources of src/ rewritten in the checked-in style (.clang-format)
#   make demo   a venv of its own, then the main job: an analysis and a self-play game with its HTML replay
#   make docs   the documentation site, build/docs/html/index.html (make docs-doctest runs its examples)
SHELL := /bin/bash
.SHELLFLAGS := -eu -o pipefail -c
.DEFAULT_GOAL := test

PYTHON_VERSIONS := 3.12 3.13
JOBS ?= $(shell nproc)
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
APT_STAMP := build/.apt-updated

.PRECIOUS: .venv/%/bin/python .venv/%/requirements.stamp
.PHONY: wheel bench-abi3 demo test test-suites import-graph cpp-test cpp-test-asan py-test py-test-assertions docs docs-doctest docs-test docs-install fuzz fuzz-smoke fuzz-build deps-fuzz bench bench-pipeline deps-cpp deps-bench deps-py format format-check deps-format clean

TEST_SUITES := format-check import-graph cpp-test cpp-test-asan py-test fuzz-smoke py-test-assertions docs-test
TEST_SUMMARY := build/test-summary
QUIETLY := tools/quietly
RUN_SUITE := tools/run-suite

# Every suite runs even when one fails (-k), so that the summary at the end
# covers them all; the status is still that of the whole run.
test:
	@mkdir -p build && rm -f $(TEST_SUMMARY)
	@status=0; $(MAKE) --no-print-directory -k test-suites || status=$$?; \
	  tools/test-summary $(TEST_SUMMARY); exit $$status

test-suites: $(TEST_SUITES)

# --- system packages (Debian) -------------------------------------------------
define apt_install
	@missing=""; for pkg in $(1); do dpkg -s $$pkg >/dev/null 2>&1 || missing="$$missing $$pkg"; done; \
	if [ -n "$$missing" ]; then \
	  echo "installing$$missing"; \
	  $(QUIETLY) build/logs/apt.log $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(QUIETLY) build/logs/apt.log $(SUDO) apt-get install -y -qq $$missing; \
	fi
endef

deps-cpp:
	$(call apt_install,libgtest-dev)

deps-bench:
	$(call apt_install,libbenchmark-dev)

deps-format:
	$(call apt_install,clang-format)

# librsvg2-bin renders SVG for the picture tests; chromium and its driver run
# the replay page in a real headless browser.
deps-py:
	$(call apt_install,librsvg2-bin chromium chromium-driver)

# --- C++ ----------------------------------------------------------------------
CMAKE_TEST_FLAGS := -DTOVAK_BUILD_TESTS=ON -DTOVAK_BUILD_PYTHON=OFF -DTOVAK_WERROR=ON

cpp-test: deps-cpp
	$(QUIETLY) build/logs/cpp-configure.log cmake -S . -B build/cpp -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_TEST_FLAGS)
	$(QUIETLY) build/logs/cpp-build.log cmake --build build/cpp -j $(JOBS)
	@$(RUN_SUITE) $@ ctest --test-dir build/cpp --output-on-failure -j $(JOBS)

cpp-test-asan: deps-cpp
	$(QUIETLY) build/logs/asan-configure.log cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DTOVAK_SANITIZE=ON $(CMAKE_TEST_FLAGS)
	$(QUIETLY) build/logs/asan-build.log cmake --build build/asan -j $(JOBS)
	@$(RUN_SUITE) $@ ctest --test-dir build/asan --output-on-failure -j $(JOBS)

# --- layout ---------------------------------------------------------------------
# Every *.h and *.cpp under src/, whichever directory it is in, in the style
# of .clang-format; make format applies it.
format-check: deps-format
	@$(RUN_SUITE) $@ tools/check-format

format: deps-format
	find src \( -name '*.h' -o -name '*.cpp' \) -print0 | xargs -0 clang-format -i

# --- Python -------------------------------------------------------------------
# One virtual environment per interpreter; the package is built and installed
# into it with pip (scikit-build-core), then the pytest suite runs.
.venv/%/bin/python:
	$(QUIETLY) build/logs/venv-$*.log "$$(tools/find-python $*)" -m venv .venv/$*
	$(QUIETLY) build/logs/venv-$*.log .venv/$*/bin/python -m pip install -q --upgrade pip

# The test requirements, installed again whenever their list changes (an
# existing venv picks up a new one).
.venv/%/requirements.stamp: tests/python/requirements.txt | .venv/%/bin/python
	$(QUIETLY) build/logs/requirements-$*.log .venv/$*/bin/python -m pip install -q -r tests/python/requirements.txt
	touch $@

py-test: $(foreach v,$(PYTHON_VERSIONS),py-test-$(v))

# 3.12 builds the package from source for the interpreter's full API; 3.13
# installs the wheel of `make wheel` (limited API, abi3) and runs the suite
# with no compiler on PATH, as a user of the wheel would.
PY_INSTALL_3.12 = .venv/3.12/bin/python -m pip install -q --force-reinstall --no-deps \
  -Cbuild-dir=build/py3.12 -Cwheel.py-api= -Ccmake.define.TOVAK_WERROR=ON .
PY_INSTALL_3.13 = tools/without-compiler .venv/3.13/bin/python -m pip install -q --force-reinstall --no-deps $(WHEEL)
PY_SUITE_3.13 = TOVAK_TEST_WHEEL="$$(echo $(WHEEL))" tools/without-compiler
py-test-3.13: wheel

py-test-%: .venv/%/requirements.stamp deps-py
	$(QUIETLY) build/logs/install-py$*.log $(PY_INSTALL_$*)
	@status=0; $(PY_SUITE_$*) $(RUN_SUITE) $@ .venv/$*/bin/python -m pytest -q -p no:cacheprovider || status=$$?; \
	  $(MAKE) --no-print-directory typecheck-$* || status=1; exit $$status

# The installed stub against the built module, and the tovak package under
# mypy's strictest settings (both read the stub as installed).
typecheck-%: .venv/%/requirements.stamp
	@$(RUN_SUITE) $@ sh -c '.venv/$*/bin/python -m mypy.stubtest tovak_python && .venv/$*/bin/python -m mypy --strict python/tovak'

# Once more against a module built with the standard library's assertions and
# the project's own assert()s on (RelWithDebInfo without NDEBUG), with the
# interpreter's allocator debug hooks (buffer overruns, API use without the lock).
.venv/assert/bin/python:
	$(QUIETLY) build/logs/venv-assert.log "$$(tools/find-python 3.12)" -m venv .venv/assert
	$(QUIETLY) build/logs/venv-assert.log .venv/assert/bin/python -m pip install -q --upgrade pip

py-test-assertions: .venv/assert/requirements.stamp deps-py
	$(QUIETLY) build/logs/install-py-assert.log .venv/assert/bin/python -m pip install -q --force-reinstall --no-deps -Cbuild-dir=build/py-assert -Cwheel.py-api= \
	  -Ccmake.build-type=RelWithDebInfo '-Ccmake.define.CMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g' \
	  -Ccmake.define.CMAKE_CXX_FLAGS=-D_GLIBCXX_ASSERTIONS .
	@grep -q -- -D_GLIBCXX_ASSERTIONS build/py-assert/compile_commands.json && \
	  ! grep -q -- -DNDEBUG build/py-assert/compile_commands.json || \
	  { echo "py-test-assertions: the module was not built with assertions on"; exit 1; }
	@PYTHONMALLOC=debug $(RUN_SUITE) $@ .venv/assert/bin/python -m pytest -q -p no:cacheprovider

# --- the wheel ------------------------------------------------------------------
# One wheel for every interpreter from 3.12 on: the extension modules built
# against the limited API of 3.12 (pyproject.toml's wheel.py-api) by the
# oldest interpreter, made portable by auditwheel (tagged manylinux_X_Y after
# the newest glibc symbol it needs; the C++ runtime is linked in, see
# cmake/python_modules.cmake), checked by abi3audit against the stable ABI and
# by tools/check-wheel for its name and contents. The tools come from the
# package index, into a venv of their own.
WHEEL_PYTHON := 3.12
WHEEL_TOOLS := build/wheel-tools
WHEEL_DIST := build/wheel/dist
# The one wheel of the last `make wheel` (its directory is emptied first), as
# a pattern the shell expands when the wheel exists.
WHEEL := $(WHEEL_DIST)/tovak-*.whl

$(WHEEL_TOOLS)/stamp: tools/wheel-requirements.txt
	rm -rf $(WHEEL_TOOLS)
	$(QUIETLY) build/logs/wheel-tools.log "$$(tools/find-python $(WHEEL_PYTHON))" -m venv $(WHEEL_TOOLS)
	$(QUIETLY) build/logs/wheel-tools.log $(WHEEL_TOOLS)/bin/python -m pip install -q --upgrade pip
	$(QUIETLY) build/logs/wheel-tools.log $(WHEEL_TOOLS)/bin/python -m pip install -q -r tools/wheel-requirements.txt
	touch $@

wheel: $(WHEEL_TOOLS)/stamp
	rm -rf build/wheel/raw $(WHEEL_DIST)
	$(QUIETLY) build/logs/wheel-build.log $(WHEEL_TOOLS)/bin/python -m pip wheel -q --no-deps -w build/wheel/raw \
	  -Cbuild-dir=build/wheel/cmake -Ccmake.define.TOVAK_WERROR=ON .
	$(QUIETLY) build/logs/wheel-repair.log env PATH="$(CURDIR)/$(WHEEL_TOOLS)/bin:$$PATH" $(WHEEL_TOOLS)/bin/auditwheel repair -w $(WHEEL_DIST) build/wheel/raw/tovak-*.whl
	$(WHEEL_TOOLS)/bin/abi3audit --strict --report $(WHEEL)
	$(WHEEL_TOOLS)/bin/python tools/check-wheel.py $(WHEEL)

# The package's import graph: no cycle, no library module importing the
# command line, no data-layer module importing a runner.
import-graph:
	@$(RUN_SUITE) $@ "$$(tools/find-python 3.12)" tools/import_graph.py python/tovak

# --- documentation -------------------------------------------------------------
# A venv of its own with Sphinx and the package built into it (autodoc imports
# every module, the examples run against it). Every build starts afresh (-E),
# so that a warning of an unchanged page is never hidden by the cache; warnings
# are errors (-W, all of them listed: --keep-going) and every cross-reference
# must resolve (-n).
DOCS_HTML := build/docs/html
SPHINX := .venv/docs/bin/python -m sphinx -E -W --keep-going -n -q -d build/docs/doctrees

.venv/docs/bin/python:
	$(QUIETLY) build/logs/venv-docs.log "$$(tools/find-python 3.12)" -m venv .venv/docs
	$(QUIETLY) build/logs/venv-docs.log .venv/docs/bin/python -m pip install -q --upgrade pip

.venv/docs/requirements.stamp: docs/requirements.txt | .venv/docs/bin/python
	$(QUIETLY) build/logs/requirements-docs.log .venv/docs/bin/python -m pip install -q -r docs/requirements.txt
	touch $@

docs-install: .venv/docs/requirements.stamp
	$(QUIETLY) build/logs/install-docs.log .venv/docs/bin/python -m pip install -q --force-reinstall --no-deps -Cbuild-dir=build/py-docs .

docs: docs-install
	$(SPHINX) -b html docs $(DOCS_HTML)
	@echo "Documentation: $(CURDIR)/$(DOCS_HTML)/index.html"

docs-doctest: docs-install
	$(SPHINX) -b doctest docs build/docs/doctest

# The suite of make test: the site built without a warning, its examples run,
# and the built site read in headless chromium over a local HTTP server.
docs-test: docs-install deps-py
	@$(RUN_SUITE) docs sh -c '$(SPHINX) -b html docs $(DOCS_HTML) && $(SPHINX) -b doctest docs build/docs/doctest && \
	  .venv/docs/bin/python -m pytest -q -p no:cacheprovider tests/docs'

# --- fuzzing (clang + libFuzzer, a build of its own) -------------------------
#   make fuzz-smoke   each target a few seconds on its checked-in corpus (part of make test)
#   make fuzz         each target for FUZZ_SECONDS (default 60)
FUZZ_CXX := clang++-14
FUZZ_SECONDS ?= 60
FUZZ_SMOKE_SECONDS ?= 3

deps-fuzz:
	$(call apt_install,clang-14 libclang-rt-14-dev)

fuzz-build: deps-fuzz
	$(QUIETLY) build/logs/fuzz-configure.log cmake -S fuzz -B build/fuzz -DCMAKE_CXX_COMPILER=$(FUZZ_CXX)
	$(QUIETLY) build/logs/fuzz-build.log cmake --build build/fuzz -j $(JOBS)

fuzz-smoke: fuzz-build
	rm -rf build/fuzz/smoke
	@$(RUN_SUITE) $@ bash fuzz/run-fuzzers build/fuzz $(FUZZ_SMOKE_SECONDS) build/fuzz/smoke

fuzz: fuzz-build
	bash fuzz/run-fuzzers build/fuzz $(FUZZ_SECONDS)

# --- demo ---------------------------------------------------------------------
# A fresh machine needs only this: its own venv, the package built into it,
# then the initial position analysed and a short self-play run written as a
# Parquet dataset, with the summary of its games and the HTML replay of the
# first. The demo's output directory is its own: each run starts it afresh.
DEMO_OUT := demo-output

demo:
	@[ -x .venv/demo/bin/python ] || "$$(tools/find-python 3.12)" -m venv .venv/demo
	.venv/demo/bin/python -m pip install -q --upgrade pip
	.venv/demo/bin/python -m pip install -q -Cbuild-dir=build/demo .
	.venv/demo/bin/tovak analyze --depth 4
	@echo
	rm -rf $(DEMO_OUT)
	.venv/demo/bin/tovak selfplay --games 4 --depth 3 --seed 1 --max-plies 60 --no-progress --out $(DEMO_OUT)
	@echo
	@echo "HTML replay: $(CURDIR)/$(DEMO_OUT)/replays/game-0001.html (open it in a browser; arrow keys step)"

# --- benchmarks ---------------------------------------------------------------
bench: deps-bench
	cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DTOVAK_BUILD_BENCH=ON -DTOVAK_BUILD_PYTHON=OFF >/dev/null
	cmake --build build/bench -j $(JOBS)
	@for b in build/bench/bench/*_bench; do echo "== $$b"; $$b; done
	@$(MAKE) --no-print-directory bench-pipeline
	@$(MAKE) --no-print-directory bench-abi3

# The self-play pipeline: batched against one game at a time, jobs, the
# client's commit rate and a Dask cluster; the package as make test builds it.
bench-pipeline: .venv/3.12/requirements.stamp
	.venv/3.12/bin/python -m pip install -q --no-deps -Cbuild-dir=build/py3.12 .
	@echo "== bench/pipeline_bench.py"
	.venv/3.12/bin/python bench/pipeline_bench.py
	@echo "== bench/vector_bench.py"
	.venv/3.12/bin/python bench/vector_bench.py
	@echo "== bench/mcts_bench.py"
	.venv/3.12/bin/python bench/mcts_bench.py

# The module of the wheel against the module built from source for the full
# API, each installed into an environment of its own of the same interpreter,
# then both loaded into one process and measured side by side
# (bench/abi3_bench.py); the goal is at most 5% on every row.
BENCH_ABI3_PYTHON := 3.12

.venv/bench-%/bin/python:
	$(QUIETLY) build/logs/venv-bench-$*.log "$$(tools/find-python $(BENCH_ABI3_PYTHON))" -m venv .venv/bench-$*
	$(QUIETLY) build/logs/venv-bench-$*.log .venv/bench-$*/bin/python -m pip install -q --upgrade pip

bench-abi3: wheel .venv/bench-abi3/bin/python .venv/bench-full/bin/python
	$(QUIETLY) build/logs/install-bench-abi3.log .venv/bench-abi3/bin/python -m pip install -q --force-reinstall $(WHEEL)
	$(QUIETLY) build/logs/install-bench-full.log .venv/bench-full/bin/python -m pip install -q --force-reinstall \
	  -Cbuild-dir=build/bench-full -Cwheel.py-api= .
	@echo "== bench/abi3_bench.py"
	.venv/bench-full/bin/python bench/abi3_bench.py \
	  --abi3 "$$(.venv/bench-abi3/bin/python -c 'import tovak_python; print(tovak_python.__file__)')" \
	  --full "$$(.venv/bench-full/bin/python -c 'import tovak_python; print(tovak_python.__file__)')"

clean:
	rm -rf build .venv $(DEMO_OUT) docs/reference/api/generated
