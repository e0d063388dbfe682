#!/usr/bin/env bash
# Both binaries answer --help and --version in the usual form (on stdout,
# status 0) and refuse an unknown option with the usage on stderr, status 2,
# before touching anything: the hardware binary is run as an unprivileged
# user where this runs as root, so that an attempt at the ports would show.
# Usage: check_options.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
as_user=()
[ "$(id -u)" = 0 ] && command -v setpriv >/dev/null &&
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups --inh-caps=-all)
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
version=$(sed -n 's/^project(qb7uart VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")

# run NAME ARGS...: status in rc, stdout and stderr in $out and $err.
run() { local bin=$1; shift; (cd /; "${as_user[@]}" "$build/$bin" "$@" >"$out" 2>"$err" </dev/null); rc=$?; }

for bin in qb7uart qb7uart-sim; do
  run "$bin" --help
  [ "$rc" = 0 ] || fail "$bin --help: status $rc"
  grep -q "^Usage: $bin " "$out" || fail "$bin --help: no usage on stdout"
  [ -s "$err" ] && fail "$bin --help wrote to stderr: $(head -3 "$err")"

  run "$bin" --version
  [ "$rc" = 0 ] || fail "$bin --version: status $rc"
  [ "$(cat "$out")" = "$bin $version" ] || fail "$bin --version said '$(cat "$out")', not '$bin $version'"

  for bad in --bogus -x; do
    run "$bin" "$bad"
    [ "$rc" = 2 ] || fail "$bin $bad: status $rc, not 2"
    [ -s "$out" ] && fail "$bin $bad wrote to stdout"
    grep -q -- "$bad" "$err" || fail "$bin $bad: the option is not named on stderr"
    grep -q "^Usage: $bin " "$err" || fail "$bin $bad: no usage on stderr"
  done
done

# The hardware binary takes nothing else, and a second word after --help
# is an error too, not a help with a word ignored.
for args in "extra" "--help extra" "--version --help"; do
  # shellcheck disable=SC2086
  run qb7uart $args
  [ "$rc" = 2 ] || fail "qb7uart $args: status $rc, not 2"
  head -1 "$err" | grep -q "^qb7uart: " || fail "qb7uart $args: the first line of stderr is not the refusal"
done
# --check-config: the configuration beside the program (the sample: clean,
# status 0), a file with problems (each located, status 1), a missing file
# (status 1, said on stderr); the same from both binaries.
bad=$(mktemp /tmp/qb7badcfg.XXXXXX)
chmod 644 "$bad"
printf '#F9 "help" CRR\n#F13 $3\n#F8 "version CR\n' > "$bad"
for bin in qb7uart qb7uart-sim; do
  run "$bin" --check-config
  [ "$rc" = 0 ] || fail "$bin --check-config on the sample: status $rc: $(cat "$out" "$err")"
  grep -q "Qb7_Uart.cfg: no problems$" "$out" || fail "$bin --check-config on the sample said: $(cat "$out")"
  run "$bin" --check-config "$bad"
  [ "$rc" = 1 ] || fail "$bin --check-config on a bad file: status $rc"
  [ "$(grep -c "^$bad:[0-9]*:[0-9]*: #F" "$out")" = 3 ] ||
    fail "$bin --check-config: not three located problems: $(cat "$out")"
  run "$bin" --check-config "$bad.missing"
  [ "$rc" = 1 ] && grep -q "not found" "$err" || fail "$bin --check-config on a missing file: status $rc, $(cat "$err")"
done
rm -f "$bad"
echo "options: $failures failed"
[ "$failures" -eq 0 ]
