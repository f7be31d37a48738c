#!/usr/bin/env bash
# Processor time a frame on one thread, ours and libavcodec's, for a machine
# shared with other work, where wall-clock rates say more about the load than
# about the decoders: `perf stat -e task-clock` counts only the time the
# process ran.  Each figure is the difference of two runs of different length
# (--profile A and B), so that loading and set-up cancel out; builds and the
# peer alternate within each round, and the lowest of the rounds is kept.
#   cpu_ratio.sh STREAM.dv... (env BUILDS="build other/build", CONFIGS, ROUNDS)
# Prints microseconds a frame and, for full-size outputs, libavcodec's time
# over ours (the peer has no half size).
set -euo pipefail
for tool in perf bc; do
  command -v $tool >/dev/null || { echo "cpu_ratio.sh needs perf and bc (Debian: linux-perf, bc)" >&2; exit 1; }
done
builds=${BUILDS:-build}
configs=${CONFIGS:-"UYVY PLAN UYVY--half"}
rounds=${ROUNDS:-3}
short=4
long=24
ms() {  # ms BUILD TIMES ARGS...: task-clock in milliseconds
  local build=$1 times=$2
  shift 2
  perf stat -x, -e task-clock "$build/bench/hvdv_compare" --profile "$times" "$@" 2>&1 >/dev/null |
    sed -n 's/^\([0-9.]*\),msec,task-clock.*/\1/p'
}
per_frame() {  # per_frame BUILD FRAMES ARGS...: microseconds a frame
  local build=$1 frames=$2
  shift 2
  local a b
  a=$(ms "$build" $short "$@")
  b=$(ms "$build" $long "$@")
  echo "($b - $a) * 1000 / ($long - $short) / $frames" | bc -l
}
min() { printf '%s\n' "$@" | sort -g | head -1; }
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-22s %-11s %-28s %10s %8s\n' stream output build "us/frame" ratio
for f in "$@"; do
  first=${builds%% *}
  frames=$("$first/bench/hvdv_compare" --profile 1 --peer "$f" | sed -n 's/^frames //p')
  for c in $configs; do
    args=(--fourcc "${c%--half}")
    case $c in *--half) args+=(--half) ;; esac
    declare -A best=()
    peer=()
    for ((r = 0; r < rounds; r++)); do
      for b in $builds; do best[$b]="${best[$b]:-} $(per_frame "$b" "$frames" "${args[@]}" "$f")"; done
      case $c in *--half) ;; *) peer+=("$(per_frame "$first" "$frames" --peer "$f")") ;; esac
    done
    p=""
    [ ${#peer[@]} -gt 0 ] && p=$(min "${peer[@]}")
    for b in $builds; do
      # shellcheck disable=SC2086
      t=$(min ${best[$b]})
      ratio=-
      [ -n "$p" ] && ratio=$(printf '%.2fx' "$(echo "$p / $t" | bc -l)")
      printf '%-22s %-11s %-28s %10.1f %8s\n' "$(basename "$f")" "$c" "$b" "$t" "$ratio"
    done
    [ -n "$p" ] && printf '%-22s %-11s %-28s %10.1f\n' "$(basename "$f")" "$c" libavcodec "$p"
    unset best
  done
done
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
