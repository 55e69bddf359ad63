#!/usr/bin/env bash
# Installs what the project needs, builds it, and runs every test. Then, in
# a second build folder, runs the whole suite again under AddressSanitizer
# and UndefinedBehaviorSanitizer. Usage: scripts/test.sh [--no-sanitize]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

if [ "${1:-}" != "--no-sanitize" ]; then
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DUPDATER_SANITIZE=ON -DUPDATER_BUILD_BENCHMARKS=OFF
  cmake --build build-asan -j"$jobs"
  ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-asan --output-on-failure -j"$jobs"
  bash scripts/fuzz.sh 30  # every libFuzzer target ~30 s under ASan and UBSan
fi
