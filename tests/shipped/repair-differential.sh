#!/usr/bin/env bash
# The shipped build's SSE2 repair, scalar repair and Win1251ToUTF8 handler
# compared on generated texts (tests/shipped/differential/Driver.c): its
# i686 objects and a freestanding driver, linked as a static i386 ELF and
# run by qemu-i386, which runs where the kernel runs no 32-bit programs.
# Then the same with a broken copy of the SSE2 repair, built here from the
# sources with one letter boundary moved by one, which must be caught.
# Ends with one line "N passed, M failed".
#   tests/shipped/repair-differential.sh [BUILD_DIR]   (default build/windows-i686)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/windows-i686}
objects=$build/functions/CMakeFiles/ql_functions.dir
out=$root/build/repair-differential
rm -rf "$out"
mkdir -p "$out"
summary="SSE2 path, scalar path and handler alike, and a broken copy caught"
fail() { echo "FAIL: $*"; echo "0 passed, 1 failed: $summary"; exit 1; }

repair_objects=(Win1251Scalar Win1251Sse2 ConvertWin1251ToUTF8 ResultBuffer ProcessorSse2)
for object in "${repair_objects[@]}"; do
  [ -f "$objects/$object.cpp.obj" ] || fail "no $objects/$object.cpp.obj (build the shipped DLL first)"
done
command -v qemu-i386 >/dev/null || fail "qemu-i386 is missing: run scripts/install-deps.sh test"
cc=i686-w64-mingw32-gcc-win32
flags=(-std=c11 -O2 -ffreestanding -fno-asynchronous-unwind-tables -Wall -Wextra -Werror)
$cc "${flags[@]}" -c "$root/tests/shipped/differential/Driver.c" -o "$out/Driver.o" || fail "the driver does not build"
$cc "${flags[@]}" -c "$root/tests/shipped/freestanding/RuntimeStubs.c" -o "$out/RuntimeStubs.o" ||
  fail "the runtime stubs do not build"
$cc -c "$root/tests/shipped/freestanding/Start.S" -o "$out/Start.o" || fail "the entry does not build"

# link PROGRAM SSE2_OBJECT: the driver with the repair objects, ld reading
# the PE objects as they are (objcopy to ELF would misplace calls).
link() {
  local program=$1 sse2=$2 linked=()
  for object in "${repair_objects[@]}"; do linked+=("$objects/$object.cpp.obj"); done
  linked[1]=$sse2
  ld -m elf_i386 -b pe-i386 -static -e _start -o "$program" "$out/Start.o" "$out/Driver.o" "$out/RuntimeStubs.o" \
    "${linked[@]}" "$($cc -print-libgcc-file-name)"
}
link "$out/differential" "$objects/Win1251Sse2.cpp.obj" || fail "the test program does not link"

set +e
output=$(qemu-i386 "$out/differential" 2>&1)
status=$?
set -e
if [ "$status" -ne 0 ]; then
  grep -q " failed: " <<<"$output" ||
    fail "the test program ended with status $status (139: a read or write past a page, or a misaligned SSE operand)"
  echo "$output"
  exit 1
fi
head -n -1 <<<"$output"

# The broken copy: a block whose last byte is a lead is taken whole, so the
# pair is split there. Compiled as the build compiles the original.
flags_file=$objects/flags.make
compiler=$(sed -n 's/^# compile CXX with //p' "$flags_file")
read -ra cxx_flags <<<"$(sed -n 's/^CXX_DEFINES = //p; s/^CXX_FLAGS = //p' "$flags_file" | tr '\n' ' ')"
includes=$(sed -n 's/^CXX_INCLUDES = @//p' "$flags_file")
broken=$out/BrokenWin1251Sse2.cpp
sed 's/if (taken == 16 \&\& src\[15\] == 0xC3) taken = 15;//' "$root/functions/Win1251Sse2.cpp" >"$broken"
! cmp -s "$broken" "$root/functions/Win1251Sse2.cpp" || fail "the broken copy's change no longer applies"
(cd "$build/functions" && $compiler "${cxx_flags[@]}" "@$includes" -c "$broken" -o "$out/Broken.obj") ||
  fail "the broken copy does not build"
link "$out/differential-broken" "$out/Broken.obj" || fail "the broken test program does not link"
set +e
broken_output=$(qemu-i386 "$out/differential-broken" 300 2>&1)
broken_status=$?
set -e
if [ "$broken_status" -eq 0 ] || ! grep -q "^FAIL: RepairSse2" <<<"$broken_output"; then
  fail "the broken copy passed: $(tail -1 <<<"$broken_output")"
fi
echo "the broken copy is caught: $(head -1 <<<"$broken_output" | cut -c7-120)"
read -r passed _ < <(tail -1 <<<"$output")
echo "$((passed + 1)) passed, 0 failed: $summary"
