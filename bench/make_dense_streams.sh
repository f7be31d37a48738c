#!/usr/bin/env bash
# Makes dense DV streams for the speed benchmarks with FFmpeg's DV encoder
# (Debian package ffmpeg): fine detail with strong per-frame noise, encoded
# without a dead zone, so that nearly every block carries AC codes, most
# segments run at the finest quantisation that fits and many codes spill
# into other blocks' spare bits.  Unlike tests/data these are not
# committed: the benchmark build makes them (target hvdv_dense_streams).
#   make_dense_streams.sh OUTDIR [FRAMES]
set -euo pipefail
out=${1:?output folder}
frames=${2:-4}
mkdir -p "$out"

# make NAME FRAME_BYTES SIZE RATE PIX_FMT [ffmpeg options...]
make() {
  local name=$1 bytes=$2 size=$3 rate=$4 fmt=$5
  shift 5
  local f="$out/$name.dv"
  [ -s "$f" ] && return 0
  # Fine detail (a deep zoom of the Mandelbrot set) under strong temporal
  # and uniform noise; the frames differ from one another.
  ffmpeg -hide_banner -loglevel error -y \
         -f lavfi -i "mandelbrot=size=$size:rate=$rate:end_scale=0.01,noise=alls=40:allf=t+u" \
         "$@" -pix_fmt "$fmt" -quant_deadzone 0 -threads 1 -c:v dvvideo \
         -frames:v "$frames" -an -f dv "$f.tmp"
  head -c $((frames * bytes)) "$f.tmp" > "$f"
  rm -f "$f.tmp"
  [ "$(stat -c %s "$f")" -eq $((frames * bytes)) ] || { echo "failed: $f" >&2; rm -f "$f"; exit 1; }
}

make dense_525_411 120000 720x480 30000/1001 yuv411p
make dense_625_420 144000 720x576 25 yuv420p
# The same kind with the encoder free to choose 2-4-8 blocks (interlaced
# transform decision), flagged 16:9.
make dense_625_420_248 144000 720x576 25 yuv420p -flags +ildct -aspect 16:9
make dense_625_411 144000 720x576 25 yuv411p
make dense_dv50_525 240000 720x480 30000/1001 yuv422p
make dense_dv50_625 288000 720x576 25 yuv422p
make dense_hd_1080i50 576000 1440x1080 25 yuv422p
make dense_hd_1080i60 480000 1280x1080 30000/1001 yuv422p
make dense_hd_720p60 240000 960x720 60000/1001 yuv422p
