#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test (the sanitizers'
# options are the test preset's, in CMakePresets.json).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/build.sh
scripts/setup.sh
configure_and_build sanitizer
ctest --preset sanitizer -j "$(nproc)"
