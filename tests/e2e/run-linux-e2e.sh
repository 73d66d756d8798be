#!/usr/bin/env bash
# Runs the Linux program as a process on simulated workstations and checks the file it
# leaves behind, byte for byte, against the expected files in tests/data/expected:
#  - serial ports come from a sysfs tree of the test's own (TELMAR_SYSFS);
#  - the stand-in protocol library beside the program simulates the readers of
#    QLP_SIM_READERS and logs its calls to QLP_SIM_LOG;
#  - PC/SC readers come from a private pcscd with virtual readers (tests/tools/pcscd-session.sh).
#
# Usage: run-linux-e2e.sh BIN_DIR   (the folder of telmar-setup and qlpinw32.so)
#        run-linux-e2e.sh BIN_DIR conventions
#   The second form takes a 32-bit x86 build (preset native-i686) and runs the program with
#   the stand-in in each calling convention (__stdcall, __cdecl) and generation, serial
#   readers only (there is no 32-bit pcsc-lite). Where the kernel cannot run 32-bit code,
#   the program runs under qemu-i386; with neither, the cases are skipped (exit 77).
set -uo pipefail
. "$(dirname "$0")/common.sh"

# run_case NAME EXPECTED [option...]
#   ports=0,2          built-in serial ports ttyS0, ttyS2 (COM1, COM3)
#   readers=3@19200    readers the stand-in protocol library answers for
#   no-library         the program alone in its folder: no protocol library to load
#   library=FOLDER     the program with the qlpinw32 of FOLDER (below BIN_DIR's parent)
#   earlier=FILE       a telmar.old of an earlier run, which must stay as it was
#   log=TEXT           a line the protocol library's log must hold (may repeat)
#   tries=N            the number of LnkConnect (or LNK_Connect) calls expected
#   usb=ttyACM0        a USB serial device; usb=ttyUSB0:ftdi_sio with its driver's name
#   trace=PATTERN      run with the trace on: a line (a shell pattern) it must hold (may repeat)
#   trace=unwritable   run with the trace naming a file that cannot be created
# Hostile workstations (the expected file is then "-": nothing may be written anywhere):
#   profile=unset|empty|long   ALLUSERSPROFILE unset, empty, or too long for a path
#   data=missing|file|readonly the data folder missing, a file, or not writable
#   old=readonly|directory     telmar.old of an earlier run read-only, or a folder
#   old=writable               telmar.old of an earlier run writable (666): with data=readonly
#                              the program must fill it in place, to the expected file
# These run as an unprivileged user when the tests run as root, so that permissions bite.
# Every file and folder of a case, with its type, mode and content checksum, but for the
# program's output, the protocol library's log and the current folder (checked apart).
snapshot() {
  (cd "$1" && { find . ! -path './cwd*' ! -name out ! -name qlp.log ! -name trace.log -printf '%p %y %m\n'
                find . ! -path './cwd*' ! -name out ! -name qlp.log ! -name trace.log -type f -exec md5sum {} +; } | sort)
}

