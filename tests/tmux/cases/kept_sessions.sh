# Every session kept, in the real terminal: fifteen sessions in a row (some
# receiving nothing, one at the wrong speed with framing errors, one on a
# board switched off) leave each that received something, or met the board
# gone, under its own name; with a small budget the oldest kept sessions go,
# told on the screen and in Term.times; after quitting and starting again,
# Shift-PgUp in the menu shows the last session's rows under its divider,
# with their times.

mkdir -p "$work/kept"
cp "$work/qb7uart-sim" "$work/kept/"
printf '#KEEP 1\n' > "$work/kept/Qb7_Uart.cfg"
# Three sessions kept by an earlier day, 600 KB each: over the budget.
for stem in Term-20251201-080000-r0 Term-20251202-080000-r0 Term-20251203-080000-r1; do
  head -c 614400 /dev/zero | tr '\0' x > "$work/kept/$stem.txt"
  printf '# times\n' > "$work/kept/$stem.times"
done
# The board goes away 25 s after start, for 4 s.
echo "cd kept && exec ./qb7uart-sim --board-off 25:29" > "$work/kept.sh"
start "sh kept.sh"

# session N ROUTE [KEYS]: opens the route, types the keys (Enter after),
# waits for the reply's text, leaves.
session() {
  local n=$1 route=$2 keys=${3:-} reply=${4:-}
  open_session "$route" "(session $n)"
  if [ -n "$keys" ]; then
    T send-keys -t qb -l "$keys"
    T send-keys -t qb Enter
    wait_for "$reply" 5 || fail "session $n: no reply '$reply'"
  fi
  T send-keys -t qb S-F2
  wait_for "<Q> Quit" 5 || fail "session $n: Shift-F2 did not leave"
}

# The first session's start finds the kept sessions over #KEEP 1 MB.
open_session 0 "(session 1)"
if wait_for "Over #KEEP 1 MB: kept sessions removed: Term-20251201-080000-r0 and 1 more" 5; then
  pass "budget: the removal of the oldest kept sessions is told on the screen"
else
  fail "budget: no removal told: $(screen_text | tail -2)"
fi
T send-keys -t qb x
T send-keys -t qb -l "version"
T send-keys -t qb Enter
wait_for "firmware 4.2.1" 5 || fail "session 1: no reply"
T send-keys -t qb S-F2
wait_for "<Q> Quit" 5 || fail "session 1: Shift-F2 did not leave"
session 2 1 "version" "DK22N module console"
session 3 2                                  # J27: nothing comes
session 4 0 "help" "firmware banner"
# Session 5 at the wrong speed: 9600, picked in the history; the reply comes
# garbled, with framing errors.
open_session 0 "(session 5)"
T send-keys -t qb S-PPage
wait_for "rows back" 3 || fail "session 5: Shift-PgUp did not scroll back"
T send-keys -t qb b
wait_for "Speed:" 3 || fail "session 5: no speed prompt"
T send-keys -t qb 1
T send-keys -t qb -l "version"
T send-keys -t qb Enter
await_line ".*" 3
wait_for "Framing Error" 5 && T send-keys -t qb x
T send-keys -t qb S-F2
wait_for "<Q> Quit" 5 || fail "session 5: Shift-F2 did not leave"
session 6 2
session 7 1 "help" "Commands:"
# Session 8 waits for the board to go and come back.
open_session 2 "(session 8)"
wait_for "No answer from the QB7 board" 30 && pass "board off: its absence told in session 8" ||
  fail "board off: no absence told"
wait_for "answers again" 10 || fail "board off: its return not told"
T send-keys -t qb S-F2
wait_for "<Q> Quit" 5 || fail "session 8: Shift-F2 did not leave"
session 9 2
session 10 0 "version" "firmware 4.2.1"
session 11 1 "version" "DK22N module console"
session 12 2
session 13 0 "version" "firmware 4.2.1"
session 14 3 "version" "DK22S module console"
session 15 2
T send-keys -t qb q
[ "$(finished)" = 0 ] || fail "fifteen sessions: q did not end the program"

# Kept: 1, 2, 4, 5, 7, 8 (the board gone), 10, 11, 13, 14; 15 is Term.txt.
kept=$(ls "$work/kept"/Term-2026*.txt 2>/dev/null | wc -l)
[ "$kept" = 10 ] && pass "fifteen sessions: the ten that received something or met the board gone are kept" ||
  fail "fifteen sessions: $kept kept: $(ls "$work/kept" | tr '\n' ' ')"
for f in "$work/kept"/Term-2026*.txt; do
  [ -f "${f%.txt}.times" ] && [ -f "${f%.txt}.raw" ] || fail "kept $(basename "$f") lacks its .times or .raw"
done
# Every kept name says its route: six on route 0 or 1, four more.
[ "$(ls "$work/kept"/Term-2026*-r2.txt 2>/dev/null | wc -l)" = 1 ] &&
  pass "fifteen sessions: the only J27 session kept is the one that met the board gone" ||
  fail "J27 sessions kept: $(ls "$work/kept"/Term-2026*-r2.txt 2>/dev/null | tr '\n' ' ')"
grep -l "receive error: framing" "$work/kept"/Term-2026*.times > /dev/null 2>&1 &&
  pass "fifteen sessions: the wrong-speed session is kept with its framing errors" ||
  fail "fifteen sessions: no kept session records a framing error"
[ ! -e "$work/kept/Term-20251201-080000-r0.txt" ] && [ ! -e "$work/kept/Term-20251202-080000-r0.times" ] &&
  [ -e "$work/kept/Term-20251203-080000-r1.txt" ] &&
  pass "budget: the two oldest went, the third stayed" || fail "budget: $(ls "$work/kept" | tr '\n' ' ')"
removals=$(cat "$work/kept"/Term-2026*.times | grep -c "kept session removed, over #KEEP 1 MB: Term-2025120[12]-080000-r0$")
[ "$removals" = 2 ] && pass "budget: each removal recorded in Term.times" ||
  fail "budget: $removals removals recorded"

# The next run: its history begins with the last sessions.
start "sh kept.sh"
wait_for "<Q> Quit" || fail "restart: menu not shown"
T send-keys -t qb S-PPage
if wait_for " route 3 \"" 3 && screen_text | grep -qE "^==== 20[0-9-]+ [0-9:]+ route 3 "; then
  pass "restart: Shift-PgUp in the menu shows the last run's sessions, each under its divider"
else
  fail "restart: no divider in the history: $(screen_text | head -5)"
fi
T send-keys -t qb t
sleep 0.5
screen_text | grep -qE "^S +[0-9]+\.[0-9]{3} .*DK22S module console" &&
  pass "restart: the last session's reply has its time in the gutter" ||
  fail "restart: no time beside the reply: $(screen_text | grep -m1 DK22S)"
T send-keys -t qb q
T send-keys -t qb q
[ "$(finished)" = 0 ] || fail "restart: q did not end the program"
