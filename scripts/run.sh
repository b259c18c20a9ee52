#!/usr/bin/env bash
# Builds Quillon and starts the configurator. Its workspace lies beside the executable, in build/app/.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/build.sh
scripts/setup.sh build
configure_and_build release
exec build/app/quillon "$@"
