# Everything a fresh machine needs is set up by the targets themselves.
#   make test   C++ tests (plain and under ASan+UBSan), Python tests on 3.12 and 3.13
#   make bench  benchmarks
SHELL := /bin/bash
.SHELLFLAGS := -eu -o pipefail -c
.DEFAULT_GOAL := test

PYTHON_VERSIONS := 3.12 3.13
JOBS ?= $(shell nproc)
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
APT_STAMP := build/.apt-updated

.PRECIOUS: .venv/%/bin/python
.PHONY: test cpp-test cpp-test-asan py-test bench deps-cpp deps-bench deps-py clean

test: cpp-test cpp-test-asan py-test

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

py-test-%: .venv/%/bin/python deps-py
	.venv/$*/bin/python -m pip install -q --force-reinstall --no-deps -Cbuild-dir=build/py$* .
	.venv/$*/bin/python -m pytest -q -p no:cacheprovider

# --- benchmarks ---------------------------------------------------------------
bench: deps-bench
	cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DTOVAK_BUILD_BENCH=ON -DTOVAK_BUILD_PYTHON=OFF >/dev/null
	cmake --build build/bench -j $(JOBS)
	@for b in build/bench/bench/*_bench; do echo "== $$b"; $$b; done

clean:
	rm -rf build .venv
