#!/usr/bin/env bash
# Runs every test: the native suites, the static checks of the shipped i686
# DLL, and the x86_64 Windows build's suites under 64-bit Wine.
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

# The shipped DLL, checked statically.
run cmake --preset windows-i686
run cmake --build --preset windows-i686
run ctest --preset windows-i686

# x86_64 Windows build under Wine.
run cmake --preset windows-x86_64
run cmake --build --preset windows-x86_64
run scripts/start-wine.sh
run ctest --preset windows-x86_64

if [ "$status" -eq 0 ]; then echo "ALL TESTS PASSED"; else echo "SOME TESTS FAILED"; fi
exit "$status"
