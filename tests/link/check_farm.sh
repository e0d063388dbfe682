#!/usr/bin/env bash
# The console line with the programs a lab runs, from Debian: picocom
# typed at in tmux, then (check_farm.py) the README's pexpect example,
# labgrid over the pseudo-terminal and over ser2net, and an RFC 2217
# client through ser2net. Each skips, saying why, where its package is
# missing.
# Usage: check_farm.sh BUILD_DIR SOURCE_DIR
set -u
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
here="$src/tests/link"
work=$(mktemp -d /tmp/qb7farm.XXXXXX)
sock="$work/tmux.sock"
cleanup() {
  tmux -S "$sock" kill-server 2>/dev/null
  [ -n "${ser2net_pid:-}" ] && kill "$ser2net_pid" 2>/dev/null
  [ -n "${holder:-}" ] && kill "$holder" 2>/dev/null && wait "$holder" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
cp "$build/qb7uart-sim" "$build/Qb7_Uart.cfg" "$work/"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

"$work/qb7uart-sim" --pty --link "$work/console" > "$work/holder.out" 2> "$work/holder.err" &
holder=$!
for _ in $(seq 50); do [ -e "$work/console" ] && break; sleep 0.1; done
[ -e "$work/console" ] || { echo "FAIL: qb7uart-sim --pty made no link: $(cat "$work/holder.err")"; exit 1; }

# picocom on the pseudo-terminal, typed at as a person would.
if command -v picocom > /dev/null && command -v tmux > /dev/null; then
  tmux -S "$sock" new-session -d -s farm -x 100 -y 30 "picocom -b 115200 '$work/console'; sleep 30"
  sleep 1
  tmux -S "$sock" send-keys -t farm -l "version"
  tmux -S "$sock" send-keys -t farm Enter
  seen=no
  for _ in $(seq 50); do
    tmux -S "$sock" capture-pane -p -t farm | grep -q "VSC7420 Caracal switch CLI, firmware" && { seen=yes; break; }
    sleep 0.1
  done
  [ $seen = yes ] && echo "ok: picocom on the pseudo-terminal: version typed, the banner came" ||
    fail "picocom: no answer: $(tmux -S "$sock" capture-pane -p -t farm | grep -v '^$' | tail -3)"
  tmux -S "$sock" send-keys -t farm C-a C-x
  sleep 0.5
  tmux -S "$sock" kill-server 2>/dev/null
else
  echo "SKIP: picocom or tmux is not installed (scripts/deps.sh test installs them)"
fi

if ! command -v ser2net > /dev/null || ! /usr/bin/python3 -c 'import labgrid, serial, pexpect' 2>/dev/null; then
  echo "SKIP: ser2net, python3-labgrid or python3-pexpect is not installed (scripts/deps.sh test installs them)"
  exit $((failures != 0))
fi
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
echo "$port" > "$work/port"
sed -e "s|/run/qb7/console|$work/console|" -e "s|,7001|,$port|" "$src/docs/examples/ser2net.yaml" > "$work/ser2net.yaml"
ser2net -n -c "$work/ser2net.yaml" -P "$work/ser2net.pid" > "$work/ser2net.log" 2>&1 &
ser2net_pid=$!
for _ in $(seq 50); do
  /usr/bin/python3 -c "import socket; socket.create_connection(('127.0.0.1', $port)).close()" 2>/dev/null && break
  sleep 0.1
done
/usr/bin/python3 "$here/check_farm.py" "$work" "$src/docs/examples" || failures=$((failures + 1))
kill -TERM "$holder"; wait "$holder"; st=$?
holder=
[ $st = 143 ] || fail "the holder after SIGTERM: status $st"
[ "$(grep -c "reset asked from outside by process" "$work/Term.times")" = 4 ] ||
  fail "the holder's Term.times does not record the four resets asked from outside"
[ $failures = 0 ] && echo "farm, picocom and the holder's log: all checks passed"
exit $((failures != 0))
