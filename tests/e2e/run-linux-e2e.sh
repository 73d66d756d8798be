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
bin=$(cd "${1:?usage: $0 BIN_DIR [conventions]}" && pwd) || exit 2

# run_case NAME EXPECTED [option...]
#   ports=0,2          built-in serial ports ttyS0, ttyS2 (COM1, COM3)
#   readers=3@19200    readers the stand-in protocol library answers for
#   library=none       the program alone in its folder: no protocol library to load
#   library=FOLDER     the program with the qlpinw32 of FOLDER (below BIN_DIR's parent)
#   earlier=FILE       a telmar.old of an earlier run, which must stay as it was
#   log=TEXT           a line the protocol library's log must hold (may repeat)
#   tries=N            the number of LnkConnect (or LNK_Connect) calls expected
#   usb=ttyACM0        a USB serial device; usb=ttyUSB0:ftdi_sio with its driver's name
#   services=LIST      TELMAR_SETUP_SERIAL_SERVICES: driver services to probe beside the rule
#   trace=PATTERN      run with the trace on: a line (a shell pattern) it must hold (may repeat)
#   trace=unwritable   run with the trace naming a file that cannot be created
#   trace-at=dangling|hardlink|nobody   the trace's name a link that leads nowhere, a second
#                      name of another file, or a file of nobody's (the run as root): nothing may
#                      be made or grown there, and the run goes on without its trace
#   warning=PATTERN    run with the trace on: its warning lines are these (none by default)
#   open=data|library  the data folder, or the library's folder (library=FOLDER), writable by all
#   security=root|nobody  an earlier telmar.old of daemon's (660, an ACL entry for nobody, an
#                      extended attribute), replaced by root or by nobody: it keeps all of it, but
#                      for the owner and group nobody cannot give
#   held=K             another program holds the node of ttyS<K> with an exclusive flock
#   last=PATTERN       run with the trace on: its last line (a shell pattern)
#   param=link|dangling|fifo   QLP_CONFIG.INI planted before the run: a link to a file outside
#                      the data folder (which must stay as it was), a link that leads nowhere
#                      (where nothing may be created), a FIFO (which must not block the run)
#   stray=NAME         a file NAME of an interrupted run in the data folder, which must go
#   locked             another run holds the run lock throughout: with time sped up (strace
#                      skips the pauses), the run must give up and change nothing
# Hostile workstations (the expected file is then "-": nothing may be written anywhere):
#   profile=unset|empty|long   ALLUSERSPROFILE unset, empty, or too long for a path
#   data=missing|file|readonly the data folder missing, a file, or not writable
#   old=readonly|directory     telmar.old of an earlier run read-only, or a folder
#   old=writable               telmar.old of an earlier run (the earlier= file, or one line)
#                              writable (666): with data=readonly it must stay as it was
# These run as an unprivileged user when the tests run as root, so that permissions bite.
# Every file and folder of a case, with its type, mode and content checksum, but for the
# program's output, the protocol library's log and the current folder (checked apart).
snapshot() {
  local skip=(! -path './cwd*' ! -name out ! -name qlp.log ! -name trace.log)
  (cd "$1" && { find . "${skip[@]}" -printf '%p %y %m\n'
                find . "${skip[@]}" -type f -exec md5sum {} +; } | sort)
}

