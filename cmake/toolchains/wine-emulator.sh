#!/usr/bin/env bash
# Runs one Windows program under Wine for ctest: wine-emulator.sh win32|win64 PREFIX PROGRAM [ARGS...]
# The prefix is private to the build directory and made once; the first caller makes it while
# the others wait. Console programs only: no display, no network, no Mono or Gecko set-up.
set -euo pipefail

arch=$1
prefix=$2
shift 2

export WINEPREFIX=$prefix
export WINEARCH=$arch
case "$arch" in
    win32) wine=wine ;;
    # The 64-bit loader itself: Debian's `wine` starts the 32-bit one whenever it is installed.
    win64) wine=/usr/lib/wine/wine64; export WINELOADER=$wine ;;
    *) echo "wine-emulator: the architecture is win32 or win64, not $arch" >&2; exit 2 ;;
esac
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
# CI may run as root with no home; Wine wants one for the user's folders.
export HOME=${HOME:-$prefix.home}
mkdir -p "$HOME"

ready=$prefix/.ostrevin-ready
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
if [ ! -e "$ready" ]; then
    # Start again from nothing after an interrupted set-up, its server included.
    wineserver -k </dev/null >/dev/null 2>&1 9>&- || true
    rm -rf "$prefix"
    "$wine" wineboot --init </dev/null >/dev/null 2>&1 9>&- || true
    wineserver -w
    if [ ! -f "$prefix/system.reg" ]; then
        echo "wine-emulator: could not make the Wine prefix $prefix" >&2
        exit 1
    fi
    touch "$ready"
fi
# A fresh Wine server starts Wine's own background processes with the first program, and they
# would inherit its output pipe and hold ctest until the server goes. Start them here, detached,
# and keep the server up a little between the suite's programs.
if wineserver -p10 </dev/null >/dev/null 2>&1 9>&-; then
    "$wine" cmd /c exit </dev/null >/dev/null 2>&1 9>&- || true
fi
exec 9>&-

exec "$wine" "$@"
