#!/bin/sh
# Runs a test executable in a fresh, empty working directory next to it:
#   run-isolated.sh [--wine] EXECUTABLE [ARGS...]
set -eu
wine=""
if [ "${1:-}" = "--wine" ]; then wine=1; shift; fi
exe=$1; shift
name=$(basename "$exe"); name=${name%.exe}
dir=$(cd "$(dirname "$exe")" && pwd)/run/$name
rm -rf "$dir"; mkdir -p "$dir"; cd "$dir"
if [ -n "$wine" ]; then
  export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-quiverleaf}"
  export WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
  exec /usr/lib/wine/wine64 "$exe" "$@"
fi
exec "$exe" "$@"
