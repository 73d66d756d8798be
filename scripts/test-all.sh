#!/usr/bin/env bash
# Runs every test of the project, the suites at the end of this file, after installing what
# they need. Each suite is configured, built and run whatever became of the one before, and
# counted as passed, failed (its configure, build or run failed, or it crashed) or skipped: in
# whole, or in part when some of its cases cannot run on this machine. A failed installation
# counts as a failed suite. The failures, and the cases skipped with their reasons, are listed
# at the end with the counts; the exit status is 1 when anything failed.
#
# Usage: scripts/test-all.sh [NAME...]   with names (e.g. "Wine tests"), only those suites; a
# name that is no suite's counts as a failed suite.
set -uo pipefail
cd "$(dirname "$0")/.."

output=$(mktemp /tmp/telmar-test-all.XXXXXX)
trap 'rm -f "$output"' EXIT
passed=0
failed=()    # the suites that failed, and why
skipped=()   # the suites skipped in whole or in part
skips=()     # the cases skipped, "SUITE: CASE: WHY"
broken=" "   # the presets whose configure or build failed

scripts/install-deps.sh all || failed+=("scripts/install-deps.sh")
chosen=("$@")   # the names of the suites to run; none: all
known=" "       # the names of the suites below, each between spaces

# is_chosen NAME: whether the suite NAME is to run.
is_chosen() {
  local name
  [ ${#chosen[@]} -gt 0 ] || return 0
  for name in "${chosen[@]}"; do [ "$name" != "$1" ] || return 0; done
  return 1
}

# suite NAME TITLE PRESET COMMAND...: configures and builds PRESET ("-": none), then runs
# COMMAND. Exit status 77, and the "skip  CASE: WHY" lines of its output, tell what it skipped.
suite() {
  local name=$1 preset=$3 status=0 skips_before=${#skips[@]}
  known+="$name "
  is_chosen "$name" || return 0
  printf '\n=== %s\n' "$2"
  shift 3
  if [[ $broken == *" $preset "* ]]; then
    echo "skipped: it needs the $preset build, which failed above"
    skipped+=("$name (the $preset build failed)") && return
  elif [ "$preset" != - ] && ! cmake --preset "$preset" >/dev/null; then
    failed+=("$name (configuring $preset)") broken+="$preset " && return
  elif [ "$preset" != - ] && ! cmake --build --preset "$preset"; then
    failed+=("$name (building $preset)") broken+="$preset " && return
  fi
  "$@" 2>&1 | tee "$output"
  status=${PIPESTATUS[0]}
  # A suite that failed or crashed is a failure, whatever it said it skipped before.
  if [ "$status" -ne 0 ] && [ "$status" -ne 77 ]; then
    failed+=("$name (exit status $status)") && return
  fi
  local found=()
  mapfile -t found < <(sed -n 's/^skip  //p' "$output")
  skips+=("${found[@]/#/$name: }")
  if [ "$status" -eq 77 ] || [ ${#skips[@]} -gt "$skips_before" ]; then
    skipped+=("$name")
  else
    passed=$((passed + 1))
  fi
}

# ctest_with_skips PRESET: ctest, then the "skip  " lines of the tests it ran and the reasons
# of the GoogleTest cases skipped, which ctest keeps in its log; ctest's own status.
ctest_with_skips() {
  local status=0 log=build/$1/Testing/Temporary/LastTest.log
  rm -f "$log"
  ctest --preset "$1" || status=$?
  awk '/^\[ RUN      \]/ {name = $4} /^skip  / {print}
       /: Skipped$/ {getline; print "skip  " name ": " $0}' "$log"
  return $status
}

suite "native tests" "Linux build and tests" native ctest_with_skips native
suite "sanitizer tests" "Linux tests under AddressSanitizer and UndefinedBehaviorSanitizer" \
  native-asan ctest_with_skips native-asan
suite "Windows artifacts" "32-bit Windows program" win32 \
  scripts/check-windows-artifacts.sh build/win32
suite "Wine tests" "Windows program under Wine" win32 tests/wine/run-wine-tests.sh
suite "32-bit calls" "32-bit x86 calls into the protocol library, both calling conventions" \
  native-i686 tests/e2e/run-linux-e2e.sh build/native-i686/bin conventions
suite fuzzing "Fuzz targets" - tests/fuzz/run-fuzzers.sh

# A name that is no suite's ran nothing: a mistyped name must not pass.
for name in "${chosen[@]}"; do
  [[ $known == *" $name "* ]] || failed+=("no suite is named \"$name\"")
done

echo
[ ${#failed[@]} -eq 0 ] || echo "FAILED: $(printf '%s; ' "${failed[@]}" | sed 's/; $//')"
[ ${#skipped[@]} -eq 0 ] || echo "SKIPPED: $(printf '%s; ' "${skipped[@]}" | sed 's/; $//')"
for case in "${skips[@]}"; do echo "  skipped $case"; done
echo "Test suites: $passed passed, ${#failed[@]} failed, ${#skipped[@]} skipped"
[ ${#failed[@]} -eq 0 ]
