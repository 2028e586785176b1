# Entry points of the README. Each sets everything up first (packages, configure, build).
.PHONY: run test build package bench clean asan-configure asan-build asan-test fuzz-build fuzz fuzz-smoke soak tsan

# The sanitizer builds use the Debian clang; -O1 keeps the run fast and the reports readable.
CLANG ?= clang++-14
SANITIZER_CMAKE_ARGS = -G Ninja -DCMAKE_CXX_COMPILER=$(CLANG) -DCMAKE_BUILD_TYPE= \
	"-DCMAKE_CXX_FLAGS=-O1 -gline-tables-only" -DM470_BUILD_BENCH=OFF -DCMAKE_CXX_COMPILER_LAUNCHER=ccache
# One folder serves the ASan+UBSan suite and the fuzz targets (coverage instrumentation included).
ASAN_CMAKE_ARGS = $(SANITIZER_CMAKE_ARGS) -DM470_SANITIZE=address -DM470_FUZZ=ON
JOBS ?= $(shell nproc)
# Sanitizer reports end the run at once; leaks count as reports.
export ASAN_OPTIONS ?= abort_on_error=1:detect_leaks=1:strict_string_checks=1
export UBSAN_OPTIONS ?= print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS ?= suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0
export ASAN_SYMBOLIZER_PATH ?= /usr/lib/llvm-14/bin/llvm-symbolizer
# ccache keys on paths relative to the checkout, so a second clone (CI's
# fresh one) reuses what an earlier build of the same sources compiled.
export CCACHE_BASEDIR ?= $(CURDIR)
export CCACHE_NOHASHDIR ?= 1
FUZZ_SECONDS ?= 60
CTEST = QT_QPA_PLATFORM=offscreen ctest --output-on-failure

build:
	bash scripts/setup

# Only what the window needs (build-run/: no tests, benchmarks or clang);
# with no product plugged in, the window starts on the virtual products.
run:
	bash scripts/setup run
	bash scripts/run-window $(ARGS)

# What CI runs: the whole suite, the soak run (label soak) included, then
# the suite again under ASan+UBSan, then every fuzz target for 10 s on its
# seeds. The fuzz targets are built with the ASan suite in build-asan and run
# two at a time, so the smoke adds little more than a minute.
test: build
	cd build && $(CTEST) -j2
	$(MAKE) asan-test
	$(MAKE) fuzz-smoke

asan-configure: build
	cmake -S . -B build-asan $(ASAN_CMAKE_ARGS)

fuzz-build: asan-configure
	cmake --build build-asan -j$(JOBS) --target fuzz_targets

asan-build: asan-configure
	cmake --build build-asan -j$(JOBS)

asan-test: asan-build
	cd build-asan && $(CTEST) -j2 -LE soak

fuzz: fuzz-build
	bash scripts/fuzz $(FUZZ_SECONDS) build-asan

fuzz-smoke: fuzz-build
	bash scripts/fuzz 10 build-asan

soak: build
	cd build && $(CTEST) -L soak -V

# ThreadSanitizer: its own folder, not part of `make test`.
tsan: build
	cmake -S . -B build-tsan $(SANITIZER_CMAKE_ARGS) -DM470_SANITIZE=thread
	cmake --build build-tsan -j$(JOBS)
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/scripts/tsan.supp $(CTEST) -j2 -LE soak

# The Debian package of build-run/ (the programs only: stripped, dependencies
# from the binaries), in build-run/.
package:
	bash scripts/setup run
	cd build-run && cpack

bench: build
	for b in build/bin/bench_*; do $$b; done

clean:
	rm -rf build build-run build-asan build-tsan
