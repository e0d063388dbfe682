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
  [ $((notsent + sent)) -eq 100000 ] &&
    pass "the rest of the paste is dropped and told to the byte ($notsent not sent, $sent sent)" ||
    fail "paste: told $notsent not sent, and $sent sent, of 100000"
else
  fail "nothing said of the paste dropped"
fi
T send-keys -t qb q
st=$(finished)
[ "$st" = 0 ] || fail "after the long paste: status $st"

# --- A message line that comes up in the middle of a bracketed paste (the
# log removed under the session) is answered by a key typed, and the paste
# then goes on to the board whole, nothing lost or sent twice.
head -c 1000 /dev/zero | tr '\0' 'm' > "$work/mid-paste.txt"
rm -f "$work/far.bin"
start "sh paste.sh"
open_session 2 "before the paste that meets a message"
T load-buffer -b mid "$work/mid-paste.txt"
T paste-buffer -p -b mid -t qb
sleep 2
rm -f "$work/Term.txt"
if wait_for "Log removed" 3; then
  T send-keys -t qb Space
  gone=""
  for i in $(seq 1 20); do screen_text | grep -q "Log removed" || { gone=1; break; }; sleep 0.1; done
  [ -n "$gone" ] && pass "a message line during a paste is answered by a key typed" ||
    fail "the message line during a paste took no key"
else
  fail "no message line when the log was removed during the paste"
fi
for i in $(seq 1 150); do [ "$(stat -c %s "$work/far.bin" 2>/dev/null || echo 0)" -ge 1000 ] && break; sleep 0.1; done
sleep 0.3
cmp -s "$work/mid-paste.txt" "$work/far.bin" &&
  pass "the paste went on after the message, whole: 1000 bytes, none twice" ||
  fail "the paste reached the board as $(stat -c %s "$work/far.bin" 2>/dev/null) bytes"
leave_and_quit "after the paste that met a message"

# --- Pasted text is never the tool's keys: in the menu a clipboard holding
# "r", a digit and "q" neither pulses the reset, opens a route nor quits;
# in a session a clipboard that holds the paste's own end marker, then F1's
# and Shift-F2's bytes, reaches the board as it stands: no macro, no leaving.
start "sh paste.sh"
wait_for "<Q> Quit" || fail "menu not shown before a paste into it"
printf 'abcr2q' > "$work/menu-paste.txt"
T load-buffer -b menu "$work/menu-paste.txt"
T paste-buffer -p -b menu -t qb
if wait_for "Pasted text is not the menu's keys: 6 bytes dropped" 3; then
  pass "a paste in the menu is dropped and told"
else
  fail "a paste in the menu: $(screen_text | tail -2 | tr '\n' '|')"
fi
[ -s "$work/status" ] && fail "the pasted q quit the program"
screen_text | grep -q "<Q> Quit" && pass "the pasted r, 2 and q did nothing in the menu" ||
  fail "the menu is gone after a paste: $(screen_text | head -2 | tr '\n' '|')"
T send-keys -t qb q
finished > /dev/null
rm -f "$work/far.bin"
start "sh paste.sh"
open_session 2 "before a paste that holds its end marker"
printf 'ok\033[201~\033OP\033[1;2Qx' > "$work/marker-paste.bin"
T load-buffer -b marker "$work/marker-paste.bin"
T paste-buffer -p -b marker -t qb
for i in $(seq 1 50); do [ "$(stat -c %s "$work/far.bin" 2>/dev/null || echo 0)" -ge 17 ] && break; sleep 0.1; done
sleep 0.3
cmp -s "$work/marker-paste.bin" "$work/far.bin" &&
  pass "a paste holding its end marker reaches the board as it stands" ||
  fail "after a paste holding its end marker the board got: $(od -c "$work/far.bin" | head -2 | tr '\n' ' ')"
screen_text | grep -q "<SF2>Exit" && pass "the pasted Shift-F2 did not leave the session" ||
  fail "the pasted Shift-F2 left the session"
leave_and_quit "after a paste holding its end marker"

