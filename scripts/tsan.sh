#!/usr/bin/env bash
# The searching threads under ThreadSanitizer: builds corvix-avx2 (or the
# level given) and the integration tests with -fsanitize=thread in
# build/tsan and runs the tests of several threads (Threads.*) and the
# concurrent tablebase probes of the unit tests; any report fails them.
# Not part of scripts/test.sh (the build alone takes minutes on two cores).
#
#   scripts/tsan.sh [LEVEL]      default: avx2
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$CORVIX_ROOT"

isa=${1:-avx2}
build=build/tsan
say "ThreadSanitizer build: $isa"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCORVIX_SANITIZE_THREAD=ON -DCORVIX_BENCH=OFF \
    -DCORVIX_ISAS="$isa" </dev/null >/dev/null
cmake --build "$build" -j "${CORVIX_JOBS:-2}" --target "corvix-$isa" corvix-integration "corvix-unit-$isa" </dev/null >/dev/null
scripts/fetch-network.sh "$build" </dev/null
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:exitcode=66}
say "tests of several threads"
(cd "$build" && ./tests/corvix-integration --gtest_filter='*/Threads.*' </dev/null)
say "concurrent first tablebase probes"
(cd "$build" && "./tests/corvix-unit-$isa" --gtest_filter='TbProbe.ConcurrentFirstProbesGiveTheSameAnswers' </dev/null)
