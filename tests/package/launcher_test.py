#!/usr/bin/env python3
"""The real launcher, packed with the sample game by quarn pack, run under Wine.

Usage: launcher_test.py --quarn QUARN --kit LAUNCHER_KIT --game-program STARCOURIER_EXE
                        --game-files FOLDER --holder HOLDER_EXE
                        --hostile-writer WRITER_EXE --windres WINDRES --cxx CXX

Every package carries Star Courier, whose program appends a record of its
command line, working folder and neighbours to launch-record.txt beside
itself; the records prove what the launcher started and how. All cases share
the prefix of $WINEPREFIX; the install folders and the userpath value are
cleared between them.

- first run: installs under <Documents>\\QUARN\\bin\\<owner>\\<game>\\, writes
  the stamp, starts the installed program with its quoted path, in the
  launcher's working folder;
- userpath, with and without a trailing separator, and with a space (a
  decoy C:\\My.exe must not run);
- a second run only starts; a new payload or a new build re-installs;
- a running game keeps its program: the rest is updated, the stamp is not
  written, and the next start completes the update;
- an update that meets a read-only file, or a folder where a file must go,
  keeps that file and the old stamp, and completes once the fault is gone;
- when no install folder can be made, nothing is unpacked or started, and
  the next start after the obstacle is gone installs;
- a package without identity installs and starts nothing;
- a signed package installs and starts as any other;
- every archive of the hostile-archive corpus as the payload: nothing is
  written outside the install folder, the good entries come out intact, and
  the stamp is written only for an archive that installs completely;
- two launchers of one package started together on a fresh install: the
  payload is unpacked once (Wine's file trace counts who opened a payload
  file to write it), the stamp is written, every file is intact, and both
  start the game;
- a package saved under another name ("StarCourier (1).exe", "setup.exe")
  starts the game that its OriginalFilename names; a package without that
  string installs and, as before, finds no program of its own name;
- a version.dll planted beside the package, with Wine told to prefer a
  native DLL as Windows does for DLLs that are not KnownDLLs: nothing
  planted runs, and the game installs and starts; the import table names
  only allowed system DLLs, and the application manifest asks for no
  administrator rights and declares Windows 10 and 11;
- names in other scripts: payload entries in French, Japanese and beyond
  the BMP install under their real names and the game lists them so; a
  userpath C:\\ゲーム, a Documents folder moved to C:\\Документы and a
  package saved in C:\\Загрузки all install and start the game, the stamp
  holding the build number; a name stored without the UTF-8 flag keeps its
  ANSI code-page meaning;
- the launcher ends by itself, with exit status 0, every time.
"""

import argparse
import getpass
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import types
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
from checks import check, finish, gamedata, link_with_kit, make_certificate, pe_imports, pe_resources, version_block  # noqa: E402
from checks import run_text as run  # noqa: E402

ARGS = None

OWNER, GAME = "velmor", "starcourier"
PROGRAM = "StarCourier.exe"
SETTINGS_KEY = r"HKCU\Software\Velmor\QUARN"
DELETED = Path("data/maps/harbour.map")
LAUNCHER_TIMEOUT = 60  # a launcher that shows a window or waits would hang here
# Folders named in other scripts: a userpath, a moved Documents folder, and
# where a player saved the package.
OTHER_SCRIPT_GAMES = "\u30b2\u30fc\u30e0"                            # ゲーム
OTHER_SCRIPT_DOCUMENTS = "\u0414\u043e\u043a\u0443\u043c\u0435\u043d\u0442\u044b"  # Документы
OTHER_SCRIPT_DOWNLOADS = "\u0417\u0430\u0433\u0440\u0443\u0437\u043a\u0438"      # Загрузки
SHELL_FOLDERS_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders"
# Files of a game named in French, in Japanese, and with a character
# outside the Basic Multilingual Plane (a surrogate pair in UTF-16).
OTHER_SCRIPT_FILES = {
    "\u00e9t\u00e9.txt": b"summer\n",
    "donn\u00e9es/\u00e9t\u00e9.txt": b"data of the summer\n",
    "\u65e5\u672c/\u30d5\u30a1\u30a4\u30eb.txt": b"file\n",
    "\u65e5\u672c/\U0001f3ae.sav": b"saved game\n",
}


def dos(path: Path) -> str:
    """The Windows name of a Unix path, through drive Z:."""
    return "Z:" + str(path).replace("/", "\\")


# ------------------------------------------------------------ packages

