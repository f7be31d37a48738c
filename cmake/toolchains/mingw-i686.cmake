# 32-bit x86 Windows with MinGW-w64: the hv_dec_dv.dll of the 32-bit host API;
# the tests run under 32-bit Wine (Debian's wine32).
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(HVDV_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_FLAGS_INIT "-msse2")
set(CMAKE_CXX_FLAGS_INIT "-msse2")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Tests run through Wine when it is installed (ctest puts it before the
# command), in a 32-bit prefix of their own:
#   WINEARCH=win32 WINEPREFIX=<dir> ctest ...
find_program(HVDV_WINE NAMES wine)
if(HVDV_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${HVDV_WINE})
endif()
