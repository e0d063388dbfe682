#!/usr/bin/env bash
# What the history costs while the line streams at 921600: the built
# qb7uart-sim in tmux, J27's far end sending without a pause, the program's
# CPU measured for SECONDS with the view live, then SECONDS with the view
# scrolled back into the history (Shift-PgUp), side by side in one run;
# then the board's report of whose each overflow was.
#   bench/history_cpu.sh BUILD_DIR [SECONDS=10]
set -u
build=$(cd "${1:?usage: history_cpu.sh BUILD_DIR [SECONDS]}" && pwd)
seconds=${2:-10}
sock="qb7hist$$"
T() { tmux -L "$sock" "$@"; }
work=$(mktemp -d /tmp/qb7hist.XXXXXX)
trap 'T kill-server 2>/dev/null; rm -rf "$work"' EXIT
cp "$build/qb7uart-sim" "$work/"
printf '#COMMODE 921600\n' > "$work/Qb7_Uart.cfg"
cat > "$work/run.sh" <<'SH'
exec ./qb7uart-sim --line-baud 921600 --report report.txt --attach '2=sleep 1; yes "0123456789 the quick brown fox jumps over the lazy dog 0123456789"'
SH
T -f /dev/null new-session -d -s h -x 80 -y 25 "cd '$work' && LANG=C.UTF-8 sh run.sh; sleep 600"
sleep 1
pid=$(pgrep -P "$(T display-message -p -t h '#{pane_pid}')" -f qb7uart-sim | head -1)
T send-keys -t h 2
sleep 3
# CPU seconds (user + system) the program has used so far.
cpu() { awk '{ printf "%.2f\n", ($14 + $15) / '"$(getconf CLK_TCK)"' }' "/proc/$pid/stat"; }
measure() {
  local a b
  a=$(cpu); sleep "$seconds"; b=$(cpu)
  echo "scale=4; ($b - $a) / $seconds" | bc
}
live=$(measure)
T send-keys -t h S-PPage
sleep 0.5
T capture-pane -p -t h | grep -q "rows back" || echo "warning: the view did not go into the history"
history=$(measure)
T send-keys -t h S-F2
sleep 0.5
T send-keys -t h q
sleep 1
printf 'view                 CPU s/s\nlive                 %s\nin the history       %s\n' "$live" "$history"
cat "$work/report.txt"
echo
