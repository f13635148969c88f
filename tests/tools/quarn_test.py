#!/usr/bin/env python3
"""End-to-end checks of the quarn tool against independent ZIP tools.

Usage: quarn_test.py QUARN {interop|damaged|errors}

interop: a generated source tree is archived by Info-ZIP zip, Python's
zipfile, 7z and bsdtar; every archive is unpacked by `quarn extract` and by
`unzip`, and the two trees must be identical (and equal to the source where
the archive holds the whole tree). `quarn list` must show every entry with
the sizes, time and kind that Python's reader sees.

damaged: archives with one broken entry; the others must still come out, the
broken one must be named, and the exit status must say so.

errors: bad arguments and files that are no archives give one line on
stderr and the right exit status, never a crash.

Everything is generated in a temporary folder; nothing is stored.
"""

import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
from checks import check, failures, finish  # noqa: E402

QUARN = ""
# DOS times are read as local time; in UTC the listed time is the stored one.
ENV = dict(os.environ, TZ="UTC")


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, env=ENV, **kwargs)


def quarn(*args):
    return run([QUARN, *map(str, args)])


# ---------------------------------------------------------------- source tree

def make_tree(root: Path):
    rng = random.Random(20240611)
    lines = "".join(f"line {i}: the quick brown fox jumps over the lazy dog\n" for i in range(400))
    files = {
        "readme.txt": lines.encode(),
        "notes with spaces.txt": b"spaces in the name\r\nand CRLF lines\r\n",
        ".hidden": b"dot file\n",
        "folder with spaces/inner file.txt": b"inside a folder with spaces\n",
        "data/blob.bin": rng.randbytes(5000),
        "data/nested/empty.dat": b"",
        "data/nested/deeper/deepest.bin": rng.randbytes(777),
        # Over 64 KiB, alternating compressible and random runs, so inflate
        # input and output refills land at varied places.
        "big/mixed.bin": b"".join(
            (lines.encode()[: rng.randrange(1000, 20000)] if i % 2 else rng.randbytes(rng.randrange(1000, 30000)))
            for i in range(24)),
        # Incompressible and not a multiple of any buffer size.
        "big/random.bin": rng.randbytes(300_001),
        # Long runs: the deflate stream is far shorter than the output.
        "big/zeros.bin": bytes(200_000),
    }
    for name, data in files.items():
        path = root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
    for empty in ("void", "a b/empty inside"):
        (root / empty).mkdir(parents=True)


def snapshot(root: Path):
    """(files as {relative path: bytes}, folders as a set of relative paths)."""
    files, folders = {}, set()
    for dirpath, dirnames, filenames in os.walk(root):
        base = Path(dirpath)
        for d in dirnames:
            folders.add((base / d).relative_to(root).as_posix())
        for f in filenames:
            files[(base / f).relative_to(root).as_posix()] = (base / f).read_bytes()
    return files, folders


def describe_difference(a, b):
    fa, da = a
    fb, db = b
    parts = []
    if fa.keys() != fb.keys():
        parts.append(f"files only in first {sorted(fa.keys() - fb.keys())}, "
                     f"only in second {sorted(fb.keys() - fa.keys())}")
    parts += [f"{k} differs" for k in sorted(fa.keys() & fb.keys()) if fa[k] != fb[k]]
    if da != db:
        parts.append(f"folders only in first {sorted(da - db)}, only in second {sorted(db - da)}")
    return "; ".join(parts)


# ------------------------------------------------------------------ archivers

def tree_paths(src: Path):
    """Every file and folder under src, folders before their contents."""
    out = []
    for dirpath, dirnames, filenames in os.walk(src):
        dirnames.sort()
        base = Path(dirpath)
        out += [base / d for d in dirnames]
        out += [base / f for f in sorted(filenames)]
    return out


def python_zip(out: Path, src: Path, compression, seekable=True):
    class Unseekable:
        """A write-only stream: zipfile then writes data descriptors."""
        def __init__(self, f):
            self.f = f

        def write(self, b):
            return self.f.write(b)

        def flush(self):
            self.f.flush()

    with open(out, "wb") as raw:
        target = raw if seekable else Unseekable(raw)
        with zipfile.ZipFile(target, "w", compression) as zf:
            for path in tree_paths(src):
                zf.write(path, path.relative_to(src).as_posix())


