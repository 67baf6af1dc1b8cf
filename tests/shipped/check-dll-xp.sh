#!/usr/bin/env bash
# scripts/check-dll.sh keeps the DLL loadable on Windows XP: patched copies
# that import a Vista function or ask for a newer system in the PE header
# must fail it, each by the check meant for it.
#   tests/shipped/check-dll-xp.sh SHIPPED_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
shipped=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
# patched_copy NAME PYTHON: a copy of the shipped DLL, with its symbols
# archive beside it, changed by PYTHON (bytes in `data`).
patched_copy() {
  mkdir -p "$work/$1"
  cp "$shipped/quiverleaf_extensions-symbols.zip" "$work/$1/"
  python3 - "$shipped/quiverleaf_extensions.dll" "$work/$1/quiverleaf_extensions.dll" <<PY
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
$2
open(sys.argv[2], "wb").write(data)
PY
}
expect_refusal() {  # NAME LINE
  local output
  output=$("$root/scripts/check-dll.sh" "$work/$1/quiverleaf_extensions.dll" 2>&1) && status=0 || status=$?
  if [ "$status" -ne 0 ] && grep -qF "FAIL: $2" <<<"$output"; then
    echo "ok:   $1 fails: $2"
  else
    echo "FAIL: $1 is not refused with '$2' (status $status)"
    failures=$((failures + 1))
  fi
}

# GetTickCount64 (Vista) in place of an import name of at least its length.
patched_copy vista-import '
old = b"GetCurrentThreadId\0"
at = data.index(old)
data[at:at + len(old)] = b"GetTickCount64".ljust(len(old), b"\0")'
expect_refusal vista-import "imports: not in scripts/dll-imports.txt: kernel32.dll GetTickCount64"

# Operating system version 6.0 (Vista) in the optional header.
patched_copy vista-header '
optional = struct.unpack_from("<I", data, 0x3C)[0] + 24
struct.pack_into("<HH", data, optional + 40, 6, 0)'
expect_refusal vista-header "operating system version 6.0 at most 5.1"

echo "$((2 - failures)) passed, $failures failed: check-dll refuses what XP lacks"
[ "$failures" -eq 0 ]
