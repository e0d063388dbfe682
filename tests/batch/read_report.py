#!/usr/bin/python3
"""Reads a batch's report as a CI server would: the JSON lines with
Python's json module, the JUnit XML with junitparser (Debian's
python3-junitparser), the simulated board's account of the boots it made
fail. Checks that they agree with each other and with the kept sessions on
disk; prints one line per fault and exits 1 when there is any.

Usage: read_report.py JSONL JUNIT_XML BOARD_REPORT LOG_FOLDER"""
import json
import os
import sys

from junitparser import JUnitXml, Failure

jsonl, xml, board_report, folder = sys.argv[1:5]
faults = []

lines = [json.loads(line) for line in open(jsonl, encoding="utf-8")]
boots, summary = lines[:-1], lines[-1]["summary"]
fates = {}
for line in open(board_report):
    if line.startswith("boot ") and ":" in line:
        number, fate = line[5:].split(":")
        fates[int(number)] = fate.strip()

if len(boots) != len(fates):
    faults.append(f"{len(boots)} boots reported, the board made {len(fates)}")
for boot in boots:
    fate = fates.get(boot["boot"])
    want = "time-out" if fate == "hang" else "prompt"
    if boot["result"] != want:
        faults.append(f"boot {boot['boot']}: {boot['result']}, the board made it {fate}")
    for ext in (".txt", ".times", ".raw"):
        if not os.path.isfile(os.path.join(folder, boot["log"] + ext)):
            faults.append(f"boot {boot['boot']}: no kept {boot['log'] + ext}")
failed = [b["boot"] for b in boots if b["result"] != "prompt"]
if summary["failures"] != len(failed) or summary["boots"] != len(boots):
    faults.append(f"summary {summary} does not count {len(boots)} boots, {len(failed)} failed")

suite_tests = 0
junit_failed = []
for suite in JUnitXml.fromfile(xml):
    suite_tests += suite.tests
    if suite.failures != len(failed):
        faults.append(f"JUnit suite says {suite.failures} failures, the JSON {len(failed)}")
    for case in suite:
        if any(isinstance(r, Failure) for r in case.result):
            junit_failed.append(int(case.name.split()[1]))
if suite_tests != len(boots):
    faults.append(f"JUnit has {suite_tests} test cases for {len(boots)} boots")
if junit_failed != failed:
    faults.append(f"JUnit failed {junit_failed}, the JSON {failed}")

for fault in faults:
    print("FAIL:", fault)
print(f"read {len(boots)} boots, {len(failed)} failed: {failed}")
sys.exit(1 if faults else 0)
