#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz: clang with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for SECONDS (default 60), starting
# from its seed corpus in fuzz/corpus/<target>/. A finding leaves its input in
# fuzz/artifacts/<target>/ and makes the exit status non-zero.
#   ./fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")"
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_repair fuzz_file_name fuzz_streams fuzz_log)
scripts/install-deps.sh test

mkdir -p build
if ! { cmake --preset fuzz && cmake --build --preset fuzz --target "${targets[@]}"; } >build/fuzz-build.log 2>&1; then
  tail -n 40 build/fuzz-build.log
  echo "0 passed, ${#targets[@]} failed: fuzz targets (build failed, see build/fuzz-build.log)"
  exit 1
fi

# Long enough for log messages beyond the 8191 characters a line holds.
max_len_of() { [ "$1" = fuzz_log ] && echo 20000 || echo 4096; }

passed=0
failed=0
root=$PWD
for target in "${targets[@]}"; do
  binary=$root/build/fuzz/fuzz/$target
  seeds=$root/fuzz/corpus/$target
  work=$root/build/fuzz/work/$target  # also the target's current directory
  corpus=$work/corpus                 # what this machine's runs found so far
  artifacts=$root/fuzz/artifacts/$target/
  log=$work/fuzz.log
  mkdir -p "$corpus" "$artifacts"
  set +e
  (cd "$work" && "$binary" -max_total_time="$seconds" -max_len="$(max_len_of "$target")" \
      -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts" \
      "$corpus" "$seeds") >"$log" 2>&1
  status=$?
  set -e
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
  coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -n1 || true)
  if [ "$status" -eq 0 ]; then
    echo "ok:   $target: ${runs:-?} executions in ${seconds}s, ${coverage:-cov: ?}, no finding"
    passed=$((passed + 1))
  else
    echo "FAIL: $target (exit $status); input in $artifacts; log $log:"
    grep -E 'ERROR|property failed|SUMMARY|runtime error' "$log" | head -n 20 || tail -n 30 "$log"
    failed=$((failed + 1))
  fi
done
echo "$passed passed, $failed failed: fuzz targets"
[ "$failed" -eq 0 ]
