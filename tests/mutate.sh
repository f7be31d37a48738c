#!/usr/bin/env bash
# Mutation testing: puts each fault of tests/mutants.txt, one at a time, into
# a copy of the tree, rebuilds incrementally, runs the test suite and reports
# whether a test caught it.  The project tree itself is never modified.
#
#   tests/mutate.sh [options] [ID...]     IDs may be shell patterns ('dec-*')
#     --list             the mutants, whether each still applies, their intent
#     --build-dir DIR    build directory (default: next to the copy, see --work)
#     --work DIR         where the copy of the tree lives
#                        (default /tmp/hvdv-mutate-<hash of the project path>)
#     --mutants FILE     mutant list (default tests/mutants.txt)
#     --timeout SECONDS  limit for one suite run (default 120); a run that
#                        hits it counts as killed (the fault made a test hang)
#     --exclude REGEX    ctest -E: tests left out of every run
#     --only REGEX       ctest -R: run only these tests (what one test catches)
#
# Per mutant: killed (a test failed; the first one is named), survived,
# invalid (the mutant does not build), stale (its original text is no longer
# in the file: re-point it after a rewrite) or ambiguous (the text occurs more
# than once).  Last line: "killed K of N valid (P%)".
set -uo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
MUTANTS=$ROOT/tests/mutants.txt
WORK=${TMPDIR:-/tmp}/hvdv-mutate-$(printf '%s' "$ROOT" | md5sum | cut -c1-8)
BUILD=
TIMEOUT=120
EXCLUDE=
ONLY=
LIST=0
PATTERNS=()

while [ $# -gt 0 ]; do
  case $1 in
    --list) LIST=1 ;;
    --build-dir) BUILD=$2; shift ;;
    --work) WORK=$2; shift ;;
    --mutants) MUTANTS=$2; shift ;;
    --timeout) TIMEOUT=$2; shift ;;
    --exclude) EXCLUDE=$2; shift ;;
    --only) ONLY=$2; shift ;;
    -h|--help) sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) PATTERNS+=("$1") ;;
  esac
  shift
