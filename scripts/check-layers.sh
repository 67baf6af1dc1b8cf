#!/usr/bin/env bash
# Dependencies between top-level folders run one way, downwards:
#   os, support, abi, functions, plugin, then sim, host and the tools.
# A folder may include its own headers and those of any lower floor.
set -euo pipefail
cd "$(dirname "$0")/.."
floors=(os support abi functions plugin sim host)
floor_of() {
  local i
  for i in "${!floors[@]}"; do [ "${floors[$i]}" = "$1" ] && { echo "$i"; return; }; done
  echo -1
}
problems=0
for folder in "${floors[@]}"; do
  own=$(floor_of "$folder")
  while IFS=: read -r file line included; do
    target=${included#*\"}; target=${target%%/*}
    other=$(floor_of "$target")
    if [ "$other" -gt "$own" ]; then
      echo "FAIL: $file:$line includes $target/ from the floor above"
      problems=$((problems + 1))
    fi
  done < <(grep -rnoE '#include "[a-z_]+/' "$folder" || true)
done
echo "$((problems == 0 ? 1 : 0)) passed, $((problems == 0 ? 0 : 1)) failed: layer check ($problems upward includes)"
[ "$problems" -eq 0 ]
