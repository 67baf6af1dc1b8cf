#!/usr/bin/env bash
# The shipped DLL and mod archive are the same bytes when built again from a
# copy of the tree at another path; without debug information only the
# build id differs (strip removes the rest).
#   tests/shipped/reproducible-build.sh SHIPPED_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
shipped=$(cd "$1" && pwd)
copy=$root/build/reproducible/elsewhere/quiverleaf
rm -rf "$root/build/reproducible"
mkdir -p "$copy"

cd "$root"
commit=$(git rev-parse HEAD)
[ -z "$(git status --porcelain --untracked-files=no)" ] || commit+=-modified
# The tree as git sees it, build outputs excluded.
git ls-files -z --cached --others --exclude-standard | while IFS= read -r -d '' file; do
  [ -e "$file" ] && printf '%s\0' "$file"
done | tar -c --null -T - | tar -x -C "$copy"

QL_SOURCE_COMMIT=$commit SOURCE_DATE_EPOCH=$(git log -1 --format=%ct) \
  "$copy/scripts/package.sh" "$root/build/reproducible/out"

QL_SOURCE_COMMIT=$commit SOURCE_DATE_EPOCH=$(git log -1 --format=%ct) \
  "$copy/scripts/package.sh" "$root/build/reproducible/out-no-debug-info" -DQL_DEBUG_INFO=OFF

failures=0
for file in quiverleaf_extensions.dll quiverleaf_extensions.zip; do
  if cmp -s "$shipped/$file" "$root/build/reproducible/out/$file"; then
    echo "ok:   $file is byte-identical when rebuilt at another path"
  else
    echo "FAIL: $file differs when rebuilt at another path"
    failures=$((failures + 1))
  fi
done
# Debug information changes only the build id (and so the checksum).
if cmp -s <(python3 scripts/pe_without_build_id.py "$shipped/quiverleaf_extensions.dll") \
          <(python3 scripts/pe_without_build_id.py "$root/build/reproducible/out-no-debug-info/quiverleaf_extensions.dll"); then
  echo "ok:   without debug information only the build id differs"
else
  echo "FAIL: debug information changes more than the build id of the stripped DLL"
  failures=$((failures + 1))
fi
echo "$((3 - failures)) passed, $failures failed: reproducible build"
[ "$failures" -eq 0 ]
