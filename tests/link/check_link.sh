#!/usr/bin/env bash
# The console line for other programs, with the real binary: pexpect on
# --pty and --stdio (tests/link/check_link.py).
# Usage: check_link.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
if ! /usr/bin/python3 -c 'import pexpect' 2>/dev/null; then
  echo "SKIP: python3-pexpect is not installed (scripts/deps.sh test installs it)"
  exit 0
fi
work=$(mktemp -d /tmp/qb7link.XXXXXX)
trap 'rm -rf "$work"' EXIT
cp "$build/qb7uart-sim" "$build/Qb7_Uart.cfg" "$work/"
/usr/bin/python3 "$here/check_link.py" "$work"
