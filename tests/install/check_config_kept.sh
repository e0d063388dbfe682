#!/usr/bin/env bash
# The build puts the sample Qb7_Uart.cfg beside the binaries only where
# there is none: a configuration the operator edited in the build folder
# survives the configure that make run does every time.
# Usage: check_config_kept.sh SOURCE_DIR
set -u
src=$(cd "$1" && pwd)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
scratch=$(mktemp -d /tmp/qb7cfg.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
configure() { cmake -S "$src" -B "$scratch/build" -G Ninja -DQB7_BENCH=OFF >"$scratch/log" 2>&1; }

configure || fail "configure: $(tail -3 "$scratch/log")"
cmp -s "$src/config/Qb7_Uart.cfg" "$scratch/build/Qb7_Uart.cfg" ||
  fail "a fresh build folder did not get the sample configuration"
printf '#F8 "edited by the operator" CR\n' >> "$scratch/build/Qb7_Uart.cfg"
cp "$scratch/build/Qb7_Uart.cfg" "$scratch/edited.cfg"
configure || fail "second configure: $(tail -3 "$scratch/log")"
cmp -s "$scratch/edited.cfg" "$scratch/build/Qb7_Uart.cfg" ||
  fail "the configure wrote over the edited configuration"
rm "$scratch/build/Qb7_Uart.cfg"
configure
cmp -s "$src/config/Qb7_Uart.cfg" "$scratch/build/Qb7_Uart.cfg" ||
  fail "a removed configuration did not come back as the sample"

[ "$failures" = 0 ] && echo "ok: the sample is put in place once, an edited configuration stays"
[ "$failures" = 0 ]
