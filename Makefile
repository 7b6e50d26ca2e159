# Build, test and measure the module. Every target sets up what it needs.
PYTHON ?= python3
DEBUG_PYTHON ?= /usr/bin/python3-dbg

VENV := .venv
DBG_VENV := .venv-dbg
BUILD_DEPS := "scikit-build-core>=1.0" cmake ninja
# Type checking and linting, pinned so that a new release cannot fail a build.
TOOLS := mypy==2.4.1 ruff==0.17.6 build check-wheel-contents==0.6.3 twine==7.0.0
# Warnings are errors in our own builds.
INSTALL_FLAGS := --no-build-isolation --no-deps -q --config-settings=cmake.define.TREL_WERROR=ON
SOURCES := $(shell find src python -name '*.[ch]pp' -o -name '*.py' -o -name '*.pyi' -o -name py.typed) \
	CMakeLists.txt pyproject.toml
CXX_SOURCES := $(shell find src -name '*.[ch]pp')

.PHONY: all test bench bench-chart docs demo check-leaks check-asan fuzz typecheck lint test-matrix dist check-dist clean

all: test

$(VENV)/.ready: pyproject.toml
	$(PYTHON) -m venv $(VENV)
	$(VENV)/bin/python -m pip install -q --upgrade pip
	$(VENV)/bin/python -m pip install -q $(BUILD_DEPS) "pytest>=7" "hypothesis>=6"
	touch $@

# scikit-build-core keeps its CMake tree under build/, so rebuilds are incremental.
$(VENV)/.installed: $(VENV)/.ready $(SOURCES)
	$(VENV)/bin/python -m pip install $(INSTALL_FLAGS) ".[test]"
	touch $@

test: $(VENV)/.installed
	$(VENV)/bin/python -m pytest -q

$(VENV)/.tools: $(VENV)/.ready
	$(VENV)/bin/python -m pip install -q $(TOOLS)
	touch $@

# The stub under mypy --strict, then the installed stub against the compiled
# module (the allowlist holds only what a stub cannot express), then the
# package and its examples under mypy --strict with the package's plugin
# ([tool.mypy] in pyproject.toml), then the plugin's corpus of programs, each
# compared with the output it expects (tools/typecheck_corpus.py).
typecheck: $(VENV)/.installed $(VENV)/.tools
	$(VENV)/bin/python -m mypy --strict python/_trel_interface_coptimizations.pyi python/_trel_interface_speedups.pyi
	$(VENV)/bin/python -m mypy.stubtest --allowlist stubtest-allowlist.txt _trel_interface_coptimizations _trel_interface_speedups
	$(VENV)/bin/python -m mypy --strict python/trel examples
	$(VENV)/bin/python tools/typecheck_corpus.py

# Formatting and static analysis of the C++ sources (against the compile
# commands of the .venv build), and ruff over the Python code.
CLANG_TOOLS := /usr/bin/clang-format /usr/bin/clang-tidy
$(CLANG_TOOLS):
	apt-get update -qq
	DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang-format clang-tidy

lint: $(VENV)/.installed $(VENV)/.tools | $(CLANG_TOOLS)
	clang-format --dry-run -Werror $(CXX_SOURCES)
	tools/clang-tidy.sh $(VENV)/bin/python $(filter %.cpp,$(CXX_SOURCES))
	$(VENV)/bin/ruff check .

# Every CPython 3.9 or newer on this machine, each in its own environment.
test-matrix:
	tools/test-matrix.sh

# The release's sdist and wheel; check-dist checks the wheel's contents and
# both packages' metadata, then installs each into a fresh environment and
# tests it there.
dist: $(VENV)/.tools
	rm -rf dist
	$(VENV)/bin/python -m build --outdir dist .
	@ls -l dist

