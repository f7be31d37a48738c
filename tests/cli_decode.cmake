# End-to-end checks of "hvdv decode" on the committed streams, pictures and
# audio against FFmpeg's.
#   cmake -DHVDV=<hvdv> -DDATA=<tests/data> -DWORK=<scratch dir> -DCASE=<case>
#         [-DEMULATOR=<wine>] [-DPNG=OFF] [-DFFMPEG=<ffmpeg>] -P cli_decode.cmake
# PNG=OFF: the tool was built without libpng; cases writing PNG files are left out.
# Cases: y4m, png, raw_md5, md5_threads, audio, errors (y4m and audio need ffmpeg).

cmake_minimum_required(VERSION 3.16)
set(SAMPLE ${DATA}/sample_625_420.dv)  # 10 frames, 625/50 4:2:0, 4:3
file(MAKE_DIRECTORY ${WORK})

include(${CMAKE_CURRENT_LIST_DIR}/cli_run.cmake)

function(expect_match text regex what)
  if(NOT "${text}" MATCHES "${regex}")
    message(FATAL_ERROR "${what}: \"${text}\" does not match \"${regex}\"")
  endif()
endfunction()

# Runs ffmpeg; its stderr in FF_ERR.
function(run_ffmpeg)
  if(NOT FFMPEG)
    message(FATAL_ERROR "this case needs ffmpeg (-DFFMPEG=...)")
  endif()
  execute_process(COMMAND ${FFMPEG} -nostdin -nostats -y ${ARGN} RESULT_VARIABLE status ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "ffmpeg ${ARGN}: exit status ${status}\n${err}")
  endif()
  set(FF_ERR "${err}" PARENT_SCOPE)
endfunction()

# The header line of a YUV4MPEG2 file.
function(check_y4m_header path header)
  file(STRINGS ${path} line LIMIT_COUNT 1)
  if(NOT line STREQUAL header)
    message(FATAL_ERROR "${path}: header \"${line}\", expected \"${header}\"")
  endif()
endfunction()