run_case() {
  local name=$1 expected=$2
  shift 2
  case_begins "$name" || return 0
  local ports="" readers="" library=1 earlier="" tries="" log=() usb=() trace=()
  local profile=set data=ok old="" as_user=() param="" stray=() locked="" tracer=() services="" last=""
  local trace_at="" warning=() open="" security="" held=""
  set_options "$@"
  local dir=$work/$name
  local folder=$dir/profile/velmora/telmarv3 sysfs=$dir/sys program=$bin/telmar-setup
  mkdir -p "$folder" "$sysfs/class/tty" "$dir/cwd"
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
  if [ "${trace[*]}" = unwritable ]; then
    trace_file=$dir/no-folder/trace.log
  elif [ ${#trace[@]} -gt 0 ] || [ -n "$last$trace_at" ] || [ ${#warning[@]} -gt 0 ]; then
    trace_file=$dir/trace.log && echo "an earlier report" >"$trace_file"
  fi
  case $trace_at in
    dangling) rm "$trace_file" && ln -s "$dir/nowhere" "$trace_file" ;;
    hardlink) ln "$trace_file" "$dir/other-name" ;;
    nobody) chown 65534 "$trace_file" ;;
  esac
  if [ "$library" != 1 ]; then
    mkdir -p "$dir/app" && cp "$bin/telmar-setup" "$dir/app/" && program=$dir/app/telmar-setup
    [ "$library" = none ] || cp "$bin/../$library/qlpinw32.so" "$dir/app/"
  fi
  [ -n "$earlier" ] && cp "$earlier" "$folder/telmar.old"
  local security_before=""
  if [ -n "$security" ]; then
    chown daemon:daemon "$folder/telmar.old" && chmod 660 "$folder/telmar.old" &&
      setfacl -m u:nobody:rw "$folder/telmar.old" && setfattr -n user.installer -v access-manager \
      "$folder/telmar.old" || problem "the earlier file's security could not be set"
  fi
  case $open in
    data) chmod 777 "$folder" ;;
    library) chmod 777 "$dir/app" ;;
  esac
  case $param in
    link) printf 'outside\r\n' >"$dir/outside.txt" && ln -s "$dir/outside.txt" "$folder/QLP_CONFIG.INI" ;;
    dangling) ln -s "$dir/nowhere" "$folder/QLP_CONFIG.INI" ;;
    fifo) mkfifo "$folder/QLP_CONFIG.INI" ;;
  esac
  for k in "${stray[@]}"; do printf 'left by a killed run' >"$folder/$k"; done

  local profile_dir=$dir/profile
  case $profile in
    unset) profile_dir="" ;;
    empty) profile_dir=- ;;
    long) profile_dir=$dir/$(printf 'p%.0s' {1..250}) ;;
  esac
  case $data in
    missing) rm -rf "$folder" ;;
    file) rm -rf "$folder" && printf 'not a folder' >"$folder" ;;
    readonly) chmod 555 "$folder" ;;
  esac
  case $old in
    readonly) printf 'an earlier run\r\n' >"$folder/telmar.old" && chmod 444 "$folder/telmar.old" ;;
    directory) mkdir "$folder/telmar.old" ;;
    writable) [ -n "$earlier" ] || printf 'an earlier run\r\n' >"$folder/telmar.old"
              chmod 666 "$folder/telmar.old" ;;
  esac
  local hostile=0 holder=""
  [ "$profile$data$old$locked${security#root}" = setok ] || hostile=1
  if [ $hostile = 1 ] && [ "$(id -u)" = 0 ]; then
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    chmod -R a+rX "$work" && chmod a+w "$dir/cwd" "$dir"
    [ "$trace_file" != "$dir/trace.log" ] || chmod a+w "$trace_file"
    [ "$data" = readonly ] || chmod a+w "$folder" 2>/dev/null
  fi
  if [ -n "$held" ]; then
    # A program of its own holds the port's node, as the access manager holds its reader's.
    mkdir -p "$sysfs/dev" && : >"$sysfs/dev/ttyS$held"
    (exec 9<"$sysfs/dev/ttyS$held" && flock 9 && exec sleep 600) >/dev/null 2>&1 & holder=$!
    for k in $(seq 100); do flock -n "$sysfs/dev/ttyS$held" true || break; sleep 0.05; done
  fi
  local before
  before=$(snapshot "$dir")
  [ -z "$security" ] || security_before=$(security_of "$folder/telmar.old")
  if [ -n "$locked" ]; then
    # A process of its own holds the lock on the folder (as a run holds it) until killed.
    (exec 9<"$folder" && flock 9 && exec sleep 600) >/dev/null 2>&1 & holder=$!
    tracer=(strace -f -qq -o /dev/null -e inject=clock_nanosleep:retval=0 --)
    for k in $(seq 100); do flock -n "$folder" true || break; sleep 0.05; done
  fi

  # Without a private service, no pcscd that happens to run here may lend its readers.
  (cd "$dir/cwd" && unset ALLUSERSPROFILE &&
     { [ -n "$pcscd_dir" ] || export PCSCLITE_CSOCK_NAME=$work/no-pcscd.comm; } &&
     if [ "$profile_dir" = - ]; then export ALLUSERSPROFILE=; elif [ -n "$profile_dir" ]; then
       export ALLUSERSPROFILE=$profile_dir; fi &&
     TELMAR_SYSFS=$sysfs QLP_SIM_READERS=$readers QLP_SIM_LOG=$dir/qlp.log \
     TELMAR_SETUP_LOG=$trace_file TELMAR_SETUP_SERIAL_SERVICES=$services \
     timeout -k 5 120 "${as_user[@]}" "${tracer[@]}" "${runner[@]}" "$program" >"$dir/out" 2>&1)
  local status=$?
  [ -z "$holder" ] || { kill "$holder"; wait "$holder"; } 2>/dev/null
  [ $status -eq 0 ] || problem "exit status $status: $(head -c 300 "$dir/out")"
  [ ! -e "$folder/QLP_CONFIG.INI" ] && [ ! -L "$folder/QLP_CONFIG.INI" ] ||
    problem "QLP_CONFIG.INI left behind"
  for k in "${stray[@]}"; do [ ! -e "$folder/$k" ] || problem "$k left behind"; done
  [ "$param" != link ] || [ "$(cat "$dir/outside.txt")" = $'outside\r' ] ||
    problem "the file QLP_CONFIG.INI linked to was written"
  [ ! -e "$dir/nowhere" ] || problem "a file was made where a link led"
  [ -z "$(ls -A "$dir/cwd")" ] || problem "files written in the current folder"
  if [ $hostile = 1 ] && [ "$expected" = - ]; then
    local after
    after=$(snapshot "$dir")
    [ "$before" = "$after" ] ||
      problem "files changed: $(diff <(echo "$before") <(echo "$after") | head -c 400)"
    [ ! -e /velmora ] || problem "wrote /velmora"
  else
    check_file "$expected" "$folder/telmar.old" "$earlier"
  fi
  check_log "$dir/qlp.log" "${log[@]}"
  if [ "$trace_file" = "$dir/no-folder/trace.log" ]; then
    [ ! -e "$dir/no-folder" ] || problem "trace folder made"
  elif [ -n "$trace_at" ]; then
    [ "$(cat "$trace_file" 2>/dev/null)" = "an earlier report" ] || [ "$trace_at" = dangling ] ||
      problem "the trace was written to a file it may not trust"
  elif [ -n "$trace_file" ]; then
    check_trace "$trace_file" "" "telmar-setup *, system major version 6" "${trace[@]}"
    [ -z "$last" ] || check_last_line "$trace_file" "" "$last"
    check_warnings "$trace_file" "" "${warning[@]}"
  fi
  if [ -n "$security" ]; then
    local after
    after=$(security_of "$folder/telmar.old")
    [ "$security" = nobody ] && after=${after/nobody:nogroup/daemon:daemon}
    [ "$after" = "$security_before" ] ||
      problem "telmar.old's security: $(diff <(echo "$security_before") <(echo "$after") | tail -n +2 | tr '\n' ' ')"
  fi
  if [ -n "$tries" ]; then
    local count
    count=$(grep -cE '^(LnkConnect|LNK_Connect) ' "$dir/qlp.log" 2>/dev/null)
    [ "${count:-0}" = "$tries" ] || problem "${count:-0} connection tries, not $tries"
  fi
  case_ends "$name"
}

