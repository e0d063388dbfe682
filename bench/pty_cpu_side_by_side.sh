#!/usr/bin/env bash
# The console for other programs against the full-screen program, side by
# side: one build's qb7uart-sim at BAUD with J27's far end sending without
# a pause, once in tmux (A, the full screen) and once with --pty (B, a
# reader copying the pseudo-terminal to a file), taking turns RUNS times.
# Prints the CPU per KB logged of each, the board's report of each --pty
# run, and whether every byte the reader got is the end of Term.raw (what
# was received) byte for byte: nothing lost or reordered on the way.
#   bench/pty_cpu_side_by_side.sh BUILD [SECONDS=60] [RUNS=2] [BAUD=921600]
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../tests/tmux/harness.sh"
build=$(cd "${1:?usage: pty_cpu_side_by_side.sh BUILD [SECONDS] [RUNS] [BAUD]}" && pwd)
seconds=${2:-60}
runs=${3:-2}
baud=${4:-921600}
tmux_harness "$build" ptycpu
tick=$(getconf CLK_TCK)
far='2=sleep 1; yes "0123456789 the quick brown fox jumps over the lazy dog 0123456789"'

ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

report() {  # label ticks-used bytes-logged
  awk -v s="$seconds" -v tick="$tick" -v label="$1" -v used="$2" -v bytes="$3" 'BEGIN {
    cpu = used / tick / s; kbs = bytes / 1024 / s; per = kbs > 0 ? cpu * 1000 / kbs : 0
    printf("%s total %.3f s/s, %.1f KB/s logged, %.2f ms CPU per KB\n", label, cpu, kbs, per)
    print label, cpu, per > "/dev/stderr" }'
}

screen_run() {
  local folder="$work/A" pid t0 t1 l0 l1
  rm -rf "$folder"; mkdir -p "$folder"
  cp "$build/qb7uart-sim" "$folder/"
  printf '#COMMODE %s\n' "$baud" > "$folder/Qb7_Uart.cfg"
  printf "cd '%s' && exec ./qb7uart-sim --line-baud %s --attach '%s' --report '%s/report.txt'\n" "$folder" "$baud" "$far" "$folder" > "$folder/run.sh"
  start "sh $folder/run.sh"
  open_session 2 "(A)"
  ( while :; do screen_text | grep -q "UartRcvStr" && T send-keys -t qb x; sleep 0.2; done ) &
  local answering=$!
  sleep 2
  pid=$(program_pid)
  l0=$(stat -c %s "$folder/Term.txt"); t0=$(ticks "$pid")
  sleep "$seconds"
  t1=$(ticks "$pid"); l1=$(stat -c %s "$folder/Term.txt")
  kill "$answering"; wait "$answering" 2>/dev/null
  leave_and_quit "A" > /dev/null
  report A $((t1 - t0)) $((l1 - l0))
  echo "  A: board report: $(tr '\n' ';' < "$folder/report.txt" | cut -c1-120)"
}

pty_run() {
  local folder="$work/B" pid reader t0 t1 l0 l1
  rm -rf "$folder"; mkdir -p "$folder"
  cp "$build/qb7uart-sim" "$folder/"
  printf '#COMMODE %s\n' "$baud" > "$folder/Qb7_Uart.cfg"
  (cd "$folder" && exec ./qb7uart-sim --pty --route 2 --link "$folder/console" --line-baud "$baud" \
     --attach "$far" --report "$folder/report.txt" > /dev/null 2> "$folder/err.txt") &
  pid=$!
  for _ in $(seq 50); do [ -e "$folder/console" ] && break; sleep 0.1; done
  cat "$folder/console" > "$folder/read.bin" &
  reader=$!
  sleep 2
  l0=$(stat -c %s "$folder/Term.txt"); t0=$(ticks "$pid")
  sleep "$seconds"
  t1=$(ticks "$pid"); l1=$(stat -c %s "$folder/Term.txt")
  kill -TERM "$pid"; wait "$pid" 2>/dev/null
  sleep 0.5; kill "$reader" 2>/dev/null; wait "$reader" 2>/dev/null
  report B $((t1 - t0)) $((l1 - l0))
  # The reader came a little after the start: what it got must stand in
  # Term.raw as one stretch, byte for byte, up to Term.raw's end.
  /usr/bin/python3 - "$folder/read.bin" "$folder/Term.raw" <<'PY'
import sys
read, raw = open(sys.argv[1], "rb").read(), open(sys.argv[2], "rb").read()
at = raw.find(read[:65536])
if at >= 0 and raw[at:at + len(read)] == read and at + len(read) == len(raw):
    print(f"  B: the reader got {len(read)} bytes: Term.raw from byte {at} to its end ({len(raw)}), byte for byte")
else:
    print(f"  B: the reader's {len(read)} bytes are NOT Term.raw's end ({len(raw)} bytes; found at {at})")
PY
  echo "  B: board report: $(tr '\n' ';' < "$folder/report.txt" | cut -c1-120)"
  grep -v "UartRcvStr Overflow" "$folder/err.txt" | sed 's/^/  B: stderr: /' | head -3
}

totals="$work/totals"
for run in $(seq 1 "$runs"); do
  echo "run $run"
  screen_run 2>> "$totals"
  pty_run 2>> "$totals"
done
awk '{ sum[$1] += $2; per[$1] += $3; n[$1]++ }
     END { for (k in sum) printf "mean %s: %.3f s/s, %.2f ms CPU per KB, over %d runs\n", k, sum[k] / n[k], per[k] / n[k], n[k] }' "$totals" | sort
