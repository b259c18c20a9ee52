#!/usr/bin/env bash
# Status benchmark (Release build): quillon-cli status of a whole workspace (in process, through Run_Cli) with
# 100, 1 000 and 10 000 configurations, each keeping 1 run and 100 runs, the newest a success; the median time,
# per configuration, and the ratios 100 runs / 1 run and between configuration counts. Prints figures; nothing
# to pass or fail.
# Usage: bench/status.sh [scratch directory, default the system's temporary one] [counts, default 100,1000,10000]
# The largest case is 1 million run directories, about 4 GB on ext4 for a few minutes, removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/build.sh
scripts/setup.sh build
build=build-bench
configure_and_build -S bench -B "$build" -DCMAKE_BUILD_TYPE=Release -- -j 2 --target quillon_status_bench
scratch=${1:-${TMPDIR:-/tmp}}
echo "status of a whole workspace: $(nproc) cores, $(uname -sr)," \
    "scratch on $(df -T "$scratch" | awk 'NR==2 {print $2}'), load average $(cut -d' ' -f1-3 /proc/loadavg)"
LC_ALL=C.UTF-8 "$build/quillon_status_bench" "$scratch" "${2:-100,1000,10000}"
