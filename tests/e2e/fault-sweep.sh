#!/usr/bin/env bash
# Interrupts the Linux program at every point of its run where what lies on disk may change,
# and runs it twice at once, and checks that it never costs the workstation its telmar.old.
#
# The sweep, from the run's first system call (strace's fault injection, counted per system
# call), on a workstation's own data folder:
#  - the run is killed (SIGKILL) at its first call, at every call that changes what lies on
#    disk, and at the call after each of those: a kill anywhere else leaves what a kill at
#    the next of these leaves. Such a call is a rename, unlink, chmod, fchmod, fchown,
#    fsetxattr or fremovexattr (the earlier file's owner, mode and extended attributes, which
#    the new one takes), an openat that may write, or a write, pwrite64, fsync, ftruncate,
#    fallocate or close of a file opened so;
#  - each such call fails, with ENOSPC once and with EIO from then on.
# After each run telmar.old must be the earlier file, byte for byte, or the complete new one
# (on a first installation: no file, or the complete one), never missing where there was
# one; each sweep must see both endings. A normal run afterwards must leave the complete new
# file and nothing else in the data folder.
#
# The overlap trials: two runs on one workstation, the second started 0 to 0.3 s after the
# first. Each run that finds a reader must replace telmar.old, and telmar.old must end as
# the complete file of the one that did so last (the one that waited for the other, when one
# did); the data folder must hold nothing else, then and after a third run. Some trials must
# have overlapped: a run waited for the other.
#
# Usage: fault-sweep.sh BIN_DIR   (the folder of telmar-setup and qlpinw32.so)
# Exit status 77 (skipped) when a case is skipped: strace is missing or cannot trace here, or
# no private pcscd can start (tests/e2e/common.sh).
set -uo pipefail
E2E_WORK_NAME=sweep . "$(dirname "$0")/common.sh"
bin=$(cd "${1:?usage: $0 BIN_DIR}" && pwd) || exit 2
strace -f -qq -o /dev/null true 2>/dev/null ||
  unavailable="skip:strace is missing or cannot trace here"

printf 'an earlier run\r\n[CONFIG]\r\nNbCanaux=9\r\n' >"$work/earlier.old"

