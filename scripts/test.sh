#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
#   QAVREK_BUILD_DIR   the build folder (default: build)
#   QAVREK_JOBS        parallel build and test jobs (default: the number of processors)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${QAVREK_BUILD_DIR:-build}
jobs=${QAVREK_JOBS:-$(nproc)}
bash scripts/setup.sh
cmake --build "$build_dir" -j"$jobs"
ctest --test-dir "$build_dir" --output-on-failure -j"$jobs"
