#!/usr/bin/env bash
# The shipped build's SSE2 repair called at every stack alignment the game
# may leave (tests/shipped/alignment/): its i686 objects and a freestanding
# driver, linked as a static i386 ELF and run by qemu-i386, which faults on a
# misaligned SSE operand as the processor does and runs where the kernel
# runs no 32-bit programs. Ends with one line "N passed, M failed".
#   tests/shipped/repair-alignment.sh [BUILD_DIR]   (default build/windows-i686)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
objects=${1:-$root/build/windows-i686}/functions/CMakeFiles/ql_functions.dir
out=$root/build/repair-alignment
rm -rf "$out"
mkdir -p "$out"
fail() { echo "FAIL: $*"; echo "0 passed, 1 failed: SSE2 repair at every stack alignment"; exit 1; }

for object in Win1251Scalar Win1251Sse2; do
  [ -f "$objects/$object.cpp.obj" ] || fail "no $objects/$object.cpp.obj (build the shipped DLL first)"
done
command -v qemu-i386 >/dev/null || fail "qemu-i386 is missing: run scripts/install-deps.sh test"
cc=i686-w64-mingw32-gcc-win32
$cc -std=c11 -O1 -ffreestanding -fno-asynchronous-unwind-tables -Wall -Wextra -Werror \
  -c "$root/tests/shipped/alignment/Driver.c" -o "$out/Driver.o" || fail "the driver does not build"
$cc -c "$root/tests/shipped/alignment/CallAt.S" -o "$out/CallAt.o" || fail "the call helper does not build"
# ld reads the PE objects as they are (objcopy to ELF would misplace calls).
ld -m elf_i386 -b pe-i386 -static -e _start -o "$out/repair-alignment" "$out/Driver.o" "$out/CallAt.o" \
  "$objects/Win1251Scalar.cpp.obj" "$objects/Win1251Sse2.cpp.obj" "$($cc -print-libgcc-file-name)" ||
  fail "the test program does not link"

set +e
output=$(qemu-i386 "$out/repair-alignment" 2>&1)
status=$?
set -e
echo "$output"
[ "$status" -eq 0 ] && exit 0
grep -q " failed: " <<<"$output" || fail "the test program ended with status $status (a fault, 139: a misaligned SSE operand or a read or write past a page)"
exit 1
