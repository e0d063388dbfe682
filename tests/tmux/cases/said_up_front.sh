# Said up front, in the real terminal at 80x24: the configuration's
# problems before the menu, each where it stands; the menu's own rows as
# they stand, with Ctrl-R and the help key named below them; F1's list of
# every key; --check-config for the same file.

mkdir -p "$work/bad"
cp "$work/qb7uart-sim" "$work/bad/"
printf '#COMMODE fast\n#F8 "version CR\n#F9 "help" CRR\n#F13 $3\n#F10 $300 W5x0\n' > "$work/bad/Qb7_Uart.cfg"
echo "cd bad && exec ./qb7uart-sim" > "$work/bad.sh"
keep_list=1 start "sh bad.sh" tmux-256color 80 24
if wait_for "Config file: 6 problems, listed above" 5; then
  located=$(screen_text | grep -c "^Qb7_Uart.cfg:[0-9]*:[0-9]*: #")
  [ "$located" = 6 ] && pass "start-up: six problems listed, each with its line, column and slot" ||
    fail "start-up: $located located problems: $(screen_text | head -8)"
  screen_text | grep -qF "Qb7_Uart.cfg:3:12: #F9: unknown word CRR" &&
    pass "start-up: the macro's unknown word is named where it stands" || fail "start-up: CRR not located"
else
  fail "start-up: no list of the configuration's problems"; screen_text | head -8
fi
T send-keys -t qb x
if wait_for "<Q> Quit" 3; then
  # The menu's own rows, to the character.
  cat > "$work/menu.txt" <<'MENU'
QB7 UART IO port 0x352:
------------------------           ST1

 <0> UART352 <-> VSC7420           ---  5-pins J27 <-> DK22N Console
                                   JP1  5-pins J27 <-> DK22N Console
                                   JP2  5-pins J27 <-> DK22S Console
                                   1+2  5-pins J27 <-> VSC   Console

 <1> UART352 <-> DK22N Console     XXX  5-pins J27 <-> VSC7420
 <2> UART352 <-> 5-pins J27        XXX  5-pins J27 <-> UART352
 <3> UART352 <-> DK22S Console     XXX  5-pins J27 <-> DK22N Console
 <4> UART352 <-> VSC7420           XXX  5-pins J27 <-> DK22N Console
 <5> UART352 <-> VSC7420           XXX  5-pins J27 <-> DK22S Console

 <R> Reset VSC7420                 <Q> Quit
MENU
  screen_text | head -15 | sed 's/ *$//' > "$work/menu-shown.txt"
  if diff -q "$work/menu.txt" "$work/menu-shown.txt" >/dev/null; then
    pass "menu: its own rows as they stand"
  else
    fail "menu: rows changed: $(diff "$work/menu.txt" "$work/menu-shown.txt" | head -4 | tr '\n' '|')"
  fi
  screen_text | grep -qF "Ctrl-R  the VSC7420's session, then its reset" && screen_text | grep -qF "F1 or ?  every key" &&
    pass "menu: Ctrl-R and the help key named below it" || fail "menu: Ctrl-R not named: $(screen_text | tail -7)"
else
  fail "start-up: the list's key did not bring the menu"
fi
T send-keys -t qb F1
if wait_for "In the history" 3; then
  for told in "Ctrl-R   route 0, then the VSC7420's reset" "Ctrl-Z  sends Ctrl-C" "Ctrl-C    ends the program" "q, Esc  back to live"; do
    screen_text | grep -qF -- "$told" || fail "F1: '$told' not told"
  done
  pass "F1 in the menu: every key of the menu, the session and the history"
else
  fail "F1 in the menu showed no keys: $(screen_text | head -5)"
fi
T send-keys -t qb x
wait_for "<Q> Quit" 3 && pass "F1's list: a key goes back to the menu" || fail "F1's list did not go back"
T send-keys -t qb q
st=$(finished)
[ "$st" = 0 ] && pass "said up front: q status 0" || fail "said up front: status $st"

# The same problems from the command line, for a lab's CI.
(cd "$work" && ./qb7uart-sim --check-config bad/Qb7_Uart.cfg > check.txt 2>&1)
rc=$?
[ "$rc" = 1 ] && [ "$(grep -c '^bad/Qb7_Uart.cfg:[0-9]*:[0-9]*: #' "$work/check.txt")" = 6 ] &&
  pass "--check-config: the six problems, status 1" || fail "--check-config: status $rc: $(cat "$work/check.txt")"

# --- A far end at 9600 against the UART's 115200, at 80x24: the first
# framing error says the cause and the remedy; the counts stay in view; b
# in the history, then 1, makes the line readable with no restart, and
# neither key reaches the far end, which records what it gets.
rm -f "$work/go" "$work/burst"
cat > "$work/slow_far.sh" <<'FAR'
# What reaches this end is kept (stdin made explicit: a job in the
# background of a script reads /dev/null otherwise).
cat > far.bin <&0 &
# The burst once the session is open (a UART not yet enabled lets the
# bytes go by).
while [ ! -e burst ]; do sleep 0.1; done
yes "garbled at 9600" | head -c 2500
# Then, once the test has set the speed, one line more.
while [ ! -e go ]; do sleep 0.1; done
printf 'readable now\r\n'
sleep 600
FAR
echo "exec ./qb7uart-sim --line-baud 9600 --report report-slow.txt --attach '2=sh slow_far.sh'" > "$work/slow.sh"
start "sh slow.sh" tmux-256color 80 24
open_session 2 "with a far end at 9600"
touch "$work/burst"
if wait_for "UartRcvStr Framing Error: far end not at 115200? #COMMODE, or b in history" 5; then
  pass "wrong speed: the first framing error names the cause and the remedy"
