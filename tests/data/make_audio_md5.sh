#!/usr/bin/env bash
# Makes audio.md5, the PCM that FFmpeg's DV demuxer gives for each stream with
# audio: one MD5 of its s16le samples per FFmpeg audio stream (stereo pair),
# named FILE.PAIR.  tests/audio_test.cpp compares the library's decode with
# it.  The frames the test writes itself come from the test program
# (HVDV_AUDIO_DUMP); pass the build directory, default ../../build.
set -euo pipefail
cd "$(dirname "$0")"
build=$(cd "${1:-../../build}" && pwd)
dump=$(mktemp -d)
trap 'rm -rf "$dump"' EXIT
HVDV_AUDIO_DUMP=$dump "$build/tests/hvdv_tests" --gtest_filter='Audio.Written*' >/dev/null 2>&1 || true
for f in sample_625_420.dv ntsc_411_48k.dv pal_420_wide_32k.dv dv50_625_audio.dv jj_sony_*.dv "$dump"/*.dv; do
  streams=$(ffprobe -v error -f dv -i "$f" -select_streams a -show_entries stream=index -of csv=p=0 | wc -l)
  for ((i = 0; i < streams; i++)); do
    echo "$(basename "$f").$i $(ffmpeg -v error -f dv -i "$f" -map 0:a:$i -f s16le - | md5sum | cut -d' ' -f1)"
  done
done > audio.md5
cat audio.md5