run_case() {
  local name=$1 expected=$2; shift 2
  local ports="" readers="" library=1 earlier="" tries="" logs=() option usb=() traces=()
  local profile=set data_state=ok old_state="" as_user=()
  for option in "$@"; do
    case $option in
      profile=*) profile=${option#profile=} ;;
      data=*) data_state=${option#data=} ;;
      old=*) old_state=${option#old=} ;;
      ports=*) ports=${option#ports=} ;;
      readers=*) readers=${option#readers=} ;;
      no-library) library=0 ;;
      library=*) library=${option#library=} ;;
      earlier=*) earlier=${option#earlier=} ;;
      tries=*) tries=${option#tries=} ;;
      log=*) logs+=("${option#log=}") ;;
      usb=*) usb+=("${option#usb=}") ;;
      trace=*) traces+=("${option#trace=}") ;;
    esac
  done
  local dir=$work/$name
  local data=$dir/profile/velmora/telmarv3 sysfs=$dir/sys program=$bin/telmar-setup
  mkdir -p "$data" "$sysfs/class/tty" "$dir/cwd"
  local k
  for k in ${ports//,/ }; do
    mkdir -p "$sysfs/class/tty/ttyS$k"
    echo 4 >"$sysfs/class/tty/ttyS$k/type"
  done
  for k in "${usb[@]}"; do
    mkdir -p "$sysfs/class/tty/${k%%:*}/device" "$sysfs/drivers/${k#*:}"
    [ "$k" = "${k#*:}" ] || ln -s "$sysfs/drivers/${k#*:}" "$sysfs/class/tty/${k%%:*}/device/driver"
  done
  # An earlier report in the trace file, which the run must append to.
  local trace_file=""
  if [ "${traces[*]}" = unwritable ]; then
    trace_file=$dir/no-folder/trace.log
  elif [ ${#traces[@]} -gt 0 ]; then
    trace_file=$dir/trace.log && echo "an earlier report" >"$trace_file"
  fi
  if [ "$library" != 1 ]; then
    mkdir -p "$dir/app" && cp "$bin/telmar-setup" "$dir/app/" && program=$dir/app/telmar-setup
    [ "$library" = 0 ] || cp "$bin/../$library/qlpinw32.so" "$dir/app/"
  fi
  [ -n "$earlier" ] && cp "$earlier" "$data/telmar.old"

  local profile_dir=$dir/profile
  case $profile in
    unset) profile_dir="" ;;
    empty) profile_dir=- ;;
    long) profile_dir=$dir/$(printf 'p%.0s' {1..250}) ;;
  esac
  case $data_state in
    missing) rm -rf "$data" ;;
    file) rm -rf "$data" && printf 'not a folder' >"$data" ;;
    readonly) chmod 555 "$data" ;;
  esac
  case $old_state in
    readonly) printf 'an earlier run\r\n' >"$data/telmar.old" && chmod 444 "$data/telmar.old" ;;
    directory) mkdir "$data/telmar.old" ;;
    writable) printf 'an earlier run\r\n' >"$data/telmar.old" && chmod 666 "$data/telmar.old" ;;
  esac
  if [ "$profile$data_state$old_state" != setok ] && [ "$(id -u)" = 0 ]; then
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    chmod -R a+rX "$work" && chmod a+w "$dir/cwd" "$dir"
    [ "$trace_file" != "$dir/trace.log" ] || chmod a+w "$trace_file"
    [ "$data_state" = readonly ] || chmod a+w "$data" 2>/dev/null
  fi
  local before
  before=$(snapshot "$dir")

  # Without a private service, no pcscd that happens to run here may lend its readers.
  (cd "$dir/cwd" && unset ALLUSERSPROFILE &&
     { [ -n "$pcscd_dir" ] || export PCSCLITE_CSOCK_NAME=$work/no-pcscd.comm; } &&
     if [ "$profile_dir" = - ]; then export ALLUSERSPROFILE=; elif [ -n "$profile_dir" ]; then
       export ALLUSERSPROFILE=$profile_dir; fi &&
     TELMAR_SYSFS=$sysfs QLP_SIM_READERS=$readers QLP_SIM_LOG=$dir/qlp.log \
     TELMAR_SETUP_LOG=$trace_file \
     "${as_user[@]}" "${runner[@]}" "$program" >"$dir/out" 2>&1)
  local status=$? problem="" hostile=0
  [ "$profile$data_state$old_state" = setok ] || hostile=1
  [ $status -eq 0 ] || problem="exit status $status: $(head -c 300 "$dir/out")"
  [ -e "$data/QLP_CONFIG.INI" ] && problem="QLP_CONFIG.INI left behind"
  [ -n "$(ls -A "$dir/cwd")" ] && problem="files written in the current folder"
  if [ $hostile = 1 ] && [ "$expected" = - ]; then
    local after
    after=$(snapshot "$dir")
    [ "$before" = "$after" ] ||
      problem="files changed: $(diff <(echo "$before") <(echo "$after") | head -c 400)"
    [ ! -e /velmora ] || problem="wrote /velmora"
  elif [ "$expected" = - ]; then
    if [ -n "$earlier" ]; then
      cmp -s "$earlier" "$data/telmar.old" || problem="the earlier telmar.old was changed"
    elif [ -e "$data/telmar.old" ]; then
      problem="telmar.old written with no reader"
    fi
  elif ! cmp -s "$expected_dir/$expected" "$data/telmar.old"; then
    problem="differs from $expected: $(diff <(tr -d '\r' <"$expected_dir/$expected") \
      <(tr -d '\r' <"$data/telmar.old" 2>/dev/null) | head -c 600)"
  fi
  local line
  for line in "${logs[@]}"; do
    grep -qxF "$line" "$dir/qlp.log" 2>/dev/null || problem="log lacks: $line"
  done
  [ "$trace_file" = "$dir/no-folder/trace.log" ] && [ -e "$dir/no-folder" ] && problem="trace folder made"
  if [ "$trace_file" = "$dir/trace.log" ]; then
    local -a report
    mapfile -t report <"$trace_file"
    [[ ${report[0]} == "an earlier report" && ${report[1]} == "telmar-setup "*", system major version 6" ]] ||
      problem="the trace does not follow the earlier report: ${report[*]:0:2}"
    local pattern found
    for pattern in "${traces[@]}"; do
      found=0
      for line in "${report[@]}"; do [[ $line == $pattern ]] && found=1 && break; done
      [ $found = 1 ] || problem="trace lacks: $pattern"
    done
  fi
  if [ -n "$tries" ]; then
    local count
    count=$(grep -cE '^(LnkConnect|LNK_Connect) ' "$dir/qlp.log" 2>/dev/null)
    [ "${count:-0}" = "$tries" ] || problem="$count connection tries, not $tries"
  fi
  if [ -z "$problem" ]; then pass "$name"; else fail "$name" "$problem"; fi
}

