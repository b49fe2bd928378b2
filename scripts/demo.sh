#!/usr/bin/env bash
# Installs what is missing, builds the demonstration and the Python modules, and runs the demonstration.
#   QAVREK_BUILD_DIR   the build folder (default: build)
#   QAVREK_JOBS        parallel build jobs (default: the number of processors)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${QAVREK_BUILD_DIR:-build}
jobs=${QAVREK_JOBS:-$(nproc)}
bash scripts/setup.sh
cmake --build "$build_dir" -j"$jobs" --target demo qavrek_python_modules
"$build_dir/bin/demo" "$build_dir/hjm_parameters.json"
echo
echo "Python modules: PYTHONPATH=$build_dir/python /usr/bin/python3"
