#!/usr/bin/env bash
# Installs the Debian packages the build needs (when run as root and some are
# missing), then configures and builds into build/. Fast when all is there.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev qt6-multimedia-dev qt6-charts-dev
          libgl-dev libgtest-dev libbenchmark-dev locales)
# The sanitizer pass and the fuzz targets are built with clang.
packages+=(clang-14 libfuzzer-14-dev)
# The end-to-end tests drive the real program on an X server of their own.
packages+=(xvfb xdotool libx11-dev)
# The magnetometer link's Windows transport: its cross compiler, Wine for its self-test.
packages+=(g++-mingw-w64-x86-64 wine64)
missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing: ${missing[*]}"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
    else
        echo "Missing Debian packages (run as root to install them): ${missing[*]}" >&2
        exit 1
    fi
fi
# A comma-decimal locale, so the tests can show numbers never follow the locale.
if [ "$(id -u)" -eq 0 ] && ! locale -a 2>/dev/null | grep -qix 'de_DE.utf8'; then
    localedef -i de_DE -f UTF-8 de_DE.UTF-8 >/dev/null 2>&1 || true
fi
if [ ! -f "$here/build/build.ninja" ]; then
    cmake -S "$here" -B "$here/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$here/build" -j "$(nproc)"
