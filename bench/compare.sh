#!/usr/bin/env bash
# Speed of the current tree against an earlier commit, measured in one run:
# both are built side by side, then "bench" (and, on request, "perft 6" from
# the start position) runs alternately on the two programs of each level,
# A, B, A, B, ..., and the best of the runs of each side is reported with the
# ratio current / earlier. Alternating runs let a busy machine slow both
# sides alike.
#
#   bench/compare.sh [-r RUNS] [-l "LEVELS"] [-p] [-k] [-c CPU] [COMMIT]
#       COMMIT   the earlier commit (default: main)
#       -r RUNS  runs per side and level (default 5)
#       -l       levels to compare (default: every level this processor runs)
#       -p       compare "perft 6" from the start position too
#       -k       keep the earlier commit's sources and build (default: removed)
#       -c CPU   run every measurement on that processor only, at real-time
#                priority when allowed (root): on a busy machine the other
#                work then disturbs the runs much less
#
# The current tree is built as it is in the working directory (uncommitted
# changes included) into build/compare/current; the commit is exported with
# "git archive" into a temporary folder under build/compare and built there.
# Both builds must print the same node counts; a difference is reported and
# makes the script fail, since the trees must not change.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"
cd "$CORVIX_ROOT"

runs=5
levels=
perft=0
keep=0
pin=()
while getopts "r:l:pkc:" opt; do
    case $opt in
        r) runs=$OPTARG ;;
        l) levels=$OPTARG ;;
        p) perft=1 ;;
        k) keep=1 ;;
        c) pin=(taskset -c "$OPTARG")
           if chrt -f 50 true 2>/dev/null; then pin=(chrt -f 50 "${pin[@]}"); fi ;;
        *) sed -n '2,23p' "$0" >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
commit=${1:-main}
sha=$(git rev-parse --short "$commit^{commit}")
if [ -z "$levels" ]; then levels=$(runnable_builds | tr '\n' ' '); fi
isas=$(tr ' ' ';' <<<"$levels" | sed 's/;*$//')
jobs=${CORVIX_JOBS:-2}

work=build/compare
current=$work/current
earlier=$work/$sha
mkdir -p "$work"
cleanup() { if [ "$keep" = 0 ]; then rm -rf "$earlier"; fi; }
trap cleanup EXIT

build() { # source-dir build-dir
    cmake -S "$1" -B "$2" -DCMAKE_BUILD_TYPE=Release -DCORVIX_SANITIZE=OFF -DCORVIX_TESTS=OFF \
        -DCORVIX_BENCH=OFF -DCORVIX_ISAS="$isas" >/dev/null </dev/null
    cmake --build "$2" -j "$jobs" >/dev/null </dev/null
    scripts/fetch-network.sh "$2" >/dev/null </dev/null
}

say "building the current tree ($isas)"
build . "$current"
if [ ! -d "$earlier/src" ]; then
    mkdir -p "$earlier/src"
    git archive "$sha" | tar -x -C "$earlier/src"
fi
say "building $sha ($isas)"
build "$earlier/src" "$earlier/build"

# Prints "nodes nodes-per-second" of one run of a command list.
measure() { # build-dir program commands
    local summary n nps
    summary=$(cd "$1" && printf '%b' "$3" | ${pin[@]+"${pin[@]}"} "./$2" | grep ' nodes in ' | tail -n 1)
    # "N nodes in M ms, speed = S nodes/s"
    read -r n _ _ _ _ _ _ nps _ <<<"$summary"
    echo "$n $nps"
}

failed=0
compare() { # label commands
    local label=$1 commands=$2 isa i a_nodes b_nodes a_best b_best n nps
    printf '\n%s, best of %s alternating runs\n' "$label" "$runs"
    printf '%-14s %10s %14s %14s %8s\n' build nodes "$sha nodes/s" "current nodes/s" ratio
    for isa in $levels; do
        if ! can_run "$isa"; then
            printf '%-14s %s\n' "corvix-$isa" "not run: this processor lacks its instructions"
            continue
        fi
        a_best=0 b_best=0 a_nodes= b_nodes=
        for ((i = 0; i < runs; i++)); do
            read -r n nps <<<"$(measure "$earlier/build" "corvix-$isa" "$commands")"
            a_nodes=$n
            if [ "$nps" -gt "$a_best" ]; then a_best=$nps; fi
            read -r n nps <<<"$(measure "$current" "corvix-$isa" "$commands")"
            b_nodes=$n
            if [ "$nps" -gt "$b_best" ]; then b_best=$nps; fi
        done
        printf '%-14s %10s %14s %14s %8s\n' "corvix-$isa" "$b_nodes" "$a_best" "$b_best" \
            "$(awk -v a="$a_best" -v b="$b_best" 'BEGIN { printf "%.3f", a ? b / a : 0 }')"
        if [ "$a_nodes" != "$b_nodes" ]; then
            echo "corvix-$isa: the node counts differ ($sha $a_nodes, current $b_nodes)" >&2
            failed=1
        fi
    done
}

# No line may follow the command: waiting input stops a search. The end of
# the input ends the program.
compare "bench" 'bench\n'
if [ "$perft" = 1 ]; then compare "perft 6 from the start position" 'position startpos\nperft 6\n'; fi
exit "$failed"
