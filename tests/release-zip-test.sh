#!/bin/sh
# The Windows release zip: it holds updater.exe and README.txt, the program
# needs no DLL beyond Windows' own (kernel32, msvcrt, winmm; advapi32 and
# setupapi for the port list), and it starts and answers under Wine.
set -eu
zip=$1
export WINEPREFIX=$2 WINEDEBUG=-all
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
cmake -E tar xf "$zip"
test -f README.txt
dlls=$(x86_64-w64-mingw32-objdump -p updater.exe | sed -n 's/.*DLL Name: //p' | LC_ALL=C sort | tr '\n' ' ')
[ "$dlls" = "ADVAPI32.dll KERNEL32.dll SETUPAPI.dll WINMM.dll msvcrt.dll " ] || { echo "unexpected DLLs: $dlls"; exit 1; }
out=$(wine updater.exe xyz1 </dev/null | tr -d '\r')
expected=$(printf 'Must be COMXX\n\nExit updater')
[ "$out" = "$expected" ] || { echo "unexpected output: $out"; exit 1; }
echo "release zip OK"
