#!/usr/bin/env bash
# Builds the seed corpora of the fuzz targets from the committed streams:
#   fuzz/make_corpus.sh OUT_DIR
# makes OUT_DIR/decode, OUT_DIR/decode_blocks, OUT_DIR/decode_blocks_hd,
# OUT_DIR/info, OUT_DIR/meta, OUT_DIR/coefficients, OUT_DIR/audio, OUT_DIR/scan, OUT_DIR/api,
# OUT_DIR/captions, OUT_DIR/blocks and OUT_DIR/merge.  Each seed is the target's parameter bytes (see the
# comment at the top of each fuzz_*.cpp) followed by a frame, a video segment
# or (decode_blocks) patches of a template frame.  Besides whole frames,
# the seeds include frames without header DIF blocks and frames whose header
# block and VAUX packs carry every value of STYPE, DSF, APT and DISP.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
data=$here/../tests/data
out=${1:?usage: make_corpus.sh OUT_DIR}
mkdir -p "$out/decode" "$out/info" "$out/meta" "$out/coefficients" "$out/api" "$out/blocks" "$out/merge"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# stream file and bytes per frame
streams=(sample_625_420.dv:144000 ntsc_411_48k.dv:120000 pal_411.dv:144000
         pal_420_wide_32k.dv:144000 pal_420_detail.dv:144000 ntsc_411_detail.dv:120000
         dv50_625.dv:288000 dv50_525.dv:240000 hd_1080i50.dv:576000 hd_1080i60.dv:480000
         hd_720p60.dv:240000)

# bytes FILE HEX...: writes the bytes given in hex.
bytes() {
  local f=$1; shift
  local s=""
  for b in "$@"; do s+="\\x$b"; done
  printf "$s" > "$f"
}
# peek FILE OFFSET: one byte's value.
peek() { od -An -tu1 -j "$2" -N1 "$1" | tr -d ' '; }
# poke FILE OFFSET VALUE: replaces one byte.
poke() { printf "\\x$(printf %02x "$3")" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }
# seed DIR NAME PARAMS_FILE PAYLOAD_FILE
seed() { cat "$3" "$4" > "$1/$2"; }

for entry in "${streams[@]}"; do
  name=${entry%%:*} size=${entry##*:}
  base=${name%.dv}
  frame=$work/$base.frame
  head -c "$size" "$data/$name" > "$frame"
  # The same frame without its header DIF blocks: 149 blocks a sequence.
  nohdr=$work/$base.nohdr
  : > "$nohdr"
  for ((s = 0; s < size / 12000; s++)); do
    dd if="$frame" bs=80 skip=$((s * 150 + 1)) count=149 status=none >> "$nohdr"
  done

  # Stream information: whole frame, full records; short records; no audio record.
  bytes "$work/p" 00 00 00 48 2c 00 00; seed "$out/info" "$base" "$work/p" "$frame"
  bytes "$work/p" 00 00 00 48 2c 00 01; seed "$out/info" "$base.nohdr" "$work/p" "$nohdr"
  bytes "$work/p" 00 00 00 10 0c 04 00; seed "$out/info" "$base.short" "$work/p" "$frame"

  # Decoding: the geometry and format a host would use, then variants; on
  # one thread unless the variant is about the threads.
  case $size in
    120000|240000|480000) full=00 half=03 ;;  # 720x480, 360x240
    *) full=01 half=04 ;;                     # 720x576, 360x288
  esac
  bytes "$work/p" 00 00 00 $full 00 08 00 00; seed "$out/decode" "$base.yuy2" "$work/p" "$frame"
  bytes "$work/p" 80 00 00 $half 00 00 03 00; seed "$out/decode" "$base.half.uyvy" "$work/p" "$frame"
  bytes "$work/p" 00 00 00 $full 01 08 08 00; seed "$out/decode" "$base.bgr4.bottomup" "$work/p" "$frame"
  bytes "$work/p" 82 02 00 $full 00 02 06 14; seed "$out/decode" "$base.truncated" "$work/p" "$frame"
  bytes "$work/p" 00 00 00 $half 00 08 0b 00; seed "$out/decode" "$base.nohdr" "$work/p" "$nohdr"
done

# The second interface: every kind whole, at half size keeping damaged
# macroblocks, and cut short; the real camcorder frames (damaged, 12-bit
# audio) too.
for name in "${streams[@]%%:*}" jj_sony_head_clog.dv jj_sony_perfect.dv; do
  base=${name%.dv}
  [ -f "$work/$base.frame" ] || head -c 120000 "$data/$name" > "$work/$base.frame"
  bytes "$work/p" 00 01 00 00; seed "$out/api" "$base" "$work/p" "$work/$base.frame"
  bytes "$work/p" 03 02 00 00; seed "$out/api" "$base.half.keep" "$work/p" "$work/$base.frame"
  bytes "$work/p" 02 03 9c 40; seed "$out/api" "$base.cut" "$work/p" "$work/$base.frame"
  # Block status: whole, and cut inside a block.
  bytes "$work/p" 00 00; seed "$out/blocks" "$base" "$work/p" "$work/$base.frame"
  bytes "$work/p" 9c 47; seed "$out/blocks" "$base.cut" "$work/p" "$work/$base.frame"
