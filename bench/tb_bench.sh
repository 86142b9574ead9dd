#!/usr/bin/env bash
# Tablebase benchmark: initialisation time and WDL probe speed for each built
# instruction-set level. Usage: bench/tb_bench.sh [build dir] [table dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
tables=${2:-$root/../shared/data/syzygy}
for prog in "$build"/bench/tb_bench-*; do
    [ -x "$prog" ] || continue
    echo "== $(basename "$prog")"
    "$prog" "$tables"
done
