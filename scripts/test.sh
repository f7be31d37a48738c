#!/usr/bin/env bash
# Builds the library and runs every test.
#   scripts/test.sh             optimised build, all tests
#   scripts/test.sh --sanitize  the same with AddressSanitizer and UBSan
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
dir=build; extra=()
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-asan
  extra=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DHVDV_SANITIZE=address,undefined -DHVDV_BUILD_BENCH=OFF)
fi
cmake -S . -B "$dir" "${extra[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
cd "$dir" && ctest --output-on-failure -j "$(nproc)"
