#!/usr/bin/env bash
# Runs the shipped i686 DLL in real 32-bit Windows processes under 32-bit
# Wine, one case per process, against a game side compiled by clang for the
# MSVC ABI (tests/i686/). Ends with one line "N passed, M failed".
#   scripts/run-i686.sh [DLL]          (default dist/quiverleaf_extensions.dll)
#   scripts/run-i686.sh --bench [DLL]  times the repair instead (figures only)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bench=false
if [ "${1:-}" = --bench ]; then bench=true; shift; fi
dll=${1:-$root/dist/quiverleaf_extensions.dll}
out=$root/build/i686-harness
src=$root/tests/i686
wine_dir=/usr/lib/wine

fatal() {  # Anything but a kernel without 32-bit support is a failure.
  echo "FAIL: $*"
  echo "0 passed, 1 failed"
  exit 1
}

mkdir -p "$out" || fatal "cannot create $out"

# A static i386 program that only exits with status 0.
python3 - "$out/probe-i386" <<'PY' || fatal "cannot write the i386 probe"
import os, struct, sys
code = b"\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80"  # exit(0) through int 0x80
base, headers = 0x08048000, 52 + 32
elf = struct.pack("<4s5B7xHHIIIIIHHHHHH", b"\x7fELF", 1, 1, 1, 0, 0, 2, 3, 1, base + headers, 52, 0, 0,
                  52, 32, 1, 0, 0, 0)
segment = struct.pack("<8I", 1, 0, base, base, headers + len(code), headers + len(code), 5, 0x1000)
with open(sys.argv[1], "wb") as f:
    f.write(elf + segment + code)
os.chmod(sys.argv[1], 0o755)
PY
if ! "$out/probe-i386" 2>/dev/null; then
  echo "SKIPPED: this kernel does not run 32-bit programs, so the i686 DLL cannot run here"
  echo "0 passed, 0 failed"
  exit 0
fi

[ -f "$dll" ] || fatal "no DLL at $dll (build it first)"
[ -x "$wine_dir/wine" ] || fatal "32-bit Wine is missing ($wine_dir/wine): run scripts/install-deps.sh"
for tool in clang lld-link i686-w64-mingw32-gcc-win32; do
  command -v $tool >/dev/null || fatal "$tool is missing: run scripts/install-deps.sh"
done

clang --target=i686-pc-windows-msvc -ffreestanding -fno-exceptions -fno-rtti -O1 -std=c++20 -Wall -Wextra \
  -c "$src/game/Game.cpp" -o "$out/Game.obj" &&
  lld-link /nologo /dll /nodefaultlib /noentry /out:"$out/game.dll" "$out/Game.obj" >/dev/null ||
  fatal "the game side does not build"
# Image base 0x00400000 without relocation, so the host's image spans the
# game's fixed addresses.
i686-w64-mingw32-gcc-win32 -std=c11 -O1 -g -Wall -Wextra -Wshadow -Wundef -Wcast-qual -Wformat=2 \
  -Wno-format-nonliteral -D__USE_MINGW_ANSI_STDIO=1 -DWIN32_LEAN_AND_MEAN -static \
  -Wl,--image-base,0x00400000,--disable-dynamicbase -o "$out/host.exe" \
  "$src/host/Host.c" "$src/host/Cases.c" "$src/host/Bench.c" "$src/host/CheckedCall.S" || fatal "the host does not build"

export WINEPREFIX=${QL_WINEPREFIX_I686:-$HOME/.wine-quiverleaf-i686} WINEARCH=win32
export WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
"$wine_dir/wine" wineboot -i >/dev/null 2>&1 && "$wine_dir/wineserver" -w ||
  fatal "the 32-bit Wine prefix $WINEPREFIX does not start"

windows_path() { local path; path=$(cd "$(dirname "$1")" && pwd)/$(basename "$1"); echo "Z:${path//\//\\}"; }
dll_path=$(windows_path "$dll")
# Debian's win32-thread libgcc: needs no libwinpthread beside it.
foreign=$(i686-w64-mingw32-gcc-win32 -print-file-name=libgcc_s_dw2-1.dll)
[ -f "$foreign" ] && foreign=$(windows_path "$foreign")

if $bench; then
  dir=$out/benchmark
  rm -rf "$dir" && mkdir -p "$dir" && cp "$out/host.exe" "$out/game.dll" "$dir/"
  (cd "$dir" && timeout 600 "$wine_dir/wine" host.exe benchmark "$dll_path" 2>&1 | tr -d '\r')
  exit "${PIPESTATUS[0]}"
fi

# Once, right after the prefix started, Wine crashed in this step: a second
# try tells such a glitch from a host that cannot list its cases.
for attempt in 1 2; do
  list=$(cd "$out" && "$wine_dir/wine" host.exe --list 2>&1 | tr -d '\r')
  [ "$(tail -n1 <<<"$list")" = "end of cases" ] && break
done
[ "$(tail -n1 <<<"$list")" = "end of cases" ] || fatal "host.exe --list failed: $list"
cases=$(sed '$d' <<<"$list")
passed=0 failed=0
for name in $cases; do
  dir=$out/cases/$name
  rm -rf "$dir" && mkdir -p "$dir" && cp "$out/host.exe" "$out/game.dll" "$dir/"
  # Standard error carries the verdict; a crash or msvcrt's abort (exit
  # code 3) leaves none, which counts as a failure.
  output=$(cd "$dir" && timeout 60 "$wine_dir/wine" host.exe "$name" "$dll_path" "$foreign" 2>&1 | tr -d '\r')
  status=${PIPESTATUS[0]}
  if grep -qx "ok: $name" <<<"$output"; then
    echo "ok: $name"
    passed=$((passed + 1))
    continue
  fi
  failed=$((failed + 1))
  verdict=$(grep -m1 "^FAIL: $name:" <<<"$output")
  echo "${verdict:-FAIL: $name: no verdict printed (exit status $status)}"
  grep -v "^FAIL: $name:" <<<"$output" | sed 's/^/    /'
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