# security_of FILE: its owner, group, mode, ACL and extended attributes, as a few lines.
security_of() {
  stat -c '%U:%G %a' "$1"
  getfacl -cp "$1" 2>/dev/null
  getfattr -d "$1" 2>/dev/null | tail -n +2
}

runner=()
if [ "${2:-}" = conventions ]; then
  # Whether this machine runs 32-bit x86 code is asked of a program that does nothing, never of
  # the program under test: a crash of that one fails its cases.
  trivial=$work/does-nothing
  if ! echo 'int main(void) { return 0; }' | ${CC:-cc} -m32 -x c -o "$trivial" - >"$work/cc.out" 2>&1; then
    unavailable="fail:no 32-bit x86 program can be built here: $(head -c 300 "$work/cc.out")"
  elif "$trivial" >/dev/null 2>&1; then
    echo "32-bit x86 code runs natively here"
  elif command -v qemu-i386 >/dev/null && qemu-i386 -L / "$trivial" >/dev/null 2>&1; then
    echo "This kernel cannot run 32-bit x86 code: running it under qemu-i386"
    runner=(qemu-i386 -L /)
  else
    unavailable="skip:32-bit x86 code runs neither natively nor under qemu-i386 here"
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
  finish "Linux end-to-end"
fi

# No smart-card service: serial readers alone.
printf 'an earlier run\r\n' >"$work/earlier.old"
run_case no-reader - ports=0,1 "earlier=$work/earlier.old" tries=4 \
  stray=telmar.old.new stray=telmar.old.new.tmp stray=QLP_CONFIG.INI.tmp \
  "trace=telmar.old.new.tmp of an interrupted run removed" \
  "last=outcome: no reader found: telmar.old left as it was"
