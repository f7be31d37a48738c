# hvdv's inputs: the committed raw DV streams wrapped at test time in AVI
# type 2, QuickTime and MXF (FFmpeg, -c copy) and AVI type 1 (AVI1, the
# test's own writer), and read from standard input.  For every wrapping, "hvdv info" describes the
# stream as it describes the raw file, and the frames the tool reads are
# byte for byte the raw file's (their MD5s; the raw file's frames together
# against the file's own MD5).  Then the real QuickTime cut, and inputs that
# are not DV.
#   cmake -DHVDV=<hvdv> -DAVI1=<hvdv_avi_type1> -DDATA=<tests/data> -DWORK=<scratch dir>
#         -DCONTAINERS=ON|OFF [-DEMULATOR=<wine>] -P cli_input.cmake
# CONTAINERS=OFF: the tool was built without libavformat and must say so.

cmake_minimum_required(VERSION 3.16)
file(MAKE_DIRECTORY ${WORK})
find_program(FFMPEG ffmpeg)
find_program(FFPROBE ffprobe)
find_program(MEDIAINFO mediainfo)
if(NOT FFMPEG)
  message(FATAL_ERROR "ffmpeg not found (scripts/deps.sh installs it)")
endif()
set(failures "")
file(WRITE ${WORK}/empty.dv "")