# A workstation in folder $1: sysfs with the serial ports $ports, the program's data
# folder holding a copy of $earlier when one is given, with an owner, a mode and an extended
# attribute of its own where this machine allows, for the new file to take.
make_workstation() {
  local dir=$1 k
  rm -rf "$dir" && mkdir -p "$dir/profile/velmora/telmarv3" "$dir/sys/class/tty"
  for k in ${ports//,/ }; do
    mkdir -p "$dir/sys/class/tty/ttyS$k" && echo 4 >"$dir/sys/class/tty/ttyS$k/type"
  done
  [ -n "$earlier" ] || return 0
  local file=$dir/profile/velmora/telmarv3/telmar.old
  cp "$earlier" "$file" && chmod 640 "$file"
  { chown daemon:daemon "$file" && setfattr -n user.installer -v access-manager "$file"; } 2>/dev/null
}

# run_program DIR [strace option...]: the program on the workstation in DIR, with the readers
# $readers and the trace $trace_file (when set), traced with the options given when there
# are any.
run_program() {
  local dir=$1; shift
  local tracer=()
  [ $# -eq 0 ] || tracer=(strace -f -qq -o /dev/null "$@" --)
  (cd "$dir" && ALLUSERSPROFILE=$dir/profile TELMAR_SYSFS=$dir/sys QLP_SIM_READERS=$readers \
     TELMAR_SETUP_LOG=${trace_file:-} "${socket[@]}" "${tracer[@]}" "$bin/telmar-setup") \
     >/dev/null 2>&1
}

# What is in the data folder of DIR: "earlier", "new" (the file $expected), "none" or
# "damaged"; "lost" when there was an earlier file and there is none.
file_state() {
  local file=$1/profile/velmora/telmarv3/telmar.old
  if [ ! -e "$file" ]; then [ -n "$earlier" ] && echo lost || echo none
  elif [ -n "$earlier" ] && cmp -s "$file" "$earlier"; then echo earlier
  elif cmp -s "$file" "$expected_dir/$expected"; then echo new
  else echo damaged
  fi
}

# What the data folder of DIR holds, on one line.
folder_content() { ls -A "$1/profile/velmora/telmarv3" | tr '\n' ' '; }

# check_point DIR LABEL INJECTION: one interrupted run and the complete run after it;
# prints the state the interrupted run left, then what went wrong, if anything.
check_point() {
  local dir=$1 label=$2 injection=$3 outcome after problem=""
  make_workstation "$dir"
  run_program "$dir" -e "$injection"
  outcome=$(file_state "$dir")
  case $outcome in
    damaged|lost) problem="$label (${injection#*when=}): telmar.old $outcome" ;;
  esac
  # The next complete run mends whatever the interrupted one left.
  run_program "$dir"
  after=$(folder_content "$dir")
  if [ -z "$problem" ] && { [ "$(file_state "$dir")" != new ] || [ "$after" != "telmar.old " ]; }; then
    problem="$label (${injection#*when=}): the next run left $after($(file_state "$dir"))"
  fi
  rm -rf "$dir"
  echo "$outcome $problem"
}

# points STRACE_LOG: the points of a run, "kill CALL:N" or "fault CALL:N" a line, N counted per
# system call from the start of the run (see the top of this file).
points() {
  awk '
    { sub(/^[0-9]+ +/, ""); call = $0; sub(/\(.*/, "", call)
      if (call !~ /^[a-z_0-9]+$/) next
      n = ++seen[call]
      fd = $0; sub(/^[a-z_0-9]+\(/, "", fd); sub(/[,)].*/, "", fd)
      result = $0; sub(/.*= /, "", result); sub(/ .*/, "", result)
      changes = call ~ /^(rename|renameat|renameat2|unlink|unlinkat|chmod|fchmod|fchown|fsetxattr|fremovexattr)$/
      if (call == "openat" && $0 ~ /O_WRONLY|O_RDWR|O_CREAT|O_TRUNC/) {
        changes = 1
        if (result ~ /^[0-9]+$/) writable[result] = 1
      }
      if (call ~ /^(write|pwrite64|fsync|fdatasync|ftruncate|fallocate|close)$/ &&
          writable[fd]) changes = 1
      if (call == "close") delete writable[fd]
      if (NR == 1 || changes || after_change) print "kill " call ":" n
      if (changes) print "fault " call ":" n
      after_change = changes }' "$1"
}

# sweep NAME EXPECTED EARLIER(or "") PORTS READERS: every kill and fault point of one workstation.
sweep() {
  local name=$1 expected=$2 earlier=$3 ports=$4 readers=$5
  case_begins "$name" || return 0
  local dir=$work/$name
  make_workstation "$dir"
  (cd "$dir" && ALLUSERSPROFILE=$dir/profile TELMAR_SYSFS=$dir/sys QLP_SIM_READERS=$readers \
     "${socket[@]}" strace -f -qq -o "$work/$name.strace" "$bin/telmar-setup" >/dev/null 2>&1)
  if [ "$(file_state "$dir")" != new ]; then
    fail "$name" "the run without faults did not write $expected"
    return
  fi
  local -a runs=()
  local kind point
  while read -r kind point; do
    if [ "$kind" = kill ]; then
      runs+=("kill ${point%%:*} inject=${point%%:*}:signal=SIGKILL:when=${point#*:}")
    else
      runs+=("ENOSPC-once ${point%%:*} inject=${point%%:*}:error=ENOSPC:when=${point#*:}"
             "EIO-from-then-on ${point%%:*} inject=${point%%:*}:error=EIO:when=${point#*:}+")
    fi
  done < <(points "$work/$name.strace")
  # Two runs at a time, each on a workstation of its own; each writes its verdict.
  local i=0 run
  mkdir -p "$work/$name.verdicts"
  for run in "${runs[@]}"; do
    i=$((i + 1))
    [ $i -le 2 ] || wait -n
    check_point "$dir-$i" "${run% *}" "${run##* }" >"$work/$name.verdicts/$i" 2>/dev/null &
  done
  wait
  local verdict outcome rest bad=()
  local -A counts=([earlier]=0 [new]=0 [none]=0 [lost]=0 [damaged]=0)
  for verdict in "$work/$name.verdicts"/*; do
    read -r outcome rest <"$verdict"
    counts[$outcome]=$((counts[$outcome] + 1))
    [ -z "$rest" ] || bad+=("$rest")
  done
  # Both endings must have been seen, or the points missed what matters.
  local kept=earlier
  [ -n "$earlier" ] || kept=none
  [ "${counts[$kept]}" -gt 0 ] && [ "${counts[new]}" -gt 0 ] ||
    bad+=("not both endings seen ($kept and new)")
  local summary="${#runs[@]} runs: earlier ${counts[earlier]}, new ${counts[new]},"
  summary+=" none ${counts[none]}, lost ${counts[lost]}, damaged ${counts[damaged]}"
  if [ ${#bad[@]} -eq 0 ]; then pass "$name: $summary"
  else fail "$name" "$summary; ${bad[*]:0:3}"; fi
}

# trial DIR FIRST SECOND: one pair of overlapping runs (FIRST and SECOND are
# READERS=EXPECTED, EXPECTED "-" for a run that finds nothing); prints "waited" or "alone",
# then what went wrong, if anything.
trial() {
  local dir=$1 last="" problem="" k
  local -a run=("$2" "$3") pid=() waited=() order=()
  make_workstation "$dir"
  for k in 0 1; do
    [ $k = 0 ] || sleep "$(printf '0.%03d' $((RANDOM % 300)))"
    readers=${run[k]%%=*} trace_file=$dir/trace-$k.log run_program "$dir" & pid[k]=$!
  done
  for k in 0 1; do wait "${pid[k]}" || problem+="run $k: exit status $?; "; done
  for k in 0 1; do
    local trace=$dir/trace-$k.log
    grep -q '^the other run has ended' "$trace" && waited+=("$k")
    if [ "${run[k]#*=}" != - ]; then
      grep -q '^outcome: .*: telmar.old replaced: ' "$trace" || problem+="run $k: $(tail -1 "$trace"); "
    fi
  done
  # The run that waited went second; without a wait, the one started second.
  case ${#waited[@]} in
    0) order=(0 1) ;;
    1) order=($((1 - waited[0])) "${waited[0]}") ;;
    *) order=(0 1) problem+="both runs waited; " ;;
  esac
  for k in "${order[@]}"; do [ "${run[k]#*=}" = - ] || last=${run[k]#*=}; done
  local expected=$last
  [ -z "$last" ] || [ "$(file_state "$dir")" = new ] ||
    problem+="telmar.old is $(file_state "$dir"), not $last; "
  [ "$(folder_content "$dir")" = "telmar.old " ] || problem+="left $(folder_content "$dir"); "
  # A third run, which finds no port, removes whatever the two left.
  rm -rf "$dir/sys/class/tty"/* && readers="" run_program "$dir"
  [ "$(folder_content "$dir")" = "telmar.old " ] ||
    problem+="the third run left $(folder_content "$dir"); "
  rm -rf "$dir"
  echo "$([ ${#waited[@]} -gt 0 ] && echo waited || echo alone) $problem"
}

# overlap NAME TRIALS PORTS FIRST SECOND: TRIALS pairs of overlapping runs on a workstation with
# the serial ports PORTS and an earlier telmar.old.
overlap() {
  local name=$1 trials=$2 ports=$3 first=$4 second=$5 earlier=$work/earlier.old
  case_begins "$name" || return 0
  local i verdict outcome rest waited=0 bad=()
  mkdir -p "$work/$name.verdicts"
  for i in $(seq "$trials"); do
    [ "$i" -le 2 ] || wait -n
    trial "$work/$name-$i" "$first" "$second" >"$work/$name.verdicts/$i" 2>&1 &
  done
  wait
  for verdict in "$work/$name.verdicts"/*; do
    read -r outcome rest <"$verdict"
    [ "$outcome" != waited ] || waited=$((waited + 1))
    [ -z "$rest" ] || bad+=("trial ${verdict##*/}: $rest")
  done
  [ "$waited" -gt 0 ] || bad+=("no run ever waited for the other: the runs never overlapped")
  if [ ${#bad[@]} -eq 0 ]; then pass "$name: $trials trials, $waited with a run that waited"
  else fail "$name" "$trials trials, $waited with a run that waited; ${bad[*]:0:3}"; fi
}

socket=(env PCSCLITE_CSOCK_NAME=$work/no-pcscd.comm)
sweep serial-replacing serial-19200-both.old "$work/earlier.old" 6 7@19200
sweep serial-first-install serial-19200-both.old "" 6 7@19200
# COM1 and COM7: a reader on COM1 answering at 9600, or on COM7 at 19200, or none.
overlap overlap-none-then-reader 50 0,6 =- 7@19200=serial-19200-both.old
overlap overlap-two-readers 50 0,6 1@9600=serial-9600-only.old 7@19200=serial-19200-both.old

socket=(env)
[ -n "$unavailable" ] || start_pcscd "Reader A"
sweep mixed-replacing one-serial-two-pcsc.old "$work/earlier.old" 0,2 3@19200
stop_pcscd

finish "Fault sweep"
