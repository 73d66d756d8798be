#!/usr/bin/env bash
# Checks the Windows build: a 32-bit GUI program that needs no DLL beyond Windows' own and no
# function that Windows XP SP3 lacks, carries its manifest and version information, stays
# small, and comes out byte for byte the same when built again from another folder; and
# stand-in protocol libraries that export plain, undecorated names and import nothing newer
# than Windows XP SP3 either. The field-check kit's checker is held to the same imports and
# bytes.
# Usage: scripts/check-windows-artifacts.sh BUILD_DIR   (for example build/win32)
set -uo pipefail
build=${1:?usage: $0 BUILD_DIR}
root=$(cd "$(dirname "$0")/.." && pwd)
tools=i686-w64-mingw32
objdump=$tools-objdump
work=$(mktemp -d /tmp/telmar-artifacts.XXXXXX)
trap 'rm -rf "$work"' EXIT
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
# Error dialogs are turned off before any library is loaded (XP's kernel32 has the call).
check "telmar-setup.exe imports SetErrorMode" \
  grep -qx "kernel32.dll SetErrorMode" <<<"$(imports "$exe")"
# The administrators' guide tells what data-execution prevention means for the protocol library.
check "telmar-setup.exe opts in to data-execution prevention" grep -q '^\s*NX_COMPAT$' <<<"$headers"
check "telmar-setup.exe is at most 200 KB" test "$(stat -c %s "$exe")" -le $((200 * 1024))

# The resources, read back from the file: the manifest (UTF-8 text) and the version
# information (UTF-16 strings after a fixed block of numbers).
$tools-objcopy -O binary --only-section=.rsrc "$exe" "$work/rsrc" 2>/dev/null || : >"$work/rsrc"
manifest=$(strings -a "$work/rsrc")
version_strings=$(strings -a -el "$work/rsrc")
version=$(cat "$build/telmar-version.txt" 2>/dev/null)
check "the manifest runs the program as its invoker, without UI access" \
  grep -q 'requestedExecutionLevel level="asInvoker" uiAccess="false"' <<<"$manifest"
for os in e2011457-1546-43c5-a5fe-008deee3d3f0 35138b9a-5d96-4fbd-8e2d-a2440225f93a \
          4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 1f676c76-80e1-4239-95bb-83d0f6d0da78 \
          8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do  # Vista, 7, 8, 8.1, 10 and 11
  check "the manifest names supported system {$os}" grep -q "supportedOS Id=\"{$os}\"" <<<"$manifest"
done
value() { grep -A1 -x "$1" <<<"$version_strings" | sed -n 2p; }
check "the version information holds project version $version" \
  test -n "$version" -a "$(value FileVersion)" = "$version" -a "$(value ProductVersion)" = "$version"
check "the version information names the product TELMAR" test "$(value ProductName)" = TELMAR
check "the version information describes the file" test -n "$(value FileDescription)"
check "the version information names telmar-setup.exe" \
  test "$(value OriginalFilename)" = telmar-setup.exe
# The fixed block: its signature, its layout version, then file and product version as two
# little-endian 32-bit words each, major.minor then patch.0.
le16() { printf '%02x%02x' $(($1 & 255)) $(($1 >> 8)); }
IFS=. read -r major minor patch <<<"$version"
words=$(le16 "${minor:-0}")$(le16 "${major:-0}")$(le16 0)$(le16 "${patch:-0}")
check "the fixed version block holds $version" \
  grep -q "bd04effe00000100$words$words" <(od -An -v -tx1 "$work/rsrc" | tr -d ' \n')

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

# The field-check kit: the checker is built like the program, but for the console; the control
# it starts as setup.exe must carry no manifest; the kit holds the build's own files.
kit=$build/kit
check_program=$kit/telmar-check.exe
check_headers=$($objdump -p "$check_program")
echo "telmar-check.exe: $(stat -c %s "$check_program") bytes; kit: $(find "$kit" -type f | wc -l) files"
check "telmar-check.exe is a 32-bit program" grep -q '^Magic\s*010b' <<<"$check_headers"
check "telmar-check.exe runs in the console subsystem" grep -q '^Subsystem\s*00000003' <<<"$check_headers"
check "telmar-check.exe imports only Windows' own DLLs" bash -c "! grep -viE '$system_dlls' <<<\"\$0\"" \
  "$(printf '%s\n' "$check_headers" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')"
check "telmar-check.exe imports only what Windows XP SP3 exports" on_xp "$check_program"
check "telmar-check.exe runs as its invoker" \
  grep -q 'requestedExecutionLevel level="asInvoker"' <(strings -a "$check_program")
