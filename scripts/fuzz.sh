#!/usr/bin/env bash
# Builds the libraries with clang, AddressSanitizer and UndefinedBehaviorSanitizer in $QAVREK_FUZZ_BUILD_DIR
# (default build-fuzz), runs the Serialization, persistence and parameter tests there (the files they write
# seed the fuzz harnesses), then runs every fuzz harness.
#   QAVREK_FUZZ_SECONDS   seconds per harness (default 2: the short run of the test command)
#   QAVREK_FUZZ_RUNS      inputs per harness instead of a time (the long run: 1000000)
#   QAVREK_FUZZ_FILTER    an extended regular expression: only the harnesses whose names match it run
#   QAVREK_JOBS           parallel build jobs and harnesses (default: the number of processors)
# A harness fails on a crash, a sanitizer report, a leak, an input slower than 1 s or more than 2 GB of
# memory; its input is kept in $QAVREK_FUZZ_BUILD_DIR/fuzz/findings. Each harness keeps its corpus in
# $QAVREK_FUZZ_BUILD_DIR/fuzz/corpus, so that later runs start where earlier ones stopped.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${QAVREK_FUZZ_BUILD_DIR:-build-fuzz}
jobs=${QAVREK_JOBS:-$(nproc)}
seconds=${QAVREK_FUZZ_SECONDS:-2}
runs=${QAVREK_FUZZ_RUNS:-}
filter=${QAVREK_FUZZ_FILTER:-.}

QAVREK_BUILD_DIR=$build_dir CC=clang CXX=clang++ bash scripts/setup.sh -DQAVREK_SANITIZE=ON -DQAVREK_BUILD_FUZZERS=ON \
  -DQAVREK_BUILD_PYTHON=OFF -DQAVREK_BUILD_BENCHMARKS=OFF -DQAVREK_BUILD_EXAMPLES=OFF
tests=(CoreTests SerializationTests SerializationTemplatesTests AnalyticsPersistenceTests AnalyticsHostileFilesTests
       AnalyticsIdsTests AnalyticsSettingsTests AnalyticsParametersTests)
cmake --build "$build_dir" -j"$jobs" --target qavrek_fuzz_loaders "${tests[@]}"

fuzz_dir=$build_dir/fuzz
seeds=$fuzz_dir/seeds
mkdir -p "$seeds" "$fuzz_dir/corpus" "$fuzz_dir/findings" "$fuzz_dir/logs"
echo "Sanitized tests: ${tests[*]}"
for test in "${tests[@]}"; do
  QAVREK_KEEP_TEST_FILES=$seeds "$build_dir/bin/$test" --gtest_brief=1 > "$fuzz_dir/logs/$test.log" 2>&1 \
    || { cat "$fuzz_dir/logs/$test.log"; echo "$test failed under the sanitizers"; exit 1; }
done
echo "$(find "$seeds" -type f | wc -l) seed files"
# The texts of the seeds (keys, class names, special values) are the words that mutations insert.
dictionary=$fuzz_dir/words.dict
cat "$seeds"/*.json | grep -o '"[A-Za-z0-9_.:! -]*"' | sort -u > "$dictionary"

harness=$(realpath "$build_dir/bin/qavrek_fuzz_loaders")
if [ -n "$runs" ]; then limit="-runs=$runs"; else limit="-max_total_time=$seconds"; fi
export harness seeds fuzz_dir limit dictionary
run_target() {
  local target=$1
  local name=${target//[^A-Za-z0-9_.]/_}
  local corpus=$fuzz_dir/corpus/$name log=$fuzz_dir/logs/$name.log slowest
  export QAVREK_FUZZ_TARGET=$target
  mkdir -p "$corpus"
  if ! "$harness" "$corpus" "$seeds" "$limit" -dict="$dictionary" -timeout=1 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$fuzz_dir/findings/$name-" > "$log" 2>&1; then
    tail -n 40 "$log"
    echo "FAILED: $target (log $log)"
    return 1
  fi
  # Every input of the corpus once more, timed one by one.
  slowest=$(find "$corpus" -type f -print0 | xargs -0 -r "$harness" 2>&1 |
            sed -n 's/^Executed .* in \([0-9]*\) ms$/\1/p' | sort -n | tail -n 1)
  printf '%-58s %9s inputs, %6s in the corpus, slowest %s ms\n' "$target" \
    "$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")" "$(find "$corpus" -type f | wc -l)" "${slowest:-0}"
}
export -f run_target
echo "Fuzzing ($limit per harness, $jobs at a time):"
QAVREK_FUZZ_TARGET=list "$harness" | { grep -E "$filter" || true; } | xargs -P "$jobs" -I{} bash -c 'run_target "$@"' _ {}
