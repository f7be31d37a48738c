#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those missing.
#   scripts/deps.sh        compiler, test and benchmark libraries, FFmpeg
#   scripts/deps.sh fuzz   the same and clang with libFuzzer and llvm-cov
set -euo pipefail
want=(cmake g++ make pkg-config libgtest-dev libbenchmark-dev libpng-dev
      libavcodec-dev libavutil-dev ffmpeg)
if [ "${1:-}" = "fuzz" ]; then
  want+=(clang libclang-rt-dev llvm)
fi
missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
