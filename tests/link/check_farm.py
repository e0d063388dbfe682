#!/usr/bin/python3
"""The console line in a board farm, with the real programs from Debian:
the pexpect example of README (docs/examples/pexpect_boot.py), labgrid
(python3-labgrid) with the README's environments, one with the
pseudo-terminal as a RawSerialPort, one with ser2net's RFC 2217 port as a
NetworkSerialPort: the serial driver waits for the prompt after the power
driver's cycle (qb7uart-sim --reset) and runs a command; and a plain RFC 2217
client (pyserial) reading a boot through ser2net after --reset.

Usage: check_farm.py WORK_FOLDER EXAMPLES_FOLDER
(qb7uart-sim is running --pty --link WORK/console, ser2net serving it on
127.0.0.1:PORT from WORK/ser2net.yaml, the port in WORK/port)"""
import os
import subprocess
import sys
import time

import serial
from labgrid import Environment

work, examples = sys.argv[1], sys.argv[2]
sim = os.path.join(work, "qb7uart-sim")
link = os.path.join(work, "console")
port = int(open(os.path.join(work, "port")).read())
faults = []


def fail(what):
    faults.append(what)
    print("FAIL:", what)


def environment(name):
    """The README's environment, with this bench's paths and port."""
    text = open(os.path.join(examples, name)).read()
    text = text.replace("/run/qb7/console", link).replace("/opt/qb7uart/qb7uart", sim)
    text = text.replace("port: 7001", f"port: {port}")
    path = os.path.join(work, name)
    open(path, "w").write(text)
    return path


# The README's pexpect example, as it stands.
run = subprocess.run(["/usr/bin/python3", os.path.join(examples, "pexpect_boot.py"), link, sim],
                     capture_output=True, timeout=60)
if run.returncode != 0 or b"booted, and answered version" not in run.stdout:
    fail(f"the pexpect example: {run.returncode} {run.stdout[-200:]!r} {run.stderr[-300:]!r}")
else:
    print("ok: the README's pexpect example boots the board and runs version")

for name in ("labgrid-pty.yaml", "labgrid-ser2net.yaml"):
    try:
        target = Environment(environment(name)).get_target("main")
        console = target.get_driver("SerialDriver")
        power = target.get_driver("PowerProtocol")
        power.cycle()  # the VSC7420's reset, asked of the holder
        console.expect("Reset cause", timeout=30)
        console.expect("vsc7420# ", timeout=30)
        console.write(b"status\r")
        console.expect(r"Port\s+Link\s+Speed", timeout=10)
        console.expect("vsc7420# ", timeout=10)
        target.deactivate_all_drivers()
        print(f"ok: labgrid with {name}: the power driver's cycle reset the board, the serial driver saw the prompt and ran status")
    except Exception as e:  # labgrid raises its own kinds
        fail(f"labgrid with {name}: {type(e).__name__}: {e}")

# A plain RFC 2217 client through ser2net: the boot after --reset. (A
# pseudo-terminal has no modem lines, so ser2net does not answer their
# setting; pyserial is told not to wait for it, as labgrid tells it.)
try:
    s = serial.serial_for_url(f"rfc2217://127.0.0.1:{port}?ign_set_control", baudrate=115200, timeout=1)
    subprocess.run([sim, "--reset"], check=True, capture_output=True, timeout=20)
    got = b""
    deadline = time.time() + 30
    while b"vsc7420# " not in got and time.time() < deadline:
        got += s.read(4096)
    s.close()
    if b"[    0.000000] \x1b[0mReset cause: external reset pin" not in got or b"vsc7420# " not in got:
        fail(f"ser2net: the boot did not come whole: {got[:80]!r} .. {got[-80:]!r}")
    else:
        print(f"ok: an RFC 2217 client through ser2net read the boot from its first byte ({len(got)} bytes)")
except Exception as e:
    fail(f"ser2net client: {type(e).__name__}: {e}")

print("farm:", "all checks passed" if not faults else f"{len(faults)} failed")
sys.exit(1 if faults else 0)
