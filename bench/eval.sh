#!/usr/bin/env bash
# Evaluation and move-making speed of every built instruction-set level.
#   bench/eval.sh [build-dir]   (default: build)
# Needs the network file in the build directory (scripts/fetch-network.sh).
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
cd "$build"
[ -f nn-82215d0fd0df.nnue ] || { echo "eval.sh: nn-82215d0fd0df.nnue is missing in $build" >&2; exit 1; }
for isa in sse2 popcnt avx avx2; do
    [ -x "bench/eval_bench-$isa" ] || continue
    printf '%-7s ' "$isa:"
    "bench/eval_bench-$isa" 5
done
for isa in sse2 popcnt avx avx2; do
    [ -x "corvix-$isa" ] || continue
    printf '%-7s perft 6: ' "$isa"
    printf 'perft 6\nquit\n' | "./corvix-$isa" | grep -E 'nodes in .* ms' || echo "(no perft output)"
done
