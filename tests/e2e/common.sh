# What the end-to-end scripts share (the Linux run, the fault sweep, the Wine run); sourced
# after `set -uo pipefail`. Sets root, expected_dir and work: a fresh folder named after
# E2E_WORK_NAME, removed at exit (unless keep_work is set) after e2e_cleanup, when the script
# defines one, and after stopping any private pcscd still running.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
expected_dir=$root/tests/data/expected
session=$root/tests/tools/pcscd-session.sh
work=$(mktemp -d "/tmp/telmar-${E2E_WORK_NAME:-e2e}.XXXXXX")
pcscd_dir=""
cleanup() {
  ! declare -F e2e_cleanup >/dev/null || e2e_cleanup
  [ -z "$pcscd_dir" ] || "$session" stop "$pcscd_dir" >/dev/null 2>&1
  [ -n "${keep_work:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

passed=0 failed=0 skipped=0
pass() { passed=$((passed + 1)); echo "ok    $1"; }
fail() { failed=$((failed + 1)); echo "FAIL  $1: $2"; }
skip() { skipped=$((skipped + 1)); echo "skip  $1: $2"; }

# finish TITLE: the counts; exit status 1 when a case failed, else 77 (ctest's and
# scripts/test-all.sh's "skipped") when a case was skipped, else 0.
finish() {
  echo "$1: $passed passed, $failed failed, $skipped skipped"
  [ "$failed" -eq 0 ] || exit 1
  [ "$skipped" -eq 0 ] || exit 77
  exit 0
}

# A case is a function that declares a local for each of its options, calls case_begins and
# then set_options, runs the program, records each check that fails with problem, and ends with
# case_ends. The first problem is the verdict: a crash is reported as a crash, not as the
# checks that failed because of it.
case_pattern=*     # the cases to run (a shell pattern)
unavailable=""     # skip:WHY or fail:WHY: every case begun from now on is skipped, or fails
problems=()

# set_options OPTION...: "name=value" sets the caller's local of that name (adds to it when it
# is an array), a bare "name" sets it to 1; "-" in a name stands for "_".
set_options() {
  local _option _name
  for _option; do
    _name=${_option%%=*} && _name=${_name//-/_}
    [[ $_option == *=* ]] || _option=$_option=1
    case $(declare -p "$_name" 2>/dev/null) in
      "declare -a"*) local -n _array=$_name && _array+=("${_option#*=}") && unset -n _array ;;
      declare*) printf -v "$_name" '%s' "${_option#*=}" ;;
      *) problem "unknown option $_option" ;;
    esac
  done
}

# case_begins NAME: true when the case is to run; a case that cannot is counted here.
case_begins() {
  [[ $1 == $case_pattern ]] || return 1
  case $unavailable in
    skip:*) skip "$1" "${unavailable#skip:}"; return 1 ;;
    fail:*) fail "$1" "${unavailable#fail:}"; return 1 ;;
  esac
  problems=()
}

problem() { problems+=("$1"); }

