#!/usr/bin/env python3
"""Extraction benchmark: quarn, on one worker and on all, against bsdtar and unzip.

Usage: bench/extract.py [QUARN] [--repetitions N] [--baseline OTHER_QUARN]
QUARN defaults to build/native/bin/quarn (build the native preset first).
--baseline adds another quarn build (an earlier commit's, say) to the same
interleaved runs, and prints QUARN's times against it.

Generates in bench/work/ (kept between runs, ignored by git) a payload of
about 165 MB (158 MiB) in 1600+ files: compressible text and random binary, nested
folders, four files over 20 MB. Zips it with Info-ZIP, then extracts it with
each tool into a fresh folder, interleaving the tools (quarn on one worker,
quarn on all, bsdtar, unzip, ...) so that cache effects fall on all of them
alike. Prints each tool's median wall time, user CPU and peak RSS, and the
ratios to bsdtar and unzip.
"""

import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
WORK = ROOT / "bench" / "work"
PAYLOAD = WORK / "payload"
ARCHIVE = WORK / "payload.zip"
STAMP = WORK / "payload.done"
MB = 1 << 20


def make_corpus(rng):
    words = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randrange(2, 10)))
             for _ in range(3000)]
    lines = (" ".join(rng.choice(words) for _ in range(rng.randrange(4, 14))) for _ in range(40000))
    return ("\n".join(lines) + "\n").encode()


def text_bytes(rng, corpus, size):
    out = bytearray()
    while len(out) < size:
        start = rng.randrange(len(corpus) - 4096)
        out += corpus[start: start + rng.randrange(1024, 4096)]
    return bytes(out[:size])


def generate_payload():
    if STAMP.exists():
        return
    shutil.rmtree(WORK, ignore_errors=True)
    PAYLOAD.mkdir(parents=True)
    rng = random.Random(150)
    corpus = make_corpus(rng)
    for i in range(1600):
        folder = PAYLOAD / f"area{i % 8}" / f"zone{i % 5}" / (f"level{i % 3}" if i % 2 else "")
        folder.mkdir(parents=True, exist_ok=True)
        size = int(rng.expovariate(1 / 38000))
        if i % 3 == 0:
            data, suffix = os.urandom(size), "bin"
        else:
            data, suffix = text_bytes(rng, corpus, size), "txt"
        (folder / f"file{i:04d}.{suffix}").write_bytes(data)
    big = PAYLOAD / "big"
    big.mkdir()
    for k in range(2):
        (big / f"random{k}.bin").write_bytes(os.urandom(26 * MB + k * 4099))
        (big / f"text{k}.txt").write_bytes(text_bytes(rng, corpus, 24 * MB + k * 7919))
    subprocess.run(["zip", "-r", "-q", str(ARCHIVE), "payload"], cwd=WORK, check=True)
    STAMP.touch()


def tree_size(root):
    count = total = 0
    for dirpath, _, filenames in os.walk(root):
        for f in filenames:
            count += 1
            total += os.path.getsize(os.path.join(dirpath, f))
    return count, total


def timed(command, env=None):
    """(wall seconds, user seconds, peak RSS in KiB) of one run.

    The peak RSS comes from /usr/bin/time: a child forked from this script
    would carry the script's own high-water mark across the exec. User time
    comes from wait4, which includes time's waited-for child, at full
    precision."""
    report = WORK / "time.out"
    start = time.perf_counter()
    process = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", str(report), *command],
                               stdout=subprocess.DEVNULL, env=env)
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        sys.exit(f"{command[0]} failed with status {process.returncode}")
    return wall, usage.ru_utime, int(report.read_text().split()[-1])


def fresh(folder):
    shutil.rmtree(folder, ignore_errors=True)
    os.sync()  # the previous run's writes must not land on the next one


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("quarn", nargs="?", default=str(ROOT / "build/native/bin/quarn"))
    parser.add_argument("--repetitions", type=int, default=5)
    parser.add_argument("--baseline", help="another quarn binary to time alongside")
    args = parser.parse_args()
    quarn = os.path.abspath(args.quarn)
    baseline = os.path.abspath(args.baseline) if args.baseline else None
    for binary in filter(None, (quarn, baseline)):
        if not os.access(binary, os.X_OK):
            sys.exit(f"no quarn binary at {binary}")
    if not os.access("/usr/bin/time", os.X_OK):
        sys.exit("needs /usr/bin/time (Debian package time)")

    generate_payload()
    files, payload_bytes = tree_size(PAYLOAD)
    archive_bytes = ARCHIVE.stat().st_size
    print(f"payload: {files} files, {payload_bytes / MB:.1f} MiB; archive {archive_bytes / MB:.1f} MiB")

    out = WORK / "out"
    one = dict(os.environ, QUARN_UNPACK_WORKERS="1")
    every = {k: v for k, v in os.environ.items() if k != "QUARN_UNPACK_WORKERS"}
    tools = {
        "quarn-1": ([quarn, "extract", str(ARCHIVE), str(out)], one),
        "quarn-all": ([quarn, "extract", str(ARCHIVE), str(out)], every),
        "bsdtar": (["bsdtar", "-xf", str(ARCHIVE), "-C", str(out)], None),
        "unzip": (["unzip", "-qq", str(ARCHIVE), "-d", str(out)], None),
    }
    if baseline:
        tools["base-1"] = ([baseline, "extract", str(ARCHIVE), str(out)], one)
        tools["base-all"] = ([baseline, "extract", str(ARCHIVE), str(out)], every)
    samples = {name: [] for name in tools}
    for _ in range(args.repetitions):
        for name, (command, env) in tools.items():
            fresh(out)
            out.mkdir()
            samples[name].append(timed(command, env))
            if name.startswith(("quarn", "base")) and tree_size(out / "payload") != (files, payload_bytes):
                sys.exit(f"{name}'s output differs from the payload")
    fresh(out)

    medians = {name: [statistics.median(s[k] for s in runs) for k in range(3)]
               for name, runs in samples.items()}
    print(f"\nmedians of {args.repetitions} interleaved runs")
    print(f"all workers: {os.cpu_count()} processors, at most 8 workers")
    print(f"{'tool':10} {'wall s':>8} {'user s':>8} {'peak RSS MiB':>13}")
    for name, (wall, user, rss) in medians.items():
        print(f"{name:10} {wall:8.3f} {user:8.3f} {rss / 1024:13.1f}")
    b, u = medians["bsdtar"], medians["unzip"]
    print()
    for name in ("quarn-1", "quarn-all"):
        q = medians[name]
        print(f"{name}: wall/bsdtar {q[0] / b[0]:.2f}, wall/unzip {q[0] / u[0]:.2f}, "
              f"peak RSS minus the mapped archive {(q[2] * 1024 - archive_bytes) / MB:.1f} MiB")
    if baseline:
        for workers in ("1", "all"):
            q, base = medians[f"quarn-{workers}"], medians[f"base-{workers}"]
            print(f"quarn-{workers} against base-{workers}: wall {q[0] / base[0]:.2f}, user {q[1] / base[1]:.2f}, "
                  f"peak RSS {q[2] - base[2]:+d} KiB")


if __name__ == "__main__":
    main()