run_case serial-9600-only serial-9600-only.old ports=0 readers=1@9600 tries=2 \
  "log=LnkConnect 1 1 19200,1,8,0,0" "log=LnkConnect 1 1 9600,1,8,0,0" \
  "log=LnkExchange 1 1 2 65535 FF010601 4 33792"
run_case serial-19200-wins serial-19200-both.old ports=6 readers=7@19200/9600 tries=1 \
  trace=unwritable
# A reader behind a USB-serial adapter (ttyUSB0 of ftdi_sio, COM7) is probed when the
# administrator names its driver (traced-mixed shows such a port left out without the setting).
run_case adapter-named serial-19200-both.old ports=5 usb=ttyUSB0:ftdi_sio readers=7@19200 \
  tries=3 'services=other, FTDI_Sio;' \
  'trace=serial services setting TELMAR_SETUP_SERIAL_SERVICES: "other, FTDI_Sio;"' \
  'trace=serial services setting: ignored: 1 empty entry' \
  'trace=port device 1 "USB Serial Port (COM7)": service "ftdi_sio", named in TELMAR_SETUP_SERIAL_SERVICES, COM7: listed'
# Whatever lies at the parameter file's path is removed, never followed or opened.
for plant in link dangling fifo; do
  run_case "param-$plant" serial-9600-only.old "param=$plant" ports=0 readers=1@9600 tries=2
done

# A port that another program holds (the access manager, for its reader) is not probed: an
# earlier file that lists a reader there is kept, one that does not is replaced.
printf '[CONFIG]\r\nNbCanaux=1\r\n\r\n[CANAL1]\r\nTCanal=1\r\nIndex=1\r\n' >"$work/com1.old"
{ cat "$work/com1.old" && printf '\r\n[CANAL2]\r\nTCanal=1\r\nIndex=2\r\n'; } >"$work/com1-com2.old"
run_case port-in-use-listed - ports=0,1 held=1 readers=1@9600 tries=2 "earlier=$work/com1-com2.old" \
  'trace=COM2: in use by another program: not probed' \
  'last=outcome: 1 serial and 0 PC/SC readers found: earlier telmar.old kept: the new one could lack the reader on COM2: the port is in use by another program'
run_case port-in-use-not-listed serial-9600-only.old ports=0,1 held=1 readers=1@9600 tries=2 \
  "earlier=$work/com1.old" 'trace=COM2: in use by another program: not probed'
# The trace is never written through a link, into a file of other names, or, in a run as
# root, into a file another account may change; a folder others may change is warned of.
for kind in dangling hardlink nobody; do
  run_case "trace-file-$kind" serial-9600-only.old ports=0 readers=1@9600 trace-at=$kind
done
run_case open-data-folder serial-9600-only.old ports=0 readers=1@9600 open=data \
  'warning=warning: data folder */velmora/telmarv3/ may be changed by *others, not only by administrators: *'
run_case open-library-folder serial-9600-only.old ports=0 readers=1@9600 library=bin open=library \
  'warning=warning: library folder */app may be changed by *others, not only by administrators: *'
# A replaced telmar.old keeps its owner, group, mode, ACL and extended attributes; a run that
# may not give it away says so, and keeps the rest.
command -v setfacl >/dev/null && command -v setfattr >/dev/null && : >"$work/xattr-probe" &&
  setfattr -n user.probe -v 1 "$work/xattr-probe" 2>/dev/null && setfacl -m u:nobody:r "$work/xattr-probe" ||
  unavailable="skip:setfacl and setfattr (acl, attr) or their support in $work are missing"
run_case security-kept serial-9600-only.old ports=0 readers=1@9600 "earlier=$work/earlier.old" \
  security=root
run_case security-kept-by-nobody serial-9600-only.old ports=0 readers=1@9600 security=nobody \
  "earlier=$work/earlier.old" \
  'trace=owner and group not kept: error 1 (Operation not permitted): telmar.old now belongs to the account of this run' \
  'warning=warning: data folder * may be changed by *others, *' \
  'warning=warning: telmar.old */telmar.old may be changed by its owner user daemon (uid 1); group daemon (gid 1), not only by administrators: *'
unavailable=""

# Hostile workstations: a reader answers, but there is nowhere to write.
for state in profile=unset profile=empty profile=long data=missing data=file old=directory; do
  run_case "hostile-${state/=/-}" - "$state" ports=0 readers=1@19200
