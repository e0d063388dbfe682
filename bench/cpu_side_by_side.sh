#!/usr/bin/env bash
# What the real program costs at line rate, two builds side by side: each
# build's qb7uart-sim in tmux at 921600, J27's far end sending without a
# pause, the CPU of each of its threads measured over SECONDS, the builds
# taking turns RUNS times, so that the shared machine's moods fall on both.
#   bench/cpu_side_by_side.sh BUILD_A BUILD_B [SECONDS=4] [RUNS=3] [BAUD=921600]
# Prints, per run and build, the CPU seconds per second of the whole
# process and of each thread (by name), the bytes that reached Term.txt
# meanwhile, and the CPU per KB received: a build that loses bytes (it
# stops looking, or looks too late) also spends less on them, so the cost
# per KB is the fair comparison. Then the means of each build.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../tests/tmux/harness.sh"
a=$(cd "${1:?usage: cpu_side_by_side.sh BUILD_A BUILD_B [SECONDS] [RUNS] [BAUD]}" && pwd)
b=$(cd "${2:?usage: cpu_side_by_side.sh BUILD_A BUILD_B [SECONDS] [RUNS] [BAUD]}" && pwd)
seconds=${3:-4}
runs=${4:-3}
baud=${5:-921600}
tmux_harness "$a" cpu
tick=$(getconf CLK_TCK)

# CPU ticks of each thread of a process: "tid name ticks" lines (threads a
# build did not name go by the process's name).
threads() {
  local t
  for t in /proc/"$1"/task/*; do
    awk -v tid="${t##*/}" -v name="$(tr ' ' _ < "$t/comm")" '{ print tid, name, $14 + $15 }' "$t/stat" 2>/dev/null
  done
}

measure() {  # build label
  local build=$1 label=$2 folder="$work/$2" pid before after
  mkdir -p "$folder"
  cp "$build/qb7uart-sim" "$folder/"
  printf '#COMMODE %s\n' "$baud" > "$folder/Qb7_Uart.cfg"
  cat > "$folder/run.sh" <<SH
cd '$folder' && exec ./qb7uart-sim --line-baud $baud --attach '2=sleep 1; yes "0123456789 the quick brown fox jumps over the lazy dog 0123456789"'
SH
  start "sh $folder/run.sh"
  open_session 2 "($label)"
  # A message line (an overflow the machine caused) is answered at once,
  # for both builds alike: an older build stops looking while one waits.
  ( while :; do
      screen_text | grep -q "UartRcvStr" && T send-keys -t qb x
      sleep 0.2
    done ) &
  local answering=$!
  sleep 2
  pid=$(program_pid)
  local logged0 logged1
  logged0=$(stat -c %s "$folder/Term.txt" 2>/dev/null || echo 0)
  before=$(threads "$pid")
  sleep "$seconds"
  after=$(threads "$pid")
  logged1=$(stat -c %s "$folder/Term.txt" 2>/dev/null || echo 0)
  kill "$answering"
  wait "$answering" 2>/dev/null
  leave_and_quit "$label" >/dev/null
  # Per thread: (after - before) / seconds / tick; and the sum.
  join <(echo "$before" | sort) <(echo "$after" | sort) |
    awk -v s="$seconds" -v tick="$tick" -v label="$label" -v bytes=$((logged1 - logged0)) '
    { used = ($5 - $3) / tick / s; total += used; line = line sprintf("  %s %.3f", $2, used) }
    END { kbs = bytes / 1024 / s
          per = 0
          if (kbs > 0) per = total * 1000 / kbs
          printf("%-3s total %.3f s/s, %.1f KB/s logged, %.2f ms CPU per KB:%s\n", label, total, kbs, per, line)
          print label, total, per > "/dev/stderr" }'
}

totals="$work/totals"
for run in $(seq 1 "$runs"); do
  echo "run $run"
  measure "$a" A 2>> "$totals"
  measure "$b" B 2>> "$totals"
done
echo "A = $a"
echo "B = $b"
awk '{ sum[$1] += $2; per[$1] += $3; n[$1]++ }
     END { for (k in sum) printf "mean %s: %.3f s/s, %.2f ms CPU per KB received, over %d runs\n", k, sum[k] / n[k], per[k] / n[k], n[k] }' "$totals" | sort
