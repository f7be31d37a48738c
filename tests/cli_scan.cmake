# End-to-end checks of "hvdv scan" and "hvdv split" on a tape made here from
# real and FFmpeg-made recordings with different dates (all 525/60).
#   cmake -DHVDV=<hvdv> -DDATA=<tests/data> -DWORK=<scratch dir> -DCASE=<case>
#         [-DEMULATOR=<wine>] [-DCAIRO=OFF] [-DEXIFTOOL=<exiftool>] [-DFFPROBE=<ffprobe>] -P cli_scan.cmake
# Cases: split (pieces byte for byte, dates and timecodes against exiftool
# and ffprobe), changes (kind, aspect and audio mode), damaged (a deck-concealed
# frame, a file cut short), plot, errors (of scan, split and report).

cmake_minimum_required(VERSION 3.19)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

# Recordings in tape order: file, frames.  dvrescue_cc_525.dv has no date.
set(RECORDINGS meta_tc_525.dv 3 meta_minute_525.dv 3 jj_sony_good_quality.dv 5 dvrescue_cc_525.dv 3)

include(${CMAKE_CURRENT_LIST_DIR}/cli_run.cmake)

function(cat out)
  execute_process(COMMAND ${CMAKE_COMMAND} -E cat ${ARGN} OUTPUT_FILE ${out} RESULT_VARIABLE status)
  if(status)
    message(FATAL_ERROR "cannot concatenate ${ARGN}")
  endif()
endfunction()

function(expect_same_bytes a b)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${a} ${b} RESULT_VARIABLE differ)
  if(differ)
    message(FATAL_ERROR "${a} and ${b} differ")
  endif()
endfunction()

# The first `bytes` bytes of a file (no binary writes in CMake itself).
function(cut in bytes out)
  execute_process(COMMAND head -c ${bytes} ${in} OUTPUT_FILE ${out} RESULT_VARIABLE status)
  if(status)
    message(FATAL_ERROR "cannot cut ${in}")
  endif()
endfunction()

# The JSON record of frame `index` from "hvdv scan --json" output.
# (Lines are cut by hand: a drop-frame timecode's ";" would split a list.)
function(record json index var)
  foreach(i RANGE ${index})
    string(FIND "${json}" "\n" end)
    string(SUBSTRING "${json}" 0 ${end} line)
    math(EXPR end "${end} + 1")
    string(SUBSTRING "${json}" ${end} -1 json)
  endforeach()
  set(${var} "${line}" PARENT_SCOPE)
endfunction()

function(expect_json json path expected)
  string(REPLACE "." ";" keys "${path}")
  string(JSON value ERROR_VARIABLE error GET "${json}" ${keys})
  if(NOT "${value}" STREQUAL "${expected}")
    message(FATAL_ERROR "${path} is \"${value}\" ${error}, expected \"${expected}\" in\n${json}")
  endif()
endfunction()

set(tape ${WORK}/tape.dv)
set(parts "")
foreach(item IN LISTS RECORDINGS)
  if(item MATCHES "\\.dv$")
    list(APPEND parts ${DATA}/${item})
  endif()
endforeach()
cat(${tape} ${parts})

