#!/usr/bin/env python3
"""The real launcher's first install under Wine: one unpacking worker against all.

Usage: bench/wine_install.py [--repetitions N]
Needs the native and windows presets built (quarn, the launcher kit, the
Star Courier program) and the Windows build's Wine prefix
(build/windows/wineprefix, made by its first test).

Packs the payload of bench/extract.py with Star Courier as its program, then
runs the package under Wine with QUARN_UNPACK_WORKERS=1 and without it,
interleaved, each time after removing the install folder, and prints the
median wall time from the launcher's start to the end of every Wine process
(the installed game is started and ends at once).
"""

import argparse
import getpass
import os
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import extract  # noqa: E402  (the payload)

ROOT = extract.ROOT
OWNER, GAME, PROGRAM = "bench", "install", "StarCourier.exe"


def package(quarn, kit, program):
    game = extract.WORK / "wine-game"
    exe = extract.WORK / "wine-package" / PROGRAM
    if not exe.exists():
        shutil.rmtree(game, ignore_errors=True)
        subprocess.run(["cp", "-al", str(extract.PAYLOAD), str(game)], check=True)
        shutil.copyfile(program, game / PROGRAM)
        exe.parent.mkdir(parents=True, exist_ok=True)
        subprocess.run([quarn, "pack", "--game", str(game), "--id", f"{OWNER}.{GAME}", "--version", "1.0.0.1",
                        "--out", str(exe), "--kit", str(kit)], check=True, stdout=subprocess.DEVNULL)
    return exe


def first_install(exe, env, install):
    shutil.rmtree(install, ignore_errors=True)
    os.sync()
    start = time.perf_counter()
    subprocess.run(["wine", str(exe)], cwd=exe.parent, env=env, check=True, timeout=600)
    subprocess.run(["wineserver", "-w"], env=env, timeout=600)
    wall = time.perf_counter() - start
    if not (install / PROGRAM).exists():
        sys.exit(f"nothing installed at {install}")
    return wall


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repetitions", type=int, default=3)
    parser.add_argument("--quarn", default=str(ROOT / "build/native/bin/quarn"))
    parser.add_argument("--kit", default=str(ROOT / "build/windows/kit"))
    parser.add_argument("--program", default=str(ROOT / "build/windows/bin" / PROGRAM))
    parser.add_argument("--prefix", default=str(ROOT / "build/windows/wineprefix"))
    args = parser.parse_args()
    extract.generate_payload()
    exe = package(args.quarn, args.kit, args.program)
    base = dict(os.environ, WINEPREFIX=args.prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    base.pop("QUARN_UNPACK_WORKERS", None)
    install = Path(args.prefix) / "drive_c/users" / getpass.getuser() / "Documents/QUARN/bin" / OWNER / GAME
    runs = {"1 worker": dict(base, QUARN_UNPACK_WORKERS="1"), "all workers": base}
    samples = {name: [] for name in runs}
    for _ in range(args.repetitions):
        for name, env in runs.items():
            samples[name].append(first_install(exe, env, install))
    shutil.rmtree(install, ignore_errors=True)
    print(f"first install under Wine, medians of {args.repetitions} interleaved runs; "
          f"{os.cpu_count()} processors")
    for name, walls in samples.items():
        print(f"{name:12} {statistics.median(walls):8.3f} s")


if __name__ == "__main__":
    main()
