#!/usr/bin/env bash
# Speed of the search with one thread and with more: for each of the four
# "bench" positions, a fresh engine searches "go depth 16" with the option
# Threads at 1 and at N (default 2), alternately, RUNS times each. Reported
# per position and in total: the time at which depth 16 was completed (the
# time field of the last "info depth 16" line) and the nodes per second up to
# then (the nodes of all threads together), best of the runs, and the ratios
# N threads / 1 thread.
#
#   bench/threads.sh [BUILD_DIR] [N] [RUNS]
#       defaults: build/release, 2, 3
#
# BUILD_DIR must hold corvix-avx2 (or the fastest build this processor
# runs) and the network file. Measure on a quiet machine: with N threads
# the search needs N free processors.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"
cd "$CORVIX_ROOT"

dir=${1:-build/release}
threads=${2:-2}
runs=${3:-3}
[ -f "$dir/$CORVIX_NETWORK" ] || { echo "no $CORVIX_NETWORK in $dir: build and fetch it first" >&2; exit 1; }
program=
for isa in avx2 avx popcnt sse2; do
    if [ -x "$dir/corvix-$isa" ] && can_run "$isa"; then program=corvix-$isa; break; fi
done
[ -n "$program" ] || { echo "no runnable program in $dir" >&2; exit 1; }

fens=(
    "2r1k2r/pq1p1ppp/1pbPpn2/8/2P2B2/P2B1P2/1PQ3PP/R3K2R b KQk - 2 16"
    "1n1q1rk1/r3ppbp/p1p3p1/1p3b2/P1pP3B/1NP1PB2/5PPP/R2QR1K1 w - - 10 16"
    "r2q2k1/pb3pp1/1p3n1p/2bpr3/8/2NBP3/PPQB1PPP/2RR2K1 w - - 0 16"
    "r5k1/p2qp1bp/6p1/1pP3P1/2n1P3/1QP1B3/P3N1PP/R4K2 b - - 0 17"
)

# "ms nodes" of the completed depth 16 of one search. The input ends after
# "go": a search to a fixed depth still runs to its end.
measure() { # threads fen
    (cd "$dir" && printf 'setoption name Threads value %s\nposition fen %s\ngo depth 16\n' "$1" "$2" |
        "./$program") |
        awk '/^info depth 16 seldepth/ { for (i = 1; i < NF; i++) { if ($i == "time") t = $(i + 1); if ($i == "nodes") n = $(i + 1) } }
             END { print t, n }'
}

say "$program, depth 16 on the bench positions, Threads 1 and $threads, best of $runs alternating runs"
printf '%-9s %12s %12s %12s %12s %8s %8s\n' position "ms (1)" "ms ($threads)" "nps (1)" "nps ($threads)" "ms" "nps"
total_ms=(0 0)
total_nodes=(0 0)
for p in 0 1 2 3; do
    best_ms=(0 0)
    best_nps=(0 0)
    best_nodes=(0 0)
    for ((r = 0; r < runs; r++)); do
        for side in 0 1; do
            t=1
            [ "$side" = 1 ] && t=$threads
            read -r ms nodes <<<"$(measure "$t" "${fens[$p]}")"
            nps=$((ms > 0 ? nodes * 1000 / ms : 0))
            if [ "${best_ms[$side]}" = 0 ] || [ "$ms" -lt "${best_ms[$side]}" ]; then
                best_ms[$side]=$ms
                best_nodes[$side]=$nodes
            fi
            if [ "$nps" -gt "${best_nps[$side]}" ]; then best_nps[$side]=$nps; fi
        done
    done
    for side in 0 1; do
        total_ms[$side]=$((total_ms[side] + best_ms[side]))
        total_nodes[$side]=$((total_nodes[side] + best_nodes[side]))
    done
    printf '%-9s %12s %12s %12s %12s %8s %8s\n' "$((p + 1))" "${best_ms[0]}" "${best_ms[1]}" "${best_nps[0]}" \
        "${best_nps[1]}" "$(awk -v a="${best_ms[1]}" -v b="${best_ms[0]}" 'BEGIN { printf "%.2f", a / b }')" \
        "$(awk -v a="${best_nps[1]}" -v b="${best_nps[0]}" 'BEGIN { printf "%.2f", a / b }')"
done
nps1=$((total_nodes[0] * 1000 / total_ms[0]))
npsn=$((total_nodes[1] * 1000 / total_ms[1]))
printf '%-9s %12s %12s %12s %12s %8s %8s\n' total "${total_ms[0]}" "${total_ms[1]}" "$nps1" "$npsn" \
    "$(awk -v a="${total_ms[1]}" -v b="${total_ms[0]}" 'BEGIN { printf "%.2f", a / b }')" \
    "$(awk -v a="$npsn" -v b="$nps1" 'BEGIN { printf "%.2f", a / b }')"
echo "(totals: sums of the best times, nodes per second of those runs)"