if(CASE STREQUAL "split")
  run_hvdv(0 scan ${tape} --json)
  set(scan "${RUN_OUT}")
  record("${scan}" 14 summary)
  expect_json("${summary}" summary.recordings 4)
  expect_json("${summary}" summary.frames 14)
  run_hvdv(0 split ${tape} -o ${WORK}/piece)
  set(split_out "${RUN_OUT}")
  file(GLOB pieces ${WORK}/piece-*.dv)
  list(SORT pieces)
  list(LENGTH pieces count)
  if(NOT count EQUAL 4)
    message(FATAL_ERROR "split wrote ${count} pieces, expected 4:\n${RUN_OUT}")
  endif()
  cat(${WORK}/joined.dv ${pieces})
  expect_same_bytes(${WORK}/joined.dv ${tape})

  # Each piece is one recording: the file it came from, and its first frame
  # carries the date and timecode that exiftool and ffprobe read.
  set(first 0)
  list(LENGTH RECORDINGS items)
  math(EXPR last "${items} / 2 - 1")
  foreach(i RANGE ${last})
    math(EXPR fi "2 * ${i}")
    math(EXPR ni "2 * ${i} + 1")
    list(GET RECORDINGS ${fi} source)
    list(GET RECORDINGS ${ni} frames)
    list(GET pieces ${i} piece)
    expect_same_bytes(${piece} ${DATA}/${source})
    record("${scan}" ${first} line)
    expect_json("${line}" newRecording ON)
    string(JSON recorded GET "${line}" recorded)
    string(JSON timecode GET "${line}" timecode)
    if(EXIFTOOL)
      execute_process(COMMAND ${EXIFTOOL} -s3 -DateTimeOriginal ${piece} OUTPUT_VARIABLE exif OUTPUT_STRIP_TRAILING_WHITESPACE)
      # "2024:02:29 23:59:59" as ISO 8601; nothing where there is no date.
      string(REGEX REPLACE "^([0-9]+):([0-9]+):([0-9]+) " "\\1-\\2-\\3T" exif "${exif}")
      # No date: null in the record, nothing from exiftool.
      string(JSON recorded_type TYPE "${line}" recorded)
      if(NOT recorded STREQUAL exif OR (exif STREQUAL "" AND NOT recorded_type STREQUAL "NULL"))
        message(FATAL_ERROR "${piece}: scan says recorded ${recorded}, exiftool ${exif}")
      endif()
      get_filename_component(piece_name ${piece} NAME)
      string(REPLACE ":" "-" stamp "${recorded}")
      if(NOT (piece_name MATCHES "-${stamp}\\.dv$" OR (recorded STREQUAL "" AND piece_name MATCHES "piece-00[0-9]\\.dv$")))
        message(FATAL_ERROR "${piece_name} is not named after ${recorded}")
      endif()
    endif()
    if(FFPROBE)
      execute_process(COMMAND ${FFPROBE} -v error -show_entries format_tags=timecode -of default=nw=1:nk=1 ${piece}
                      OUTPUT_VARIABLE tc OUTPUT_STRIP_TRAILING_WHITESPACE)
      if(NOT timecode STREQUAL tc)
        message(FATAL_ERROR "${piece}: scan says timecode ${timecode}, ffprobe ${tc}")
      endif()
    endif()
    # What split says of the piece: its frames of the tape, the first
    # frame's date and timecode.
    math(EXPR end "${first} + ${frames} - 1")
    math(EXPR bytes "${frames} * 120000")
    set(when "${recorded}")
    if(when STREQUAL "")
      set(when "no date")
    endif()
    string(FIND "${split_out}" "${piece}: frames ${first}-${end} (${frames} frames, ${bytes} bytes)  ${when}  ${timecode}\n" at)
    if(at LESS 0)
      message(FATAL_ERROR "split does not report ${piece} as frames ${first}-${end}, ${when}, ${timecode}:\n${split_out}")
    endif()
    math(EXPR first "${first} + ${frames}")
  endforeach()

  # Existing pieces are kept unless --force.
  run_hvdv(1 split ${tape} -o ${WORK}/piece)
  if(NOT RUN_ERR MATCHES "^hvdv split: [^\n]*piece-001-2024-02-29T23-59-59.dv: recording 1 from frame 0: exists")
    message(FATAL_ERROR "no refusal to overwrite:\n${RUN_ERR}")
  endif()
  run_hvdv(0 split ${tape} -o ${WORK}/piece --force)

