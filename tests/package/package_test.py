#!/usr/bin/env python3
"""Packages made by quarn pack, checked from the outside.

Usage: package_test.py --quarn QUARN --windres WINDRES --cxx MINGW_CXX
                       [--kit PROBE_KIT --windows-quarn QUARN_EXE] {wine|inspect|refusals}

wine: small games are packed with the probe kit (a console stand-in for the
launcher that prints what the identity calls see) and run under Wine: the
identity, lead text, payload size and build number come back; another package
is read by module name; a guest package gets the guest identity; the Windows
build of quarn inspects a package through the real resource calls. Packages
that pack does not make (versions with two translations, with commas, with
three numbers; a GAMECONFIG that is no archive) are built here with windres.
The resources themselves (dialog 102, languages) are read back from the PE file.

inspect: quarn inspect on sound and damaged packages (a payload byte patched,
a GAMEID made for another payload size, a config that is no archive), and
the payload archive as pack writes it (names, times, attributes).

refusals: bad arguments and bad game folders give the right exit status and
one "quarn: " line, and leave neither an output file nor a scratch folder
behind; so do kits whose resource or link step fails and an output that
cannot be written.

wine needs the probe kit and quarn.exe of the Windows build; inspect and
refusals link their packages from a stand-in kit made here with the
mingw-w64 compiler, and run in the native build.
"""

import argparse
import calendar
import io
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
from checks import RT_DIALOG, RT_RCDATA, RT_VERSION, check, finish, gamedata  # noqa: E402
from checks import link_with_kit, make_certificate, pe_resources, version_block  # noqa: E402
from checks import run_text as run  # noqa: E402

ARGS = None

# The exit status that ctest reads as "skipped" (SKIP_RETURN_CODE).
SKIPPED = 77
DIALOG_SCRIPT = Path(__file__).resolve().parents[2] / "src" / "app" / "dialog.rc"

# ------------------------------------------------------------ packages

# French, and a Japanese folder holding a character outside the Basic
# Multilingual Plane (a surrogate pair in UTF-16).
NON_ASCII_NAMES = ["donn\u00e9es/\u00e9t\u00e9.txt", "\u65e5\u672c/\U0001f3ae.sav"]


def make_game(folder: Path, program: str, extra=None):
    """A small game: its program, a text file, a random file, an empty folder."""
    rng = random.Random(program)
    files = {program: b"MZ stand-in for the game's program\n",
             "data/level1.txt": b"level one\n" * 200,
             "data/noise.bin": rng.randbytes(3000)}
    files.update(extra or {})
    for name, content in files.items():
        (folder / name).parent.mkdir(parents=True, exist_ok=True)
        (folder / name).write_bytes(content)
    (folder / "saves").mkdir(exist_ok=True)
    return folder


def pack(*args, env=None):
    return run([ARGS.quarn, "pack", *args, "--kit", ARGS.kit], env=env)


def pack_ok(*args):
    result = pack(*args)
    check(result.returncode == 0, f"pack {args}: exit {result.returncode}: {result.stderr.strip()}")
    return result


def link_exe(rc_text: str, out: Path):
    """Links the probe kit with a resource script of our own."""
    link_with_kit(rc_text, out, ARGS.kit, ARGS.windres, ARGS.cxx)


def small_zip(path: Path):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("game.exe", b"game\n")
    return path


def wine(folder: Path, program: str, *args):
    """Runs a probe package under Wine; its key=value lines as a dict. Once in
    a while Wine ends a program before any of it ran (a failure status and
    not a byte of output): that attempt is shown and the probe, which only
    reads, is started once more."""
    for attempt in (1, 2):
        result = run(["wine", program, *args], cwd=folder, timeout=120)
        if result.returncode == 0 or result.stdout:
            break
        print(f"wine {program}: attempt {attempt} ended with exit {result.returncode} before any output: "
              f"{result.stderr.strip()!r}")
    lines = result.stdout.replace("\r", "").splitlines()
    values = dict(line.split("=", 1) for line in lines if "=" in line)
    check(result.returncode == 0 and values, f"wine {program}: exit {result.returncode}: {result.stderr.strip()}")
    return values


def expect(values, expected, what):
    for key, value in expected.items():
        check(values.get(key) == value, f"{what}: {key}={values.get(key)!r}, expected {value!r}")


def gamedata_size(exe: Path):
    return str(len(gamedata(exe)))


# ------------------------------------------------------------ wine

