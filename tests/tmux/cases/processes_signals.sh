# Signals, refusals before the screen is touched, GP.EXE as a job, the
# simulator's own options.

# --- Signals in the middle of a session while the far end is sending.
for sig in TERM HUP INT; do
  rm -f "$work/report.txt"
  start "./qb7uart-sim --report report.txt"
  open_session 1 "before SIG$sig"
  T send-keys -t qb -l "pattern 400000"
  T send-keys -t qb Enter
  sleep 1.5
  kill -s "$sig" "$(cat "$work/pid")"
  st=$(finished)
  case $sig in TERM) want=143 ;; HUP) want=129 ;; INT) want=130 ;; esac
  [ "$st" = "$want" ] && pass "SIG$sig ends the program (status $st)" || fail "SIG$sig gave status $st"
  check_sane "after SIG$sig"
  if n=$("$build/tests/logcheck" "$work/Term.txt" 'pattern 400000\r\n') && [ "$n" -gt 1000 ]; then
    pass "SIG$sig: Term.txt holds the $n pattern bytes received, in order"
  elif ! machine_lost "$work/report.txt" "SIG$sig"; then
    fail "SIG$sig: Term.txt is not a clean prefix of the pattern: $(tr '\n' ' ' < "$work/report.txt" 2>/dev/null)"
  fi
  grep -q "^overflows by the program: " "$work/report.txt" 2>/dev/null &&
    pass "SIG$sig: the simulator wrote its report" || fail "SIG$sig: no report written"
done

# --- SIGTSTP stops the program only once the terminal is back as it was
# found, every time: keypad-transmit and mouse reports are off while it is
# stopped, on again once it is continued.
start ./qb7uart-sim
open_session 2 "before the stops"
pid=$(program_pid)
state() { awk '{ print $3 }' "/proc/$pid/stat"; }
clean=0 stopped=0
for i in $(seq 1 50); do
  kill -TSTP "$pid"
  for j in $(seq 1 100); do [ "$(state)" = T ] && break; sleep 0.01; done
  [ "$(state)" = T ] && stopped=$((stopped + 1))
  sleep 0.05  # tmux reads what the program wrote before it stopped
  modes=$(terminal_modes)
  if [ "$modes" = "0000" ]; then clean=$((clean + 1)); else echo "stop $i: modes '$modes' while stopped"; fi
  kill -CONT "$pid"
  for j in $(seq 1 100); do [ "$(terminal_modes)" != "0000" ] && break; sleep 0.01; done
done
[ "$stopped" = 50 ] && [ "$clean" = 50 ] && pass "50 stops: each with the terminal as it was found" ||
  fail "stops: $stopped of 50 stopped, $clean with the modes off"
[ "$(terminal_modes)" = "1111" ] && pass "continued: the modes are on again" || fail "after the stops: modes '$(terminal_modes)'"
leave_and_quit "after the stops"

# --- Ctrl-C in a session ends the program at once.
start ./qb7uart-sim
open_session 2 "before Ctrl-C"
T send-keys -t qb C-c
st=$(finished)
[ "$st" = 130 ] && pass "Ctrl-C ends the program" || fail "Ctrl-C gave status $st"
check_sane "after Ctrl-C"

# --- The hardware binary refuses clearly when it cannot reach the ports,
# and names the remedy that can help: no "run as root" to root.
err=$("$work/qb7uart" 2>&1 >/dev/null </dev/null)
st=$?
if [ $st -eq 1 ] && echo "$err" | grep -q "0x352"; then
  if [ "$(id -u)" = 0 ] && echo "$err" | grep -q "as root"; then
    fail "qb7uart refusal tells root to run as root: '$err'"
  else
    pass "qb7uart without port access: one clear line, status 1"
  fi
elif [ -e /dev/port ]; then
  echo "skip: this machine grants port access; the refusal cannot be seen here"
else
  fail "qb7uart refusal: status $st, '$err'"
fi

# --- Refusals before the screen is touched: one line, status 1.
refuse() {
  local what=$1 cmd=$2 term=$3 text=$4
  start "$cmd" "$term"
  st=$(finished)
  if [ "$st" = 1 ] && T capture-pane -p -t qb | grep -qF -- "$text"; then
    pass "$what: refused with status 1"
  else
    fail "$what: status $st"; T capture-pane -p -t qb | head -5
  fi
  check_sane "$what"
}
refuse "standard output redirected" "./qb7uart-sim > out.txt" tmux-256color "standard output is not a terminal"
refuse "standard input from /dev/null" "./qb7uart-sim < /dev/null" tmux-256color "standard input is not a terminal"
refuse "TERM=dumb" "./qb7uart-sim" dumb "cannot position the cursor"
# Too little memory or too few descriptors to set the terminal up: the
# cause named on one line, the terminal as it was.
if grep -q __asan_init "$work/qb7uart-sim"; then
  echo "skip: too little memory, too few descriptors: a sanitized build reserves memory and descriptors of its own"
