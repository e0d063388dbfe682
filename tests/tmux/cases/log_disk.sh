# The log when the disk stops answering.

# --- A disk that stops answering holds up only the log's writer: with the
# program's folder on a file system frozen for 10 s while J27 streams at
# 115200, the screen goes on, Shift-F2 answers, and after the thaw Term.txt
# holds every byte in order.
freeze_test() {
  if [ "$(id -u)" != 0 ] || ! command -v fsfreeze >/dev/null || ! command -v mkfs.ext4 >/dev/null; then
    echo "skip: frozen disk: needs root, fsfreeze and mkfs.ext4"
    return
  fi
  local disk="$work/disk.img" mnt="$work/disk"
  mkdir -p "$mnt"
  truncate -s 64M "$disk" && mkfs.ext4 -q -F "$disk" >/dev/null 2>&1
  if ! mount -o loop "$disk" "$mnt" 2>/dev/null; then
    echo "skip: frozen disk: no loop device to mount an image on here"
    return
  fi
  # Thawed and unmounted whatever fails; the program that runs from it
  # ends first.
  at_exit "fsfreeze -u '$mnt' 2>/dev/null; T kill-server 2>/dev/null; sleep 0.3; umount '$mnt' 2>/dev/null"
  cp "$work/qb7uart-sim" "$work/Qb7_Uart.cfg" "$mnt/"
  seq 1 12000 > "$work/expected-frozen.txt"
  echo "exec disk/qb7uart-sim --report disk/report-frozen.txt --attach '2=sleep 3; seq 1 12000; sleep 600'" > "$work/frozen.sh"
  start "sh frozen.sh"
  open_session 2 "before the freeze"
  fsfreeze -f "$mnt"
  local t0=$SECONDS
  local seen="" screen
  for i in $(seq 1 90); do
    screen=$(T capture-pane -p -t qb)
    # A message (the machine's overflow) is answered; the text follows it.
    echo "$screen" | grep -q "UartRcvStr" && T send-keys -t qb x
    echo "$screen" | grep -qx "12000" && { seen=1; break; }
    sleep 0.1
  done
  if [ -n "$seen" ]; then pass "frozen disk: the screen goes on while the log cannot be written"; else fail "frozen disk: the stream did not reach the screen"; fi
  T send-keys -t qb S-F2
  if wait_for "<Q> Quit" 1; then pass "frozen disk: Shift-F2 answers at once"; else fail "frozen disk: Shift-F2 did not answer"; fi
  [ $((SECONDS - t0)) -lt 10 ] || fail "frozen disk: the checks took longer than the freeze"
  sleep $((10 - (SECONDS - t0)))
  fsfreeze -u "$mnt"
  T send-keys -t qb q
  st=$(finished)
  [ "$st" = 0 ] || fail "frozen disk: status $st"
  if cmp -s "$work/expected-frozen.txt" "$mnt/Term.txt"; then
    pass "frozen disk: after the thaw Term.txt holds all $(wc -c < "$work/expected-frozen.txt") bytes in order"
  elif ! machine_lost "$mnt/report-frozen.txt" "frozen disk"; then
    fail "frozen disk: Term.txt differs ($(wc -c < "$mnt/Term.txt") of $(wc -c < "$work/expected-frozen.txt") bytes)"
  fi
  # Term.times is aligned with the Term.txt the thaw left: every line record
  # at a line start, every record whole.
  if aligned=$("$build/tests/timescheck" "$mnt/Term.txt" "$mnt/Term.times"); then
    pass "frozen disk: Term.times aligned with Term.txt: $aligned"
  else
    fail "frozen disk: Term.times not aligned with Term.txt: $aligned"
  fi
  check_sane "after the frozen disk"
  T kill-server 2>/dev/null
  sleep 0.3
  umount "$mnt"
}
freeze_test

