# "hvdv merge" end to end: transfers of tapes made here with FFmpeg, damaged
# the way decks fail (merge_damage), merged back; wherever the transfers
# together hold every block clean the output must be the tape byte for byte.
#   cmake -DHVDV=<hvdv> -DDAMAGE=<merge_damage> -DFFMPEG=<ffmpeg> -DDATA=<tests/data>
#         -DWORK=<scratch dir> [-DEMULATOR=<wine>] [-DCONTAINERS=ON] -P cli_merge.cmake
cmake_minimum_required(VERSION 3.19)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
include(${CMAKE_CURRENT_LIST_DIR}/cli_run.cmake)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status ERROR_VARIABLE err)
  if(status)
    message(FATAL_ERROR "${ARGN}: ${status} ${err}")
  endif()
endfunction()

# Tapes: 625/50 with two recordings whose timecodes both start at
# 00:00:10:00 (175 frames, the second from frame 100); 525/60 drop-frame
# timecode across a minute (89 frames from 00:00:59;15); another 625/50 tape.
function(encode out source tc seconds)
  if(out MATCHES "ntsc")
    set(size 720x480:rate=30000/1001)
    set(pix yuv411p)
  else()
    set(size 720x576:rate=25)
    set(pix yuv420p)
  endif()
  run(${FFMPEG} -v error -y -f lavfi -i ${source}=size=${size} -f lavfi -i sine=frequency=440:sample_rate=48000
      -t ${seconds} -timecode ${tc} -c:v dvvideo -pix_fmt ${pix} -c:a pcm_s16le -ac 2 -f dv ${out})
endfunction()
encode(${WORK}/rec1.dv testsrc 00:00:10:00 4)
encode(${WORK}/rec2.dv testsrc2 00:00:10:00 3)
run(${CMAKE_COMMAND} -E cat ${WORK}/rec1.dv ${WORK}/rec2.dv OUTPUT_FILE ${WORK}/pal.dv)
encode(${WORK}/ntsc.dv testsrc 00:00:59.15 3)  # "." for ";": drop-frame
encode(${WORK}/other.dv smptebars 01:00:00:00 2)

# Cases: name; tape; what of the tape the merge must give (merge_damage
# operations on it); the transfers (operations each, "," between them;
# "avi:" wraps one in AVI); what the summary must say.
set(cases
  "restart_3|pal|range:0:174|range:0:150 sta:5:0:3 audio:20:0:3 subcode:60:0:3 sta:120:0:2 audio:130:0:2,range:3:174 sta:5:1:3 audio:20:1:3 subcode:60:1:3 sta:120:1:2 audio:130:1:2,sta:5:2:3 audio:20:2:3 subcode:60:2:3 drop:40 repeat:41|175 frames, 0 found in one input only, 0 missing.* 0 blocks still damaged in 0 frames"
  "dropframe_2|ntsc|drop:50|range:0:70 sta:10:0:2 audio:15:0:2 subcode:16:0:2 drop:50 repeat:30,range:8:89 sta:10:1:2 audio:15:1:2 subcode:16:1:2 drop:50|88 frames, 26 found in one input only, 1 missing.* 0 blocks still damaged in 0 frames"
  "stranger|pal|range:0:174|sta:7:0:2 audio:101:0:2,other,sta:7:1:2 audio:101:1:2 drop:99|175 frames, 1 found in one input only, 0 missing.*other.dv left out: shares no frame"
  "late_start|pal|range:0:174|sta:140:0:2 audio:150:0:2,sta:140:0:2 audio:150:0:2 drop:60,range:120:174|175 frames, 1 found in one input only, 0 missing.* 0 blocks still damaged in 0 frames"
  "still_damaged|ntsc|sta:12:0:2|sta:12:0:2,sta:12:0:2 audio:13:0:1|89 frames, 0 found.* 0 missing.* 675 blocks still damaged in 1 frames")
if(CONTAINERS)
  list(APPEND cases "avi|ntsc|range:0:89|range:0:60 sta:30:0:2 audio:35:0:2,avi:range:20:89 sta:30:1:2 audio:35:1:2|89 frames, 48 found in one input only, 0 missing.* 0 blocks still damaged")
endif()