# case_ends NAME: passes the case, or fails it with its first problem, the others after it.
case_ends() {
  if [ ${#problems[@]} -eq 0 ]; then pass "$1"; return 0; fi
  fail "$1" "${problems[0]}"
  local more
  for more in "${problems[@]:1}"; do echo "      then: $more"; done
  return 1
}

# lines_of FILE: its lines without CR, and without the empty ones when empty_lines_dropped is
# set (Wine's profile writer rewrites the whole file and drops them, where Windows edits the
# file in place).
lines_of() {
  if [ -n "${empty_lines_dropped:-}" ]; then tr -d '\r' <"$1" | grep -av '^$'
  else tr -d '\r' <"$1"; fi
}

# check_file EXPECTED FILE EARLIER: the telmar.old FILE is the expected file EXPECTED byte for
# byte (all but its empty lines with empty_lines_dropped), its lines ending in CR LF; with
# EXPECTED "-" nothing was written: FILE is still EARLIER, or absent when EARLIER is "".
check_file() {
  local expected=$expected_dir/$1 file=$2 earlier=$3
  if [ "$1" = - ]; then
    if [ -n "$earlier" ]; then
      cmp -s "$earlier" "$file" || problem "the earlier telmar.old was changed"
    elif [ -e "$file" ]; then
      problem "telmar.old written with no reader"
    fi
  elif [ ! -f "$file" ]; then
    problem "no telmar.old in ${file%/*}"
  elif ! cmp -s "$expected" "$file" &&
       { [ -z "${empty_lines_dropped:-}" ] ||
         ! diff <(lines_of "$expected") <(lines_of "$file") >/dev/null; }; then
    problem "differs from $1: $(diff <(lines_of "$expected") <(lines_of "$file") | head -c 600)"
  elif grep -q $'[^\r]$' <(sed -n '$p' "$file"); then
    problem "lines do not end in CR LF"
  fi
}

# check_log FILE LINE...: the protocol library's log FILE holds each LINE.
check_log() {
  local file=$1 line
  shift
  for line; do grep -qxF "$line" "$file" 2>/dev/null || problem "log lacks: $line"; done
}

# check_lines WHAT FILE END PATTERN...: FILE holds, for each shell PATTERN, a line matching it
# and ending in END (a CR where lines end in CR LF, else "").
check_lines() {
  local what=$1 file=$2 end=$3 pattern line found
  shift 3
  local -a lines=()
  { mapfile -t lines <"$file"; } 2>/dev/null
  for pattern; do
    found=0
    for line in "${lines[@]}"; do [[ $line == $pattern$end ]] && found=1 && break; done
    [ $found = 1 ] || problem "$what lacks: $pattern"
  done
}

# check_trace FILE END HEADER PATTERN...: the trace FILE (lines ending in END) holds the line
# "an earlier report" the case wrote there, then the program's HEADER line (a shell pattern),
# then a line for each PATTERN.
check_trace() {
  local file=$1 end=$2 header=$3
  shift 3
  local -a report=()
  { mapfile -t report <"$file"; } 2>/dev/null
  [[ ${report[0]-} == "an earlier report$end" && ${report[1]-} == $header$end ]] ||
    problem "the trace does not follow the earlier report: ${report[*]:0:2}"
  check_lines trace "$file" "$end" "$@"
}

# check_warnings FILE END PATTERN...: the trace FILE (lines ending in END) holds one warning line
# for each shell PATTERN, and no other.
check_warnings() {
  local file=$1 end=$2 count
  shift 2
  count=$(grep -c '^warning: ' "$file" 2>/dev/null)
  [ "${count:-0}" -eq $# ] ||
    problem "${count:-0} warning(s) in the trace, not $#: $(grep -m1 '^warning: ' "$file" | tr -d '\r')"
  [ $# -eq 0 ] || check_lines trace "$file" "$end" "$@"
}

# check_last_line FILE END PATTERN: the last line of the trace FILE (lines ending in END) matches
# the shell PATTERN.
check_last_line() {
  local last
  last=$(tail -n 1 "$1" 2>/dev/null)
  [[ $last == $3$2 ]] || problem "the trace ends with: ${last%$2}"
}

# start_pcscd NAME...: a private smart-card service with these virtual readers. When none can
# start, the cases begun before stop_pcscd are skipped (pcscd or its virtual reader driver is
# missing, or a pcscd these tests did not start is running) or fail, with the reason.
start_pcscd() {
  pcscd_dir=$work/pcscd
  "$session" start "$pcscd_dir" "$@" >"$work/pcscd-start.log" 2>&1
  local status=$?
  [ $status -ne 0 ] || return 0
  pcscd_dir=""
  if [ $status -eq 77 ]; then
    unavailable="skip:$(tail -1 "$work/pcscd-start.log" |
      sed -e 's/^pcscd-session: //' -e 's/; \(it is left alone and this test is \)\?skipped$//')"
  else
    unavailable="fail:pcscd did not start: $(tail -3 "$work/pcscd-start.log")"
  fi
  return $status
}
stop_pcscd() {
  [ -z "$pcscd_dir" ] || "$session" stop "$pcscd_dir" >/dev/null 2>&1
  pcscd_dir=""
  unavailable=""
}
