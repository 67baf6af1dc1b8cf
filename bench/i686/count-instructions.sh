#!/usr/bin/env bash
# Instructions the shipped build's i686 repair executes, counted under
# qemu-i386 (deterministic, and it runs where the kernel runs no 32-bit
# programs): the objects of BUILD_DIR (default build/windows-i686, as
# scripts/package.sh leaves it) linked with CountDriver.c as a static i386
# ELF, one run per row, each run's translation blocks counted by
# count_instructions.py. Prints a table: instructions per call and per byte.
#   bench/i686/count-instructions.sh [BUILD_DIR] [ROWS...]
# A row is TEXT:PATH:BYTES[:OFFSET] (CountDriver.c); the default rows are
# those bench/README.md records. With QL_COUNT_BY_FUNCTION=1 each row is
# followed by its instructions per function.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build/windows-i686}
shift || true
objects=$build/functions/CMakeFiles/ql_functions.dir
out=$root/build/count-instructions/$(basename "$build")
mkdir -p "$out"
cc=i686-w64-mingw32-gcc-win32
freestanding=$root/tests/shipped/freestanding
flags=(-std=c11 -O1 -ffreestanding -fno-asynchronous-unwind-tables -Wall -Wextra -Werror)
$cc "${flags[@]}" -c "$here/CountDriver.c" -o "$out/CountDriver.o"
$cc "${flags[@]}" -c "$freestanding/RuntimeStubs.c" -o "$out/RuntimeStubs.o"
$cc -c "$freestanding/Start.S" -o "$out/Start.o"
ld -m elf_i386 -b pe-i386 -static -e _start -o "$out/count-driver" "$out/Start.o" "$out/CountDriver.o" "$out/RuntimeStubs.o" \
  "$objects"/{Win1251Scalar,Win1251Sse2,ConvertWin1251ToUTF8,ResultBuffer,ProcessorSse2}.cpp.obj \
  "$($cc -print-libgcc-file-name)"

symbol() { nm "$out/count-driver" | awk -v name="$1" '$3 == name { print $1 }'; }
begin=$(symbol _count_begin)
end=$(symbol _count_end)
rows=("$@")
if [ ${#rows[@]} -eq 0 ]; then
  rows=(ascii:sse2:1048576 russian:sse2:1048576 misdecoded:sse2:1048576 guillemets:sse2:1048576
        ascii:scalar:1048576 russian:scalar:1048576 misdecoded:scalar:1048576 guillemets:scalar:1048576
        dashes:sse2:65536 dashes:scalar:65536
        misdecoded:sse2:40 misdecoded:scalar:40 misdecoded:handler:40 misdecoded:handler:40:5
        misdecoded:handler:20 misdecoded:handler:200 guillemets:handler:40 ascii:handler:40 russian:handler:40
        ascii:handler:2000 russian:handler:2000 misdecoded:handler:2000)
fi
printf '%-12s %-8s %9s %4s %12s %10s\n' text path bytes off instructions per-byte
for row in "${rows[@]}"; do
  IFS=: read -r text path bytes offset <<<"$row"
  offset=${offset:-0}
  qemu-i386 -d in_asm,exec,nochain -D "$out/trace.log" "$out/count-driver" "$text" "$path" "$bytes" "$offset"
  counted=$(python3 "$here/count_instructions.py" "$out/trace.log" "$begin" "$end" \
    ${QL_COUNT_BY_FUNCTION:+"$out/count-driver"})
  read -r count _ <<<"$counted"
  printf '%-12s %-8s %9s %4s %12s %10s\n' "$text" "$path" "$bytes" "$offset" "$count" \
    "$(python3 -c "print(f'{$count / $bytes:.2f}')")"
  tail -n +2 <<<"$counted"
done
rm -f "$out/trace.log"
