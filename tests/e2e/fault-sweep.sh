#!/usr/bin/env bash
# Interrupts the Linux program at every point of its run where telmar.old may change, and
# checks that it never leaves a damaged file behind:
#  - it is killed (SIGKILL) at every occurrence of every system call it makes from the
#    moment it starts writing (strace's fault injection, counted per system call);
#  - each write-side call (write, pwrite64, fsync, rename, openat, close, ftruncate,
#    fallocate) fails at each occurrence, with ENOSPC once and with EIO from then on.
# After each run telmar.old must be the earlier file, byte for byte, or the complete new
# one (on a first install: no file, or the complete one), and a normal run afterwards
# must leave the complete new file and nothing else in the data folder.
#
# Usage: fault-sweep.sh BIN_DIR   (the folder of telmar-setup and qlpinw32.so)
# Exit status 77 (skipped) when a case is skipped: strace is missing or cannot trace here, or
# no private pcscd can start (tests/e2e/common.sh).
set -uo pipefail
E2E_WORK_NAME=sweep . "$(dirname "$0")/common.sh"
bin=$(cd "${1:?usage: $0 BIN_DIR}" && pwd) || exit 2
strace -f -qq -o /dev/null true 2>/dev/null ||
  unavailable="skip:strace is missing or cannot trace here"

calls_written=(write pwrite64 fsync rename openat close ftruncate fallocate)
printf 'an earlier run\r\n[CONFIG]\r\nNbCanaux=9\r\n' >"$work/earlier.old"

# A workstation in folder $1: sysfs with the serial ports $ports, the program's data
# folder holding a copy of $earlier when one is given.
make_workstation() {
  local dir=$1 k
  rm -rf "$dir" && mkdir -p "$dir/profile/velmora/telmarv3" "$dir/sys/class/tty"
  for k in ${ports//,/ }; do
    mkdir -p "$dir/sys/class/tty/ttyS$k" && echo 4 >"$dir/sys/class/tty/ttyS$k/type"
  done
  [ -z "$earlier" ] || cp "$earlier" "$dir/profile/velmora/telmarv3/telmar.old"
}

# run_program DIR [strace option...]: the program on the workstation in DIR, traced with
# the options given when there are any.
run_program() {
  local dir=$1; shift
  local tracer=()
  [ $# -eq 0 ] || tracer=(strace -f -qq -o /dev/null "$@" --)
  (cd "$dir" && ALLUSERSPROFILE=$dir/profile TELMAR_SYSFS=$dir/sys QLP_SIM_READERS=$readers \
     "${socket[@]}" "${tracer[@]}" "$bin/telmar-setup") >/dev/null 2>&1
}

# What is in the data folder of DIR: "earlier", "new", "none" or "damaged".
file_state() {
  local file=$1/profile/velmora/telmarv3/telmar.old
  if [ ! -e "$file" ]; then echo none
  elif [ -n "$earlier" ] && cmp -s "$file" "$earlier"; then echo earlier
  elif cmp -s "$file" "$expected_dir/$expected"; then echo new
  else echo damaged
  fi
}

# check_point DIR LABEL INJECTION: one interrupted run and the complete run after it;
# prints the state the interrupted run left, then what went wrong, if anything.
check_point() {
  local dir=$1 label=$2 injection=$3 outcome after problem=""
  make_workstation "$dir"
  run_program "$dir" -e "$injection"
  outcome=$(file_state "$dir")
  [ "$outcome" != damaged ] || problem="$label (${injection#*when=}): telmar.old damaged"
  # The next complete run mends whatever the interrupted one left.
  run_program "$dir"
  after=$(ls -A "$dir/profile/velmora/telmarv3" | tr '\n' ' ')
  if [ -z "$problem" ] &&
     { [ "$(file_state "$dir")" != new ] || [ "$after" != "telmar.old " ]; }; then
    problem="$label (${injection#*when=}): the next run left $after($(file_state "$dir"))"
  fi
  rm -rf "$dir"
  echo "$outcome $problem"
}

# sweep NAME EXPECTED EARLIER(or "") PORTS READERS: every kill and fault point of one workstation.
sweep() {
  local name=$1 expected=$2 earlier=$3 ports=$4 readers=$5
  case_begins "$name" || return 0
  local dir=$work/$name
  # Where each call stands in a normal run: the points start at the first call that
  # names the file, counted per system call from the start of the run.
  make_workstation "$dir"
  (cd "$dir" && ALLUSERSPROFILE=$dir/profile TELMAR_SYSFS=$dir/sys QLP_SIM_READERS=$readers \
     "${socket[@]}" strace -f -qq -o "$work/$name.strace" "$bin/telmar-setup" >/dev/null 2>&1)
  if [ "$(file_state "$dir")" != new ]; then
    fail "$name" "the run without faults did not write $expected"
    return
  fi
  local -a points
  mapfile -t points < <(awk -v written="${calls_written[*]}" '
    { sub(/^[0-9]+ +/, ""); call = $0; sub(/\(.*/, "", call)
      if (call !~ /^[a-z_0-9]+$/) next
      seen[call]++
      if (!started && index($0, "telmar.old")) started = 1
      if (started) print call ":" seen[call] }' "$work/$name.strace")
  if [ ${#points[@]} -eq 0 ]; then
    fail "$name" "the run without faults never named telmar.old"
    return
  fi
  local point call when outcome bad=()
  local -A counts=([earlier]=0 [new]=0 [none]=0 [damaged]=0)
  local -a runs=()
  for point in "${points[@]}"; do
    call=${point%%:*} when=${point#*:}
    runs+=("kill $call inject=$call:signal=SIGKILL:when=$when")
    if [[ " ${calls_written[*]} " == *" $call "* ]]; then
      runs+=("ENOSPC-once $call inject=$call:error=ENOSPC:when=$when"
             "EIO-from-then-on $call inject=$call:error=EIO:when=$when+")
    fi
  done
  # Two runs at a time, each on a workstation of its own; each writes its verdict.
  local i=0 label injection
  mkdir -p "$work/$name.verdicts"
  for run in "${runs[@]}"; do
    i=$((i + 1))
    [ $i -le 2 ] || wait -n
    check_point "$dir-$i" "${run% *}" "${run##* }" >"$work/$name.verdicts/$i" 2>/dev/null &
  done
  wait
  local verdict
  for verdict in "$work/$name.verdicts"/*; do
    read -r outcome rest <"$verdict"
    counts[$outcome]=$((counts[$outcome] + 1))
    [ -z "$rest" ] || bad+=("$rest")
  done
  local summary="${#runs[@]} runs: earlier ${counts[earlier]}, new ${counts[new]},"
  summary+=" none ${counts[none]}, damaged ${counts[damaged]}"
  if [ ${#bad[@]} -eq 0 ]; then pass "$name: $summary"
  else fail "$name" "$summary; ${bad[*]:0:3}"; fi
}

socket=(env PCSCLITE_CSOCK_NAME=$work/no-pcscd.comm)
sweep serial-replacing serial-19200-both.old "$work/earlier.old" 6 7@19200
sweep serial-first-install serial-19200-both.old "" 6 7@19200

socket=(env)
[ -n "$unavailable" ] || start_pcscd "Reader A"
sweep mixed-replacing one-serial-two-pcsc.old "$work/earlier.old" 0,2 3@19200
stop_pcscd

finish "Fault sweep"