def shell(out: Path, src: Path, command, piped=False, stdin=None):
    """Runs command in src. piped: the archive comes through a pipe on stdout,
    so the archiver cannot seek back in it."""
    result = subprocess.run(command, cwd=src, stdin=stdin, capture_output=True)
    if result.returncode != 0:
        raise RuntimeError(f"{command}: {result.stderr.decode(errors='replace')}")
    if piped:
        out.write_bytes(result.stdout)


def infozip_stdin(out: Path, src: Path, zip64):
    # Input from a pipe and output to a pipe: nothing can be patched up, so
    # zip writes data descriptors. Not knowing the size, it makes the local
    # header Zip64 unless told otherwise with -fz-; the central header still
    # holds 32-bit sizes, which is all the reader needs.
    with open(src / "big/mixed.bin", "rb") as data:
        shell(out, src, ["zip", "-q", *([] if zip64 else ["-fz-"]), "-", "-"], piped=True, stdin=data)


# (label, builder(out, src), holds the whole source tree, entries use data descriptors)
ARCHIVERS = [
    ("infozip-deflate", lambda o, s: shell(o, s, ["zip", "-r", "-q", str(o), "."]), True, False),
    ("infozip-stored", lambda o, s: shell(o, s, ["zip", "-r", "-q", "-0", str(o), "."]), True, False),
    ("infozip-streamed", lambda o, s: shell(o, s, ["zip", "-r", "-q", "-", "."], piped=True), True, True),
    ("infozip-stdin", lambda o, s: infozip_stdin(o, s, zip64=False), False, True),
    ("infozip-stdin-zip64", lambda o, s: infozip_stdin(o, s, zip64=True), False, True),
    ("python-stored", lambda o, s: python_zip(o, s, zipfile.ZIP_STORED), True, False),
    ("python-deflated", lambda o, s: python_zip(o, s, zipfile.ZIP_DEFLATED), True, False),
    ("python-unseekable", lambda o, s: python_zip(o, s, zipfile.ZIP_DEFLATED, seekable=False), True, True),
    ("7z-deflate", lambda o, s: shell(o, s, ["7z", "a", "-tzip", "-bd", "-y", str(o), "."]), True, False),
    ("7z-stored", lambda o, s: shell(o, s, ["7z", "a", "-tzip", "-mx=0", "-bd", "-y", str(o), "."]), True, False),
    ("bsdtar-deflate", lambda o, s: shell(o, s, ["bsdtar", "--format", "zip", "-cf", str(o), "."]), True, False),
    ("bsdtar-stored", lambda o, s: shell(
        o, s, ["bsdtar", "--format", "zip", "--options", "zip:compression=store", "-cf", str(o),
               *sorted(os.listdir(s))]), True, False),
]


# -------------------------------------------------------------------- listing

ROW = re.compile(r"^\s*(\d+)\s+(\d+)\s+(\d+)\s+(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d|-)\s+(0x[0-9A-F]{2,})  (.*)$")


def parse_listing(text):
    lines = text.splitlines()
    return lines[0] if lines else "", lines[1:]


def check_listing(label, archive: Path):
    result = quarn("list", archive)
    out = result.stdout.decode("utf-8", errors="replace")
    if not check(result.returncode == 0, f"{label}: list exit {result.returncode}: {result.stderr!r}"):
        return
    _, rows = parse_listing(out)
    infos = zipfile.ZipFile(archive).infolist()
    check(len(rows) == len(infos), f"{label}: list has {len(rows)} rows for {len(infos)} entries")
    for i, (row, info) in enumerate(zip(rows, infos)):
        m = ROW.match(row)
        if not check(m is not None, f"{label}: unparsable row {row!r}"):
            continue
        index, size, packed, when, attr, name = m.groups()
        expected_when = "%04d-%02d-%02d %02d:%02d:%02d" % info.date_time
        check((int(index), int(size), int(packed), when, name) ==
              (i, info.file_size, info.compress_size, expected_when, info.filename),
              f"{label}: row {row!r} does not match {info!r}")
        is_folder = bool(int(attr, 16) & 0x10)
        check(is_folder == info.filename.endswith("/"), f"{label}: folder flag in {row!r}")


# -------------------------------------------------------------------- interop