done

# The merge: three frames dealt to two inputs; the real frames, damaged and
# not, to three.
head -c 360000 "$data/meta_tc_525.dv" > "$work/m3"
bytes "$work/p" 00 03 01 d4 c0; seed "$out/merge" "tc_525" "$work/p" "$work/m3"
cat "$data/jj_sony_perfect.dv" "$data/jj_sony_head_clog.dv" "$data/jj_sony_perfect.dv" > "$work/mj"
bytes "$work/p" 01 00 01 d4 c0; seed "$out/merge" "sony" "$work/p" "$work/mj"

# Per-frame metadata: frames with timecodes, dates, captions and camera
# packs, read with their own profile (index 2 of fuzz_meta.cpp: 525/60 4:1:1),
# whole, without header blocks, and with 100 bytes cut off.
for name in jj_sony_perfect.dv jj_sony_head_clog.dv dvrescue_cc_525.dv meta_minute_525.dv; do
  base=${name%.dv}
  head -c 120000 "$data/$name" > "$work/m"
  : > "$work/mn"
  for ((s = 0; s < 10; s++)); do
    dd if="$work/m" bs=80 skip=$((s * 150 + 1)) count=149 status=none >> "$work/mn"
  done
  bytes "$work/p" 02 01 00 00; seed "$out/meta" "$base" "$work/p" "$work/m"
  bytes "$work/p" 02 00 00 00; seed "$out/meta" "$base.nohdr" "$work/p" "$work/mn"
  bytes "$work/p" 02 01 00 64; seed "$out/meta" "$base.cut" "$work/p" "$work/m"
done

# High-definition frames with the VAUX source and source control pack headers
# cleared: told apart by their size alone, and decoded at the sizes of their
# family (geometry indexes of fuzz_decode.cpp), one with the C++ kernels.
hd() {  # hd STREAM GEOMETRY...
  local base=$1; shift
  cp "$work/$base.frame" "$work/v"
  poke "$work/v" 448 255
  poke "$work/v" 453 255
  for g in "$@"; do
    bytes "$work/p" 80 00 00 $g 00 00 00 00; seed "$out/decode" "$base.bysize.g$g" "$work/p" "$work/v"
  done
  bytes "$work/p" 00 00 00 $1 00 00 08 20; seed "$out/decode" "$base.bysize.c" "$work/p" "$work/v"
}
hd hd_1080i50 0c 0e 09 0a
hd hd_1080i60 0c 10 09 0b
hd hd_720p60 0d 0f 06 07 08
# 25 Mb/s frames decoded with the C++ kernels.
for base in sample_625_420 ntsc_411_48k pal_411; do
  case $base in ntsc*) full=00 half=03 ;; *) full=01 half=04 ;; esac
  bytes "$work/p" 00 00 00 $full 00 08 06 20; seed "$out/decode" "$base.c.bgr3" "$work/p" "$work/$base.frame"
  bytes "$work/p" 00 00 00 $half 01 08 0c 20; seed "$out/decode" "$base.c.half.r565" "$work/p" "$work/$base.frame"
  bytes "$work/p" 00 00 00 $full 00 08 05 20; seed "$out/decode" "$base.c.vuya" "$work/p" "$work/$base.frame"
done