def test_wine(root: Path):
    packages = root / "packages"
    packages.mkdir()
    # Identities with both kinds of halves, and a lead text that fills the
    # record's 160 symbols exactly.
    cases = [("alpha.exe", "velmor.alpha", "Made by the test, 100% printable!", "1.2.3.45", "45"),
             ("second.exe", "@studio9.x2", "", "0.0.0.65535", "65535"),
             ("third.exe", "0.g", "L" * 93, "7.0.0.0", "0")]
    for program, identity, lead, version, build in cases:
        game = make_game(root / ("game-" + program), program)
        lead_args = ["--lead", lead] if lead else []
        pack_ok("--game", game, "--id", identity, *lead_args, "--version", version,
                "--out", packages / program)
        values = wine(packages, program)
        expect(values, {"identity": identity, "lead": lead, "size": gamedata_size(packages / program),
                        "build": build, "version": version, "launch": identity, "launch2": identity},
               program)

    # Another package by module name; the program's own identity is unchanged.
    values = wine(packages, "alpha.exe", "second.exe")
    expect(values, {"identity": "velmor.alpha", "other_identity": "@studio9.x2", "other_lead": "",
                    "other_size": gamedata_size(packages / "second.exe"), "other_build": "65535",
                    "other_version": "0.0.0.65535", "launch2": "velmor.alpha"}, "module by name")

    # Guest: no GAMEID, a configuration with HUB.INI; the program's name
    # comes back whole, spaces and extension included.
    config = root / "config"
    (config / "sub").mkdir(parents=True)
    (config / "HUB.INI").write_text("[hub]\n")
    (config / "sub" / "other.cfg").write_text("x\n")
    guest = make_game(root / "game-guest", "Space Run.exe")
    pack_ok("--game", guest, "--no-id", "--config", config, "--version", "1.0.0.9",
            "--out", packages / "Space Run.exe")
    expect(wine(packages, "Space Run.exe"),
           {"identity": "(none)", "size": "(none)", "build": "9",
            "launch": "Guest.Space Run.exe", "launch2": "Guest.Space Run.exe"}, "guest")
    # Started by its Unix path, the program sees a DOS path (Z:\...).
    expect(wine(packages, packages / "Space Run.exe"), {"launch": "Guest.Space Run.exe"},
           "guest by full path")

    crafted = root / "crafted"
    crafted.mkdir()
    small_zip(crafted / "payload.zip")
    # Neither GAMEID nor GAMECONFIG (pack refuses to make it): no identity at all.
    link_exe('GAMEDATA RCDATA "payload.zip"\n', crafted / "bare.exe")
    expect(wine(crafted, "bare.exe"), {"identity": "(none)", "launch": "(none)", "launch2": "(none)"},
           "no identity")

    (crafted / "garbage.bin").write_bytes(random.Random(7).randbytes(700))
    # A configuration that deciphers to garbage gives no guest identity, also
    # when asked a second time.
    link_exe('GAMEDATA RCDATA "payload.zip"\nGAMECONFIG RCDATA "garbage.bin"\n'
             + version_block([(0x409, 1200)], {"040904B0": "1.0.0.3"}), crafted / "badconfig.exe")
    expect(wine(crafted, "badconfig.exe"), {"launch": "(none)", "launch2": "(none)", "build": "3"},
           "config that is no archive")

    # The build number: the fourth number of FileVersion, looked up under
    # the one translation, else under the user's language (English here).
    versions = [
        ("two translations: the user's language", [(0x407, 1200), (0x409, 1200)],
         {"040704B0": "7.7.7.7", "040904B0": "2.5.1.340"}, "340", "2.5.1.340"),
        ("two translations, none for the user's language", [(0x407, 1200), (0x409, 1200)],
         {"040704B0": "7.7.7.7"}, "0", "(none)"),
        ("one translation, not the user's language", [(0x407, 1200)],
         {"040704B0": "4.3.2.1"}, "1", "4.3.2.1"),
        ("written with commas", [(0x409, 1200)], {"040904B0": "1, 0, 0, 22"}, "0", "1, 0, 0, 22"),
        ("three numbers", [(0x409, 1200)], {"040904B0": "3.1.4"}, "0", "3.1.4"),
        ("no version resource", None, None, "0", "(none)"),
    ]
    for i, (what, translations, tables, build, text) in enumerate(versions):
        rc = 'GAMEDATA RCDATA "payload.zip"\n'
        if translations:
            rc += version_block(translations, tables)
        link_exe(rc, crafted / f"version{i}.exe")
        expect(wine(crafted, f"version{i}.exe"), {"build": build, "version": text}, what)
        # The same file read by name from another program.
        expect(wine(packages, "alpha.exe", str(crafted / f"version{i}.exe")),
               {"other_build": build, "other_version": text}, what + ", by name")

    check_resources(packages / "alpha.exe")

    # quarn inspect built for Windows reads the package through the real
    # resource calls.
    result = run(["wine", ARGS.windows_quarn, "inspect", "alpha.exe"], cwd=packages, timeout=120)
    check(result.returncode == 0 and "identity: velmor.alpha" in result.stdout.replace("\r", ""),
          f"quarn.exe inspect under Wine: exit {result.returncode}\n{result.stdout}{result.stderr}")


def check_resources(exe: Path):
    """Dialog 102 as the shell needs it, and every resource in English (US)."""
    resources = pe_resources(exe)
    language, dialog, _ = resources[(RT_DIALOG, 102)]
    check(language == 1033 and len(dialog) == 66, f"dialog 102: language {language}, {len(dialog)} bytes")
    version, signature, help_id, ex_style, style, controls, x, y, cx, cy = struct.unpack_from("<HHIIIHhhhh", dialog)
    check((version, signature, help_id, ex_style, style, controls, x, y, cx, cy)
          == (1, 0xFFFF, 0, 0x00040000, 0x80C800C0, 0, 0, 0, 185, 79),
          f"dialog 102 header {(version, signature, help_id, hex(ex_style), hex(style), controls, x, y, cx, cy)}")
    menu, window_class, caption, points, weight, italic, charset = struct.unpack_from("<HHHHHBB", dialog, 26)
    face = dialog[38:].decode("utf-16-le")
    check((menu, window_class, caption, points, weight, italic, charset, face)
          == (0, 0, 0, 8, 0, 0, 1, "MS Sans Serif\0"),
          f"dialog 102 font and texts {(menu, window_class, caption, points, weight, italic, charset, face)}")
    for key in ((RT_RCDATA, "GAMEDATA"), (RT_RCDATA, "GAMEID"), (RT_VERSION, 1)):
        check(key in resources and resources[key][0] == 1033, f"resource {key} missing or not English (US)")


# ------------------------------------------------------------ inspect

def inspect(exe):
    return run([ARGS.quarn, "inspect", exe])


def fields(result):
    return dict((line.split(":", 1)[0], line.split(":", 1)[1].strip())
                for line in result.stdout.splitlines() if ":" in line)


def expect_inspect(exe, status, expected, what):
    result = inspect(exe)
    got = fields(result)
    check(result.returncode == status, f"inspect {what}: exit {result.returncode}, expected {status}\n{result.stdout}{result.stderr}")
    for key, fragment in expected.items():
        check(fragment in got.get(key, ""), f"inspect {what}: {key}: {got.get(key)!r} lacks {fragment!r}")
    if status != 0:
        lines = result.stderr.splitlines()
        check(len(lines) == 1 and lines[0].startswith("quarn: "), f"inspect {what}: stderr {result.stderr!r}")
    return result


