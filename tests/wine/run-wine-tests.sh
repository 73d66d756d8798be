#!/usr/bin/env bash
# Runs the Windows program under Wine on simulated workstations and checks the file it
# leaves behind against the expected files in tests/data/expected.
#
# Each case gets a fresh Wine prefix (copied from one made at the start) in which:
#  - serial ports are seeded in the device registry, as SetupAPI reports them;
#  - the stand-in protocol library qlpinw32.dll lies beside telmar-setup.exe, simulating the
#    readers of QLP_SIM_READERS and logging its calls to QLP_SIM_LOG;
#  - a stand-in winscard.dll in the system folder lists the PC/SC readers of the case (Wine's
#    own winscard cannot reach a smart-card service).
#
# The 32-bit program (build/win32) is run when this machine can run 32-bit code; where the
# kernel cannot (no IA-32 emulation), the same sources built for 64-bit Windows (build/win64)
# are run under 64-bit Wine instead.
# Wine takes SetDllDirectoryA("") as unset and searches the current folder: no case can show a
# protocol library planted there being ignored (a planted smart-card library is).
# The kit-* cases run the field-check kit's checker, whose own report is the test.
set -uo pipefail
E2E_WORK_NAME=wine . "$(dirname "$0")/../e2e/common.sh"
case_pattern=${TELMAR_WINE_CASES:-*} keep_work=${TELMAR_WINE_KEEP:-} empty_lines_dropped=1

if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  preset=win32 wine=/usr/lib/wine/wine; export WINEARCH=win32
  xp_version=winxp
else
  echo "This machine cannot run 32-bit programs: running the 64-bit build under 64-bit Wine."
  preset=win64 wine=/usr/lib/wine/wine64; export WINEARCH=win64
  xp_version=winxp64
