# Entry points: `make test` (install what is missing, build, run every test) and `make run`.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all setup build test test-normal test-asan format format-check run demo fuzz bench package clean

all: build

setup:
	@bash scripts/setup.sh

$(BUILD)/CMakeCache.txt:
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: setup $(BUILD)/CMakeCache.txt
	@cmake --build $(BUILD) -j $(JOBS)

test-normal: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

$(ASAN_BUILD)/CMakeCache.txt:
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=ON -DQV_BUILD_BENCH=OFF $(CMAKE_FLAGS) >/dev/null

test-asan: setup $(ASAN_BUILD)/CMakeCache.txt
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 ctest --output-on-failure -j $(JOBS)

# Every C and C++ source of the project, for the formatting check.
FORMAT_FILES = $(shell git ls-files '*.c' '*.cpp' '*.h' 2>/dev/null)

format-check: setup
	@clang-format --dry-run --Werror $(FORMAT_FILES)

format:
	@clang-format -i $(FORMAT_FILES)

# The formatting check, then every test twice: the normal build and the sanitizer build.
test: format-check test-normal test-asan

run: build
	@bash scripts/run.sh $(BUILD)

demo: build
	@bash scripts/demo.sh $(BUILD)

# The Debian package of the build (build/quenvale_VERSION_ARCH.deb).
package: build
	@cd $(BUILD) && cpack

# The Google Benchmark programs, then the comparison with the installed peers (bench/compare.sh).
bench:
	@bash scripts/setup.sh --bench
	@bash scripts/bench.sh $(BUILD)
	@bash bench/compare.sh

fuzz: setup
	@bash scripts/fuzz.sh

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-fuzz
