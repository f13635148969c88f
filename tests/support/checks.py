"""Shared pieces of the test scripts: soft checks that collect failures, and
running a command with its output captured as text."""

import subprocess

# Every failed check, in order; a script fails when this is not empty.
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message)
    return condition


def run_text(args, **kwargs):
    return subprocess.run([str(a) for a in args], capture_output=True, text=True, **kwargs)