# Runs hvdv with optional standard input; RUN_STATUS, RUN_OUT, RUN_ERR.
function(run_hvdv input)
  if(input)
    execute_process(COMMAND ${EMULATOR} ${HVDV} ${ARGN} INPUT_FILE ${input}
                    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  else()
    execute_process(COMMAND ${EMULATOR} ${HVDV} ${ARGN}
                    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  endif()
  set(RUN_STATUS "${status}" PARENT_SCOPE)
  set(RUN_OUT "${out}" PARENT_SCOPE)
  set(RUN_ERR "${err}" PARENT_SCOPE)
endfunction()

# The description of the stream: the lines that come from the DIF data, and
# the frame count without where it came from.
function(describe input path out_var)
  run_hvdv("${input}" info ${path})
  if(NOT RUN_STATUS EQUAL 0)
    set(${out_var} "hvdv info failed (${RUN_STATUS}): ${RUN_ERR}" PARENT_SCOPE)
    return()
  endif()
  # (Not REGEX REPLACE with "^": CMake anchors it at every match.)
  string(FIND "${RUN_OUT}" "\n" eol)
  math(EXPR eol "${eol} + 1")
  string(SUBSTRING "${RUN_OUT}" ${eol} -1 text)
  string(REGEX REPLACE "  (container|disagreement): [^\n]*\n" "" text "${text}")
  string(REGEX REPLACE "(frames: +[0-9]+) \\([a-z ]+\\)" "\\1" text "${text}")
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

# Frame MD5s without their offsets, and the MD5 of all frames together.
function(frame_md5s input path frames_var all_var)
  run_hvdv("${input}" info --frame-md5 ${path})
  string(REGEX MATCHALL "frame [0-9]+: [^\n]*" lines "${RUN_OUT}")
  string(REGEX REPLACE "offset -?[0-9]+, " "" lines "${lines}")
  string(REGEX MATCH "all: [^\n]*" all "${RUN_OUT}")
  set(${frames_var} "${lines}" PARENT_SCOPE)
  set(${all_var} "${all}" PARENT_SCOPE)
endfunction()

macro(fail text)
  string(APPEND failures "${text}\n")
endmacro()

# stream | wrappings.  avi1 (tools/avi_type1.cpp) takes 25 Mb/s only; MXF needs 48 kHz
# audio or none.
set(streams
  "sample_625_420|avi1 avi2 mov mxf stdin"
  "meta_tc_525|avi1 avi2 mov mxf stdin"
  "pal_420_wide_32k|avi1 avi2 mov stdin"
  "dv50_625_audio|avi2 mov mxf stdin"
  "hd_1080i60|avi2 mov mxf stdin"
  "hd_720p60|avi2 mov mxf stdin")

foreach(entry IN LISTS streams)
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 name)
  list(GET fields 1 wrappings)
  string(REPLACE " " ";" wrappings "${wrappings}")
  set(raw ${DATA}/${name}.dv)
  describe("" ${raw} reference)
  frame_md5s("" ${raw} reference_frames raw_all)
  # The first frame's timecode against FFmpeg's DV demuxer.
  if(FFPROBE)
    execute_process(COMMAND ${FFPROBE} -v error -show_entries format_tags=timecode -of default=nw=1:nk=1 ${raw}
                    OUTPUT_VARIABLE peer_timecode OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT reference MATCHES "timecode: +${peer_timecode}\n")
      fail("${name}.dv: timecode is not FFmpeg's ${peer_timecode}:\n${reference}")
    endif()
  endif()
  file(MD5 ${raw} raw_md5)
  if(NOT raw_all MATCHES "${raw_md5}$")
    fail("${name}.dv: the frames read (${raw_all}) are not the file (${raw_md5})")
  endif()
  foreach(w IN LISTS wrappings)
    set(input "")
    set(path ${WORK}/${name}_${w})
    if(w STREQUAL "stdin")
      set(input ${raw})
      set(path "-")
    elseif(w STREQUAL "avi1")
      # Written by the test's own type 1 writer; FFmpeg must take back from
      # it exactly the raw DV (an independent check of what was written).
      set(path ${path}.avi)
      file(REMOVE ${path} ${path}.back)
      execute_process(COMMAND ${EMULATOR} ${AVI1} ${raw} ${path} RESULT_VARIABLE status ERROR_VARIABLE err)
      execute_process(COMMAND ${FFMPEG} -nostdin -v error -y -i ${path} -map 0:v -c copy -f rawvideo ${path}.back
                      ERROR_QUIET)
      set(back_md5 "")
      if(EXISTS ${path}.back)
        file(MD5 ${path}.back back_md5)
      endif()
      if(NOT status EQUAL 0 OR NOT back_md5 STREQUAL raw_md5)
        fail("${name} avi1: no AVI type 1 file FFmpeg reads back as the raw DV (${status}: ${err})")
        continue()
      endif()
    else()
      set(ext ${w})
      set(format ${w})
      if(w STREQUAL "avi2")
        set(ext avi)
        set(format avi)
      endif()
      set(path ${path}.${ext})
      execute_process(COMMAND ${FFMPEG} -nostdin -v error -y -i ${raw} -c copy -f ${format} ${path}
                      RESULT_VARIABLE status ERROR_VARIABLE err)
      if(NOT status EQUAL 0)
        fail("${name} ${w}: ffmpeg could not write it: ${err}")
        continue()
      endif()
    endif()
    if(NOT CONTAINERS AND NOT w STREQUAL "stdin")
      run_hvdv("" info ${path})
      if(NOT RUN_STATUS EQUAL 1 OR NOT RUN_ERR MATCHES "built without libavformat: only raw DV can be read")
        fail("${name} ${w}: without libavformat: status ${RUN_STATUS}, ${RUN_ERR}")
      endif()
      continue()
    endif()
    describe("${input}" ${path} text)
    if(NOT text STREQUAL reference OR NOT text MATCHES "format: ")
      fail("${name} ${w}: described as\n${text}\ninstead of\n${reference}")
    endif()
    if(w STREQUAL "avi1")
      run_hvdv("" info ${path})
      if(NOT RUN_OUT MATCHES "container: +AVI type 1")
        fail("${name} avi1: not read as AVI type 1:\n${RUN_OUT}")
      endif()
    endif()
    frame_md5s("${input}" ${path} frames all)
    if(NOT frames STREQUAL reference_frames)
      fail("${name} ${w}: frames differ from the raw DV:\n${frames}\ninstead of\n${reference_frames}")
    endif()
  endforeach()
endforeach()

# Real frames' facts, as tests/data/README.md gives them (read from their
# packs), and a frame whose first sequence lost its VAUX source pack.  (A
# drop-frame timecode's ";" is "[^:]" here: CMake lists split at ";".)  The
# field order follows the VAUX FS flag as libavcodec reads it (ffprobe): the
# 1080i60 stream, made from progressive pictures, has FS clear.
set(facts
  "jj_sony_head_clog|timecode: +00:00:00[^:]12\n.*recorded: +2000-12-03T10:15:57\n"
  "jj_sony_head_clog|audio: +32000 Hz, 4 channels, 12-bit non-linear, unlocked\n"
  "meta_tc_525|bottom field first.*timecode: +01:02:03[^:]04\n.*recorded: +2024-02-29T23:59:59\n"
  "hd_1080i50|field order: +top field first"
  "hd_1080i60|field order: +bottom field first .VAUX: both fields, field 2 first"
  "hd_720p60|field order: +progressive")
foreach(f IN LISTS facts)
  string(REPLACE "|" ";" f "${f}")
  list(GET f 0 name)
  list(GET f 1 pattern)
  describe("" ${DATA}/${name}.dv text)
  if(NOT text MATCHES "${pattern}")
    fail("${name}.dv: no \"${pattern}\" in\n${text}")
  endif()
endforeach()

# "hvdv info --json" on every committed stream against ffprobe: display
# aspect, frame rate, audio rate and channels (FFmpeg gives a stream a
# stereo pair), timecode and duration; and against MediaInfo: field order.
if(FFPROBE)
  file(GLOB streams ${DATA}/*.dv)
  foreach(path IN LISTS streams)
    get_filename_component(name ${path} NAME)
    run_hvdv("" info --json ${path})
    string(JSON info GET "${RUN_OUT}" 0)
    set(ours "")
    foreach(key displayAspect frameRate.numerator frameRate.denominator audio.sampleRate audio.channels timecode)
      string(REPLACE "." ";" keys ${key})
      string(JSON value ERROR_VARIABLE none GET "${info}" ${keys})
      if(none)
        set(value "")
      endif()
      string(APPEND ours "${key}=${value} ")
    endforeach()
    string(REGEX MATCH "\"duration\": ([0-9.]+)" _ "${RUN_OUT}")  # as printed, not as CMake reads a number
    string(APPEND ours "duration=${CMAKE_MATCH_1} ")
    execute_process(COMMAND ${FFPROBE} -v quiet -show_entries stream=display_aspect_ratio,r_frame_rate,sample_rate,channels:format=duration:format_tags=timecode
                            -of json ${path} OUTPUT_VARIABLE probe)
    string(JSON video GET "${probe}" streams 0)
    string(JSON aspect GET "${video}" display_aspect_ratio)
    string(JSON rate GET "${video}" r_frame_rate)
    string(REPLACE "/" ";" rate "${rate}")
    list(GET rate 0 num)
    list(GET rate 1 den)
    string(JSON count LENGTH "${probe}" streams)
    set(sample_rate "")
    set(channels "")
    if(count GREATER 1)
      string(JSON sample_rate GET "${probe}" streams 1 sample_rate)
      math(EXPR channels "2 * (${count} - 1)")
    endif()
    string(JSON timecode GET "${probe}" format tags timecode)
    string(JSON duration GET "${probe}" format duration)
    set(theirs "displayAspect=${aspect} frameRate.numerator=${num} frameRate.denominator=${den} ")
    string(APPEND theirs "audio.sampleRate=${sample_rate} audio.channels=${channels} timecode=${timecode} duration=${duration} ")
    if(NOT ours STREQUAL theirs)
      fail("${name}: hvdv info --json says\n  ${ours}\nffprobe\n  ${theirs}")
    endif()
    # The text says the same.
    set(audio "")
    if(channels)
      set(audio "audio: +${sample_rate} Hz, ${channels} channels.*")
    endif()
    run_hvdv("" info ${path})
    if(NOT RUN_OUT MATCHES "display aspect: +${aspect}\n.*frame rate: +${num}/${den} .*${audio}timecode: +${timecode}\n")
      fail("${name}: hvdv info says\n${RUN_OUT}\nffprobe\n  ${theirs}")
    endif()
    # The field order against MediaInfo's scan order, at 25 and 50 Mb/s
    # (at 1080 lines MediaInfo reads FS the other way round from libavcodec).
    string(JSON format GET "${info}" format)
    if(MEDIAINFO AND format MATCHES "^DV ")
      execute_process(COMMAND ${MEDIAINFO} "--Inform=Video;%ScanOrder%" ${path} OUTPUT_VARIABLE order
                      OUTPUT_STRIP_TRAILING_WHITESPACE)
      string(JSON field_order GET "${info}" fieldOrder)
      string(REPLACE "TFF" "top field first" order "${order}")
      string(REPLACE "BFF" "bottom field first" order "${order}")
      if(order STREQUAL "" OR NOT field_order MATCHES "^${order}")
        fail("${name}: field order ${field_order}, MediaInfo ${order}")
      endif()
    endif()
  endforeach()
endif()

# A stream that changes kind (720-line, 50 Mb/s, 625/50, 525/60) from a file
# and from standard input: the frames are those of the parts, in turn.  Its
# frames shrink, so its size over the first frame's counts too few.
set(parts hd_720p60 dv50_625_audio sample_625_420 ntsc_411_48k)
set(expected "")
set(paths "")
foreach(part IN LISTS parts)
  frame_md5s("" ${DATA}/${part}.dv frames all)
  list(APPEND expected ${frames})
  list(APPEND paths ${DATA}/${part}.dv)
endforeach()
string(REGEX REPLACE "frame [0-9]+: " "" expected "${expected}")
execute_process(COMMAND ${CMAKE_COMMAND} -E cat ${paths} OUTPUT_FILE ${WORK}/mixed.dv)
foreach(input "" ${WORK}/mixed.dv)
  if(input)
    frame_md5s(${input} - frames all)
  else()
    frame_md5s("" ${WORK}/mixed.dv frames all)
  endif()
  string(REGEX REPLACE "frame [0-9]+: " "" frames "${frames}")
  if(NOT frames STREQUAL expected)
    fail("mixed.dv ${input}: frames\n${frames}\ninstead of\n${expected}")
  endif()
endforeach()
# Its frame count is read, not taken from its size and the first frame's.
list(LENGTH expected count)
run_hvdv("" info ${WORK}/mixed.dv)
if(NOT RUN_OUT MATCHES "frames: +${count} \\(counted\\)")
  fail("mixed.dv: not ${count} frames counted:\n${RUN_OUT}")
endif()
# Its last frame is decoded (not refused for lying past the estimate), as
# the last frame of the last part.
math(EXPR last "${count} - 1")
run_hvdv("" decode ${WORK}/mixed.dv --frames ${last} --md5)
set(decoded "${RUN_OUT}")
run_hvdv("" decode ${DATA}/ntsc_411_48k.dv --md5)
string(REGEX MATCH "[0-9a-f]+\n$" part_last "${RUN_OUT}")
if(NOT decoded STREQUAL "frame ${last}: ${part_last}")
  fail("mixed.dv: frame ${last} decoded as \"${decoded}\", not as the last frame of ntsc_411_48k (${part_last})")
endif()
# and a range past its end is refused with the count read, before writing.
run_hvdv("" decode ${WORK}/mixed.dv --frames ${last}-${count} --md5)
if(NOT RUN_STATUS EQUAL 1 OR NOT RUN_OUT STREQUAL "" OR NOT RUN_ERR MATCHES "no frame ${count} \\(the file has ${count}\\)")
  fail("mixed.dv --frames ${last}-${count}: status ${RUN_STATUS}, ${RUN_OUT}${RUN_ERR}")
endif()

# A file cut inside its first DIF sequence is described from the blocks it
# has, as the whole file is (the frame count aside), and said to be
# truncated: cut at 5000 bytes it still has the AAUX source pack, at 480
# only the header, subcode and VAUX blocks (no audio mode).
foreach(c "meta_tc_525|5000" "jj_sony_perfect|5000" "pal_420_wide_32k|5000" "meta_tc_525|480")
  string(REPLACE "|" ";" c "${c}")
  list(GET c 0 name)
  list(GET c 1 bytes)
  set(cut ${WORK}/${name}_${bytes}.dv)
  execute_process(COMMAND head -c ${bytes} ${DATA}/${name}.dv OUTPUT_FILE ${cut})
  describe("" ${DATA}/${name}.dv whole)
  describe("" ${cut} text)
  string(REGEX REPLACE "  (frames|duration|truncated): [^\n]*\n" "" whole "${whole}")
  string(REGEX REPLACE "  (frames|duration|truncated): [^\n]*\n" "" described "${text}")
  # Captions are looked for in the frames there are.
  string(REGEX REPLACE "in the first [0-9]+ frames" "in the first frames" whole "${whole}")
  string(REGEX REPLACE "in the first [0-9]+ frames" "in the first frames" described "${described}")
  if(bytes LESS 4400)
    string(REGEX REPLACE "audio: [^\n]*" "audio:           not read" whole "${whole}")
  endif()
  if(NOT described STREQUAL whole OR NOT text MATCHES "frames: +0\n.*truncated: +${bytes} of ")
    fail("${name} cut at ${bytes} bytes: described as\n${text}\ninstead of\n${whole}")
  endif()
endforeach()

# A raw file that starts with the second picture of a 720p frame (channels
# 2 and 3): read from the next whole frame, with a warning; alone, it is no
# DV stream.
file(SIZE ${DATA}/hd_720p60.dv size)
math(EXPR picture "${size} / 2")  # one 720p frame: two pictures
execute_process(COMMAND tail -c ${picture} ${DATA}/hd_720p60.dv OUTPUT_FILE ${WORK}/second_picture.dv)
execute_process(COMMAND ${CMAKE_COMMAND} -E cat ${WORK}/second_picture.dv ${DATA}/hd_720p60.dv
                OUTPUT_FILE ${WORK}/second_first.dv)
frame_md5s("" ${DATA}/hd_720p60.dv expected all)
frame_md5s("" ${WORK}/second_first.dv frames all)
run_hvdv("" info ${WORK}/second_first.dv)
if(NOT frames STREQUAL expected OR NOT RUN_ERR MATCHES "second picture of a 720p frame[^\n]*${picture} bytes are skipped")
  fail("second_first.dv: frames\n${frames}\ninstead of\n${expected}\n${RUN_ERR}")
endif()

# The real QuickTime cut: its samples are the frames of the raw file taken
# from the same original; its timecode track disagrees with the subcode.
if(CONTAINERS)
  frame_md5s("" ${DATA}/dvrescue_cc_525.dv reference_frames raw_all)
  frame_md5s("" ${DATA}/dvrescue_cc_525.mov frames all)
  if(NOT frames STREQUAL reference_frames)
    fail("dvrescue_cc_525.mov: frames differ from dvrescue_cc_525.dv")
  endif()
  run_hvdv("" info ${DATA}/dvrescue_cc_525.mov)
  if(NOT RUN_OUT MATCHES "codec tag \"dvc \", separate audio track" OR
     NOT RUN_OUT MATCHES "disagreement: +timecode: container 01:00:06;17, DIF data 00:37:46:06")
    fail("dvrescue_cc_525.mov: ${RUN_OUT}")
  endif()
endif()

# Not DV: random bytes (a fixed seed) from a file and from standard input, an empty input.
string(RANDOM LENGTH 4000 RANDOM_SEED 27 junk)
file(WRITE ${WORK}/junk.bin "${junk}")
foreach(c "junk.bin|not a DV stream" "-|not a DV stream" "empty.dv|empty input"
          "second_picture.dv|not a DV stream .it starts with the second picture of a 720p frame")
  string(REPLACE "|" ";" c "${c}")
  list(GET c 0 arg)
  list(GET c 1 pattern)
  if(arg STREQUAL "-")
    run_hvdv(${WORK}/junk.bin info -)
  else()
    run_hvdv("" info ${WORK}/${arg})
  endif()
  if(NOT RUN_STATUS EQUAL 1 OR NOT RUN_ERR MATCHES "^hvdv info: [^\n]*: ${pattern}")
    fail("hvdv info ${arg}: status ${RUN_STATUS}, ${RUN_ERR}")
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "${failures}")
endif()
