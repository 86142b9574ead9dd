#!/usr/bin/env bash
# Builds Corvix (all four levels), fetches the network file and starts the
# build that suits this processor in the directory that holds the network,
# ready for UCI commands on standard input. Everything the set-up prints goes
# to standard error, so a GUI may start this script as its engine.
#
#   scripts/start.sh [ENGINE ARGUMENTS...]
#   CORVIX_BUILD=avx scripts/start.sh      choose the level yourself
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$CORVIX_ROOT"

build=build/engine
NETWORK_DIR=$build ensure_tools cmake g++ make npm
{
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCORVIX_SANITIZE=OFF -DCORVIX_TESTS=OFF -DCORVIX_BENCH=OFF
    cmake --build "$build" -j "${CORVIX_JOBS:-2}"
    scripts/fetch-network.sh "$build"
} </dev/null >&2

isa=${CORVIX_BUILD:-$(pick_build)}
say "starting corvix-$isa in $build"
cd "$build"
exec "./corvix-$isa" "$@"
