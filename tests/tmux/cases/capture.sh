# Evidence in the real terminal: Ctrl-R captures the VSC7420's boot from its
# first byte, the history finds it again and saves it, and the next session
# keeps the first one's log under a name of its own.

start ./qb7uart-sim
wait_for "<Q> Quit" || fail "capture: menu not shown"
T send-keys -t qb C-r
wait_for "<SF2>Exit" || fail "capture: Ctrl-R opened no session"
# A loss message (the machine held the program off mid-boot) is answered,
# so that it takes none of the keys below.
await_line "vsc7420#.*" 10 || fail "capture: the boot did not reach its prompt"
first="[    0.000000] Reset cause: external reset pin"
# The boot's report at the top right, with no key to wait for.
wait_for "boot: prompt after " 5 && pass "capture: the boot's time to the prompt is shown" ||
  fail "capture: no boot report: $(screen_text | tail -1)"
# The boot is longer than the screen: its first line is in the history.
T send-keys -t qb S-PPage
wait_for "rows back" 3 || fail "capture: Shift-PgUp did not scroll back"
T send-keys -t qb -l "/reset cause"
T send-keys -t qb Enter
if wait_for "$first" 3; then
  pass "capture: Ctrl-R shows the boot from its first line, found again with /"
else
  fail "capture: the boot's first line is not found"; screen_text | tail -3
fi
T send-keys -t qb s
if wait_for "History saved (" 5; then
  saved=$(screen_text | sed -n 's/.*History saved ([0-9]* rows): \([^ ]*\).*/\1/p' | head -1)
  [ -n "$saved" ] && grep -qF "$first" "$saved" && pass "capture: s wrote the history to $(basename "$saved")" ||
    fail "capture: the saved history '$saved' lacks the first line"
else
  fail "capture: s said nothing"; screen_text | tail -2
fi
T send-keys -t qb S-F2
wait_for "<Q> Quit" || fail "capture: Shift-F2 did not leave"
head -c ${#first} "$work/Term.txt" | grep -qxF "$first" && pass "capture: Term.txt starts with the boot's first line" ||
  fail "capture: Term.txt starts with '$(head -c 60 "$work/Term.txt")'"
grep -q "	reset$" "$work/Term.times" && pass "capture: Term.times records the reset" || fail "capture: no reset in Term.times"
grep -qE "	boot: first byte [0-9.]+ ms, prompt after [0-9.]+ ms$" "$work/Term.times" &&
  pass "capture: Term.times records the boot's report" || fail "capture: no boot report in Term.times"
cp "$work/Term.txt" "$work/first-session.txt"
cp "$work/Term.raw" "$work/first-raw.bin"
# A second session keeps the first one's log, byte for byte.
T send-keys -t qb 2
wait_for "CON-5Pins Console" || fail "capture: no second session"
leave_and_quit "capture"
kept=$(ls "$work"/Term-*-r0.txt 2>/dev/null | tail -1)
[ -n "$kept" ] && cmp -s "$work/first-session.txt" "$kept" &&
  pass "capture: the second session kept the first's log as $(basename "$kept")" ||
  fail "capture: no kept log is the first session's ($(ls "$work" | tr '\n' ' '))"
cmp -s "$work/first-raw.bin" "${kept%.txt}.raw" && pass "capture: its raw bytes kept beside it" ||
  fail "capture: the first session's Term.raw was not kept beside its log"
[ ! -s "$work/Term.txt" ] && pass "capture: Term.txt holds the second session's bytes (none)" || fail "capture: Term.txt is not the second session's"
