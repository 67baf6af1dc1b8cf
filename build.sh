#!/usr/bin/env bash
# Builds the shipped plug-in (PE32 DLL for the game) and its mod archive:
#   dist/quiverleaf_extensions.dll
#   dist/quiverleaf_extensions.zip   (SKSE/Plugins/quiverleaf_extensions.dll inside)
#   dist/quiverleaf_extensions-symbols.zip  (unstripped DLL and linker map, for crash reports)
#   dist/SHA256SUMS
# (the same commit gives the same DLL and zip bytes in any checkout), and,
# for mod authors, the command-line host with a Linux build of the
# plug-in beside it (it looks for the plug-in there):
#   dist/linux/quiverleaf-host
#   dist/linux/quiverleaf_extensions.so
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh build

rm -rf dist
scripts/package.sh dist

cmake --preset host >/dev/null
cmake --build --preset host --target quiverleaf-host quiverleaf_extensions
mkdir -p dist/linux
strip --strip-unneeded -o dist/linux/quiverleaf-host build/host/host/quiverleaf-host
strip --strip-unneeded -o dist/linux/quiverleaf_extensions.so build/host/plugin/quiverleaf_extensions.so

echo "Built:"
echo "  dist/quiverleaf_extensions.dll"
echo "  dist/quiverleaf_extensions.zip"
echo "  dist/quiverleaf_extensions-symbols.zip"
echo "  dist/SHA256SUMS"
echo "  dist/linux/quiverleaf-host (with dist/linux/quiverleaf_extensions.so)"
