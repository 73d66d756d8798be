#!/usr/bin/env bash
# The test run's own reports, on stand-ins of what it runs: a crash is reported as a failure,
# never as a skip, and a failed installation is counted among the failed suites.
#  - the 32-bit end-to-end run of a program that crashes as it starts must fail every case;
#  - scripts/test-all.sh, in a copy of the project where installing fails and the fuzzing suite
#    prints a skip and then crashes, must count both as failed, list no skip, and exit with 1;
#    a suite name it is given that is no suite's is one more failure;
#  - scripts/install-deps.sh, with stand-ins of apt-get and dpkg, installs what is missing while
#    the archive's lists fail to update, and while installing works only at the release's own
#    versions; when installing never works, it fails and names what is missing.
set -uo pipefail
E2E_WORK_NAME=reports . "$(dirname "$0")/common.sh"

# A 32-bit x86 program that crashes at once; where it cannot even start (natively or under
# qemu-i386), a crash cannot be told from code that does not run, and the case is skipped.
crasher=$work/crash/bin/telmar-setup
mkdir -p "${crasher%/*}"
if ! printf '#include <signal.h>\nint main(void) { return raise(SIGSEGV); }\n' |
     ${CC:-cc} -m32 -x c -o "$crasher" - >"$work/cc.out" 2>&1; then
  why="no 32-bit x86 program can be built here"
elif { "$crasher"; } 2>/dev/null; [ $? -eq 139 ] ||
     { command -v qemu-i386 >/dev/null && { qemu-i386 -L / "$crasher"; } 2>/dev/null; [ $? -eq 139 ]; }; then
  why=""
else
  why="32-bit x86 code runs neither natively nor under qemu-i386 here"
fi
if case_begins crash-in-32-bit-run; then
  if [ -n "$why" ]; then
    skip crash-in-32-bit-run "$why"
  else
    "$root/tests/e2e/run-linux-e2e.sh" "${crasher%/*}" conventions >"$work/crash.out" 2>&1
    status=$?
    [ $status -eq 1 ] || problem "exit status $status, not 1"
    ! grep -q '^skip' "$work/crash.out" || problem "$(grep -m1 '^skip' "$work/crash.out")"
    check_lines "its output" "$work/crash.out" "" 'FAIL  stdcall: exit status 139*' \
      'FAIL  cdecl-first-gen: exit status 139*' 'Linux end-to-end: 0 passed, 4 failed, 0 skipped'
    case_ends crash-in-32-bit-run || sed 's/^/      /' "$work/crash.out"
  fi
fi

if case_begins install-failure-and-crash-counted; then
  copy=$work/project
  mkdir -p "$copy/scripts" "$copy/tests/fuzz"
  cp "$root/scripts/test-all.sh" "$copy/scripts/"
  printf '#!/bin/sh\necho "cannot reach the package archive"\nexit 100\n' >"$copy/scripts/install-deps.sh"
  printf '#!/bin/sh\necho "skip  corpus: none here"\nkill -SEGV $$\n' >"$copy/tests/fuzz/run-fuzzers.sh"
  chmod +x "$copy/scripts/install-deps.sh" "$copy/tests/fuzz/run-fuzzers.sh"
  "$copy/scripts/test-all.sh" fuzzing "Wine test" >"$work/all.out" 2>&1
  status=$?
  [ $status -eq 1 ] || problem "exit status $status, not 1"
  ! grep -qE '^(SKIPPED|  skipped )' "$work/all.out" || problem "$(grep -m1 -E '^(SKIPPED|  skipped )' "$work/all.out")"
  check_lines "its output" "$work/all.out" "" \
    'FAILED: scripts/install-deps.sh; fuzzing (exit status 139); no suite is named "Wine test"' \
    'Test suites: 0 passed, 3 failed, 0 skipped'
  case_ends install-failure-and-crash-counted || sed 's/^/      /' "$work/all.out"
fi

# The archive as a stand-in: apt-get records its calls, fails as the row's MODE says, and marks
# what it installs, which dpkg -s then finds; nothing of the machine's own packages is touched.
apt=$work/apt
mkdir -p "$apt/bin"
printf '#!/bin/sh\nexec "$@"\n' >"$apt/bin/sudo"
printf '#!/bin/sh\n[ "$1" != -s ] || exec grep -qxF "$2" "$APT_STATE/installed"\n' >"$apt/bin/dpkg"
cat >"$apt/bin/apt-get" <<'STAND_IN'
#!/bin/sh
echo "apt-get $*" >>"$APT_STATE/calls"
if [ "$1" = update ]; then
  echo "E: Failed to fetch http://archive.invalid/dists/sec/main/binary-i386/Packages.xz  File has unexpected size (1 != 2). Mirror sync in progress?"
  exit 100
fi
release=""
case " $* " in *" -t $APT_CODENAME "*) release=1 ;; esac
if [ "$APT_MODE" = never ] || { [ "$APT_MODE" = release ] && [ -z "$release" ]; }; then
  echo "E: Unable to correct problems, you have held broken packages." && exit 100
fi
shift
while [ $# -gt 0 ]; do
  case $1 in -t) shift ;; -*) ;; *) echo "$1" >>"$APT_STATE/installed" ;; esac
  shift
done
STAND_IN
chmod +x "$apt/bin/"*
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
# MODE STATUS LINE...: the first run's exit status and lines of its output.
while read -r mode status lines; do
  if case_begins "install-deps-$mode"; then
    rm -f "$apt/installed" "$apt/calls" && touch "$apt/installed"
    run() { PATH=$apt/bin:$PATH APT_STATE=$apt APT_MODE=$mode APT_CODENAME=$codename \
              TELMAR_INSTALL_PAUSE=0 "$root/scripts/install-deps.sh" all; }
    run >"$work/deps.out" 2>&1
    got=$?
    [ $got -eq "$status" ] || problem "exit status $got, not $status"
    eval "check_lines 'its output' \"\$work/deps.out\" '' $lines"
    [ "$(grep -c '^apt-get update' "$apt/calls")" -eq 3 ] || problem "apt-get update not tried 3 times"
    again=$(run 2>&1) && [ -z "$again" ] && again=""
    if [ "$status" -eq 0 ] && [ -n "$again" ]; then
      problem "a package is still missing: $again"
    fi
    case_ends "install-deps-$mode" || sed 's/^/      /' "$work/deps.out"
  fi
done <<ROWS
update-fails 0 '  E: Failed to fetch http://archive.invalid/dists/sec/*' 'going on with the package lists at hand'
release 0 'apt-get install failed:' "trying again at $codename's own versions"
never 1 '  E: Unable to correct problems, you have held broken packages.' 'not installed: cmake g++ make *wine32:i386*qemu-user'
ROWS

finish "Test run reports"
