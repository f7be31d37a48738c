# 64-bit ARM Linux (aarch64), cross-compiled; the tests run under qemu-aarch64.
#   cmake -S . -B build-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/linux-aarch64.cmake
#
# The compiler is clang with the target set, over Debian's aarch64 GCC runtime
# (libstdc++-12-dev-arm64-cross, libgcc-12-dev-arm64-cross, libc6-dev-arm64-cross)
# and binutils-aarch64-linux-gnu.  Debian's g++-aarch64-linux-gnu cannot be
# installed beside g++-multilib, which the 32-bit x86 target needs (the two
# packages conflict over /usr/include/asm); its runtime packages can.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(HVDV_AARCH64_TRIPLE aarch64-linux-gnu)
find_program(CMAKE_C_COMPILER NAMES clang REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES clang++ REQUIRED)
set(CMAKE_C_COMPILER_TARGET ${HVDV_AARCH64_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${HVDV_AARCH64_TRIPLE})
find_program(CMAKE_AR NAMES ${HVDV_AARCH64_TRIPLE}-ar REQUIRED)
find_program(CMAKE_RANLIB NAMES ${HVDV_AARCH64_TRIPLE}-ranlib REQUIRED)
find_program(CMAKE_NM NAMES ${HVDV_AARCH64_TRIPLE}-nm)
set(HVDV_NM ${CMAKE_NM} CACHE FILEPATH "nm for the export checks")

set(CMAKE_FIND_ROOT_PATH /usr/${HVDV_AARCH64_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest runs every test program through qemu, which finds the aarch64 loader
# and libraries under -L.
find_program(HVDV_QEMU_AARCH64 NAMES qemu-aarch64 qemu-aarch64-static)
if(HVDV_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${HVDV_QEMU_AARCH64} -L /usr/${HVDV_AARCH64_TRIPLE})
endif()

# Only aarch64 libraries: GoogleTest is built from its sources; no libavcodec
# peer, no benchmarks.
set(HVDV_GTEST_FROM_SOURCE ON CACHE BOOL "")
set(HVDV_WITH_LAVC OFF CACHE BOOL "")
set(HVDV_BUILD_BENCH OFF CACHE BOOL "")
# qemu runs the decoder several times slower: the long test loops take the
# thinner samples of the sanitizer builds.
set(HVDV_TEST_THIN ON CACHE BOOL "")
