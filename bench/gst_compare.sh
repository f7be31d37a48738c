#!/usr/bin/env bash
# Frames per second of GStreamer's DV decoders on the same pipeline:
#   filesrc ! demuxer ! DECODER ! fakesink
# with hvdvdec (this project), dvdec (libdv, gst-plugins-good) and
# avdec_dvvideo (libavcodec, gst-libav).  Each decoder gives its own native
# output unless a format is named (dvdec has no planar output: it is timed
# into YUY2, as hvdvdec is once more).  The machine may be shared: the
# decoders take turns, every round in a different order, and the range over
# the rounds is reported with the load average before and after.
#   bench/gst_compare.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
rounds=${2:-5}
export GST_PLUGIN_PATH=$build/gst
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Long enough inputs from the dense test pictures (few DC-only blocks):
# each stream repeated to a few hundred frames, raw DV (dvdemux) or AVI.
repeat() {  # OUT SOURCE TIMES
  for _ in $(seq "$3"); do cat "$here/tests/data/$2"; done > "$work/$1"
}
repeat pal420.dv pal_420_detail.dv 200    # 600 frames, 625/50 4:2:0
repeat ntsc411.dv ntsc_411_detail.dv 200  # 600 frames, 525/60 4:1:1
repeat dv50.raw dv50_625.dv 100           # 300 frames, 50 Mb/s 625/50
repeat hd.raw hd_1080i50.dv 60            # 120 frames, DVCPRO HD 1080i50
for s in dv50 hd; do
  ffmpeg -nostdin -v error -y -f dv -i "$work/$s.raw" -map 0:v -c copy "$work/$s.avi"
done

# stream | demuxer | frames | decoder cases (name=element and caps, ; between)
cases=(
  "pal420.dv|dvdemux|600|hvdvdec=hvdvdec;hvdvdec-1t=hvdvdec threads=1;hvdvdec-yuy2=hvdvdec ! video/x-raw,format=YUY2;dvdec=dvdec ! video/x-raw,format=YUY2;avdec=avdec_dvvideo"
  "ntsc411.dv|dvdemux|600|hvdvdec=hvdvdec;hvdvdec-1t=hvdvdec threads=1;hvdvdec-yuy2=hvdvdec ! video/x-raw,format=YUY2;dvdec=dvdec ! video/x-raw,format=YUY2;avdec=avdec_dvvideo"
  "dv50.avi|avidemux|300|hvdvdec=hvdvdec;hvdvdec-1t=hvdvdec threads=1;avdec=avdec_dvvideo"
  "hd.avi|avidemux|120|hvdvdec=hvdvdec;hvdvdec-1t=hvdvdec threads=1;avdec=avdec_dvvideo"
)

# Seconds from PLAYING to EOS, as gst-launch-1.0 reports them.
run() {  # FILE DEMUXER DECODER...
  local file=$1 demux=$2
  shift 2
  gst-launch-1.0 filesrc location="$work/$file" ! "$demux" ! $* ! fakesink sync=false 2>&1 |
    sed -n 's/.*Execution ended after \([0-9]*\):\([0-9]*\):\([0-9.]*\).*/\1 \2 \3/p' |
    awk '{ printf "%.4f\n", $1 * 3600 + $2 * 60 + $3 }'
}

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg); $(nproc) processors; $rounds rounds"
echo "gstreamer $(gst-launch-1.0 --version | sed -n 's/.*version //p' | head -1)"
printf "%-12s %-14s %s\n" stream decoder "frames/s: min median max (all rounds, sorted)"
for c in "${cases[@]}"; do
  IFS='|' read -r file demux frames decs <<< "$c"
  IFS=';' read -r -a list <<< "$decs"
  declare -A results=()
  for r in $(seq "$rounds"); do
    n=${#list[@]}
    for i in $(seq 0 $((n - 1))); do
      d=${list[$(((i + r) % n))]}   # a different decoder first every round
      name=${d%%=*}
      secs=$(run "$file" "$demux" "${d#*=}")
      results[$name]+="$(awk -v f="$frames" -v s="$secs" 'BEGIN { printf "%.0f ", f / s }')"
    done
  done
  for d in "${list[@]}"; do
    name=${d%%=*}
    echo "${results[$name]}" | tr ' ' '\n' | grep . | sort -n |
      awk -v s="$file" -v d="$name" '{ v[NR] = $1 } END {
        printf "%-12s %-14s %5d %5d %5d  (", s, d, v[1], v[int((NR + 1) / 2)], v[NR]
        for (i = 1; i <= NR; i++) printf "%s%d", (i > 1 ? " " : ""), v[i]; print ")" }'
  done
  unset results
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
