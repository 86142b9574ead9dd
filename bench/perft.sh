#!/usr/bin/env bash
# Move-generation speed of every build: "perft 6" from the start position,
# several runs per build, the best one reported.
#
#   bench/perft.sh [BUILD_DIR] [RUNS]     (defaults: build/release, 3)
#
# BUILD_DIR must hold the programs and the network file (scripts/test.sh or
# scripts/start.sh prepare build/release and build/engine).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"
cd "$CORVIX_ROOT"

dir=${1:-build/release}
runs=${2:-3}
[ -f "$dir/$CORVIX_NETWORK" ] || { echo "no $CORVIX_NETWORK in $dir: build and fetch it first" >&2; exit 1; }

printf '%-14s %12s %10s %14s\n' build nodes "best ms" "nodes/s"
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
    best_ms= nodes=
    for ((i = 0; i < runs; i++)); do
        # "N nodes in M ms, speed = S nodes/s"
        summary=$(cd "$dir" && printf 'position startpos\nperft 6\nquit\n' | "./corvix-$isa" | grep ' nodes in ' | tail -n 1)
        read -r n _ _ ms _ <<<"$summary"
        if [ -z "$nodes" ]; then nodes=$n; fi
        if [ "$n" != "$nodes" ]; then echo "corvix-$isa: node count changed ($nodes, $n)" >&2; exit 1; fi
        if [ -z "$best_ms" ] || [ "$ms" -lt "$best_ms" ]; then best_ms=$ms; fi
    done
    nps=$(( best_ms > 0 ? nodes * 1000 / best_ms : 0 ))
    printf '%-14s %12s %10s %14s\n' "corvix-$isa" "$nodes" "$best_ms" "$nps"
done
