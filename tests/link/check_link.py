#!/usr/bin/python3
"""The console line for other programs, driven by pexpect (Debian's
python3-pexpect) as a test bench would drive it: qb7uart-sim --pty with a
stable link, the VSC7420's prompt, help, status and 200000 bytes of the test
pattern received whole and in order; the board's report (nothing put on the
program); a second copy on the same folder refused naming the first; SIGTERM
ends it with the log complete; --stdio answers on standard output.

Usage: check_link.py WORK_FOLDER (qb7uart-sim and Qb7_Uart.cfg in it)"""
import os
import signal
import subprocess
import sys
import time

import pexpect
import pexpect.fdpexpect

work = sys.argv[1]
sim = os.path.join(work, "qb7uart-sim")
faults = []


def fail(what):
    faults.append(what)
    print("FAIL:", what)


def pattern(n):
    out = bytearray(n)
    for i in range(n):
        line, k = divmod(i, 64)
        if k < 8:
            out[i] = ord(str(line).zfill(8)[-8:][k])
        elif k == 8:
            out[i] = ord(" ")
        elif k == 62:
            out[i] = 13
        elif k == 63:
            out[i] = 10
        else:
            out[i] = ord("A") + (k - 9 + line) % 26
    return bytes(out)


link = os.path.join(work, "console")
report = os.path.join(work, "report.txt")
holder = subprocess.Popen([sim, "--pty", "--link", link, "--report", report],
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE)
said = holder.stdout.readline().decode().strip()
if said != link:
    fail(f"--pty --link printed {said!r}, not the link")
fd = os.open(link, os.O_RDWR | os.O_NOCTTY)
console = pexpect.fdpexpect.fdspawn(fd, timeout=10)
pattern_fault = None
try:
    console.send(b"\r")
    console.expect_exact(b"vsc7420# ")
    console.send(b"help\r")
    console.expect_exact(b"pattern N   send N bytes of the test pattern")
    console.expect_exact(b"vsc7420# ")
    console.send(b"status\r")
    console.expect_exact(b"\x1b[1;32mup\x1b[0m")  # the colour sequences pass as they came
    console.expect_exact(b"vsc7420# ")
    n = 200000
    console.send(b"pattern %d\r" % n)
    console.expect_exact(b"pattern %d\r\n" % n)
    # Read straight from the descriptor from here on: what expect read past
    # its match first, then everything up to the prompt after the pattern.
    got = console.buffer
    deadline = time.time() + 60  # 200000 bytes take 17 s at 115200
    while not (len(got) >= n and b"vsc7420# " in got[n:]) and time.time() < deadline:
        try:
            got += console.read_nonblocking(65536, timeout=5)
        except pexpect.TIMEOUT:
            break
    want = pattern(n)
    pattern_fault = None
    if got[:n] != want:
        at = next((i for i in range(min(len(got), n)) if got[i] != want[i]), min(len(got), n))
        # Judged once the board's report is read: a loss the machine caused
        # (it held the program off longer than the FIFO lasts) is told, not failed.
        pattern_fault = f"pattern: {min(len(got), n)} of {n} bytes, first difference at {at}"
    elif got[n:] != b"vsc7420# ":
        fail(f"after the pattern: {got[n:n + 60]!r}, not the prompt")
    else:
        print(f"ok: {n} bytes of the pattern received whole and in order through the pseudo-terminal, then the prompt")
except (pexpect.TIMEOUT, pexpect.EOF) as e:
    fail(f"the console did not answer: {type(e).__name__}: {console.before[-200:]!r}")

# A reset from outside: the holder pulses it, logs it, and the reader gets
# the boot from its first byte.
reset = subprocess.run([sim, "--reset"], capture_output=True, timeout=20)
if reset.returncode != 0 or not reset.stdout.startswith(b"qb7uart-sim: ok: the VSC7420's reset pulsed"):
    fail(f"--reset with a holder: status {reset.returncode}, {reset.stdout!r} {reset.stderr!r}")
try:
    console.expect_exact(b"[    0.000000] \x1b[0mReset cause: external reset pin")
    console.expect_exact(b"vsc7420# ")
    print("ok: --reset from another process: the holder pulsed it and the reader got the boot from its first byte")
except (pexpect.TIMEOUT, pexpect.EOF):
    fail(f"--reset: no boot on the console: {console.before[-200:]!r}")

# A second copy on the same folder is refused, naming the first.
second = subprocess.run([sim, "--pty"], capture_output=True, timeout=10)
if second.returncode != 1 or b"in use by process %d" % holder.pid not in second.stderr:
    fail(f"a second --pty: status {second.returncode}, {second.stderr.decode().strip()!r}")