if(CASE STREQUAL "y4m")
  # Every kind at its coded chroma sampling, read back by FFmpeg's YUV4MPEG2
  # reader and compared plane by plane with libavcodec's decode of the same
  # frames: at least 40 dB in each plane (the two decoders round their
  # inverse DCTs differently; a misplaced or mis-sited plane is far below).
  # stream | arguments | header
  set(cases
    "sample_625_420.dv||YUV4MPEG2 W720 H576 F25:1 Ib A16:15 C420paldv"
    "pal_420_wide_32k.dv||YUV4MPEG2 W720 H576 F25:1 Ib A64:45 C420paldv"
    "ntsc_411_48k.dv||YUV4MPEG2 W720 H480 F30000:1001 Ib A8:9 C411"
    "pal_411.dv||YUV4MPEG2 W720 H576 F25:1 Ib A16:15 C411"
    "dv50_625.dv||YUV4MPEG2 W720 H576 F25:1 It A16:15 C422"
    "hd_1080i50.dv||YUV4MPEG2 W1440 H1080 F25:1 It A4:3 C422"
    "hd_1080i60.dv||YUV4MPEG2 W1280 H1080 F30000:1001 Ib A3:2 C422"
    "hd_720p60.dv||YUV4MPEG2 W960 H720 F60000:1001 Ip A4:3 C422"
    "dv50_625.dv|--chroma,422|YUV4MPEG2 W720 H576 F25:1 It A16:15 C422"
    "sample_625_420.dv|--threads,3|YUV4MPEG2 W720 H576 F25:1 Ib A16:15 C420paldv")
  foreach(c IN LISTS cases)
    string(REPLACE "|" ";" fields "${c}")
    list(GET fields 0 stream)
    list(GET fields 1 args)
    list(GET fields 2 header)
    string(REPLACE "," ";" args "${args}")
    set(out ${WORK}/${stream}.y4m)
    run_hvdv(0 decode ${DATA}/${stream} ${args} -o ${out})
    check_y4m_header(${out} "${header}")
    # The same frames from libavcodec, in the same pixel format.
    run_ffmpeg(-i ${out} -i ${DATA}/${stream} -lavfi "[0:v][1:v]psnr=shortest=1" -f null -)
    if(NOT FF_ERR MATCHES "PSNR y:([0-9.]+|inf) u:([0-9.]+|inf) v:([0-9.]+|inf) average")
      message(FATAL_ERROR "${stream} ${args}: no PSNR from ffmpeg:\n${FF_ERR}")
    endif()
    foreach(db ${CMAKE_MATCH_1} ${CMAKE_MATCH_2} ${CMAKE_MATCH_3})
      if(NOT db STREQUAL "inf" AND db LESS 40)
        message(FATAL_ERROR "${stream} ${args}: PSNR ${CMAKE_MATCH_0} against libavcodec, below 40 dB")
      endif()
    endforeach()
  endforeach()
  expect_match("${RUN_ERR}" "10 frames: 10 decoded \\(0 with damaged macroblocks\\), 0 failed; [0-9.]+ frames/s" "summary")
  # Half size: planes half wide and half high, the pixel aspect kept.
  run_hvdv(0 decode ${SAMPLE} --frames 2-4 --half -o ${WORK}/half.y4m)
  check_y4m_header(${WORK}/half.y4m "YUV4MPEG2 W360 H288 F25:1 Ib A16:15 C420paldv")
  file(SIZE ${WORK}/half.y4m size)
  string(LENGTH "YUV4MPEG2 W360 H288 F25:1 Ib A16:15 C420paldv\n" header_bytes)
  math(EXPR expected "${header_bytes} + 3 * (6 + 360 * 288 * 3 / 2)")
  if(NOT size EQUAL expected)
    message(FATAL_ERROR "half.y4m: ${size} bytes, expected ${expected}")
  endif()

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
  # Width and height in the IHDR chunk: half size, and square pixels (4:3
  # 625 lines 768 wide, 16:9 1024, 4:3 525 lines 640; DVCPRO HD at its
  # display width).
  foreach(c "sample_625_420.dv,--half|0000016800000120" "sample_625_420.dv,--square|0000030000000240"
            "pal_420_wide_32k.dv,--square|0000040000000240" "ntsc_411_48k.dv,--square|00000280000001e0"
            "hd_720p60.dv,--square|00000500000002d0")
    string(REPLACE "|" ";" fields "${c}")
    list(GET fields 0 args)
    list(GET fields 1 expected)
    string(REPLACE "," ";" args "${args}")
    run_hvdv(0 decode ${DATA}/${args} -o ${WORK}/sized.png)
    file(READ ${WORK}/sized.png size_field OFFSET 16 LIMIT 8 HEX)
    if(NOT size_field STREQUAL expected)
      message(FATAL_ERROR "${args}: PNG size ${size_field}, expected ${expected}")
    endif()
  endforeach()

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
  # One thread, several frames at once (a ring of six frames for ten, so it
  # wraps) and the plain C++ kernels give the same pictures, full and half
  # size, planes and packed.
  foreach(size_arg "" "--half" "--fourcc;BGRA")
    run_hvdv(0 decode ${SAMPLE} --md5 ${size_arg})
    set(reference "${RUN_OUT}")
    string(REGEX MATCHALL "frame [0-9]+: [0-9a-f]+\n" lines "${reference}")
    list(LENGTH lines count)
    string(REPEAT "[0-9a-f]" 32 hex)
    if(NOT count EQUAL 10 OR NOT reference MATCHES "^(frame [0-9]+: ${hex}\n)+$")
      message(FATAL_ERROR "expected 10 lines \"frame N: <32 hex digits>\", got:\n${reference}")
    endif()
    foreach(variant "--threads;1" "--threads;2" "--threads;3" "--no-simd;--threads;1")
      run_hvdv(0 decode ${SAMPLE} --md5 ${size_arg} ${variant})
      if(NOT RUN_OUT STREQUAL reference)
        message(FATAL_ERROR "${size_arg} ${variant}: MD5s differ\n${RUN_OUT}\nfrom\n${reference}")
      endif()
    endforeach()
  endforeach()