check "doubles/no-manifest.exe has no resources" \
  grep -q '^Entry 2 0* 0* Resource Directory' <($objdump -p "$kit/doubles/no-manifest.exe")
check "doubles/no-manifest.exe imports only what Windows XP SP3 exports" on_xp "$kit/doubles/no-manifest.exe"
for pair in telmar-setup.exe:bin/telmar-setup.exe stand-in/qlpinw32.dll:bin/qlpinw32.dll \
            stand-in/cdecl/qlpinw32.dll:stand-in/cdecl/qlpinw32.dll \
            doubles/with-helper/qlpinw32.dll:wine-doubles/with-helper/qlpinw32.dll \
            doubles/other-arch/qlpinw32.dll:wine-doubles/other-arch/qlpinw32.dll; do
  check "the kit's ${pair%%:*} is the build's" cmp -s "$kit/${pair%%:*}" "$build/${pair#*:}"
done
check "the kit's expected file is tests/data/expected/worked-example.old" \
  cmp -s "$kit/expected/worked-example.old" "$root/tests/data/expected/worked-example.old"

# The Windows Installer package: its tables, read with msiinfo (msitools).
msi=$(realpath -m "$build/bin/telmar-setup-$version.msi")
table() { msiinfo export "$msi" "$1" 2>/dev/null | tr -d '\r' | tail -n +4; }
row() { table "$1" | grep -q "^$2\$"; }  # row TABLE LINE: TABLE has the row LINE (a regex)
sequence() { table InstallExecuteSequence | awk -F'\t' -v a="$1" '$1 == a {print $3}'; }
check "the package telmar-setup-$version.msi is built" test -s "$msi"
summary=$(msiinfo suminfo "$msi" 2>/dev/null)
check "the package is for 32-bit Windows (Intel)" grep -q '^Template: Intel;1033$' <<<"$summary"
check "the package needs no Windows Installer above 3.01 (Windows XP SP3)" \
  test "$(sed -n 's/^Version: \([0-9]*\).*/\1/p' <<<"$summary")" -le 301
check "the package installs per machine" row Property 'ALLUSERS.1'
check "the package has no Modify button" row Property 'ARPNOMODIFY.1'
check "the package's version is $version" row Property "ProductVersion.$version"
upgrade_code='{6E1D2C9B-5A47-4B8E-9F30-7C2A1E4D8B50}'
check "the package's UpgradeCode is the fixed one" row Property "UpgradeCode.$upgrade_code"
check "an earlier version is found and removed" row Upgrade "$upgrade_code..$version.*WIX_UPGRADE_DETECTED"
check "a later version refuses this one" row Upgrade "$upgrade_code.$version.*WIX_DOWNGRADE_DETECTED"
check "a later version installed stops the installation" row LaunchCondition 'NOT WIX_DOWNGRADE_DETECTED.*'
# Inside the installation's transaction, before anything is installed: an upgrade whose run
# fails rolls back to the earlier version.
check "the earlier version goes first, inside the installation's transaction" bash -c \
  '[ "$0" -gt "$1" ] && [ "$0" -lt "$2" ]' "$(sequence RemoveExistingProducts)" \
  "$(sequence InstallInitialize)" "$(sequence ProcessComponents)"
check "the access manager's data folder is searched for" bash -c \
  'grep -q "^DATAFOLDER.DataFolderSearch$" <<<"$0" && grep -q "^DataFolderSearch..\[CommonAppDataFolder\]velmora.telmarv3.0$" <<<"$1"' \
  "$(table AppSearch)" "$(table DrLocator)"
check "an installation without the data folder stops, with a plain message" \
  row LaunchCondition 'Installed OR DATAFOLDER.The access manager must be installed first: its data folder \[CommonAppDataFolder\]velmora.telmarv3 is missing\.'
check "the program's file row has its 8.3 name, its version and its language" \
  row File "TelmarSetupExe.Program.TELMAR~1.EXE|telmar-setup.exe.[0-9]*.$version.0.1033.*"
check "a versioned file has no file hash" test -z "$(table MsiFileHash)"
check "the settings' components are transitive (asked again on a repair)" bash -c \
  '[ "$(grep -cE "^(TraceFile|SerialServices)Setting.[^\t]*.INSTALLFOLDER.68.(TRACEFILE|SERIALSERVICES)" <<<"$0")" = 2 ]' \
  "$(table Component)"
check "wixl's secure properties are kept beside the package's own" \
  row Property 'SecureCustomProperties.WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;SERIALSERVICES;TRACEFILE'
