#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (ASan + UBSan) in
# build-fuzz and runs each for a while on its committed seed corpus.
#
#   scripts/fuzz.sh             every target ~30 s (the test run)
#   scripts/fuzz.sh 600         every target 10 minutes (a longer run)
#   scripts/fuzz.sh 60 fuzz_gzip   one target
#
# New inputs found go to build-fuzz/corpus/<target>/ (the committed seeds in
# fuzz/corpus/ are only read); a crash leaves its input in
# build-fuzz/findings/ and makes the script fail. A summary of executions
# and crashes per target is printed at the end and kept in
# build-fuzz/fuzz-summary.md.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_list_compare fuzz_bundle fuzz_datec fuzz_ftp_replies fuzz_ftp_reply fuzz_ini fuzz_big5 fuzz_gzip fuzz_minisign fuzz_server_line fuzz_content_range fuzz_byte_ranges_body fuzz_chunk_index)

CXX=clang++ CC=clang cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DUPDATER_BUILD_FUZZERS=ON \
  -DUPDATER_BUILD_TESTS=OFF -DUPDATER_BUILD_BENCHMARKS=OFF -DUPDATER_ENABLE_GTK=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]}"

# Inputs a target needs room for: a bundle trailer alone is 8989 bytes.
max_len() {
  case "$1" in
    fuzz_bundle) echo 20000 ;;
    fuzz_datec|fuzz_gzip|fuzz_list_compare) echo 16384 ;;
    *) echo 4096 ;;
  esac
}

# The FTP target connects wherever a passive reply points: give it a
# network of its own (loopback only) when the system allows.
isolated() {
  if unshare -n true 2>/dev/null; then
    unshare -n sh -c 'ip link set lo up 2>/dev/null || true; exec "$@"' sh "$@"
  else
    "$@"
  fi
}

mkdir -p build-fuzz/findings
summary=build-fuzz/fuzz-summary.md
printf '| target | seconds | executions | crashes |\n|---|---|---|---|\n' > "$summary"
failed=0
for target in "${targets[@]}"; do
  corpus=build-fuzz/corpus/$target
  mkdir -p "$corpus" "fuzz/corpus/$target"
  log=build-fuzz/$target.log
  status=0
  isolated "build-fuzz/fuzz/$target" "$corpus" "fuzz/corpus/$target" -max_total_time="$seconds" \
    -max_len="$(max_len "$target")" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="build-fuzz/findings/$target-" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  crashes=0
  if [ "$status" -ne 0 ]; then
    crashes=1
    failed=1
    echo "== $target failed (status $status); its log ends with:" >&2
    tail -40 "$log" >&2
  fi
  printf '| %s | %s | %s | %s |\n' "$target" "$seconds" "${runs:-0}" "$crashes" >> "$summary"
done
cat "$summary"
exit "$failed"
