#!/usr/bin/env bash
# Sets up and builds, then runs every test headless: unit, end-to-end and the
# fault soak in build/, then the unit tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer (built with clang in build-sanitize/), with each
# fuzz target's corpus replayed and the target fuzzed briefly.
# Arguments go to the first CTest run (e.g. -LE soak for a quick run, -L unit).
# ZAVO_NO_SANITIZE=1 skips the sanitizer pass.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/setup.sh"
export QT_QPA_PLATFORM=offscreen
jobs="$(nproc)"
sanitize=1
[ "${ZAVO_NO_SANITIZE:-0}" = 1 ] && sanitize=0
soak=""
if [ $# -eq 0 ] && [ $sanitize = 1 ]; then
    # The whole run: the fault soak mostly waits on the controller's time-outs,
    # so it runs beside the sanitizer build instead of before it.
    (cd "$here/build" && ctest --output-on-failure -j "$jobs" -LE soak)
    soak="$here/build/soak.log"
    (cd "$here/build" && ctest --output-on-failure -L soak >"$soak" 2>&1; echo "rc $?" >>"$soak") &
    soakPid=$!
    trap 'kill "$soakPid" 2>/dev/null' EXIT
else
    (cd "$here/build" && ctest --output-on-failure -j "$jobs" "$@")
fi
[ $sanitize = 0 ] && exit 0
# clang, not GCC: GCC 12's vptr check reports a false positive on a lambda
# using a reference member of a class with virtual functions; clang checks
# the same code cleanly, and only clang has libFuzzer.
san="$here/build-sanitize"
if [ ! -f "$san/build.ninja" ]; then
    CC=clang-14 CXX=clang++-14 cmake -S "$here" -B "$san" -G Ninja \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZAVO_SANITIZE=ON -DZAVO_BENCH=OFF >/dev/null
fi
# Only what the pass runs: the unit tests and the fuzz targets.
targets=$(cd "$san" && ninja -t targets all | grep -oE '^(test|fuzz)_[a-z0-9_]+: phony' |
    grep -v _autogen | cut -d: -f1)
cmake --build "$san" -j "$jobs" --target $targets
# Stack traces for any finding; the leak suppressions name system libraries only.
export UBSAN_OPTIONS=print_stacktrace=1 LSAN_OPTIONS="suppressions=$here/scripts/lsan.supp"
(cd "$san" && ctest --output-on-failure -j "$jobs" -L 'unit|fuzz')
if [ -n "$soak" ]; then
    wait "$soakPid"
    trap - EXIT
    cat "$soak"
    grep -qx "rc 0" "$soak"
fi
