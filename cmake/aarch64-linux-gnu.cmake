# Cross-building for 64-bit ARM Linux on an x86_64 machine with Debian's aarch64-linux-gnu
# compilers: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake -DTORSO_SYSROOT=DIR
#
# TORSO_SYSROOT holds the target's CPython headers and libraries (tools/arm64-python unpacks
# Debian's arm64 builds into one). The sources, flags and targets are those of the native build;
# only the compiler, the search roots and the way to run a built program change.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# Try-compiles re-read this file in a fresh project: hand them the sysroot too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TORSO_SYSROOT)
if(NOT TORSO_SYSROOT)
  set(TORSO_SYSROOT "$ENV{TORSO_SYSROOT}")
endif()
if(NOT TORSO_SYSROOT)
  message(FATAL_ERROR "cross-building for aarch64 needs -DTORSO_SYSROOT=DIR (tools/arm64-python prints one)")
endif()

# Libraries come from the target only. Headers and CMake packages may also come from this
# machine: the only ones used besides the target's Python are RapidJSON's, which are header-only
# and the same on every architecture.
set(CMAKE_FIND_ROOT_PATH ${TORSO_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Programs built here and run during the build (the stub tool) run under user-mode emulation.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L ${TORSO_SYSROOT})
