# End-to-end checks of "hvdv decode" on the committed sample stream.
#   cmake -DHVDV=<hvdv> -DDATA=<tests/data> -DWORK=<scratch dir> -DCASE=<case>
#         [-DEMULATOR=<wine>] [-DPNG=OFF] -P cli_decode.cmake
# PNG=OFF: the tool was built without libpng; cases writing PNG files are left out.
# Cases: y4m, png, raw_md5, md5_threads, errors.

cmake_minimum_required(VERSION 3.16)
set(SAMPLE ${DATA}/sample_625_420.dv)  # 10 frames, 625/50 4:2:0, 4:3
file(MAKE_DIRECTORY ${WORK})

# Runs hvdv; fails unless the exit status is `expect`.  Leaves stdout and
# stderr in RUN_OUT and RUN_ERR.
function(run_hvdv expect)
  execute_process(COMMAND ${EMULATOR} ${HVDV} ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT "${status}" STREQUAL "${expect}")
    message(FATAL_ERROR "hvdv ${ARGN}: exit status ${status}, expected ${expect}\nstdout: ${out}\nstderr: ${err}")
  endif()
  set(RUN_OUT "${out}" PARENT_SCOPE)
  set(RUN_ERR "${err}" PARENT_SCOPE)
endfunction()

function(expect_match text regex what)
  if(NOT "${text}" MATCHES "${regex}")
    message(FATAL_ERROR "${what}: \"${text}\" does not match \"${regex}\"")
  endif()
endfunction()

# A YUV4MPEG2 file: the header line, then per frame "FRAME\n" and the Y, U
# and V planes of 4:2:2 (2 bytes a pixel).
function(check_y4m path header width height frames)
  file(STRINGS ${path} line LIMIT_COUNT 1)
  string(LENGTH "${line}" eol)
  file(READ ${path} newline OFFSET ${eol} LIMIT 1 HEX)
  if(NOT line STREQUAL header OR NOT newline STREQUAL "0a")
    message(FATAL_ERROR "${path}: header \"${line}\", expected \"${header}\" and a newline")
  endif()
  math(EXPR header_bytes "${eol} + 1")
  math(EXPR frame_bytes "6 + ${width} * ${height} * 2")
  math(EXPR expected "${header_bytes} + ${frames} * ${frame_bytes}")
  file(SIZE ${path} size)
  if(NOT size EQUAL expected)
    message(FATAL_ERROR "${path}: ${size} bytes, expected ${expected}")
  endif()
  math(EXPR last "${header_bytes} + (${frames} - 1) * ${frame_bytes}")
  file(READ ${path} marker OFFSET ${last} LIMIT 6)
  if(NOT marker STREQUAL "FRAME\n")
    message(FATAL_ERROR "${path}: no FRAME line at byte ${last}")
  endif()
endfunction()

if(CASE STREQUAL "y4m")
  run_hvdv(0 decode ${SAMPLE} -o ${WORK}/all.y4m)
  expect_match("${RUN_ERR}" "10 frames: 10 decoded \\(0 with damaged macroblocks\\), 0 failed; [0-9.]+ frames/s" "summary")
  check_y4m(${WORK}/all.y4m "YUV4MPEG2 W720 H576 F25:1 Ib A16:15 C422" 720 576 10)
  run_hvdv(0 decode ${SAMPLE} --frames 2-4 --half -o ${WORK}/half.y4m)
  check_y4m(${WORK}/half.y4m "YUV4MPEG2 W360 H288 F25:1 Ib A16:15 C422" 360 288 3)
  run_hvdv(0 decode ${DATA}/pal_420_wide_32k.dv --frames 1- -o ${WORK}/wide.y4m)
  check_y4m(${WORK}/wide.y4m "YUV4MPEG2 W720 H576 F25:1 Ib A64:45 C422" 720 576 2)

elseif(CASE STREQUAL "png")
  run_hvdv(0 decode ${SAMPLE} --frame 5 -o ${WORK}/frame5.png)
  # Signature, then the IHDR chunk: length 13, "IHDR", width, height, depth
  # 8, colour type 2 (RGB).
  file(READ ${WORK}/frame5.png head LIMIT 26 HEX)
  set(expected "89504e470d0a1a0a" "0000000d" "49484452" "000002d0" "00000240" "08" "02")
  string(REPLACE ";" "" expected "${expected}")
  if(NOT head STREQUAL expected)
    message(FATAL_ERROR "frame5.png starts ${head}, expected ${expected}")
  endif()
  run_hvdv(0 decode ${SAMPLE} --half -o ${WORK}/half.png)
  file(READ ${WORK}/half.png size_field OFFSET 16 LIMIT 8 HEX)
  if(NOT size_field STREQUAL "0000016800000120")
    message(FATAL_ERROR "half.png is not 360 x 288: ${size_field}")
  endif()

