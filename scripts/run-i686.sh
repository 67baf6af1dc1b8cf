#!/usr/bin/env bash
# Runs the shipped i686 DLL in real 32-bit Windows processes under 32-bit
# Wine, one case per process, against a game side compiled by clang for the
# MSVC ABI (tests/i686/). Ends with one line "N passed, M failed".
#   scripts/run-i686.sh [DLL]          (default dist/quiverleaf_extensions.dll)
#   scripts/run-i686.sh --bench [DLL]  times the repair instead (figures only)
# The 32-bit processes run natively where the kernel runs i386 programs, else
# under qemu-i386 user emulation (no binfmt_misc registration); the first line
# says which. QL_I686_RUNNER=native or =qemu forces one way (qemu on a machine
# that could run them natively, to try that path); SKIPPED only when neither
# way can run. One persistent wineserver serves every process of the run and
# is ended with all of them when the script exits.
# The prefix (QL_WINEPREFIX_I686, default ~/.wine-quiverleaf-i686) outlives
# the run. Natively it is a 32-bit prefix that 32-bit Wine boots each run.
# Under qemu-i386 it is a 64-bit prefix made once by the native 64-bit Wine,
# in which the cases' processes run as WoW64 and nothing else runs under
# emulation; later runs reuse it until Wine changes. Nothing is retried but
# a failed listing of the cases, at once (under qemu-i386 in a prefix made
# anew, if the run reused one).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bench=false
if [ "${1:-}" = --bench ]; then bench=true; shift; fi
dll=${1:-$root/dist/quiverleaf_extensions.dll}
out=$root/build/i686-harness
src=$root/tests/i686
wine_dir=/usr/lib/wine

fatal() {  # Anything that keeps the cases from running, short of SKIPPED below, fails.
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
# Which way the 32-bit processes run: natively, or each under qemu-i386.
runner=${QL_I686_RUNNER:-auto}
case $runner in
  auto | native | qemu) ;;
  *) fatal "QL_I686_RUNNER is auto, native or qemu, not $runner" ;;
esac
native=false
{ "$out/probe-i386"; } 2>/dev/null && native=true  # a group: even a killed probe goes unreported
if [ "$runner" = native ] || { [ "$runner" = auto ] && $native; }; then
  $native || fatal "QL_I686_RUNNER=native, but this kernel does not run 32-bit programs"
  way=native
  echo "i686 cases: 32-bit processes run natively"
else
  why="this kernel does not run 32-bit programs"
  [ "$runner" = qemu ] && why="QL_I686_RUNNER=qemu"
  command -v qemu-i386 >/dev/null || fatal "$why, and qemu-i386 is missing: run scripts/install-deps.sh test"
  if ! qemu-i386 "$out/probe-i386" 2>/dev/null; then
    [ "$runner" = qemu ] && fatal "qemu-i386 does not run the i386 probe"
    echo "SKIPPED: this kernel does not run 32-bit programs, and qemu-i386 does not run them either"
    echo "0 passed, 0 failed"
    exit 0
  fi
  way=qemu
  echo "i686 cases: 32-bit processes run under qemu-i386 user emulation ($why)"
fi
if $bench && [ "$way" = qemu ]; then
  echo "SKIPPED: timings need a kernel that runs 32-bit programs; under qemu-i386 they would mean nothing"
  exit 0
fi

[ -f "$dll" ] || fatal "no DLL at $dll (build it first)"
[ -x "$wine_dir/wine" ] || fatal "32-bit Wine is missing ($wine_dir/wine): run scripts/install-deps.sh test"
for tool in clang lld-link i686-w64-mingw32-gcc-win32; do
  command -v $tool >/dev/null || fatal "$tool is missing: run scripts/install-deps.sh test"
done

# The game side builds alongside the host and the shadow below.
{
  clang --target=i686-pc-windows-msvc -ffreestanding -fno-exceptions -fno-rtti -O1 -std=c++20 -Wall -Wextra \
    -c "$src/game/Game.cpp" -o "$out/Game.obj" &&
    lld-link /nologo /dll /nodefaultlib /noentry /out:"$out/game.dll" "$out/Game.obj" >/dev/null
} >"$out/game-build.log" 2>&1 &
game_build=$!
# Image base 0x00400000 without relocation, so the host's image spans the
# game's fixed addresses.
i686-w64-mingw32-gcc-win32 -std=c11 -O1 -g -Wall -Wextra -Wshadow -Wundef -Wcast-qual -Wformat=2 \
  -Wno-format-nonliteral -D__USE_MINGW_ANSI_STDIO=1 -DWIN32_LEAN_AND_MEAN -static \
  -Wl,--image-base,0x00400000,--disable-dynamicbase -o "$out/host.exe" \
  "$src/host/Host.c" "$src/host/Cases.c" "$src/host/Bench.c" "$src/host/CheckedCall.S" || fatal "the host does not build"

