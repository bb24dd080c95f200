# Cross-building Pellory for Linux on arm64 with Debian's aarch64 cross
# compilers; programs built here run under qemu-user for the tests.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# The cross C library's folder, and the system's, whose multiarch folders
# hold the arm64 libraries Debian installs beside this machine's
# (libsndfile).
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Run with the C library Debian's multiarch installs for arm64 (with
# libsndfile), loader and all: the cross compiler's own copy beside it is
# another build, and a loader of one with the libraries of the other hangs.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /)