# Header and pack values on one frame of each 25 Mb/s system, decoded at
# half size on one thread (the values matter, not the picture).  Offsets: DSF
# in byte 3 bit 7; APT, AP1-AP3 in bits 0-2 of bytes 4-7; the VAUX source
# pack (0x60) at 448, STYPE in bits 0-4 of byte 451; the source control pack
# (0x61) at 453, DISP in bits 0-2 of byte 455, BCSYS in bits 0-1 of 456.
for base in sample_625_420 ntsc_411_48k; do
  frame=$work/$base.frame
  case $base in ntsc*) half=03 ;; *) half=04 ;; esac
  bytes "$work/pi" 00 00 00 48 2c 00 00
  bytes "$work/pd" 00 00 00 $half 00 08 00 00
  variant() {  # variant NAME: seeds from $work/v
    seed "$out/info" "$base.$1" "$work/pi" "$work/v"
    seed "$out/decode" "$base.$1" "$work/pd" "$work/v"
  }
  for stype in $(seq 0 31); do
    cp "$frame" "$work/v"
    poke "$work/v" 451 $(( ($(peek "$frame" 451) & 0xE0) | stype ))
    variant "stype$stype"
  done
  for dsf in 0 1; do
    cp "$frame" "$work/v"
    poke "$work/v" 3 $(( ($(peek "$frame" 3) & 0x7F) | (dsf << 7) ))
    variant "dsf$dsf"
  done
  for apt in $(seq 0 7); do
    cp "$frame" "$work/v"
    for o in 4 5 6 7; do poke "$work/v" $o $(( ($(peek "$frame" $o) & 0xF8) | apt )); done
    variant "apt$apt"
  done
  for disp in $(seq 0 7); do
    for bcsys in 0 1; do
      cp "$frame" "$work/v"
      poke "$work/v" 455 $(( ($(peek "$frame" 455) & 0xF8) | disp ))
      poke "$work/v" 456 $(( ($(peek "$frame" 456) & 0xFC) | bcsys ))
      variant "disp$disp.bcsys$bcsys"
    done
  done
done

# Coefficients: video segments of real frames.  Video DIF block v of DIF
# sequence s starts at 12000 s + 80 (7 + v + v / 15); its payload (STA/QNO
# byte onwards) 3 bytes later.  Segment k is blocks 5k .. 5k + 4.
for base in sample_625_420 pal_420_detail ntsc_411_detail pal_411; do
  frame=$work/$base.frame
  for s in 0 3; do
    for k in 0 7 13 26; do
      : > "$work/seg"
      for ((j = 0; j < 5; j++)); do
        v=$((5 * k + j))
        dd if="$frame" bs=1 skip=$((12000 * s + 80 * (7 + v + v / 15) + 3)) count=77 status=none >> "$work/seg"
      done
      for choice in 00 01 02 80; do
        bytes "$work/p" $choice 00
        seed "$out/coefficients" "$base.s$s.k$k.c$choice" "$work/p" "$work/seg"
      done
    done
  done
done

# High-definition segments (eight blocks a macroblock): the first video
# blocks of DIF sequence 0 of each high-definition stream.
for base in hd_1080i50 hd_1080i60 hd_720p60; do
  frame=$work/$base.frame
  for k in 0 9; do
    : > "$work/seg"
    for ((j = 0; j < 5; j++)); do
      v=$((5 * k + j))
      dd if="$frame" bs=1 skip=$((80 * (7 + v + v / 15) + 3)) count=77 status=none >> "$work/seg"
    done
    for choice in 00 01 02 80; do
      bytes "$work/p" $choice 01
      seed "$out/coefficients" "$base.k$k.c$choice" "$work/p" "$work/seg"
    done
  done
done

# Patched templates (fuzz_decode_blocks and fuzz_decode_blocks_hd): target
# folder, template index, stream and frame size as in their kTemplates.  A
# patch is a 2-byte block selector (kind in the top two bits: 1 header,
# 2 subcode/VAUX, 3 video block), the first byte to replace, the count, then
# the bytes.
templates=(decode_blocks:0:sample_625_420.dv:144000 decode_blocks:1:ntsc_411_detail.dv:120000
           decode_blocks:2:pal_411.dv:144000 decode_blocks:3:dv50_625.dv:288000
           decode_blocks:4:dv50_525.dv:240000 decode_blocks:5:pal_420_detail.dv:144000
           decode_blocks:6:ntsc_411_48k.dv:120000 decode_blocks:7:pal_420_wide_32k.dv:144000
           decode_blocks_hd:0:hd_1080i50.dv:576000 decode_blocks_hd:1:hd_1080i60.dv:480000
           decode_blocks_hd:2:hd_720p60.dv:240000)
