#!/usr/bin/env bash
# Installs what is missing (Debian 12 packages) and configures the Release build in $QAVREK_BUILD_DIR
# (default: build); further arguments go to the CMake configuration.
set -euo pipefail
cd "$(dirname "$0")/.."

# clang and its run-time libraries build the fuzz harnesses (scripts/fuzz.sh); the library needs only g++.
packages=(g++ cmake make nlohmann-json3-dev libtbb-dev python3-dev libeigen3-dev libboost-math-dev
          libgtest-dev libgmock-dev libbenchmark-dev python3-pytest python3-numpy libquantlib0-dev
          libhwy-dev clang libclang-rt-14-dev)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build_dir=${QAVREK_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DPython3_EXECUTABLE=/usr/bin/python3 "$@" >/dev/null
