# Thin wrapper over CMake: `make run` starts the editor in a ready working
# folder, `make test` runs the whole test suite.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= 2

.PHONY: all deps build run test test-asan bench bench-smoke fuzz windows \
	windows-package test-windows clean

all: build

deps:
	@sh scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

# Only the program and its plug-ins: the editor starts without waiting for
# the tests to build.
run:
	@sh scripts/install-deps.sh build
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j $(JOBS) --target Pellory
	cd $(BUILD)/run && ../bin/Pellory

test: build
	ctest --test-dir $(BUILD) -j $(JOBS) --output-on-failure

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DPELLORY_SANITIZE=ON \
	  -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) -j $(JOBS) --output-on-failure

# The performance figures at 10^7 samples (about a minute).
bench: deps
	bench/run.sh

# The benchmarks built and run once on a small signal; asserts no timing.
bench-smoke: deps
	bench/run.sh 20000

# Every fuzz target for FUZZ_SECONDS seconds each (clang, sanitizers on).
FUZZ_SECONDS ?= 25
fuzz: deps
	fuzz/run.sh $(FUZZ_SECONDS)

# The 32-bit Windows build, cross-compiled with mingw-w64; its tests run
# under Wine.
WIN_BUILD ?= build-win
windows:
	@sh scripts/install-deps.sh windows
	cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
	  >/dev/null
	cmake --build $(WIN_BUILD) -j $(JOBS)

windows-package: windows
	cmake --build $(WIN_BUILD) --target windows-package
	cp $(WIN_BUILD)/Pellory-win32.zip .

test-windows: windows-package build
	sh scripts/test-windows.sh $(WIN_BUILD) $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(WIN_BUILD) build-bench build-fuzz fuzz-out \
	  Pellory-win32.zip
