#!/usr/bin/env bash
# Boots in a batch with the real qb7uart-sim and no terminal: the exit
# status, the JSON lines, the JUnit XML read by a JUnit reader from Debian,
# the kept sessions on disk, the board's own account of the boots it made
# fail, a SIGTERM that stops the batch after its current boot, and
# --compare on two boots that differ in one step.
# Usage: check_boots.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
py=/usr/bin/python3
if ! $py -c 'import junitparser' 2>/dev/null; then
  echo "SKIP: python3-junitparser is not installed (scripts/deps.sh test installs it)"
  exit 0
fi
work=$(mktemp -d /tmp/qb7boots.XXXXXX)
trap 'rm -rf "$work"' EXIT
cp "$build/qb7uart-sim" "$work/"
printf '#PROMPT 0 "vsc7420#"\n' > "$work/Qb7_Uart.cfg"
mkdir "$work/out"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Six boots, one hangs and one panics (and boots again, late but within
# the time-out): status 1, reports from the folder
# the batch was started in, not the program's.
cd "$work/out"
"$work/qb7uart-sim" --boots 6 --until "vsc7420#" --timeout 7 --seed 5 --boot-fail '..h.p.' \
  --json r.jsonl --junit r.xml --report rep.txt < /dev/null > stdout.txt 2> stderr.txt
status=$?
[ $status = 1 ] || fail "six boots with one hung: status $status, not 1 ($(cat stderr.txt))"
$py "$here/read_report.py" r.jsonl r.xml rep.txt "$work" || fail "the report does not agree"
grep -q '^qb7uart-sim: 6 boots, 1 failed; to the prompt: min' stderr.txt ||
  fail "no summary on stderr: $(cat stderr.txt)"
[ -s stdout.txt ] && fail "stdout holds something though --json was given: $(head -2 stdout.txt)"
ls "$work"/Term.txt 2>/dev/null && fail "the last boot was left as Term.txt, not kept"

# Without failures, the JSON lines on standard output and status 0.
"$work/qb7uart-sim" --boots 2 --timeout 6 < /dev/null > two.jsonl 2> /dev/null
status=$?
[ $status = 0 ] || fail "two good boots: status $status, not 0"
$py - two.jsonl <<'PY' || fail "two good boots: the JSON on stdout is not right"
import json, sys
lines = [json.loads(l) for l in open(sys.argv[1])]
assert [b["result"] for b in lines[:-1]] == ["prompt", "prompt"], lines
assert lines[-1]["summary"]["failures"] == 0 and lines[-1]["summary"]["prompt_ms"]["min"] > 1000, lines
PY

# Bad arguments: status 2, and nothing run.
"$work/qb7uart-sim" --boots 0 > /dev/null 2> bad.txt
status=$?
[ $status = 2 ] || fail "--boots 0: status $status, not 2"
grep -q -- "--boots takes a whole number" bad.txt || fail "--boots 0: $(cat bad.txt)"
"$work/qb7uart-sim" --boots 1 --json /nonexistent/r.jsonl > /dev/null 2> bad.txt
status=$?
[ $status = 2 ] || fail "an unwritable --json: status $status, not 2"

# SIGTERM in the first boot: the batch ends after it, the report written,
# and the process dies of the signal.
"$work/qb7uart-sim" --boots 5 --json term.jsonl < /dev/null 2> /dev/null &
pid=$!
sleep 1
kill -TERM $pid
wait $pid
status=$?
[ $status = 143 ] || fail "SIGTERM: status $status, not 143"
$py - term.jsonl <<'PY' || fail "SIGTERM: the report is not the first boot and a stopped summary: $(cat term.jsonl)"
import json, sys
lines = [json.loads(l) for l in open(sys.argv[1])]
assert len(lines) == 2 and lines[0]["result"] == "prompt", lines
assert lines[1]["summary"]["stopped"] is True and lines[1]["summary"]["boots"] == 1, lines
PY

# Two boots, the second with one step 800 ms slow: --compare (the last two
# boots of route 0 by default) flags that line and no other, status 1; a
# boot compared with itself differs in nothing, status 0.
"$work/qb7uart-sim" --boots 2 --timeout 6 --seed 3 --boot-fail .s --json slow.jsonl < /dev/null 2> /dev/null
"$work/qb7uart-sim" --compare > compare.txt 2>&1
status=$?
[ $status = 1 ] || fail "--compare of a slow boot: status $status, not 1: $(head -3 compare.txt)"
flagged=$(grep -c '^ *[-+0-9.]* *[-+0-9.]* *[-+0-9.]* *[-+0-9.]* ! ' compare.txt)
[ "$flagged" = 1 ] || fail "--compare flags $flagged lines, not 1: $(grep ' ! ' compare.txt)"
grep -q ' ! \[ *[0-9.]*\] Port  1..8: link down$' compare.txt ||
  fail "--compare did not flag the slow step: $(grep ' ! ' compare.txt)"
grep -q '^1 line moved by 100.0 ms or more (!), 0 new (+), 0 missing (-)$' compare.txt ||
  fail "--compare's count: $(grep 'moved by' compare.txt)"
second=$($py -c 'import json,sys; print(json.loads(open(sys.argv[1]).readline())["log"])' slow.jsonl)
"$work/qb7uart-sim" --compare "$second" "$work/$second.txt" > same.txt 2>&1
status=$?
[ $status = 0 ] || fail "a boot compared with itself: status $status, not 0: $(tail -3 same.txt)"
"$work/qb7uart-sim" --compare Term-nothing-r0 "$second" > /dev/null 2> bad.txt
status=$?
[ $status = 2 ] || fail "--compare of a session that is not there: status $status, not 2"

[ $failures = 0 ] && echo "boots in a batch: all checks passed"
exit $((failures != 0))