elseif(CASE STREQUAL "changes")
  # Recordings of other kinds, aspects and audio modes, each of FFmpeg's
  # streams starting its timecode at 00:00:00:00 (tests/data/make_streams.sh):
  # the first frame of each begins a recording for the reasons that follow
  # from how it was made, carries the aspect, audio rate and channels
  # ffprobe reads from its file, and split gives the file back.
  # file | frames | kind | reasons of its first frame
  set(parts
    "sample_625_420.dv|10|DV25 625/50 4:2:0|first frame"
    "pal_420_wide_32k.dv|3|DV25 625/50 4:2:0|timecode goes back, aspect changes, audio mode changes"
    "dv50_625_audio.dv|2|DV50 625/50 4:2:2|timecode goes back, DV kind changes, aspect changes, audio mode changes"
    "ntsc_411_48k.dv|3|DV25 525/60 4:1:1|DV kind changes, audio mode changes")
  set(files "")
  foreach(p IN LISTS parts)
    string(REGEX MATCH "^[^|]+" f "${p}")
    list(APPEND files ${DATA}/${f})
  endforeach()
  cat(${WORK}/changes.dv ${files})
  run_hvdv(0 scan ${WORK}/changes.dv --json)
  set(scan "${RUN_OUT}")
  run_hvdv(0 split ${WORK}/changes.dv -o ${WORK}/change)
  set(split_out "${RUN_OUT}")
  set(first 0)
  set(number 0)
  foreach(p IN LISTS parts)
    string(REPLACE "|" ";" fields "${p}")
    list(GET fields 0 file)
    list(GET fields 1 frames)
    list(GET fields 2 kind)
    list(GET fields 3 reasons)
    math(EXPR number "${number} + 1")
    record("${scan}" ${first} line)
    expect_json("${line}" newRecording ON)
    expect_json("${line}" recording ${number})
    expect_json("${line}" reasons "${reasons}")
    expect_json("${line}" kind "${kind}")
    if(FFPROBE)
      execute_process(COMMAND ${FFPROBE} -v error -show_entries stream=display_aspect_ratio,sample_rate,channels
                              -of default=nw=1 ${DATA}/${file} OUTPUT_VARIABLE probe)
      string(REGEX MATCH "display_aspect_ratio=([0-9:]+)" _ "${probe}")
      expect_json("${line}" aspect "${CMAKE_MATCH_1}")
      string(REGEX MATCH "sample_rate=([0-9]+)" _ "${probe}")
      expect_json("${line}" audio.rate "${CMAKE_MATCH_1}")
      # A stereo stream a pair of channels.
      string(REGEX MATCHALL "channels=[0-9]+" pairs "${probe}")
      list(LENGTH pairs n)
      math(EXPR channels "2 * ${n}")
      expect_json("${line}" audio.channels ${channels})
    endif()
    file(SIZE ${DATA}/${file} bytes)
    math(EXPR end "${first} + ${frames} - 1")
    if(NOT split_out MATCHES "change-00${number}-1970-01-01T00-00-00.dv: frames ${first}-${end} \\(${frames} frames, ${bytes} bytes\\)")
      message(FATAL_ERROR "split does not report ${file} as recording ${number}, frames ${first}-${end}:\n${split_out}")
    endif()
    expect_same_bytes(${WORK}/change-00${number}-1970-01-01T00-00-00.dv ${DATA}/${file})
    math(EXPR first "${first} + ${frames}")
  endforeach()
  # The summary counts the changes above: two timecodes going back, three
  # audio modes.
  record("${scan}" ${first} summary)
  string(JSON summary GET "${summary}" summary)
  expect_json("${summary}" frames ${first})
  expect_json("${summary}" recordings 4)
  expect_json("${summary}" timecodeBreaks 2)
  expect_json("${summary}" audioChanges 3)

