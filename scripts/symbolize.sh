#!/usr/bin/env bash
# Turns a crash report's address in the plug-in into function, file and line:
#   scripts/symbolize.sh [--dll DLL] [--symbols ZIP] quiverleaf_extensions.dll+0xOFFSET...
#   scripts/symbolize.sh [--dll DLL] [--symbols ZIP] ADDRESS LOAD_BASE
# DLL is the file the player has (default dist/quiverleaf_extensions.dll);
# ZIP its symbols archive (default: quiverleaf_extensions-symbols.zip beside
# it). Symbols of another build are refused: the build ids must match.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dll=$here/../dist/quiverleaf_extensions.dll
symbols=""
while [ $# -gt 0 ]; do
  case $1 in
    --dll) dll=$2; shift 2 ;;
    --symbols) symbols=$2; shift 2 ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || { echo "usage: $0 [--dll DLL] [--symbols ZIP] NAME+0xOFFSET... | ADDRESS LOAD_BASE" >&2; exit 2; }
symbols=${symbols:-$(dirname "$dll")/quiverleaf_extensions-symbols.zip}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unzip -q -o "$symbols" quiverleaf_extensions.dll -d "$work"
unstripped=$work/quiverleaf_extensions.dll

ids=$(PYTHONPATH=$here python3 -c '
import sys
from check_dll import Image
shipped, unstripped = Image(sys.argv[1]), Image(sys.argv[2])
print(shipped.build_id(), unstripped.build_id(), hex(unstripped.image_base))
' "$dll" "$unstripped")
read -r shipped_id symbols_id image_base <<< "$ids"
if [ "$shipped_id" = None ] || [ "$shipped_id" != "$symbols_id" ]; then
  echo "symbolize: $symbols belongs to another build than $dll (build id $symbols_id, DLL $shipped_id)" >&2
  exit 1
fi

offsets=()
if [ $# -eq 2 ] && [[ $1 != *+* ]]; then
  offsets+=($(($1 - $2)))
else
  for place in "$@"; do
    [[ $place == *+* ]] || { echo "symbolize: expected NAME+0xOFFSET, got $place" >&2; exit 2; }
    offsets+=($((${place#*+})))
  done
fi
for offset in "${offsets[@]}"; do
  address=$(printf '0x%x' $((image_base + offset)))
  # Innermost first, then each function it was inlined into. i686 symbols
  # may carry an extra leading underscore that c++filt does not expect.
  i686-w64-mingw32-addr2line -f -i -e "$unstripped" "$address" |
    while read -r function && read -r location; do
      [[ $function == __Z* ]] && function=${function#_}
      printf '+0x%x  %s  %s\n' "$offset" "$(c++filt "$function")" "${location#/quiverleaf/}"
    done
done
