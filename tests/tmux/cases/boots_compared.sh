# The boot against the last one, in the real terminal: two captures, the
# second with one step slow (the simulated board's --boot-fail .s); in the
# history, t twice puts each boot line's difference from the first boot
# beside its time, and only the slow line is flagged. The next run compares
# its first boot with that one, read back from the kept log.

slow_row='^R +[0-9.]+ +\+[0-9]{3}\.[0-9]! \[ +2\.206576\] Port  1\.\.8: link down'
start "./qb7uart-sim --boot-fail .s"
wait_for "<Q> Quit" || fail "boots_compared: menu not shown"
for n in 1 2; do
  T send-keys -t qb C-r
  wait_for "<SF2>Exit" || fail "boots_compared: Ctrl-R opened no session ($n)"
  await_line "vsc7420#.*" 10 || fail "boots_compared: boot $n did not reach its prompt"
  wait_for "boot: prompt after " 5 || fail "boots_compared: no report for boot $n"
  [ $n = 2 ] || { T send-keys -t qb S-F2; wait_for "<Q> Quit" || fail "boots_compared: Shift-F2"; }
done
# Back to the slow line (/ finds the first boot's, above the page; N the
# next match nearer the live screen, the second boot's), then the gutter
# and the last boot beside it.
T send-keys -t qb S-PPage
wait_for "rows back" 3 || fail "boots_compared: Shift-PgUp did not scroll back"
T send-keys -t qb -l "/2.206576] Port"
T send-keys -t qb Enter N t t
sleep 0.5
if screen_text | grep -qE "$slow_row"; then
  pass "boots_compared: the slow line is flagged beside its time, $(screen_text | grep -oE '\+[0-9]{3}\.[0-9]!' | head -1) ms"
else
  fail "boots_compared: no flagged slow line"; screen_text | grep -E "Port|rows back"
fi
flags=$(screen_text | grep -cE '^R +[0-9.]+ +[-+][0-9.]+!')
[ "$flags" = 1 ] && pass "boots_compared: no other line in view is flagged" ||
  fail "boots_compared: $flags lines flagged: $(screen_text | grep -E '^R +[0-9.]+ +[-+][0-9.]+!')"
T send-keys -t qb q
sleep 0.3
leave_and_quit "boots_compared"

# A new run: its boot is compared with the slow one, from the log kept.
start "./qb7uart-sim"
wait_for "<Q> Quit" || fail "boots_compared: menu not shown again"
T send-keys -t qb C-r
await_line "vsc7420#.*" 10 || fail "boots_compared: the new run's boot did not reach its prompt"
wait_for "boot: prompt after " 5
T send-keys -t qb S-PPage
wait_for "rows back" 3
T send-keys -t qb -l "/2.206576] Port"
T send-keys -t qb Enter N t t
sleep 0.5
if screen_text | grep -qE '^R +[0-9.]+ +-[0-9]{3}\.[0-9]! \[ +2\.206576\] Port  1\.\.8: link down'; then
  pass "boots_compared: the next run's first boot is compared with the last run's slow one"
else
  fail "boots_compared: the next run did not compare with the kept boot"; screen_text | grep -E "Port"
fi
T send-keys -t qb q
sleep 0.3
# The reset asked from another shell: the full-screen program pulses it,
# logs it and shows the boot again.
before=$(grep -c "	reset$" "$work/Term.times")
answer=$(cd "$work" && ./qb7uart-sim --reset 2>&1)
status=$?
[ $status = 0 ] && echo "$answer" | grep -q "ok: the VSC7420's reset pulsed; its boot is captured" &&
  pass "boots_compared: --reset from another shell answered: $answer" ||
  fail "boots_compared: --reset: status $status, $answer"
await_line "vsc7420#.*" 10 || fail "boots_compared: no boot after --reset"
sleep 0.5
grep -q "	reset asked from outside by process [0-9]*$" "$work/Term.times" &&
  [ "$(grep -c "	reset$" "$work/Term.times")" -gt "$before" ] &&
  pass "boots_compared: Term.times records the reset asked from outside" ||
  fail "boots_compared: the reset from outside is not in Term.times"
leave_and_quit "boots_compared (next run)"