# Under qemu, a shadow of Wine's 32-bit loader folder: Wine starts every
# 32-bit process through the wine-preloader beside its loader, here a script
# that runs the loader under qemu-i386. The loader is a copy, since Wine finds
# its own folders from the real path of the running executable.
if [ "$way" = qemu ]; then
  shadow=$out/qemu-wine
  [[ $shadow != *[[:space:]:]* ]] || fatal "LD_PRELOAD cannot name a library below $shadow (blank or colon)"
  rm -rf "$shadow" && mkdir -p "$shadow/lib/wine" "$shadow/lib/i386-linux-gnu" "$shadow/lib/x86_64-linux-gnu" \
    "$shadow/share" || fatal "cannot create $shadow"
  cp "$wine_dir/wine" "$shadow/lib/wine/wine" &&
    ln -s "$wine_dir/wineserver" "$shadow/lib/wine/wineserver" &&
    ln -s "$(realpath "$wine_dir/../i386-linux-gnu/wine")" "$shadow/lib/i386-linux-gnu/wine" &&
    ln -s "$(realpath "$wine_dir/../../share/wine")" "$shadow/share/wine" || fatal "cannot lay out $shadow"
  # LD_PRELOAD passes from process to process; for the 64-bit programs among
  # them (the shell, qemu-i386) $LIB names an empty library.
  clang --target=i686-linux-gnu -O2 -fPIC -Wall -Wextra -Werror -shared -nostdlib -fuse-ld=lld \
    -o "$shadow/lib/i386-linux-gnu/libql-noreplace.so" "$src/qemu/MapFixedNoReplace.c" /lib/i386-linux-gnu/libc.so.6 &&
    clang --target=x86_64-linux-gnu -shared -nostdlib -fuse-ld=lld -x c /dev/null \
      -o "$shadow/lib/x86_64-linux-gnu/libql-noreplace.so" || fatal "the qemu-i386 mapping fix does not build"
  printf '#!/bin/sh\nexec qemu-i386 -E '\''LD_PRELOAD=%s/$LIB/libql-noreplace.so'\'' "$@"\n' "$shadow" \
    >"$shadow/lib/wine/wine-preloader" && chmod +x "$shadow/lib/wine/wine-preloader" ||
    fatal "cannot write the preloader"
  wine=("$shadow/lib/wine/wine-preloader" "$shadow/lib/wine/wine")
  # The loader's own re-execution would bypass qemu-i386.
  export WINELOADERNOEXEC=1
else
  wine=("$wine_dir/wine")
fi
wait $game_build || fatal "the game side does not build: $(cat "$out/game-build.log")"
# A case takes seconds either way; one that dies ends its process at once.
case_limit=60
# The whole run stays within 14 minutes, whatever each step's own limit;
# what is left to run then fails.
budget=840
deadline=$((SECONDS + budget))
limit() { local left=$((deadline - SECONDS)); echo $((left < $1 ? left : $1)); }

# Natively a 32-bit prefix, booted by 32-bit Wine. Under qemu-i386 a 64-bit
# prefix whose 32-bit processes run as WoW64, the way the game runs on 64-bit
# Windows: the native 64-bit Wine prepares it, so no 32-bit process takes part
# in a boot (see the prefix's preparation below).
arch=win32
[ "$way" = qemu ] && arch=win64
export WINEPREFIX=${QL_WINEPREFIX_I686:-$HOME/.wine-quiverleaf-i686} WINEARCH=$arch
export WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
# A 32-bit process that crashes under qemu-i386 simply ends, rather than
# wait for a debugger that would run under emulation too.
[ "$way" = qemu ] && WINEDLLOVERRIDES+=";winedbg.exe=d"
# One wineserver, kept running between processes; it and every process it
# serves end with the script.
end_wineserver() {
  "$wine_dir/wineserver" -k 2>/dev/null
  timeout 30 "$wine_dir/wineserver" -w
  # Under qemu-i386 a process can miss its server's end and linger: any
  # started from this shadow loader ends here too.
  [ "$way" = qemu ] || return 0
  local process argv
  for process in /proc/[0-9]*; do
    mapfile -d '' -t argv 2>/dev/null <"$process/cmdline" || continue
    [ "${argv[3]:-}" = "$shadow/lib/wine/wine" ] && kill -KILL "${process#/proc/}" 2>/dev/null
  done
  return 0
}
# A prefix this script created is its own: it may remove and make it anew.
# Any other prefix is only ever updated, natively, and refused under qemu-i386.
owned_mark=$WINEPREFIX/.quiverleaf-i686-harness
create_owned_prefix() { mkdir -p "$WINEPREFIX" && : >"$owned_mark"; }
if [ -z "$(ls -A "$WINEPREFIX" 2>/dev/null)" ]; then
  create_owned_prefix || fatal "cannot create $WINEPREFIX"
