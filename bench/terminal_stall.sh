#!/usr/bin/env bash
# A terminal that stops reading, at line rate: the built qb7uart-sim in tmux,
# J27's far end sending `seq 1 COUNT` at BAUD, the tmux server stopped
# (SIGSTOP) STOPS times for SECONDS each while it streams, as a stalled SSH
# link would. Then checks that Term.txt holds every byte in order and that
# no message line appeared. Prints one line per run and a summary.
#   bench/terminal_stall.sh BUILD_DIR [BAUD=921600] [SECONDS=1] [RUNS=10] [COUNT=200000] [STOPS=3]
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../tests/tmux/harness.sh"
tmux_harness "${1:?usage: terminal_stall.sh BUILD_DIR [BAUD] [SECONDS] [RUNS] [COUNT] [STOPS]}" stall
baud=${2:-921600}
stop=${3:-1}
runs=${4:-10}
count=${5:-200000}
stops=${6:-3}
cp "$build/qb7uart-sim" "$work/"
printf '#COMMODE %s\n' "$baud" > "$work/Qb7_Uart.cfg"
seq 1 "$count" > "$work/expected.txt"
complete=0
for run in $(seq 1 "$runs"); do
  rm -f "$work/Term.txt" "$work/report.txt"
  echo "exec ./qb7uart-sim --line-baud $baud --report report.txt --attach '2=sleep 1; seq 1 $count; sleep 600'" > "$work/run.sh"
  start "sh run.sh"
  open_session 2 "(run $run)"
  server=$(T display-message -p '#{pid}')
  for i in $(seq 1 "$stops"); do
    kill -STOP "$server"; sleep "$stop"; kill -CONT "$server"; sleep 1
  done
  message=""
  for i in $(seq 1 600); do
    screen=$(screen_text)
    if echo "$screen" | grep -q "Uart"; then message=$(echo "$screen" | grep -o "Uart[A-Za-z ]*" | head -1); break; fi
    echo "$screen" | grep -q "^$count\$" && break
    sleep 0.1
  done
  [ -n "$message" ] && T send-keys -t qb x
  leave_and_quit "run $run" >/dev/null
  if cmp -s "$work/expected.txt" "$work/Term.txt"; then
    complete=$((complete + 1))
    echo "run $run: complete, $(wc -c < "$work/expected.txt") bytes in order"
  else
    echo "run $run: INCOMPLETE ($(wc -c < "$work/Term.txt" 2>/dev/null || echo 0) of $(wc -c < "$work/expected.txt") bytes)${message:+, message: $message}; overflows by the machine $(report_machine "$work/report.txt"), by the program $(report_program "$work/report.txt")"
  fi
done
echo "$complete of $runs runs complete at $baud baud with $stops stops of ${stop}s"
[ "$complete" -eq "$runs" ]