else
  echo 'ulimit -v 12000; exec ./qb7uart-sim' > "$work/lowmem.sh"
  refuse "too little memory" "sh lowmem.sh" tmux-256color "qb7uart-sim: out of memory while setting up the terminal"
  echo 'ulimit -n 5; exec ./qb7uart-sim' > "$work/lowfd.sh"
  refuse "too few descriptors" "sh lowfd.sh" tmux-256color "qb7uart: too many open files"
fi

# --- GP.EXE inherits no capability, no descriptor of the program and no
# real-time scheduling; Ctrl-Z there leaves nothing hanging, and Ctrl-C
# ends it and brings the session back.
start ./qb7uart-sim
open_session 2 "before GP.EXE"
# Where this machine grants real-time priority, the program takes it.
if chrt -f 10 true 2>/dev/null; then
  policy=$(chrt -p "$(cat "$work/pid")")
  echo "$policy" | grep -q SCHED_FIFO && pass "the program thread runs under SCHED_FIFO" || fail "no SCHED_FIFO where it is granted: $policy"
else
  echo "skip: real-time priority is not granted here"
fi
grep -q '^CapEff:.0000000000000000$' "/proc/$(cat "$work/pid")/status" && pass "the program holds no capability" || fail "the program kept capabilities"
T send-keys -t qb F12
if wait_for "GP.EXE running"; then
  if grep '^Cap' "$work/inherited.txt" | grep -qv '0000000000000000$'; then
    fail "GP.EXE inherited capabilities: $(grep '^Cap' "$work/inherited.txt" | tr '\n' ' ')"
  else
    pass "GP.EXE holds no capability"
  fi
  # The terminal is GP.EXE's to use (the shell keeps copies of it); any
  # other descriptor would be the program's: the log, a pipe, a pty.
  fds=$(grep -- '->' "$work/inherited.txt" | grep -vE -- '-> (/dev/pts/[0-9]+|.*/inherited.txt|.*/GP.EXE)$')
  [ -z "$fds" ] && pass "GP.EXE inherits no descriptor of the program" || fail "GP.EXE inherited: $fds"
  grep -q "SCHED_OTHER" "$work/inherited.txt" && pass "GP.EXE runs at normal scheduling" || fail "GP.EXE scheduling: $(grep policy "$work/inherited.txt")"
  T send-keys -t qb C-z
  sleep 0.5
  T send-keys -t qb C-c
  wait_for "<SF2>Exit" && pass "Ctrl-Z then Ctrl-C during GP.EXE returns to the session" || fail "the session did not come back after Ctrl-Z, Ctrl-C"
else
  fail "GP.EXE did not run"
fi
leave_and_quit "after GP.EXE"
check_sane "after GP.EXE"

# --- SIGTERM while GP.EXE runs ends both, the terminal sane.
start ./qb7uart-sim
open_session 2 "before GP.EXE and SIGTERM"
T send-keys -t qb F12
wait_for "GP.EXE running" || fail "GP.EXE did not run before SIGTERM"
kill -TERM "$(cat "$work/pid")"
st=$(finished)
[ "$st" = 143 ] && pass "SIGTERM during GP.EXE ends the program (status 143)" || fail "SIGTERM during GP.EXE: status $st"
if pgrep -f "sleep 555" >/dev/null; then fail "GP.EXE still runs after SIGTERM"; pkill -f "sleep 555"; else pass "GP.EXE ended with the program"; fi
check_sane "after SIGTERM during GP.EXE"

# --- A far end that cannot start is told before the screen opens.
start "./qb7uart-sim --attach 2=/nonexistent 2> err.txt"
st=$(finished)
if [ "$st" = 2 ] && grep -q "attach 2=/nonexistent: cannot start: /nonexistent: not found" "$work/err.txt"; then
  pass "--attach of a missing program: one line, status 2"
else
  fail "--attach 2=/nonexistent: status $st, '$(cat "$work/err.txt")'"
fi

# --- qb7uart-sim's own options.
"$work/qb7uart-sim" --bogus >/dev/null 2>&1; st=$?
[ $st -eq 2 ] && pass "unknown option: status 2" || fail "unknown option gave $st"
"$work/qb7uart-sim" --help | grep -q -- "--attach ROUTE=COMMAND" && pass "--help explains the options" || fail "--help"

