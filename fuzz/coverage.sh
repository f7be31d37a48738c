#!/usr/bin/env bash
# Line coverage of src/ reached by the fuzz corpora: builds the fuzz targets
# with clang's source-based coverage (no sanitizer), runs every input of
# build-fuzz/seeds and build-fuzz/corpus (made by .ci/fuzz) once, and prints
# llvm-cov's per-file report.
#   fuzz/coverage.sh [CORPUS_ROOT...]   default: build-fuzz/seeds build-fuzz/corpus
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build-cov
roots=("$@")
[ ${#roots[@]} -eq 0 ] && roots=(build-fuzz/seeds build-fuzz/corpus)
bash scripts/deps.sh fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHVDV_BUILD_FUZZ=ON \
  -DHVDV_BUILD_TESTS=OFF -DHVDV_BUILD_BENCH=OFF -DHVDV_BUILD_CLI=OFF \
  -DCMAKE_CXX_FLAGS="-fprofile-instr-generate -fcoverage-mapping" \
  -DCMAKE_EXE_LINKER_FLAGS="-fprofile-instr-generate" >/dev/null
targets=()
for src in fuzz/fuzz_*.cpp; do targets+=("$(basename "$src" .cpp)"); done
cmake --build "$dir" -j "$(nproc)" --target "${targets[@]}"
rm -rf "$dir/profiles"; mkdir -p "$dir/profiles"
objects=()
for t in "${targets[@]}"; do
  name=${t#fuzz_}
  inputs=()
  for r in "${roots[@]}"; do [ -d "$r/$name" ] && inputs+=("$r/$name"); done
  [ ${#inputs[@]} -eq 0 ] && continue
  LLVM_PROFILE_FILE="$dir/profiles/$name.profraw" "$dir/fuzz/$t" -runs=0 "${inputs[@]}" > "$dir/$t.cov.log" 2>&1
  objects+=(-object "$dir/fuzz/$t")
done
llvm-profdata merge -sparse "$dir"/profiles/*.profraw -o "$dir/fuzz.profdata"
llvm-cov report -instr-profile "$dir/fuzz.profdata" "${objects[@]:1}" "$(pwd)/src"
