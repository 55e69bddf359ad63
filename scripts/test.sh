#!/usr/bin/env bash
# Installs what the project needs, builds it, and runs every test. Then, in
# a second build folder, runs the whole suite again under AddressSanitizer
# and UndefinedBehaviorSanitizer, and in a third the suites whose code
# starts threads (ctest label "threads") under ThreadSanitizer. Last, the
# Windows build's suites under Wine.
# Usage: scripts/test.sh [--no-sanitize]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

# Paths relative to the checkout, so that another checkout on the same
# machine (CI's fresh clone) hits the compiler cache.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"

jobs=$(nproc)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"
# The Linux packages of that build, unpacked and tried.
bash scripts/package.sh --test build

if [ "${1:-}" != "--no-sanitize" ]; then
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DUPDATER_SANITIZE=ON -DUPDATER_BUILD_BENCHMARKS=OFF
  cmake --build build-asan -j"$jobs"
  ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-asan --output-on-failure -j"$jobs"
  bash scripts/fuzz.sh 15  # every libFuzzer target ~15 s under ASan and UBSan (longer: scripts/fuzz.sh 600)

  # Only the executables of the "threads" suites (and updater-cli, which the
  # end-to-end suite runs) are built here. A race report fails the test: in
  # the test process through halt_on_error, in a started updater-cli
  # through the exit code that the test checks.
  cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DUPDATER_SANITIZE_THREAD=ON \
    -DUPDATER_BUILD_BENCHMARKS=OFF -DUPDATER_ENABLE_GTK=OFF
  cmake --build build-tsan -j"$jobs" --target prefetch_tests platform_tests trust_tests e2e_tests range_download_tests
  # The killed-writer test races a forked writer against its own deadline,
  # which the instrumented writer can miss; it starts no threads.
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp" \
    ctest --test-dir build-tsan -L threads -E 'KilledWriterLeavesOneWholeVersion' --timeout 900 \
    --output-on-failure -j"$jobs"
fi

bash scripts/build-windows.sh --test
