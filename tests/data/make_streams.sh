#!/usr/bin/env bash
# Makes the small DV test streams of this folder with FFmpeg's DV encoder
# (Debian package ffmpeg).  The streams are committed; run this only to
# remake them.  Each is a raw DV file: whole frames, one after the other.
set -euo pipefail
cd "$(dirname "$0")"

# make OUT FRAMES FRAME_BYTES VIDEO_SOURCE [ffmpeg options...]
# The DV muxer drops the last frames when the audio runs short, so a few more
# frames are encoded than kept.
make() {
  local out=$1 frames=$2 bytes=$3 source=$4
  shift 4
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i "$source" "$@" \
         -frames:v $((frames + 4)) -f dv "$out.tmp" 2>/dev/null || true
  head -c $((frames * bytes)) "$out.tmp" > "$out"
  rm -f "$out.tmp"
  [ "$(stat -c %s "$out")" -eq $((frames * bytes)) ] || { echo "failed: $out" >&2; exit 1; }
}
stereo() { echo "aevalsrc=0.2*sin(2*PI*440*t)|0.2*sin(2*PI*660*t):s=$1:d=5"; }
audio() { echo -f lavfi -i "$(stereo "$1")" -c:a pcm_s16le; }

# 625/50 4:2:0 with 48 kHz stereo: the bundled sample clip.
make sample_625_420.dv 10 144000 testsrc2=size=720x576:rate=25 $(audio 48000) \
     -pix_fmt yuv420p -c:v dvvideo
# 525/60 4:1:1 with 48 kHz audio.
make ntsc_411_48k.dv 3 120000 testsrc2=size=720x480:rate=30000/1001 $(audio 48000) \
     -pix_fmt yuv411p -c:v dvvideo
# 625/50 4:1:1 (DVCPRO 25), no audio.
make pal_411.dv 3 144000 testsrc2=size=720x576:rate=25 -pix_fmt yuv411p -c:v dvvideo
# 625/50 4:2:0 wide screen (16:9) with 32 kHz audio.
make pal_420_wide_32k.dv 3 144000 testsrc2=size=720x576:rate=25 $(audio 32000) \
     -pix_fmt yuv420p -aspect 16:9 -c:v dvvideo
# Dense pictures (fine detail and noise: few DC-only blocks, many codes that
# spill into other blocks' spare bits), for fidelity and speed measurements.
make pal_420_detail.dv 3 144000 "mandelbrot=size=720x576:rate=25,noise=alls=12:allf=t" \
     -pix_fmt yuv420p -c:v dvvideo
make ntsc_411_detail.dv 3 120000 "mandelbrot=size=720x480:rate=30000/1001,noise=alls=12:allf=t" \
     -pix_fmt yuv411p -c:v dvvideo
# 50 Mb/s 4:2:2, both systems, interlaced so that 2-4-8 blocks occur.
make dv50_625.dv 3 288000 testsrc2=size=720x576:rate=25 -vf tinterlace=mode=interleave_top \
     -flags +ildct -pix_fmt yuv422p -c:v dvvideo
make dv50_525.dv 3 240000 testsrc2=size=720x480:rate=30000/1001 -vf tinterlace=mode=interleave_top \
     -flags +ildct -pix_fmt yuv422p -c:v dvvideo
# 50 Mb/s 625/50 with two stereo pairs (48 kHz, different tones), one per DIF channel.
make dv50_625_audio.dv 2 288000 testsrc2=size=720x576:rate=25 $(audio 48000) \
     -f lavfi -i "aevalsrc=0.3*sin(2*PI*1000*t)|0.1*sin(2*PI*250*t):s=48000:d=5" \
     -map 0 -map 1 -map 2 -pix_fmt yuv422p -c:v dvvideo
# DVCPRO HD 1080i50 (coded 1440) with field-mode macroblocks, 1080i60 (coded 1280).
make hd_1080i50.dv 2 576000 testsrc2=size=1440x1080:rate=50 -vf tinterlace=mode=interleave_top \
     -flags +ildct -threads 1 -pix_fmt yuv422p -c:v dvvideo
make hd_1080i60.dv 2 480000 testsrc2=size=1280x1080:rate=30000/1001 -threads 1 \
     -pix_fmt yuv422p -c:v dvvideo
# DVCPRO HD 720p60: two pictures, the second in DIF channels 2 and 3.
make hd_720p60.dv 2 240000 testsrc2=size=960x720:rate=60000/1001 -threads 1 \
     -pix_fmt yuv422p -c:v dvvideo
# 525/60 with a drop-frame timecode and a recording date and time, which the
# DV muxer writes into the subcode and VAUX packs; the second one crosses a
# minute, where drop-frame counting skips frames 0 and 1.
make meta_tc_525.dv 3 120000 testsrc2=size=720x480:rate=30000/1001 $(audio 48000) \
     -pix_fmt yuv411p -c:v dvvideo -timecode '01:02:03;04' -metadata creation_time=2024-02-29T23:59:59Z
make meta_minute_525.dv 3 120000 testsrc2=size=720x480:rate=30000/1001 $(audio 48000) \
     -pix_fmt yuv411p -c:v dvvideo -timecode '00:00:59;28' -metadata creation_time=1999-12-31T23:59:59Z
ls -l *.dv
