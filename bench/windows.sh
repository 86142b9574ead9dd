#!/usr/bin/env bash
# Speed of the Windows programs under Wine against the Linux programs: for
# every level, "bench" (four searches to depth 12) is run alternately by the
# Linux program and by the Windows program under Wine, RUNS times each. The
# table shows the best speed of each and the median of the ratios of the
# runs made one after the other (which the load of other work on the machine
# disturbs least). Both search the same 5119899 nodes.
#
# A second table does the same with a 1 MB transposition table. The default
# 128 MB table is probed at random, so its page size matters: the Linux
# program gets 2 MB pages for it (transparent huge pages); a Windows program
# gets large pages on Windows only with the "Lock pages in memory" privilege,
# and under Wine on Linux by asking the host for them itself. A 1 MB table
# fits the processor's address-translation cache with either page size, so
# the second table compares the code alone.
#
#   bench/windows.sh [LINUX_BUILD_DIR] [WINDOWS_BUILD_DIR] [RUNS]
#       defaults: build/release, build/windows, 3
#
# Both directories must hold the programs and the network file
# (scripts/build-windows.sh builds the Windows ones). Wine runs in a prefix of
# its own under WINDOWS_BUILD_DIR/bench, which is made afresh.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"
cd "$CORVIX_ROOT"

linux_dir=${1:-build/release}
windows_dir=${2:-build/windows}
runs=${3:-3}
for dir in "$linux_dir" "$windows_dir"; do
    [ -f "$dir/$CORVIX_NETWORK" ] || { echo "no $CORVIX_NETWORK in $dir: build and fetch it first" >&2; exit 1; }
done
ensure_tools wine
mkdir -p "$windows_dir/bench"
trap wine_stop EXIT
wine_start "$windows_dir/bench"

# Nodes and nodes per second of one "bench" after the commands in $setup
# (from its summary line "N nodes in M ms, speed = S nodes/s", the speed
# worked out exactly).
bench_nps() { # command...
    local out nodes ms
    out=$(printf '%sbench\n' "$setup" | "$@" 2>/dev/null | grep ' nodes in ' | tail -n 1)
    read -r nodes _ _ ms _ <<<"$out"
    echo "$nodes $((nodes * 1000 / (ms > 0 ? ms : 1)))"
}

compare() {
    printf '%-8s %10s %12s %12s %7s\n' level nodes "linux nps" "windows nps" "ratio"
    for isa in sse2 popcnt avx avx2; do
        if [ ! -x "$linux_dir/corvix-$isa" ] || [ ! -f "$windows_dir/corvix-$isa.exe" ]; then
            printf '%-8s %s\n' "$isa" "not built"
            continue
        fi
        if ! can_run "$isa"; then
            printf '%-8s %s\n' "$isa" "not run: this processor lacks its instructions"
            continue
        fi
        best_linux=0 best_windows=0 nodes_linux=- nodes_windows=- ratios=()
        for ((i = 0; i < runs; i++)); do
            read -r nodes_linux linux_nps < <(cd "$linux_dir" && bench_nps "./corvix-$isa")
            ((linux_nps > best_linux)) && best_linux=$linux_nps
            read -r nodes_windows windows_nps < <(cd "$windows_dir" && bench_nps "$CORVIX_WINE" "corvix-$isa.exe")
            ((windows_nps > best_windows)) && best_windows=$windows_nps
            ratios+=("$(awk -v w="$windows_nps" -v l="$linux_nps" 'BEGIN { printf "%.3f", l ? w / l : 0 }')")
        done
        [ "$nodes_linux" = "$nodes_windows" ] || echo "warning: corvix-$isa searched $nodes_linux nodes, corvix-$isa.exe $nodes_windows" >&2
        printf '%-8s %10s %12s %12s %7s\n' "$isa" "$nodes_windows" "$best_linux" "$best_windows" \
            "$(printf '%s\n' "${ratios[@]}" | sort -n | awk '{ r[NR] = $1 } END { print r[int((NR + 1) / 2)] }')"
    done
}

echo "bench, default 128 MB table"
setup='' compare
echo
echo "bench with a 1 MB table"
setup=$'setoption name Hash value 1\n' compare
