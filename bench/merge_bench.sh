#!/usr/bin/env bash
# Merge throughput and memory: three damaged transfers of one 625/50 tape of
# FRAMES frames (default 20000, 2.9 GB each), made here (not committed), read
# from the page cache, merged on one thread.
#   bash bench/merge_bench.sh BUILD_DIR WORK_DIR [FRAMES]
# Needs ffmpeg and GNU time; WORK_DIR needs about 4 x FRAMES x 144 kB.
set -euo pipefail
build=$1
work=$2
frames=${3:-20000}
hvdv=$build/cli/hvdv
damage=$build/tests/merge_damage
mkdir -p "$work"
tape=$work/tape.dv
if [ ! -s "$tape" ]; then
  # A moving pattern and a tone; the timecode runs through the whole tape.
  ffmpeg -v error -y -f lavfi -i testsrc=size=720x576:rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 \
    -frames:v "$frames" -timecode 00:00:00:00 -c:v dvvideo -pix_fmt yuv420p -c:a pcm_s16le -ac 2 -f dv "$tape"
fi
frames=$(($(stat -c %s "$tape") / 144000))   # FFmpeg may stop a few frames short
# Each transfer damages a third of the video, audio and subcode blocks of
# every 50th frame (different thirds) and drops or repeats a frame.
"$damage" "$tape" "$work/t1.dv" every:50 sta:7:0:3 audio:7:0:3 subcode:7:0:3 range:0:$((frames - 100))
"$damage" "$tape" "$work/t2.dv" every:50 sta:7:1:3 audio:7:1:3 subcode:7:1:3 range:60:$((frames - 1)) drop:500 repeat:900
"$damage" "$tape" "$work/t3.dv" every:50 sta:7:2:3 audio:7:2:3 subcode:7:2:3 drop:1500
cat "$work"/t?.dv > /dev/null   # into the page cache
bytes=$(stat -c %s "$work"/t?.dv | awk '{s += $1} END {printf "%d", s}')
echo "input: $((bytes / 1000000)) MB in three transfers; load average: $(cut -d' ' -f1-3 /proc/loadavg)"
# Timed into /dev/null (the speed of the disk written to is not the
# merge's), then once more into a file to check it is the tape.
for round in 1 2 3; do
  /usr/bin/time -f "%e s wall, %U s user, %S s system, %M kB maximum resident" \
    "$hvdv" merge "$work"/t1.dv "$work"/t2.dv "$work"/t3.dv -o /dev/null --force 2> "$work/merge.log" || {
    cat "$work/merge.log"; exit 1; }
  tail -1 "$work/merge.log"
  awk -v b="$bytes" '{ printf "  %.2f GB/s of input (wall), %.2f GB/s (user + system time)\n", b / $1 / 1e9, b / ($4 + $7) / 1e9 }' \
    <(tail -1 "$work/merge.log" | tr -d ',')
done
head -n -1 "$work/merge.log"
"$hvdv" merge "$work"/t1.dv "$work"/t2.dv "$work"/t3.dv -o "$work/merged.dv" --force 2> /dev/null
cmp "$work/merged.dv" "$tape" && echo "merged file equals the tape"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
