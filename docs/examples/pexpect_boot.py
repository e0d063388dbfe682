#!/usr/bin/python3
"""pexpect: the VSC7420's boot from its first byte, and a command at its
prompt, through qb7uart --pty (started first with --link /run/qb7/console)."""
import os
import subprocess
import sys

import pexpect.fdpexpect

link = sys.argv[1] if len(sys.argv) > 1 else "/run/qb7/console"
qb7uart = sys.argv[2] if len(sys.argv) > 2 else "/opt/qb7uart/qb7uart"
console = pexpect.fdpexpect.fdspawn(os.open(link, os.O_RDWR | os.O_NOCTTY), timeout=60)
subprocess.run([qb7uart, "--reset"], check=True)
console.expect_exact(b"Reset cause")
console.expect_exact(b"vsc7420# ")
console.send(b"version\r")  # the console takes CR as Enter
console.expect_exact(b"VSC7420 Caracal switch CLI")
console.expect_exact(b"vsc7420# ")
print("booted, and answered version")