else:
    print("ok: a second --pty on the same folder is refused, naming the first")

os.close(fd)
time.sleep(0.5)  # the reader's going, noticed and logged
holder.send_signal(signal.SIGTERM)
status = holder.wait(timeout=10)
if status != -signal.SIGTERM:
    fail(f"SIGTERM: status {status}")
log = open(os.path.join(work, "Term.txt"), "rb").read()
if b"[    0.000000] Reset cause: external reset pin" not in log:
    fail("Term.txt lacks the boot after the reset from outside")
if b"pattern 200000" not in log or len(log) < 200000:
    fail(f"Term.txt does not hold the session: {len(log)} bytes")
times = open(os.path.join(work, "Term.times")).read()
if "start: route 0" not in times or "session left" not in times:
    fail("Term.times lacks the session's start or end")
if "reset asked from outside by process" not in times:
    fail("Term.times lacks the reset asked from outside")
if times.count("console reader came") < 1 or "console reader went away" not in times:
    fail("Term.times lacks the reader's coming and going: " +
         repr([l for l in times.splitlines() if "console" in l or "start" in l]))
if "boot: first byte" not in times:
    fail("Term.times lacks the boot's report after the reset from outside")
board = {}
for line in open(report):
    if line.startswith("overflows by"):
        board[line.split(":")[0]] = int(line.split(":")[1])
if board.get("overflows by the program", 0) != 0:
    fail(f"the board's report: {board}")
if pattern_fault:
    if board.get("overflows by the machine", 0) != 0:
        print(f"skip: {pattern_fault}: the machine held the program off ({board})")
    else:
        fail(pattern_fault)
if os.path.lexists(link):
    fail("the link is left behind after the end")

# The other way: 50000 bytes of every value written at once reach the far
# end whole and in order, at the UART's pace (the writer held back, nothing
# dropped). The far end of J27 records what it gets.
far = os.path.join(work, "far.bin")
holder = subprocess.Popen([sim, "--pty", "--route", "2", "--attach", f"2=cat > '{far}'"],
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE)
path = holder.stdout.readline().decode().strip()
fd = os.open(path, os.O_RDWR | os.O_NOCTTY)
sent = os.urandom(50000)
start = time.time()
at = 0
while at < len(sent):
    at += os.write(fd, sent[at:])
deadline = time.time() + 30
while time.time() < deadline and (not os.path.exists(far) or os.path.getsize(far) < len(sent)):
    time.sleep(0.2)
took = time.time() - start
got = open(far, "rb").read() if os.path.exists(far) else b""
if got != sent:
    at = next((i for i in range(min(len(got), len(sent))) if got[i] != sent[i]), min(len(got), len(sent)))
    fail(f"written: the far end got {len(got)} of {len(sent)} bytes, first difference at {at}")
else:
    print(f"ok: 50000 bytes written reached the far end whole and in order in {took:.1f} s")
os.close(fd)
holder.send_signal(signal.SIGTERM)
holder.wait(timeout=10)

# With no program holding the board, --reset takes it, pulses and ends.
alone = subprocess.run([sim, "--reset"], capture_output=True, timeout=20, cwd=work)
if alone.returncode != 0 or b"no program held the board" not in alone.stdout:
    fail(f"--reset alone: status {alone.returncode}, {alone.stdout!r} {alone.stderr!r}")

# --stdio: the same on standard input and output.
child = pexpect.spawn(sim, ["--stdio"], cwd=work, timeout=10)
try:
    child.send("\r")
    child.expect_exact("vsc7420# ")
    child.send("version\r")
    child.expect_exact("VSC7420 Caracal switch CLI")
    print("ok: --stdio answers on standard output")
except (pexpect.TIMEOUT, pexpect.EOF):
    fail(f"--stdio did not answer: {child.before!r}")
child.kill(signal.SIGTERM)
child.expect(pexpect.EOF, timeout=10)
child.close()
if child.signalstatus != signal.SIGTERM:
    fail(f"--stdio after SIGTERM: status {child.exitstatus}, signal {child.signalstatus}")
# Through pipes, as a connection command runs it: the answer comes, and the
# program ends once standard input has.
piped = subprocess.run([sim, "--stdio"], input=b"version\r", capture_output=True, timeout=20)
if piped.returncode != 0 or b"VSC7420 Caracal switch CLI, firmware" not in piped.stdout:
    fail(f"--stdio through pipes: status {piped.returncode}, {piped.stdout[-200:]!r} {piped.stderr!r}")
else:
    print("ok: --stdio through pipes answers and ends when its input does")

print("link:", "all checks passed" if not faults else f"{len(faults)} failed")
sys.exit(1 if faults else 0)
