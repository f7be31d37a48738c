#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those missing.
#   scripts/deps.sh         native build: compiler, GoogleTest, Google Benchmark,
#                           libpng and cairo (hvdv PNG pictures and plots),
#                           libavcodec (reference peer), ffmpeg, exiftool and
#                           mediainfo (what the hvdv tests compare with), GStreamer's
#                           development files (the hvdvdec plugin in gst/) and
#                           the tools and plugins its tests and benchmark run
#                           (dvdemux, avidemux, qtdemux, dvdec, avdec_dvvideo),
#                           for the Python package hvdv (python/) Debian's
#                           python3 with its headers, pybind11, numpy, pytest,
#                           Dask's distributed and PyAV (its benchmark peer),
#                           and Chromium with chromedriver and python3-selenium
#                           (the browser test of hvdv report), and GNU time
#                           (resident memory in bench/merge_bench.sh)
#   scripts/deps.sh cross   also the 32-bit x86 Linux (g++ -m32) and MinGW-w64
#                           (i686, x86-64) compilers, Wine (64-bit, and
#                           32-bit from Debian's i386 architecture) to run the
#                           Windows tests, and for 64-bit ARM Linux
#                           clang with Debian's aarch64 runtime and qemu-aarch64
#   scripts/deps.sh fuzz    also clang with libFuzzer and llvm-cov
set -euo pipefail
want=(cmake g++ make pkg-config libgtest-dev libbenchmark-dev libpng-dev zlib1g-dev libcairo2-dev
      libavcodec-dev libavformat-dev libavutil-dev ffmpeg libimage-exiftool-perl mediainfo
      libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-tools
      gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
      python3-dev pybind11-dev python3-numpy python3-pytest python3-distributed python3-av
      chromium chromium-driver python3-selenium time)
if [ "${1:-}" = "cross" ]; then
  # googletest: GoogleTest sources, built for each cross target.
  # g++-multilib: -m32 for 32-bit x86 Linux.  (It replaces Debian's
  # g++-<arch>-linux-gnu cross compilers, so those are not used.)
  # The MinGW packages bring both thread models; the toolchain files use the
  # posix one, which has std::thread.
  # aarch64: g++-aarch64-linux-gnu conflicts with g++-multilib, so clang
  # compiles against the cross runtime packages (which do not conflict);
  # qemu-user has qemu-aarch64, which runs the tests.
  # wine32 (32-bit Windows programs) comes from the i386 architecture.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
    $SUDO dpkg --add-architecture i386
  fi
  want+=(googletest g++-multilib g++-mingw-w64-i686 g++-mingw-w64-x86-64
         binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 wine64 wine wine32:i386
         clang binutils-aarch64-linux-gnu libc6-dev-arm64-cross
         libstdc++-12-dev-arm64-cross libgcc-12-dev-arm64-cross qemu-user)
fi
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
