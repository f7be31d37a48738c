# The GStreamer element hvdvdec in real pipelines: every picture it gives
# must be the picture "hvdv decode --md5" gives for the same frame, whatever
# the container, the output format or the damage; the caps must state the
# stream's sampling, field order, aspect and rate.
#   cmake -DHVDV=<hvdv> -DPLUGIN_DIR=<dir of libgsthvdv.so> -DDATA=<tests/data>
#         -DWORK=<scratch dir> -DFFMPEG=<ffmpeg> -DGST_LAUNCH=<gst-launch-1.0>
#         -DGST_INSPECT=<gst-inspect-1.0> -P gst_pipelines.cmake
cmake_minimum_required(VERSION 3.16)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(ENV{GST_PLUGIN_PATH} ${PLUGIN_DIR})
# A registry of our own: the test never reads or writes the user's.
set(ENV{GST_REGISTRY} ${WORK}/registry.bin)

execute_process(COMMAND ${GST_INSPECT} hvdvdec RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0 OR NOT out MATCHES "Rank +primary \\+ 1")
  message(FATAL_ERROR "gst-inspect-1.0 hvdvdec: status ${status}\n${out}${err}")
endif()

# Containers made here from the raw streams, video only, frames copied.
foreach(c sample_625_420.avi dv50_625.avi hd_1080i60.avi hd_1080i60.mov hd_1080i50.mkv hd_720p60.mov)
  string(REGEX REPLACE "\\.[a-z]+$" ".dv" raw ${c})
  execute_process(COMMAND ${FFMPEG} -nostdin -v error -y -i ${DATA}/${raw} -map 0:v -c copy ${WORK}/${c}
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "ffmpeg could not write ${c}")
  endif()
endforeach()
# 4.5 frames of 625/50: the last one is half missing.  Framed by filesrc, it
# reaches hvdvdec, whose concealment keeps the previous picture where the
# blocks are missing; dvdemux (pushed through a queue) drops it.
execute_process(COMMAND head -c 648000 ${DATA}/sample_625_420.dv OUTPUT_FILE ${WORK}/truncated.dv)

# name | input (@W@: made here) | pipeline from the input to the sink | hvdv decode
# arguments (;-separated) | what the caps must match.  The reference decodes
# the raw stream the input was made from.
set(Y41B "format=\\(string\\)Y41B, width=\\(int\\)720, height=\\(int\\)480")
set(cases
  "pal|sample_625_420.dv|dvdemux ! hvdvdec||format=\\(string\\)I420, width=\\(int\\)720, height=\\(int\\)576, interlace-mode=\\(string\\)interleaved, field-order=\\(string\\)bottom-field-first.*pixel-aspect-ratio=\\(fraction\\)16/15, chroma-site=\\(string\\)dv, colorimetry=\\(string\\)2:4:16:3, framerate=\\(fraction\\)25/1"
  "ntsc|ntsc_411_48k.dv|dvdemux ! hvdvdec threads=1||${Y41B}.*field-order=\\(string\\)bottom-field-first.*pixel-aspect-ratio=\\(fraction\\)8/9.*framerate=\\(fraction\\)30000/1001"
  "uyvy|ntsc_411_48k.dv|dvdemux ! hvdvdec ! video/x-raw,format=UYVY|--fourcc,UYVY|format=\\(string\\)UYVY, width=\\(int\\)720"
  "yuy2|ntsc_411_48k.dv|dvdemux ! hvdvdec ! video/x-raw,format=YUY2|--fourcc,YUY2|format=\\(string\\)YUY2"
  "bgrx|ntsc_411_48k.dv|dvdemux ! hvdvdec ! video/x-raw,format=BGRx|--fourcc,BGR4|format=\\(string\\)BGRx.*colorimetry=\\(string\\)1:1:"
  "bgra|ntsc_411_48k.dv|dvdemux ! hvdvdec ! video/x-raw,format=BGRA|--fourcc,BGRA|format=\\(string\\)BGRA"
  "half|sample_625_420.dv|dvdemux ! hvdvdec half-size=true|--half|width=\\(int\\)360, height=\\(int\\)288.*pixel-aspect-ratio=\\(fraction\\)16/15"
  "wide|pal_420_wide_32k.dv|dvdemux ! hvdvdec||width=\\(int\\)720, height=\\(int\\)576.*bottom-field-first.*pixel-aspect-ratio=\\(fraction\\)64/45"
  "decodebin|@W@/sample_625_420.avi|decodebin ! video/x-raw,format=I420||format=\\(string\\)I420"
  "dv50_avi|@W@/dv50_625.avi|avidemux ! hvdvdec||format=\\(string\\)Y42B, width=\\(int\\)720, height=\\(int\\)576.*top-field-first.*pixel-aspect-ratio=\\(fraction\\)16/15"
  "dv50_raw|dv50_625.dv|video/x-dv,systemstream=false ! hvdvdec|||blocksize=288000"
  "hd_mov|@W@/hd_1080i60.mov|qtdemux ! hvdvdec||format=\\(string\\)Y42B, width=\\(int\\)1280, height=\\(int\\)1080.*bottom-field-first.*pixel-aspect-ratio=\\(fraction\\)3/2.*colorimetry=\\(string\\)bt709"
  "hd_mkv|@W@/hd_1080i50.mkv|matroskademux ! hvdvdec||width=\\(int\\)1440.*top-field-first.*pixel-aspect-ratio=\\(fraction\\)4/3.*framerate=\\(fraction\\)25/1"
  "hd_720p|@W@/hd_720p60.mov|qtdemux ! hvdvdec||width=\\(int\\)960, height=\\(int\\)720, interlace-mode=\\(string\\)progressive.*pixel-aspect-ratio=\\(fraction\\)4/3.*framerate=\\(fraction\\)60000/1001"
  "hd_uyvy|@W@/hd_1080i60.avi|avidemux ! hvdvdec ! video/x-raw,format=UYVY|--fourcc,UYVY|width=\\(int\\)1920.*pixel-aspect-ratio=\\(fraction\\)1/1"
  "hd_coded|@W@/hd_1080i60.avi|avidemux ! hvdvdec coded-width=true ! video/x-raw,format=UYVY|--fourcc,UYVY,--coded-width|width=\\(int\\)1280.*pixel-aspect-ratio=\\(fraction\\)3/2"
  "damaged|jj_sony_head_clog.dv|dvdemux ! hvdvdec||hvdv-damage, macroblocks=\\(uint\\)1350.*sta-counts=\\(uint\\)< 540, 0, 0, 0, 0, 0, 0, 0, 0, 0, 810,"
  "truncated|@W@/truncated.dv|video/x-dv,systemstream=false ! hvdvdec conceal=true|--conceal|hvdv-damage, macroblocks=\\(uint\\)1620, damaged=\\(uint\\)810|blocksize=144000"
  "truncated_demux|@W@/truncated.dv|queue ! dvdemux ! hvdvdec|--frames,0-3|")