finish() {
  echo "Linux end-to-end: $passed passed, $failed failed"
  [ "$failed" -eq 0 ] || exit 1
  [ "${skipped:-0}" -eq 0 ] || exit 77
  exit 0
}

runner=()
if [ "${2:-}" = conventions ]; then
  if env -u ALLUSERSPROFILE TELMAR_SYSFS="$work" "$bin/telmar-setup" >/dev/null 2>&1; then
    echo "32-bit x86 code runs natively here"
  elif command -v qemu-i386 >/dev/null && env -u ALLUSERSPROFILE TELMAR_SYSFS="$work" \
         qemu-i386 -L / "$bin/telmar-setup" >/dev/null 2>&1; then
    echo "This kernel cannot run 32-bit x86 code: running it under qemu-i386"
    runner=(qemu-i386 -L /)
  else
    echo "skip  32-bit x86 code runs neither natively nor under qemu-i386 here"
    exit 77
  fi
  second=("log=LnkConnect 1 1 9600,1,8,0,0" "log=LnkExchange 1 1 2 65535 FF010601 4 33792")
  first=("log=LNK_Init 15 4000 15 10000 1000" "log=LNK_Connect 1 1 1 1 8 0 0"
         "log=LNK_Exchange 2 FF010601 4 65535 1 1 0 33792")
  for convention in stdcall cdecl; do
    folder=bin first_folder=stand-in/first-gen
    [ $convention = cdecl ] && folder=stand-in/cdecl first_folder=stand-in/cdecl-first-gen
    run_case "$convention" serial-9600-only.old library=$folder ports=0 readers=1@9600 tries=2 \
      "${second[@]}"
    run_case "$convention-first-gen" serial-9600-only.old library=$first_folder ports=0 \
      readers=1@9600 tries=2 "${first[@]}"
  done
  finish
fi

