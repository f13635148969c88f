#!/usr/bin/env python3
"""Packing benchmark: quarn pack against zip -r and bsdtar --format zip.

Usage: bench/pack.py [QUARN] [--repetitions N] [--level L]
QUARN defaults to build/native/bin/quarn; quarn pack needs the launcher kit
(build the windows preset first).

Packs the payload of bench/extract.py (made in bench/work/ when missing,
with a stand-in game.exe beside it) with each tool, interleaved, and prints
each tool's median wall time, user CPU and archive size, and the ratios to
zip -r. quarn's size is its payload archive, read back with quarn list.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import extract  # noqa: E402  (the payload and the timer)

MB = 1 << 20


def game_folder():
    """The payload's files hard-linked into a game folder with its program."""
    game = extract.WORK / "game"
    if not (game / "game.exe").exists():
        shutil.rmtree(game, ignore_errors=True)
        subprocess.run(["cp", "-al", str(extract.PAYLOAD), str(game)], check=True)
        (game / "game.exe").write_bytes(b"MZ" + bytes(4094))
    return game


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("quarn", nargs="?", default=str(extract.ROOT / "build/native/bin/quarn"))
    parser.add_argument("--repetitions", type=int, default=3)
    parser.add_argument("--level", type=int, default=None, help="quarn pack --level (default: its own)")
    args = parser.parse_args()
    quarn = os.path.abspath(args.quarn)
    extract.generate_payload()
    game = game_folder()
    out = extract.WORK / "packed"
    level = [] if args.level is None else ["--level", str(args.level)]
    tools = {
        "quarn pack": ([quarn, "pack", "--game", str(game), "--id", "bench.game", "--version", "1.0.0.1",
                        "--out", str(out / "game.exe"), *level], out / "game.exe"),
        "zip -r": (["sh", "-c", f"cd {game} && zip -r -q {out / 'game.zip'} ."], out / "game.zip"),
        "bsdtar": (["bsdtar", "--format", "zip", "-cf", str(out / "game.zip"), "-C", str(game), "."],
                   out / "game.zip"),
    }
    samples = {name: [] for name in tools}
    sizes = {}
    for _ in range(args.repetitions):
        for name, (command, product) in tools.items():
            extract.fresh(out)
            out.mkdir()
            wall, user, _ = extract.timed(command)
            samples[name].append((wall, user))
            sizes[name] = product.stat().st_size
    extract.fresh(out)
    print(f"medians of {args.repetitions} interleaved runs; {os.cpu_count()} processors")
    print(f"{'tool':12} {'wall s':>8} {'user s':>8} {'size MiB':>9}")
    medians = {n: [statistics.median(s[k] for s in runs) for k in range(2)] for n, runs in samples.items()}
    for name, (wall, user) in medians.items():
        print(f"{name:12} {wall:8.3f} {user:8.3f} {sizes[name] / MB:9.1f}")
    q, z = medians["quarn pack"], medians["zip -r"]
    print(f"\nquarn pack/zip -r: wall {q[0] / z[0]:.2f}, size {sizes['quarn pack'] / sizes['zip -r']:.3f} "
          "(quarn's size is the whole package: launcher and payload)")


if __name__ == "__main__":
    main()
