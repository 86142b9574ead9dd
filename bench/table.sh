#!/usr/bin/env bash
# How the size of the transposition table shows in the first searches of a
# fresh engine, the way a GUI drives it:
#   1. "setoption name Hash value N" followed by "isready": time to "readyok";
#   2. "position startpos moves e2e4", "go depth 11": the time of the depth-11
#      line (the engine's own clock) and the nodes, in a fresh process and
#      again after "ucinewgame" (whose "isready" answer is timed too);
#   3. "go movetime 1000" from the start position with the largest size:
#      time from "go" to "bestmove", first and after "ucinewgame".
#
#   bench/table.sh [-c CPU] [BUILD_DIR] [LEVEL] [SIZES] [MOVETIME_SIZE]
#       defaults: build/release, the level start.sh would pick,
#       "16 1024 4096", 16384
#       -c CPU   run the engine on that processor only, at real-time
#                priority when allowed (root)
#
# BUILD_DIR must hold the program and the network file. A size the memory
# cannot back is halved by the engine, as its "Creation" line reports.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"
cd "$CORVIX_ROOT"

pin=()
while getopts "c:" opt; do
    case $opt in
        c) pin=(taskset -c "$OPTARG")
           if chrt -f 50 true 2>/dev/null; then pin=(chrt -f 50 "${pin[@]}"); fi ;;
        *) sed -n '2,19p' "$0" >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
dir=${1:-build/release}
level=${2:-$(pick_build)}
sizes=${3:-16 1024 4096}
movetime_size=${4:-16384}
program=./corvix-$level
[ -x "$dir/$program" ] || { echo "no $dir/$program: build it first" >&2; exit 1; }
[ -f "$dir/$CORVIX_NETWORK" ] || { echo "no $CORVIX_NETWORK in $dir: fetch it first" >&2; exit 1; }

now_us() { echo "${EPOCHREALTIME/./}"; }

start_engine() {
    coproc ENGINE { cd "$dir" && exec ${pin[@]+"${pin[@]}"} "$program" 2>&1; }
    send isready
    wait_for readyok >/dev/null
}
send() { printf '%s\n' "$1" >&"${ENGINE[1]}"; }
# Reads lines up to the first one that starts with the prefix and prints it.
wait_for() {
    local line
    while IFS= read -r line <&"${ENGINE[0]}"; do
        case $line in "$1"*) printf '%s\n' "$line"; return 0 ;; esac
        last_iteration=${line}
        [[ $line == "info depth "*" pv "* ]] && iteration=$line
    done
    echo "the engine ended before '$1'" >&2
    exit 1
}
stop_engine() {
    send quit
    wait "$ENGINE_PID" 2>/dev/null || true
}
# "ms" between two now_us readings.
ms() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.0f", (b - a) / 1000 }'; }
field() { awk -v f="$2" '{ for (i = 1; i < NF; i++) if ($i == f) { print $(i + 1); exit } }' <<<"$1"; }

# setoption + isready; prints the time and the size the engine took.
set_hash() {
    local t0 t1 created
    t0=$(now_us)
    send "setoption name Hash value $1"
    created=$(wait_for "info debug Creation of Transposition Table : success")
    send isready
    wait_for readyok >/dev/null
    t1=$(now_us)
    echo "$(ms "$t0" "$t1") ms, table of $(sed 's/.*(\(.*\))/\1/' <<<"$created")"
}

# go depth 11 after e2e4; prints the depth-11 time and nodes.
depth11() {
    iteration=
    send "position startpos moves e2e4"
    send "go depth 11"
    wait_for bestmove >/dev/null
    echo "depth 11 at $(field "$iteration" time) ms, $(field "$iteration" nodes) nodes"
}

newgame() {
    local t0 t1
    t0=$(now_us)
    send ucinewgame
    send isready
    wait_for readyok >/dev/null
    t1=$(now_us)
    echo "$(ms "$t0" "$t1") ms"
}

echo "corvix-$level in $dir"
for size in $sizes; do
    start_engine
    echo "Hash $size: setoption + isready $(set_hash "$size")"
    echo "  fresh process:    $(depth11)"
    echo "  ucinewgame + isready $(newgame)"
    echo "  after ucinewgame: $(depth11)"
    stop_engine
done

start_engine
echo "Hash $movetime_size: setoption + isready $(set_hash "$movetime_size")"
for round in first "after ucinewgame"; do
    if [ "$round" != first ]; then echo "  ucinewgame + isready $(newgame)"; fi
    send "position startpos"
    send isready
    wait_for readyok >/dev/null
    t0=$(now_us)
    send "go movetime 1000"
    wait_for bestmove >/dev/null
    t1=$(now_us)
    echo "  go movetime 1000, $round: bestmove after $(ms "$t0" "$t1") ms"
done
stop_engine
