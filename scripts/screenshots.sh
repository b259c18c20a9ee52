#!/usr/bin/env bash
# Pictures every window of Quillon in its typical states, offscreen, into docs/screenshots/*.png.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/build.sh
scripts/setup.sh
build=build-screenshots
configure_and_build -S scripts/screenshots -B "$build" -DCMAKE_BUILD_TYPE=Release -- -j 2 --target quillon_screenshots
QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 "$build/quillon_screenshots" docs/screenshots
# The main window at 200 %.
QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=2 LC_ALL=C.UTF-8 "$build/quillon_screenshots" --scaled docs/screenshots