# No smart-card service: serial readers alone.
printf 'an earlier run\r\n' >"$work/earlier.old"
run_case no-reader - ports=0,1 "earlier=$work/earlier.old" tries=4 \
  "trace=no reader found: telmar.old left as it was"
run_case serial-9600-only serial-9600-only.old ports=0 readers=1@9600 tries=2 \
  "log=LnkConnect 1 1 19200,1,8,0,0" "log=LnkConnect 1 1 9600,1,8,0,0" \
  "log=LnkExchange 1 1 2 65535 FF010601 4 33792"
run_case serial-19200-wins serial-19200-both.old ports=6 readers=7@19200/9600 tries=1 \
  trace=unwritable

# Hostile workstations: a reader answers, but there is nowhere to write.
for state in profile=unset profile=empty profile=long data=missing data=file data=readonly \
             old=directory; do
  run_case "hostile-${state/=/-}" - "$state" ports=0 readers=1@19200
done
run_case hostile-old-readonly - old=readonly ports=0 readers=1@19200 \
  'trace=earlier telmar.old kept: replacing telmar.old failed: error 13 (Permission denied)'

# A private smart-card service with one virtual reader definition (two slots).
if start_pcscd "Reader A"; then
  run_case one-serial-two-pcsc one-serial-two-pcsc.old ports=0,2 readers=3@19200 tries=3 \
    "log=LnkConnect 1 3 19200,1,8,0,0" "log=LnkExchange 1 3 2 65535 FF010601 4 33792"
  # The same workstation, traced, with a USB port probed in vain and one that is skipped.
  data=$work/traced-mixed/profile/velmora/telmarv3
  run_case traced-mixed one-serial-two-pcsc.old ports=0,2 usb=ttyACM0 usb=ttyUSB0:ftdi_sio \
    readers=3@19200 tries=5 "trace=data folder $data/: exists" \
    "trace=parameter file read back: status 0" \
    "trace=protocol library qlpinw32.dll: loaded from $bin/qlpinw32.so" \
    "trace=protocol library: second generation (Lnk...) taken" \
    'trace=port device 0 "USB Serial Device (COM4)": service "usbser", COM4: listed' \
    'trace=port device 3 "USB Serial Port (COM5)": service "ftdi_sio" not accepted: not probed' \
    'trace=COM4 at 9600 baud: connection status *: no reader' \
    'trace=COM3 at 19200 baud: connection status 0, probe command status 0: reader answered' \
    'trace=PC/SC reader 2: "Reader A 00 01"' 'trace=channel 1: serial reader on COM3 at 19200 baud' \
    'trace=channel 3: PC/SC reader "Reader A 00 01"' 'trace=ListeCanaux=2,3: status 0' \
    "trace=NbCanaux=3: status 0" "trace=telmar.old replaced: $data/telmar.old" \
    'trace=outcome: 1 serial and 2 PC/SC channels, 3 in all'
  run_case pcsc-two-only pcsc-two-only.old
  run_case two-serial-two-pcsc two-serial-two-pcsc.old ports=0,1,2 readers=1@19200,3@9600 tries=5
  run_case library-missing pcsc-two-only.old no-library ports=2 readers=3@19200
  run_case hostile-data-readonly-old-writable pcsc-two-only.old data=readonly old=writable \
    ports=0 readers=1@19200 'trace=telmar.old rewritten in place: */telmar.old'
  stop_pcscd
  if start_pcscd $'Lecteur \xe9tendu'; then
    run_case accented-pcsc-names accented-pcsc-names.old
    stop_pcscd
  else
    fail accented-pcsc-names "pcscd did not start: $(tail -3 "$work/pcscd-start.log")"
  fi
elif [ $? -eq 77 ]; then
  echo "skip  the PC/SC cases: a pcscd that these tests did not start is running"
  skipped=1
else
  fail pcscd "did not start: $(tail -3 "$work/pcscd-start.log")"
fi

finish
