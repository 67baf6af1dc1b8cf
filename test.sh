#!/usr/bin/env bash
# Runs every test: the native suites; the shipped i686 DLL's static checks,
# reproducibility, crash symbols and cases under 32-bit Wine; the x86_64
# Windows build's suites under 64-bit Wine; the native suites under
# sanitizers and under valgrind; and the fuzz targets for a bounded time.
# Ends with one line per stage (result and seconds) and the total.
# Exit status 0 only when all pass. docs/testing.md describes each stage.
set -euo pipefail
cd "$(dirname "$0")"
started=$(date +%s)
scripts/install-deps.sh test

status=0
summary=()
stage_name="" stage_failed=false stage_started=0
end_stage() {
  [ -n "$stage_name" ] || return 0
  local result=passed
  $stage_failed && result=FAILED
  summary+=("$(printf '%-7s %5d s  %s' "$result" $(($(date +%s) - stage_started)) "$stage_name")")
  stage_name=""
}
stage() {  # stage NAME: the commands that follow, up to the next stage, belong to it
  end_stage
  stage_name=$1 stage_failed=false stage_started=$(date +%s)
  echo "==== $1"
}
run() {
  echo "== $*"
  "$@" || { status=1; stage_failed=true; }
}

stage "native build and suites"
run cmake --preset native
run cmake --build --preset native
run ctest --preset native

# The shipped DLL and archives, built exactly as ./build.sh builds them but
# into build/shipped/.
shipped=build/shipped
stage "shipped DLL: build and static checks"
run scripts/package.sh "$shipped"
run scripts/check-dll.sh "$shipped/quiverleaf_extensions.dll"
run tests/shipped/check-dll-xp.sh "$shipped"
run tests/shipped/check-dll-refusals.py "$shipped"
stage "shipped DLL: SSE2 repair under qemu-i386 (alignment, differential)"
run tests/shipped/repair-alignment.sh
run tests/shipped/repair-differential.sh
stage "shipped DLL: reproducible bytes and crash symbols"
run tests/shipped/reproducible-build.sh "$shipped"
run tests/shipped/symbolize-example.sh "$shipped" build/reproducible/out-no-debug-info/quiverleaf_extensions.dll
stage "shipped DLL: 32-bit Wine cases"
run scripts/run-i686.sh "$shipped/quiverleaf_extensions.dll"

stage "x86_64 Windows build under Wine"
run cmake --preset windows-x86_64
run cmake --build --preset windows-x86_64
run scripts/start-wine.sh
run ctest --preset windows-x86_64

stage "native suites under ASan and UBSan"
run cmake --preset asan
run cmake --build --preset asan
run ctest --preset asan

stage "native suites under valgrind"
run scripts/valgrind-tests.sh build/native

stage "fuzz targets, ${FUZZ_SECONDS:-60} s each"
run ./fuzz.sh "${FUZZ_SECONDS:-60}"
end_stage

echo
echo "==== summary"
printf '%s\n' "${summary[@]}"
printf '%-7s %5d s  %s\n' total $(($(date +%s) - started)) "(dependencies included)"
if [ "$status" -eq 0 ]; then echo "ALL TESTS PASSED"; else echo "SOME TESTS FAILED"; fi
failed=$(printf '%s\n' "${summary[@]}" | grep -c '^FAILED' || true)
echo "stages: $((${#summary[@]} - failed)) passed, $failed failed"
exit "$status"
