#!/usr/bin/env bash
# The real binaries in tmux, case file by case file (tests/tmux/cases/),
# each on the harness (tests/tmux/harness.sh) in a fresh folder holding the
# built binaries, the sample configuration with a slot that runs GP.EXE,
# and a GP.EXE that records what it inherited.
# Usage: run_tmux_tests.sh BUILD_DIR [CASE...]   (CASE: keys, line_rate, ...;
# all of them when none is named)
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$1
shift
cases=("$@")
if [ ${#cases[@]} -eq 0 ]; then
  for f in "$here"/cases/*.sh; do cases+=("$(basename "$f" .sh)"); done
fi

status=0
for name in "${cases[@]}"; do
  echo "=== $name"
  (
    . "$here/harness.sh"
    tmux_harness "$build" "$name"
    cp "$build/qb7uart-sim" "$build/qb7uart" "$build/tests/keyprobe" "$build/Qb7_Uart.cfg" "$work/"
    # F12: a slot of two lines, which runs GP.EXE; F11: a word no macro knows.
    printf '#F12\nGP.EXE\nGP.EXE\n#F11 ?\n' >> "$work/Qb7_Uart.cfg"
    # GP.EXE records what it inherited, then runs until it is ended.
    cat > "$work/GP.EXE" <<'GP'
#!/bin/sh
ls -l /proc/$$/fd > inherited.txt
grep '^Cap' /proc/self/status >> inherited.txt
chrt -p $$ >> inherited.txt
echo $$ > gp.pid
echo "GP.EXE running"
exec sleep 555
GP
    chmod +x "$work/GP.EXE"
    . "$here/cases/$name.sh"
    summary
  ) || status=1
done
exit $status
