# The board as it is on the bench: not there, gone for a while, held by
# another copy of the program.

# --- No board at all: one clear line, no garbage, nothing logged, and
# Shift-F2 and q at once.
start "./qb7uart-sim --no-board"
open_session 2 "with no board"
if wait_for "No answer from the QB7 board at 0x352 (every register reads 0xFF): is it seated" 3; then
  pass "no board: the session names it"
else
  fail "no board: not named"; screen_text | head -6
fi
screen_text | grep -q "ÿ" && fail "no board: garbage on the screen" || pass "no board: no garbage on the screen"
T send-keys -t qb x
sleep 0.3
t0=$(date +%s%N)
T send-keys -t qb S-F2
wait_for "<Q> Quit" 2 && pass "no board: Shift-F2 answers at once ($(( ($(date +%s%N) - t0) / 1000000 )) ms)" ||
  fail "no board: Shift-F2 did not answer"
T send-keys -t qb q
st=$(finished)
[ "$st" = 0 ] && pass "no board: q status 0" || fail "no board: status $st"
[ ! -s "$work/Term.txt" ] && pass "no board: Term.txt holds nothing of it" ||
  fail "no board: Term.txt holds $(od -An -tx1 "$work/Term.txt" | head -2)"

# --- A power cycle during a session: the board gone from 3 s to 5 s after
# start, then the VSC7420 booting again; the session is told both times and
# works on.
start "./qb7uart-sim --board-off 3:5"
open_session 0 "before the power cycle"
wait_for "No answer from the QB7 board" 5 && pass "power cycle: the board's absence is told" || fail "power cycle: absence not told"
wait_for "The QB7 board at 0x352 answers again" 5 && pass "power cycle: its return is told" || fail "power cycle: return not told"
T send-keys -t qb -l "version"
T send-keys -t qb Enter
wait_for "VSC7420" 5 && pass "power cycle: the session works again" || fail "power cycle: no answer after it"
leave_and_quit "after the power cycle"
grep -q $'\xff' "$work/Term.txt" && fail "power cycle: 0xFF bytes in Term.txt" || pass "power cycle: no 0xFF in Term.txt"

# --- One copy per board: a second hardware binary refuses while the board's
# lock is held, naming the holder; after the holder is killed with SIGKILL
# the lock is free (and the binary goes on to the ports, which this machine
# does not grant).
lock=/run/lock/qb7uart-0x352.lock
[ -d /run/lock ] || lock=/tmp/qb7uart-0x352.lock
if command -v flock >/dev/null; then
  flock -o "$lock" sleep 60 &
  holder=$!
  sleep 0.3
  err=$("$work/qb7uart" 2>&1 </dev/null)
  st=$?
  if [ $st = 1 ] && echo "$err" | grep -q "the QB7 board at 0x352 is in use by process $holder (flock on "; then
    pass "a second copy on the board is refused, naming the first: $err"
  else
    fail "second copy: status $st, '$err'"
  fi
  kill -9 "$holder"
  wait "$holder" 2>/dev/null
  pkill -f "^sleep 60$" 2>/dev/null
  err=$("$work/qb7uart" 2>&1 </dev/null)
  echo "$err" | grep -q "in use by" && fail "after SIGKILL of the holder the lock is still held: $err" ||
    pass "after SIGKILL of the holder the next copy gets past the lock: $err"
else
  skip "one copy per board: no flock command"
fi

# --- Two simulators in one folder: the second refuses, naming the first.
start ./qb7uart-sim
wait_for "<Q> Quit" || fail "no menu for the first simulator"
first=$(program_pid)
err=$(cd "$work" && ./qb7uart-sim 2>&1 </dev/null)
st=$?
[ $st = 1 ] && echo "$err" | grep -q "the logs in $work are in use by process $first (qb7uart-sim on /dev/pts/" &&
  pass "a second simulator in the folder is refused: $err" || fail "second simulator: status $st, '$err'"
T send-keys -t qb q
finished >/dev/null
