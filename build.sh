#!/usr/bin/env bash
# Builds the shipped plug-in (PE32 DLL for the game) and its mod archive:
#   dist/quiverleaf_extensions.dll
#   dist/quiverleaf_extensions.zip   (SKSE/Plugins/quiverleaf_extensions.dll inside)
# and, for mod authors, the command-line host with a Linux build of the
# plug-in beside it (it looks for the plug-in there):
#   dist/linux/quiverleaf-host
#   dist/linux/quiverleaf_extensions.so
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh

cmake --preset windows-i686 >/dev/null
cmake --build --preset windows-i686 --target quiverleaf_extensions

rm -rf dist
mkdir -p dist/archive/SKSE/Plugins
i686-w64-mingw32-strip --strip-unneeded -o dist/quiverleaf_extensions.dll \
  build/windows-i686/plugin/quiverleaf_extensions.dll
cp dist/quiverleaf_extensions.dll dist/archive/SKSE/Plugins/
(cd dist/archive && zip -q -X -r ../quiverleaf_extensions.zip SKSE)
rm -rf dist/archive

cmake --preset native >/dev/null
cmake --build --preset native --target quiverleaf-host quiverleaf_extensions
mkdir -p dist/linux
strip --strip-unneeded -o dist/linux/quiverleaf-host build/native/host/quiverleaf-host
strip --strip-unneeded -o dist/linux/quiverleaf_extensions.so build/native/plugin/quiverleaf_extensions.so

echo "Built:"
echo "  dist/quiverleaf_extensions.dll"
echo "  dist/quiverleaf_extensions.zip"
echo "  dist/linux/quiverleaf-host (with dist/linux/quiverleaf_extensions.so)"