fi
# Long steps run in the background: a signal interrupts `wait` at once,
# where a command in the foreground would hold the traps until it ended.
step=
interruptible() { "$@" & step=$!; wait $step; }
run_in() { cd "$1" && shift && exec "$@"; }  # DIR COMMAND...: in a background subshell only
# The step first, so that its process cannot start a server anew.
end_run() { kill "$step" 2>/dev/null && wait "$step"; end_wineserver; }
trap end_run EXIT
trap 'exit 1' INT TERM HUP
# A server or process still there is left from a run that was killed.
end_wineserver

if [ "$way" = native ]; then
  # An own prefix that a run under qemu-i386 left 64-bit is made anew.
  if [ -f "$owned_mark" ] && [ -d "$WINEPREFIX/drive_c/windows/syswow64" ]; then
    rm -rf "$WINEPREFIX" && create_owned_prefix || fatal "cannot create $WINEPREFIX anew"
  fi
  "$wine_dir/wineserver" -p || fatal "no wineserver starts for $WINEPREFIX"
  interruptible timeout -k 10 "$(limit 120)" "${wine[@]}" wineboot -i >"$out/wineboot.log" 2>&1 ||
    fatal "the 32-bit Wine prefix $WINEPREFIX does not start (exit status $?): $(tail -n 20 "$out/wineboot.log")"
else
  # A 32-bit boot under qemu-i386 runs some twenty processes (wineboot,
  # rundll32, services, explorer, winedevice, plugplay, svchost, iexplore,
  # ...). The wineserver SIGKILLs a process still there half a second after
  # its last thread ended, and under emulation on a busy machine ending takes
  # longer: wineboot then ends with status 137 after its work was done, and
  # a boot whose helper process ends wrongly waits for it for ever. The cases
  # need none of these processes: the native 64-bit Wine makes the prefix,
  # 32-bit Wine's own DLLs are put into syswow64 as its setup would (that
  # setup is itself a 32-bit process), and no boot runs while the cases run.
  i386_dlls=$(realpath "$wine_dir/../i386-linux-gnu/wine")/i386-windows
  x86_64_dlls=$(realpath "$wine_dir/../x86_64-linux-gnu/wine")/x86_64-windows
  inf=$(realpath "$wine_dir/../../share/wine")/wine.inf
  [ -x "$wine_dir/wine64" ] && [ -f "$x86_64_dlls/ntdll.dll" ] ||
    fatal "64-bit Wine is missing ($wine_dir/wine64): run scripts/install-deps.sh test"
  stamp_file=$WINEPREFIX/.quiverleaf-i686-wow64
  # What the prefix was made from: another Wine, or another way of making
  # it, makes it anew.
  stamp="WoW64 prefix prepared by 64-bit Wine, layout 1
$(stat -c '%n %s %Y' "$wine_dir/wine" "$wine_dir/wine64" "$i386_dlls/ntdll.dll" "$x86_64_dlls/ntdll.dll" "$inf")"
  syswow64=$WINEPREFIX/drive_c/windows/syswow64
  prepare_prefix() {
    echo "i686 cases: preparing the prefix $WINEPREFIX with 64-bit Wine"
    rm -rf "$WINEPREFIX" && create_owned_prefix || fatal "cannot create $WINEPREFIX anew"
    # wineboot asks the 32-bit loader to finish the 32-bit setup; it
    # cannot run it here, which is what is wanted.
    interruptible timeout -k 10 "$(limit 120)" env -u WINELOADERNOEXEC "$wine_dir/wine64" wineboot -i \
      >"$out/wineboot.log" 2>&1 && interruptible timeout -k 10 "$(limit 60)" "$wine_dir/wineserver" -w ||
      fatal "64-bit Wine does not make the prefix $WINEPREFIX (exit status $?): $(tail -n 20 "$out/wineboot.log")"
    # Links, not copies: Wine loads the same files either way. The 16-bit
    # modules and the drivers belong elsewhere, and no case uses them.
    find "$i386_dlls" -maxdepth 1 -type f ! -name '*16' ! -name '*.vxd' ! -name '*.sys' \
      -exec ln -s -t "$syswow64" {} + &&
      cp "$WINEPREFIX/drive_c/windows/system32/"*.nls "$syswow64/" &&
      printf '%s\n' "$stamp" >"$stamp_file" || fatal "cannot fill $syswow64"
    prepared=true
  }
  prepared=false
  if [ "$(cat "$stamp_file" 2>/dev/null)" != "$stamp" ]; then
    [ -f "$owned_mark" ] ||
      fatal "$WINEPREFIX is not one this script made, as qemu-i386 needs: set QL_WINEPREFIX_I686 to a new folder"
    prepare_prefix
  fi
  "$wine_dir/wineserver" -p || fatal "no wineserver starts for $WINEPREFIX"
