# Entry points for people: `make demo`, `make test` and `make bench`. Each installs missing build
# dependencies, configures and builds with CMake, then runs: the demo converts generated sample
# packages, the tests run the whole suite, the benchmark times the tool on generated data.

BUILD ?= build
ASAN_BUILD ?= build-asan
BENCH_BUILD ?= build-bench
MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

# GTK 3 for the dialogs of a run without a command; a virtual X server and xdotool for their tests.
GTK_PACKAGES ?= libgtk-3-dev
GUI_TEST_PACKAGES ?= xvfb xauth xdotool

.PHONY: all deps test-deps build demo test test-asan bench clean

all: build

deps:
	@scripts/install-deps.sh $(GTK_PACKAGES)

test-deps:
	@scripts/install-deps.sh $(GTK_PACKAGES) $(GUI_TEST_PACKAGES)

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

# The demo needs only the tool and the sample generator, not the test suite.
demo: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS) --target carconv carconv-samples
	@scripts/demo.sh $(BUILD)

test: test-deps build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: test-deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCARCONV_SANITIZE=ON >/dev/null
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# The benchmark: a Release build of the tool, timed on generated data in $(BENCH_BUILD)/bench-work.
bench: deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DCARCONV_BUILD_TESTS=OFF >/dev/null
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target carconv carconv-samples carconv-bench
	$(BENCH_BUILD)/carconv-bench --work $(BENCH_BUILD)/bench-work

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD)
