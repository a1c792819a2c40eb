# Entry points for people: `make demo`, `make test` and `make bench`. Each installs missing build
# dependencies, configures and builds with CMake, then runs: the demo converts generated sample
# packages, the tests run the whole suite, the benchmark times the tool on generated data.

BUILD ?= build
ASAN_BUILD ?= build-asan
BENCH_BUILD ?= build-bench
MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

# GTK 3 for the dialogs of a run without a command; a virtual X server and xdotool for their tests;
# the desktop's own tools to check the desktop entry and the MIME type; help2man for the manual page
# (made at build time) and man-db to check it.
GTK_PACKAGES ?= libgtk-3-dev
GUI_TEST_PACKAGES ?= xvfb xauth xdotool desktop-file-utils shared-mime-info
DOC_PACKAGES ?= help2man man-db

.PHONY: all deps test-deps build demo test test-asan bench windows package fuzz clean

all: build

deps:
	@scripts/install-deps.sh $(GTK_PACKAGES) $(DOC_PACKAGES)

test-deps:
	@scripts/install-deps.sh $(GTK_PACKAGES) $(DOC_PACKAGES) $(GUI_TEST_PACKAGES)

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

# The benchmark: a Release build of the tool, timed on generated data in $(BENCH_BUILD)/bench-work;
# the fuzz targets of $(FUZZ_BUILD), when `make fuzz` has built them, run briefly for their rates.
bench: deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DCARCONV_BUILD_TESTS=OFF >/dev/null
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target carconv carconv-samples carconv-bench
	$(BENCH_BUILD)/carconv-bench --work $(BENCH_BUILD)/bench-work --fuzz-build $(FUZZ_BUILD)

# Windows: cross-builds carconv.exe and carconvw.exe for x86_64 (with the test suite, run under
# Wine in a throwaway prefix inside the build directory, and its window tests once more on a
# virtual X server) and for i686 (the programs only), then packs each into a zip,
# carconv-<version>-win64.zip and -win32.zip in its build directory, and proves the zips under Wine
# (32-bit Wine, wine32, for the i686 one, where the kernel runs 32-bit programs).
WIN64_BUILD ?= build-win64
WIN32_BUILD ?= build-win32
WIN_TARGETS = carconv carconvw carconv_windows_texts
WIN_VERSION = $$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' $(WIN64_BUILD)/CMakeCache.txt)

windows:
	@scripts/install-deps.sh g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64 wine32:i386? \
		xvfb xauth
	cmake -S . -B $(WIN64_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
		-DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(WIN64_BUILD) -j $(JOBS) --target $(WIN_TARGETS) carconv_tests carconv-samples
	cmake -S . -B $(WIN32_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
		-DCMAKE_BUILD_TYPE=Release -DCARCONV_BUILD_TESTS=OFF >/dev/null
	cmake --build $(WIN32_BUILD) -j $(JOBS) --target $(WIN_TARGETS)
	cd $(WIN64_BUILD) && WINEPREFIX=$(abspath $(WIN64_BUILD))/wine-prefix \
		ctest --output-on-failure
	cd $(WIN64_BUILD) && cpack -G ZIP
	cd $(WIN32_BUILD) && cpack -G ZIP
	scripts/check-windows-zip.sh $(WIN64_BUILD)/carconv-$(WIN_VERSION)-win64.zip \
		$(WIN64_BUILD)/carconv-samples.exe
	scripts/check-windows-zip.sh $(WIN32_BUILD)/carconv-$(WIN_VERSION)-win32.zip \
		$(WIN64_BUILD)/carconv-samples.exe

# The Debian package $(BUILD)/carconv_<version>_<arch>.deb, made by CPack from the install rules
# (dpkg-shlibdeps computes its dependencies) and checked with lintian, which must report no errors.
PACKAGE_PACKAGES ?= dpkg-dev file lintian
package:
	@scripts/install-deps.sh $(GTK_PACKAGES) $(DOC_PACKAGES) $(PACKAGE_PACKAGES)
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS) --target carconv carconv_manpage
	cd $(BUILD) && cpack -G DEB
	@# lintian leaves temporary files behind: they go into a folder of the build directory.
	version=$$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' $(BUILD)/CMakeCache.txt) && \
	rm -rf $(BUILD)/lintian-tmp && mkdir $(BUILD)/lintian-tmp && \
	TMPDIR=$(abspath $(BUILD))/lintian-tmp lintian --fail-on error --info \
		$(BUILD)/carconv_$${version}_$$(dpkg --print-architecture).deb

# Fuzzing: every target for FUZZ_SECONDS with clang's libFuzzer and sanitizers (README, Fuzzing).
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 30
fuzz:
	@scripts/install-deps.sh clang libclang-rt-14-dev libstdc++-12-dev
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
		-DCARCONV_FUZZ=ON -DCARCONV_BUILD_TESTS=OFF -DCARCONV_GTK=OFF >/dev/null
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	scripts/run-fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD) $(WIN64_BUILD) $(WIN32_BUILD) $(FUZZ_BUILD)