fi
build=$root/build/$preset
if [ ! -x "$wine" ]; then echo "Wine is not installed (scripts/install-deps.sh)"; exit 1; fi
(cd "$root" && cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" >/dev/null) ||
  { echo "the $preset build failed"; exit 1; }

export WINEDEBUG=-all WINEDLLOVERRIDES="winscard=n,b" DISPLAY=
prefixes=()
e2e_cleanup() {
  for prefix in "${prefixes[@]}"; do WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1; done
}

winpath() { printf 'Z:%s' "${1//\//\\}"; }

# make_template DIR WINE: a prefix to copy for each case, made once: the one of $wine, and a
# 64-bit one for a 32-bit program on 64-bit Windows (WOW64), made when a case first needs it.
make_template() {
  [ ! -d "$1" ] || return 0
  prefixes+=("$1")
  WINEPREFIX=$1 "$2" reg add 'HKCU\Software\Telmar' /v Made /d 1 /f >/dev/null 2>&1
  # A program that faults ends with the exception's code, as on a workstation with no debugger
  # set up: Wine's own debugger, started by default, at times ends it with 0 instead.
  local view
  for view in 32 64; do
    WINEPREFIX=$1 "$2" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
      /v Debugger /d no-debugger.exe /f /reg:$view >/dev/null 2>&1
  done
  WINEPREFIX=$1 wineserver -w
}
template=$work/template template64=$work/template64
make_template "$template" "$wine"

# on_wow64: the case runs the 32-bit program in a 64-bit prefix (WOW64), whose system folder is
# syswow64: sets the caller's locals WINEARCH (exported), wine, template and system_folder.
on_wow64() {
  WINEARCH=win64 wine=/usr/lib/wine/wine64 template=$template64 system_folder=syswow64
  make_template "$template" "$wine"
}

# make_prefix: for a case, its folder $dir and its prefix $prefix, a copy of $template with the
# serial ports of the case in the device registry, as SetupAPI reports them ($ports and $usb: see
# run_case), and the Windows version $version, when there is one.
make_prefix() {
  mkdir -p "$dir/cwd"
  cp -a "$template" "$prefix"
  prefixes+=("$prefix")
  {
    printf 'REGEDIT4\r\n\r\n'
    local index=0 port
    for port in ${ports//,/ }; do
      index=$((index + 1))
      printf '[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Enum\\ACPI\\PNP0501\\%d]\r\n' "$index"
      printf '"ClassGUID"="{4D36E978-E325-11CE-BFC1-08002BE10318}"\r\n"Service"="Serial"\r\n'
      printf '"FriendlyName"="Communications Port (COM%d)"\r\n\r\n' "$port"
    done
    for port in "${usb[@]}"; do
      printf '[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Enum\\USB\\VID_0403\\%d]\r\n' "${port%%:*}"
      printf '"ClassGUID"="{4D36E978-E325-11CE-BFC1-08002BE10318}"\r\n"Service"="%s"\r\n' "${port#*:}"
      printf '"FriendlyName"="USB Serial Port (COM%d)"\r\n\r\n' "${port%%:*}"
    done
  } >"$dir/ports.reg"
  WINEPREFIX=$prefix "$wine" regedit /S "$(winpath "$dir/ports.reg")" >/dev/null 2>&1
  [ -z "$version" ] || WINEPREFIX=$prefix "$wine" reg add 'HKCU\Software\Wine' /v Version \
    /d "$version" /f >/dev/null 2>&1
}

# run_case NAME EXPECTED [option...]
#   ports=1,3           serial ports seeded (Service "Serial", "Communications Port (COMn)")
#   readers=3@19200     readers the stand-in protocol library answers for
#   pcsc="A;B"          PC/SC reader names the stand-in smart-card library lists
#   library=PLACE       where qlpinw32.dll lies: app (the default), none, system, windows, path
#                       (on the PATH); PLACE+helper-on-path/-missing: there, built to need
#                       qlphelp.dll, which lies on the PATH / nowhere; folder: a folder of that
#                       name beside the program; or a FOLDER below the build folder, whose
#                       qlpinw32.dll lies beside the program
#   version=winxp       Windows version Wine reports
#   plant=smartcard     winscard.dll planted in the current folder only
#   earlier=FILE        a telmar.old of an earlier run, which must stay as it was when no
#                       file is expected, and be replaced whole when one is
#   strays              read-only files of interrupted runs in the data folder (telmar.old.new,
#                       telmar.old.new.tmp, QLP_CONFIG.INI.tmp), which must go
#   strays=hardlink     telmar.old.new a second name of a read-only file outside: it stays
#                       read-only, and so the name stays too
#   old=held|readonly   that earlier telmar.old held open by another program without
#                       sharing, or read-only: it must stay as it was
#   old=open-hidden     that earlier telmar.old everyone's to change (mode 0777 under Wine),
#                       hidden and system: the file that replaces it must be the same
#   trace-at=dangling|hardlink|everyone  the trace's name a link that leads nowhere, a second
#                       name of another file, or a file everyone may change: nothing may be made
#                       or grown there, and the run goes on without its trace
#   lock-at=link        a link at the run lock's name to a file outside: it must stay
#   open=data|library   the data folder, or the program's folder, everyone's to change
#   warning=PATTERN     run with the trace on: its warning lines are these (none by default)
#   event=ID|none       the event source registered, with the program as its message file (ID:
#                       1000 to 3000, as the administrators' guide lists them), or not (none):
#                       the run must report exactly that event, whose text, rendered from the
#                       program's own message table, names telmar.old and the readers found;
#                       or none at all
#   log=TEXT            a line the protocol library's log must hold (may repeat)
#   usb=5:FTDIBUS       a USB serial port "USB Serial Port (COM5)" with this driver service
#   services=LIST       TELMAR_SETUP_SERIAL_SERVICES: driver services to probe beside the rule
#   setting=TYPE:TEXT   the value SerialServices of HKLM\Software\velmora\telmar-setup, of
#                       registry type TYPE (REG_SZ, REG_EXPAND_SZ...), in the 32-bit view
#   trace=PATTERN       run with the trace on: a line (a shell pattern, \\ for a backslash)
#                       that the trace must hold (may repeat)
#   last=PATTERN        run with the trace on: its last line
#   data-folder=missing no data folder
#   status=CODE         the program's exit status is CODE (0 by default), which Wine's own exit
#                       status gives as its low byte
#   wine-says=PATTERN   a line of Wine's own output (a fault's report, say)
#   next=FILE           a next run with the stand-in qlpinw32.dll beside the program in place of
#                       the case's: it must write the expected FILE and remove what the case's
#                       run left in the data folder (only then must that hold nothing else)
#   arch=wow64          the 32-bit program in a 64-bit prefix: its system folder is syswow64
#   smartcard=none      no winscard.dll anywhere, not even Wine's own
#   relay               Wine's relay trace of the program's calls: SetErrorMode(SEM_FAILCRITICALERRORS
#                       | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX) must come before any LoadLibraryA
# With TELMAR_WINE_SHOW set, each case prints its telmar.old, the protocol library's calls and
# the trace.
run_case() {
  local name=$1 expected=$2
  shift 2
  case_begins "$name" || return 0
  local ports="" readers="" pcsc="" library=app version="" plant="" earlier="" old="" log=() usb=()
  local trace=() arch="" smartcard="" relay="" strays="" services="" setting="" last="" data_folder="" status=0
  local wine_says=() next="" trace_at="" lock_at="" open="" warning=() event=""
  set_options "$@"
  local expected_status=$((status & 0xFF))

  local dir=$work/$name prefix=$work/$name/prefix system_folder=system32 template=$template
  local -x WINEARCH=$WINEARCH
  local wine=$wine
  [ "$arch" != wow64 ] || on_wow64
  make_prefix
  mkdir -p "$dir/app" "$dir/path"
  local system32=$prefix/drive_c/windows/$system_folder

  cp "$build/bin/telmar-setup.exe" "$dir/app/"
  local -A folders=([app]=$dir/app [system]=$system32 [windows]=${system32%/*} [path]=$dir/path)
  [[ -v folders[$library] ]] && cp "$build/bin/qlpinw32.dll" "${folders[$library]}/"
  [[ $library == */* ]] && cp "$build/$library/qlpinw32.dll" "$dir/app/"
  [[ $library == *+helper-* ]] && cp "$build/wine-doubles/with-helper/qlpinw32.dll" \
    "${folders[${library%%+*}]}/"
  [[ $library == *-on-path ]] && cp "$build/wine-doubles/helper/qlphelp.dll" "$dir/path/"
  [ "$library" != folder ] || mkdir "$dir/app/qlpinw32.dll"
  if [ "$plant" = smartcard ]; then
    cp "$build/wine-doubles/winscard.dll" "$dir/cwd/"
  else
    cp "$build/wine-doubles/winscard.dll" "$system32/"
  fi
  if [ "$smartcard" = none ]; then
    rm "$system32/winscard.dll"
    local -x WINEDLLOVERRIDES=winscard=n
  fi
  printf '%s' "$pcsc" | tr ';' '\n' >"$dir/readers.txt"
  if [ -n "$setting" ]; then
    local view=Software
    [ "$arch" != wow64 ] || view='Software\Wow6432Node'
    WINEPREFIX=$prefix "$wine" reg add "HKLM\\$view\\velmora\\telmar-setup" /v SerialServices \
      /t "${setting%%:*}" /d "${setting#*:}" /f >/dev/null 2>&1 || problem "reg add failed"
  fi
  if [ -n "$event" ]; then
    [ "$event" = none ] || WINEPREFIX=$prefix "$wine" reg add "$event_key" /v EventMessageFile \
      /t REG_EXPAND_SZ /d "$(winpath "$dir/app/telmar-setup.exe")" /f >/dev/null 2>&1 ||
      problem "the event source could not be registered"
    local -x WINEDEBUG=fixme+advapi,+eventlog
  fi
  if [ -n "$relay" ]; then
    WINEPREFIX=$prefix "$wine" reg add 'HKCU\Software\Wine\Debug' /v RelayInclude \
      /d 'SetErrorMode;LoadLibraryA;LoadLibraryExA' /f >/dev/null 2>&1
    local -x WINEDEBUG=+relay
  fi

  local data=$prefix/drive_c/ProgramData/velmora/telmarv3
  case $version in winxp*) data="$prefix/drive_c/ProgramData/Application Data/velmora/telmarv3" ;; esac
  [ "$data_folder" = missing ] || mkdir -p "$data"
  [ -n "$earlier" ] && cp "$earlier" "$data/telmar.old"
  [ "$old" = readonly ] && chmod a-w "$data/telmar.old"
  if [ "$old" = open-hidden ]; then
    chmod 777 "$data/telmar.old"
    local flag  # (Wine's attrib takes one flag a call)
    for flag in +h +s; do
      WINEPREFIX=$prefix "$wine" cmd /c attrib $flag 'C:\ProgramData\velmora\telmarv3\telmar.old' >/dev/null 2>&1
    done
    [ "$(dos_attributes "$data/telmar.old")" = HS ] || problem "the earlier file could not be hidden"
  fi
  local outside=$dir/outside.txt
  printf 'outside' >"$outside"
  [ "$lock_at" != link ] || ln -s "$outside" "$data/telmar-setup.lock"
  case $open in
    data) chmod 777 "$data" ;;
    library) chmod 777 "$dir/app" ;;
  esac
  if [ "$strays" = hardlink ]; then
    chmod 444 "$outside" && ln "$outside" "$data/telmar.old.new"
  elif [ -n "$strays" ]; then
    local stray
    for stray in telmar.old.new telmar.old.new.tmp QLP_CONFIG.INI.tmp; do
      printf 'left by a killed run' >"$data/$stray" && chmod a-w "$data/$stray"
    done
  fi
  local holder=""
  if [ "$old" = held ]; then
    WINEPREFIX=$prefix "$wine" "$(winpath "$build/wine-doubles/hold_file.exe")" \
      "$(winpath "$data/telmar.old")" "$(winpath "$dir/held")" "$(winpath "$dir/release")" \
      >/dev/null 2>&1 &
    holder=$!
    local waited
    for waited in $(seq 100); do [ -e "$dir/held" ] && break; sleep 0.2; done
  fi

  # An earlier report in the trace file, which the run must append to.
  local trace_file=""
  if [ ${#trace[@]} -gt 0 ] || [ ${#warning[@]} -gt 0 ] || [ -n "$last$trace_at" ]; then
    trace_file=$(winpath "$dir/trace.log") && printf 'an earlier report\r\n' >"$dir/trace.log"
  fi
  case $trace_at in
    dangling) rm "$dir/trace.log" && ln -s "$dir/nowhere" "$dir/trace.log" ;;
    hardlink) ln "$dir/trace.log" "$dir/other-name" ;;
    everyone) chmod 666 "$dir/trace.log" ;;
  esac
  # run_program OUTPUT: the program, Wine's output in the file OUTPUT of the case's folder; the
  # exit status Wine gives.
  run_program() {
    (cd "$dir/cwd" && WINEPREFIX=$prefix WINEPATH=$(winpath "$dir/path") QLP_SIM_READERS=$readers \
       TELMAR_SETUP_LOG=$trace_file TELMAR_SETUP_SERIAL_SERVICES=$services \
       QLP_SIM_LOG=$(winpath "$dir/qlp.log") TELMAR_TEST_PCSC_READERS=$(winpath "$dir/readers.txt") \
       "$wine" "$(winpath "$dir/app/telmar-setup.exe")" >"$dir/$1" 2>&1)
  }
  run_program wine.out
  status=$?
  if [ -n "$holder" ]; then touch "$dir/release" && wait "$holder"; fi
  WINEPREFIX=$prefix wineserver -w

  [ $status -eq "$expected_status" ] || problem "exit status $status, not $expected_status"
  check_lines "Wine's output" "$dir/wine.out" "" "${wine_says[@]}"
  [ -z "$holder" ] || [ -e "$dir/held" ] || problem "telmar.old could not be held open"
  [ -n "$next$strays$lock_at" ] || data_folder_holds_only_telmar_old "$data"
  check_file "$expected" "$data/telmar.old" "$earlier"
  check_log "$dir/qlp.log" "${log[@]}"
  [ -z "$event" ] || check_event "$dir/wine.out" "$event"
  if [ -n "$trace_at" ]; then
    [ ! -e "$dir/nowhere" ] || problem "a file was made where a link led"
    [ "$trace_at" = dangling ] || [ "$(cat "$dir/trace.log")" = $'an earlier report\r' ] ||
      problem "the trace was written to a file it may not trust"
  elif [ -n "$trace_file" ]; then
    check_trace "$dir/trace.log" $'\r' "telmar-setup *" "${trace[@]}"
    check_warnings "$dir/trace.log" $'\r' "${warning[@]}"
  fi
  [ -z "$last" ] || check_last_line "$dir/trace.log" $'\r' "$last"
  [ "$(cat "$outside" 2>/dev/null)" = outside ] || problem "the file outside the data folder was changed or removed"
  [ "$strays" != hardlink ] || [ "$(stat -c %a "$outside")" = 444 ] ||
    problem "the file behind telmar.old.new lost its read-only attribute"
  if [ "$old" = open-hidden ]; then
    [ "$(stat -c %a "$data/telmar.old")" = 777 ] && [ "$(dos_attributes "$data/telmar.old")" = HS ] ||
      problem "telmar.old is $(stat -c %a "$data/telmar.old"), $(dos_attributes "$data/telmar.old"), not 777, HS"
  fi
  if [ -n "$next" ]; then
    local left
    left=$(ls -A "$data" | grep -vx telmar.old | tr '\n' ' ')
    cp "$build/bin/qlpinw32.dll" "$dir/app/"
    run_program wine-next.out
    status=$?
    WINEPREFIX=$prefix wineserver -w
    [ $status -eq 0 ] || problem "the next run: exit status $status"
    data_folder_holds_only_telmar_old "$data" "after the next run (the case's run left ${left:-nothing}): "
    check_file "$next" "$data/telmar.old" ""
  fi
  if [ -n "$event" ]; then
    [ "$event" = none ] || WINEPREFIX=$prefix "$wine" reg add "$event_key" /v EventMessageFile \
      /t REG_EXPAND_SZ /d "$(winpath "$dir/app/telmar-setup.exe")" /f >/dev/null 2>&1 ||
      problem "the event source could not be registered"
    local -x WINEDEBUG=fixme+advapi,+eventlog
  fi
  if [ -n "$relay" ]; then
    # The program's thread is the one that loads the protocol library.
    local thread first
    thread=$(grep -m1 ':Call KERNEL32\.LoadLibraryA([0-9a-f]* "qlpinw32.dll")' "$dir/wine.out" | cut -d: -f1)
    first=$(grep -m1 "^$thread:Call KERNEL32\." "$dir/wine.out")
    [[ -n $thread && $first =~ ^$thread:Call\ KERNEL32\.SetErrorMode\(0*8003\)\  ]] ||
      problem "the first call is not SetErrorMode(00008003): ${first:-none seen}"
  fi
  if [ -n "${TELMAR_WINE_SHOW:-}" ]; then
    echo "=== telmar.old (CR LF line ends shown as lines)"
    iconv -f WINDOWS-1252 -t UTF-8 "$data/telmar.old" | tr -d '\r'
    echo "=== calls received by the stand-in protocol library"
    cat "$dir/qlp.log"
    echo "=== the program's trace (TELMAR_SETUP_LOG=$trace_file)"
    [ -z "$trace_file" ] || tail -n +2 "$dir/trace.log" | iconv -f WINDOWS-1252 -t UTF-8 | tr -d '\r'
  fi
  case_ends "$name"
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
}

