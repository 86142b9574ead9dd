#!/usr/bin/env bash
# Checks the choice of build made by start.sh against processor descriptions.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

base="fpu sse sse2 ssse3 sse4_1 sse4_2"
cases=(
    # vendor        family  flags                                   expected
    "GenuineIntel   6       $base popcnt avx avx2 bmi1 bmi2         avx2"
    "GenuineIntel   6       $base popcnt avx                        avx"
    "GenuineIntel   6       $base popcnt                            popcnt"
    "GenuineIntel   15      fpu sse sse2                            sse2"
    "GenuineIntel   6       $base avx avx2 bmi1 bmi2                sse2"
    "AuthenticAMD   23      $base popcnt avx avx2 bmi1 bmi2         avx"
    "AuthenticAMD   21      $base popcnt avx avx2 bmi1 bmi2         avx"
    "HygonGenuine   24      $base popcnt avx avx2 bmi1 bmi2         avx"
    "AuthenticAMD   25      $base popcnt avx avx2 bmi1 bmi2         avx2"
    "AuthenticAMD   26      $base popcnt avx avx2 bmi1 bmi2         avx2"
    "AuthenticAMD   23      $base popcnt avx avx2 bmi1              avx"
    "AuthenticAMD   16      fpu sse sse2 popcnt                     sse2"
)
cpuinfo=$(mktemp)
trap 'rm -f "$cpuinfo"' EXIT
failed=0
for c in "${cases[@]}"; do
    read -r -a words <<<"$c"
    vendor=${words[0]} family=${words[1]} expected=${words[-1]}
    flags="${words[*]:2:${#words[@]}-3}"
    printf 'processor\t: 0\nvendor_id\t: %s\ncpu family\t: %s\nflags\t\t: %s\n' \
        "$vendor" "$family" "$flags" >"$cpuinfo"
    got=$(CORVIX_CPUINFO=$cpuinfo pick_build)
    if [ "$got" != "$expected" ]; then
        echo "pick_build: $vendor family $family [$flags]: got $got, expected $expected" >&2
        failed=1
    fi
done
[ "$failed" = 0 ] && echo "pick_build: ${#cases[@]} processor descriptions ok" >&2
exit "$failed"