done
# Its parameter file cannot be made there: the reader is never probed.
run_case hostile-data-readonly - data=readonly ports=0 readers=1@19200 \
  'last=outcome: no reader found (the serial ports were not probed): telmar.old not written'
# (These run as nobody in a folder everyone may write to: the trace warns of it.)
open_data='warning=warning: data folder * may be changed by *others, not only by administrators: *'
run_case hostile-old-readonly - old=readonly ports=0 readers=1@19200 "$open_data" \
  'last=outcome: 1 serial and 0 PC/SC readers found: earlier telmar.old kept: replacing telmar.old failed: error 13 (Permission denied)'
# Another run that never ends: after its 10 minutes (skipped by strace) the run gives up.
strace -f -qq -o /dev/null true 2>/dev/null ||
  unavailable="skip:strace is missing or cannot trace here"
run_case locked-by-another-run - locked ports=0 readers=1@19200 "earlier=$work/earlier.old" "$open_data" \
  tries=0 'trace=another run of telmar-setup is going on: waiting for it to end, up to 600 s' \
  'trace=the other run still goes on after 600 s: this run ends without changing anything'
unavailable=""

# A private smart-card service with one virtual reader definition (two slots).
start_pcscd "Reader A"
run_case one-serial-two-pcsc one-serial-two-pcsc.old ports=0,2 readers=3@19200 tries=3 \
  "log=LnkConnect 1 3 19200,1,8,0,0" "log=LnkExchange 1 3 2 65535 FF010601 4 33792"
# The same workstation, traced, with a USB port probed in vain and one that is skipped.
data=$work/traced-mixed/profile/velmora/telmarv3
run_case traced-mixed one-serial-two-pcsc.old ports=0,2 usb=ttyACM0 usb=ttyUSB0:ftdi_sio \
  readers=3@19200 tries=5 "trace=data folder $data/: exists" \
  "trace=parameter file read back: status 0" \
  "trace=protocol library qlpinw32.dll: loaded from $bin/qlpinw32.so" \
  "trace=protocol library: second generation (Lnk...) taken" \
  'trace=port device 0 "USB Serial Device (COM4)": service "usbser", a serial driver by its name, COM4: listed' \
  "trace=port device 3 \"USB Serial Port (COM5)\": service \"ftdi_sio\" not accepted: not probed; a USB-serial adapter's driver, probed when named in TELMAR_SETUP_SERIAL_SERVICES" \
  'trace=COM4 at 9600 baud: connection status *: no reader' \
  'trace=COM3 at 19200 baud: connection status 0, probe command status 0: reader answered' \
  'trace=PC/SC reader 2: "Reader A 00 01"' 'trace=channel 1: serial reader on COM3 at 19200 baud' \
  'trace=channel 3: PC/SC reader "Reader A 00 01"' 'trace=ListeCanaux=2,3: status 0' \
  "trace=NbCanaux=3: status 0" \
  "last=outcome: 1 serial and 2 PC/SC readers found: telmar.old written: $data/telmar.old"
run_case pcsc-two-only pcsc-two-only.old
run_case two-serial-two-pcsc two-serial-two-pcsc.old ports=0,1,2 readers=1@19200,3@9600 tries=5 \
  "earlier=$work/earlier.old" \
  'last=outcome: 2 serial and 2 PC/SC readers found: telmar.old replaced: */telmar.old'
run_case library-missing pcsc-two-only.old library=none ports=2 readers=3@19200
# A data folder that takes no new file takes no parameter file either: the serial readers
# cannot be probed, and the earlier file, which lists one, is kept.
run_case hostile-data-readonly-earlier-kept - data=readonly old=writable ports=0 \
  readers=1@19200 "earlier=$expected_dir/serial-9600-only.old" \
  'warning=warning: telmar.old */telmar.old may be changed by *others, not only by administrators: *' \
  'last=outcome: 0 serial and 2 PC/SC readers found (the serial ports were not probed): earlier telmar.old kept: the new one would lack its serial readers: the serial ports were not probed: parameter file status 300'
# Without a data folder the PC/SC readers cannot be written either; nor was there a file.
run_case hostile-data-missing-pcsc - data=missing ports=0 readers=1@19200 \
  'last=outcome: 0 serial and 2 PC/SC readers found (the serial ports were not probed): telmar.old not written: creating the new file failed: error 2 (No such file or directory)'
stop_pcscd
start_pcscd $'Lecteur \xe9tendu'
run_case accented-pcsc-names accented-pcsc-names.old
stop_pcscd

finish "Linux end-to-end"