event_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\telmar-setup'

# check_event OUTPUT ID: Wine's debug OUTPUT shows exactly one event reported, ID (1000 to 3000,
# the message table's own ID with its severity bits, and the type they give), whose text,
# rendered from the program's message table, names telmar.old and the readers found; with ID
# "none", no event at all.
check_event() {
  local reports want type_want line id type text serial pcsc
  reports=$(grep -c 'fixme:advapi:ReportEventA (' "$1")
  if [ "$2" = none ]; then
    [ "$reports" = 0 ] || problem "$reports event(s) reported where the source is not registered"
    return
  fi
  [ "$reports" = 1 ] || { problem "$reports event(s) reported, not 1"; return; }
  printf -v want '0x%08x' $(( (${2:0:1} << 30) | $2 ))
  type_want=$(printf '0x%04x' $(( ${2:0:1} == 1 ? 4 : ${2:0:1} == 2 ? 2 : 1 )))
  line=$(grep -m1 'fixme:advapi:ReportEventA (' "$1")
  IFS=, read -r _ type _ id _ <<<"${line#*(}"
  [ "$id" = "$want" ] && [ "$type" = "$type_want" ] ||
    problem "event $id of type $type reported, not $want of type $type_want"
  # (Wine's debug channel cuts a long string, and ends it with "...)
  sed -n 's/^.*:eventlog:ReportEventW L"\(.*\)"\(\.\.\.\)\{0,1\}$/\1/p' "$1" >"$dir/inserts.txt"
  serial=$(sed -n 1p "$dir/inserts.txt") pcsc=$(sed -n 2p "$dir/inserts.txt")
  text=$(WINEPREFIX=$prefix "$wine" "$(winpath "$build/wine-doubles/render_event.exe")" \
           "$(winpath "$dir/app/telmar-setup.exe")" "${id#0x}" "$(winpath "$dir/inserts.txt")" 2>/dev/null | tr -d '\r')
  [[ $text == *telmar.old* && $text == *"$serial serial"* && $text == *"$pcsc PC/SC"* ]] ||
    problem "the event's text does not name telmar.old and the readers found: $(head -c 300 <<<"$text")"
}

# dos_attributes FILE: its hidden (H) and system (S) attributes, as Wine keeps them.
dos_attributes() {
  local value
  value=$(getfattr --only-values -n user.DOSATTRIB "$1" 2>/dev/null)
  value=$((${value:-0}))
  printf '%s%s' "$( ((value & 2)) && echo H)" "$( ((value & 4)) && echo S)"
}

# data_folder_holds_only_telmar_old FOLDER [WHEN]: nothing of the program's is left there but
# telmar.old: no parameter file, new file, lock file or leftover.
data_folder_holds_only_telmar_old() {
  local left
  left=$(ls -A "$1" 2>/dev/null | grep -vx telmar.old | tr '\n' ' ')
  [ -z "$left" ] || problem "${2:-}left in the data folder: $left"
}

