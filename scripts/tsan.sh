#!/usr/bin/env bash
# Builds the libraries with ThreadSanitizer (QAVREK_TSAN) in $QAVREK_TSAN_BUILD_DIR (default build-tsan) and
# runs the tests whose work spans threads: the parallel loops and their pool, the registries, loads, random
# managers, simulations and calibrations started from several threads at once, and the HJM calibration,
# simulation, random-manager and persistence tests. Parallel loops run on the library's own thread pool
# whatever backend a test selects: Debian's oneTBB is not built with the sanitizer, which would take the
# hand-over of data between its threads for races.
#   QAVREK_JOBS   parallel build jobs (default: the number of processors)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${QAVREK_TSAN_BUILD_DIR:-build-tsan}
jobs=${QAVREK_JOBS:-$(nproc)}
QAVREK_BUILD_DIR=$build_dir bash scripts/setup.sh -DQAVREK_TSAN=ON -DQAVREK_BUILD_PYTHON=OFF \
  -DQAVREK_BUILD_BENCHMARKS=OFF -DQAVREK_BUILD_EXAMPLES=OFF
tests=(CoreTests SerializationTests AnalyticsConcurrencyTests AnalyticsHjmCalibrationTests AnalyticsSimulationTests
       AnalyticsRandomManagerTests AnalyticsPersistenceTests)
cmake --build "$build_dir" -j"$jobs" --target "${tests[@]}"
for test in "${tests[@]}"; do
  echo "ThreadSanitizer: $test"
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" "$build_dir/bin/$test" --gtest_brief=1
done
