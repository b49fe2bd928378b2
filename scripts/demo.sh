#!/usr/bin/env bash
# Installs what is missing, builds and runs the demonstration.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --build build -j"$(nproc)" --target demo
./build/bin/demo build/hjm_parameters.json
