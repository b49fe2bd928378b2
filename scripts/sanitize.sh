#!/usr/bin/env bash
# The sanitizer run before every merge. Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer
# (QAVREK_SANITIZE) in $QAVREK_SANITIZE_BUILD_DIR (default build-asan) and runs every test, the Python suite
# included; then the thread tests under ThreadSanitizer (scripts/tsan.sh).
#   QAVREK_JOBS   parallel build and test jobs (default: the number of processors)
# Any report of a sanitizer fails its test.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${QAVREK_SANITIZE_BUILD_DIR:-build-asan}
jobs=${QAVREK_JOBS:-$(nproc)}
QAVREK_BUILD_DIR=$build_dir bash scripts/setup.sh -DQAVREK_SANITIZE=ON
cmake --build "$build_dir" -j"$jobs"
UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir "$build_dir" --output-on-failure -j"$jobs"
bash scripts/tsan.sh
