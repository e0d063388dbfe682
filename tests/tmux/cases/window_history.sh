# Every window size, and the history scrolled back over a streaming session.

# --- Every window size works: at 80x24 (every emulator's and tmux's
# first size) the menu, a session full of text, a message line and the help
# list are all seen; at 60x20 the view follows the cursor; below 40x6 a
# notice, and a key typed meanwhile is held, not acted on blind.
rm -f "$work/report.txt"
start "./qb7uart-sim --report report.txt"
T resize-window -t qb -x 80 -y 24
wait_for "<Q> Quit" && pass "80x24: the menu is seen whole" || fail "80x24: menu not seen"
if T capture-pane -p -t qb | grep -q "needs a"; then fail "80x24: a notice instead of the program"; fi
T send-keys -t qb 0
wait_for "<SF2>Exit" || fail "80x24: no session"
T send-keys -t qb F5
# A machine that held the program off longer than the FIFO lasts brings a
# loss message; await_line answers it, and the report says whose it was.
if await_line "vsc7420# *"; then
  loss_message="$message"
  if wait_for "00000063 " 1 || [ -n "$message" ]; then
    pass "80x24: a screen full of text, the row being written in sight"
  else
    fail "80x24: the last rows of the text not in sight"
  fi
else
  fail "80x24: the end of the text not in sight${message:+ ($message)}"
fi
T send-keys -t qb F11
if wait_for "Cmd:?"; then
  pass "80x24: a message line on row 24 is seen"
  T send-keys -t qb x
  for i in $(seq 1 30); do T capture-pane -p -t qb | grep -q "Cmd:?" || break; sleep 0.1; done
  T capture-pane -p -t qb | grep -q "Cmd:?" && fail "80x24: the message did not take its key" || pass "80x24: the message takes its key"
else
  fail "80x24: the message line is not seen"
fi
T send-keys -t qb S-F1
wait_for "$(sed -n '/^#HELP/{n;p;q}' "$work/Qb7_Uart.cfg" | cut -c1-20)" && pass "80x24: the help list is seen" || fail "80x24: the help list is not seen"
leave_and_quit "at 80x24"
if [ -n "${loss_message:-}" ]; then
  machine_lost "$work/report.txt" "80x24: the pattern ($loss_message)" ||
    fail "80x24: $loss_message: $(tr '\n' ' ' < "$work/report.txt")"
fi

start ./qb7uart-sim
T resize-window -t qb -x 60 -y 20
wait_for "QB7 UART IO port" || fail "60x20: no menu"
T send-keys -t qb 2
wait_for "CON-5Pins Console" && pass "60x20: the session opens in sight" || fail "60x20: no session seen"
leave_and_quit "at 60x20"

start ./qb7uart-sim
wait_for "<Q> Quit" || fail "menu not shown before the resize"
T resize-window -t qb -x 30 -y 5
wait_for "needs a window" && pass "30x5: a notice" || fail "30x5: no notice"
T send-keys -t qb q
sleep 1
[ -s "$work/status" ] && fail "30x5: q acted while nothing could be seen" || pass "30x5: a key typed while nothing is seen is not acted on"
T resize-window -t qb -x 80 -y 25
st=$(finished)
[ "$st" = 0 ] && pass "the held key acts once the screen is seen again" || fail "after the resize: status $st"

# --- The history: over a session that keeps streaming, Shift-PgUp and the
# wheel (the terminal's mouse report) scroll back to older rows, a key
# returns to the live screen and is acted on, and the log is complete.
seq 1 800 > "$work/expected-history.txt"
cat > "$work/history.sh" <<'SH'
exec ./qb7uart-sim --attach '2=sleep 2; i=0; while [ $i -lt 800 ]; do i=$((i+1)); echo $i; sleep 0.005; done; exec cat > far.bin'
SH
rm -f "$work/far.bin"
start "sh history.sh"
open_session 2 "before the history"
for i in $(seq 1 100); do T capture-pane -p -t qb | grep -qx "200" && break; sleep 0.1; done
T send-keys -t qb S-PPage
if wait_for "rows back" 3; then pass "Shift-PgUp scrolls the view back while the line streams"; else fail "Shift-PgUp: no history view"; fi
back() { T capture-pane -p -t qb | sed -n 's/.*history: \([0-9]*\) rows back.*/\1/p' | head -1; }
before=$(back)
T send-keys -t qb -H 1b 5b 3c 36 34 3b 31 30 3b 31 30 4d
sleep 0.5
after=$(back)
[ -n "$before" ] && [ -n "$after" ] && [ "$after" -ge $((before + 3)) ] && pass "a wheel notch scrolls further back" || fail "the wheel did not scroll ($before, then $after)"
older=$(T capture-pane -p -t qb | sed -n 3p | tr -d ' ')
[ -n "$older" ] && [ "$older" -lt 800 ] 2>/dev/null && pass "older rows are read on the pane ($older)" || fail "no older row on the pane: '$older'"
sleep 1
# The view stays on the rows it shows while new ones arrive.
[ "$(T capture-pane -p -t qb | sed -n 3p | tr -d ' ')" = "$older" ] && pass "the view holds still while rows arrive" || fail "the view moved: $(T capture-pane -p -t qb | sed -n 3p)"
live_again() {
  for i in $(seq 1 30); do T capture-pane -p -t qb | grep -q "history:" || return 0; sleep 0.1; done
  return 1
}
# q and Esc leave the history and are never sent (a shell on the far end
# would run them as a command).
T send-keys -t qb q
live_again && pass "q leaves the history" || fail "q did not leave the history"
T send-keys -t qb S-PPage
wait_for "rows back" 3 || fail "Shift-PgUp again: no history view"
T send-keys -t qb Escape
live_again && pass "Esc leaves the history" || fail "Esc did not leave the history"
T send-keys -t qb S-PPage
wait_for "rows back" 3 || fail "Shift-PgUp a third time: no history view"
T send-keys -t qb k
live_again && pass "a key returns to the live screen" || fail "a key did not return to the live screen"
wait_for "800" 20 || fail "the stream did not end on the screen"
sleep 0.5
[ "$(cat "$work/far.bin" 2>/dev/null)" = "k" ] && pass "q and Esc reached nothing; the key that returned to the live screen reached the board" || fail "far end got '$(od -c "$work/far.bin" 2>/dev/null | head -2)'"
leave_and_quit "after the history"
tr -d '\r' < "$work/Term.txt" | cmp -s - "$work/expected-history.txt" && pass "Term.txt complete after scrolling back" || fail "Term.txt incomplete after scrolling back"


# --- kitty's default size, 71x22: after a burst of numbered lines the view
# shows column 1, where the numbers are, on every row.
# A machine that held the program off longer than the FIFO lasts puts a
# loss message on row 24, its cursor past column 71; it is answered, and the
# held text then follows, ending on column 1.
echo "exec ./qb7uart-sim --report report.txt --attach '2=sleep 1; seq 1 3000; exec cat >/dev/null'" > "$work/burst.sh"
rm -f "$work/report.txt"
start "sh burst.sh" tmux-256color 71 22
open_session 2 "at 71x22"
await_line "3000 *.?" 15 || fail "71x22: the burst did not end: ${message:-no message}"
sleep 0.3
rows=$(screen_text | grep -cE '^[0-9]+ *.?$')
[ "$rows" -ge 18 ] && pass "71x22: after a burst the line numbers are in sight on $rows rows" ||
  fail "71x22: line numbers on $rows rows: $(screen_text | head -3 | tr '\n' '|')"
leave_and_quit "at 71x22"