class Package:
    """A package of Star Courier in a folder of its own, named StarCourier.exe."""

    def __init__(self, root: Path, name: str, version: str, extra=None, program_tail=b"", identity=True,
                 sign=None, program=PROGRAM):
        self.name = name
        self.program_name = program
        self.game = root / "games" / name
        shutil.copytree(ARGS.game_files, self.game)
        self.program = ARGS.game_program.read_bytes() + program_tail
        (self.game / program).write_bytes(self.program)
        for relative, content in (extra or {}).items():
            (self.game / relative).parent.mkdir(parents=True, exist_ok=True)
            (self.game / relative).write_bytes(content)
        self.exe = root / "packages" / name / program
        self.exe.parent.mkdir(parents=True)
        # sign: (PKCS#12 file, password)
        sign_args = ["--sign", sign[0]] if sign else []
        env = dict(os.environ, QUARN_SIGN_PASSWORD=sign[1]) if sign else None
        result = run([ARGS.quarn, "pack", "--game", self.game, "--id", f"{OWNER}.{GAME}", "--version", version,
                      "--out", self.exe, "--kit", ARGS.kit, *sign_args], env=env)
        assert result.returncode == 0, f"pack {name}: {result.stdout}{result.stderr}"
        if not identity:
            # pack makes no package without an identity: the same payload,
            # linked here without GAMEID.
            (self.exe.parent / "payload.zip").write_bytes(gamedata(self.exe))
            link_with_kit('GAMEDATA RCDATA "payload.zip"\n#include "dialog.rc"\n'
                          + version_block([(0x409, 1200)], {"040904B0": version}),
                          self.exe, ARGS.kit, ARGS.windres, ARGS.cxx)
        self.build = int(version.split(".")[3])
        self.size = len(gamedata(self.exe))
        self.stamp = f"{self.build} {self.size}"

    def files(self):
        return {p.relative_to(self.game).as_posix(): p.read_bytes()
                for p in self.game.rglob("*") if p.is_file()}


UNFLAGGED_NAME = b"caf\xe9-unflagged.txt"
UNFLAGGED_DATA = b"stored without the UTF-8 flag\n"


def unflagged_package(root: Path) -> Package:
    """A package with one name stored without the UTF-8 flag and with a byte
    of the Western code page: packed under an ASCII stand-in of the same
    length, which is then replaced in both of the entry's headers."""
    stand_in = b"cafX-unflagged.txt"
    package = Package(root, "unflagged", "1.0.0.4", extra={stand_in.decode(): UNFLAGGED_DATA})
    image = package.exe.read_bytes()
    assert image.count(stand_in) == 2, "unflagged: the stand-in name is not in exactly two headers"
    package.exe.write_bytes(image.replace(stand_in, UNFLAGGED_NAME))
    return package


# ------------------------------------------------------------ the prefix

class Prefix:
    def __init__(self, start: Path):
        self.root = Path(os.environ["WINEPREFIX"])
        self.drive = self.root / "drive_c"
        user = self.drive / "users" / getpass.getuser()
        self.documents = user / "Documents"
        self.application_data = user / "AppData" / "Roaming"
        assert self.documents.is_dir(), f"no Documents folder at {self.documents}"
        self.windows_documents = f"C:\\users\\{getpass.getuser()}\\Documents"
        self.start = start  # the launcher's working folder
        self.userpath = "unknown"

    def set_userpath(self, value):
        if value == self.userpath:
            return
        if value is None:
            run(["wine", "reg", "delete", SETTINGS_KEY, "/f"], timeout=60)
        elif not value.isascii():
            self.import_values(SETTINGS_KEY, {"userpath": ("sz", value)})
        else:
            result = run(["wine", "reg", "add", SETTINGS_KEY, "/v", "userpath", "/d", value, "/f"], timeout=60)
            assert result.returncode == 0, f"reg add: {result.stdout}{result.stderr}"
        self.userpath = value

    def game_in_documents(self):
        """The game's install folder under Documents: (Unix path, Windows path)."""
        return (self.documents / "QUARN" / "bin" / OWNER / GAME,
                f"{self.windows_documents}\\QUARN\\bin\\{OWNER}\\{GAME}")

    def import_values(self, key, values):
        """Sets values under key through a .reg file, which holds UTF-16
        text whatever the Unix locale: {name: ("sz" or "expand", text)}."""
        lines = ["Windows Registry Editor Version 5.00", "", f"[{key.replace('HKCU', 'HKEY_CURRENT_USER')}]"]
        for name, (kind, text) in values.items():
            if kind == "sz":
                escaped = text.replace("\\", "\\\\").replace('"', '\\"')
                lines.append(f'"{name}"="{escaped}"')
            else:
                data = (text + "\0").encode("utf-16-le")
                lines.append(f'"{name}"=hex(2):' + ",".join(f"{b:02x}" for b in data))
        with tempfile.TemporaryDirectory() as folder:
            reg = Path(folder) / "values.reg"
            reg.write_bytes(("\r\n".join(lines) + "\r\n").encode("utf-16"))
            result = run(["wine", "regedit", "/S", dos(reg)], timeout=60)
        assert result.returncode == 0, f"regedit: {result.stdout}{result.stderr}"
        subprocess.run(["wineserver", "-w"], timeout=120)

    def reset(self, userpath=None):
        """No install folders (nor files in their place, left by a run that
        broke off), no decoy, no userpath."""
        for folder in (self.documents / "QUARN", self.application_data / "QUARN", self.drive / "Games",
                       self.drive / "My Games", self.drive / OTHER_SCRIPT_GAMES,
                       self.drive / OTHER_SCRIPT_DOCUMENTS):
            if folder.is_dir() and not folder.is_symlink():
                shutil.rmtree(folder)
            else:
                folder.unlink(missing_ok=True)
        for name in ("My.exe", "launch-record.txt"):
            (self.drive / name).unlink(missing_ok=True)
        self.set_userpath(userpath)

    def wait(self):
        """Until every Wine process has ended: the game is started and not waited for."""
        subprocess.run(["wineserver", "-w"], timeout=120)

    def launch(self, package: Package, what: str, wait=True, env=None):
        """Runs a package from the working folder self.start; the launcher
        must end by itself with exit status 0."""
        try:
            result = run(["wine", package.exe], cwd=self.start, timeout=LAUNCHER_TIMEOUT, env=env)
            check(result.returncode == 0, f"{what}: launcher exit {result.returncode}: {result.stderr.strip()}")
        except subprocess.TimeoutExpired:
            check(False, f"{what}: the launcher did not end within {LAUNCHER_TIMEOUT} s")
            subprocess.run(["wineserver", "-k"])
        if wait:
            self.wait()


