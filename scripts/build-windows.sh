#!/usr/bin/env bash
# Cross-builds the Windows programs on Linux with MinGW-w64:
# corvix-sse2.exe, corvix-popcnt.exe, corvix-avx.exe and corvix-avx2.exe, with
# the same compiler settings per level as the Linux builds, linked statically
# (they need no DLL besides the system's own), and the network file beside
# them. The relay that the Windows tests use (corvix-relay.exe) is built too.
# Installs the cross compiler with apt-get when it is missing.
#
#   scripts/build-windows.sh [BUILD_DIR]      default: build/windows
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$CORVIX_ROOT"

build=${1:-build/windows}
NETWORK_DIR=$build ensure_tools cmake make mingw npm
{
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
        -DCORVIX_SANITIZE=OFF -DCORVIX_BENCH=OFF -DCORVIX_ISAS="sse2;popcnt;avx;avx2"
    cmake --build "$build" -j "${CORVIX_JOBS:-2}"
    scripts/fetch-network.sh "$build"
} </dev/null >&2
