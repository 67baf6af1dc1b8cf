#!/usr/bin/env bash
# The README's crash example: an offset inside saveFile's HandleCall, as a
# crash logger reports it, resolves to that function and its source file;
# symbols of another build are refused.
#   tests/shipped/symbolize-example.sh SHIPPED_DIR OTHER_BUILD_DLL
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
shipped=$1 other=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unzip -q "$shipped/quiverleaf_extensions-symbols.zip" quiverleaf_extensions.dll -d "$work"

failures=0
verdict() { if [ "$1" -eq 0 ]; then echo "ok:   $label"; else echo "FAIL: $label"; failures=$((failures + 1)); fi; }
check() { if "$@" >/dev/null 2>&1; then verdict 0; else verdict 1; fi; }
check_refused() { if "$@" >/dev/null 2>&1; then verdict 1; else verdict 0; fi; }

start=$(i686-w64-mingw32-nm -C "$work/quiverleaf_extensions.dll" |
        awk '$3 == "SKSEScaleform_SaveFile::HandleCall(FunctionCallRecord&)" && !seen++ {print $1}')
base=$(i686-w64-mingw32-objdump -p "$work/quiverleaf_extensions.dll" | awk '$1 == "ImageBase" {print $2}')
offset=$(printf '0x%X' $((0x$start - 0x$base + 0x10)))
resolved=$("$root/scripts/symbolize.sh" --dll "$shipped/quiverleaf_extensions.dll" "quiverleaf_extensions.dll+$offset")
echo "$resolved"
label="quiverleaf_extensions.dll+$offset resolves to saveFile's HandleCall"
check grep -q 'SKSEScaleform_SaveFile::HandleCall(FunctionCallRecord&)  functions/SaveFile.cpp:[0-9]' <<< "$resolved"
label="an absolute address and the load base give the same answer"
check test "$("$root/scripts/symbolize.sh" --dll "$shipped/quiverleaf_extensions.dll" \
              $((0x20000000 + offset)) 0x20000000)" = "$resolved"
label="symbols of another build are refused"
check_refused "$root/scripts/symbolize.sh" --dll "$other" --symbols "$shipped/quiverleaf_extensions-symbols.zip" \
        "quiverleaf_extensions.dll+$offset"
echo "$((3 - failures)) passed, $failures failed: symbolize example"
[ "$failures" -eq 0 ]
