#!/bin/sh
# Runs one end-to-end case in a game directory of its own:
#   run-case.sh CASE HOST_EXE DLL EMULATOR...
# The host executable is copied to <its dir>/cases/CASE/, which makes that
# directory the runtime root the plug-in writes below, and the emulator
# (tests/run-isolated.sh --wine) runs the copy in an empty working directory
# beneath it, where the plug-in's log goes. Cases can then run in parallel.
set -eu
case_name=$1; exe=$2; dll=$3; shift 3
game_dir=$(cd "$(dirname "$exe")" && pwd)/cases/$case_name
rm -rf "$game_dir"; mkdir -p "$game_dir"
cp "$exe" "$game_dir/"
exec "$@" "$game_dir/$(basename "$exe")" "$case_name" "$dll"
