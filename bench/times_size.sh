#!/usr/bin/env bash
# How large Term.times grows beside Term.txt for a stream of short lines:
# each build's qb7uart-sim in tmux at BAUD, J27's far end sending 7-byte
# lines ("01234" and CR LF) without a pause for SECONDS; then the sizes of
# Term.txt, Term.raw and Term.times and the times file's share of the log.
#   bench/times_size.sh BUILD [BUILD ...] -- [SECONDS=30] [BAUD=921600]
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../tests/tmux/harness.sh"
builds=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do builds+=("$(cd "$1" && pwd)"); shift; done
[ "${1:-}" = "--" ] && shift
seconds=${1:-30}
baud=${2:-921600}
[ ${#builds[@]} -gt 0 ] || { echo "usage: times_size.sh BUILD [BUILD ...] -- [SECONDS] [BAUD]"; exit 2; }
tmux_harness "${builds[0]}" times

n=0
for build in "${builds[@]}"; do
  n=$((n + 1))
  folder="$work/build$n"
  mkdir -p "$folder"
  cp "$build/qb7uart-sim" "$folder/"
  printf '#COMMODE %s\n' "$baud" > "$folder/Qb7_Uart.cfg"
  cat > "$folder/run.sh" <<SH
cd '$folder' && exec ./qb7uart-sim --line-baud $baud --attach '2=sleep 1; yes 01234'
SH
  start "sh $folder/run.sh"
  open_session 2 "(build $n)"
  ( while :; do
      screen_text | grep -q "UartRcvStr" && T send-keys -t qb x
      sleep 0.2
    done ) &
  answering=$!
  sleep "$seconds"
  kill "$answering"
  wait "$answering" 2>/dev/null
  leave_and_quit "build $n" >/dev/null
  txt=$(stat -c %s "$folder/Term.txt")
  times=$(stat -c %s "$folder/Term.times")
  raw=$(stat -c %s "$folder/Term.raw" 2>/dev/null || echo -)
  awk -v b="$build" -v t="$txt" -v m="$times" -v r="$raw" \
    'BEGIN { printf "%s: Term.txt %d B, Term.raw %s B, Term.times %d B: %.2f times Term.txt\n", b, t, r, m, m / t }'
done