elseif(CASE STREQUAL "raw_md5")
  # The printed MD5 of a picture is the MD5 of the bytes written for it.
  foreach(fourcc UYVY BGRA R565)
    run_hvdv(0 decode ${SAMPLE} --frame 3 --fourcc ${fourcc} -o ${WORK}/frame3_${fourcc}.raw)
    file(SIZE ${WORK}/frame3_${fourcc}.raw size)
    file(MD5 ${WORK}/frame3_${fourcc}.raw digest)
    run_hvdv(0 decode ${SAMPLE} --frame 3 --fourcc ${fourcc} --md5)
    if(NOT RUN_OUT STREQUAL "frame 3: ${digest}\n")
      message(FATAL_ERROR "${fourcc}: printed \"${RUN_OUT}\", file MD5 ${digest}")
    endif()
    set(size_${fourcc} ${size})
  endforeach()
  math(EXPR two "720 * 576 * 2")
  math(EXPR four "720 * 576 * 4")
  if(NOT size_UYVY EQUAL two OR NOT size_R565 EQUAL two OR NOT size_BGRA EQUAL four)
    message(FATAL_ERROR "raw sizes UYVY ${size_UYVY}, BGRA ${size_BGRA}, R565 ${size_R565}")
  endif()
  run_hvdv(0 decode ${SAMPLE} --frames 0-1 -o ${WORK}/two.yuv)
  file(SIZE ${WORK}/two.yuv size)
  math(EXPR expected "2 * ${two}")
  if(NOT size EQUAL expected)
    message(FATAL_ERROR "two.yuv: ${size} bytes, expected ${expected}")
  endif()

elseif(CASE STREQUAL "md5_threads")
  # One thread, every processor and the plain C++ kernels give the same
  # pictures, full and half size.
  foreach(size_arg "" "--half")
    run_hvdv(0 decode ${SAMPLE} --md5 ${size_arg})
    set(reference "${RUN_OUT}")
    string(REGEX MATCHALL "frame [0-9]+: [0-9a-f]+\n" lines "${reference}")
    list(LENGTH lines count)
    string(REPEAT "[0-9a-f]" 32 hex)
    if(NOT count EQUAL 10 OR NOT reference MATCHES "^(frame [0-9]+: ${hex}\n)+$")
      message(FATAL_ERROR "expected 10 lines \"frame N: <32 hex digits>\", got:\n${reference}")
    endif()
    foreach(variant "--threads;1" "--threads;4" "--no-simd" "--no-simd;--threads;1")
      run_hvdv(0 decode ${SAMPLE} --md5 ${size_arg} ${variant})
      if(NOT RUN_OUT STREQUAL reference)
        message(FATAL_ERROR "${size_arg} ${variant}: MD5s differ\n${RUN_OUT}\nfrom\n${reference}")
      endif()
    endforeach()
  endforeach()

elseif(CASE STREQUAL "errors")
  # exit status | lines on stderr | pattern of the first | arguments, comma-separated.
  # Only the PNG file is written after decoding, and the summary line
  # follows the error.
  set(cases
    "1|1|no_such_file.dv: cannot open|${DATA}/no_such_file.dv,--md5"
    "1|1|not DV|${DATA}/make_streams.sh,--md5"
    "1|1|no frame 10 \\(the file has 10\\)|${SAMPLE},--frames,8-10,--md5"
    "1|1|cannot write .*out.y4m|${SAMPLE},-o,${WORK}/no_such_dir/out.y4m"
    "1|2|cannot write .*out.png|${SAMPLE},-o,${WORK}/no_such_dir/out.png"
    "2|1|unknown option --fast|${SAMPLE},--fast,--md5"
    "2|1|unknown pixel format \"yuy2\"|${SAMPLE},--fourcc,yuy2,--md5"
    "2|1|--fourcc applies to|${SAMPLE},--fourcc,BGRA,-o,${WORK}/x.y4m"
    "2|1|cannot tell the output format|${SAMPLE},-o,${WORK}/x.avi"
    "2|1|no output given|${SAMPLE}"
    "2|1|bad --frames value|${SAMPLE},--frames,5-2,--md5"
    "2|1|a PNG holds one frame|${SAMPLE},--frames,0-3,-o,${WORK}/x.png"
    "2|1|--threads needs a number|${SAMPLE},--threads,0,--md5")
  if(DEFINED PNG AND NOT PNG)
    list(FILTER cases EXCLUDE REGEX "\\.png")
  endif()
  foreach(c IN LISTS cases)
    string(REPLACE "|" ";" fields "${c}")
    list(GET fields 0 status)
    list(GET fields 1 expected_lines)
    list(GET fields 2 pattern)
    list(GET fields 3 args)
    string(REPLACE "," ";" args "${args}")
    run_hvdv(${status} decode ${args})
    expect_match("${RUN_ERR}" "^hvdv decode: [^\n]*${pattern}" "hvdv decode ${args}")
    string(REGEX MATCHALL "\n" newlines "${RUN_ERR}")
    list(LENGTH newlines lines)
    if(NOT lines EQUAL expected_lines)
      message(FATAL_ERROR "hvdv decode ${args}: expected ${expected_lines} lines on stderr, got\n${RUN_ERR}")
    endif()
  endforeach()

else()
  message(FATAL_ERROR "unknown CASE ${CASE}")
endif()
