#!/usr/bin/env bash
# Runs every test of the project, installing what they need first:
#  1. the Linux build's unit, integration and end-to-end tests (real pcscd, stand-in library);
#  2. the same tests under AddressSanitizer and UndefinedBehaviorSanitizer;
#  3. the 32-bit Windows program: built, its imports and exports checked;
#  4. the Windows program under Wine, end to end;
#  5. the Linux program built as 32-bit x86 code, end to end with the stand-in protocol
#     library in both calling conventions (under qemu-i386 where the kernel cannot run
#     32-bit code; skipped where neither can);
#  6. each fuzz target for a bounded time.
# A suite that cannot run on this machine is reported as skipped, not as passed.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh all

step() { suites=$((suites + 1)); printf '\n=== %s\n' "$*"; }
failed=()
skipped=()
suites=0

step "Linux build and tests"
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native || failed+=("native tests")

step "Linux tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset native-asan >/dev/null
cmake --build --preset native-asan
ctest --preset native-asan || failed+=("sanitizer tests")

step "32-bit Windows program"
cmake --preset win32 >/dev/null
cmake --build --preset win32
scripts/check-windows-artifacts.sh build/win32 || failed+=("Windows artifacts")

step "Windows program under Wine"
tests/wine/run-wine-tests.sh || failed+=("Wine tests")

step "32-bit x86 calls into the protocol library, both calling conventions"
cmake --preset native-i686 >/dev/null
cmake --build --preset native-i686
status=0
tests/e2e/run-linux-e2e.sh build/native-i686/bin conventions || status=$?
case $status in
  0) ;;
  77) skipped+=("32-bit calls") ;;
  *) failed+=("32-bit calls") ;;
esac

step "Fuzz targets"
tests/fuzz/run-fuzzers.sh || failed+=("fuzzing")

echo
[ ${#failed[@]} -eq 0 ] || echo "FAILED: ${failed[*]}"
[ ${#skipped[@]} -eq 0 ] || echo "SKIPPED: ${skipped[*]}"
echo "Test suites: $((suites - ${#failed[@]} - ${#skipped[@]})) passed, ${#failed[@]} failed"
[ ${#failed[@]} -eq 0 ]