# run_overlap NAME: two runs in one prefix, with COM1 to COM40 (the first run's reader on COM3
# at 19200 baud and one PC/SC reader, the second's on COM1 at 9600 baud and none), the second
# started once the first holds the run lock. The second must wait for the first and say so,
# each must find its reader and replace telmar.old, and the second's file must stay.
run_overlap() {
  local name=$1
  case_begins "$name" || return 0
  local dir=$work/$name prefix=$work/$name/prefix ports usb=() version=""
  ports=$(seq -s, 1 40)
  make_prefix
  mkdir -p "$dir/app"
  cp "$build/bin/telmar-setup.exe" "$build/bin/qlpinw32.dll" "$dir/app/"
  cp "$build/wine-doubles/winscard.dll" "$prefix/drive_c/windows/system32/"
  local data=$prefix/drive_c/ProgramData/velmora/telmarv3
  mkdir -p "$data" && printf 'an earlier run\r\n' >"$data/telmar.old"
  printf 'Reader A' >"$dir/readers-1.txt" && : >"$dir/readers-2.txt"
  local k pid status=()
  for k in 1 2; do printf 'an earlier report\r\n' >"$dir/trace-$k.log"; done
  # run K READERS: one of the two runs.
  run() {
    (cd "$dir" && WINEPREFIX=$prefix QLP_SIM_READERS=$2 TELMAR_SETUP_LOG=$(winpath "$dir/trace-$1.log") \
       TELMAR_TEST_PCSC_READERS=$(winpath "$dir/readers-$1.txt") \
       "$wine" "$(winpath "$dir/app/telmar-setup.exe")" >"$dir/wine-$1.out" 2>&1)
  }
  run 1 3@19200 & pid=$!
  for k in $(seq 150); do grep -q '^parameter file' "$dir/trace-1.log" && break; sleep 0.2; done
  run 2 1@9600
  status[2]=$?
  wait "$pid"
  status[1]=$?
  WINEPREFIX=$prefix wineserver -w
  for k in 1 2; do [ "${status[k]}" -eq 0 ] || problem "run $k: exit status ${status[k]}"; done
  check_trace "$dir/trace-1.log" $'\r' "telmar-setup *" \
    'channel 1: serial reader on COM3 at 19200 baud' 'channel 2: PC/SC reader "Reader A"'
  check_trace "$dir/trace-2.log" $'\r' "telmar-setup *" \
    'another run of telmar-setup is going on: waiting for it to end, up to 600 s' \
    'the other run has ended: this run goes on after waiting * s' \
    'channel 1: serial reader on COM1 at 9600 baud'
  for k in 1 2; do
    check_last_line "$dir/trace-$k.log" $'\r' \
      'outcome: * found: telmar.old replaced: C:\\ProgramData\\velmora\\telmarv3\\telmar.old'
  done
  check_file serial-9600-only.old "$data/telmar.old" ""
  data_folder_holds_only_telmar_old "$data"
  case_ends "$name"
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
}

# run_kit NAME STATUS [option...]: the field-check kit's checker (build/win32/kit) on a workstation
# with COM1 and COM3 and one PC/SC reader; it must exit with STATUS.
#   line=PATTERN        a line (a shell pattern) its output must hold (may repeat)
#   version=winxp       Windows version Wine reports
#   ports=1,3           serial ports seeded instead
#   broken=expected     the kit's expected telmar.old with a wrong line (may repeat:)
#   broken=expected-empty, broken=expected-truncated   that file empty, or cut to half its size
#   broken=no-program, broken=no-cdecl   the kit without its telmar-setup.exe, or without its
#                       __cdecl stand-in
#   broken=other-arch   the kit's 64-bit double replaced by a library that loads
#   broken=hang         the kit's helper-needing double replaced by one whose loading never ends
#   arch=wow64          the checker in a 64-bit prefix, qlpinw32.dll installed in its system folder
#   dry-run[=PROGRAM]   /dry-run of PROGRAM (C:\TELMAR\telmar-setup.exe), with the stand-in installed
#                       in C:\TELMAR, a reader on COM3 and an earlier telmar.old in the prefix's
#                       data folder, which must stay byte for byte as it was, alone there
# After a self-check without FAIL its scratch folder must be gone, and no data folder made; a
# checker that exits with 2 must have made no scratch folder.
run_kit() {
  local name=$1 status=$2
  shift 2
  case_begins "$name" || return 0
  local line=() version="" ports=1,3 usb=() broken=() dry_run="" arch=""
  set_options "$@"
  local dir=$work/$name prefix=$work/$name/prefix system_folder=system32 template=$template
  local -x WINEARCH=$WINEARCH
  local wine=$wine
  [ "$arch" != wow64 ] || on_wow64
  make_prefix
  cp "$build/wine-doubles/winscard.dll" "$prefix/drive_c/windows/$system_folder/"
  [ "$arch" != wow64 ] || cp "$build/bin/qlpinw32.dll" "$prefix/drive_c/windows/$system_folder/"
  printf 'Reader A' >"$dir/readers.txt"
  cp -r "$build/kit" "$dir/kit"
  local damage expected_file=$dir/kit/expected/worked-example.old
  for damage in "${broken[@]}"; do
    case $damage in
      expected) sed -i 's/^NbLAD=3\r$/NbLAD=4\r/' "$expected_file" ;;
      expected-empty) : >"$expected_file" ;;
      expected-truncated) truncate -s $(($(stat -c %s "$expected_file") / 2)) "$expected_file" ;;
      no-program) rm "$dir/kit/telmar-setup.exe" ;;
      no-cdecl) rm "$dir/kit/stand-in/cdecl/qlpinw32.dll" ;;
      other-arch) cp "$build/bin/qlpinw32.dll" "$dir/kit/doubles/other-arch/" ;;
      hang) cp "$build/wine-doubles/hangs/qlpinw32.dll" "$dir/kit/doubles/with-helper/" ;;
    esac
  done
  local data=$prefix/drive_c/ProgramData/velmora arguments=() readers=""
  if [ -n "$dry_run" ]; then
    mkdir -p "$data/telmarv3" "$prefix/drive_c/TELMAR"
    printf 'an earlier run\r\n' >"$data/telmarv3/telmar.old"
    cp -a "$data" "$dir/data-before"
    cp "$build/bin/telmar-setup.exe" "$build/bin/qlpinw32.dll" "$prefix/drive_c/TELMAR/"
    [ "$dry_run" != 1 ] || dry_run='C:\TELMAR\telmar-setup.exe'
    arguments=(/dry-run "$dry_run") readers=3@19200
  fi
  (cd "$dir/cwd" && WINEPREFIX=$prefix QLP_SIM_READERS=$readers \
     TELMAR_TEST_PCSC_READERS=$(winpath "$dir/readers.txt") \
     "$wine" "$(winpath "$dir/kit/telmar-check.exe")" "${arguments[@]}" >"$dir/output" 2>"$dir/wine.err")
  local got=$?
  WINEPREFIX=$prefix wineserver -w
  tr -d '\r' <"$dir/output" >"$dir/output.txt"

  [ "$got" = "$status" ] || problem "exit status $got, not $status"
  check_lines output "$dir/output.txt" "" "${line[@]}"
  if [ -n "$dry_run" ]; then
    diff -r "$dir/data-before" "$data" >"$dir/diff" 2>&1 ||
      problem "the prefix's data folder changed: $(head -c 300 "$dir/diff")"
  fi
  if [ -n "$dry_run" ] && [ "$status" = 0 ]; then
    LC_ALL=C sed -n '/^=== telmar.old/,/^===/p' "$dir/output.txt" | LC_ALL=C sed '1d;$d' |
      grep -av '^$' >"$dir/shown.old"
    diff <(lines_of "$expected_dir/worked-example.old") "$dir/shown.old" >"$dir/diff" ||
      problem "the file shown differs: $(head -c 300 "$dir/diff")"
  elif [ "$status" != 1 ]; then
    ! compgen -G "$prefix/drive_c/users/*/Temp/telmar-check-*" >/dev/null &&
      ! compgen -G "$prefix/drive_c/users/*/AppData/Local/Temp/telmar-check-*" >/dev/null ||
      problem "the scratch folder was left behind"
    [ -n "$dry_run" ] || [ ! -e "$data" ] || problem "a data folder was made outside the scratch folder"
  fi
  [ -z "${TELMAR_WINE_SHOW:-}" ] || cat "$dir/output.txt"
  case_ends "$name" || sed 's/^/      /' "$dir/output.txt"
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
}

