#!/usr/bin/env bash
# Builds the library and the hvdv tool, then decodes the bundled sample clip
# into build/out/ (a PNG of its first frame and a YUV4MPEG2 file of every
# frame).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j "$(nproc)"
if [ -d build/python/hvdv ]; then
  echo "Python package hvdv: build/python/hvdv, for $(sed -n 's/^Python3_EXECUTABLE:[A-Z]*=//p' build/CMakeCache.txt)" \
       "(PYTHONPATH=build/python)"
fi
hvdv=build/cli/hvdv
sample=tests/data/sample_625_420.dv
if [ -x "$hvdv" ]; then
  mkdir -p build/out
  echo
  "$hvdv" info "$sample"
  echo
  "$hvdv" decode "$sample" --frame 0 -o build/out/sample.png
  "$hvdv" decode "$sample" -o build/out/sample.y4m
  echo
  echo "decoded $sample into:"
  echo "  $(pwd)/build/out/sample.png   (first frame, RGB)"
  echo "  $(pwd)/build/out/sample.y4m   (all frames, YUV4MPEG2 at the DV chroma sampling; play it with: ffplay build/out/sample.y4m)"
fi
