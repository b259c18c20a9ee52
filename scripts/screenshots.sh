#!/usr/bin/env bash
# Pictures every window of Quillon in its typical states, offscreen, into docs/screenshots/*.png.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build=build-screenshots
cmake -S scripts/screenshots -B "$build" -DCMAKE_BUILD_TYPE=Release > "$build.configure.log" 2>&1 ||
    { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j 2 --target quillon_screenshots
QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 "$build/quillon_screenshots" docs/screenshots