# The Windows Installer package (bin/telmar-setup-<version>.msi) under Wine's msiexec, in a
# fresh prefix per case with COM1 and COM3, the stand-in protocol library in the system folder
# and the trace file named only through the package's TRACEFILE (TELMAR_SETUP_LOG unset).
package=$build/bin/telmar-setup-$(cat "$build/telmar-version.txt").msi

# msiexec ARGUMENT...: Windows Installer, as a deployment starts it; sets msi_status to its
# exit status, read through cmd (Wine's own exit status keeps 8 bits: 1603 reads 67). The
# stand-ins read QLP_SIM_READERS and the readers file of the moment: the installer's service
# is started afresh each time, with this environment.
msiexec() {
  local out
  out=$(cd "$dir" && WINEPREFIX=$prefix QLP_SIM_READERS=$readers QLP_SIM_LOG=$(winpath "$dir/qlp.log") \
          TELMAR_TEST_PCSC_READERS=$(winpath "$dir/readers.txt") \
          "$wine" cmd /c "start /wait msiexec $* & echo msiexec status %errorlevel%" 2>>"$dir/wine.err")
  WINEPREFIX=$prefix wineserver -w
  msi_status=$(tr -d '\r' <<<"$out" | sed -n 's/^msiexec status //p')
}
# product_code MSI: its ProductCode.
product_code() { msiinfo export "$1" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p'; }
# registered CODE: the product is in Add/Remove Programs (of the 32-bit view: $software).
registered() {
  WINEPREFIX=$prefix "$wine" reg query \
    "HKLM\\$software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$1" >/dev/null 2>&1
}
# trace_value: the TraceFile setting, as the 32-bit program reads it.
trace_value() {
  WINEPREFIX=$prefix "$wine" reg query "HKLM\\$software\\velmora\\telmar-setup" /v TraceFile \
    2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p'
}
# event_source: the event source's values, "TYPE VALUE" a line, as the package wrote them.
event_source() {
  WINEPREFIX=$prefix "$wine" reg query "$event_key" 2>/dev/null | tr -d '\r' |
    sed -n 's/^ *\(EventMessageFile\|TypesSupported\) *\(REG_[A-Z_]*\) *\(.*\)$/\1 \2 \3/p'
}
# expect_failure STEP: msiexec ended with a status that deployment tools count as failed.
expect_failure() {
  case $msi_status in 0 | 1641 | 3010 | "") problem "$1: msiexec status ${msi_status:-none}" ;; esac
}
# expect_status STEP STATUS: msiexec ended with STATUS.
expect_status() { [ "$msi_status" = "$2" ] || problem "$1: msiexec status ${msi_status:-none}, not $2"; }
# reports N STEP [FILE]: the trace file (trace.log of the case) holds N reports of the program.
reports() {
  local got
  got=$(grep -c '^telmar-setup ' "$dir/${3:-trace.log}" 2>/dev/null)
  [ "${got:-0}" = "$1" ] || problem "$2: ${got:-0} report(s) in ${3:-trace.log}, not $1"
}
# later_package: a later version (99.0.0) of the package, of the same program: sets later (its
# path) and later_code.
later_package() {
  later=$dir/telmar-setup-99.0.0.msi
  cmake -DPROGRAM="$build/bin/telmar-setup.exe" -DVERSION=99.0.0 -DOUTPUT="$later" \
    -P "$root/package/make-package.cmake" >"$dir/make-package.out" 2>&1 ||
    problem "the later package: $(tail -3 "$dir/make-package.out")"
  later_code=$(product_code "$later")
}

