#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets.

Usage: make_seeds.py OUTDIR

OUTDIR/archive, OUTDIR/differential and OUTDIR/unpack get the same archives
(OUTDIR/sequence gets them behind call scripts): made by independent
tools (Info-ZIP zip, Python's zipfile, 7z, bsdtar; a tool that is missing is
skipped) and crafted byte by byte here, each crafted one damaged in one
named way. OUTDIR/identity gets GAMEID inputs: four bytes of payload size,
then the resource. Nothing is stored in the repository; this script is the
corpus.
"""

import io
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib
from pathlib import Path

DOS_TIME, DOS_DATE = 0x6DAF, 0x30EF
FILE_ATTRIBUTES = 0x81A40020
FOLDER_ATTRIBUTES = 0x41ED0010


# ------------------------------------------------------------ crafted archives

def raw_deflate(data: bytes) -> bytes:
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    return c.compress(data) + c.flush()


class Entry:
    def __init__(self, name, data=b"", deflate=False, attributes=FILE_ATTRIBUTES,
                 descriptor=False):
        self.name = name.encode() if isinstance(name, str) else name
        self.data = data
        self.deflate = deflate
        self.attributes = attributes
        self.descriptor = descriptor
        self.stored = raw_deflate(data) if deflate else data
        self.crc = zlib.crc32(data)
        self.size = len(data)


def local_header(e: Entry) -> bytes:
    flags = 8 if e.descriptor else 0
    crc, csize, usize = (0, 0, 0) if e.descriptor else (e.crc, len(e.stored), e.size)
    return struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flags, 8 if e.deflate else 0,
                       DOS_TIME, DOS_DATE, crc, csize, usize, len(e.name), 0) + e.name


def central_header(e: Entry, at: int, **override) -> bytes:
    f = dict(flags=8 if e.descriptor else 0, method=8 if e.deflate else 0, crc=e.crc,
             csize=len(e.stored), usize=e.size, offset=at, attributes=e.attributes, extra=b"")
    f.update(override)
    return struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 0x031E, 20, f["flags"], f["method"],
                       DOS_TIME, DOS_DATE, f["crc"], f["csize"], f["usize"], len(e.name),
                       len(f["extra"]), 0, 0, 0, f["attributes"], f["offset"]) + e.name + f["extra"]


def unicode_path(stored: bytes, name: str) -> bytes:
    """A Unicode path extra field naming `name` for the stored name."""
    text = name.encode()
    return struct.pack("<HHBI", 0x7075, 5 + len(text), 1, zlib.crc32(stored)) + text


def end_record(count, size, offset, comment=b"", here=None) -> bytes:
    here = count if here is None else here
    return struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, here, count, size, offset,
                       len(comment)) + comment


def archive(entries, prefix=b"", comment=b"", count=None, central_override=None):
    """A whole archive; central_override maps an entry index to changed fields."""
    out = bytearray(prefix)
    offsets = []
    for e in entries:
        offsets.append(len(out) - len(prefix))
        out += local_header(e) + e.stored
        if e.descriptor:
            out += struct.pack("<IIII", 0x08074B50, e.crc, len(e.stored), e.size)
    start = len(out) - len(prefix)
    central = b"".join(central_header(e, offsets[i], **(central_override or {}).get(i, {}))
                       for i, e in enumerate(entries))
    out += central
    out += end_record(len(entries) if count is None else count, len(central), start, comment)
    return bytes(out)


def crafted():
    small = [Entry("a.txt", b"alpha"), Entry("b/c.bin", b"gamma " * 40, deflate=True)]
    seeds = {
        "plain": archive(small),
        "folder": archive([Entry("d/", attributes=FOLDER_ATTRIBUTES), Entry("d/e.txt", b"e")]),
        "empty-with-prefix": b"MZ" + bytes(62) + end_record(0, 0, 0),
        "end-record-only": end_record(0, 0, 0),
        "data-in-front": archive(small, prefix=b"MZ\x90\x00" + bytes(200)),
        "comment-holds-end-signature": archive(small, comment=b"PK\x05\x06 trailing"),
        "data-descriptor": archive([Entry("s.txt", b"streamed " * 30, deflate=True, descriptor=True)]),
        "count-65535-over-one": archive(small[:1], count=0xFFFF),
        "declared-4gib-stored": archive([Entry("big", b"tiny")],
                                        central_override={0: dict(usize=0xFFFFFFFF, csize=0xFFFFFFFF)}),
        "declared-4gib-deflated": archive([Entry("big", b"tiny", deflate=True)],
                                          central_override={0: dict(usize=0xFFFFFFFF)}),
        "expands-past-declared": archive([Entry("bomb", bytes(100000), deflate=True)],
                                         central_override={0: dict(usize=1000)}),
        "offset-past-end": archive(small, central_override={1: dict(offset=0xFFFFFF00)}),
        "size-past-end": archive(small, central_override={0: dict(csize=0x7FFFFFFF)}),
        "comment-65513": archive(small[:1], comment=b"c" * 65513),
        # Names flagged as UTF-8 (bit 11), one of them not UTF-8, and Unicode
        # path fields, one matching its stored name and one stale.
        "unicode-names": archive(
            [Entry("donn\u00e9es/\u00e9t\u00e9.txt", b"fr"), Entry(b"caf\xe9.txt", b"cp"),
             Entry("plain.txt", b"up"), Entry("stale.txt", b"st")],
            central_override={0: dict(flags=0x800), 1: dict(flags=0x800),
                              2: dict(extra=unicode_path(b"plain.txt", "\u65e5\u672c.txt")),
                              3: dict(extra=unicode_path(b"other.txt", "\u00e9.txt"))}),
        "unsafe-names": archive([Entry(n, b"evil") for n in (
            "../x", "..\\x", "a/../../x", "/abs", "C:x", "x:stream", "\\\\server\\share\\x",
            "CON", "nul.txt", "ok/../../y", "...", "")]
            + [Entry(b"nul\x00inside", b"n"), Entry("d" * 58 + "/" + "f" * 200, b"long"),
               Entry("last/" + "n" * 255, b"too long"), Entry("good.txt", b"good")]),
    }
    # Two central entries sharing one local header and its data.
    e = Entry("shared.txt", b"shared bytes")
    body = local_header(e) + e.stored
    central = central_header(e, 0) + central_header(e, 0)
    seeds["shared-local-header"] = body + central + end_record(2, len(central), len(body))
    # Directory size and offset that wrap around 32 bits to a small sum.
    plain = archive(small[:1])
    end = plain.rfind(b"PK\x05\x06")
    wrapped = bytearray(plain)
    size, offset = struct.unpack_from("<II", plain, end + 12)
    struct.pack_into("<II", wrapped, end + 12, (size + 0x80000000) & 0xFFFFFFFF,
                     (offset + 0x80000000) & 0xFFFFFFFF)
    seeds["directory-wraps-32-bits"] = bytes(wrapped)
    # The end record sits 65535 + 22 bytes from the end: out of the search's reach.
    seeds["comment-65535"] = archive(small[:1], comment=b"c" * 65535)
    # Many entries, and an end record claiming more than there are.
    many = [Entry(f"m{i:03}", b"m") for i in range(300)]
    seeds["many-entries-count-65535"] = archive(many, count=0xFFFF)
    return seeds


# ------------------------------------------------------------ tool archives

class Unseekable(io.RawIOBase):
    """A write-only stream: zipfile then writes data descriptors."""

    def __init__(self):
        self.buffer = bytearray()

    def writable(self):
        return True

    def write(self, b):
        self.buffer += b
        return len(b)


def python_archives(tree: Path):
    files = sorted(p for p in tree.rglob("*") if p.is_file())
    seeds = {}
    for label, method in (("stored", zipfile.ZIP_STORED), ("deflated", zipfile.ZIP_DEFLATED)):
        out = io.BytesIO()
        with zipfile.ZipFile(out, "w", method) as z:
            for p in files:
                z.write(p, p.relative_to(tree).as_posix())
        seeds[f"python-{label}"] = out.getvalue()
    stream = Unseekable()
    with zipfile.ZipFile(stream, "w", zipfile.ZIP_DEFLATED) as z:
        for p in files:
            z.writestr(p.relative_to(tree).as_posix(), p.read_bytes())
    seeds["python-streamed"] = bytes(stream.buffer)
    return seeds


def tool_archives(tree: Path, work: Path):
    commands = {
        "zip": ["zip", "-q", "-r", "-X", "{out}", "."],
        "zip-stored": ["zip", "-q", "-0", "-r", "-X", "{out}", "."],
        "7z": ["7z", "a", "-tzip", "-bd", "-bso0", "{out}", "."],
        "bsdtar": ["bsdtar", "--format", "zip", "-cf", "{out}", "."],
    }
    seeds = {}
    for label, command in commands.items():
        if shutil.which(command[0]) is None:
            print(f"make_seeds: {command[0]} not found, no {label} seed", file=sys.stderr)
            continue
        out = work / f"{label}.zip"
        args = [str(out) if a == "{out}" else a for a in command]
        if subprocess.run(args, cwd=tree, capture_output=True).returncode == 0 and out.exists():
            seeds[label] = out.read_bytes()
        else:
            print(f"make_seeds: {label} failed", file=sys.stderr)
    return seeds


def make_tree(root: Path):
    # Small on purpose: the corpus' largest input sets libFuzzer's length limit.
    files = {
        "game.exe": bytes(range(256)) * 4,
        "hub.ini": b"[hub]\r\nserver=example\r\n",
        "data/maps/a.txt": b"map " * 100,
        "data/empty.dat": b"",
        # Names in other scripts: the tools mark them as UTF-8 or add a
        # Unicode path field.
        "donn\u00e9es/\u00e9t\u00e9.txt": "\u00e9t\u00e9".encode(),
        "\u65e5\u672c/\U0001f3ae.sav": b"save",
    }
    for name, data in files.items():
        path = root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
    (root / "saves").mkdir()


# ------------------------------------------------------------ identity inputs

ALPHABET = b"ABCDEFGHIJKLMNOPQRSTUVWXYZ#&*-+="


def mix(a):
    m = 0xFFFFFFFF
    a = ((a + 0x7ED55D16) + (a << 12)) & m
    a = ((a ^ 0xC761C23C) ^ (a >> 19)) & m
    a = ((a + 0x165667B1) + (a << 5)) & m
    a = ((a + 0xD3A2646C) ^ (a << 9)) & m
    a = ((a + 0xFD7046C5) + (a << 3)) & m
    a = ((a ^ 0xB55A4F09) ^ (a >> 16)) & m
    return a


def encipher(key, data: bytes) -> bytes:
    state, out = key, bytearray()
    for b in data:
        c = b ^ (state & 0xFF)
        out.append(c)
        state = mix((c + state) & 0xFFFFFFFF)
    return bytes(out)


def record(owner: bytes, game: bytes, lead: bytes, checksum_delta=0, dot=b".") -> bytes:
    covered = lead + b"\0" + owner + dot + game
    checksum = (sum(covered) + checksum_delta) & 0xFFFF
    data = struct.pack("<HB", checksum, len(lead)) + covered
    return data + bytes(-len(data) % 5)


def symbols(data: bytes) -> bytes:
    out = bytearray()
    for at in range(0, len(data), 5):
        group = data[at:at + 5].ljust(5, b"\0")
        high = 0
        for k, b in enumerate(group):
            out.append(ALPHABET[b & 31])
            high |= (b >> 5) << (3 * k)
        out += bytes([ALPHABET[high & 31], ALPHABET[(high >> 5) & 31], ALPHABET[(high >> 10) & 31]])
    return bytes(out)


def game_id(rec: bytes, payload_size: int) -> bytes:
    return encipher(payload_size, symbols(encipher(0, rec))) + b"\0"


def identity_seeds():
    good = record(b"maker", b"game1", b"Welcome")
    seeds = {}
    for size in (1, 1000, 65535, 0x12345):
        seeds[f"gameid-{size}"] = struct.pack("<I", size) + game_id(good, size)
    seeds["gameid-at-folded-size"] = struct.pack("<I", 0x7FFF0400) + game_id(good, 0x0400)
    seeds["plain-symbols"] = struct.pack("<I", 0) + symbols(encipher(0, good))
    seeds["no-dot"] = struct.pack("<I", 77) + game_id(record(b"maker", b"game", b"x", dot=b""), 77)
    seeds["long-lead"] = struct.pack("<I", 5) + game_id(record(b"@", b"9", b"L" * 90), 5)
    seeds["bad-checksum"] = struct.pack("<I", 9) + game_id(record(b"a", b"b", b"t", 1), 9)
    seeds["160-symbols"] = struct.pack("<I", 3) + game_id(record(b"o" * 40, b"g" * 40, b"l" * 10), 3)
    seeds["too-long"] = struct.pack("<I", 3) + b"A" * 168 + b"\0"
    seeds["empty"] = struct.pack("<I", 3)
    return seeds


# ------------------------------------------------------------ call sequences

def sequence_seeds(archives):
    """Each archive behind a call script for the sequence target: a count,
    a source kind (memory, file name, handle), four bytes per call. The
    calls are drawn at random from a fixed seed: the fuzzer must find the
    orders that matter itself."""
    seeds = {}
    rng = random.Random(9)
    for label, data in sorted(archives.items()):
        for kind in range(3):
            calls = rng.randrange(4, 17)
            script = bytes([calls, kind]) + bytes(rng.randrange(256) for _ in range(4 * calls))
            seeds[f"{label}-{kind}"] = script + data
    return seeds


# ------------------------------------------------------------ main

def write(folder: Path, seeds: dict):
    folder.mkdir(parents=True, exist_ok=True)
    for name, data in seeds.items():
        (folder / name).write_bytes(data)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = Path(sys.argv[1])
    with tempfile.TemporaryDirectory() as temp:
        tree = Path(temp) / "tree"
        tree.mkdir()
        make_tree(tree)
        archives = crafted()
        archives.update(python_archives(tree))
        archives.update(tool_archives(tree, Path(temp)))
    for target in ("archive", "differential", "unpack"):
        if (out / target).exists():
            shutil.rmtree(out / target)
        write(out / target, archives)
    if (out / "sequence").exists():
        shutil.rmtree(out / "sequence")
    write(out / "sequence", sequence_seeds(archives))
    if (out / "identity").exists():
        shutil.rmtree(out / "identity")
    write(out / "identity", identity_seeds())
    print(f"make_seeds: {len(archives)} archives, {len(identity_seeds())} identity inputs in {out}")


if __name__ == "__main__":
    main()
