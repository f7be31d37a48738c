# Checks that the shared library exports no name outside the C interface.
#   cmake -DNM=<nm> -DLIB=<libhv_dec_dv.so> -P check_exports.cmake
cmake_minimum_required(VERSION 3.16)
set(expected InitDVDec DVNewDec DVDoneDec DVDecompressBuffer DecompressBuffer_DV
             DVGetInfo DVGetInfoEx DVDecGetAPIExt)
# Names the toolchain itself may put in the dynamic symbol table.
set(toolchain _init _fini _edata _end __bss_start)

execute_process(COMMAND ${NM} -D --defined-only ${LIB}
                OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIB}")
endif()
string(REPLACE "\n" ";" lines "${listing}")
set(extra "")
set(found "")
foreach(line IN LISTS lines)
  # "<address> <type> <name>"; lower-case types are local symbols.
  if(line MATCHES "^[0-9a-fA-F]+ ([A-Za-z]) ([^ @]+)")
    set(type ${CMAKE_MATCH_1})
    set(name ${CMAKE_MATCH_2})
    if(NOT type MATCHES "^[A-Zuvw]$" OR type STREQUAL "A")
      continue()
    endif()
    if(name IN_LIST expected)
      list(APPEND found ${name})
    elseif(NOT name IN_LIST toolchain)
      list(APPEND extra ${name})
    endif()
  endif()
endforeach()
if(extra)
  message(FATAL_ERROR "unexpected exported names: ${extra}")
endif()
message(STATUS "exported: ${found}")