def test_interop(work: Path):
    src = work / "src"
    src.mkdir()
    make_tree(src)
    source_tree = snapshot(src)
    for label, build, whole_tree, descriptors in ARCHIVERS:
        before = len(failures)
        archive = work / f"{label}.zip"
        build(archive, src)
        infos = zipfile.ZipFile(archive).infolist()
        if descriptors:
            # Guard the fixture itself: it must really exercise descriptors.
            check(any(i.flag_bits & 8 for i in infos if i.file_size),
                  f"{label}: archive unexpectedly lacks data descriptors")

        by_quarn, by_unzip = work / f"{label}.quarn", work / f"{label}.unzip"
        result = quarn("extract", archive, by_quarn)
        check(result.returncode == 0 and not result.stderr,
              f"{label}: extract exit {result.returncode}: {result.stderr!r}")
        by_unzip.mkdir()
        unzipped = run(["unzip", "-qq", "-o", str(archive), "-d", str(by_unzip)])
        check(unzipped.returncode == 0, f"{label}: unzip failed: {unzipped.stderr!r}")

        quarn_tree = snapshot(by_quarn)
        check(quarn_tree == snapshot(by_unzip),
              f"{label}: quarn and unzip differ: {describe_difference(quarn_tree, snapshot(by_unzip))}")
        if whole_tree:
            check(quarn_tree == source_tree,
                  f"{label}: quarn and source differ: {describe_difference(quarn_tree, source_tree)}")
        else:
            check(len(quarn_tree[0]) == len(infos), f"{label}: expected {len(infos)} files")
        check_listing(label, archive)
        print(f"{'ok' if len(failures) == before else 'failed'}: {label} ({len(infos)} entries)")


# -------------------------------------------------------------------- damaged

def entry_data_offset(blob: bytes, info: zipfile.ZipInfo):
    name_length = int.from_bytes(blob[info.header_offset + 26: info.header_offset + 28], "little")
    extra_length = int.from_bytes(blob[info.header_offset + 28: info.header_offset + 30], "little")
    return info.header_offset + 30 + name_length + extra_length


def damaged_archive(work: Path, label, damage):
    """Three entries; damage(blob, victim info) breaks the middle one in place."""
    path = work / f"{label}.zip"
    text = "".join(f"row {i} of some text that compresses\n" for i in range(3000)).encode()
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as zf:
        for name in ("first.txt", "victim.txt", "last.txt"):
            zf.writestr(name, text + name.encode())
    blob = bytearray(path.read_bytes())
    damage(blob, zipfile.ZipFile(path).getinfo("victim.txt"))
    path.write_bytes(blob)
    return path, text


def break_local_signature(blob, info):
    blob[info.header_offset] ^= 0xFF


def break_data(blob, info):
    middle = entry_data_offset(blob, info) + info.compress_size // 2
    for k in range(8):
        blob[middle + k] ^= 0x5A


def test_damaged(work: Path):
    cases = [
        # (label, damage, start of the error line, list must report the entry)
        # A record that cannot be read has no name to show, only its index.
        ("local-header", break_local_signature, "quarn: entry 1: ", True),
        ("entry-data", break_data, "quarn: victim.txt: ", False),
    ]
    for label, damage, error_start, list_fails in cases:
        before = len(failures)
        archive, text = damaged_archive(work, label, damage)
        target = work / f"{label}.out"
        result = quarn("extract", archive, target)
        errors = result.stderr.decode(errors="replace").splitlines()
        check(result.returncode == 1, f"{label}: extract exit {result.returncode}")
        check(len(errors) == 1 and errors[0].startswith(error_start),
              f"{label}: extract stderr {errors!r}")
        for name in ("first.txt", "last.txt"):
            check((target / name).is_file() and (target / name).read_bytes() == text + name.encode(),
                  f"{label}: {name} not extracted intact")

        listed = quarn("list", archive)
        _, rows = parse_listing(listed.stdout.decode(errors="replace"))
        check(len(rows) == 3, f"{label}: list rows {rows!r}")
        if list_fails:
            check(listed.returncode == 1, f"{label}: list exit {listed.returncode}")
            check(len(rows) == 3 and re.match(r"^\s*1\s+error: \S", rows[1]) is not None
                  and rows[0].endswith("first.txt") and rows[2].endswith("last.txt"),
                  f"{label}: list rows {rows!r}")
        else:
            check(listed.returncode == 0, f"{label}: list exit {listed.returncode}")
        print(f"{'ok' if len(failures) == before else 'failed'}: damaged {label}")

    # An end record that counts 65535 entries over one: the first hundred
    # missing ones are named, the rest summed up in one line.
    before = len(failures)
    archive = work / "count.zip"
    with zipfile.ZipFile(archive, "w") as zf:
        zf.writestr("a.txt", "alpha")
    blob = bytearray(archive.read_bytes())
    end = blob.rfind(b"PK\x05\x06")
    blob[end + 8: end + 12] = b"\xff\xff\xff\xff"
    archive.write_bytes(blob)
    result = quarn("extract", archive, work / "count.out")
    errors = result.stderr.decode(errors="replace").splitlines()
    check(result.returncode == 1, f"count: extract exit {result.returncode}")
    check(len(errors) == 101 and errors[0].startswith("quarn: entry 1: ")
          and errors[99].startswith("quarn: entry 100: ")
          and errors[100].endswith("and 65434 more entries not installed"),
          f"count: extract stderr {errors[:2]!r} ... {errors[-2:]!r} ({len(errors)} lines)")
    check((work / "count.out" / "a.txt").read_bytes() == b"alpha", "count: a.txt not extracted")
    print(f"{'ok' if len(failures) == before else 'failed'}: damaged entry count")


