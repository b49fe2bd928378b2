#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test, then the sanitized persistence tests and
# a short run of the fuzz harnesses (scripts/fuzz.sh).
#   QAVREK_BUILD_DIR   the build folder (default: build)
#   QAVREK_JOBS        parallel build and test jobs (default: the number of processors)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${QAVREK_BUILD_DIR:-build}
jobs=${QAVREK_JOBS:-$(nproc)}
bash scripts/setup.sh
cmake --build "$build_dir" -j"$jobs"
ctest --test-dir "$build_dir" --output-on-failure -j"$jobs"
# The Serialization, persistence and parameter tests under ASan and UBSan, then a short run of every fuzz
# harness; the whole suite runs under the sanitizers before every merge (scripts/sanitize.sh).
bash scripts/fuzz.sh
