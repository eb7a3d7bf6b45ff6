#!/bin/sh
# Cross-compiles the Windows transport of the magnetometer link with its
# self-test and runs the test under Wine when Wine is installed.
# Exit 77 (skipped) without the cross compiler. Usage: check_win32.sh [outdir]
set -eu
CXX=${MINGW_CXX:-x86_64-w64-mingw32-g++}
src=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$src/build/win32}
if ! command -v "$CXX" >/dev/null 2>&1; then
    echo "skipped: $CXX is not installed"
    exit 77
fi
mkdir -p "$out"
"$CXX" -std=c++20 -Wall -Wextra -Wpedantic -Wshadow=local -Werror -O1 -I"$src" -static \
    -o "$out/maglink_selftest.exe" \
    "$src/maglink/MagProtocol.cpp" "$src/maglink/Win32Transport.cpp" \
    "$src/tests/win32/maglink_selftest.cpp"
echo "compiled: $out/maglink_selftest.exe"
wine=$(command -v wine64 || command -v wine || true)
# Debian's wine64 package alone keeps its loader off the PATH.
[ -z "$wine" ] && [ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64
if [ -z "$wine" ]; then
    echo "Wine is not installed: compiled only"
    exit 0
fi
export WINEPREFIX="$out/wineprefix" WINEDEBUG=-all
# Windows need a display; a private X server when there is none.
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null 2>&1; then
    exec xvfb-run -a "$wine" "$out/maglink_selftest.exe"
fi
exec "$wine" "$out/maglink_selftest.exe"
