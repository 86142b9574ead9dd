#!/usr/bin/env bash
# Search speed of every build:
#   1. "bench" (four searches to depth 12): total nodes, milliseconds, nodes
#      per second, and the time each position took to finish depth 12;
#   2. nodes per second of "go movetime 5000" on a five-piece position with
#      and without the tablebases (fastest build only).
#
#   bench/search.sh [BUILD_DIR] [SYZYGY_DIR]
#       defaults: build/release, ../shared/data/syzygy (five-piece tables)
#
# BUILD_DIR must hold the programs and the network file. Every command is
# piped in at once and the input then ends, so no line stops a search early.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"
cd "$CORVIX_ROOT"

dir=${1:-build/release}
syzygy=${2:-../shared/data/syzygy}
[ -f "$dir/$CORVIX_NETWORK" ] || { echo "no $CORVIX_NETWORK in $dir: build and fetch it first" >&2; exit 1; }

printf '%-14s %10s %8s %10s   %s\n' build nodes ms "nodes/s" "depth 12 reached after (ms), positions 1-4"
fastest=
for isa in sse2 popcnt avx avx2; do
    program=$dir/corvix-$isa
    if [ ! -x "$program" ]; then
        printf '%-14s %s\n' "corvix-$isa" "not built"
        continue
    fi
    if ! can_run "$isa"; then
        printf '%-14s %s\n' "corvix-$isa" "not run: this processor lacks its instructions"
        continue
    fi
    fastest=$isa
    out=$(cd "$dir" && printf 'bench\n' | "./corvix-$isa")
    # "N nodes in M ms, speed = S nodes/s"
    read -r nodes _ _ ms _ _ _ nps _ <<<"$(grep ' nodes in ' <<<"$out" | tail -n 1)"
    # The time field of the last depth-12 line before each bestmove.
    depth12=$(awk '/^info depth 12 seldepth/ { for (i = 1; i < NF; i++) if ($i == "time") t = $(i + 1) }
                   /^bestmove/ { printf "%s ", t; t = "-" }' <<<"$out")
    printf '%-14s %10s %8s %10s   %s\n' "corvix-$isa" "$nodes" "$ms" "$nps" "$depth12"
done

[ -n "$fastest" ] || exit 0
if [ ! -d "$syzygy" ]; then
    echo "no tablebase directory $syzygy: the tablebase comparison is left out"
    exit 0
fi
# A five-piece position (rook and pawn against rook) is answered from the
# tables at the root; the six-piece one reaches them through captures.
for fen in "8/3k4/8/3P4/8/3K4/1R6/7r w - - 0 1" "8/3k4/8/3P4/2p5/3K4/1R6/7r w - - 0 1"; do
    echo
    echo "corvix-$fastest, go movetime 5000 on $fen"
    for path in "<empty>" "$(cd "$syzygy" && pwd)"; do
        out=$(cd "$dir" && printf 'setoption name SyzygyPath value %s\nposition fen %s\ngo movetime 5000\n' "$path" "$fen" |
              "./corvix-$fastest")
        report=$(grep 'Initialisation of Syzygy' <<<"$out" | tail -n 1 | sed 's/.*: //' || true)
        last=$(grep '^info depth .* pv ' <<<"$out" | tail -n 1 || true)
        if [ -z "$last" ]; then
            printf '  tables %-22s answered at the root: %s, %s\n' "$report" \
                "$(grep '^info score' <<<"$out" | sed 's/ *$//' || true)" "$(grep '^bestmove' <<<"$out" || true)"
            continue
        fi
        awk -v tables="$report" '{ for (i = 1; i < NF; i++) { if ($i == "depth") d = $(i + 1); if ($i == "nodes") n = $(i + 1); if ($i == "nps") s = $(i + 1) } }
             END { printf "  tables %-22s depth %3s  nodes %10s  nodes/s %10s\n", tables, d, n, s }' <<<"$last"
    done
done
