#!/usr/bin/env bash
# Builds the library and runs every test.
#   scripts/test.sh             optimised build, all tests
#   scripts/test.sh --sanitize  the same with AddressSanitizer (leak checking
#                               included) and UBSan
#   scripts/test.sh --tsan      ThreadSanitizer build of the tests that run
#                               decodes, workers and platform threads at once
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
dir=build; extra=()
case "${1:-}" in
  --sanitize)
    dir=build-asan
    extra=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DHVDV_SANITIZE=address,undefined -DHVDV_BUILD_BENCH=OFF)
    export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
    # (Quoted: the sanitizers split their options at spaces.)
    export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=\"$PWD/tests/lsan.supp\"}
    ;;
  --tsan)
    dir=build-tsan
    extra=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DHVDV_SANITIZE=thread -DHVDV_BUILD_BENCH=OFF -DHVDV_BUILD_CLI=OFF)
    ;;
esac
cmake -S . -B "$dir" "${extra[@]}" >/dev/null
if [ "${1:-}" = "--tsan" ]; then
  cmake --build "$dir" -j "$(nproc)" --target hvdv_tests
  threaded='Workers.*:Stress.*:LifecycleStress.*:CpuMask.*'
  threaded+=':Damage.CorruptFramesStayInsideThePictureAndDoNotDependOnThreads'
  # Any data race or lock-order report fails the run.
  TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1} \
    "$dir/tests/hvdv_tests" --gtest_filter="$threaded"
  exit 0
fi
cmake --build "$dir" -j "$(nproc)"
cd "$dir" && ctest --output-on-failure -j "$(nproc)"
