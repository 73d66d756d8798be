#!/usr/bin/env bash
# Checks the Windows build: a 32-bit GUI program that needs no DLL beyond Windows' own and no
# function that Windows XP SP3 lacks; and stand-in protocol libraries that export plain,
# undecorated names and import nothing newer than Windows XP SP3 either.
# Usage: scripts/check-windows-artifacts.sh BUILD_DIR   (for example build/win32)
set -uo pipefail
build=${1:?usage: $0 BUILD_DIR}
root=$(cd "$(dirname "$0")/.." && pwd)
objdump=i686-w64-mingw32-objdump
passed=0
failures=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then passed=$((passed + 1)); else echo "FAIL: $1"; failures=$((failures + 1)); fi
}

# DLLs that every Windows installation has.
system_dlls='^(kernel32|user32|advapi32|msvcrt|setupapi|ntdll|shell32|ole32|oleaut32|gdi32|cfgmgr32)\.dll$'

# What Windows XP SP3's system DLLs export, "dll function" a line, after a line on its source.
xp_exports=$root/scripts/xp-sp3-exports.txt
imported=0
# imports FILE: the functions FILE imports, "dll function" a line.
imports() {
  $objdump -p "$1" | awk '/DLL Name:/ {dll = tolower($3); next} /^[ \t]*$/ {dll = ""}
    dll != "" && NF == 3 && $1 ~ /^[0-9a-f]+$/ {print dll, $3}'
}
# on_xp FILE: every function FILE imports is exported by Windows XP SP3; says which are not.
on_xp() {
  local functions missing
  functions=$(imports "$1")
  [ -n "$functions" ] || { echo "  no imported function found in $1"; return 1; }
  imported=$((imported + $(wc -l <<<"$functions")))
  missing=$(grep -vxFf <(tail -n +2 "$xp_exports") <<<"$functions")
  [ -z "$missing" ] || { echo "  not on Windows XP SP3:" $missing; return 1; }
}

exe=$build/bin/telmar-setup.exe
headers=$($objdump -p "$exe")
imports=$(printf '%s\n' "$headers" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
echo "telmar-setup.exe: $(stat -c %s "$exe") bytes; imports: $(echo $imports)"

check "telmar-setup.exe is a 32-bit program" grep -q '^Magic\s*010b' <<<"$headers"
check "telmar-setup.exe runs in the GUI subsystem" grep -q '^Subsystem\s*00000002' <<<"$headers"
check "telmar-setup.exe imports only Windows' own DLLs" \
  bash -c "! grep -viE '$system_dlls' <<<\"\$0\"" "$imports"
check "telmar-setup.exe imports only what Windows XP SP3 exports" on_xp "$exe"
# SetDllDirectoryA came with XP SP1: the program looks it up when it runs.
check "telmar-setup.exe does not import SetDllDirectoryA" \
  bash -c '! grep -qx "kernel32.dll SetDllDirectoryA" <<<"$0"' "$(imports "$exe")"

for library in "$build"/bin/qlpinw32.dll "$build"/bin/SimQlp.dll "$build"/stand-in/*/*.dll; do
  [ -f "$library" ] || continue
  exports=$($objdump -p "$library" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p')
  check "$library exports names" test -n "$exports"
  check "$library exports no decorated (@N) name" bash -c "! grep -q '@' <<<\"\$0\"" "$exports"
  check "$library imports only Windows' own DLLs" bash -c \
    "! $objdump -p \"\$0\" | sed -n 's/^\\s*DLL Name: //p' | tr A-Z a-z | grep -viE '$system_dlls'" "$library"
  check "$library imports only what Windows XP SP3 exports" on_xp "$library"
done
echo "$imported imported functions checked against $(tail -n +2 "$xp_exports" | wc -l) exports of Windows XP SP3"

echo "Windows artifacts: $passed passed, $failures failed"
[ "$failures" -eq 0 ]
