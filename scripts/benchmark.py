#!/usr/bin/env python3
"""Times the Linux program on simulated workstations of 0, 8, 32 and 128 serial ports, without
readers and with a reader on every port, against the floor that the pauses after each probe
try set (100 ms a try: two tries for a port without reader, one for a reader answering at
19200 baud), and reports the peak memory of each run.

Usage: scripts/benchmark.py [BUILD_DIR]   (default build/native; run scripts/demo.sh or
build the native preset first)"""
import os
import subprocess
import sys
import tempfile
import time

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build", "native"))
program = os.path.join(build, "bin", "telmar-setup")
if not os.access(program, os.X_OK):
    sys.exit(f"{program} is missing: cmake --preset native && cmake --build --preset native")


def workstation(folder, ports):
    """A sysfs tree with `ports` built-in serial ports (COM1 to COMn) and the data folder."""
    for k in range(ports):
        tty = os.path.join(folder, "sys", "class", "tty", f"ttyS{k}")
        os.makedirs(tty)
        with open(os.path.join(tty, "type"), "w") as f:
            f.write("4\n")
    os.makedirs(os.path.join(folder, "data", "velmora", "telmarv3"))


def high_water_kib(pid):
    try:
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def run(ports, with_readers):
    with tempfile.TemporaryDirectory() as folder:
        workstation(folder, ports)
        env = dict(os.environ)
        env.update(ALLUSERSPROFILE=os.path.join(folder, "data"),
                   TELMAR_SYSFS=os.path.join(folder, "sys"),
                   QLP_SIM_READERS=",".join(f"{p}@19200" for p in range(1, ports + 1))
                   if with_readers else "")
        env.pop("QLP_SIM_LOG", None)
        start = time.monotonic()
        child = subprocess.Popen([program], env=env)
        peak = 0
        # The kernel's high-water mark of the program's own memory, read until it ends
        # (the resource usage that wait4 reports would include this script's, inherited
        # through fork until exec).
        while child.poll() is None:
            peak = max(peak, high_water_kib(child.pid))
            time.sleep(0.001)
        elapsed = time.monotonic() - start
        if child.returncode != 0:
            sys.exit(f"telmar-setup exited with {child.returncode}")
        return elapsed, peak


print(f"{'ports':>5} {'readers':>7} {'floor s':>8} {'measured s':>10} {'over floor ms':>13} {'peak KiB':>9}")
for ports in (0, 8, 32, 128):
    for with_readers in (False, True):
        floor = ports * (1 if with_readers else 2) * 0.1
        elapsed, peak = run(ports, with_readers)
        print(f"{ports:>5} {'yes' if with_readers else 'no':>7} {floor:>8.1f} {elapsed:>10.3f} "
              f"{(elapsed - floor) * 1000:>13.1f} {peak:>9}")
