#!/usr/bin/env bash
# Builds Quillon and starts the configurator. Its workspace lies beside the executable, in build/app/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQUILLON_TESTS=OFF > build.configure.log 2>&1 ||
    { cat build.configure.log; exit 1; }
cmake --build build -j "$(nproc)"
exec build/app/quillon "$@"
