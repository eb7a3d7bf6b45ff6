#!/usr/bin/env bash
# Sets up and builds, then runs every test (unit and end-to-end) headless.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/setup.sh"
export QT_QPA_PLATFORM=offscreen
cd "$here/build"
ctest --output-on-failure -j "$(nproc)" "$@"
