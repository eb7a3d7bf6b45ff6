#!/usr/bin/env bash
# Sets up and builds, starts the virtual controller on a pseudo-terminal
# linked as the program's port COM1, and starts the program against it.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/setup.sh"
prog="$here/build/zavo"
vc="$here/build/tools/virtual-controller"
pid=""
if [ -x "$vc" ]; then
    mkdir -p "$prog/ports"
    "$vc" --link "$prog/ports/COM1" --transcript "$prog/virtual-controller.log" &
    pid=$!
    trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null' EXIT
    for _ in $(seq 50); do [ -e "$prog/ports/COM1" ] && break; sleep 0.1; done
fi
"$prog/zavo"