# The report's timecode, damaged video blocks and audio error samples of
# each frame against "hvdv scan" of the merged file.
function(expect_scan_agrees merged report)
  # (";" of drop-frame timecodes would split CMake lists.)
  run_hvdv(0 scan --csv ${merged})
  string(REPLACE ";" "." scan "${RUN_OUT}")
  string(REPLACE "\n" ";" scan "${scan}")
  file(READ ${report} rows)
  string(REPLACE ";" "." rows "${rows}")
  string(REPLACE "\n" ";" rows "${rows}")
  list(POP_BACK rows)
  list(LENGTH rows n)
  math(EXPR last "${n} - 1")
  foreach(i RANGE 1 ${last})
    list(GET rows ${i} row)
    list(GET scan ${i} line)
    string(REPLACE "," ";" row "${row}")
    string(REPLACE "," ";" line "${line}")
    list(GET row 1 tc)
    list(GET row 6 sta)
    list(GET row 7 aerr)
    list(GET line 3 scan_tc)
    list(GET line 15 scan_aerr)
    list(GET line 19 scan_sta)
    set(scan_sta_sum 0)
    string(REGEX MATCHALL "[0-9a-f]:[0-9]+" counts "${scan_sta}")
    foreach(c ${counts})
      string(REGEX REPLACE ".*:" "" c "${c}")
      math(EXPR scan_sta_sum "${scan_sta_sum} + ${c}")
    endforeach()
    if(NOT sta EQUAL scan_sta_sum OR NOT aerr EQUAL scan_aerr OR NOT tc STREQUAL scan_tc)
      message(FATAL_ERROR "${report} row ${i}: ${tc}, ${sta} STA blocks, ${aerr} audio errors; "
                          "scan: ${scan_tc}, ${scan_sta}, ${scan_aerr}")
    endif()
    # Every block of the frame was taken from one input: the inputs' counts
    # add up to the frame's blocks.
    list(LENGTH row columns)
    set(taken 0)
    foreach(c RANGE 11 ${columns} 5)
      if(c LESS columns)
        list(GET row ${c} t)
        math(EXPR taken "${taken} + ${t}")
      endif()
    endforeach()
    list(GET line 2 bytes)
    math(EXPR blocks "${bytes} / 80")
    if(NOT taken EQUAL blocks)
      message(FATAL_ERROR "${report} row ${i}: ${taken} blocks taken from the inputs, the frame has ${blocks}")
    endif()
  endforeach()
endfunction()

foreach(case ${cases})
  string(REPLACE "|" ";" fields "${case}")
  list(GET fields 0 name)
  list(GET fields 1 tape)
  list(GET fields 2 expect)
  list(GET fields 3 transfers)
  string(REPLACE "," ";" transfers "${transfers}")
  list(GET fields 4 summary)
  separate_arguments(expect)
  run(${EMULATOR} ${DAMAGE} ${WORK}/${tape}.dv ${WORK}/${name}.expected.dv ${expect})
  set(inputs "")
  set(k 0)
  foreach(t ${transfers})
    math(EXPR k "${k} + 1")
    if(t STREQUAL "other")
      list(APPEND inputs ${WORK}/other.dv)
      continue()
    endif()
    set(avi OFF)
    if(t MATCHES "^avi:")
      set(avi ON)
      string(SUBSTRING "${t}" 4 -1 t)
    endif()
    separate_arguments(t)
    run(${EMULATOR} ${DAMAGE} ${WORK}/${tape}.dv ${WORK}/${name}.${k}.dv ${t})
    if(avi)
      run(${FFMPEG} -v error -y -f dv -i ${WORK}/${name}.${k}.dv -c:v copy -an ${WORK}/${name}.${k}.avi)
      list(APPEND inputs ${WORK}/${name}.${k}.avi)
    else()
      list(APPEND inputs ${WORK}/${name}.${k}.dv)
    endif()
  endforeach()
  run_hvdv(0 merge ${inputs} -o ${WORK}/${name}.dv --report ${WORK}/${name}.csv)
  if(NOT RUN_ERR MATCHES "${summary}")
    message(FATAL_ERROR "${name}: summary does not say \"${summary}\":\n${RUN_ERR}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/${name}.dv ${WORK}/${name}.expected.dv
                  RESULT_VARIABLE differ)
  if(differ)
    message(FATAL_ERROR "${name}: the merged file is not the tape")
  endif()
  expect_scan_agrees(${WORK}/${name}.dv ${WORK}/${name}.csv)
endforeach()

# Real frames: a frame a clogged head read and five good frames of another
# tape: nothing gets worse and the report agrees with the scan.
run_hvdv(0 merge ${DATA}/jj_sony_head_clog.dv ${DATA}/jj_sony_good_quality.dv -o ${WORK}/real.dv
         --report ${WORK}/real.csv)
if(NOT RUN_ERR MATCHES "6 frames.* 878 blocks still damaged in 1 frames")
  message(FATAL_ERROR "real samples: ${RUN_ERR}")
endif()
expect_scan_agrees(${WORK}/real.dv ${WORK}/real.csv)

# Refusals: different kinds named; an existing output kept; a second stdin.
run_hvdv(1 merge ${WORK}/pal.dv ${WORK}/ntsc.dv -o ${WORK}/kinds.dv)
if(NOT RUN_ERR MATCHES "DV25 625/50 4:2:0.*DV25 525/60 4:1:1" OR EXISTS ${WORK}/kinds.dv)
  message(FATAL_ERROR "different kinds: ${RUN_ERR}")
endif()
run_hvdv(1 merge ${WORK}/pal.dv ${WORK}/pal.dv -o ${WORK}/real.dv)
file(SIZE ${WORK}/real.dv size)
if(NOT size EQUAL 720000)
  message(FATAL_ERROR "an existing output was overwritten")
endif()
run_hvdv(2 merge - - -o ${WORK}/stdin.dv)
