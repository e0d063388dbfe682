# Keys and colours through the real terminal: the menu read back, keys
# decoded under three terminal types, a coloured reply, a paste.

# --- The menu, read back, then q.
start ./qb7uart-sim
if wait_for "<R> Reset VSC7420"; then
  screen=$(T capture-pane -p -t qb)
  expected=" <3> UART352 <-> DK22S Console     XXX  5-pins J27 <-> DK22N Console"
  if [ "$(echo "$screen" | sed -n 11p)" = "$expected" ] && [ "$(echo "$screen" | sed -n 1p)" = "QB7 UART IO port 0x352:" ]; then
    pass "menu rows read back"
  else
    fail "menu rows differ"; echo "$screen" | head -16
  fi
else
  fail "menu not shown"
fi
T send-keys -t qb q
st=$(finished)
[ "$st" = 0 ] && pass "q exits with status 0" || fail "q gave status $st"
check_sane "after q"

# --- Keys through the real front end, under two terminal types.
for term in tmux-256color screen xterm-256color; do
  start ./keyprobe "$term"
  wait_for "keyprobe ready" || fail "keyprobe did not start under $term"
  for k in F1 S-F3 C-Up Home M-x M-1 F12 C-F1 BTab DC BSpace C-z; do
    T send-keys -t qb "$k"
    sleep 0.15
  done
  sleep 0.3
  got=$(T capture-pane -p -t qb | grep '^key:' | tr '\n' '|')
  want="key: 255 59|key: 255 86|key: 255 141|key: 255 71|key: 255 45|key: 255 120|key: 255 134|key: 255 94|key: 255 15|key: 255 83|key: 8|key: 26|"
  [ "$got" = "$want" ] && pass "keys decode under TERM=$term" || fail "keys under TERM=$term: $got"
  T send-keys -t qb q
  st=$(finished)
  [ "$st" = 0 ] || fail "keyprobe status $st under $term"
done

# --- A session: route 0, a macro in colour, Shift-F2, q, and the log.
start ./qb7uart-sim
open_session 0 "for the session"
flags=$(T display-message -p -t qb '#{keypad_cursor_flag}#{mouse_any_flag}#{mouse_sgr_flag}')
[ "$flags" = "111" ] && pass "keypad-transmit and mouse reports on while the program holds the terminal" || fail "modes while running: '$flags'"
T send-keys -t qb F3
if wait_for "9    sfp"; then
  colours=$(T capture-pane -p -e -t qb)
  # "up" in bright green (92), "down" in bright red (91).
  if echo "$colours" | grep -q $'\e\[92mup' && echo "$colours" | grep -q $'\e\[91mdown'; then
    pass "the coloured reply is drawn in colour"
  else
    fail "reply colours not seen"; echo "$colours" | cat -v | sed -n 4,10p
  fi
else
  fail "reply of F3 not shown"
fi
leave_and_quit "a coloured reply"
if grep -q "9    sfp" "$work/Term.txt" && ! grep -q $'\e' "$work/Term.txt"; then
  pass "Term.txt holds the reply without escape sequences"
else
  fail "Term.txt lacks the reply"; cat -v "$work/Term.txt" | head
fi
check_sane "after a session"

# --- A bracketed paste of 2,000 bytes that meets a message line reaches
# the board whole and in order (one byte per 10 ms: 20 s), recorded by the
# far end: the message takes no pasted byte for its key, only the key typed.
for i in $(seq 1 50); do printf 'line %03d of the paste: the quick brown fox\n' "$i"; done | head -c 2000 > "$work/paste.txt"
tr '\n' '\r' < "$work/paste.txt" > "$work/paste-expected.bin"
rm -f "$work/far.bin"
echo "exec ./qb7uart-sim --attach '2=tee far.bin'" > "$work/paste.sh"
start "sh paste.sh"
open_session 2 "before the paste"
T send-keys -t qb F11
wait_for "Cmd:?" || fail "no message line before the paste"
T load-buffer -b paste "$work/paste.txt"
T paste-buffer -p -b paste -t qb
sleep 1
wait_for "Cmd:?" 1 && pass "a paste does not answer a message line" || fail "the paste answered the message line"
T send-keys -t qb x
for i in $(seq 1 400); do
  [ "$(stat -c %s "$work/far.bin" 2>/dev/null || echo 0)" -ge 2000 ] && break
  sleep 0.1
done
sleep 0.5
if cmp -s "$work/paste-expected.bin" "$work/far.bin"; then
  pass "a 2000-byte paste that met a message line reaches the board whole and in order"
else
  fail "the paste reached the board as $(stat -c %s "$work/far.bin" 2>/dev/null) bytes, not as pasted"
fi
leave_and_quit "after the paste"

# --- Shift-F2 during a long paste (100 KB: 17 minutes of sending) leaves at
# once and drops the rest, saying how much.
head -c 100000 /dev/zero | tr '\0' 'p' > "$work/long-paste.txt"
rm -f "$work/far.bin"
start "sh paste.sh"
open_session 2 "before the long paste"
T load-buffer -b long "$work/long-paste.txt"
T paste-buffer -p -b long -t qb
sleep 1
T send-keys -t qb S-F2
if wait_for "<Q> Quit" 2; then pass "Shift-F2 leaves at once during a long paste"; else fail "Shift-F2 waited behind the paste"; fi
if wait_for "Paste stopped: " 2; then
  notsent=$(screen_text | sed -n 's/.*Paste stopped: \([0-9]*\) bytes not sent.*/\1/p')
  sent=$(stat -c %s "$work/far.bin" 2>/dev/null || echo 0)
  [ $((notsent + sent)) -ge 99000 ] && [ $((notsent + sent)) -le 100000 ] &&
    pass "the rest of the paste is dropped and told ($notsent not sent, $sent sent)" ||
    fail "paste: $notsent not sent and $sent sent of 100000"
else
  fail "nothing said of the paste dropped"
fi
T send-keys -t qb q
st=$(finished)
[ "$st" = 0 ] || fail "after the long paste: status $st"