# run_package NAME [option...]
#   lifecycle           install with TRACEFILE, a second installation that runs nothing, a
#                       repair with another TRACEFILE, upgrade to a later version, a refused
#                       downgrade, removal; the stand-ins' readers change between the runs
#   library=runs-data-probe  the system folder's library faults at its first probe: the
#                       installation fails; then, installed with a library that does not, an
#                       upgrade whose run faults rolls back to the installed version
#   data=none           no data folder: the installation is refused
#   arch=wow64          a 64-bit prefix
#   services=LIST       SERIALSERVICES given; the reader is then behind an FTSER2K adapter (COM3)
run_package() {
  local name=$1
  shift
  case_begins "$name" || return 0
  local lifecycle="" library="" data="" arch="" readers=3@19200 ports=1,3 usb=() version=""
  local services="" properties=() later="" later_code=""
  set_options "$@"
  [ -z "$services" ] || ports=1 usb=(3:FTSER2K) properties=("SERIALSERVICES=$services")
  local dir=$work/$name prefix=$work/$name/prefix system_folder=system32 template=$template
  local program_files="Program Files" software=Software
  local -x WINEARCH=$WINEARCH
  local wine=$wine
  if [ "$arch" = wow64 ]; then
    on_wow64
    program_files="Program Files (x86)" software='Software\Wow6432Node'
  fi
  make_prefix
  local system=$prefix/drive_c/windows/$system_folder
  local data=$prefix/drive_c/ProgramData/velmora/telmarv3
  local installed="$prefix/drive_c/$program_files/velmora/telmar-setup/telmar-setup.exe"
  cp "$build/${library:+stand-in/}${library:-bin}/qlpinw32.dll" "$system/"
  cp "$build/wine-doubles/winscard.dll" "$system/"
  printf 'Reader A' >"$dir/readers.txt"
  [ "$data" = none ] || { mkdir -p "$data" && printf 'an earlier run\r\n' >"$data/telmar.old"; }
  cp "$data/telmar.old" "$dir/earlier.old" 2>/dev/null
  printf 'an earlier report\r\n' >"$dir/trace.log"
  local msi=$(winpath "$package") trace_file=$(winpath "$dir/trace.log")
  local code
  code=$(product_code "$package")

  msiexec /i "$msi" /qn "TRACEFILE=$trace_file" "${properties[@]}" /l*v "$(winpath "$dir/install.log")"
  if [ -n "$library" ]; then
    # The run faults: the installation fails and is rolled back; telmar.old stays.
    expect_failure install
    [ ! -e "$installed" ] || problem "the program stayed installed"
    ! registered "$code" || problem "the product stayed registered"
    [ -z "$(trace_value)" ] || problem "the TraceFile value stayed"
    check_file - "$data/telmar.old" "$dir/earlier.old"
    grep -q 'protocol library qlpinw32.dll: loaded from' "$dir/trace.log" ||
      problem "the trace does not show the run that faulted"
    # Installed with a library that does not fault, then upgraded while it does: the upgrade
    # fails and telmar.old stays. (On Windows the earlier version's removal is rolled back too:
    # Wine's msiexec removes it at once, outside the transaction, and does not bring back a file
    # it replaced; the artifact check shows the removal inside the transaction.)
    cp "$build/bin/qlpinw32.dll" "$system/"
    msiexec /i "$msi" /qn
    expect_status "installation with a library that does not fault" 0
    cp "$data/telmar.old" "$dir/installed.old"
    later_package
    cp "$build/stand-in/$library/qlpinw32.dll" "$system/"
    msiexec /i "$(winpath "$later")" /qn
    expect_failure "upgrade whose run faults"
    ! registered "$later_code" || problem "the failed upgrade left the later version registered"
    check_file - "$data/telmar.old" "$dir/installed.old"
  elif [ "$data" = none ]; then
    # Refused: the access manager, which makes the data folder, must come first.
    expect_failure install
    [ ! -e "$installed" ] || problem "the program was installed"
    ! registered "$code" || problem "the product is registered"
    [ ! -e "$prefix/drive_c/ProgramData/velmora" ] || problem "a data folder was made"
    grep -qa 'The access manager must be installed first: its data folder C:\\ProgramData\\velmora\\telmarv3 is missing' \
      <(iconv -f UTF-16LE -t UTF-8 "$dir/install.log" 2>/dev/null; cat "$dir/install.log") ||
      problem "the installer's log does not say why"
  else
    expect_status install 0
    [ -e "$installed" ] || problem "the program was not installed"
    registered "$code" || problem "the product is not registered"
    [ "$(trace_value)" = "$trace_file" ] || problem "TraceFile is \"$(trace_value)\""
    [ "$(event_source)" = "EventMessageFile REG_EXPAND_SZ C:\\$program_files\\velmora\\telmar-setup\\telmar-setup.exe
TypesSupported REG_DWORD 0x7" ] || problem "the event source is: $(event_source | tr '\n' ' ')"
    check_file worked-example.old "$data/telmar.old" ""
    check_trace "$dir/trace.log" $'\r' "telmar-setup *" \
      'outcome: * found: telmar.old replaced: C:\\ProgramData\\velmora\\telmarv3\\telmar.old'
  fi
  if [ -n "$lifecycle" ]; then
    # A second installation of the installed package is maintenance: the program is not run.
    cp "$data/telmar.old" "$dir/installed.old"
    msiexec /i "$msi" /qn
    expect_status "second installation" 0
    check_file - "$data/telmar.old" "$dir/installed.old"
    reports 1 "second installation"
    # A repair runs the program again and applies the TRACEFILE it is given; TELMAR_SETUP_LOG,
    # where it reaches the run, comes first.
    readers=1@9600 && : >"$dir/readers.txt"
    printf 'an earlier report\r\n' >"$dir/repair-trace.log"
    printf 'an earlier report\r\n' >"$dir/moved-trace.log"
    TELMAR_SETUP_LOG=$(winpath "$dir/repair-trace.log") msiexec /i "$msi" /qn REINSTALL=ALL \
      REINSTALLMODE=amus "TRACEFILE=$(winpath "$dir/moved-trace.log")"
    expect_status repair 0
    check_file serial-9600-only.old "$data/telmar.old" ""
    check_trace "$dir/repair-trace.log" $'\r' "telmar-setup *" 'channel 1: serial reader on COM1 at 9600 baud'
    [ "$(trace_value)" = "$(winpath "$dir/moved-trace.log")" ] ||
      problem "the repair left TraceFile \"$(trace_value)\""
    reports 1 repair
    # An upgrade, without TRACEFILE: the value stays and the run reports there.
    later_package
    readers="" && printf 'Reader A 00 00\nReader A 00 01' >"$dir/readers.txt"
    msiexec /i "$(winpath "$later")" /qn
    expect_status upgrade 0
    [ "$later_code" != "$code" ] || problem "the later version has the same product code"
    ! registered "$code" || problem "the upgrade left the earlier product registered"
    registered "$later_code" || problem "the later product is not registered"
    check_file pcsc-two-only.old "$data/telmar.old" ""
    reports 1 upgrade moved-trace.log
    # The earlier version is refused, and nothing runs.
    cp "$data/telmar.old" "$dir/before-downgrade.old"
    readers=3@19200 && printf 'Reader A' >"$dir/readers.txt"
    msiexec /i "$msi" /qn
    expect_status downgrade 1603
    registered "$later_code" && ! registered "$code" || problem "the downgrade changed the products"
    check_file - "$data/telmar.old" "$dir/before-downgrade.old"
    reports 1 downgrade moved-trace.log
    # Removal leaves telmar.old byte for byte, and takes the program and the value.
    msiexec /x "$later_code" /qn
    expect_status removal 0
    check_file - "$data/telmar.old" "$dir/before-downgrade.old"
    [ ! -e "$installed" ] || problem "the program stayed after removal"
    ! registered "$later_code" || problem "the product stayed registered after removal"
    [ -z "$(trace_value)" ] || problem "the TraceFile value stayed after removal"
    ! WINEPREFIX=$prefix "$wine" reg query "$event_key" >/dev/null 2>&1 ||
      problem "the event source's key stayed after removal"
    reports 1 removal
  fi
  [ -n "$library" ] || [ "$data" = none ] || data_folder_holds_only_telmar_old "$data"
  case_ends "$name"
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
}

run_case worked-example worked-example.old ports=1,3 readers=3@19200 "pcsc=Reader A" event=1000 \
  "log=LnkConnect 1 3 19200,1,8,0,0" "log=LnkExchange 1 3 2 65535 FF010601 4 33792"
# The same workstation, traced, with two PC/SC readers, a USB port probed in vain and one
# whose driver service is not accepted.
run_case traced-mixed one-serial-two-pcsc.old ports=1,3 usb=4:usbser usb=5:FTDIBUS \
  readers=3@19200 "pcsc=Reader A 00 00;Reader A 00 01" 'trace=data folder C:\\ProgramData\\velmora\\telmarv3\\: exists' \
  'trace=protocol library qlpinw32.dll: loaded from Z:*\\app\\qlpinw32.dll' \
  'trace=port device * "USB Serial Port (COM5)": service "FTDIBUS" not accepted: not probed' \
  'trace=port device * "USB Serial Port (COM4)": service "usbser", a serial driver by its name, COM4: listed' \
  'trace=COM4 at 9600 baud: connection status *: no reader' \
  'trace=COM3 at 19200 baud: connection status 0, probe command status 0: reader answered' \
  'trace=PC/SC reader 2: "Reader A 00 01"' 'trace=channel 3: PC/SC reader "Reader A 00 01"' \
  'trace=NbCanaux=3: status 0' \
  'last=outcome: 1 serial and 2 PC/SC readers found: telmar.old written: C:\\ProgramData\\velmora\\telmarv3\\telmar.old'
# A reader behind a USB-serial adapter (service FTSER2K, COM3) is probed only when the
# administrator names the driver, in the environment or in the registry; a value that is not a
# string is ignored, and the port is then left out with the trace naming the setting.
adapter=(ports=1 usb=3:FTSER2K readers=3@19200 "pcsc=Reader A 00 00;Reader A 00 01")
run_case adapter-named-environment one-serial-two-pcsc.old "${adapter[@]}" 'services=Other; ftser2k' \
  'trace=port device 1 "USB Serial Port (COM3)": service "FTSER2K", named in TELMAR_SETUP_SERIAL_SERVICES, COM3: listed'
run_case adapter-named-registry one-serial-two-pcsc.old "${adapter[@]}" 'setting=REG_SZ:CH341SER, FtSer2K' \
  'trace=serial services named: 2: CH341SER, FtSer2K' \
  'trace=port device 1 "USB Serial Port (COM3)": service "FTSER2K", named in SerialServices of HKLM\\SOFTWARE\\velmora\\telmar-setup, COM3: listed'
run_case adapter-setting-not-a-string pcsc-two-only.old "${adapter[@]}" 'setting=REG_EXPAND_SZ:FTSER2K' \
  'trace=port device 1 "USB Serial Port (COM3)": service "FTSER2K" not accepted: not probed; a USB-serial adapter?s driver, probed when named in TELMAR_SETUP_SERIAL_SERVICES or SerialServices of HKLM\\SOFTWARE\\velmora\\telmar-setup' \
  'trace=serial services setting SerialServices of HKLM\\SOFTWARE\\velmora\\telmar-setup: ignored: a value of type 2, not a string (REG_SZ)'
run_case serial-9600-only serial-9600-only.old ports=1 readers=1@9600 event=none \
  "log=LnkConnect 1 1 19200,1,8,0,0" "log=LnkConnect 1 1 9600,1,8,0,0"
run_case pcsc-two-only pcsc-two-only.old "pcsc=Reader A 00 00;Reader A 00 01"
run_case two-serial-one-pcsc two-serial-one-pcsc.old ports=1,2,3 readers=1@19200,3@9600 \
  "pcsc=Reader A"
run_case library-missing pcsc-two-only.old library=none ports=3 readers=3@19200 \
  "pcsc=Reader A 00 00;Reader A 00 01" relay \
  'trace=protocol library qlpinw32.dll: not loaded: status 265; error 126 (module not found); no such file on the search path'
run_case accented-pcsc-names accented-pcsc-names.old $'pcsc=Lecteur \xe9tendu 00 00;Lecteur \xe9tendu 00 01'
run_case 19200-wins serial-19200-both.old ports=7 readers=7@19200/9600
printf 'an earlier run\r\n' >"$work/earlier.old"
run_case no-reader - ports=1,2 "earlier=$work/earlier.old" strays event=1002 \
  'last=outcome: no reader found: telmar.old left as it was'
# A second run waits for the first: both end with their reader, the second's file stays.
run_overlap overlapping-runs
# An earlier file is replaced whole; one held open by another program, or read-only, stays.
# The last line of the trace says which, with the readers found.
run_case replacing-earlier worked-example.old ports=1,3 readers=3@19200 "pcsc=Reader A" \
  "earlier=$work/earlier.old" event=1001 \
  'last=outcome: 1 serial and 1 PC/SC readers found: telmar.old replaced: C:\\ProgramData\\velmora\\telmarv3\\telmar.old'
run_case earlier-held-open - old=held ports=1,3 readers=3@19200 "pcsc=Reader A" \
  "earlier=$work/earlier.old" \
  'last=outcome: 1 serial and 1 PC/SC readers found: earlier telmar.old kept: replacing telmar.old failed: error *'
run_case earlier-read-only - old=readonly ports=1,3 readers=3@19200 "pcsc=Reader A" \
  "earlier=$work/earlier.old" event=2000 \
  'last=outcome: 1 serial and 1 PC/SC readers found: earlier telmar.old kept: replacing telmar.old failed: error 5 (access denied)'
# A replaced telmar.old keeps who may change it, and how it is shown: everyone's to change (Wine
# keeps a DACL as the file's mode), hidden and system.
mixed=(ports=1,3 readers=3@19200 "pcsc=Reader A")
run_case earlier-security-kept worked-example.old "${mixed[@]}" "earlier=$work/earlier.old" \
  old=open-hidden
# Nothing a user plants in a folder open to all turns the run: no trace through a link, into a
# file of other names or one everyone may change; no lock through a link; no read-only
# attribute cleared through a leftover's other name (the run then cannot make its new file, and
# keeps the earlier one); and a warning for a data or library folder that everyone may change.
for at in dangling hardlink everyone; do
  run_case "trace-at-$at" worked-example.old "${mixed[@]}" trace-at=$at
done
run_case lock-at-link worked-example.old "${mixed[@]}" lock-at=link
run_case leftover-hardlink - "${mixed[@]}" "earlier=$work/earlier.old" strays=hardlink \
  'last=outcome: 1 serial and 1 PC/SC readers found: earlier telmar.old kept: creating the new file failed: error 80 (already exists)'
run_case open-data-folder worked-example.old "${mixed[@]}" open=data event=2002 \
  'warning=warning: data folder C:\\ProgramData\\velmora\\telmarv3\\ may be changed by Everyone (add-file, add-folder, delete-child), not only by administrators: *'
run_case open-library-folder worked-example.old "${mixed[@]}" open=library \
  'warning=warning: library folder Z:*\\app may be changed by Everyone (add-file, add-folder, delete-child), not only by administrators: *'
# Windows' answers to a COM port's exclusive opening, against a fake: Wine opens a port that
# another program holds, as Windows does not.
if case_begins port-in-use-answers; then
  dir=$work/port-in-use-answers prefix=$work/port-in-use-answers/prefix
  mkdir -p "$dir" && cp -a "$template" "$prefix" && prefixes+=("$prefix")
  WINEPREFIX=$prefix "$wine" "$(winpath "$build/wine-doubles/port_in_use_test.exe")" >"$dir/out" 2>&1 ||
    problem "$(tr -d '\r' <"$dir/out" | head -c 400)"
  case_ends port-in-use-answers
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
fi
# Without a data folder nothing can be written, and there was no earlier file to keep.
run_case data-folder-missing - data-folder=missing ports=3 readers=3@19200 "pcsc=Reader A" event=3000 \
  'last=outcome: 0 serial and 1 PC/SC readers found (the serial ports were not probed): telmar.old not written: creating the new file failed: error 3 (path not found)'
run_case windows-xp-folder worked-example.old version=$xp_version ports=1,3 readers=3@19200 \
  "pcsc=Reader A"
for place in system windows path app+helper-on-path; do
  run_case "library-$place" worked-example.old library=$place ports=1,3 readers=3@19200 \
    "pcsc=Reader A" "log=LnkConnect 1 3 19200,1,8,0,0"
done
run_case library-app+helper-missing - library=app+helper-missing ports=3 readers=3@19200 \
  'trace=protocol library qlpinw32.dll: not loaded: status 265; error 126 (module not found); found at Z:*\\app\\qlpinw32.dll, so a library it needs is missing'
# A qlpinw32.dll of the other architecture, and one whose initialisation routine fails: the
# trace tells each apart, and the file is the one written without a protocol library.
run_case library-other-arch pcsc-two-only.old library=wine-doubles/other-arch ports=3 \
  readers=3@19200 "pcsc=Reader A 00 00;Reader A 00 01" \
  'trace=protocol library qlpinw32.dll: not loaded: status 265; error 193 (not a valid *-bit image); found at Z:*\\app\\qlpinw32.dll'
run_case library-init-fails pcsc-two-only.old library=wine-doubles/init-fails ports=3 \
  readers=3@19200 "pcsc=Reader A 00 00;Reader A 00 01" \
  'trace=protocol library qlpinw32.dll: not loaded: status 265; error 1114 (its initialisation routine failed); found at Z:*\\app\\qlpinw32.dll'
# One whose initialisation routine faults, and a folder where the library would lie.
run_case library-init-faults - library=wine-doubles/init-faults ports=3 readers=3@19200 \
  'trace=protocol library qlpinw32.dll: not loaded: status 265; error 998 (the library faulted while it initialised); found at Z:*\\app\\qlpinw32.dll'
run_case library-folder - library=folder ports=3 readers=3@19200 \
  'trace=protocol library qlpinw32.dll: not loaded: status 265; error 5 (access denied); found at Z:*\\app\\qlpinw32.dll, which is a folder, not a library'
run_case smartcard-library-missing serial-9600-only.old smartcard=none ports=1 readers=1@9600 \
  'trace=smart-card library winscard.dll: not loaded (0x1001): error 126 (module not found); no such file in the system folder'
run_case planted-smartcard-library-ignored - plant=smartcard ports=3 "pcsc=Planted Reader"

# Data-execution prevention: a library that runs code from heap memory faults there, as it
# identifies itself or as it connects. The program ends with 0xC0000005, its trace stops just
# before the call that faulted, the earlier telmar.old stays, and the next run, with a library
# that does no such thing, removes what the faulted run left.
for when in identify probe; do
  stop='protocol library qlpinw32.dll: loaded from Z:*\\app\\qlpinw32.dll'
  [ $when = identify ] || stop='2 COM ports to probe'
  run_case "data-execution-prevention-$when" - library=stand-in/runs-data-$when ports=1,3 \
    readers=3@19200 "pcsc=Reader A" "earlier=$work/earlier.old" status=0xC0000005 \
    'wine-says=wine: Unhandled page fault on execute access to *' "last=$stop" \
    next=worked-example.old
done

# The worked example with the protocol library in the first generation, and in the other
# calling convention, which only 32-bit x86 has.
example=(worked-example.old ports=1,3 readers=3@19200 "pcsc=Reader A")
run_case worked-example-first-gen "${example[@]}" library=stand-in/first-gen
needs_32_bit=""
[ "$preset" = win32 ] || needs_32_bit="skip:needs the 32-bit program, which this machine cannot run"
unavailable=$needs_32_bit
for variant in cdecl cdecl-first-gen; do
  run_case "worked-example-$variant" "${example[@]}" library=stand-in/$variant
done

# The most common workstation: 64-bit Windows running the 32-bit program (WOW64).
run_case worked-example-wow64 "${example[@]}" arch=wow64 "log=LnkConnect 1 3 19200,1,8,0,0" \
  'trace=smart-card library winscard.dll: loaded (0x0000)' 'trace=PC/SC reader 1: "Reader A"'
# The protocol library in the system folder there: named where an administrator finds it.
run_case library-system-wow64 "${example[@]}" arch=wow64 library=system \
  'trace=protocol library qlpinw32.dll: loaded from C:\\windows\\syswow64\\qlpinw32.dll'
run_case library-system+helper-missing-wow64 - arch=wow64 library=system+helper-missing ports=3 \
  readers=3@19200 'trace=protocol library qlpinw32.dll: not loaded: status 265; error 126 (module not found); found at C:\\windows\\syswow64\\qlpinw32.dll, so a library it needs is missing'
unavailable=""

# The workstation of scripts/demo.sh, whose Linux run writes the same file.
run_case demo-workstation demo-workstation.old ports=1,2 usb=3:FTDIBUS readers=2@19200 \
  "pcsc=Demo Reader 00 00;Demo Reader 00 01" \
  'last=outcome: 1 serial and 2 PC/SC readers found: telmar.old written: C:\\*\\telmar.old'

# The field-check kit's checker: every case Wine can show passes, the others say so; a broken
# kit fails, and so does a run that hangs; the dry run writes only in its scratch folder. The
# kit is built for the 32-bit program only.
unavailable=$needs_32_bit
all_shown=('line=PASS            system: "telmar-setup *, system major version 6"; "data folder C:\\users\\*\\ProgramData\\velmora\\telmarv3\\: exists" (no "Application Data" level*); 2 COM port(s) probed'
  'line=PASS            worked-example: reader simulated on COM1 at 19200 baud, *"outcome: 1 serial and 1 PC/SC readers found: telmar.old written: C:\\*\\worked-example\\ProgramData\\velmora\\telmarv3\\telmar.old"'
  'line=PASS            cdecl: reader simulated on COM1 *'
  'line=NOT SHOWN HERE  current-folder: Wine*s loader searches the current folder *: loaded from C:\\users\\*\\cwd\\qlpinw32.dll'
  'line=PASS            helper-missing: ended by itself in *; "*error 126 (module not found); found at C:\\users\\*\\helper-missing\\app\\qlpinw32.dll, so a library it needs is missing" *'
  'line=PASS            other-architecture: ended by itself in *"*error 193 (not a valid 32-bit image); found at *"*'
  'line=NOT SHOWN HERE  elevation: Wine has no user account control'
  'line=NOT SHOWN HERE  security-kept: Wine keeps a file*s DACL as its mode bits: *'
  'line=NOT SHOWN HERE  port-in-use: Wine opens a COM port that another program holds'
  'line=NOT SHOWN HERE  open-data-folder: Wine keeps a folder*s DACL as its mode bits: *'
  'line=NOT SHOWN HERE  event-log: Wine keeps no Application log that a program reads back'
  'line=5 PASS, 0 FAIL, 6 NOT SHOWN HERE')
run_kit kit-self-check 0 "${all_shown[@]}"
run_kit kit-self-check-xp 0 version=winxp \
  'line=PASS            system: "*, system major version 5"; "data folder C:\\*\\ProgramData\\Application Data\\velmora\\telmarv3\\: exists" (below "Application Data"*' \
  'line=PASS            worked-example: *' 'line=5 PASS, 0 FAIL, 6 NOT SHOWN HERE'
# On 64-bit Windows, a protocol library installed for the 32-bit program is named where it lies.
run_kit kit-installed-library-wow64 0 arch=wow64 \
  'line=NOT SHOWN HERE  current-folder: a qlpinw32.dll lies on the search path (C:\\windows\\syswow64\\qlpinw32.dll): *'
run_kit kit-no-serial-port 0 ports= 'line=PASS            system: *; 0 COM port(s) probed' \
  'line=NOT SHOWN HERE  worked-example: no serial port here that the program probes *' \
  'line=3 PASS, 0 FAIL, 8 NOT SHOWN HERE'
run_kit kit-broken-expected 1 broken=expected \
  'line=FAIL            worked-example: line 16 of the serial part: expected "NbLAD=4", found "NbLAD=3"' \
  'line=FAIL            cdecl: line 16 of *' 'line=3 PASS, 2 FAIL, 6 NOT SHOWN HERE'
run_kit kit-broken-other-arch 1 broken=other-arch \
  'line=FAIL            other-architecture: expected "*error 193*", the trace says "protocol library qlpinw32.dll: loaded from C:\\*\\other-architecture\\app\\qlpinw32.dll"' \
  'line=the runs* files stay in C:\\*\\telmar-check-*'
run_kit kit-broken-hang 1 broken=hang \
  'line=FAIL            helper-missing: the run did not end by itself within 30 s (a dialog?)' \
  'line=PASS            other-architecture: *'
# A kit that lacks files, or whose expected file is damaged, is named as the cause.
run_kit kit-incomplete 1 broken=no-program broken=no-cdecl broken=expected-empty \
  'line=FAIL            system: the kit lacks telmar-setup.exe' \
  "line=FAIL            worked-example: the kit lacks telmar-setup.exe; the kit's expected\\\\worked-example.old is damaged (0 bytes, not the * it was made with)" \
  "line=FAIL            cdecl: the kit lacks telmar-setup.exe; the kit lacks stand-in\\\\cdecl\\\\qlpinw32.dll; the kit's expected\\\\worked-example.old is damaged (0 bytes, *)" \
  'line=FAIL            other-architecture: the kit lacks telmar-setup.exe' \
  'line=FAIL            port-in-use: the kit lacks telmar-setup.exe' \
  'line=0 PASS, 11 FAIL, 0 NOT SHOWN HERE'
run_kit kit-expected-truncated 1 broken=expected-truncated \
  "line=FAIL            worked-example: the kit's expected\\\\worked-example.old is damaged (* bytes, not the * it was made with)" \
  "line=FAIL            cdecl: the kit's expected\\\\worked-example.old is damaged *" \
  'line=3 PASS, 2 FAIL, 6 NOT SHOWN HERE'
# The dry run of no program, or of a folder, says so and makes nothing.
run_kit kit-dry-run-no-program 2 'dry-run=C:\TELMAR\absent.exe' \
  'line=telmar-check /dry-run: no program at C:\\TELMAR\\absent.exe'
run_kit kit-dry-run-folder 2 'dry-run=C:\TELMAR' \
  'line=telmar-check /dry-run: C:\\TELMAR is a folder, not a program'
run_kit kit-dry-run 0 dry-run 'line=dry run of C:\\TELMAR\\telmar-setup.exe, started from Z:*\\cwd' \
  'line=data-execution prevention: *' 'line=the program ended by itself after * s, exit status 0x00000000' \
  'line=protocol library qlpinw32.dll: loaded from C:\\TELMAR\\qlpinw32.dll' \
  'line=outcome: 1 serial and 1 PC/SC readers found: telmar.old written: C:\\*\\dry-run\\ProgramData\\velmora\\telmarv3\\telmar.old'

# The Windows Installer package, 32-bit only.
unavailable=$needs_32_bit
run_package package-lifecycle lifecycle
run_package package-run-faults library=runs-data-probe
run_package package-no-data-folder data=none
run_package package-wow64 arch=wow64 'services=Ser2pl,FtSer2K'
unavailable=""

finish "Wine end-to-end"
