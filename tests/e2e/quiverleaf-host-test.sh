#!/usr/bin/env bash
# Runs the documented example calls of quiverleaf-host and checks standard
# output, exit status and the files written:
#   quiverleaf-host-test.sh HOST PLUGIN RUNNER...
# HOST and PLUGIN are copied side by side into a fresh directory, the layout
# build.sh leaves in dist/linux/. RUNNER is tests/run-isolated.sh (with
# --wine for the Windows build): it runs the host in an empty working
# directory, which must still be empty afterwards.
set -u
host=$1; plugin=$2; shift 2
runner=("$@")
name=$(basename "$host")
dir=$(cd "$(dirname "$host")" && pwd)/host-test
rm -rf "$dir"; mkdir -p "$dir/app" "$dir/alone"
cp "$host" "$plugin" "$dir/app/"
cp "$host" "$dir/alone/"
work="$dir/app/run/${name%.exe}"
wine=0; case " ${runner[*]} " in *" --wine "*) wine=1;; esac

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Sets status, stdout (raw bytes in $dir/stdout) and stderr (without CRs).
call_at() {
  local app=$1; shift
  "${runner[@]}" "$app" "$@" >"$dir/stdout" 2>"$dir/stderr"
  status=$?
  stdout=$(cat "$dir/stdout")
  stderr=$(tr -d '\r' <"$dir/stderr")
}
call() {
  call_at "$dir/app/$name" "$@"
  [ -z "$(ls -A "$work")" ] || fail "quiverleaf-host $*: left $(ls -A "$work") in the working directory"
}
expect_call() {  # STATUS STDOUT ARGUMENTS...
  local want_status=$1 want_stdout=$2; shift 2
  call "$@"
  if [ "$status" != "$want_status" ] || [ "$stdout" != "$want_stdout" ]; then
    fail "quiverleaf-host $*: status $status, output '$stdout'; expected $want_status, '$want_stdout'"
    printf '%s\n' "$stderr"
  fi
}
expect_stderr() {  # TEXT
  case "$stderr" in *"$1"*) ;; *) fail "standard error lacks '$1':"; printf '%s\n' "$stderr";; esac
}
expect_bytes() {  # FILE HEX
  local got
  got=$(od -An -tx1 -v "$1" 2>/dev/null | tr -s ' \n' ' ' | sed 's/^ //; s/ $//')
  [ "$got" = "$2" ] || fail "$1 holds '$got', expected '$2'"
}

# Win1251ToUTF8 repairs; the output is the text's bytes and one newline.
expect_call 0 'Привет' Win1251ToUTF8 'Ïðèâåò'
expect_bytes "$dir/stdout" "d0 9f d1 80 d0 b8 d0 b2 d0 b5 d1 82 0a"
expect_call 0 'Привет' Win1251ToUTF8 'Привет'

# saveFile writes below the host's directory; the call's log lines say where.
expect_call 0 true saveFile a.txt 'hello'
expect_bytes "$dir/app/a.txt" "68 65 6c 6c 6f"
expect_stderr "runtime root = "
expect_stderr "SaveFile done"
expect_call 1 false saveFile 'MyMod\settings.txt' 'x=1'
expect_stderr "SaveFile: Could not open file for writting, path: "
mkdir -p "$dir/app/MyMod"
expect_call 0 true saveFile 'MyMod\settings.txt' 'x=1'
expect_bytes "$dir/app/MyMod/settings.txt" "78 3d 31"

# A false result: a name that leaves the directory is refused.
expect_call 1 false saveFile '../x.txt' 'hi'
expect_stderr "SaveFile: File name not allowed: ../x.txt"
[ ! -e "$dir/x.txt" ] || fail "saveFile wrote above the host's directory"

# Past the file-size limit the save answers false and the old file stays;
# the host is not killed by the signal such a write raises.
if [ "$wine" = 0 ]; then
  printf old >"$dir/app/big.txt"
  status=$( (ulimit -f 1; "${runner[@]}" "$dir/app/$name" saveFile big.txt "$(head -c 4096 /dev/zero | tr '\0' x)" \
    >"$dir/stdout" 2>/dev/null; echo $?) )
  [ "$status" = 1 ] && [ "$(cat "$dir/stdout")" = false ] || fail "saveFile past the file-size limit: status $status"
  expect_bytes "$dir/app/big.txt" "6f 6c 64"
fi

# --wide: UTF-16LE without a byte-order mark.
expect_call 0 true --wide saveFile w.txt 'Привет'
expect_bytes "$dir/app/w.txt" "1f 04 40 04 38 04 32 04 35 04 42 04"

# --hex: ill-formed input and a string result in hexadecimal.
expect_call 0 'D1 8E 41' --hex Win1251ToUTF8 'ff fe 41'
expect_call 0 '61 D0 90' --hex Win1251ToUTF8 '61c3'
expect_call 0 true --hex --wide saveFile '68 2e 74 78 74' '00 d8 41 00'  # a lone surrogate
expect_bytes "$dir/app/h.txt" "00 d8 41 00"

# Undefined results: status 3, "undefined" on standard error, nothing on standard output.
expect_call 3 '' Win1251ToUTF8 ''
expect_stderr undefined
expect_call 3 '' --wide Win1251ToUTF8 'Привет'
expect_stderr undefined
expect_call 3 '' Win1251ToUTF8 a b

# --log prints the whole log and names the temporary directory, which is gone.
expect_call 0 abc --log Win1251ToUTF8 abc
expect_stderr "SKSEPlugin_Query start"
expect_stderr "RegisterScaleform done"
expect_stderr "--- log "
if [ "$wine" = 0 ]; then
  log=$(printf '%s\n' "$stderr" | sed -n 's/^--- log //p')
  [ -n "$log" ] && [ ! -e "$(dirname "$log")" ] || fail "the temporary directory '$log' was not removed"
fi

# Usage errors.
expect_call 2 '' 
expect_call 2 '' --bogus Win1251ToUTF8 abc
expect_stderr "unknown option --bogus"
expect_call 2 '' --hex Win1251ToUTF8 'zz'
expect_call 2 '' --hex Win1251ToUTF8 '6100'
expect_call 2 '' noSuchFunction abc
expect_stderr "no function noSuchFunction"
if [ "$wine" = 0 ]; then  # Wine turns the command line into UTF-16 first
  expect_call 2 '' --wide Win1251ToUTF8 $'\xff'
  expect_stderr "not well-formed UTF-8"
fi
call --help
[ "$status" = 0 ] && case "$stdout" in *"Exit status:"*) true;; *) false;; esac || fail "--help"

# Without the plug-in beside it: status 4.
call_at "$dir/alone/$name" Win1251ToUTF8 abc
[ "$status" = 4 ] || fail "without the plug-in: status $status, expected 4"
expect_stderr "cannot load the plug-in"

if [ "$failures" -eq 0 ]; then echo "quiverleaf-host examples: all passed"; fi
exit $((failures > 0))
