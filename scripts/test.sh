#!/usr/bin/env bash
# Builds everything and runs the whole test suite:
#   1. release build of the four levels, unit and integration tests;
#   2. the Windows programs, cross-built with MinGW-w64, tested under Wine
#      against the Linux programs of step 1, then packed for users
#      (scripts/package.sh);
#   3. a build with AddressSanitizer and UndefinedBehaviorSanitizer (levels
#      sse2 and avx2), whose unit and integration tests must pass without a
#      sanitizer report.
# Installs what is missing with apt-get and fetches the network file.
# Levels this processor cannot run are left out of the tests (and said so).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$CORVIX_ROOT"

jobs=${CORVIX_JOBS:-2}
release=build/release
windows=build/windows
sanitize=build/sanitize

NETWORK_DIR=$release ensure_tools cmake g++ make gtest npm mingw wine zip
scripts/check-pick-build.sh

# Unit tests of a level the processor lacks would die on its first
# instruction; the integration tests skip such levels by themselves.
skip=()
for isa in sse2 popcnt avx avx2; do
    if ! can_run "$isa"; then
        say "this processor cannot run corvix-$isa: its unit tests are left out"
        skip+=("unit-$isa")
    fi
done
exclude=()
if [ ${#skip[@]} -gt 0 ]; then exclude=(-E "^($(IFS='|'; echo "${skip[*]}"))\$"); fi

say "release build: sse2, popcnt, avx, avx2"
cmake -S . -B "$release" -DCMAKE_BUILD_TYPE=Release -DCORVIX_SANITIZE=OFF \
    -DCORVIX_ISAS="sse2;popcnt;avx;avx2" </dev/null
cmake --build "$release" -j "$jobs" </dev/null
scripts/fetch-network.sh "$release" </dev/null
say "release tests"
ctest --test-dir "$release" --output-on-failure -j "$jobs" -LE windows "${exclude[@]}" </dev/null

windows_start=$SECONDS
say "Windows build: sse2, popcnt, avx, avx2"
scripts/build-windows.sh "$windows"
say "Windows tests under Wine"
trap wine_stop EXIT
wine_start "$windows"
CORVIX_REQUIRE_WINDOWS=1 CORVIX_WINDOWS_DIR="$CORVIX_ROOT/$windows" \
    ctest --test-dir "$release" --output-on-failure -j "$jobs" -L windows </dev/null
wine_stop
trap - EXIT
say "packages"
scripts/package.sh
say "the Windows part took $((SECONDS - windows_start)) s"

say "sanitized build: sse2, avx2"
cmake -S . -B "$sanitize" -DCMAKE_BUILD_TYPE=Release -DCORVIX_SANITIZE=ON -DCORVIX_BENCH=OFF \
    -DCORVIX_ISAS="sse2;avx2" </dev/null
cmake --build "$sanitize" -j "$jobs" </dev/null
scripts/fetch-network.sh "$sanitize" </dev/null
say "sanitized tests"
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=0:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$sanitize" --output-on-failure -j "$jobs" "${exclude[@]}" </dev/null
