# Shared part of the MinGW-w64 toolchains; HVDV_MINGW_TRIPLE names the target.
set(CMAKE_SYSTEM_NAME Windows)

# The posix thread model of Debian's MinGW-w64 compilers: it has std::thread
# and std::mutex for the tests.  The library itself calls Win32 directly.
find_program(CMAKE_C_COMPILER NAMES ${HVDV_MINGW_TRIPLE}-gcc-posix ${HVDV_MINGW_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${HVDV_MINGW_TRIPLE}-g++-posix ${HVDV_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${HVDV_MINGW_TRIPLE}-windres windres)
set(CMAKE_FIND_ROOT_PATH /usr/${HVDV_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything from the compiler's runtime (libgcc, libstdc++, winpthreads) is
# linked statically, so the DLL and the test programs need no other DLL.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(HVDV_GTEST_FROM_SOURCE ON CACHE BOOL "")
set(HVDV_WITH_LAVC OFF CACHE BOOL "")
set(HVDV_BUILD_BENCH OFF CACHE BOOL "")
