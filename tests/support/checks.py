"""Shared pieces of the test scripts: soft checks that collect failures and
the verdict at the end, running a command with its output captured as text,
reading the resources of a PE file, linking a kit with resources of a
test's own, and making a certificate to sign with."""

import struct
import subprocess
from pathlib import Path

RT_DIALOG = 5
RT_RCDATA = 10
RT_VERSION = 16

# Every failed check, in order; a script fails when this is not empty.
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message)
    return condition


def finish():
    """The script's exit status: 1 when a check failed, after a count of them."""
    if failures:
        print(f"{len(failures)} check(s) failed")
        return 1
    print("all checks passed")
    return 0


def run_text(args, **kwargs):
    return subprocess.run([str(a) for a in args], capture_output=True, text=True, **kwargs)


class PeImage:
    """A PE32+ file's bytes, its data directories and RVA-to-offset mapping."""

    def __init__(self, path: Path):
        self.data = data = Path(path).read_bytes()
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        assert data[pe:pe + 4] == b"PE\0\0", "not a PE file"
        sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
        self.optional = pe + 24
        assert struct.unpack_from("<H", data, self.optional)[0] == 0x20B, "not PE32+"
        self.sections = []
        for i in range(sections):
            _, vsize, va, raw_size, raw = struct.unpack_from(
                "<8sIIII", data, self.optional + optional_size + 40 * i)
            self.sections.append((va, max(vsize, raw_size), raw))

    def directory(self, index):
        """(rva, size) of data directory index."""
        return struct.unpack_from("<II", self.data, self.optional + 112 + 8 * index)

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError(f"RVA {rva:#x} outside the sections")


def pe_resources(path: Path):
    """{(type, name): (language, bytes, file offset)} of a PE32+ file's
    resources; names are numbers or strings as the resource directory has them."""
    image = PeImage(path)
    data, offset = image.data, image.offset
    base = offset(image.directory(2)[0])

    def key(field):
        if field & 0x80000000:
            at = base + (field & 0x7FFFFFFF)
            length = struct.unpack_from("<H", data, at)[0]
            return data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
        return field

    def entries(at):
        named, ids = struct.unpack_from("<12xHH", data, base + at)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, base + at + 16 + 8 * i)
            yield key(name), target

    found = {}
    for rtype, types in entries(0):
        for name, names in entries(types & 0x7FFFFFFF):
            for language, leaf in entries(names & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", data, base + leaf)
                at = offset(rva)
                found[(rtype, name)] = (language, data[at:at + size], at)
    return found


def pe_imports(path: Path):
    """The DLL names, lower case, of a PE32+ file's import and delay-import tables."""
    image = PeImage(path)
    data = image.data

    def text(rva):
        at = image.offset(rva)
        return data[at:data.index(b"\0", at)].decode("ascii").lower()

    names = []
    # Directory 1: descriptors of 20 bytes, the name at 12. Directory 13:
    # delay-load descriptors of 32 bytes, the name at 4. A zero name ends each.
    for directory, size, name_at in ((1, 20, 12), (13, 32, 4)):
        rva, length = image.directory(directory)
        if rva == 0 or length == 0:
            continue
        at = image.offset(rva)
        while True:
            name_rva = struct.unpack_from("<I", data, at + name_at)[0]
            if name_rva == 0:
                break
            names.append(text(name_rva))
            at += size
    return names


def gamedata(path: Path) -> bytes:
    """The payload archive of a package: its RCDATA resource GAMEDATA."""
    return pe_resources(path)[(RT_RCDATA, "GAMEDATA")][1]


def link_with_kit(rc_text: str, out: Path, kit: Path, windres, cxx):
    """Links a kit (launcher.o, link.txt) with a resource script of our own;
    the files it names lie beside out, and the kit's folder is searched for
    the ones it includes."""
    folder, rc, obj = out.parent, out.stem + ".rc", out.stem + ".res.o"
    (folder / rc).write_text("#include <windows.h>\nLANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US\n" + rc_text)
    steps = [[windres, "-I", kit, "-O", "coff", "-i", rc, "-o", obj],
             [cxx, "-static", "-o", out, Path(kit) / "launcher.o", obj,
              *(Path(kit) / "link.txt").read_text().split()]]
    for step in steps:
        result = run_text(step, cwd=folder)
        assert result.returncode == 0, f"{step[0]}: {result.stdout}{result.stderr}"


def version_block(translations, tables):
    """A VERSIONINFO with the given translation pairs and {block: FileVersion}."""
    strings = "".join(f'    BLOCK "{block}"\n    BEGIN\n      VALUE "FileVersion", "{text}"\n    END\n'
                      for block, text in tables.items())
    pairs = ", ".join(f"{lang:#x}, {codepage}" for lang, codepage in translations)
    return ("1 VERSIONINFO\nFILEVERSION 1,0,0,0\nBEGIN\n  BLOCK \"StringFileInfo\"\n  BEGIN\n"
            f"{strings}  END\n  BLOCK \"VarFileInfo\"\n  BEGIN\n    VALUE \"Translation\", {pairs}\n  END\nEND\n")


def make_certificate(folder: Path, name: str, password: str):
    """A self-signed code-signing certificate made now, its key kept nowhere
    else: the PKCS#12 file, and the certificate alone as the root to trust."""
    key, pem, p12 = folder / "key.pem", folder / "root.pem", folder / "signer.p12"
    steps = [["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
              "-subj", f"/CN={name}/O=Quarn tests", "-addext", "extendedKeyUsage=codeSigning",
              "-keyout", key, "-out", pem],
             ["openssl", "pkcs12", "-export", "-inkey", key, "-in", pem, "-out", p12,
              "-passout", f"pass:{password}"]]
    for step in steps:
        result = run_text(step)
        assert result.returncode == 0, f"openssl: {result.stderr}"
    key.unlink()
    return p12, pem
