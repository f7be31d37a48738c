# 64-bit x86 Windows with MinGW-w64; the tests run under Wine.
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(HVDV_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Tests run through Wine when it is installed (ctest puts it before the
# command).  Use a private prefix: WINEPREFIX=<dir> ctest ...
find_program(HVDV_WINE NAMES wine64 wine)
if(HVDV_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${HVDV_WINE})
endif()
