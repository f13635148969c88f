"""Shared pieces of the test scripts: soft checks that collect failures,
running a command with its output captured as text, and linking a kit with
resources of a test's own."""

import subprocess
from pathlib import Path

# Every failed check, in order; a script fails when this is not empty.
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message)
    return condition


def run_text(args, **kwargs):
    return subprocess.run([str(a) for a in args], capture_output=True, text=True, **kwargs)


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
