#!/usr/bin/env bash
# Builds the library and the hvdv tool, then runs it on the bundled sample.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j "$(nproc)"
if [ -x build/cli/hvdv ]; then
  build/cli/hvdv info tests/data/sample_625_420.dv
fi