elseif(CASE STREQUAL "audio")
  # Every channel as FFmpeg's DV demuxer gives it (its stereo pairs merged
  # in order), bit for bit: 16-bit locked and unlocked (1600-1602 samples a
  # frame), 12-bit four channels (WAVE_FORMAT_EXTENSIBLE), with pictures
  # and frames decoded at once, and RF64 with its threshold lowered.
  # FFmpeg reads the WAV back; every header field is checked against the
  # file's size and the stream's channels and rate.
  # stream | arguments | FFmpeg's channels | channels | rate | summary
  set(cases
    "dvrescue_cc_525.dv||[0:a:0]anull|2|48000|48000 Hz, 2 channels, 4806 samples .*1602 a frame, locked"
    "ntsc_411_48k.dv|-o,${WORK}/with.y4m,--threads,2|[0:a:0]anull|2|48000|1600-1602 a frame, unlocked"
    "jj_sony_good_quality.dv||[0:a:0][0:a:1]amerge=inputs=2|4|32000|4 channels, 5339 samples .*1067-1068 a frame"
    "jj_sony_good_quality.dv|--rf64-above,1000|[0:a:0][0:a:1]amerge=inputs=2|4|32000|4 channels")
  foreach(c IN LISTS cases)
    string(REPLACE "|" ";" fields "${c}")
    list(GET fields 0 stream)
    list(GET fields 1 args)
    list(GET fields 2 graph)
    list(GET fields 3 channels)
    list(GET fields 4 rate)
    list(GET fields 5 summary)
    string(REPLACE "," ";" args "${args}")
    run_hvdv(0 decode ${DATA}/${stream} --audio ${WORK}/ours.wav ${args})
    expect_match("${RUN_ERR}" "audio: [^\n]*${summary}" "${stream} ${args}")
    run_ffmpeg(-i ${DATA}/${stream} -filter_complex ${graph} -f s16le ${WORK}/theirs.raw)
    run_ffmpeg(-i ${WORK}/ours.wav -f s16le ${WORK}/ours.raw)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/ours.raw ${WORK}/theirs.raw RESULT_VARIABLE differ)
    if(differ)
      message(FATAL_ERROR "${stream} ${args}: the WAV's samples differ from FFmpeg's")
    endif()
    # The header: RIFF or RF64, a 28-byte JUNK or ds64 chunk (RIFF size,
    # data size, sample frames), "fmt " (16 bytes, or 40 with the
    # extensible part: 16 valid bits, channel mask 0, the PCM GUID), "data".
    file(SIZE ${WORK}/ours.wav file_size)
    file(SIZE ${WORK}/theirs.raw data)
    set(fmt 16)
    set(tag 1)
    if(channels GREATER 2)
      set(fmt 40)
      set(tag 65534)
    endif()
    math(EXPR header "${file_size} - ${data}")
    math(EXPR riff "${file_size} - 8")
    math(EXPR sample_frames "${data} / (2 * ${channels})")
    math(EXPR byte_rate "${rate} * ${channels} * 2")
    math(EXPR align "${channels} * 2")
    if(args MATCHES "rf64")
      set(expected "RF64 4294967295 WAVE ds64 28 ${riff} 0 ${data} 0 ${sample_frames} 0 0")
      set(data_field 4294967295)
    else()
      set(expected "RIFF ${riff} WAVE JUNK 28 0 0 0 0 0 0 0")
      set(data_field ${data})
    endif()
    string(APPEND expected " fmt  ${fmt} ${tag} ${channels} ${rate} ${byte_rate} ${align} 16")
    if(channels GREATER 2)
      string(APPEND expected " 22 16 0 1 0 16 2852126848 1905997824")
    endif()
    string(APPEND expected " data ${data_field}")
    # Field sizes in bytes (0: a four-letter tag).
    set(layout 0 4 0 0 4 4 4 4 4 4 4 4 0 4 2 2 4 4 2 2)
    if(channels GREATER 2)
      list(APPEND layout 2 2 4 4 2 2 4 4)
    endif()
    list(APPEND layout 0 4)
    file(READ ${WORK}/ours.wav hex LIMIT ${header} HEX)
    set(got "")
    set(at 0)
    foreach(bytes IN LISTS layout)
      if(bytes EQUAL 0)
        set(codes "")
        foreach(i 0 1 2 3)
          math(EXPR from "(${at} + ${i}) * 2")
          string(SUBSTRING "${hex}" ${from} 2 byte)
          math(EXPR code "0x${byte}")
          list(APPEND codes ${code})
        endforeach()
        string(ASCII ${codes} word)
        math(EXPR at "${at} + 4")
      else()
        set(word 0)
        math(EXPR i "${bytes} - 1")
        while(i GREATER_EQUAL 0)
          math(EXPR from "(${at} + ${i}) * 2")
          string(SUBSTRING "${hex}" ${from} 2 byte)
          math(EXPR word "${word} * 256 + 0x${byte}")
          math(EXPR i "${i} - 1")
        endwhile()
        math(EXPR at "${at} + ${bytes}")
      endif()
      string(APPEND got " ${word}")
    endforeach()
    string(STRIP "${got}" got)
    if(NOT at EQUAL header OR NOT got STREQUAL expected)
      message(FATAL_ERROR "${stream} ${args}: WAV header (${header} bytes)\n  ${got}\nexpected (${at} bytes)\n  ${expected}")
    endif()
  endforeach()

