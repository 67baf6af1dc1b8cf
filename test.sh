#!/usr/bin/env bash
# Runs every test: the native suites; the shipped i686 DLL's static checks,
# reproducibility, crash symbols and cases under 32-bit Wine; the x86_64
# Windows build's suites under 64-bit Wine; the native suites under
# sanitizers and under valgrind; and the fuzz targets for a bounded time.
# Exit status 0 only when all pass.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh

status=0
run() {
  echo "== $*"
  "$@" || status=1
}

# Native build and tests.
run cmake --preset native
run cmake --build --preset native
run ctest --preset native

# The shipped DLL and archives, built exactly as ./build.sh builds them but
# into build/shipped/: checked statically (and broken copies refused),
# rebuilt elsewhere to prove the bytes reproducible, and its symbols tried on
# a crash offset.
shipped=build/shipped
run scripts/package.sh "$shipped"
run scripts/check-dll.sh "$shipped/quiverleaf_extensions.dll"
run tests/shipped/check-dll-xp.sh "$shipped"
run tests/shipped/check-dll-refusals.py "$shipped"
# Its SSE2 repair at every stack alignment the game may leave, under qemu-i386.
run tests/shipped/repair-alignment.sh
run tests/shipped/repair-differential.sh
run tests/shipped/reproducible-build.sh "$shipped"
run tests/shipped/symbolize-example.sh "$shipped" build/reproducible/out-no-debug-info/quiverleaf_extensions.dll
# The same DLL run in 32-bit Windows processes under Wine, against a game
# side built for the MSVC ABI.
run scripts/run-i686.sh "$shipped/quiverleaf_extensions.dll"

# x86_64 Windows build under Wine.
run cmake --preset windows-x86_64
run cmake --build --preset windows-x86_64
run scripts/start-wine.sh
run ctest --preset windows-x86_64

# The native suites under AddressSanitizer and UndefinedBehaviorSanitizer.
run cmake --preset asan
run cmake --build --preset asan
run ctest --preset asan

# The native suites once under valgrind memcheck.
run scripts/valgrind-tests.sh build/native

# Every fuzz target for a bounded time (seconds each; FUZZ_SECONDS overrides).
run ./fuzz.sh "${FUZZ_SECONDS:-60}"

if [ "$status" -eq 0 ]; then echo "ALL TESTS PASSED"; else echo "SOME TESTS FAILED"; fi
exit "$status"
