# The simulated board's report (qb7uart-sim --report FILE), read by the
# tests that drive the real binary: sourced by tests/tmux/harness.sh and the
# emulator suite. Needs a skip function.

# Overflows by the machine and by the program.
report_machine() { sed -n 's/^overflows by the machine: //p' "$1"; }
report_program() { sed -n 's/^overflows by the program: //p' "$1"; }

# A log that lacks bytes is the program's fault unless the board's report
# (FILE) says the program missed no look and the machine held it off longer
# than the FIFO lasts: this VM's host does so at times, and no program keeps
# bytes the board dropped while it was not allowed to run. Prints the verdict
# as a skip and succeeds when the machine lost them.
#
# A sanitized build (set sanitized=1) is built without optimisation and
# checks every memory access: its turns take several times the shipped
# build's, and it is not held to line rate. Its overflows are told as a skip;
# the plain build runs the same cases and is held to them.
machine_lost() {
  local report=$1 what=$2
  if [ "${sanitized:-0}" = 1 ] && [ "$(report_program "$report")" -gt 0 ] 2>/dev/null; then
    skip "$what: a sanitized build is not held to line rate: $(tr '\n' ' ' < "$report")"
    return 0
  fi
  [ "$(report_program "$report")" = 0 ] && [ "$(report_machine "$report")" -gt 0 ] 2>/dev/null || return 1
  skip "$what: the machine held the program off longer than the FIFO lasts: $(tr '\n' ' ' < "$report")"
}

# Whether the binary named is a sanitized build: sets sanitized.
note_sanitized() {
  sanitized=0
  if grep -q __asan_init "$1"; then sanitized=1; fi
}
