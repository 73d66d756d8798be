#!/usr/bin/env bash
# Runs telmar-setup on a simulated workstation and shows what it wrote:
#  - two built-in serial ports, COM1 and COM2, with a QLP reader answering at 19200 baud on
#    COM2 (the stand-in protocol library simulates it), and a USB serial adapter (COM3) whose
#    driver, ftdi_sio, is not one the program probes;
#  - a private PC/SC service (pcscd) with one virtual reader definition, which pcscd offers
#    as two readers.
# Installs what it needs (Debian packages), builds the Linux program, and writes nothing
# outside a temporary folder; the pcscd it starts is stopped before it ends.
#
# With --windows, the same workstation for the 32-bit Windows program under Wine: the ports
# in Wine's device registry, the same stand-in protocol library built as a DLL, and a stand-in
# winscard.dll listing the two readers that pcscd offers here (Wine's own cannot reach a
# smart-card service). The file it writes holds the same lines. Where this machine cannot run
# 32-bit code, it says so and runs the 64-bit build under 64-bit Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if [ "${1:-}" = --windows ]; then
  scripts/install-deps.sh windows
  echo "Building the Windows program and running it under Wine (this takes a minute or two)."
  exec env TELMAR_WINE_CASES=demo-workstation TELMAR_WINE_SHOW=1 tests/wine/run-wine-tests.sh
fi

scripts/install-deps.sh native
cmake --preset native >/dev/null
cmake --build --preset native --target telmar-setup qlpinw32 >/dev/null

work=$(mktemp -d /tmp/telmar-demo.XXXXXX)
trap 'tests/tools/pcscd-session.sh stop "$work/pcscd" >/dev/null 2>&1; rm -rf "$work"' EXIT

# The workstation: a sysfs tree with ttyS0 and ttyS1, and the access manager's data folder.
for k in 0 1; do
  mkdir -p "$work/sys/class/tty/ttyS$k"
  echo 4 >"$work/sys/class/tty/ttyS$k/type"
done
mkdir -p "$work/sys/class/tty/ttyUSB0/device" "$work/sys/bus/usb-serial/drivers/ftdi_sio"
ln -s ../../../../bus/usb-serial/drivers/ftdi_sio "$work/sys/class/tty/ttyUSB0/device/driver"
mkdir -p "$work/ProgramData/velmora/telmarv3"

tests/tools/pcscd-session.sh start "$work/pcscd" "Demo Reader" >/dev/null
echo "PC/SC readers offered by the private pcscd:"
sed 's/^/  /' "$work/pcscd/reader-names.txt"

ALLUSERSPROFILE=$work/ProgramData TELMAR_SYSFS=$work/sys QLP_SIM_READERS=2@19200 \
  QLP_SIM_LOG=$work/qlp.log TELMAR_SETUP_LOG=$work/telmar-setup.log build/native/bin/telmar-setup

echo
echo "=== $work/ProgramData/velmora/telmarv3/telmar.old (CR LF line ends shown as lines)"
iconv -f WINDOWS-1252 -t UTF-8 "$work/ProgramData/velmora/telmarv3/telmar.old" | tr -d '\r'
echo "=== calls received by the stand-in protocol library"
cat "$work/qlp.log"
echo "=== the program's trace (TELMAR_SETUP_LOG=$work/telmar-setup.log)"
iconv -f WINDOWS-1252 -t UTF-8 "$work/telmar-setup.log"
echo "=== files left in the data folder"
ls -l "$work/ProgramData/velmora/telmarv3"