# --- A paste of 20 MB: what does not fit (16 MB are held) is told to the
# byte, and Shift-F2 midway tells, to the byte, what was not sent: the two
# figures and what the far end got add up to the paste.
head -c 20971520 /dev/zero | tr '\0' 'z' > "$work/huge-paste.txt"
rm -f "$work/far.bin"
start "sh paste.sh"
open_session 2 "before the 20 MB paste"
T load-buffer -b huge "$work/huge-paste.txt"
T paste-buffer -p -b huge -t qb
# The figure grows while the paste comes: it is read once it stands still.
toolong="" last=""
for i in $(seq 1 600); do
  toolong=$(screen_text | sed -n 's/.*Paste too long: \([0-9]*\) bytes not kept.*/\1/p' | head -1)
  [ -n "$toolong" ] && [ "$toolong" = "$last" ] && [ $((i % 20)) = 0 ] && break
  [ $((i % 20)) = 0 ] && last=$toolong
  sleep 0.1
done
[ -n "$toolong" ] && [ "$toolong" -gt 4000000 ] && pass "a 20 MB paste: what does not fit is told ($toolong bytes)" ||
  fail "a 20 MB paste: nothing told of what does not fit: $(screen_text | tail -1)"
T send-keys -t qb S-F2
if wait_for "Paste stopped: " 5; then
  notsent=$(screen_text | sed -n 's/.*Paste stopped: \([0-9]*\) bytes not sent.*/\1/p')
  sleep 0.3
  sent=$(stat -c %s "$work/far.bin" 2>/dev/null || echo 0)
  [ $((notsent + sent + toolong)) -eq 20971520 ] &&
    pass "a 20 MB paste stopped: $notsent not sent, $sent sent and $toolong not kept make 20971520" ||
    fail "a 20 MB paste stopped: told $notsent not sent, $sent sent, $toolong not kept: $((notsent + sent + toolong))"
else
  fail "a 20 MB paste: nothing said when Shift-F2 stopped it"
fi
T send-keys -t qb q
st=$(finished)
[ "$st" = 0 ] || fail "after the 20 MB paste: status $st"
rm -f "$work/huge-paste.txt"

# --- A paste the terminal does not bracket is type-ahead: Ctrl-C behind
# 100 KB of it ends the program at once.
start "sh paste.sh"
open_session 2 "before an unbracketed paste"
T load-buffer -b long "$work/long-paste.txt"
T paste-buffer -b long -t qb
sleep 0.5
T send-keys -t qb C-c
st=$(finished)
[ "$st" = 130 ] && pass "Ctrl-C behind an unbracketed paste ends the program at once" ||
  fail "Ctrl-C behind an unbracketed paste: status $st"

# --- A paste across a power cycle: what came to be sent while the board did
# not answer is told, to the byte, when it answers again.
head -c 1000 /dev/zero | tr '\0' 'w' > "$work/cycle-paste.txt"
rm -f "$work/far.bin"
echo "exec ./qb7uart-sim --board-off 4:6 --attach '2=tee far.bin'" > "$work/cycle.sh"
start "sh cycle.sh"
open_session 2 "before a paste across a power cycle"
T load-buffer -b cycle "$work/cycle-paste.txt"
T paste-buffer -p -b cycle -t qb
wait_for "answers again" 10 || fail "the board's return not told"
if wait_for "Not sent while the board did not answer: " 3; then
  notsent=$(screen_text | sed -n 's/.*Not sent while the board did not answer: \([0-9]*\) bytes.*/\1/p' | head -1)
  for i in $(seq 1 150); do [ $(( $(stat -c %s "$work/far.bin" 2>/dev/null || echo 0) + notsent )) -ge 1000 ] && break; sleep 0.1; done
  sleep 0.3
  sent=$(stat -c %s "$work/far.bin" 2>/dev/null || echo 0)
  [ $((notsent + sent)) -eq 1000 ] && [ "$notsent" -gt 0 ] &&
    pass "a paste across a power cycle: $notsent not sent, told, and $sent sent make 1000" ||
    fail "a paste across a power cycle: told $notsent not sent, $sent sent, of 1000"
else
  fail "nothing said of what the power cycle kept from the board"
fi
leave_and_quit "after the paste across a power cycle"