def records(folder: Path):
    """The records of launch-record.txt in folder: a list of dicts with
    'command line', 'working folder' and 'beside' (a set)."""
    path = folder / "launch-record.txt"
    if not path.exists():
        return []
    found, current = [], None
    for line in path.read_text(encoding="utf-8", errors="replace").replace("\r", "").splitlines():
        if line == "started: Star Courier":
            current = {"beside": set()}
        elif current is not None and line == "end":
            found.append(current)
            current = None
        elif current is not None and ": " in line:
            key, value = line.split(": ", 1)
            if key == "beside":
                current["beside"].add(value)
            else:
                current[key] = value
    return found


def installed_files(folder: Path):
    return {p.relative_to(folder).as_posix(): p.read_bytes() for p in folder.rglob("*")
            if p.is_file() and p.name not in ("launch-record.txt", "gameversion.txt")}


def expect_install(prefix, folder: Path, windows_folder: str, package: Package, starts: int, what: str):
    """The payload of package unpacked whole in folder, its stamp there, and
    the installed program started `starts` times in all, each time with its
    quoted path as the command line, in the launcher's working folder."""
    if not check(folder.is_dir(), f"{what}: no install folder {folder}"):
        return []
    check(installed_files(folder) == package.files(),
          f"{what}: installed files differ from the game's: {sorted(installed_files(folder))}")
    stamp = folder / "gameversion.txt"
    check(stamp.is_file() and stamp.read_text() == package.stamp,
          f"{what}: stamp {stamp.read_text() if stamp.is_file() else None!r}, expected {package.stamp!r}")
    found = records(folder)
    check(len(found) == starts, f"{what}: {len(found)} start(s) recorded, expected {starts}")
    expected = (f'"{windows_folder}\\{package.program_name}"', dos(prefix.start))
    for record in found:
        got = (record.get("command line"), record.get("working folder"))
        if not check(got == expected, f"{what}: started with (command line, working folder) {got!r}, "
                                      f"expected {expected!r}"):
            break
    return found


# ------------------------------------------------------------ cases

def test_documents_and_rerun(prefix, v4, payload, v5):
    """First run, second run, new payload, new build: all in <Documents>\\QUARN."""
    prefix.reset()
    folder, windows = prefix.game_in_documents()

    prefix.launch(v4, "first run")
    found = expect_install(prefix, folder, windows, v4, 1, "first run")
    # The stamp is written before the game starts.
    if found:
        check({"gameversion.txt", PROGRAM, "data\\", "settings.ini", "README.txt"} <= found[0]["beside"],
              f"first run: the game saw {sorted(found[0]['beside'])}")

    # A second run only starts the game.
    (folder / DELETED).unlink()
    prefix.launch(v4, "second run")
    check(not (folder / DELETED).exists(), "second run: the payload was unpacked again")
    check((folder / "gameversion.txt").read_text() == v4.stamp, "second run: the stamp changed")
    check(len(records(folder)) == 2, f"second run: {len(records(folder))} start(s) recorded, expected 2")

    # A payload of another size, same build; then the same payload, a new build.
    for package, starts, what in ((payload, 3, "new payload"), (v5, 4, "new build")):
        (folder / DELETED).unlink(missing_ok=True)
        prefix.launch(package, what)
        expect_install(prefix, folder, windows, package, starts, what)
    check(not (prefix.drive / "Games").exists(), "Documents install: C:\\Games appeared")


def test_userpath(prefix, v4):
    """userpath wins over the documents folder, with or without a final
    separator; a path with a space starts the right program."""
    cases = [(r"C:\Games", prefix.drive / "Games", r"C:\Games"),
             ("C:\\Games\\", prefix.drive / "Games", r"C:\Games"),
             (r"C:\My Games", prefix.drive / "My Games", r"C:\My Games")]
    for value, base, windows_base in cases:
        what = f"userpath {value!r}"
        prefix.reset(value)
        # What an unquoted command line would start first.
        shutil.copy(ARGS.game_program, prefix.drive / "My.exe")
        prefix.launch(v4, what)
        folder = base / "bin" / OWNER / GAME
        expect_install(prefix, folder, f"{windows_base}\\bin\\{OWNER}\\{GAME}", v4, 1, what)
        check(not (prefix.documents / "QUARN").exists(), f"{what}: a QUARN folder appeared in Documents")
        check(not (prefix.drive / "launch-record.txt").exists(), f"{what}: the decoy C:\\My.exe was started")


