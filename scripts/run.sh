#!/usr/bin/env bash
# Sets up and builds, then runs the program against the virtual controller in a
# program folder of its own, build/demo/: a copy of the built program with the
# controller's pseudo-terminal linked as its port COM1. build/zavo/ stays the
# real program folder; its ports/ links to a real adapter are never touched.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/setup.sh"
built="$here/build/zavo"
demo="$here/build/demo"
vc="$here/build/tools/virtual-controller"
mkdir -p "$demo/mon" "$demo/ports"
# A copy, not a link: the program takes the folder its executable really lies
# in as its own. Replaced by renaming, so a demo still running keeps its file.
if [ ! -e "$demo/zavo" ] || [ "$built/zavo" -nt "$demo/zavo" ]; then
    cp "$built/zavo" "$demo/.zavo.new"
    mv -f "$demo/.zavo.new" "$demo/zavo"
fi
cp -R "$built/sounds" "$built/pics" "$demo/"
pid=""
if [ -x "$vc" ]; then
    "$vc" --link "$demo/ports/COM1" --transcript "$demo/virtual-controller.log" >/dev/null &
    pid=$!
    trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null' EXIT
    for _ in $(seq 50); do [ -e "$demo/ports/COM1" ] && break; sleep 0.1; done
fi
"$demo/zavo"
