#!/usr/bin/env bash
# Runs every native test binary once under valgrind memcheck, each in an
# empty working directory of its own, and fails on any report: invalid
# reads or writes, uses of undefined values, and definite or possible leaks.
# Death tests re-run the binary as a child, which runs outside valgrind
# (--trace-children=no); their parents, and every other test, run inside.
#   scripts/valgrind-tests.sh [BUILD_DIR]   (default build/native)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build/native}" && pwd)

passed=0
failed=0
for binary in "$build"/tests/test_*; do
  [ -f "$binary" ] && [ -x "$binary" ] || continue
  name=$(basename "$binary")
  dir=$build/valgrind/$name
  rm -rf "$dir"
  mkdir -p "$dir"
  if (cd "$dir" && valgrind --quiet --error-exitcode=99 --leak-check=full \
        --show-leak-kinds=definite,possible --errors-for-leak-kinds=definite,possible \
        --trace-children=no --log-file="$dir/valgrind.txt" "$binary" >"$dir/output.txt" 2>&1); then
    echo "ok:   $name under valgrind: $(grep -o '[0-9]* tests\? from [0-9]* test suites\? ran' "$dir/output.txt" | tail -n1)"
    passed=$((passed + 1))
  else
    echo "FAIL: $name under valgrind; reports in $dir/valgrind.txt, output in $dir/output.txt"
    head -n 60 "$dir/valgrind.txt"
    grep -E '^\[  FAILED  \]' "$dir/output.txt" | head -n 20 || true
    failed=$((failed + 1))
  fi
done
echo "$passed passed, $failed failed: valgrind memcheck"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
