# Thin wrapper over CMake: `make run` starts the editor in a ready working
# folder, `make test` runs the whole test suite.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= 2

.PHONY: all help deps build run test test-asan bench bench-smoke bench-windows \
	bench-windows-smoke fuzz package \
	windows windows-package test-windows windows64 windows64-package \
	test-windows64 arm64 test-arm64 old-package old-package-arm64 release \
	clean

all: build

# Every target with its line.
help:
	@echo "make run                  build the editor and start it in build/run"
	@echo "make test                 build and run the test suite (build/)"
	@echo "make build                build the program, plug-ins and tests"
	@echo "make test-asan            the suite with AddressSanitizer and UBSan (build-asan/)"
	@echo "make bench                the performance figures at 10^7 samples (build-bench/)"
	@echo "make bench-smoke          the benchmarks once on a small signal"
	@echo "make bench-windows        the Windows builds under Wine beside Linux's"
	@echo "make bench-windows-smoke  the same on a small signal"
	@echo "make fuzz                 every fuzz target for FUZZ_SECONDS (build-fuzz/, fuzz-out/)"
	@echo "make package              the Linux package of this machine's processor"
	@echo "make windows64            the 64-bit Windows build (build-win64/)"
	@echo "make windows64-package    its package"
	@echo "make test-windows64       its tests and package check under Wine"
	@echo "make windows              the 32-bit Windows build (build-win/)"
	@echo "make windows-package      its package"
	@echo "make test-windows         its tests under Wine (NOT RUN without 32-bit support)"
	@echo "make arm64                the Linux arm64 build (build-arm64/)"
	@echo "make test-arm64           its tests under qemu-user"
	@echo "make old-package          the Linux x86-64 release package, built on Debian 11 (build-old/)"
	@echo "make old-package-arm64    the Linux arm64 one (build-old-arm64/)"
	@echo "make release              every package and SHA256SUMS in release/, each checked"
	@echo "make deps                 install what the build and tests need"
	@echo "make clean                remove every folder the targets above make"

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

# The Windows build under Wine beside the Linux build's AVX2 path, and the
# same at smoke size.
bench-windows: deps
	bench/run-windows.sh

bench-windows-smoke: deps
	bench/run-windows.sh 20000

# Every fuzz target for FUZZ_SECONDS seconds each (clang, sanitizers on).
FUZZ_SECONDS ?= 25
fuzz: deps
	fuzz/run.sh $(FUZZ_SECONDS)

# A Windows build, cross-compiled with mingw-w64: $(1) the build folder,
# $(2) the toolchain file, $(3) the kind libsndfile is built for (once,
# by scripts/windows-sndfile.sh).
define windows_build
	@sh scripts/install-deps.sh windows
	cmake -S . -B $(1) -DCMAKE_TOOLCHAIN_FILE=$(2) \
	  -DPELLORY_SNDFILE_PREFIX=$$(sh scripts/windows-sndfile.sh $(3)) \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
	  >/dev/null
	cmake --build $(1) -j $(JOBS)
endef

# The 32-bit Windows build; its tests run under Wine.
WIN_BUILD ?= build-win
windows:
	$(call windows_build,$(WIN_BUILD),cmake/mingw-i686.cmake,win32)

windows-package: windows
	cmake --build $(WIN_BUILD) --target package

# The package of the Linux build (this machine's processor).
package: build
	cmake --build $(BUILD) --target package

test-windows: windows-package package
	sh scripts/test-windows.sh $(WIN_BUILD) $(BUILD)

# The same sources for 64-bit Windows; its tests run under 64-bit Wine.
WIN64_BUILD ?= build-win64
windows64:
	$(call windows_build,$(WIN64_BUILD),cmake/mingw-x86_64.cmake,win64)

windows64-package: windows64
	cmake --build $(WIN64_BUILD) --target package

test-windows64: windows64-package package
	sh scripts/test-windows.sh $(WIN64_BUILD) $(BUILD) win64

# Linux on arm64, cross-compiled; its tests run under qemu-user.
ARM_BUILD ?= build-arm64
arm64:
	@sh scripts/install-deps.sh arm64
	cmake -S . -B $(ARM_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux.cmake \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
	  >/dev/null
	cmake --build $(ARM_BUILD) -j $(JOBS)

test-arm64: arm64
	ctest --test-dir $(ARM_BUILD) -j $(JOBS) --output-on-failure

# The Linux release packages, built in a Debian 11 root (made once, in
# /var/cache/pellory) so that they run on glibc 2.31 and later, with their
# C++ runtime beside the program.
OLD_BUILD ?= build-old
OLD_ARM_BUILD ?= build-old-arm64
old-package:
	sh scripts/old-system.sh x86_64 $(OLD_BUILD)

old-package-arm64:
	sh scripts/old-system.sh aarch64 $(OLD_ARM_BUILD)

# The four packages and SHA256SUMS in release/, each checked as a user
# would use it, the Linux x86-64 one also on Debian 11's C library alone
# and built again from a clean clone to the same bytes.
release: build old-package old-package-arm64 windows-package windows64-package
	sh scripts/release.sh $(OLD_BUILD) $(OLD_ARM_BUILD) $(WIN_BUILD) \
	  $(WIN64_BUILD) $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(WIN_BUILD) $(WIN64_BUILD) $(ARM_BUILD) \
	  $(OLD_BUILD) $(OLD_ARM_BUILD) build-bench build-win-bench build-win64-bench \
	  build-fuzz fuzz-out release