foreach(c IN LISTS cases)
  string(REPLACE "|" ";" f "${c}")
  list(GET f 0 name)
  list(GET f 1 input)
  list(GET f 2 pipeline)
  list(GET f 3 args)
  list(GET f 4 expect)
  set(source "")
  list(LENGTH f n)
  if(n GREATER 5)
    list(GET f 5 source)
  endif()
  string(REPLACE "," ";" args "${args}")
  string(REPLACE "@W@" ${WORK} input "${input}")
  if(NOT IS_ABSOLUTE ${input})
    set(input ${DATA}/${input})
  endif()
  # The raw stream the input holds.
  get_filename_component(stem ${input} NAME_WE)
  set(raw ${DATA}/${stem}.dv)
  if(input MATCHES "\\.dv$")
    set(raw ${input})
  endif()

  set(dir ${WORK}/${name})
  file(MAKE_DIRECTORY ${dir})
  # (The location quoted: the path may hold spaces.  gst-launch-1.0 escapes
  # the spaces of each argument it is given.)
  separate_arguments(elements UNIX_COMMAND "filesrc \"location=${input}\" ${source} ! ${pipeline} ! identity silent=false")
  execute_process(COMMAND ${GST_LAUNCH} -v -m ${elements} ! multifilesink location=${dir}/%03d.raw
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 120)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${name}: gst-launch-1.0 exit status ${status}\n${out}${err}")
  endif()
  if(expect AND NOT out MATCHES "${expect}")
    message(FATAL_ERROR "${name}: the output does not match \"${expect}\":\n${out}")
  endif()

  # Each picture's buffer flags follow the caps: GStreamer's INTERLACED
  # (0x100000) on interleaved pictures, with TFF (0x200000) when the top
  # field comes first.
  string(REGEX MATCH "hvdvdec0.GstPad:src: caps = [^\n]*" caps "${out}")
  set(want 0)
  if(caps MATCHES "interlace-mode=\\(string\\)interleaved")
    set(want 1)
    if(caps MATCHES "top-field-first")
      set(want 3)
    endif()
  endif()
  string(REGEX MATCHALL "identity0:sink\\) \\([0-9]+ bytes[^\n]* flags: [0-9a-f]+" buffers "${out}")
  if(NOT buffers)
    message(FATAL_ERROR "${name}: no buffers seen:\n${out}")
  endif()
  foreach(b IN LISTS buffers)
    string(REGEX MATCH "[0-9a-f]+$" flags "${b}")
    math(EXPR field_flags "(0x${flags} >> 20) & 3")
    if(NOT field_flags EQUAL want)
      message(FATAL_ERROR "${name}: buffer flags ${flags} with caps\n${caps}")
    endif()
  endforeach()

  # The reference: the raw stream decoded by hvdv.  (hvdv decode on this
  # branch does not frame raw DVCPRO HD 720p files; its first picture,
  # alone in a file, is the reference there.)
  set(inputs ${raw})
  if(stem STREQUAL "hd_720p60")
    execute_process(COMMAND head -c 240000 ${raw} OUTPUT_FILE ${dir}/first.dv)
    set(inputs ${dir}/first.dv)
  endif()
  execute_process(COMMAND ${HVDV} decode ${inputs} --md5 --threads 1 ${args} OUTPUT_VARIABLE md5s)
  string(REGEX MATCHALL "[0-9a-f]+\n" refs "${md5s}")
  string(REPLACE "\n" "" refs "${refs}")
  file(GLOB pictures ${dir}/[0-9]*.raw)
  list(SORT pictures)
  set(got "")
  foreach(p ${pictures})
    file(MD5 ${p} m)
    list(APPEND got ${m})
  endforeach()
  if(stem STREQUAL "hd_720p60")
    list(LENGTH got n)
    if(NOT n EQUAL 2)
      message(FATAL_ERROR "${name}: ${n} pictures, expected 2")
    endif()
    list(SUBLIST got 0 1 got)
  endif()
  list(LENGTH refs nrefs)
  if(nrefs EQUAL 0 OR NOT got STREQUAL refs)
    message(FATAL_ERROR "${name}: pictures\n  ${got}\nexpected (hvdv decode ${args})\n  ${refs}")
  endif()
  message(STATUS "${name}: ${nrefs} pictures")
endforeach()