check-dist: dist
	$(VENV)/bin/check-wheel-contents dist/*.whl
	$(VENV)/bin/twine check --strict dist/*
	tools/check-dist.sh $(VENV)/bin/python

# The entry-point fuzzer for as long as asked: make fuzz SECONDS=600.
SECONDS ?= 60
fuzz: $(VENV)/.installed
	$(VENV)/bin/python tests/fuzz_entry_points.py --seconds $(SECONDS)

# The peers the benchmark compares with (the bench extra); one that cannot
# be installed is reported by the benchmark, not fatal.
$(VENV)/.peers: $(VENV)/.ready pyproject.toml
	-$(VENV)/bin/python -m pip install -q $$($(VENV)/bin/python -c 'import tomllib; print(" ".join(tomllib.load(open("pyproject.toml", "rb"))["project"]["optional-dependencies"]["bench"]))')
	touch $@

# The report, its figures as JSON and the chart go to build/bench/, so a run
# leaves the checkout as it was; `make bench-chart` then copies the chart and
# the figures the docs and the README show into docs/_static/, to commit.
# `make bench BENCH_ARGS=--check` also lists what falls short of its goal
# and fails if anything does.
BENCH_OUT := build/bench
BENCH_ARGS ?=
bench: $(VENV)/.installed $(VENV)/.peers
	$(VENV)/bin/python bench/run.py --out $(BENCH_OUT) $(BENCH_ARGS)

bench-chart:
	$(VENV)/bin/python bench/publish.py $(BENCH_OUT) docs/_static

# The documentation site, with every warning an error; the pages are in
# build/docs/html/index.html. Its tools are the docs extra.
$(VENV)/.docs: $(VENV)/.ready pyproject.toml
	$(VENV)/bin/python -m pip install -q $$($(VENV)/bin/python -c 'import tomllib; print(" ".join(tomllib.load(open("pyproject.toml", "rb"))["project"]["optional-dependencies"]["docs"]))')
	touch $@

docs: $(VENV)/.installed $(VENV)/.docs
	$(VENV)/bin/python -m sphinx -W --keep-going -q -b html docs build/docs/html

# Every example's output on the C++ core and on the plain-Python core; fails
# if the two differ.
demo: $(VENV)/.installed
	@tools/demo.sh $(VENV)/bin/python

# The debug interpreter counts every reference, so a growing total shows a leak.
$(DEBUG_PYTHON):
	apt-get update -qq
	DEBIAN_FRONTEND=noninteractive apt-get install -y -qq python3-dbg python3-dev python3-venv

$(DBG_VENV)/.ready: pyproject.toml | $(DEBUG_PYTHON)
	$(DEBUG_PYTHON) -m venv $(DBG_VENV)
	$(DBG_VENV)/bin/python -m pip install -q $(BUILD_DEPS) "pytest>=7" "hypothesis>=6"
	touch $@

$(DBG_VENV)/.installed: $(DBG_VENV)/.ready $(SOURCES)
	$(DBG_VENV)/bin/python -m pip install $(INSTALL_FLAGS) ".[test]"
	touch $@

check-leaks: $(DBG_VENV)/.installed
	$(DBG_VENV)/bin/python -m pytest -q --check-refleaks

# AddressSanitizer and UndefinedBehaviorSanitizer on the normal interpreter.
# The interpreter itself is not instrumented, so the runtimes are preloaded,
# and its allocator is switched to malloc so that freed objects are seen.
ASAN_VENV := .venv-asan
ASAN_RUNTIMES = $(shell $(CXX) -print-file-name=libasan.so) $(shell $(CXX) -print-file-name=libubsan.so)

$(ASAN_VENV)/.ready: pyproject.toml
	$(PYTHON) -m venv $(ASAN_VENV)
	$(ASAN_VENV)/bin/python -m pip install -q $(BUILD_DEPS) "pytest>=7" "hypothesis>=6"
	touch $@

$(ASAN_VENV)/.installed: $(ASAN_VENV)/.ready $(SOURCES)
	$(ASAN_VENV)/bin/python -m pip install $(INSTALL_FLAGS) --config-settings=cmake.define.TREL_SANITIZE=ON \
		"--config-settings=build-dir=build/asan-{wheel_tag}" ".[test]"
	touch $@

check-asan: $(ASAN_VENV)/.installed
	LD_PRELOAD="$(ASAN_RUNTIMES)" PYTHONMALLOC=malloc \
	ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
		$(ASAN_VENV)/bin/python -m pytest -q

clean:
	rm -rf build dist .venv-matrix .venv-dist $(VENV) $(DBG_VENV) $(ASAN_VENV) .mypy_cache .ruff_cache
