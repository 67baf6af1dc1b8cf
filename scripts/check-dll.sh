#!/usr/bin/env bash
# Static checks of the shipped plug-in (an unstripped i686 build):
# PE32 for i386, exactly the two undecorated exports, only system DLLs
# imported, the version resource, and the MSVC shape of each handler table
# (slot 0 the scalar deleting destructor, slot 1 HandleCall, both thiscall:
# they pop their one stack argument with `ret $0x4`).
set -eu  # no pipefail: early-exiting readers (grep -q, awk exit) are intended
dll=${1:?usage: check-dll.sh path/to/quiverleaf_extensions.dll}
objdump=i686-w64-mingw32-objdump
nm=i686-w64-mingw32-nm
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok:   $*"; }

# Format.
if $objdump -f "$dll" | grep -q 'file format pei-i386' && $objdump -f "$dll" | grep -q 'architecture: i386'; then
  pass "PE32 image for i386"
else
  fail "not a PE32 i386 image"
fi

# Exports: exactly the two entry points, undecorated.
exports=$($objdump -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^[ \t]*\[/ {print $NF; next} on {on=0}' | sort | tr '\n' ' ')
if [ "$exports" = "SKSEPlugin_Load SKSEPlugin_Query " ]; then
  pass "exports: $exports"
else
  fail "exports are '$exports', expected exactly SKSEPlugin_Load SKSEPlugin_Query"
fi

# Imports: system DLLs only; no MinGW runtime.
imports=$($objdump -p "$dll" | awk '/DLL Name:/ {print $3}' | tr 'A-Z' 'a-z' | sort -u)
allowed='^(kernel32|msvcrt|user32|shell32|comdlg32|advapi32|ole32)\.dll$|^api-ms-win-'
bad=$(echo "$imports" | grep -v -E "$allowed" || true)
if [ -z "$bad" ]; then
  pass "imports: $(echo $imports)"
else
  fail "imports outside the system DLLs: $(echo $bad)"
fi

# Version resource: version 3, product name quiverleaf_extensions.
strings16=$(strings -el -n 1 "$dll")
value_of() { echo "$strings16" | grep -A1 -x "$1" | sed -n 2p; }
if [ "$(value_of ProductName)" = quiverleaf_extensions ] && [ "$(value_of ProductVersion)" = 3 ] \
   && [ "$(value_of FileVersion)" = 3 ]; then
  pass "version resource: product quiverleaf_extensions, version 3"
else
  fail "version resource missing or incomplete"
fi

# Handler tables.
symbols=$($nm -C "$dll")
address_of() { echo "$symbols" | awk -v name="$1" '{a=$1; $1=""; $2=""; sub(/^  /, ""); if ($0 == name) print a}' | head -n1; }
symbol_at() { echo "$symbols" | awk -v addr="$1" '$1 == addr && $2 ~ /^[Tt]$/ && $3 !~ /^\./ {$1=""; $2=""; sub(/^  /, ""); print; exit}'; }
word_at() {  # little-endian 32-bit word at a virtual address
  local start=$((16#$1))
  $objdump -s --start-address=$start --stop-address=$((start + 4)) "$dll" |
    awk '/^ [0-9a-f]+ / {print $2; exit}' | sed -E 's/(..)(..)(..)(..)/\4\3\2\1/'
}
check_thiscall_one_arg() {  # every return of the function pops 4 bytes
  local start=$((16#$1))
  local body
  body=$($objdump -d --no-show-raw-insn --start-address=$start --stop-address=$((start + 4096)) "$dll" |
    awk 'NR > 7 && /^[0-9a-f]+ </ {exit} {print}')
  local rets
  rets=$(echo "$body" | grep -E '\sret' || true)
  [ -n "$rets" ] && ! echo "$rets" | grep -v -q 'ret    \$0x4'
}
for handler in SKSEScaleform_SaveFile SKSEScaleform_ConvertWin1251ToUTF8; do
  table=$(address_of "MsvcHandlerVtable<$handler>::table")
  if [ -z "$table" ]; then fail "$handler: no table in the image"; continue; fi
  slot0=$(word_at "$table")
  slot1=$(word_at "$(printf '%x' $((16#$table + 4)))")
  name0=$(symbol_at "$slot0")
  name1=$(symbol_at "$slot1")
  if [[ "$name0" == "MsvcHandlerVtable<$handler>::ScalarDeletingDestructor("* ]]; then
    pass "$handler slot 0: $name0"
  else
    fail "$handler slot 0 is '$name0' (0x$slot0), expected its scalar deleting destructor"
  fi
  if [[ "$name1" == "MsvcHandlerVtable<$handler>::HandleCall("* ]]; then
    pass "$handler slot 1: $name1"
  else
    fail "$handler slot 1 is '$name1' (0x$slot1), expected HandleCall"
  fi
  for slot in "$slot0" "$slot1"; do
    if check_thiscall_one_arg "$slot"; then
      pass "$handler 0x$slot returns with ret \$0x4"
    else
      fail "$handler 0x$slot does not pop its one stack argument (not thiscall)"
    fi
  done
done

echo "$((failures == 0 ? 1 : 0)) passed, $((failures == 0 ? 0 : 1)) failed: dll static checks ($failures problems)"
[ "$failures" -eq 0 ]