# --------------------------------------------------------------------- errors

def test_errors(work: Path):
    text_file = work / "notes.txt"
    text_file.write_text("this is not an archive\n" * 20)
    empty_file = work / "empty.zip"
    empty_file.write_bytes(b"")
    folder = work / "a folder"
    folder.mkdir()
    missing = work / "missing.zip"
    good = work / "good.zip"
    with zipfile.ZipFile(good, "w") as zf:
        zf.writestr("a.txt", "a")
    huge = work / "huge.zip"
    try:
        with open(huge, "wb") as f:
            f.truncate(4 << 30)  # sparse: costs no space
    except OSError:
        huge = None
    out = work / "out"

    cases = [
        # (arguments, exit status)
        (["frobnicate"], 2),
        (["list"], 2),
        (["list", good, good], 2),
        (["extract", good], 2),
        (["extract", good, out, out], 2),
        (["list", missing], 1),
        (["extract", missing, out], 1),
        (["list", folder], 1),
        (["extract", folder, out], 1),
        (["list", text_file], 1),
        (["extract", text_file, out], 1),
        (["list", empty_file], 1),
        (["extract", empty_file, out], 1),
    ]
    if huge:
        cases += [(["list", huge], 1), (["extract", huge, out], 1)]
    if os.geteuid() != 0:  # root reads everything
        unreadable = work / "unreadable.zip"
        shutil.copy(good, unreadable)
        unreadable.chmod(0)
        cases += [(["list", unreadable], 1), (["extract", unreadable, out], 1)]

    for args, status in cases:
        result = quarn(*args)
        errors = result.stderr.decode(errors="replace").splitlines()
        shown = " ".join(str(a).replace(str(work), "") for a in args)
        check(result.returncode == status, f"'{shown}': exit {result.returncode}, expected {status}")
        check(len(errors) == 1 and errors[0].startswith("quarn: "), f"'{shown}': stderr {errors!r}")
        check(not result.stdout, f"'{shown}': stdout {result.stdout!r}")

    # No command is an error like any other: one line; --help gives the usage.
    result = quarn()
    errors = result.stderr.decode().splitlines()
    check(result.returncode == 2 and len(errors) == 1 and errors[0].startswith("quarn: ")
          and "--help" in errors[0] and not result.stdout, f"no arguments: {result.stderr!r}")
    result = quarn("--help")
    usage = result.stdout.decode()
    check(result.returncode == 0, f"--help: exit {result.returncode}")
    check("list ARCHIVE" in usage and "extract ARCHIVE DIR" in usage and "--version" in usage,
          f"--help: usage {usage!r}")
    result = quarn("--version", "now")
    check(result.returncode == 2 and len(result.stderr.splitlines()) == 1, f"--version now: {result.stderr!r}")
    print("ok: error cases" if not failures else "failed: error cases")


def main():
    global QUARN
    if len(sys.argv) != 3 or sys.argv[2] not in ("interop", "damaged", "errors"):
        sys.exit(__doc__)
    QUARN = os.path.abspath(sys.argv[1])
    test = {"interop": test_interop, "damaged": test_damaged, "errors": test_errors}[sys.argv[2]]
    with tempfile.TemporaryDirectory(prefix="quarn-test-") as work:
        test(Path(work))
    sys.exit(finish())


if __name__ == "__main__":
    main()
