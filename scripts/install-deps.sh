#!/usr/bin/env bash
# Installs the build and test dependencies from Debian's packages, when any
# is missing. Needs root (or sudo) only when something has to be installed.
set -euo pipefail

packages=(
  cmake make g++ binutils zip unzip python3
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine64 googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev valgrind
  lld wine32:i386 gcc-mingw-w64-i686-win32-runtime  # scripts/run-i686.sh: 32-bit Wine, libgcc_s_dw2-1.dll
  llvm  # llvm-symbolizer: readable stacks in sanitizer and fuzzer reports
)
# qemu-i386 where the kernel does not run 32-bit programs (scripts/run-i686.sh,
# the i686 repair's alignment test); without the recommended qemu-user-binfmt,
# which would register it with the kernel for every i386 program.
bare_packages=(qemu-user)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
missing=() missing_bare=()
for package in "${packages[@]}"; do installed "$package" || missing+=("$package"); done
for package in "${bare_packages[@]}"; do installed "$package" || missing_bare+=("$package"); done
[ ${#missing[@]} -eq 0 ] && [ ${#missing_bare[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]} ${missing_bare[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
[ ${#missing[@]} -eq 0 ] || $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
[ ${#missing_bare[@]} -eq 0 ] || $sudo apt-get install -y -qq --no-install-recommends "${missing_bare[@]}" >/dev/null
