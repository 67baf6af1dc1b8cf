#!/usr/bin/env bash
# Builds the shipped plug-in and its archives into OUTDIR, reproducibly: the
# same commit gives the same bytes in any checkout, at any path, at any time.
#   scripts/package.sh OUTDIR [CMAKE_ARGS...]
# OUTDIR receives:
#   quiverleaf_extensions.dll           the stripped DLL that players install
#   quiverleaf_extensions.zip           the mod archive (SKSE/Plugins/...)
#   quiverleaf_extensions-symbols.zip   the unstripped DLL and the linker map
#   SHA256SUMS                          of the three
# QL_SOURCE_COMMIT and SOURCE_DATE_EPOCH override what git says (a copy of
# the tree without its history).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)
shift
cd "$root"

if [ -z "${QL_SOURCE_COMMIT:-}" ]; then
  QL_SOURCE_COMMIT=$(git rev-parse HEAD)
  [ -z "$(git status --porcelain --untracked-files=no)" ] || QL_SOURCE_COMMIT+=-modified
fi
# Time stamps in the PE headers (ld and strip) and in the archives.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export TZ=UTC

cmake --preset windows-i686 -DQL_SOURCE_COMMIT="$QL_SOURCE_COMMIT" "$@" >/dev/null
cmake --build --preset windows-i686 --target quiverleaf_extensions >/dev/null
built=build/windows-i686/plugin

rm -f "$out"/quiverleaf_extensions.dll "$out"/quiverleaf_extensions.zip \
      "$out"/quiverleaf_extensions-symbols.zip "$out"/SHA256SUMS
i686-w64-mingw32-strip --strip-unneeded -o "$out/quiverleaf_extensions.dll" "$built/quiverleaf_extensions.dll"

# Zip stores local time and mode bits: fix both, and the entry order.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
make_zip() {  # make_zip ARCHIVE ENTRY... (entries relative to $stage)
  local archive=$1; shift
  find "$stage" -mindepth 1 -type d -exec chmod 0755 {} +
  find "$stage" -type f -exec chmod 0644 {} +
  find "$stage" -mindepth 1 -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  (cd "$stage" && printf '%s\n' "$@" | zip -q -X -@ "$archive")
}

mkdir -p "$stage/SKSE/Plugins"
cp "$out/quiverleaf_extensions.dll" "$stage/SKSE/Plugins/"
make_zip "$out/quiverleaf_extensions.zip" SKSE/ SKSE/Plugins/ SKSE/Plugins/quiverleaf_extensions.dll

rm -rf "${stage:?}"/*
cp "$built/quiverleaf_extensions.dll" "$built/quiverleaf_extensions.map" "$stage/"
make_zip "$out/quiverleaf_extensions-symbols.zip" quiverleaf_extensions.dll quiverleaf_extensions.map

(cd "$out" && sha256sum quiverleaf_extensions.dll quiverleaf_extensions.zip \
   quiverleaf_extensions-symbols.zip > SHA256SUMS)
