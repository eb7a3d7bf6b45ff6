#!/usr/bin/env bash
# Runs every fuzz target for the given seconds (default 600), one after the
# other, in the sanitizer build. New inputs go to build-sanitize/fuzz/work/,
# findings to build-sanitize/fuzz/findings/. Exit status 1 on any finding.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-600}"
san="$here/build-sanitize"
if [ ! -f "$san/build.ninja" ]; then
    CC=clang-14 CXX=clang++-14 cmake -S "$here" -B "$san" -G Ninja \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZAVO_SANITIZE=ON -DZAVO_BENCH=OFF >/dev/null || exit 2
fi
targets=$(cd "$san" && ninja -t targets all | grep -oE '^fuzz_[a-z0-9_]+: phony' |
    grep -v _autogen | cut -d: -f1)
cmake --build "$san" -j "$(nproc)" --target $targets || exit 2
export QT_QPA_PLATFORM=offscreen UBSAN_OPTIONS=print_stacktrace=1
export LSAN_OPTIONS="suppressions=$here/scripts/lsan.supp"
mkdir -p "$san/fuzz/findings"
status=0
for t in $targets; do
    name="${t#fuzz_}"
    mkdir -p "$san/fuzz/work/$name" "$here/fuzz/corpus/$name"
    echo "== $t: $seconds s"
    log="$san/fuzz/work/$name.log"
    "$san/fuzz/$t" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$san/fuzz/findings/$name-" \
        "$san/fuzz/work/$name" "$here/fuzz/corpus/$name" >"$log" 2>&1 || status=1
    grep -E '(DONE|number_of_executed_units|ERROR|SUMMARY|Test unit written)' "$log"
done
exit $status
