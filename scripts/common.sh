# Shared by start.sh, test.sh and bench/perft.sh (sourced, not run).
#
# ensure_tools TOOL...   installs with apt-get whatever of these is missing:
#                        cmake, g++, make, gtest (libgtest-dev), npm (only when
#                        the network file still has to be downloaded), mingw
#                        (the MinGW-w64 cross compiler), wine (wine64), zip
# wine_start DIR         a Wine prefix of its own in DIR/wineprefix, made
#                        afresh, and a Wine server that stays up until
#                        wine_stop ends it with every Wine process
# pick_build             prints the level (sse2, popcnt, avx, avx2) that suits
#                        this processor
# runnable_builds        prints every level this processor can run
# can_run LEVEL          whether this processor can run that level
# (both read /proc/cpuinfo, or the file named by CORVIX_CPUINFO)

CORVIX_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
CORVIX_NETWORK=nn-82215d0fd0df.nnue

say() { echo "== $*" >&2; }

# Debian's MinGW-w64 compiler (posix threads) and Wine loader and server.
CORVIX_MINGW_CXX=x86_64-w64-mingw32-g++-posix
CORVIX_WINE=${CORVIX_WINE:-/usr/lib/wine/wine64}
CORVIX_WINESERVER=${CORVIX_WINESERVER:-/usr/lib/wine/wineserver}

apt_install() { # package...
    local sudo=()
    if [ "$(id -u)" != 0 ]; then
        if ! command -v sudo >/dev/null; then
            echo "Missing packages: $*. Install them as root (apt-get install $*) and run this again." >&2
            exit 1
        fi
        sudo=(sudo)
    fi
    say "installing $*"
    # No standard input: nothing here may eat the lines meant for the engine.
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq </dev/null >&2
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" </dev/null >&2
}

ensure_tools() { # tool...
    local missing=() tool
    for tool in "$@"; do
        case $tool in
            gtest)
                [ "$(dpkg-query -W -f='${Status}' libgtest-dev 2>/dev/null)" = "install ok installed" ] ||
                    [ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev) ;;
            npm)
                "$CORVIX_ROOT/scripts/fetch-network.sh" --have "${NETWORK_DIR:-.}" ||
                    command -v npm >/dev/null || missing+=(npm ca-certificates) ;;
            mingw)
                command -v "$CORVIX_MINGW_CXX" >/dev/null || missing+=(g++-mingw-w64-x86-64-posix) ;;
            wine)
                [ -x "$CORVIX_WINE" ] || missing+=(wine64) ;;
            *)
                command -v "$tool" >/dev/null || missing+=("$tool") ;;
        esac
    done
    if [ ${#missing[@]} -gt 0 ]; then apt_install "${missing[@]}"; fi
}

cpu_field() { # name -> value of the first such line of /proc/cpuinfo
    grep -m1 "^$1[[:space:]]*:" "${CORVIX_CPUINFO:-/proc/cpuinfo}" 2>/dev/null | cut -d: -f2- | sed 's/^ *//'
}

runnable_builds() {
    local flags
    flags=" $(cpu_field flags) "
    has() { [[ $flags == *" $1 "* ]]; }
    echo sse2
    if has popcnt && has ssse3; then echo popcnt; fi
    if has popcnt && has avx; then echo avx; fi
    if has popcnt && has avx2 && has bmi1 && has bmi2; then echo avx2; fi
}

can_run() { # level
    local builds
    builds=" $(runnable_builds | tr '\n' ' ') "
    [[ $builds == *" $1 "* ]]
}

pick_build() {
    local vendor family
    vendor=$(cpu_field vendor_id)
    family=$(cpu_field 'cpu family')
    if can_run avx2; then
        # PEXT is microcoded and slow on AMD processors before Zen 3 (family
        # 0x19): there the AVX build is faster.
        if [[ $vendor == AuthenticAMD || $vendor == HygonGenuine ]] && [ "${family:-0}" -lt 25 ]; then
            echo avx
        else
            echo avx2
        fi
    elif can_run avx; then
        echo avx
    elif can_run popcnt; then
        echo popcnt
    else
        echo sse2
    fi
}

wine_start() { # directory
    export WINEPREFIX="$(cd "$1" && pwd)/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    export CORVIX_WINE
    "$CORVIX_WINESERVER" -k </dev/null >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    say "creating the Wine prefix $WINEPREFIX"
    # One server for the whole run, started first: every program starts
    # without waiting for a new one.
    if ! "$CORVIX_WINESERVER" -p </dev/null >"$1/wineboot.log" 2>&1 ||
        ! "$CORVIX_WINE" wineboot --init </dev/null >>"$1/wineboot.log" 2>&1; then
        cat "$1/wineboot.log" >&2
        echo "cannot set up Wine in $WINEPREFIX" >&2
        return 1
    fi
}

wine_stop() {
    if [ -n "${WINEPREFIX:-}" ]; then "$CORVIX_WINESERVER" -k </dev/null >/dev/null 2>&1 || true; fi
}