check "Add/Remove Programs shows a publisher, a contact and a comment" bash -c \
  'grep -q "^Manufacturer.velmora$" <<<"$0" && grep -q "^ARPCONTACT.velmora$" <<<"$0" && grep -q "^ARPCOMMENTS.Writes " <<<"$0"' \
  "$(table Property)"
check "the installed program is run deferred, as LocalSystem, its exit status checked (3090)" \
  row CustomAction 'RunTelmarSetup.3090.TelmarSetupExe\s*'
check "the run comes after WriteRegistryValues, before InstallFinalize, not on removal" bash -c \
  '[ "$1" -gt "$0" ] && [ "$1" -lt "$2" ]' "$(sequence WriteRegistryValues)" \
  "$(sequence RunTelmarSetup)" "$(sequence InstallFinalize)"
check "the run's condition: installing, or an administrator's repair, never removal" \
  row InstallExecuteSequence 'RunTelmarSetup.(NOT Installed OR (REINSTALL AND AdminUser)) AND NOT REMOVE~="ALL".[0-9]*'
for pair in TRACEFILE:TraceFile SERIALSERVICES:SerialServices; do
  property=${pair%:*} value=${pair#*:}
  check "$property is a secure public property" grep -q "^SecureCustomProperties.*\\b$property\\b" <(table Property)
  check "the $value value is written only when $property is set" \
    row Component "${value}Setting.*$property.*"
  check "$value is kept across repairs and upgrades without $property" \
    row InstallExecuteSequence "Keep$value.NOT $property AND SAVED$property.[0-9]*"
  check "$property=- clears $value, before the components are decided" bash -c \
    'grep -q "^Clear$0.51.$1..$" <<<"$2" && [ "$(awk -F"\t" -v a="Clear$0" "\$1 == a && \$2 == \"$1=\\\"-\\\"\" {print \$3}" <<<"$3")" -lt "$4" ]' \
    "$value" "$property" "$(table CustomAction)" "$(table InstallExecuteSequence)" "$(sequence CostFinalize)"
done
# The settings, and the event source: the program as the message file (an expandable string),
# the three types of event, and the key itself removed with the package.
event_key='SYSTEM\CurrentControlSet\Services\EventLog\Application\telmar-setup'
check "the package writes TraceFile, SerialServices and the event source's key alone" \
  test "$(table Registry | cut -f2-5 | sort)" = "$({ printf '2\tSOFTWARE\\velmora\\telmar-setup\t%s\t%s\n' \
    SerialServices '[SERIALSERVICES]' TraceFile '[TRACEFILE]'
    printf '2\t%s\t%s\t%s\n' "$event_key" - '' "$event_key" EventMessageFile '#%[#TelmarSetupExe]' \
      "$event_key" TypesSupported '#7'; } | sort)"
check "the event source is always installed, and its key is its key path" \
  row Component 'EventSource.{[0-9A-F-]*}.INSTALLFOLDER.4..reg[0-9A-F]*'
check "the package installs telmar-setup.exe in [ProgramFilesFolder]velmora\\telmar-setup" bash -c \
  'grep -q "^TelmarSetupExe.Program.TELMAR~1.EXE|telmar-setup.exe" <<<"$0" && grep -q "^INSTALLFOLDER.VelmoraFolder.TELMAR~1|telmar-setup$" <<<"$1" &&
   grep -q "^VelmoraFolder.ProgramFilesFolder.velmora$" <<<"$1"' "$(table File)" "$(table Directory)"
mkdir -p "$work/msi-tables" "$work/msi-files"
msidump -d "$work/msi-tables" -t "$msi" >/dev/null 2>&1
check "no table of the package names telmar.old or QLP_CONFIG.INI, nor the data folder but to look for it" \
  bash -c '! grep -rqiE "telmar\.old|QLP_CONFIG|Application Data" "$0" &&
    ! grep -rliE "telmarv3|CommonAppData" "$0" | grep -vE "/(DrLocator|LaunchCondition)\.idt$"' "$work/msi-tables"
(cd "$work/msi-files" && msiextract "$msi" >/dev/null 2>&1)
check "the package holds the build's program, and nothing else" bash -c \
  '[ "$(find "$0" -type f | wc -l)" = 1 ] && cmp -s "$(find "$0" -type f)" "$1"' "$work/msi-files" "$exe"

# The same sources give the same bytes: two more builds, each from a copy of the sources in
# a folder of another name, give the program and the stand-ins beside it byte for byte the same.
# The second is signed with a throw-away certificate: its signatures verify, and the files
# without them are the first build's. wixl gives every package a new package code and time
# stamps: the packages of both builds hold the same tables instead.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=telmar-setup test signer" \
  -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1 &&
  openssl pkcs12 -export -in "$work/cert.pem" -inkey "$work/key.pem" -out "$work/signer.p12" \
    -passout pass:throw-away >/dev/null 2>&1 || echo "FAIL: no throw-away certificate"