fi

windows_path() { local path; path=$(cd "$(dirname "$1")" && pwd)/$(basename "$1"); echo "Z:${path//\//\\}"; }
dll_path=$(windows_path "$dll")
# Debian's win32-thread libgcc: needs no libwinpthread beside it.
foreign=$(i686-w64-mingw32-gcc-win32 -print-file-name=libgcc_s_dw2-1.dll)
[ -f "$foreign" ] && foreign=$(windows_path "$foreign")

# Runs host.exe in a fresh directory DIR with the given arguments; its
# output (CR dropped) goes to DIR/output.txt, not a pipe, which a process
# the host may start could hold open.
run_host() {
  local dir=$1 seconds=$2
  shift 2
  [ "$seconds" -gt 0 ] || return 124  # timeout 0 would mean no limit
  rm -rf "$dir" && mkdir -p "$dir" && cp "$out/host.exe" "$out/game.dll" "$dir/" || return 125
  interruptible run_in "$dir" timeout -k 10 "$seconds" "${wine[@]}" host.exe "$@" >"$dir/raw.txt" 2>&1
  local status=$?
  tr -d '\r' <"$dir/raw.txt" >"$dir/output.txt"
  return $status
}

if $bench; then
  run_host "$out/benchmark" 600 benchmark "$dll_path"
  status=$?
  cat "$out/benchmark/output.txt"
  exit $status
fi

# Once, right after the prefix started, Wine crashed in this step: a second
# try tells such a glitch, or a reused prefix that no longer serves, from a
# host that cannot list its cases.
for attempt in 1 2; do
  run_host "$out/list" "$(limit $case_limit)" --list
  list=$(cat "$out/list/output.txt")
  grep -qx "end of cases" <<<"$list" && break
  [ $attempt -eq 1 ] || break
  if [ "$way" = qemu ] && ! $prepared; then
    # A reused prefix that no longer serves is made anew.
    echo "i686 cases: listing the cases failed in the reused prefix; it is made anew"
    end_wineserver
    prepare_prefix
    "$wine_dir/wineserver" -p || fatal "no wineserver starts for $WINEPREFIX"
  else
    echo "i686 cases: listing the cases failed; tried once more"
  fi
done
grep -qx "end of cases" <<<"$list" || fatal "host.exe --list failed: $list"
# Case names only: under qemu-i386 a Wine service that crashes meanwhile
# can add its own lines.
cases=$(sed '/^end of cases$/,$d' <<<"$list" | grep -x '[a-z][a-z0-9_]*')
passed=0 failed=0
for name in $cases; do
  seconds=$(limit $case_limit)
  if [ "$seconds" -le 0 ]; then
    echo "FAIL: $name: not run, the run's $budget s are spent"
    failed=$((failed + 1))
    continue
  fi
  started=$SECONDS
  run_host "$out/cases/$name" "$seconds" "$name" "$dll_path" "$foreign"
  status=$?
  output=$(cat "$out/cases/$name/output.txt")
  # The verdict line, not the exit status: under qemu-i386 the wineserver
  # may SIGKILL a host that takes over half a second to end (see above).
  if grep -qx "ok: $name" <<<"$output"; then
    echo "ok: $name"
    passed=$((passed + 1))
    continue
  fi
  failed=$((failed + 1))
  # Standard error carries the verdict; a crash or msvcrt's abort (exit
  # code 3) leaves none, which counts as a failure, as does a timeout.
  verdict=$(grep -m1 "^FAIL: $name:" <<<"$output")
  [ $((SECONDS - started)) -ge "$seconds" ] && verdict="FAIL: $name: no verdict within $seconds s (timed out)"
  echo "${verdict:-FAIL: $name: no verdict printed (exit status $status)}"
  [ -z "$output" ] || grep -v "^FAIL: $name:" <<<"$output" | sed 's/^/    /'
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
