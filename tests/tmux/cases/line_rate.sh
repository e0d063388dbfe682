# At line rate: a terminal that stops reading, a far end at the wrong speed.

# --- A terminal that stops reading holds up only the front end: with the
# tmux server stopped three times for 5 s while J27 streams at 115200, the
# log still holds every byte, in order.
seq 1 40000 > "$work/expected.txt"
echo "exec ./qb7uart-sim --report report.txt --attach '2=sleep 1; seq 1 40000; sleep 600'" > "$work/stall.sh"
rm -f "$work/report.txt"
start "sh stall.sh"
open_session 2 "before the stall"
server=$(T display-message -p '#{pid}')
sleep 2
for stop in 1 2 3; do
  kill -STOP "$server"; sleep 5; kill -CONT "$server"; sleep 1
done
# A message line (an overflow) is answered; the held text then follows.
await_line "40000" 40 || fail "the stream did not reach its end on the screen"
leave_and_quit "after the stall"
if cmp -s "$work/expected.txt" "$work/Term.txt"; then
  pass "stopped terminal: Term.txt holds all $(wc -c < "$work/expected.txt") bytes in order"
elif ! machine_lost "$work/report.txt" "stopped terminal"; then
  fail "stopped terminal: Term.txt differs ($(wc -c < "$work/Term.txt") of $(wc -c < "$work/expected.txt") bytes; ${message:-no message}; $(tr '\n' ' ' < "$work/report.txt"))"
fi
check_sane "after the stall"

# --- A far end at another speed than the program's, talking without end:
# a message after every look, yet one key dismisses it and Shift-F2, pressed
# at human speed, is back at the menu within a second.
echo "exec ./qb7uart-sim --line-baud 9600 --attach '2=yes 0123456789'" > "$work/wrong.sh"
start "sh wrong.sh"
open_session 2 "with a far end at the wrong speed"
if wait_for "UartRcvStr Framing Error" 5; then
  T send-keys -t qb x
  sleep 0.5
  T send-keys -t qb S-F2
  if wait_for "<Q> Quit" 1; then pass "wrong speed: Shift-F2 leaves the session within a second"; else fail "wrong speed: trapped in the session"; fi
else
  fail "wrong speed: no framing error shown"
fi
T send-keys -t qb q
st=$(finished)
[ "$st" = 0 ] && pass "wrong speed: q status 0" || fail "wrong speed: status $st"


# --- GP.EXE run again and again while J27 streams at 115200: the looks at
# the FIFO go on while it runs, so no run costs a byte.
mkdir -p "$work/quick"
cp "$work/qb7uart-sim" "$work/quick/"
printf '#F12\nGP.EXE\nGP.EXE\n' > "$work/quick/Qb7_Uart.cfg"
printf '#!/bin/sh\nexit 0\n' > "$work/quick/GP.EXE"
chmod +x "$work/quick/GP.EXE"
seq 1 20000 > "$work/quick/expected.txt"
echo "cd quick && exec ./qb7uart-sim --report report.txt --attach '2=sleep 1; seq 1 20000; sleep 600'" > "$work/quick.sh"
start "sh quick.sh"
open_session 2 "before GP.EXE at line rate"
for i in $(seq 1 40); do T send-keys -t qb F12; sleep 0.2; done
await_line "20000" 20 || fail "GP.EXE at line rate: the stream did not reach its end on the screen"
leave_and_quit "after GP.EXE at line rate"
if cmp -s "$work/quick/expected.txt" "$work/quick/Term.txt"; then
  pass "40 runs of GP.EXE while J27 streams: Term.txt holds every byte in order"
elif ! machine_lost "$work/quick/report.txt" "GP.EXE at line rate"; then
  fail "GP.EXE at line rate: Term.txt differs ($(wc -c < "$work/quick/Term.txt") of $(wc -c < "$work/quick/expected.txt") bytes; $(tr '\n' ' ' < "$work/quick/report.txt"))"
fi
