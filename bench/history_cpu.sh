#!/usr/bin/env bash
# What the history costs while the line streams at 921600: the built
# qb7uart-sim in tmux, J27's far end sending without a pause, the program's
# CPU measured for SECONDS with the view live, then SECONDS with the view
# scrolled back into the history (Shift-PgUp), side by side in one run;
# then the board's report of whose each overflow was.
#   bench/history_cpu.sh BUILD_DIR [SECONDS=10]
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../tests/tmux/harness.sh"
tmux_harness "${1:?usage: history_cpu.sh BUILD_DIR [SECONDS]}" hist
seconds=${2:-10}
cp "$build/qb7uart-sim" "$work/"
printf '#COMMODE 921600\n' > "$work/Qb7_Uart.cfg"
cat > "$work/run.sh" <<'SH'
exec ./qb7uart-sim --line-baud 921600 --report report.txt --attach '2=sleep 1; yes "0123456789 the quick brown fox jumps over the lazy dog 0123456789"'
SH
start "sh run.sh"
open_session 2 ""
sleep 3
pid=$(program_pid)
measure() {
  local a b
  a=$(cpu_seconds "$pid"); sleep "$seconds"; b=$(cpu_seconds "$pid")
  echo "scale=4; ($b - $a) / $seconds" | bc
}
live=$(measure)
T send-keys -t qb S-PPage
sleep 0.5
screen_text | grep -q "rows back" || echo "warning: the view did not go into the history"
history=$(measure)
leave_and_quit "" >/dev/null
printf 'view                 CPU s/s\nlive                 %s\nin the history       %s\n' "$live" "$history"
cat "$work/report.txt"
echo