for entry in "${templates[@]}"; do
  IFS=: read -r target t name size <<< "$entry"
  blocks=$out/$target
  mkdir -p "$blocks"
  tt=$(printf %02x "$t")
  # Whole templates: half size on one thread, full size (half size again at
  # high definition), at the second half size, without header blocks, on
  # the workers compared with one thread; five output formats.
  bytes "$blocks/t$t.half" $tt 00 01 00 00
  bytes "$blocks/t$t.full" $tt 04 05 00 00
  bytes "$blocks/t$t.half1" $tt 01 00 00 00
  bytes "$blocks/t$t.bare" $(printf %02x $((t | 8))) 00 03 00 00
  bytes "$blocks/t$t.threads" $(printf %02x $((t | 0x40))) 00 02 08 00
  # Shortened: 10 DIF blocks, then 291 bytes cut off the end.
  bytes "$blocks/t$t.cut" $tt 00 00 00 02 00 0a
  bytes "$blocks/t$t.cutbytes" $tt 00 00 00 03 01 23
  # Video block 17 of DIF sequence 0 and block 40 of sequence 1 (n = 175)
  # replaced by the same blocks of the stream's second frame.
  v=17; o=$((size + 80 * (7 + v + v / 15) + 3))
  bytes "$work/p" $tt 00 01 00 00 c0 11 03 4d
  { cat "$work/p"; dd if="$data/$name" bs=1 skip=$o count=77 status=none; } > "$blocks/t$t.video"
  v=40; o=$((size + 12000 + 80 * (7 + v + v / 15) + 3))
  bytes "$work/p" c0 af 03 4d
  cat "$blocks/t$t.video" "$work/p" > "$blocks/t$t.video2"
  dd if="$data/$name" bs=1 skip=$o count=77 status=none >> "$blocks/t$t.video2"
  # STA/QNO of a video block; broken ID bytes of another; STYPE of the VAUX
  # source pack (block 5, byte 51); the header block's DSF/APT bytes.
  bytes "$blocks/t$t.sta" $tt 00 01 00 00 c0 05 03 01 a7
  bytes "$blocks/t$t.id" $tt 00 01 00 00 c0 21 00 03 ff ff ff
  bytes "$blocks/t$t.stype" $tt 00 01 00 00 80 04 33 01 04
  bytes "$blocks/t$t.header" $tt 00 01 00 00 40 00 03 02 3f 78
done

# Frame audio (fuzz_audio): the streams with audio, by their index in that
# target's profile table; whole output, and one value short with held errors.
mkdir -p "$out/audio"
for entry in sample_625_420.dv:144000:00 ntsc_411_48k.dv:120000:01 pal_420_wide_32k.dv:144000:00 \
             dv50_625_audio.dv:288000:03 jj_sony_perfect.dv:120000:01 jj_sony_head_clog.dv:120000:01; do
  IFS=: read -r name size kind <<< "$entry"
  head -c "$size" "$data/$name" > "$work/audio"
  bytes "$work/pa" "$kind" 01 00 00; seed "$out/audio" "${name%.dv}" "$work/pa" "$work/audio"
  bytes "$work/pa" "$kind" 07 00 01; seed "$out/audio" "${name%.dv}.short" "$work/pa" "$work/audio"
done

# Closed captions (fuzz_captions): a CC1 parameter byte, then pairs of a
# pop-on, a roll-up and a paint-on caption with a special and an extended
# character; and the same as SCC text.
mkdir -p "$out/captions"
bytes "$work/cc" 00 94 20 94 20 94 70 94 70 c8 e9 91 37 d5 80 92 a4 94 2f 94 2f 94 26 c1 80 94 ad 94 ad \
  c2 80 94 29 91 40 c8 45 94 a1 94 a4 94 2c
cp "$work/cc" "$out/captions/pairs"
{ printf '\0'; printf 'Scenarist_SCC V1.0\n\n00:00:00:01\t9420 9420 9470 c8e9 942f\n\n01:00:00;02\t9426 c180 94ad\n\n'; } \
  > "$out/captions/scc"

# Raw DV files for fuzz_scan: two frames, read with and without the
# picture decode; a kind change; a frame cut short; a file cut inside its
# first DIF sequence; a file that starts with a 720p frame's second picture.
mkdir -p "$out/scan"
head -c 288000 "$data/sample_625_420.dv" > "$work/s"
bytes "$work/ps" 00; seed "$out/scan" sample_625_420 "$work/ps" "$work/s"
bytes "$work/ps" 01; seed "$out/scan" sample_625_420.video "$work/ps" "$work/s"
bytes "$work/ps" 00
head -c 120000 "$data/ntsc_411_48k.dv" >> "$work/s"; seed "$out/scan" kind_change "$work/ps" "$work/s"
head -c 180000 "$data/ntsc_411_48k.dv" > "$work/s"; seed "$out/scan" cut_short "$work/ps" "$work/s"
head -c 5000 "$data/meta_tc_525.dv" > "$work/s"; seed "$out/scan" truncated "$work/ps" "$work/s"
tail -c 240000 "$data/hd_720p60.dv" > "$work/s"; cat "$data/hd_720p60.dv" >> "$work/s"
seed "$out/scan" second_picture "$work/ps" "$work/s"

echo "corpus: $(ls "$out/decode" | wc -l) decode, $(ls "$out/decode_blocks" | wc -l) decode_blocks," \
     "$(ls "$out/decode_blocks_hd" | wc -l) decode_blocks_hd," \
     "$(ls "$out/info" | wc -l) info," \
     "$(ls "$out/coefficients" | wc -l) coefficients, $(ls "$out/audio" | wc -l) audio," \
     "$(ls "$out/scan" | wc -l) scan seeds in $out"