elseif(CASE STREQUAL "errors")
  # Streams whose audio changes at frame 10: the rate alone (48 to 32 kHz),
  # the channels alone (48 kHz stereo to 48 kHz, two pairs).
  set(mixed "")
  if(NOT CMAKE_VERSION VERSION_LESS 3.18)
    foreach(second pal_420_wide_32k dv50_625_audio)
      execute_process(COMMAND ${CMAKE_COMMAND} -E cat ${SAMPLE} ${DATA}/${second}.dv OUTPUT_FILE ${WORK}/${second}.dv)
    endforeach()
    set(mixed "1|2|frame 10: audio changes from 48000 Hz, 2 channels to 32000 Hz, 2 channels|${WORK}/pal_420_wide_32k.dv,--audio,${WORK}/mixed.wav"
              "1|2|frame 10: audio changes from 48000 Hz, 2 channels to 48000 Hz, 4 channels|${WORK}/dv50_625_audio.dv,--audio,${WORK}/mixed.wav")
  endif()
  # exit status | lines on stderr | pattern of the first | arguments, comma-separated.
  # Only the PNG file is written after decoding, and the summary line
  # follows the error; --strict gives 3 for a damaged frame.
  set(cases
    "1|1|no_such_file.dv: cannot open|${DATA}/no_such_file.dv,--md5"
    "1|1|not a DV stream|${DATA}/make_streams.sh,--md5"
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
    "2|1|--threads needs a number|${SAMPLE},--threads,0,--md5"
    "2|1|--conceal works on planes|${SAMPLE},--conceal,--fourcc,UYVY,--md5"
    "2|1|--square applies to .png|${SAMPLE},--square,--md5"
    "2|1|--audio writes .wav files|${SAMPLE},--audio,${WORK}/x.mp3"
    "3|1|1 frame: 1 decoded \\(0 with damaged macroblocks, 1 with blocks the recorder concealed|${DATA}/jj_sony_head_clog.dv,--strict,--md5,--conceal"
    ${mixed})
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
