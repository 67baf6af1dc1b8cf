#!/usr/bin/env bash
# Creates (first time: about two minutes) and starts the Wine prefix the
# Windows test executables run in.
set -euo pipefail
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-quiverleaf}"
export WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
wine_dir=/usr/lib/wine
"$wine_dir/wine64" wineboot -i >/dev/null 2>&1
"$wine_dir/wineserver" -w
