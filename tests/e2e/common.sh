# What the Linux end-to-end scripts share; sourced after `set -uo pipefail`, with the
# script's own arguments. Sets bin (BIN_DIR, the folder of telmar-setup and qlpinw32.so),
# root, expected_dir and work (a fresh folder named after E2E_WORK_NAME, removed at exit
# with any private pcscd still running), and gives pass/fail counting and start_pcscd/
# stop_pcscd.
bin=$(cd "${1:?usage: $0 BIN_DIR}" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
expected_dir=$root/tests/data/expected
session=$root/tests/tools/pcscd-session.sh
work=$(mktemp -d "/tmp/telmar-${E2E_WORK_NAME:-e2e}.XXXXXX")
pcscd_dir=""
cleanup() {
  [ -n "$pcscd_dir" ] && "$session" stop "$pcscd_dir" >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "ok    $1"; }
fail() { failed=$((failed + 1)); echo "FAIL  $1: $2"; }

start_pcscd() {  # start_pcscd NAME...: a private smart-card service with these virtual readers
  pcscd_dir=$work/pcscd
  "$session" start "$pcscd_dir" "$@" >"$work/pcscd-start.log" 2>&1
  local status=$?
  if [ $status -ne 0 ]; then
    pcscd_dir=""
    return $status
  fi
}
stop_pcscd() {
  "$session" stop "$pcscd_dir" >/dev/null 2>&1
  pcscd_dir=""
}