done
TREE=$WORK/tree
BUILD=${BUILD:-$WORK/build}
case $BUILD in /*) ;; *) BUILD=$PWD/$BUILD ;; esac

# ---- the mutant list -------------------------------------------------------
IDS=() FILES=() INTENTS=() ORIGS=() REPLS=()
parse() {
  local line n=-1
  while IFS= read -r line || [ -n "$line" ]; do
    case $line in
      "@ "*)
        n=$((n + 1))
        read -r IDS[n] FILES[n] <<< "${line#@ }"
        INTENTS[n]= ORIGS[n]= REPLS[n]= ;;
      "# "*) [ $n -ge 0 ] && [ -z "${INTENTS[n]}" ] && [ -z "${ORIGS[n]}" ] && INTENTS[n]=${line#\# } ;;
      "- "*) [ $n -ge 0 ] && ORIGS[n]=${ORIGS[n]:+${ORIGS[n]}$'\n'}${line#- } ;;
      "+ "*) [ $n -ge 0 ] && REPLS[n]=${REPLS[n]:+${REPLS[n]}$'\n'}${line#+ } ;;
    esac
  done < "$MUTANTS"
}
parse

selected() {
  [ ${#PATTERNS[@]} -eq 0 ] && return 0
  local p
  for p in "${PATTERNS[@]}"; do
    # shellcheck disable=SC2053
    [[ $1 == $p ]] && return 0
  done
  return 1
}

# Status of mutant i against the file under directory $2: ok, stale or
# ambiguous; with $3 = apply, an ok mutant is also written into the file.
mutate() {
  local i=$1 f=$2/${FILES[$1]} orig=${ORIGS[$1]} content rest
  [ -f "$f" ] && [ -n "$orig" ] || { echo stale; return; }
  content=$(cat "$f"; printf x)
  content=${content%x}
  [[ $content == *"$orig"* ]] || { echo stale; return; }
  rest=${content#*"$orig"}
  [[ $rest == *"$orig"* ]] && { echo ambiguous; return; }
  [ "${3:-}" = apply ] && printf '%s' "${content%%"$orig"*}${REPLS[$i]}$rest" > "$f"
  echo ok
}

if [ $LIST = 1 ]; then
  for i in "${!IDS[@]}"; do
    selected "${IDS[i]}" || continue
    printf '%-22s %-34s %-9s %s\n' "${IDS[i]}" "${FILES[i]}" "$(mutate "$i" "$ROOT")" "${INTENTS[i]}"
  done
  exit 0
fi

# ---- the copy of the tree ----------------------------------------------------
# Files whose content changed are copied with a new time stamp, so that an
# incremental build never keeps an object made from a mutant.
sync_tree() {
  mkdir -p "$TREE"
  local f
  (cd "$ROOT" && find . \( -path ./.git -o -path './build*' \) -prune -o -type f -print) |
    while IFS= read -r f; do
      cmp -s "$ROOT/$f" "$TREE/$f" || { mkdir -p "$TREE/${f%/*}" && cp "$ROOT/$f" "$TREE/$f"; }
    done
  (cd "$TREE" && find . -type f -print) | while IFS= read -r f; do
    [ -e "$ROOT/$f" ] || rm -f "$TREE/$f"
  done
}

LOG=$WORK/log
CURRENT=
restore() {
  [ -n "$CURRENT" ] && cp "$ROOT/$CURRENT" "$TREE/$CURRENT"
  CURRENT=
}
trap 'restore; exit 130' INT TERM

build() { nice -n 10 cmake --build "$BUILD" -j2 > "$LOG.build" 2>&1; }

# Runs the suite; prints the first failing test, "timeout", or nothing.
suite() {
  local args=(-j2 --stop-on-failure) rc
  [ -n "$EXCLUDE" ] && args+=(-E "$EXCLUDE")
  [ -n "$ONLY" ] && args+=(-R "$ONLY")
  (cd "$BUILD" && timeout -k 10 "$TIMEOUT" nice -n 10 ctest "${args[@]}" > "$LOG.test" 2>&1)
  rc=$?
  [ $rc -eq 0 ] && return 0
  [ $rc -eq 124 ] || [ $rc -eq 137 ] && { echo timeout; return 1; }
  local first
  first=$(sed -n -E 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+) .*\*\*\*.*/\1/p' "$LOG.test" | head -n 1)
  echo "${first:-ctest-error}"
  return 1
}

start=$(date +%s)
sync_tree
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  cmake -S "$TREE" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DHVDV_BUILD_BENCH=OFF > "$LOG.configure" 2>&1 ||
    { echo "configure failed: $LOG.configure" >&2; exit 1; }
fi
build || { echo "the unmodified tree does not build: $LOG.build" >&2; exit 1; }
if ! failed=$(suite); then
  echo "the unmodified tree fails its tests ($failed): $LOG.test" >&2
  exit 1
fi
echo "baseline built and passed in $(($(date +%s) - start)) s; copy in $TREE, build in $BUILD"

killed=0 survived=0 invalid=0 stale=0
SURVIVORS=()
for i in "${!IDS[@]}"; do
  selected "${IDS[i]}" || continue
  t0=$(date +%s)
  status=$(mutate "$i" "$TREE" apply)
  if [ "$status" != ok ]; then
    result=$status detail=
    stale=$((stale + 1))
  else
    CURRENT=${FILES[i]}
    if ! build; then
      result=invalid detail=
      invalid=$((invalid + 1))
    elif failed=$(suite); then
      result=survived detail=
      survived=$((survived + 1))
      SURVIVORS+=("${IDS[i]}: ${INTENTS[i]}")
    else
      result=killed detail=$failed
      killed=$((killed + 1))
    fi
    restore
  fi
  printf '%-22s %-34s %-9s %-40s %3ss\n' "${IDS[i]}" "${FILES[i]}" "$result" "$detail" "$(($(date +%s) - t0))"
done

valid=$((killed + survived))
echo "stale or ambiguous: $stale, invalid: $invalid, time: $(($(date +%s) - start)) s"
for s in "${SURVIVORS[@]}"; do echo "survived: $s"; done
if [ $valid -gt 0 ]; then
  echo "killed $killed of $valid valid ($((100 * killed / valid))%)"
else
  echo "killed 0 of 0 valid"
fi
