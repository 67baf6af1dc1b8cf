#!/usr/bin/env bash
# Installs what is missing from Debian's packages, for one of two sets:
#   scripts/install-deps.sh build   what ./build.sh needs to make dist/
#   scripts/install-deps.sh test    that, and what ./test.sh needs besides
# Needs root (or sudo) only when something has to be installed. A package
# list that fails to download (a mirror caught mid-sync) is named and passed
# over: the install decides whether anything needed is missing. A failed
# install names the packages and, where the machine's two architectures'
# lists disagree, says so. Nothing is pinned, downgraded or removed.
set -euo pipefail

# The plug-in, its archives and quiverleaf-host: no 32-bit test stack.
build_packages=(
  cmake make g++ binutils zip
  g++-mingw-w64-i686-win32 binutils-mingw-w64-i686
)
# The tests, on top of the build set.
test_packages=(
  python3 unzip  # the DLL's checks
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64  # -posix compilers: GoogleTest cross builds
  wine64 googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev valgrind
  lld wine32:i386 gcc-mingw-w64-i686-win32-runtime  # scripts/run-i686.sh: 32-bit Wine, libgcc_s_dw2-1.dll
  llvm  # llvm-symbolizer: readable stacks in sanitizer and fuzzer reports
)
# qemu-i386 where the kernel does not run 32-bit programs (scripts/run-i686.sh,
# the i686 repair's tests); without the recommended qemu-user-binfmt, which
# would register it with the kernel for every i386 program.
test_bare_packages=(qemu-user)

case ${1:-} in
  build) packages=("${build_packages[@]}") bare_packages=() ;;
  test) packages=("${build_packages[@]}" "${test_packages[@]}") bare_packages=("${test_bare_packages[@]}") ;;
  *) echo "usage: $0 build|test" >&2; exit 2 ;;
esac

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
missing=() missing_bare=()
for package in "${packages[@]}"; do installed "$package" || missing+=("$package"); done
for package in "${bare_packages[@]}"; do installed "$package" || missing_bare+=("$package"); done
[ ${#missing[@]} -eq 0 ] && [ ${#missing_bare[@]} -eq 0 ] && exit 0

say() { echo "install-deps: $*"; }
say "installing: ${missing[*]} ${missing_bare[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
export DEBIAN_FRONTEND=noninteractive
log=$(mktemp)
trap 'rm -f "$log"' EXIT

needs_i386=false
for package in "${missing[@]}"; do [[ $package == *:i386 ]] && needs_i386=true; done
if $needs_i386 && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi

# apt-get update fails as a whole when one list fails, yet keeps the others.
for attempt in 1 2 3; do
  $sudo apt-get update -qq >"$log" 2>&1 && break
  [ $attempt -lt 3 ] && sleep 5
done
{ grep -oE 'Failed to fetch [^ ]+' "$log" || true; } | sort -u | while read -r _ _ _ list; do
  say "package list not downloaded, going on without it: $list"
done

# Multi-Arch "same" packages must have one version on every architecture: an
# i386 list older than its amd64 twin (one list missing, or a mirror mid-sync)
# makes every i386 package that needs them uninstallable.
architectures_disagree() {
  local native own
  native=$(dpkg --print-architecture)
  own=$(dpkg-query -W -f='${Package}:${Architecture} ${Multi-Arch} ${Version}\n' |
    awk -v arch=":$native" '$2 == "same" && substr($1, length($1) - length(arch) + 1) == arch {
      print substr($1, 1, length($1) - length(arch)), $3 }')
  [ -n "$own" ] || return 1
  # shellcheck disable=SC2046
  apt-cache policy $(echo "$own" | awk '{ print $1 ":i386" }') 2>/dev/null |
    awk 'NR == FNR { have[$1] = $2; next }
         /^[^ ]/ { name = $1; sub(/:i386:$/, "", name) }
         /^  Candidate:/ && $2 != "(none)" && $2 != have[name] { print name, have[name], $2 }' <(echo "$own") - |
    while read -r name have candidate; do
      if dpkg --compare-versions "$candidate" lt "$have"; then echo "$name ($have for $native, only $candidate for i386)"; fi
    done | sort | sed -n 1,5p | grep .
}

install() {  # install [APT_OPTION...] -- PACKAGE...
  local options=()
  while [ "$1" != -- ]; do options+=("$1"); shift; done
  shift
  [ $# -gt 0 ] || return 0
  $sudo apt-get install -y -q --no-remove "${options[@]}" "$@" >"$log" 2>&1 && return 0
  say "FAILED: these packages could not be installed: $*"
  grep -E '^(E:| \S+ : )' "$log" | sed 's/^/  apt: /' | head -n 12
  if $needs_i386 && skew=$(architectures_disagree); then
    say "the i386 and $(dpkg --print-architecture) package lists disagree, so the 32-bit packages cannot be"
    say "installed beside the machine's own; the mirror is probably mid-sync. For example:"
    echo "$skew" | sed 's/^/  /'
    say "Try again later, or point apt at a consistent mirror (/etc/apt/sources.list*)."
    say "Nothing was pinned, downgraded or removed."
  fi
  exit 1
}
install -- "${missing[@]}"
install --no-install-recommends -- "${missing_bare[@]}"
