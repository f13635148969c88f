#!/usr/bin/env python3
"""Time and memory of installing each archive of the hostile-archive corpus.

Usage: bench/hostile.py [QUARN] [WRITER_EXE]
QUARN defaults to build/native/bin/quarn, WRITER_EXE to the Windows build's
build/windows/bin/quarn_hostile_writer.exe, which writes the corpus (under
Wine, in the Windows build's own prefix; build both presets first).

Each archive is unpacked by `quarn extract`, the launcher's own path, into a
fresh folder in bench/work/hostile/. Prints per archive its size, the exit
status, wall time and peak RSS, and the largest of each; the archive bytes
themselves are part of the RSS.
"""

import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
WORK = ROOT / "bench" / "work" / "hostile"


def peak_rss_kib(args):
    """(exit status, wall seconds, peak RSS in KiB) of one run. The RSS comes
    from /usr/bin/time: a child forked from this script would carry the
    script's own high-water mark across the exec."""
    began = time.monotonic()
    result = subprocess.run(["/usr/bin/time", "-f", "%x %M", *args], stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True)
    wall = time.monotonic() - began
    status, rss = result.stderr.strip().splitlines()[-1].split()
    return int(status), wall, int(rss)


def main():
    quarn = Path(sys.argv[1] if len(sys.argv) > 1 else ROOT / "build/native/bin/quarn")
    writer = Path(sys.argv[2] if len(sys.argv) > 2 else ROOT / "build/windows/bin/quarn_hostile_writer.exe")
    shutil.rmtree(WORK, ignore_errors=True)
    WORK.mkdir(parents=True)
    env = dict(os.environ, WINEPREFIX=str(ROOT / "build/windows/wineprefix"), WINEDEBUG="-all")
    subprocess.run(["wine", str(writer), "Z:" + str(WORK).replace("/", "\\")], env=env, check=True)
    subprocess.run(["wineserver", "-w"], env=env)
    rows = []
    for archive in sorted(WORK.glob("*.zip")):
        target = WORK / (archive.stem + ".out")
        status, wall, rss = peak_rss_kib([str(quarn), "extract", str(archive), str(target)])
        rows.append((archive.stem, archive.stat().st_size, status, wall, rss))
        shutil.rmtree(target, ignore_errors=True)
    print(f"{'archive':38} {'bytes':>8} {'exit':>4} {'wall ms':>8} {'peak RSS KiB':>12}")
    for label, size, status, wall, rss in rows:
        print(f"{label:38} {size:8} {status:4} {wall * 1000:8.1f} {rss:12}")
    print(f"largest: wall {max(r[3] for r in rows) * 1000:.1f} ms, peak RSS {max(r[4] for r in rows)} KiB")


if __name__ == "__main__":
    main()
