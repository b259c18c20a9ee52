#!/usr/bin/env bash
# Update benchmark (Release build, offscreen): the update step over 1000 runs, the port listing, the echo
# check of 127.0.0.1 and the longest stall of the event loop while a stand-in updater runs for 3 s; then the
# longest stalls of the window thread during the program's file work, with the disk's syncs and with 200 ms ones.
# Prints figures; there is nothing to pass or fail.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/build.sh
scripts/setup.sh
build=build-bench
configure_and_build -S bench -B "$build" -DCMAKE_BUILD_TYPE=Release -- -j 2 \
    --target quillon_update_bench stand_in_updater quillon_stall_bench slow_sync
export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
"$build/quillon_update_bench" "$build/stand_in_updater"
# The window thread during the file work: with the disk's own syncs, then with each sync 200 ms slower.
"$build/quillon_stall_bench" "$build/stand_in_updater"
QUILLON_SYNC_DELAY_MS=200 LD_PRELOAD="$PWD/$build/libslow_sync.so" "$build/quillon_stall_bench" "$build/stand_in_updater"