for copy in first second-copy; do
  mkdir -p "$work/$copy/sources"
  tar -C "$root" -c --exclude=./build --exclude=./.git . | tar -C "$work/$copy/sources" -x
  signing=()
  [ "$copy" = first ] || signing=(TELMAR_SIGNING_PKCS12="$work/signer.p12" TELMAR_SIGNING_PASSWORD=throw-away)
  (cd "$work/$copy/sources" && cmake --preset win32 -B "$work/$copy/build" -DTELMAR_BUILD_NUMBER="${version##*.}" >/dev/null &&
     env "${signing[@]}" cmake --build "$work/$copy/build" -j 2 \
       --target telmar-setup qlpinw32 SimQlp telmar-check no-manifest msi_package >/dev/null) ||
    echo "FAIL: the build in $work/$copy"
done
signed=$work/second-copy/build
for file in bin/telmar-setup.exe kit/telmar-check.exe bin/telmar-setup-$version.msi; do
  check "the signed build's $file has a signature that verifies" \
    bash -c 'osslsigncode verify -in "$0" -CAfile "$1" >/dev/null 2>&1' "$signed/$file" "$work/cert.pem"
  check "the first build's $file is not signed" \
    bash -c '! osslsigncode verify -in "$0" >/dev/null 2>&1' "$work/first/build/$file"
done
for file in bin/telmar-setup.exe kit/telmar-check.exe; do
  osslsigncode remove-signature -in "$signed/$file" -out "$work/unsigned.exe" >/dev/null 2>&1
  check "$file is the same from both builds, without its signature" \
    cmp "$work/first/build/$file" "$work/unsigned.exe"
  rm -f "$work/unsigned.exe"
done
(cd "$work/msi-files" && rm -rf ./* && msiextract "$signed/bin/telmar-setup-$version.msi" >/dev/null 2>&1)
check "the signed package holds the signed program" \
  cmp -s "$(find "$work/msi-files" -type f | head -1)" "$signed/bin/telmar-setup.exe"
for file in bin/qlpinw32.dll bin/SimQlp.dll kit/doubles/no-manifest.exe; do
  check "$file is the same from both builds" cmp "$work/first/build/$file" "$signed/$file"
done
for copy in first second-copy; do
  mkdir -p "$work/$copy/tables"
  msidump -d "$work/$copy/tables" -t "$work/$copy/build/bin/telmar-setup-$version.msi" >/dev/null 2>&1
done
check "the packages of both builds hold the same tables (but the signed file's)" \
  diff -r -x File.idt -x MsiFileHash.idt -x _SummaryInformation.idt -x 'Binary*' \
    "$work/first/tables" "$work/second-copy/tables"

# A version per build: in a git checkout, a later commit gives a higher version, and the
# package another ProductCode; the same version, the same code.
# version_of DIR: the version that the sources of the git checkout DIR configure to.
version_of() {
  rm -rf "$1.build"
  cmake -S "$1" -B "$1.build" -DTELMAR_TESTS=OFF >/dev/null 2>&1 && cat "$1.build/telmar-version.txt"
}
# code_of VERSION: the ProductCode of the package of that version.
code_of() {
  cmake -DPROGRAM="$exe" -DVERSION="$1" -DOUTPUT="$work/code-$1.msi" -P "$root/package/make-package.cmake" \
    >/dev/null 2>&1 && msiinfo export "$work/code-$1.msi" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p'
}
if git -C "$root" rev-parse --git-dir >/dev/null 2>&1 && git clone -q "$root" "$work/clone" 2>/dev/null; then
  here=$(version_of "$work/clone")
  echo "a comment for a later commit" >>"$work/clone/README.md"
  git -C "$work/clone" -c user.name=check -c user.email=check@invalid commit -qam "a later commit"
  later=$(version_of "$work/clone")
  check "a later commit gives a higher version ($here, then $later)" bash -c \
    '[ -n "$0" ] && [ -n "$1" ] && [ "${1##*.}" -gt "${0##*.}" ] && [ "${0%.*}" = "${1%.*}" ]' "$here" "$later"
  check "a later version gives another ProductCode, the same version the same one" bash -c \
    '[ -n "$0" ] && [ "$0" != "$1" ] && [ "$0" = "$2" ]' "$(code_of "$here")" "$(code_of "$later")" "$(code_of "$here")"
else
  echo "skip  version per commit: $root is not a git checkout"
fi

echo "Windows artifacts: $passed passed, $failures failed"
[ "$failures" -eq 0 ]
