#!/usr/bin/env bash
# Instructions per decoded frame under callgrind, ours and libavcodec's, on
# one thread: the difference between decoding every frame A and B times,
# divided by the extra frames, so that loading and set-up cancel out.
#   count_instructions.sh BUILD_DIR STREAM.dv... (env CONFIGS to choose)
set -euo pipefail
build=${1:?build folder}
shift
configs=${CONFIGS:-"UYVY PLAN UYVY--half PLAN--half peer"}
count() {  # count TIMES ARGS...
  local times=$1
  shift
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$build/bench/hvdv_compare" --profile "$times" "$@" 2>&1 |
    sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}
printf '%-22s %-12s %14s\n' stream output "Ir/frame"
for f in "$@"; do
  frames=$("$build/bench/hvdv_compare" --profile 1 --peer "$f" | sed -n 's/^frames //p')
  for c in $configs; do
    args=()
    case $c in
      peer) args=(--peer) ;;
      *--half) args=(--fourcc "${c%--half}" --half) ;;
      *) args=(--fourcc "$c") ;;
    esac
    a=$(count 1 "${args[@]}" "$f")
    b=$(count 3 "${args[@]}" "$f")
    printf '%-22s %-12s %14d\n' "$(basename "$f")" "$c" $(( (b - a) / (2 * frames) ))
  done
done
