#!/usr/bin/env bash
# A terminal that stops reading, at line rate: the built qb7uart-sim in tmux,
# J27's far end sending `seq 1 COUNT` at BAUD, the tmux server stopped
# (SIGSTOP) STOPS times for SECONDS each while it streams, as a stalled SSH
# link would. Then checks that Term.txt holds every byte in order and that
# no message line appeared. Prints one line per run and a summary.
#   bench/terminal_stall.sh BUILD_DIR [BAUD=921600] [SECONDS=1] [RUNS=10] [COUNT=200000] [STOPS=3]
set -u
build=$(cd "${1:?usage: terminal_stall.sh BUILD_DIR [BAUD] [SECONDS] [RUNS] [COUNT] [STOPS]}" && pwd)
baud=${2:-921600}
stop=${3:-1}
runs=${4:-10}
count=${5:-200000}
stops=${6:-3}
sock="qb7stall$$"
T() { tmux -L "$sock" "$@"; }
work=$(mktemp -d /tmp/qb7stall.XXXXXX)
trap 'T kill-server 2>/dev/null; rm -rf "$work"' EXIT
cp "$build/qb7uart-sim" "$work/"
printf '#COMMODE %s\n' "$baud" > "$work/Qb7_Uart.cfg"
seq 1 "$count" > "$work/expected.txt"
complete=0
for run in $(seq 1 "$runs"); do
  rm -f "$work/Term.txt"
  for try in 1 2 3; do
    # A new session started while the old server still winds down dies with it.
    T kill-server 2>/dev/null
    while T list-sessions >/dev/null 2>&1; do sleep 0.1; done
    T -f /dev/null new-session -d -s qb -x 80 -y 25 \
      "cd '$work' && LANG=C.UTF-8 ./qb7uart-sim --line-baud $baud --attach '2=sleep 1; seq 1 $count; sleep 600'; sleep 600" \
      2>/dev/null && break
    sleep 0.2
  done
  sleep 0.5
  T send-keys -t qb 2
  sleep 1
  server=$(T display-message -p '#{pid}')
  for i in $(seq 1 "$stops"); do
    kill -STOP "$server"; sleep "$stop"; kill -CONT "$server"; sleep 1
  done
  message=""
  for i in $(seq 1 600); do
    screen=$(T capture-pane -p -t qb)
    if echo "$screen" | grep -q "Uart"; then message=$(echo "$screen" | grep -o "Uart[A-Za-z ]*" | head -1); break; fi
    echo "$screen" | grep -q "^$count\$" && break
    sleep 0.1
  done
  [ -n "$message" ] && T send-keys -t qb x
  T send-keys -t qb S-F2
  sleep 0.3
  T send-keys -t qb q
  sleep 0.5
  if cmp -s "$work/expected.txt" "$work/Term.txt"; then
    complete=$((complete + 1))
    echo "run $run: complete, $(wc -c < "$work/expected.txt") bytes in order"
  else
    echo "run $run: INCOMPLETE ($(wc -c < "$work/Term.txt" 2>/dev/null || echo 0) of $(wc -c < "$work/expected.txt") bytes)${message:+, message: $message}"
  fi
done
echo "$complete of $runs runs complete at $baud baud with $stops stops of ${stop}s"
[ "$complete" -eq "$runs" ]
