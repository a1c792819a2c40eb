# Entry points for people: `make demo` and `make test`. Each installs missing build dependencies,
# configures and builds with CMake, then runs: the demo converts generated sample packages, the
# tests run the whole suite.

BUILD ?= build
ASAN_BUILD ?= build-asan
MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

# GTK 3 for the dialogs of a run without a command; a virtual X server and xdotool for their tests.
GTK_PACKAGES ?= libgtk-3-dev
GUI_TEST_PACKAGES ?= xvfb xauth xdotool

.PHONY: all deps test-deps build demo test test-asan clean

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

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