elseif(CASE STREQUAL "damaged")
  # 810 of the 1350 video blocks concealed by the deck (STA 0xA), none in
  # error; audio error samples.
  run_hvdv(0 scan ${DATA}/jj_sony_head_clog.dv --json)
  record("${RUN_OUT}" 0 line)
  expect_json("${line}" sta.a 810)
  expect_json("${line}" concealed 810)
  expect_json("${line}" damaged 0)
  string(JSON errors GET "${line}" audio errorSamples)
  if(NOT errors GREATER 0)
    message(FATAL_ERROR "no audio error samples in\n${line}")
  endif()
  run_hvdv(3 scan ${DATA}/jj_sony_head_clog.dv --strict --csv)
  if(NOT RUN_OUT MATCHES "\n0,0,120000,00:00:00;12,2000-12-03T10:15:57,[^\n]*,a:810,1,1,first frame,")
    message(FATAL_ERROR "CSV record:\n${RUN_OUT}")
  endif()

  # Cut in the middle of frame 12: the frame is reported as it is, damaged,
  # and the split still gives back every byte.
  cut(${tape} 1500000 ${WORK}/cut.dv)
  run_hvdv(0 scan ${WORK}/cut.dv --json)
  record("${RUN_OUT}" 12 line)
  expect_json("${line}" bytes 60000)
  expect_json("${line}" error "cut short: 60000 of 120000 bytes")
  record("${RUN_OUT}" 13 summary)
  expect_json("${summary}" summary.damagedFrames 1)
  if(NOT RUN_ERR MATCHES "^hvdv scan: [^\n]*cut.dv: frame 12: cut short")
    message(FATAL_ERROR "stderr: ${RUN_ERR}")
  endif()
  run_hvdv(0 split ${WORK}/cut.dv -o ${WORK}/cut)
  file(GLOB pieces ${WORK}/cut-*.dv)
  list(SORT pieces)
  cat(${WORK}/joined.dv ${pieces})
  expect_same_bytes(${WORK}/joined.dv ${WORK}/cut.dv)

elseif(CASE STREQUAL "plot")
  cat(${WORK}/damaged.dv ${tape} ${DATA}/jj_sony_head_clog.dv)
  if(DEFINED CAIRO AND NOT CAIRO)
    run_hvdv(1 scan ${WORK}/damaged.dv --plot ${WORK}/plot.png)
    if(NOT RUN_ERR MATCHES "without cairo: --plot is not available")
      message(FATAL_ERROR "stderr: ${RUN_ERR}")
    endif()
    return()
  endif()
  run_hvdv(0 scan ${WORK}/damaged.dv --plot ${WORK}/plot.png)
  # Signature, IHDR: 1200 x 360.
  file(READ ${WORK}/plot.png head LIMIT 24 HEX)
  if(NOT head STREQUAL "89504e470d0a1a0a0000000d49484452000004b000000168")
    message(FATAL_ERROR "plot.png starts ${head}")
  endif()
  run_hvdv(1 scan ${WORK}/damaged.dv --plot ${WORK}/no_such_dir/plot.png)

elseif(CASE STREQUAL "errors")
  # command | exit status | pattern of the one line on stderr | arguments
  set(cases
    "scan|2|no input given|--json"
    "scan|2|unknown option --fast|${tape},--fast"
    "scan|2|--json and --csv exclude each other|${tape},--json,--csv"
    "scan|2|more than one input|${tape},${tape}"
    "scan|1|no_such_file.dv: |${DATA}/no_such_file.dv"
    "split|2|no output prefix given|${tape}"
    "split|2|-o needs a prefix|${tape},-o"
    "split|1|no_such_file.dv: |${DATA}/no_such_file.dv,-o,${WORK}/x"
    "report|2|no input given|-o,${WORK}/r.html"
    "report|2|no output given|${tape}"
    "report|2|--pictures needs a number from 0 to 64|${tape},-o,${WORK}/r.html,--pictures,65"
    "report|2|standard input given more than once|-,-,-o,${WORK}/r.html")
  foreach(c IN LISTS cases)
    string(REPLACE "|" ";" fields "${c}")
    list(GET fields 0 command)
    list(GET fields 1 status)
    list(GET fields 2 pattern)
    list(GET fields 3 args)
    string(REPLACE "," ";" args "${args}")
    run_hvdv(${status} ${command} ${args})
    if(NOT RUN_ERR MATCHES "^hvdv ${command}: [^\n]*${pattern}[^\n]*\n$")
      message(FATAL_ERROR "hvdv ${command} ${args}: stderr\n${RUN_ERR}")
    endif()
  endforeach()

else()
  message(FATAL_ERROR "unknown CASE ${CASE}")
endif()
