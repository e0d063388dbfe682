#!/usr/bin/env bash
# cmake --install into a fresh prefix: both binaries with the sample
# configuration beside them, the manual page under share/man/man1; and the
# page is clean under groff's warnings and mandoc's lint where they exist.
# Usage: check_install.sh BUILD_DIR SOURCE_DIR
set -u
build=$1 src=$2
prefix=$(mktemp -d /tmp/qb7install.XXXXXX)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install failed"
for f in bin/qb7uart bin/qb7uart-sim; do [ -x "$prefix/$f" ] || fail "$f not installed"; done
cmp -s "$prefix/bin/Qb7_Uart.cfg" "$src/config/Qb7_Uart.cfg" || fail "bin/Qb7_Uart.cfg is not the sample"
[ -s "$prefix/share/man/man1/qb7uart.1" ] || fail "share/man/man1/qb7uart.1 not installed"
"$prefix/bin/qb7uart-sim" --help | grep -q -- "--attach" || fail "the installed qb7uart-sim does not run"
if command -v groff >/dev/null; then
  warnings=$(groff -ww -z -man "$src/docs/qb7uart.1" 2>&1)
  [ -z "$warnings" ] || fail "groff warns: $warnings"
else
  echo "skip: no groff to check the manual page"
fi
if command -v mandoc >/dev/null; then
  lint=$(mandoc -T lint "$src/docs/qb7uart.1" 2>&1)
  [ -z "$lint" ] || fail "mandoc -T lint: $lint"
fi
echo "install: $failures failed"
[ "$failures" -eq 0 ]
