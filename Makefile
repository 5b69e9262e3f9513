# Entry points: `make test` (install what is missing, build, run every test) and `make run`.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all setup build test test-normal test-portable test-asan cross-check format format-check run demo fuzz bench package dist clean

all: build

setup:
	@bash scripts/setup.sh

$(BUILD)/CMakeCache.txt:
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: setup $(BUILD)/CMakeCache.txt
	@cmake --build $(BUILD) -j $(JOBS)

test-normal: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The tests that reach accelerated code (label "simd") once more with every function in its
# portable form.
test-portable: build
	@cd $(BUILD) && QV_SIMD=none ctest --output-on-failure -j $(JOBS) -L simd

$(ASAN_BUILD)/CMakeCache.txt:
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=ON -DQV_BUILD_BENCH=OFF $(CMAKE_FLAGS) >/dev/null

test-asan: setup $(ASAN_BUILD)/CMakeCache.txt
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 ctest --output-on-failure -j $(JOBS)

# Every C and C++ source of the project, for the formatting check (the committed ones in a git
# checkout; in an unpacked source archive, every one there is).
FORMAT_FILES = $(shell if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then \
	git ls-files '*.c' '*.cpp' '*.h'; else \
	find src tests plugins fuzz bench -name '*.c' -o -name '*.cpp' -o -name '*.h'; fi)

format-check: setup
	@clang-format --dry-run --Werror $(FORMAT_FILES)

format:
	@clang-format -i $(FORMAT_FILES)

# The core libraries and tests cross-compiled for 64-bit Arm and run under qemu (not part of
# `make test`: it takes a while).
cross-check:
	@bash scripts/setup.sh --cross
	@bash scripts/cross_check.sh

# The formatting check, then every test twice: the normal build and the sanitizer build; and the
# tests of accelerated code once more in the normal build with the portable forms.
test: format-check test-normal test-portable test-asan

run: build
	@bash scripts/run.sh $(BUILD)

demo: build
	@bash scripts/demo.sh $(BUILD)

# The Debian package of the build (build/quenvale_VERSION_ARCH.deb).
package: build
	@cd $(BUILD) && cpack

# The source archive of the committed tree, $(BUILD)/quenvale-VERSION.tar.gz: everything a build and
# its tests need (README's two commands work in it as in a clone).
VERSION = $(shell sed -n '/^project/s/.* VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
dist:
	@mkdir -p $(BUILD)
	@git archive --format=tar.gz --prefix=quenvale-$(VERSION)/ -o $(BUILD)/quenvale-$(VERSION).tar.gz HEAD
	@echo $(BUILD)/quenvale-$(VERSION).tar.gz

# The Google Benchmark programs, then the comparison with the installed peers (bench/compare.sh).
bench:
	@bash scripts/setup.sh --bench
	@bash scripts/bench.sh $(BUILD)
	@bash bench/compare.sh

fuzz: setup
	@bash scripts/fuzz.sh

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-fuzz build-aarch64