else
  fail "wrong speed: no hint with its remedy: $(screen_text | tail -2)"
fi
# The burst lasts about 2.6 s: its message lines answered as they come.
for i in $(seq 1 60); do
  screen_text | grep -q "UartRcvStr" && T send-keys -t qb x
  sleep 0.1
done
screen_text | head -1 | grep -qE "rx [0-9.KM]+ f[0-9]+ o[0-9]+ *$" &&
  pass "wrong speed: the counts in view at 80x24, the status line gone" ||
  fail "wrong speed: no counts at the top right: $(screen_text | head -1)"
T send-keys -t qb S-PPage
wait_for "rows back" 3 || fail "wrong speed: Shift-PgUp did not go into the history"
# x: the garbage as the bytes that came, each dump line the raw file's.
T send-keys -t qb x
if wait_for "Term.raw " 3; then
  line=$(screen_text | grep -m1 -E '^[0-9A-F]{8}[ !] ')
  off=$((16#${line:0:8}))
  shown=$(echo "${line:10:49}" | tr -s ' ' | sed 's/^ //; s/ $//')
  want=$(od -An -tx1 -v -j "$off" -N 16 "$work/Term.raw" | tr 'a-f' 'A-F' | tr -s ' ' | sed 's/^ //; s/ $//')
  [ -n "$shown" ] && [ "$shown" = "$want" ] && pass "wrong speed: x shows the bytes that came, as Term.raw holds them" ||
    fail "wrong speed: x showed '$shown' at $off, Term.raw holds '$want'"
  screen_text | grep -qE '^[0-9A-F]{8}! ' && pass "wrong speed: the dump marks where framing errors came" ||
    fail "wrong speed: no line of the dump marked: $(screen_text | tail -1)"
else
  fail "wrong speed: x showed no dump: $(screen_text | tail -1)"
fi
T send-keys -t qb Escape
wait_for "rows back" 3 || fail "wrong speed: a key did not bring the history back from the dump"
T send-keys -t qb b
wait_for "Speed:  1 9600" 3 || fail "wrong speed: b offered no speeds: $(screen_text | tail -1)"
T send-keys -t qb 1
wait_for "<SF2>Exit  Baud: 9600" 3 && pass "wrong speed: b then 1 sets 9600, said by a status line of its own" ||
  fail "wrong speed: the speed was not set: $(screen_text | tail -1)"
touch "$work/go"
if wait_for "readable now" 5; then
  pass "wrong speed: what comes next is readable, with no restart"
else
  fail "wrong speed: the line is still unreadable: $(screen_text | tail -3)"
fi
grep -q "speed: 9600 baud, was 115200" "$work/Term.times" && pass "wrong speed: Term.times records the new speed" ||
  fail "wrong speed: no speed event in Term.times"
leave_and_quit "after the speed change"
[ -s "$work/far.bin" ] && fail "wrong speed: the far end got keys: $(od -c "$work/far.bin" | head -2)" ||
  pass "wrong speed: neither b nor 1 reached the far end"

# --- The whole window used: at 200x50 the rows above the live screen show
# the history's latest rows, marked as such; the live screen keeps its place
# at the bottom, the counts below it.
# The far end speaks once the session is open (a UART not yet enabled lets
# the bytes go by).
rm -f "$work/go"
printf 'while [ ! -e go ]; do sleep 0.1; done\nseq -f "numbered %%g" 1 100\nexec sleep 600\n' > "$work/tall_far.sh"
echo "exec ./qb7uart-sim --attach '2=sh tall_far.sh'" > "$work/tall.sh"
start "sh tall.sh" tmux-256color 200 50
open_session 2 "in a window of 200x50"
touch "$work/go"
if wait_for "numbered 100" 5; then
  # The window as it stands once the last frame is drawn whole (a capture
  # can meet a redraw half done): the counts' row filled in.
  for i in $(seq 1 50); do
    shown=$(screen_text)
    echo "$shown" | sed -n 50p | grep -q "received" && echo "$shown" | head -1 | grep -q "^numbered 52 " && break
    sleep 0.1
  done
  row_of() { echo "$shown" | grep -n "^$1 *\$\|^$1 " | head -1 | cut -d: -f1; }
  top=$(echo "$shown" | head -1)
  last=$(row_of "numbered 100")
  echo "$top" | grep -q "history above the live screen" && pass "200x50: the rows above the screen are marked as history" ||
    fail "200x50: no mark over the history's rows: $top"
  # 100 lines after the status line's three rows: the rows that left the
  # screen, the last 24 of them (numbered 52..75) above it; numbered 100 on
  # the screen's last row (window row 49 of 50), the counts on row 50.
  echo "$top" | grep -q "^numbered 52 " && [ "$last" = 49 ] &&
    pass "200x50: the history's latest rows above, the live screen at the bottom" ||
    fail "200x50: top '$(echo "$top" | cut -c1-30)', numbered 100 on row $last"
  echo "$shown" | sed -n 50p | grep -qE "received [0-9]+ bytes   framing errors 0" && pass "200x50: the counts on the row below the screen" ||
    fail "200x50: row 50: $(echo "$shown" | sed -n 50p | cut -c1-60)"
else
  fail "200x50: the lines did not come"
fi
leave_and_quit "after the window of 200x50"
