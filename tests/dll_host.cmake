# The C host of hv_dec_dv.dll (dll_host.c) on the first frame of
# sample_625_420.dv: its two pictures must have the MD5s data/golden.md5
# gives for the same cases.
#   cmake -DHOST=<hvdv_dll_host> -DDATA=<tests/data> -DWORK=<scratch dir>
#         [-DEMULATOR=<wine>] -P dll_host.cmake
cmake_minimum_required(VERSION 3.16)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${EMULATOR} ${HOST} ${DATA}/sample_625_420.dv ${WORK}/picture
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "hvdv_dll_host: exit status ${status}\n${out}${err}")
endif()
file(STRINGS ${DATA}/golden.md5 golden)
foreach(c "inst|sample_625_420.dv 0 UYVY 720x576 inst flags=0 result=1 "
          "call|sample_625_420.dv 0 YUY2 720x576 call flags=1 result=1 ")
  string(REPLACE "|" ";" c "${c}")
  list(GET c 0 ext)
  list(GET c 1 key)
  set(expected "")
  foreach(line IN LISTS golden)
    string(FIND "${line}" "${key}" at)
    if(at EQUAL 0)
      string(LENGTH "${key}" n)
      string(SUBSTRING "${line}" ${n} -1 expected)
    endif()
  endforeach()
  file(MD5 ${WORK}/picture.${ext} md5)
  if(NOT expected OR NOT md5 STREQUAL expected)
    message(FATAL_ERROR "hvdv_dll_host: picture.${ext} has MD5 ${md5}; golden.md5 gives \"${key}${expected}\"")
  endif()
endforeach()
