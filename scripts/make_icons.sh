#!/usr/bin/env bash
# Redraws the program's button pictures and logo (app/resources/icons/*.png), the desktop's application
# icon (packaging/icons/<N>x<N>/apps/*.png) and the flags of the shipped languages (language/shipped/*.bmp)
# from their drawing code.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/build.sh
build=build-icons
configure_and_build -S tools/icons -B "$build" -DCMAKE_BUILD_TYPE=Release -- -j 2
"$build/make_icons" app/resources/icons packaging/icons language/shipped
ls app/resources/icons packaging/icons language/shipped
