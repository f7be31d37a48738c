# 32-bit x86 Linux with the host g++ and -m32 (Debian's g++-multilib).
#   cmake -S . -B build-i686 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/linux-i686.cmake
# The binaries run on the x86-64 host, so the tests run as usual.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32 -msse2")
set(CMAKE_CXX_FLAGS_INIT "-m32 -msse2")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")

# Only 32-bit libraries: the host's x86-64 GoogleTest, Google Benchmark and
# libavcodec cannot be linked.  GoogleTest is built from its sources.
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(HVDV_GTEST_FROM_SOURCE ON CACHE BOOL "")
set(HVDV_WITH_LAVC OFF CACHE BOOL "")
set(HVDV_BUILD_BENCH OFF CACHE BOOL "")
