#!/usr/bin/env bash
# Every window of the program wholly on the screen: the window test (tests/test_UScreen_Fit.cpp) on a display
# of its own (Xvfb) of 1280x1024 and of 1920x1080, each at the scale factors 1, 1.5 and 2.
#   scripts/test_screens.sh [TEST]      (default: build-test/tests/test_UScreen_Fit)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/xvfb.sh
test=$(realpath "${1:-build-test/tests/test_UScreen_Fit}")
[[ -x $test ]] || { echo "test_screens: no test at $test (build it first)" >&2; exit 1; }
command -v Xvfb > /dev/null || { echo "test_screens: Xvfb is missing: scripts/setup.sh installs it" >&2; exit 1; }

failed=0
for size in 1280x1024 1920x1080; do
    start_xvfb "${size}x24"
    for scale in 1 1.5 2; do
        echo "== screen $size, scale factor $scale"
        QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale NO_AT_BRIDGE=1 "$test" || failed=1
    done
    stop_xvfb
done
exit $failed
