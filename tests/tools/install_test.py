#!/usr/bin/env python3
"""quarn as a publisher gets it: installed with cmake --install, and as the
Debian package that cpack makes; each packs the sample game with the kit it
carries, found relative to the installed program.

Usage: install_test.py BUILD_DIR KIT_DIR GAME_FILES

BUILD_DIR is the native build; KIT_DIR the Windows build's kit, which the
installation carries (the sample game's program is taken from the Windows
build beside it). Exit 77 (skipped) when the Windows build is not there.
"""

import shutil
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
from checks import check, finish, run_text as run  # noqa: E402

SKIPPED = 77


def sample_game(root: Path, files: Path, program: Path) -> Path:
    game = root / "game"
    shutil.copytree(files, game)
    shutil.copy(program, game / "StarCourier.exe")
    return game


def pack_and_inspect(quarn: Path, game: Path, out: Path, what: str) -> bool:
    result = run([quarn, "pack", "--game", game, "--id", "harbourworks.starcourier",
                  "--version", "1.0.0.7", "--out", out])
    if not check(result.returncode == 0, f"{what}: pack: exit {result.returncode}: {result.stderr}"):
        return False
    result = run([quarn, "inspect", out])
    return check(result.returncode == 0, f"{what}: inspect: {result.stdout}{result.stderr}")


def installed(build: Path, root: Path, game: Path):
    prefix = root / "prefix"
    result = run(["cmake", "--install", build, "--prefix", prefix])
    if not check(result.returncode == 0, f"cmake --install: {result.stdout}{result.stderr}"):
        return
    quarn = prefix / "bin" / "quarn"
    kits = list(prefix.glob("lib*/**/quarn/kit"))
    check(quarn.is_file() and len(kits) == 1 and (kits[0] / "launcher.o").is_file(),
          f"installed files: {sorted(str(p.relative_to(prefix)) for p in prefix.rglob('*'))}")
    version = run([quarn, "--version"])
    check(version.returncode == 0 and version.stdout.startswith("quarn "), f"--version: {version.stdout!r}")
    # The installed kit is the one used: broken, it breaks the link.
    link = kits[0] / "link.txt"
    good = link.read_text()
    link.write_text("-Wl,--no-such-option " + good)
    result = run([quarn, "pack", "--game", game, "--id", "a.b", "--version", "1.0.0.1",
                  "--out", root / "broken" / "StarCourier.exe"])
    check(result.returncode == 1, f"installed quarn does not use its own kit: exit {result.returncode}")
    link.write_text(good)
    # Moved elsewhere, it still finds its kit.
    moved = root / "moved"
    shutil.move(prefix, moved)
    pack_and_inspect(moved / "bin" / "quarn", game, root / "installed" / "StarCourier.exe", "installed")


def debian_package(build: Path, root: Path, game: Path):
    output = root / "cpack"
    result = run(["cpack", "--config", build / "CPackConfig.cmake", "-B", output])
    debs = list(output.glob("*.deb"))
    if not check(result.returncode == 0 and len(debs) == 1, f"cpack: {result.stdout}{result.stderr}"):
        return
    depends = run(["dpkg-deb", "-f", debs[0], "Depends"]).stdout
    for needed in ("g++-mingw-w64-x86-64-posix", "binutils-mingw-w64-x86-64", "libzip"):
        check(needed in depends, f"the Debian package does not depend on {needed}: {depends!r}")
    unpacked = root / "deb"
    result = run(["dpkg-deb", "-x", debs[0], unpacked])
    if check(result.returncode == 0, f"dpkg-deb -x: {result.stderr}"):
        pack_and_inspect(unpacked / "usr" / "bin" / "quarn", game, root / "from-deb" / "StarCourier.exe",
                         "Debian package")


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    build, kit, files = (Path(a) for a in sys.argv[1:])
    program = kit.parent / "bin" / "StarCourier.exe"
    if not (kit / "launcher.o").is_file() or not program.is_file():
        print(f"skipped: no Windows build at {kit.parent} (cmake --build --preset windows)")
        return SKIPPED
    if run([build / "bin" / "quarn", "pack", "--help"]).returncode != 0:
        print("skipped: quarn was built without pack")
        return SKIPPED
    with tempfile.TemporaryDirectory(prefix="quarn-install-") as folder:
        root = Path(folder)
        game = sample_game(root, files, program)
        installed(build, root, game)
        debian_package(build, root, game)
    return finish()


if __name__ == "__main__":
    sys.exit(main())