def test_running_game(prefix, v4, v6):
    """The installed program held open without sharing, as by the running
    game: the update installs the rest and leaves the stamp, and the next
    start, once the program is free, completes it."""
    prefix.reset()
    folder, windows = prefix.game_in_documents()
    prefix.launch(v4, "before the update")
    (folder / DELETED).unlink()

    signals = prefix.start.parent / "holder"
    signals.mkdir(exist_ok=True)
    ready, release = signals / "ready", signals / "release"
    ready.unlink(missing_ok=True)
    release.unlink(missing_ok=True)
    holder = subprocess.Popen(["wine", str(ARGS.holder), f"{windows}\\{PROGRAM}", dos(ready), dos(release)],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        for _ in range(600):
            if ready.exists() and ready.read_text().strip():
                break
            time.sleep(0.1)
        state = ready.read_text().strip() if ready.exists() else "no answer"
        if check(state == "held", f"holder: {state}"):
            # No wait for wineserver: the holder is still running.
            prefix.launch(v6, "update while the game runs", wait=False)
            check((folder / DELETED).exists(), "update while the game runs: the other files were not installed")
            check((folder / PROGRAM).read_bytes() == v4.program,
                  "update while the game runs: the held program was replaced")
            check((folder / "gameversion.txt").read_text() == v4.stamp,
                  "update while the game runs: the stamp was written for an incomplete update")
    finally:
        release.write_text("")
        holder.wait(timeout=60)
        prefix.wait()
    # Whether the held program could be started is the system's affair; the
    # next start must complete the update in any case.
    starts = len(records(folder))
    prefix.launch(v6, "update after the game ended")
    expect_install(prefix, folder, windows, v6, starts + 1, "update after the game ended")


def test_update_faults(prefix, v4, payload):
    """An update (payload has another settings.ini) that meets a file it
    cannot replace: the file stays as it was, the rest is updated, the stamp
    keeps the old version, the game starts; once the fault is gone, the next
    start completes the update."""
    folder, windows = prefix.game_in_documents()
    settings = folder / "settings.ini"

    def read_only():
        os.chmod(settings, 0o444)
        return lambda: os.chmod(settings, 0o644)

    def folder_in_the_way():
        settings.unlink()
        (settings / "inside").mkdir(parents=True)
        return lambda: shutil.rmtree(settings)

    for what, make_fault in (("read-only file", read_only), ("folder in the way", folder_in_the_way)):
        prefix.reset()
        prefix.launch(v4, f"{what}: first install")
        old = settings.read_bytes()
        remove_fault = make_fault()
        (folder / DELETED).unlink()
        prefix.launch(payload, f"{what}: update")
        check((folder / DELETED).exists(), f"{what}: the other files were not updated")
        if settings.is_dir():
            check((settings / "inside").is_dir(), f"{what}: the folder in the way lost its content")
        else:
            check(settings.read_bytes() == old, f"{what}: the file that could not be replaced changed")
        check((folder / "gameversion.txt").read_text() == v4.stamp, f"{what}: the stamp was written")
        starts = len(records(folder))
        check(starts == 2, f"{what}: {starts} start(s) recorded, expected 2")
        remove_fault()
        prefix.launch(payload, f"{what}: once the fault is gone")
        expect_install(prefix, folder, windows, payload, starts + 1, f"{what}: once the fault is gone")


def test_no_install_folder(prefix, v4):
    """Files stand where each candidate's folder must be made: nothing is
    unpacked or started. Once the first is gone, the next start installs there."""
    prefix.reset(r"C:\Games")
    blockers = [prefix.drive / "Games", prefix.documents / "QUARN", prefix.application_data / "QUARN"]
    for blocker in blockers:
        blocker.write_text("in the way\n")
    try:
        prefix.launch(v4, "no install folder")
        check(all(b.is_file() and b.read_text() == "in the way\n" for b in blockers),
              "no install folder: a file in the way changed")
        check(not records(prefix.start) and not records(v4.exe.parent), "no install folder: a game was started")
        blockers[0].unlink()
        prefix.launch(v4, "install folder free again")
        expect_install(prefix, prefix.drive / "Games" / "bin" / OWNER / GAME,
                       f"C:\\Games\\bin\\{OWNER}\\{GAME}", v4, 1, "install folder free again")
    finally:
        for blocker in blockers[1:]:
            blocker.unlink(missing_ok=True)


def read_corpus(folder: Path):
    """corpus.txt of the hostile writer: {label: (complete, {name: data})}."""
    cases = {}
    for line in (folder / "corpus.txt").read_text().splitlines():
        kind, label, *fields = line.split(" ")
        if kind == "archive":
            cases[label] = (fields[0] == "1", {})
        else:
            cases[label][1][bytes.fromhex(fields[0]).decode()] = bytes.fromhex(fields[1])
    return cases


def tree(root: Path):
    return {p.relative_to(root).as_posix() for p in root.rglob("*")}


def test_hostile_corpus(prefix, root):
    """Each archive of the hostile-archive corpus as the payload of a
    package of its own (identity velmor.hostile)."""
    corpus = root / "hostile"
    corpus.mkdir()
    result = run(["wine", ARGS.hostile_writer, dos(corpus)], timeout=120)
    if not check(result.returncode == 0, f"hostile writer: exit {result.returncode}: {result.stderr.strip()}"):
        return
    folder = prefix.documents / "QUARN" / "bin" / OWNER / "hostile"
    windows = f"{prefix.windows_documents}\\QUARN\\bin\\{OWNER}\\hostile"
    slowest = (0.0, "")
    for label, (complete, files) in read_corpus(corpus).items():
        what = f"hostile {label}"
        exe = corpus / f"{label}.exe"
        link_with_kit(f'GAMEDATA RCDATA "{label}.zip"\nGAMEID RCDATA "{label}.gameid"\n'
                      + version_block([(0x409, 1200)], {"040904B0": "1.0.0.7"})
                      + '#include "dialog.rc"\n', exe, ARGS.kit, ARGS.windres, ARGS.cxx)
        prefix.reset()
        before = tree(prefix.drive), tree(root)
        began = time.monotonic()
        prefix.launch(types.SimpleNamespace(exe=exe), what)
        slowest = max(slowest, (time.monotonic() - began, label))
        inside = "users/" + prefix.documents.relative_to(prefix.drive / "users").as_posix() + "/QUARN"
        outside = sorted(p for p in tree(prefix.drive) - before[0]
                         if p != inside and not p.startswith(inside + "/") and not p.startswith("windows/"))
        check(not outside, f"{what}: written outside the install folder: {outside[:5]}")
        check(tree(root) == before[1], f"{what}: written beside the package or in the start folder")
        stamp = (folder / "gameversion.txt").exists()
        check(stamp == complete, f"{what}: stamp {'written' if stamp else 'missing'}")
        for name, data in files.items():
            # Windows refuses a path of 260 characters or more.
            if len(windows) + 1 + len(name) < 260:
                path = folder / name
                check(path.is_file() and path.read_bytes() == data, f"{what}: {name} not installed intact")
    print(f"hostile corpus: the slowest launch took {slowest[0]:.1f} s ({slowest[1]})")


def test_two_at_once(prefix, big):
    """A player who double-clicks twice: two launchers of one package started
    together on a fresh install, the second while the first unpacks. One unpacks while the other waits for the
    install folder's lock and then finds the stamp current. Wine's file trace
    shows every open of the payload's files: each is opened to be written
    once in all, not once per launcher."""
    prefix.reset()
    folder, windows = prefix.game_in_documents()
    traces = [prefix.start.parent / f"trace-{i}.txt" for i in range(2)]
    env = dict(os.environ, WINEDEBUG="-all,+file")
    # The first launcher's trace goes through a pipe that the test stops
    # reading once the install folder is there: the launcher then stalls in
    # its unpacking, and the second starts for certain while it is at it.
    paused = threading.Event()

    def drain(pipe, path):
        with open(path, "wb") as out:
            while True:
                while paused.is_set():
                    time.sleep(0.01)
                chunk = os.read(pipe.fileno(), 1 << 16)
                if not chunk:
                    return
                out.write(chunk)

    first = subprocess.Popen(["wine", str(big.exe)], cwd=prefix.start, env=env,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    reader = threading.Thread(target=drain, args=(first.stderr, traces[0]))
    reader.start()
    for _ in range(1500):
        if folder.is_dir() or first.poll() is not None:
            break
        time.sleep(0.02)
    paused.set()
    with open(traces[1], "wb") as out:
        second = subprocess.Popen(["wine", str(big.exe)], cwd=prefix.start, env=env,
                                  stdout=subprocess.DEVNULL, stderr=out)
    time.sleep(3)  # the second launcher's start, while the first stands still
    paused.clear()
    for i, launcher in enumerate((first, second)):
        try:
            check(launcher.wait(timeout=4 * LAUNCHER_TIMEOUT) == 0,
                  f"two at once: launcher {i} exit {launcher.returncode}")
        except subprocess.TimeoutExpired:
            check(False, f"two at once: launcher {i} did not end")
            launcher.kill()
    reader.join()
    prefix.wait()
    found = expect_install(prefix, folder, windows, big, 2, "two at once")
    for record in found:
        check("gameversion.txt" in record["beside"], "two at once: a game started before the stamp was written")
    # The opens that create or overwrite a file (dispositions 2 to 5) of
    # each payload file, in both launchers' traces together.
    writes = {name: 0 for name in big.files()}
    pattern = re.compile(r'NtCreateFile .*name=L"([^"]*)".* disp=([0-9]+)')
    for trace in traces:
        for line in trace.read_text(errors="replace").splitlines():
            match = pattern.search(line)
            if match and int(match.group(2)) in (2, 3, 4, 5):
                name = match.group(1).replace("\\\\", "\\").lower()
                inside = f"\\bin\\{OWNER}\\{GAME}\\".lower()
                if inside in name:
                    relative = name.split(inside, 1)[1].replace("\\", "/")
                    for payload_name in writes:
                        if payload_name.lower() == relative:
                            writes[payload_name] += 1
    check(all(count > 0 for count in writes.values()),
          f"two at once: the trace shows no write of some files (is the file trace there?): {writes}")
    twice = {name: count for name, count in writes.items() if count > 1}
    check(not twice, f"two at once: payload files opened for writing more than once: {twice}")
    print(f"two at once: payload of {big.size} bytes, writes per file {sorted(set(writes.values()))}")


def test_renamed(prefix, v4, root):
    """Browsers save a second download as "StarCourier (1).exe"; a player may
    rename it to anything. The package's OriginalFilename names the program."""
    folder, windows = prefix.game_in_documents()
    original = pe_resources(v4.exe)[(16, 1)][1].decode("utf-16-le", errors="replace")
    check("OriginalFilename\0" in original and f"{PROGRAM}\0" in original,
          "renamed: the version resource records no OriginalFilename StarCourier.exe")
    renamed = root / "renamed"
    renamed.mkdir()
    for name in ("StarCourier (1).exe", "setup.exe"):
        prefix.reset()
        copy = renamed / name
        shutil.copy(v4.exe, copy)
        prefix.launch(types.SimpleNamespace(exe=copy), f"renamed {name!r}")
        expect_install(prefix, folder, windows, v4, 1, f"renamed {name!r}")
        check(not records(renamed), f"renamed {name!r}: a program beside the package was started")

    # Without the string (linked by hand, as packages were): installs, and
    # finds no "setup.exe" to start, as before.
    bare = renamed / "without"
    bare.mkdir()
    (bare / "payload.zip").write_bytes(gamedata(v4.exe))
    (bare / "gameid.bin").write_bytes(pe_resources(v4.exe)[(10, "GAMEID")][1])
    exe = bare / "setup.exe"
    link_with_kit('GAMEDATA RCDATA "payload.zip"\nGAMEID RCDATA "gameid.bin"\n'
                  + version_block([(0x409, 1200)], {"040904B0": "1.0.0.4"})
                  + '#include "dialog.rc"\n', exe, ARGS.kit, ARGS.windres, ARGS.cxx)
    prefix.reset()
    prefix.launch(types.SimpleNamespace(exe=exe), "renamed, without OriginalFilename")
    check(installed_files(folder) == v4.files(), "renamed, without OriginalFilename: not installed")
    check(not records(folder), "renamed, without OriginalFilename: a game was started")


# The DLLs the launcher may import statically. Each is one of Windows'
# KnownDLLs (the list under HKLM\SYSTEM\CurrentControlSet\Control\Session
# Manager\KnownDLLs), which the loader always maps from the system folder,
# whatever lies beside the program; ws2_32.dll is one of them. Any other DLL,
# such as version.dll, the launcher loads itself from System32 only. Add a
# name here only when it is a KnownDLL.
ALLOWED_IMPORTS = {"kernel32.dll", "user32.dll", "advapi32.dll", "shell32.dll", "ws2_32.dll", "msvcrt.dll"}
# What the launcher loads at run time, each planted beside the package too.
LOADED_AT_RUN_TIME = {"version.dll"}

PLANTED_SOURCE = r"""
// A DLL as a web page could drop it into a Downloads folder: when loaded,
// it leaves a file "<its own path>.ran" behind. It exports version.dll's
// functions, so that a launcher importing them loads it without complaint.
#include <windows.h>

extern "C" {
__declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR, LPDWORD) { return 0; }
__declspec(dllexport) BOOL WINAPI GetFileVersionInfoA(LPCSTR, DWORD, DWORD, LPVOID) { return FALSE; }
__declspec(dllexport) BOOL WINAPI VerQueryValueA(LPCVOID, LPCSTR, LPVOID*, PUINT) { return FALSE; }
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        char path[MAX_PATH + 8] = {};
        DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
        lstrcpyA(path + n, ".ran");
        HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    return TRUE;
}
"""


def test_planted_dll(prefix, v4, root):
    """A DLL planted beside the package for every DLL the launcher imports
    that is not always taken from the system folder, and for every one it
    loads at run time; WINEDLLOVERRIDES asks Wine for a native DLL first,
    the search order Windows uses for such DLLs. Nothing planted may run."""
    imports = pe_imports(v4.exe)
    check(bool(imports), "planted: no import table read")
    unexpected = sorted(set(imports) - ALLOWED_IMPORTS)
    check(not unexpected, f"planted: the launcher imports DLLs outside the allowed list: {unexpected}")

    downloads = root / "downloads"
    downloads.mkdir()
    source = downloads / "planted.cpp"
    source.write_text(PLANTED_SOURCE)
    planted = sorted(LOADED_AT_RUN_TIME | set(unexpected))
    for name in planted:
        result = run([ARGS.cxx, "-shared", "-static", "-o", downloads / name, source], cwd=downloads)
        assert result.returncode == 0, f"planted {name}: {result.stdout}{result.stderr}"
    exe = downloads / PROGRAM
    shutil.copy(v4.exe, exe)
    overrides = ";".join(f"{Path(name).stem}=n,b" for name in planted)
    env = dict(os.environ, WINEDLLOVERRIDES=f"{os.environ.get('WINEDLLOVERRIDES', '')};{overrides}")

    prefix.reset()
    folder, windows = prefix.game_in_documents()
    # From the Downloads folder itself too: the working folder must not count.
    for start, what in ((prefix.start, "planted"), (downloads, "planted, started in its folder")):
        saved, prefix.start = prefix.start, start
        try:
            prefix.launch(types.SimpleNamespace(exe=exe), what, env=env)
            ran = sorted(p.name for p in downloads.glob("*.ran"))
            check(not ran, f"{what}: planted DLLs ran: {ran}")
            for p in downloads.glob("*.ran"):
                p.unlink()
        finally:
            prefix.start = saved
    # The stamp holds the build number that the real version.dll reads.
    check(installed_files(folder) == v4.files(), "planted: the game was not installed")
    stamp = folder / "gameversion.txt"
    check(stamp.is_file() and stamp.read_text() == v4.stamp,
          f"planted: stamp {stamp.read_text() if stamp.is_file() else None!r}, expected {v4.stamp!r}")
    check(len(records(folder)) == 2, f"planted: {len(records(folder))} start(s) recorded, expected 2")


def test_manifest(v4):
    """The application manifest: run as the invoker, Windows 10 and 11."""
    resource = pe_resources(v4.exe).get((24, 1))
    if not check(resource is not None, "manifest: no RT_MANIFEST resource 1"):
        return
    text = resource[1].decode("utf-8", errors="replace")
    check(re.search(r"<requestedExecutionLevel\s+level=['\"]asInvoker['\"]", text) is not None,
          "manifest: no requestedExecutionLevel asInvoker")
    # Windows 10 and Windows 11 share this compatibility id.
    check("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}" in text, "manifest: no supportedOS for Windows 10 and 11")
    check("\0" not in text, "manifest: holds NUL characters")


def test_no_identity(prefix, bare):
    prefix.reset()
    prefix.launch(bare, "no identity")
    check(not (prefix.documents / "QUARN").exists(), "no identity: a QUARN folder was made")
    check(not records(prefix.start) and not records(bare.exe.parent), "no identity: a game was started")


def test_signed(prefix, signed):
    """A signed package installs and starts the game as an unsigned one does."""
    prefix.reset()
    folder = prefix.documents / "QUARN" / "bin" / OWNER / GAME
    prefix.launch(signed, "signed")
    expect_install(prefix, folder, f"{prefix.windows_documents}\\QUARN\\bin\\{OWNER}\\{GAME}",
                   signed, 1, "signed")


# ------------------------------------------------------------ other scripts

def test_other_script_names(prefix, other):
    """Entry names in French, Japanese and beyond the BMP install under their
    real names, and the game, listing its folder, sees them so."""
    prefix.reset()
    folder, windows = prefix.game_in_documents()
    prefix.launch(other, "names in other scripts")
    found = expect_install(prefix, folder, windows, other, 1, "names in other scripts")
    if found:
        expected = {"\u00e9t\u00e9.txt", "donn\u00e9es\\", "\u65e5\u672c\\"}
        check(expected <= found[0]["beside"], f"names in other scripts: the game saw {sorted(found[0]['beside'])}")


def test_other_script_folders(prefix, v4, root):
    """A userpath, a Documents folder and the package's own folder named in
    other scripts: the game installs and starts, and the stamp holds the
    build number the launcher read from its own file."""
    what = f"userpath C:\\{OTHER_SCRIPT_GAMES}"
    prefix.reset(f"C:\\{OTHER_SCRIPT_GAMES}")
    prefix.launch(v4, what)
    expect_install(prefix, prefix.drive / OTHER_SCRIPT_GAMES / "bin" / OWNER / GAME,
                   f"C:\\{OTHER_SCRIPT_GAMES}\\bin\\{OWNER}\\{GAME}", v4, 1, what)
    check(not (prefix.documents / "QUARN").exists(), f"{what}: installed in Documents instead")

    what = f"Documents moved to C:\\{OTHER_SCRIPT_DOCUMENTS}"
    prefix.reset()
    query = run(["wine", "reg", "query", SHELL_FOLDERS_KEY, "/v", "Personal"], timeout=60)
    original = re.search(r"Personal\s+REG_EXPAND_SZ\s+(.*)", query.stdout)
    original = original.group(1).strip() if original else "%USERPROFILE%\\Documents"
    # Made first, as a player's moved folder is: Wine links a Documents
    # folder that it creates itself to the Unix home.
    (prefix.drive / OTHER_SCRIPT_DOCUMENTS).mkdir()
    prefix.import_values(SHELL_FOLDERS_KEY, {"Personal": ("expand", f"C:\\{OTHER_SCRIPT_DOCUMENTS}")})
    try:
        prefix.launch(v4, what)
        expect_install(prefix, prefix.drive / OTHER_SCRIPT_DOCUMENTS / "QUARN" / "bin" / OWNER / GAME,
                       f"C:\\{OTHER_SCRIPT_DOCUMENTS}\\QUARN\\bin\\{OWNER}\\{GAME}", v4, 1, what)
        check(not (prefix.documents / "QUARN").exists(), f"{what}: installed in the old Documents folder")
    finally:
        prefix.import_values(SHELL_FOLDERS_KEY, {"Personal": ("expand", original)})

    what = f"package in C:\\{OTHER_SCRIPT_DOWNLOADS}"
    prefix.reset()
    downloads = prefix.drive / OTHER_SCRIPT_DOWNLOADS
    downloads.mkdir(exist_ok=True)
    try:
        shutil.copy(v4.exe, downloads / PROGRAM)
        prefix.launch(types.SimpleNamespace(exe=downloads / PROGRAM), what)
        expect_install(prefix, *prefix.game_in_documents(), v4, 1, what)
    finally:
        shutil.rmtree(downloads, ignore_errors=True)


def test_other_script_program(prefix, courier, root):
    """A game whose program is named in another script: the package of that
    name starts it, and so does the package saved as setup.exe, through the
    OriginalFilename that pack recorded."""
    folder, windows = prefix.game_in_documents()
    original = pe_resources(courier.exe)[(16, 1)][1].decode("utf-16-le", errors="replace")
    check(f"OriginalFilename\0{courier.program_name}\0" in original.replace("\0\0", "\0"),
          f"program in another script: OriginalFilename is not {courier.program_name!r}")
    prefix.reset()
    prefix.launch(courier, "program in another script")
    expect_install(prefix, folder, windows, courier, 1, "program in another script")
    saved = root / "saved"
    saved.mkdir()
    shutil.copy(courier.exe, saved / "setup.exe")
    prefix.reset()
    prefix.launch(types.SimpleNamespace(exe=saved / "setup.exe"), "program in another script, saved as setup.exe")
    expect_install(prefix, folder, windows, courier, 1, "program in another script, saved as setup.exe")


def test_unflagged_name(prefix, unflagged):
    """A name stored without the UTF-8 flag, with a byte of 0x80 or more,
    still means the system's ANSI code page, as it always has."""
    prefix.reset()
    query = run(["wine", "reg", "query", r"HKLM\System\CurrentControlSet\Control\Nls\CodePage", "/v", "ACP"],
                timeout=60)
    code_page = re.search(r"ACP\s+REG_SZ\s+(\d+)", query.stdout)
    if not check(code_page is not None, f"unflagged name: no ANSI code page in the registry: {query.stdout!r}"):
        return
    name = UNFLAGGED_NAME.decode(f"cp{code_page.group(1)}")
    folder = prefix.documents / "QUARN" / "bin" / OWNER / GAME
    prefix.launch(unflagged, "unflagged name")
    installed = installed_files(folder)
    check(installed.get(name) == UNFLAGGED_DATA,
          f"unflagged name: {name!r} not installed; found {sorted(installed)}")
    check(len(records(folder)) == 1, "unflagged name: the game was not started")


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--quarn", required=True, type=Path)
    parser.add_argument("--kit", required=True, type=Path)
    parser.add_argument("--game-program", required=True, type=Path)
    parser.add_argument("--game-files", required=True, type=Path)
    parser.add_argument("--holder", required=True, type=Path)
    parser.add_argument("--hostile-writer", required=True, type=Path)
    parser.add_argument("--windres", required=True)
    parser.add_argument("--cxx", required=True)
    parser.add_argument("--only", default="", help="comma-separated case names (test_...), for a quick rerun")
    ARGS = parser.parse_args()
    if not ARGS.quarn.is_file():
        print(f"no native quarn at {ARGS.quarn}: build the native preset first "
              "(cmake --preset native && cmake --build --preset native)")
        return 1
    for needed in (ARGS.kit / "launcher.o", ARGS.game_program, ARGS.holder, ARGS.hostile_writer):
        if not needed.is_file():
            print(f"missing {needed}: build the Windows preset first")
            return 1
    with tempfile.TemporaryDirectory(prefix="quarn-launcher-") as folder:
        root = Path(folder)
        start = root / "start here"
        start.mkdir()
        v4 = Package(root, "v4", "1.0.0.4")
        payload = Package(root, "payload", "1.0.0.4", extra={"settings.ini": b"[game]\nlanguage=de\nmusic=off\n" * 3})
        v5 = Package(root, "v5", "1.0.0.5")
        v6 = Package(root, "v6", "1.0.0.6", program_tail=b"\0build six\0")
        bare = Package(root, "bare", "1.0.0.4", identity=False)
        # Large enough that two launchers started together overlap.
        big = Package(root, "big", "1.0.0.7", extra={f"data/big-{i}.bin": os.urandom(8 << 20) for i in range(6)})
        check(payload.size != v4.size and v5.size == v4.size, "the packages' payload sizes are not as planned")
        signer = root / "signer"
        signer.mkdir()
        signed = Package(root, "signed", "1.0.0.4", sign=(make_certificate(signer, "Velmor", "secret")[0], "secret"))
        other = Package(root, "other", "1.0.0.4", extra=OTHER_SCRIPT_FILES)
        unflagged = unflagged_package(root)
        courier = Package(root, "courier", "1.0.0.4", program="\u041a\u0443\u0440\u044c\u0435\u0440.exe")  # Курьер.exe
        prefix = Prefix(start)
        cases = [
            (test_documents_and_rerun, (prefix, v4, payload, v5)),
            (test_userpath, (prefix, v4)),
            (test_running_game, (prefix, v4, v6)),
            (test_update_faults, (prefix, v4, payload)),
            (test_no_install_folder, (prefix, v4)),
            (test_no_identity, (prefix, bare)),
            (test_signed, (prefix, signed)),
            (test_manifest, (v4,)),
            (test_two_at_once, (prefix, big)),
            (test_renamed, (prefix, v4, root)),
            (test_planted_dll, (prefix, v4, root)),
            (test_hostile_corpus, (prefix, root)),
            (test_other_script_names, (prefix, other)),
            (test_other_script_folders, (prefix, v4, root)),
            (test_other_script_program, (prefix, courier, root)),
            (test_unflagged_name, (prefix, unflagged)),
        ]
        only = {name for name in ARGS.only.split(",") if name}
        try:
            for case, case_args in cases:
                if not only or case.__name__ in only:
                    case(*case_args)
        finally:
            prefix.reset()
    return finish()


if __name__ == "__main__":
    sys.exit(main())
