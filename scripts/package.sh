#!/usr/bin/env bash
# Writes the packages for users into dist/:
#   dist/corvix-<version>-windows-x64.zip    corvix-sse2.exe ... corvix-avx2.exe
#   dist/corvix-<version>-linux-x64.tar.gz   corvix-sse2 ... corvix-avx2
# each with the network file and a short text (which program suits which
# processor, how to add it to a GUI). The version is the one in VERSION, the
# one the engine reports to "uci".
#
# The programs come from build/release (Linux) and build/windows (Windows),
# built here when they are not up to date; installs what is missing with
# apt-get (the MinGW-w64 cross compiler, zip).
#
#   scripts/package.sh
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$CORVIX_ROOT"

version=$(head -n 1 VERSION)
linux_build=${CORVIX_LINUX_BUILD:-build/release}
windows_build=${CORVIX_WINDOWS_BUILD:-build/windows}
programs=(corvix-sse2 corvix-popcnt corvix-avx corvix-avx2)

NETWORK_DIR=$linux_build ensure_tools cmake g++ make zip npm
{
    # An existing tree keeps its settings; only the programs are built.
    if [ ! -f "$linux_build/CMakeCache.txt" ]; then
        cmake -S . -B "$linux_build" -DCMAKE_BUILD_TYPE=Release -DCORVIX_ISAS="sse2;popcnt;avx;avx2"
    fi
    cmake --build "$linux_build" -j "${CORVIX_JOBS:-2}" --target "${programs[@]}"
    scripts/fetch-network.sh "$linux_build"
} </dev/null >&2
scripts/build-windows.sh "$windows_build"

# The short text, with line ends for the system it goes to.
readme() { # system
    local ext example separators
    if [ "$1" = windows ]; then
        ext=.exe example='corvix-avx2.exe' separators='separated by ";", as in C:\syzygy;D:\tb\5men'
    else
        ext= example='corvix-avx2' separators='separated by ":" or ";"'
    fi
    sed -e "s/@VERSION@/$version/" -e "s/@EXT@/$ext/" -e "s/@EXAMPLE@/$example/" \
        -e "s/@SEPARATORS@/${separators//\\/\\\\}/" packaging/README.txt |
        if [ "$1" = windows ]; then sed 's/$/\r/'; else cat; fi
}

mkdir -p dist
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

name=corvix-$version-windows-x64
mkdir "$stage/$name"
for p in "${programs[@]}"; do cp "$windows_build/$p.exe" "$stage/$name/"; done
cp "$windows_build/$CORVIX_NETWORK" "$stage/$name/"
readme windows >"$stage/$name/README.txt"
rm -f "dist/$name.zip"
(cd "$stage" && zip -q -X -r "$CORVIX_ROOT/dist/$name.zip" "$name")
say "dist/$name.zip"

name=corvix-$version-linux-x64
mkdir "$stage/$name"
for p in "${programs[@]}"; do cp "$linux_build/$p" "$stage/$name/"; done
cp "$linux_build/$CORVIX_NETWORK" "$stage/$name/"
readme linux >"$stage/$name/README.txt"
tar -C "$stage" --owner=0 --group=0 -czf "dist/$name.tar.gz" "$name"
say "dist/$name.tar.gz"

# Every package holds what a user needs: the four programs, the network file
# and the text.
check() { # package listing ext
    local name=${1%.zip}
    name=${name%.tar.gz}
    name=${name#dist/}
    local file
    for file in "${programs[@]/%/$3}" "$CORVIX_NETWORK" README.txt; do
        grep -qx "$name/$file" <<<"$2" || { echo "package.sh: $file is missing from $1" >&2; exit 1; }
    done
}
check "dist/corvix-$version-windows-x64.zip" "$(zip -sf "dist/corvix-$version-windows-x64.zip" | sed 's/^ *//')" .exe
check "dist/corvix-$version-linux-x64.tar.gz" "$(tar -tzf "dist/corvix-$version-linux-x64.tar.gz")" ""