def patched(source: Path, target: Path, entry: str):
    """A copy of the package with one data byte of a payload entry flipped."""
    data = bytearray(source.read_bytes())
    _, payload, at = pe_resources(source)[(RT_RCDATA, "GAMEDATA")]
    info = zipfile.ZipFile(io.BytesIO(payload)).getinfo(entry)
    name_length, extra_length = struct.unpack_from("<HH", payload, info.header_offset + 26)
    start = info.header_offset + 30 + name_length + extra_length
    data[at + start + info.compress_size // 2] ^= 0x55
    target.write_bytes(data)
    return target


def test_inspect(root: Path):
    out = root / "out"
    out.mkdir()
    # Names in other scripts, so that list and extract show them as they are.
    game = make_game(root / "game", "alpha.exe", {NON_ASCII_NAMES[0]: b"fr\n", NON_ASCII_NAMES[1]: b"save\n"})
    pack_ok("--game", game, "--id", "velmor.alpha", "--lead", "hello", "--version", "1.2.3.45",
            "--out", out / "alpha.exe")
    entries = str(len(zipfile.ZipFile(io.BytesIO(gamedata(out / "alpha.exe"))).infolist()))
    expect_inspect(out / "alpha.exe", 0,
                   {"identity": "velmor.alpha", "lead": '"hello"', "build": '45 (FileVersion "1.2.3.45")',
                    "payload": f"{gamedata_size(out / 'alpha.exe')} bytes, {entries} entries",
                    "entries": "all intact", "config": "none", "verdict": "sound"}, "sound package")

    config = root / "config"
    config.mkdir()
    (config / "Hub.Ini").write_text("[hub]\n")
    guest_game = make_game(root / "guest", "guest.exe")
    pack_ok("--game", guest_game, "--no-id", "--config", config, "--version", "1.0.0.2",
            "--out", out / "guest.exe")
    expect_inspect(out / "guest.exe", 0, {"identity": "none: no GAMEID", "guest": "Guest.guest.exe",
                                          "config": "hub.ini 6 bytes", "verdict": "sound"}, "guest package")

    bare = root / "bare"
    bare.mkdir()
    small_zip(bare / "payload.zip")
    link_exe('GAMEDATA RCDATA "payload.zip"\n', bare / "bare.exe")
    expect_inspect(bare / "bare.exe", 1, {"identity": "none: no GAMEID resource", "config": "none",
                                          "verdict": "not sound"}, "no identity")

    result = expect_inspect(patched(out / "alpha.exe", out / "damaged.exe", "data/noise.bin"), 1,
                            {"identity": "velmor.alpha", "entries": "1 of", "verdict": "not sound"},
                            "patched payload byte")
    damaged = fields(result).get("damaged", "")
    check(damaged.startswith("data/noise.bin: ") and "CRC" in damaged,
          f"patched payload: the entry and the CRC are not named\n{result.stdout}")

    # GAMEID of one package with the payload of another.
    other = make_game(root / "other", "alpha.exe", {"more.txt": b"a larger payload\n" * 50})
    (out / "other").mkdir()
    pack_ok("--game", other, "--id", "velmor.alpha", "--version", "1.2.3.45", "--out", out / "other" / "alpha.exe")
    crafted = root / "crafted"
    crafted.mkdir()
    (crafted / "payload.zip").write_bytes(gamedata(out / "other" / "alpha.exe"))
    (crafted / "gameid.bin").write_bytes(pe_resources(out / "alpha.exe")[(RT_RCDATA, "GAMEID")][1])
    link_exe('GAMEDATA RCDATA "payload.zip"\nGAMEID RCDATA "gameid.bin"\n', crafted / "alpha.exe")
    expect_inspect(crafted / "alpha.exe", 1,
                   {"identity": "does not decode for this payload size", "entries": "all intact"},
                   "GAMEID for another payload size")

    (crafted / "garbage.bin").write_bytes(random.Random(3).randbytes(500))
    link_exe('GAMEDATA RCDATA "payload.zip"\nGAMECONFIG RCDATA "garbage.bin"\n', crafted / "badconfig.exe")
    expect_inspect(crafted / "badconfig.exe", 1, {"config": "does not decipher to an archive"},
                   "config that is no archive")

    (crafted / "notes.exe").write_text("not a program\n")
    expect_inspect(crafted / "notes.exe", 1, {"identity": "none: no GAMEDATA", "payload": "none"},
                   "not a PE file")

    inspect_unsound_headers_and_identities(root, out / "alpha.exe")
    inspect_read_only_entries(root)
    check_payload_archive(root)
    read_packages_as_archives(root, game, out / "alpha.exe")


def inspect_unsound_headers_and_identities(root: Path, sound: Path):
    """An empty half of the identity, which would install the game into its
    owner's folder, and a program image that Windows would not load: both
    unsound. The image size is patched into the header, so no gigabytes are
    written."""
    folder = root / "unsound"
    folder.mkdir()
    payload = gamedata(sound)
    (folder / "payload.zip").write_bytes(payload)
    for what, owner, game in (("empty owner", "", "lumendrift"), ("empty game", "lumenworks", "")):
        result = run([ARGS.gameid_writer, owner, game, len(payload), folder / "gameid.bin"])
        check(result.returncode == 0, f"gameid_writer {what}: {result.stderr}")
        exe = folder / f"{what.replace(' ', '-')}.exe"
        link_exe('GAMEDATA RCDATA "payload.zip"\nGAMEID RCDATA "gameid.bin"\n', exe)
        result = expect_inspect(exe, 1, {"identity": f"{owner}.{game}", "verdict": "not sound"}, what)
        check(f"{what.split()[1]} is empty" in result.stderr, f"{what}: reason not given: {result.stderr!r}")

    data = bytearray(sound.read_bytes())
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    size_at = pe + 24 + 56  # SizeOfImage
    for image_size, status in ((1_800_000_000, 0), (0x7FFFF000, 0), (0x80000000, 1), (0xFFFFF000, 1)):
        struct.pack_into("<I", data, size_at, image_size)
        exe = folder / f"image-{image_size:x}" / sound.name
        exe.parent.mkdir()
        exe.write_bytes(data)
        result = expect_inspect(exe, status, {"image": f"{image_size} bytes"}, f"image of {image_size:#x} bytes")
        if status:
            check("2 GiB" in result.stderr, f"image of {image_size:#x} bytes: the limit is not named: {result.stderr!r}")
        warned = "fail to load on many machines" in result.stdout
        check(warned == (image_size == 0x7FFFF000), f"image of {image_size:#x} bytes: warning {warned}")


def inspect_read_only_entries(root: Path):
    """Entries that install read-only, and so can never be updated: the
    read-only bit, and a zero upper half (an archive made on Windows, where
    the lower half alone holds no write permission) each get a warning; the
    package stays sound."""
    folder = root / "read-only"
    folder.mkdir()
    entries = [("game.exe", 3, 0o100644 << 16),          # Unix, writable: no warning
               ("locked.txt", 3, (0o100444 << 16)),      # Unix, no write permission
               ("flagged.txt", 0, 0x21),                 # Windows, read-only bit
               ("plain.txt", 0, 0x20),                   # Windows: zero upper half
               ("folder/", 0, 0x10)]                     # a folder: never warned about
    with zipfile.ZipFile(folder / "payload.zip", "w") as z:
        for name, system, attributes in entries:
            info = zipfile.ZipInfo(name, (2020, 1, 1, 0, 0, 0))
            info.create_system, info.external_attr = system, attributes
            z.writestr(info, b"" if name.endswith("/") else b"text\n")
    result = run([ARGS.gameid_writer, "velmor", "game", (folder / "payload.zip").stat().st_size, folder / "gameid.bin"])
    check(result.returncode == 0, f"gameid_writer: {result.stderr}")
    link_exe('GAMEDATA RCDATA "payload.zip"\nGAMEID RCDATA "gameid.bin"\n', folder / "game.exe")
    result = expect_inspect(folder / "game.exe", 0, {"verdict": "sound"}, "read-only entries")
    warned = [line for line in result.stdout.splitlines() if line.startswith("warning:") and "read-only" in line]
    for name in ("locked.txt", "flagged.txt", "plain.txt"):
        check(any(f" {name} " in line for line in warned), f"read-only entries: no warning for {name}: {warned}")
    check(len(warned) == 3, f"read-only entries: warnings {warned}")


def read_packages_as_archives(root: Path, game: Path, package: Path):
    """quarn list and quarn extract take a package for its payload; a program
    without one is still read as a ZIP archive (and is none)."""
    listed = run([ARGS.quarn, "list", package])
    names = sorted(line.split()[-1] for line in listed.stdout.splitlines()[1:])
    expected = sorted(zipfile.ZipFile(io.BytesIO(gamedata(package))).namelist())
    check(listed.returncode == 0 and names == expected, f"list of a package: exit {listed.returncode}, {names}")
    target = root / "extracted package"
    result = run([ARGS.quarn, "extract", package, target])
    check(result.returncode == 0, f"extract of a package: exit {result.returncode}: {result.stderr}")
    for path in game.rglob("*"):
        twin = target / path.relative_to(game)
        check(twin.is_dir() if path.is_dir() else twin.is_file() and twin.read_bytes() == path.read_bytes(),
              f"extract of a package: {path.relative_to(game)} differs")
    no_payload = root / "no payload"
    no_payload.mkdir()
    link_exe(version_block([(0x409, 1200)], {"040904B0": "1.0.0.1"}), no_payload / "plain.exe")
    for command in (["list", no_payload / "plain.exe"], ["extract", no_payload / "plain.exe", root / "nothing"]):
        result = run([ARGS.quarn, *command])
        check(result.returncode == 1 and result.stderr.startswith("quarn: ") and len(result.stderr.splitlines()) == 1,
              f"{command[0]} of a program without payload: exit {result.returncode}: {result.stderr!r}")


def check_payload_archive(root: Path):
    """The payload as pack zips it: names, folders, compression, times, modes."""
    game = root / "zipped"
    make_game(game, "zipped.exe", {"read only.txt": b"do not change\n", "deep/er/file.txt": b"deep\n",
                                   **{name: b"named\n" for name in NON_ASCII_NAMES}})
    os.chmod(game / "read only.txt", 0o444)
    os.chmod(game / "zipped.exe", 0o755)
    # Entry times are recorded in UTC, whatever the packer's time zone.
    stamp = calendar.timegm((2021, 3, 4, 5, 6, 8, 0, 0, 0))
    for path in [game, *game.rglob("*")]:
        os.utime(path, (stamp, stamp))
    out = root / "zipped-out"
    out.mkdir()
    pack_ok("--game", game, "--id", "a.b", "--version", "1.0.0.0", "--out", out / "zipped.exe")
    payload = zipfile.ZipFile(io.BytesIO(gamedata(out / "zipped.exe")))
    expected = sorted([p.relative_to(game).as_posix() + ("/" if p.is_dir() else "") for p in game.rglob("*")])
    check(sorted(payload.namelist()) == expected, f"payload names {sorted(payload.namelist())}, expected {expected}")
    for info in payload.infolist():
        # Names beyond ASCII carry the UTF-8 flag; ASCII names stay unflagged.
        check(bool(info.flag_bits & 0x800) == (not info.filename.isascii()),
              f"{info.filename}: general-purpose flags {info.flag_bits:#x}")
        path = game / info.filename
        mode = os.stat(path).st_mode
        dos = (0x10 if info.is_dir() else 0) | (0x01 if not info.is_dir() and not mode & 0o200 else 0)
        check(info.external_attr == (mode << 16) | dos and info.create_system == 3,
              f"{info.filename}: external attributes {info.external_attr:#x}, expected {(mode << 16) | dos:#x}")
        check(info.date_time == (2021, 3, 4, 5, 6, 8), f"{info.filename}: DOS time {info.date_time}")
        if not info.is_dir() and info.file_size:
            check(info.compress_type in (zipfile.ZIP_DEFLATED, zipfile.ZIP_STORED) and
                  (info.compress_type == zipfile.ZIP_DEFLATED or info.filename == "data/noise.bin"),
                  f"{info.filename}: compression {info.compress_type}")
            check(payload.read(info) == path.read_bytes(), f"{info.filename}: content differs")


# ------------------------------------------------------------ refusals

def expect_refused(result, what, fragment, status=1, one_line=True):
    """Exit status, and a first stderr line "quarn: ..." that holds fragment;
    failed steps may add the tool's own output below it."""
    lines = result.stderr.splitlines()
    check(result.returncode == status, f"{what}: exit {result.returncode}, expected {status}: {result.stderr.strip()}")
    check(bool(lines) and lines[0].startswith("quarn: ") and fragment in lines[0],
          f"{what}: first stderr line lacks 'quarn: ' or {fragment!r}: {result.stderr!r}")
    if one_line:
        check(len(lines) == 1, f"{what}: stderr is more than one line: {result.stderr!r}")


def test_refusals(root: Path):
    game = make_game(root / "my game", "alpha.exe")
    config = root / "config"
    config.mkdir()
    (config / "hub.ini").write_text("")
    out = root / "out"
    out.mkdir()
    scratch = root / "scratch"
    scratch.mkdir()
    env = dict(os.environ, TMPDIR=str(scratch))
    base = {"--game": game, "--id": "velmor.alpha", "--version": "1.2.3.4", "--out": out / "alpha.exe"}

    def args_with(**changes):
        options = dict(base)
        for key, value in changes.items():
            options["--" + key.replace("_", "-")] = value
        words = []
        for key, value in options.items():
            if value is not None:
                words += [key] if value is True else [key, value]
        return words

    usage, refused = 2, 1
    cases = [
        ("no options", [], usage),
        ("unknown option", args_with(colour="red"), usage),
        ("option without value", args_with() + ["--lead"], usage),
        ("option twice", args_with() + ["--version", "1.2.3.4"], usage),
        ("option twice, once joined", args_with() + ["--version=1.2.3.4"], usage, "given twice"),
        ("--no-id with a value", args_with(id=None, config=config) + ["--no-id=yes"], usage, "takes no value"),
        ("joined option without a value", args_with(version=None) + ["--version="], usage),
        ("--id and --no-id", args_with(no_id=True), usage),
        ("neither --id nor --no-id", args_with(id=None), usage),
        ("--lead with --no-id", args_with(id=None, no_id=True, lead="x"), usage),
        ("no --game", args_with(game=None), usage),
        ("no --version", args_with(version=None), usage),
        ("no --out", args_with(out=None), usage),
        # Bad values are bad arguments: the value comes back, with what to do.
        ("upper-case identity", args_with(id="Velmor.alpha"), usage, "'Velmor.alpha'", "use lowercase"),
        ("identity without '.'", args_with(id="velmor"), usage, "'velmor'"),
        ("identity with two '.'", args_with(id="a.b.c"), usage, "'a.b.c'"),
        ("empty game half", args_with(id="lumenworks."), usage, "'lumenworks.'", "the game is empty"),
        ("empty owner half", args_with(id=".lumendrift"), usage, "'.lumendrift'", "the owner is empty"),
        ("space in identity", args_with(id="vel mor.alpha"), usage, "only a-z, 0-9 and '@'"),
        ("'-' in identity", args_with(id="vel-mor.alpha"), usage, "'vel-mor.alpha'"),
        ("non-ASCII identity", args_with(id="v\u00e9lmor.alpha"), usage),
        ("lead over 127 bytes", args_with(lead="x" * 128), usage, "--lead"),
        ("lead with a tab", args_with(lead="a\tb"), usage, "'a\\x09b'"),
        ("record over 160 symbols", args_with(id="a.b", lead="L" * 94), usage),
        ("three-number version", args_with(version="1.0"), usage, "--version '1.0'", "A.B.C.D"),
        ("five-number version", args_with(version="1.2.3.4.5"), usage),
        ("version number over 65535", args_with(version="1.2.3.65536"), usage),
        ("negative version number", args_with(version="1.2.3.-1"), usage),
        ("empty version number", args_with(version="1..3.4"), usage),
        ("version with commas", args_with(version="1,2,3,4"), usage),
        ("version with a blank", args_with(version="1.2.3.4 "), usage),
        ("level over 9", args_with(level="10"), usage, "--level '10'", "0 (stored) to 9"),
        ("negative level", args_with(level="-1"), usage, "--level '-1'"),
        ("level not a number", args_with(level="fast"), usage, "--level 'fast'"),
        ("level twice", args_with(level="6") + ["--level", "1"], usage, "given twice"),
        ("--no-id without --config", args_with(id=None, no_id=True), usage, "hub.ini"),
        ("--no-id, no hub.ini in the config", args_with(id=None, no_id=True, config=game / "data"), refused,
         "holds no hub.ini"),
        ("--timestamp without --sign", args_with(timestamp="http://localhost/"), usage),
        ("missing certificate", args_with(sign=root / "nowhere.p12"), refused, "no such certificate"),
        ("SOURCE_DATE_EPOCH not a number", args_with(), usage, "SOURCE_DATE_EPOCH", None, {"SOURCE_DATE_EPOCH": "yesterday"}),
        ("missing game folder", args_with(game=root / "nowhere"), refused),
        ("missing config folder", args_with(config=root / "nowhere"), refused),
        ("game without the program", args_with(out=out / "beta.exe"), refused, "its .exe files: alpha.exe"),
        ("program name differs in case", args_with(out=out / "Alpha.exe"), refused, "letter case matters"),
        ("a file in the output's path", args_with(out=game / "data" / "level1.txt" / "alpha.exe"), refused,
         "is not a folder"),
        ("program left out by --exclude", args_with() + ["--exclude", "*.exe"], refused, "alpha.exe"),
        ("everything left out by --exclude", args_with() + ["--exclude", "*", "--exclude", "*/"], refused, "empty"),
        ("missing kit", args_with(kit=root / "nowhere"), refused),
        ("output over the game's program", args_with(out=game / "alpha.exe"), refused),
    ]
    for what, words, status, *fragments in cases:
        extra_env = fragments[2] if len(fragments) > 2 else {}
        # --kit is added last by pack(); a test-given --kit comes first and
        # the duplicate must not hide the refusal it is about.
        command = [ARGS.quarn, "pack", *words] + ([] if "--kit" in words else ["--kit", ARGS.kit])
        result = run(command, env=dict(env, **extra_env))
        expect_refused(result, what, "", status)
        for fragment in fragments[:2]:
            if isinstance(fragment, str):
                check(fragment in result.stderr, f"{what}: {fragment!r} not in {result.stderr!r}")
    check(sorted(p.name for p in out.iterdir()) == [], f"refusals left files: {list(out.iterdir())}")
    check(game.joinpath("alpha.exe").read_bytes().startswith(b"MZ stand-in"), "the game's program was overwritten")

    refuse_game_folders(root / "bad games", env)
    fail_build_steps(root / "failing steps", args_with, env)

    # Awkward paths everywhere: spaces, a backslash, quotes.
    odd = root / 'odd \\ "folder"'
    shutil.copytree(game, odd / "game")
    shutil.copytree(Path(ARGS.kit), odd / "kit")
    odd_scratch = odd / "scratch"
    odd_scratch.mkdir()
    result = run([ARGS.quarn, "pack", "--game", odd / "game", "--id", "velmor.alpha", "--config", config,
                  "--version", "1.2.3.4", "--out", odd / "alpha.exe", "--kit", odd / "kit"],
                 env=dict(os.environ, TMPDIR=str(odd_scratch)))
    check(result.returncode == 0 and (odd / "alpha.exe").is_file(), f"awkward paths: {result.stderr}")
    check(list(odd_scratch.iterdir()) == [], "awkward paths: scratch folder left behind")
    check(list(scratch.iterdir()) == [], f"scratch folders left behind: {list(scratch.iterdir())}")


# ------------------------------------------------------------ publishing

def test_publishing(root: Path):
    """What a publisher meets beyond a plain pack: command-line forms, warnings
    and --exclude, reproducible packages, signing."""
    command_line(root / "command line")
    warnings_and_exclusions(root / "warnings")
    reproducible(root / "reproducible")
    signing(root / "signing")


def command_line(root: Path):
    root.mkdir()
    game = make_game(root / "game", "alpha.exe")
    result = run([ARGS.quarn, "--version"])
    check(result.returncode == 0 and result.stdout.startswith("quarn ") and
          len(result.stdout.split()) == 2 and result.stdout.split()[1][0].isdigit(),
          f"--version: exit {result.returncode}: {result.stdout!r}")
    # --name=value, and an output folder that does not exist yet.
    out = root / "new" / "deeper" / "alpha.exe"
    result = pack(f"--game={game}", "--id=velmor.alpha", "--version=1.4.0.27", f"--out={out}",
                  "--lead", "--a=b", "--exclude=*.bin")
    check(result.returncode == 0 and out.is_file(), f"--name=value and new folders: {result.stderr}")
    if out.is_file():
        names = zipfile.ZipFile(io.BytesIO(gamedata(out))).namelist()
        check("data/noise.bin" not in names and "data/level1.txt" in names, f"--exclude=*.bin: {names}")
        check('"--a=b"' in fields(inspect(out)).get("lead", ""), "a value that looks like --name=value was split")
    # The summary names the build number that installed copies compare.
    check("build number (27" in result.stdout, f"summary lacks the build number: {result.stdout!r}")


def warnings_and_exclusions(root: Path):
    """Names that clash on Windows and read-only files are warned about (the
    package is still made); --exclude leaves out files and whole folders,
    by name part at any depth or by path from the top."""
    root.mkdir()
    game = make_game(root / "game", "alpha.exe", {
        "data/Level1.txt": b"clashes with data/level1.txt\n", ".git/objects/ab": b"object\n",
        # Windows folds case beyond ASCII too: É and é, Ж and ж clash.
        "\u00c9t\u00e9.txt": b"upper\n", "\u00e9t\u00e9.txt": b"lower\n",
        "\u0416/a.txt": b"upper\n", "\u0436/a.txt": b"lower\n",
        "Thumbs.db": b"thumbs\n", "data/Thumbs.db": b"thumbs\n", "docs/draft.psd": b"psd\n",
        "art/draft.psd": b"kept: the pattern names docs/ only\n", "locked.txt": b"read-only\n"})
    os.chmod(game / "locked.txt", 0o444)
    out = root / "alpha.exe"
    result = pack("--game", game, "--id", "velmor.alpha", "--version", "1.0.0.1", "--out", out,
                  "--exclude", ".git/", "--exclude", "Thumbs.db", "--exclude", "docs/*.psd")
    check(result.returncode == 0, f"warnings: exit {result.returncode}: {result.stderr}")
    warnings = result.stderr.splitlines()
    # Four clashes (the folders Ж/ and ж/, and the files in them) and one
    # read-only file.
    check(all(line.startswith("quarn: warning: ") for line in warnings) and len(warnings) == 5,
          f"warnings: {warnings}")
    for one, other in (("data/Level1.txt", "data/level1.txt"), ("\u00c9t\u00e9.txt", "\u00e9t\u00e9.txt"),
                       ("\u0416/", "\u0436/")):
        check(any(one in line and other in line and "letter case" in line for line in warnings),
              f"no warning about the case clash of {one} and {other}: {warnings}")
    check(any("locked.txt" in line and "read-only" in line for line in warnings),
          f"no warning about the read-only file: {warnings}")
    names = set(zipfile.ZipFile(io.BytesIO(gamedata(out))).namelist())
    for left_out in (".git/", ".git/objects/ab", "Thumbs.db", "data/Thumbs.db", "docs/draft.psd"):
        check(left_out not in names, f"--exclude: {left_out} was packed")
    for kept in ("docs/", "art/draft.psd", "data/level1.txt", "data/Level1.txt", "alpha.exe"):
        check(kept in names, f"--exclude: {kept} was left out")
    result = inspect(out)
    check(result.returncode == 0 and "warning:  locked.txt installs read-only" in result.stdout,
          f"inspect does not warn about locked.txt: {result.stdout}")


def reproducible(root: Path):
    """The same inputs give the same bytes: packed at different times, into
    different folders, from different scratch folders and time zones. With
    SOURCE_DATE_EPOCH, copies of the game made at different times give the
    same package too, and every recorded time is that one."""
    root.mkdir()
    game = make_game(root / "game", "alpha.exe")
    config = root / "config"
    config.mkdir()
    (config / "hub.ini").write_text("[hub]\n")
    args = ["--id", "velmor.alpha", "--config", config, "--version", "2.0.0.7"]
    outputs = []
    for i, zone in enumerate(("UTC", "Asia/Tokyo")):
        scratch = root / f"scratch{i}"
        scratch.mkdir()
        out = root / f"out{i}" / "alpha.exe"
        env = dict(os.environ, TZ=zone, TMPDIR=str(scratch))
        result = run([ARGS.quarn, "pack", "--game", game, *args, "--out", out, "--kit", ARGS.kit], env=env)
        check(result.returncode == 0, f"reproducible pack {i}: {result.stderr}")
        outputs.append(out.read_bytes() if out.is_file() else b"")
        time.sleep(1.1)
    check(outputs[0] == outputs[1] and outputs[0], "two packs of the same folder differ")
    pe = struct.unpack_from("<I", outputs[0], 0x3C)[0]
    check(struct.unpack_from("<I", outputs[0], pe + 8)[0] == 0, "the PE header records a time stamp")

    epoch = calendar.timegm((2024, 6, 1, 12, 0, 0, 0, 0, 0))
    copies = []
    for i in range(2):
        copy = root / f"copy{i}" / "game"
        shutil.copytree(game, copy, copy_function=shutil.copyfile)  # new times, now
        out = root / f"copy{i}" / "alpha.exe"
        result = run([ARGS.quarn, "pack", "--game", copy, *args, "--out", out, "--kit", ARGS.kit],
                     env=dict(os.environ, SOURCE_DATE_EPOCH=str(epoch)))
        check(result.returncode == 0, f"SOURCE_DATE_EPOCH pack {i}: {result.stderr}")
        copies.append(out.read_bytes() if out.is_file() else b"")
        time.sleep(1.1)
    check(copies[0] == copies[1] and copies[0], "SOURCE_DATE_EPOCH: packs of copies made at different times differ")
    if copies[0]:
        times = {info.date_time for info in zipfile.ZipFile(io.BytesIO(gamedata(root / "copy0" / "alpha.exe"))).infolist()}
        check(times == {(2024, 6, 1, 12, 0, 0)}, f"SOURCE_DATE_EPOCH: entry times {times}")


def signing(root: Path):
    """Signed with a certificate made here and now (no key is kept): the
    signature verifies with osslsigncode and in inspect when its root is
    trusted, is reported intact but untrusted otherwise, and a byte changed
    afterwards makes the package unsound. The password comes from the
    environment only; a wrong one leaves no package."""
    root.mkdir()
    if not shutil.which("osslsigncode") or not shutil.which("openssl"):
        check(False, "signing needs osslsigncode and openssl (scripts/setup.sh installs them)")
        return
    certificate, root_pem = make_certificate(root, "Lumen Works Test", "sign-secret")
    game = make_game(root / "game", "alpha.exe")
    out = root / "out" / "alpha.exe"
    env = dict(os.environ, QUARN_SIGN_PASSWORD="sign-secret")
    args = ["--game", game, "--id", "velmor.alpha", "--version", "1.0.0.3", "--sign", certificate,
            "--kit", ARGS.kit]
    result = run([ARGS.quarn, "pack", *args, "--out", out], env=env)
    check(result.returncode == 0 and out.is_file(), f"signed pack: exit {result.returncode}: {result.stderr}")
    check("sign-secret" not in result.stdout + result.stderr, "the password was shown")
    verified = run(["osslsigncode", "verify", "-in", out, "-CAfile", root_pem])
    check(verified.returncode == 0, f"osslsigncode verify: {verified.stdout}{verified.stderr}")
    expect_inspect_args([out, "--ca", root_pem], 0, {"signed": "CN=Lumen Works Test", "verdict": "sound"},
                        "signed, root trusted", "verified")
    expect_inspect_args([out], 0, {"signed": "not verified"}, "signed, root not trusted", "--ca")
    unsigned = root / "unsigned" / "alpha.exe"
    pack_ok("--game", game, "--id", "velmor.alpha", "--version", "1.0.0.3", "--out", unsigned)
    expect_inspect_args([unsigned], 0, {"signed": "no"}, "unsigned", "no")

    # A byte changed after signing: in the version resource, which no other
    # check covers.
    data = bytearray(out.read_bytes())
    at = data.find("1.0.0.3".encode("utf-16-le"))
    data[at] = ord("2")
    tampered = root / "tampered" / "alpha.exe"
    tampered.parent.mkdir()
    tampered.write_bytes(data)
    result = expect_inspect_args([tampered, "--ca", root_pem], 1, {"verdict": "not sound"}, "tampered", None)
    check("changed after it was signed" in result.stderr, f"tampered: reason {result.stderr!r}")

    wrong = root / "wrong" / "alpha.exe"
    result = run([ARGS.quarn, "pack", *args, "--out", wrong], env=dict(os.environ, QUARN_SIGN_PASSWORD="guess"))
    expect_refused(result, "wrong password", "osslsigncode", one_line=False)
    check(not wrong.parent.exists(), "wrong password: a package or its folder was left")

    # --timestamp reaches the signer: a time-stamp server that does not
    # answer fails the signing, and no package is left.
    stamped = root / "stamped" / "alpha.exe"
    result = run([ARGS.quarn, "pack", *args, "--timestamp", "http://127.0.0.1:9/", "--out", stamped], env=env)
    expect_refused(result, "time-stamp server unreachable", "osslsigncode", one_line=False)
    check("127.0.0.1:9" in result.stderr and not stamped.parent.exists(),
          f"time-stamp server unreachable: {result.stderr[-300:]!r}")

    # Signed with SOURCE_DATE_EPOCH, the signing time too is fixed: the same bytes twice.
    fixed = dict(env, SOURCE_DATE_EPOCH=str(calendar.timegm((2024, 6, 1, 0, 0, 0, 0, 0, 0))))
    signed = []
    for i in range(2):
        target = root / f"fixed{i}" / "alpha.exe"
        result = run([ARGS.quarn, "pack", *args, "--out", target], env=fixed)
        check(result.returncode == 0, f"signed reproducible pack {i}: {result.stderr}")
        signed.append(target.read_bytes() if target.is_file() else b"")
        time.sleep(1.1)
    check(signed[0] == signed[1] and signed[0], "two signed packs with SOURCE_DATE_EPOCH differ")


def expect_inspect_args(args, status, expected, what, fragment):
    result = run([ARGS.quarn, "inspect", *args])
    got = fields(result)
    check(result.returncode == status, f"inspect {what}: exit {result.returncode}\n{result.stdout}{result.stderr}")
    for key, part in expected.items():
        check(part in got.get(key, ""), f"inspect {what}: {key}: {got.get(key)!r} lacks {part!r}")
    if fragment:
        check(fragment in got.get("signed", ""), f"inspect {what}: signed: {got.get('signed')!r} lacks {fragment!r}")
    return result


def add_files(*names):
    """A fault maker: empty files of these names, folders made on the way."""
    def make(game: Path):
        for name in names:
            (game / name).parent.mkdir(parents=True, exist_ok=True)
            (game / name).write_bytes(b"")
    return make


def add_many_files(count):
    """A fault maker: count empty files in one folder, made as fast as Python can."""
    def make(game: Path):
        many = game / "many"
        many.mkdir()
        for i in range(count):
            os.close(os.open(many / f"{i:05}", os.O_CREAT | os.O_WRONLY, 0o644))
    return make


def refuse_game_folders(root: Path, env):
    """Game folders that pack must refuse, each with one fault: names the
    launcher could not install as they are, and entries that are not regular
    files or folders. The limits are checked at their edge: a name of 259
    bytes and 65535 entries still pack."""
    root.mkdir()
    entries = len(list(make_game(root / "count", "alpha.exe").rglob("*")))
    long_folder = "d" * 200  # one name part cannot exceed 255 bytes here
    refused = "the launcher refuses this name"
    cases = [
        ("name of 260 bytes", add_files(f"{long_folder}/{'f' * 59}"), "name is 260 bytes"),
        ("name of 259 bytes", add_files(f"{long_folder}/{'f' * 58}"), None),
        ("backslash in a name", add_files("data\\level2.txt"), "a backslash in the name"),
        ("name not UTF-8", add_files(os.fsdecode(b"data/caf\xe9.txt")), "data/caf\\xE9.txt: the name is not UTF-8"),
        # Limits count bytes: 29 two-byte characters where 58 letters were.
        ("UTF-8 name of 259 bytes", add_files(f"{long_folder}/{chr(0xE9) * 29}"), None),
        ("UTF-8 name of 260 bytes", add_files(f"{long_folder}/{chr(0xE9) * 29}f"), "name is 260 bytes"),
        ("device name", add_files("CON"), refused),
        ("device name with an extension", add_files("data/aux.txt"), refused),
        ("numbered device name, lower case", add_files("lpt1.log"), refused),
        ("device name as a folder", add_files("nul/readme.txt"), refused),
        ("dots only", add_files("..."), refused),
        ("dots and blanks only", add_files("data/. ."), refused),
        ("colon, a stream on NTFS", add_files("notes.txt:hidden"), refused),
        ("symlink to a folder", lambda game: os.symlink("data", game / "more"), "only regular files and folders"),
        ("FIFO", lambda game: os.mkfifo(game / "data" / "pipe"), "only regular files and folders"),
        ("65536 entries", add_many_files(65536 - entries - 1), "more than 65535 entries"),
        ("65535 entries", add_many_files(65535 - entries - 1), None),
    ]
    out = root / "out"
    out.mkdir()
    for i, (what, make_fault, fragment) in enumerate(cases):
        game = make_game(root / f"game{i}", "alpha.exe")
        make_fault(game)
        result = run([ARGS.quarn, "pack", "--game", game, "--id", "velmor.alpha", "--version", "1.0.0.1",
                      "--out", out / "alpha.exe", "--kit", ARGS.kit], env=env)
        if fragment is None:
            check(result.returncode == 0 and (out / "alpha.exe").is_file(),
                  f"{what}: not packed: exit {result.returncode}: {result.stderr.strip()}")
            (out / "alpha.exe").unlink(missing_ok=True)
        else:
            expect_refused(result, what, fragment)
            check(list(out.iterdir()) == [], f"{what}: left {list(out.iterdir())}")
        shutil.rmtree(game)


def fail_build_steps(root: Path, args_with, env):
    """Kits that pass the kit check but fail a later step, and an output
    that cannot be written: each gives a "quarn: " line naming the step,
    exit status 1, and neither a package nor a partial file."""
    root.mkdir()

    def kit(name, launcher, dialog):
        folder = root / name
        folder.mkdir()
        (folder / "launcher.o").write_bytes(launcher)
        (folder / "link.txt").write_text("-mconsole\n")
        (folder / "dialog.rc").write_text(dialog)
        return folder

    good = Path(ARGS.kit)
    broken_object = b"not an object file"
    blocked = root / "blocked"
    blocked.mkdir()
    # The package is copied beside its place first; a non-empty folder there
    # makes that copy fail whoever runs the test (root writes read-only folders).
    (blocked / "alpha.exe.quarn-partial" / "inside").mkdir(parents=True)
    cases = [
        ("resource compiler fails",
         kit("bad script", (good / "launcher.o").read_bytes(), "this is no resource script {\n"),
         root / "out-windres", "windres"),
        ("link fails", kit("bad object", broken_object, (good / "dialog.rc").read_text()),
         root / "out-link", "g++"),
        ("output cannot be written", good, blocked, "cannot be written"),
    ]
    for what, kit_folder, out, fragment in cases:
        out.mkdir(exist_ok=True)
        before = sorted(p.name for p in out.iterdir())
        result = run([ARGS.quarn, "pack", *args_with(kit=kit_folder, out=out / "alpha.exe")], env=env)
        expect_refused(result, what, fragment, one_line=False)
        check(sorted(p.name for p in out.iterdir()) == before,
              f"{what}: left {sorted(set(p.name for p in out.iterdir()) - set(before))}")


def stand_in_kit(folder: Path) -> Path:
    """A kit that links but starts nothing: an empty main and the launcher's
    own dialog script. Packages of the inspect and refusals parts are read
    back, never run, so these parts need no Windows build."""
    folder.mkdir()
    (folder / "main.cpp").write_text("int main() { return 0; }\n")
    result = run([ARGS.cxx, "-c", "-o", "launcher.o", "main.cpp"], cwd=folder)
    assert result.returncode == 0, f"stand-in kit: {result.stdout}{result.stderr}"
    (folder / "main.cpp").unlink()
    (folder / "link.txt").write_text("-mconsole\n")
    shutil.copy(DIALOG_SCRIPT, folder / "dialog.rc")
    return folder


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--quarn", required=True)
    parser.add_argument("--kit", help="the probe kit of the Windows build (wine only)")
    parser.add_argument("--windres", required=True)
    parser.add_argument("--cxx", required=True, help="the mingw-w64 compiler driver")
    parser.add_argument("--windows-quarn", help="quarn.exe of the Windows build (wine only)")
    parser.add_argument("--gameid-writer", help="writer of GAMEID records that pack refuses (inspect)")
    parser.add_argument("part", choices=["wine", "inspect", "refusals", "publishing"])
    ARGS = parser.parse_args()
    if not Path(ARGS.quarn).is_file():
        print(f"no native quarn at {ARGS.quarn}: build the native preset first "
              "(cmake --preset native && cmake --build --preset native)")
        return 1
    if run([ARGS.quarn, "pack", "--help"]).returncode != 0:
        print(f"skipped: {ARGS.quarn} was built without pack (libzip missing)")
        return SKIPPED
    missing = [tool for tool in (ARGS.windres, ARGS.cxx) if not shutil.which(tool)]
    if missing:
        print(f"skipped: the mingw-w64 tools are missing: {missing}")
        return SKIPPED
    if ARGS.part == "wine" and not (ARGS.kit and (Path(ARGS.kit) / "launcher.o").is_file()
                                    and ARGS.windows_quarn):
        print(f"no probe kit at {ARGS.kit}: build the Windows preset first")
        return 1
    with tempfile.TemporaryDirectory(prefix="quarn-package-") as folder:
        if ARGS.part != "wine":
            ARGS.kit = stand_in_kit(Path(folder) / "stand-in kit")
        {"wine": test_wine, "inspect": test_inspect, "refusals": test_refusals,
         "publishing": test_publishing}[ARGS.part](Path(folder))
    return finish()


if __name__ == "__main__":
    sys.exit(main())
