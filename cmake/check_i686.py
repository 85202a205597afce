#!/usr/bin/env python3
"""Reads every source of the 32-bit build once more with clang, for what GCC does not report:
a function cast between calling conventions (cdecl and stdcall), which works in every 64-bit
test and corrupts the stack on 32-bit Windows.

    check_i686.py BUILD_DIR

BUILD_DIR is the 32-bit build tree; its compile_commands.json names the sources and their
flags. Sources of the library, the stand-ins and the tools are read, not the tests' own
third-party code. Exits 1 and prints clang's diagnostics when any source fails.

A source read clean is read again only when it, a header it includes or its command changed
since (clang names the headers; BUILD_DIR/i686-read-clean.json keeps what was read clean).
"""
import concurrent.futures
import hashlib
import json
import os
import shlex
import subprocess
import sys
import tempfile
from pathlib import Path

ERRORS = ["-Werror=cast-calling-convention", "-Werror=cast-function-type", "-Werror=format",
          "-Werror=int-to-pointer-cast", "-Werror=pointer-to-int-cast", "-Werror=void-pointer-to-int-cast"]


def mingw_includes():
    gcc = subprocess.run(["i686-w64-mingw32-g++-posix", "-print-file-name=include"],
                         capture_output=True, text=True, check=True).stdout.strip()
    cxx = Path(gcc).parent / "include" / "c++"
    return ["-isystem", str(cxx), "-isystem", str(cxx / "i686-w64-mingw32"), "-isystem", gcc,
            "-isystem", "/usr/i686-w64-mingw32/include"]


def clang_command(entry, includes):
    words = shlex.split(entry["command"])
    kept = [w for w in words[1:] if w.startswith(("-D", "-I", "-std="))]
    return ["clang++", "--target=i686-w64-windows-gnu", "-fsyntax-only", "-Wno-everything", *ERRORS,
            *kept, *includes, entry["file"]]


CLANG_VERSION = subprocess.run(["clang++", "--version"], capture_output=True, text=True).stdout


def fingerprint(command, files):
    """clang's version, the command and the size and time of every file it reads; None when
    one is gone."""
    try:
        stamps = [f"{f} {os.stat(f).st_size} {os.stat(f).st_mtime_ns}" for f in files]
    except OSError:
        return None
    return hashlib.sha256("\n".join([CLANG_VERSION, shlex.join(command), *stamps]).encode()).hexdigest()


def key(entry):
    """A source as one target compiles it (a source may go into two with other flags)."""
    return f'{entry["file"]} {hashlib.sha256(entry["command"].encode()).hexdigest()[:16]}'


def read(entry, includes, known):
    """clang's verdict on one source: (return code, diagnostics, fingerprint of a clean read)."""
    command = clang_command(entry, includes)
    seen = known.get(key(entry))
    if seen and fingerprint(command, seen["files"]) == seen["fingerprint"]:
        return 0, "", seen
    with tempfile.NamedTemporaryFile(suffix=".d") as depfile:
        done = subprocess.run([*command, "-MD", "-MF", depfile.name, "-MT", "x"], capture_output=True,
                              text=True, cwd=entry["directory"])
        text = Path(depfile.name).read_text().replace("\\\n", " ")
    if done.returncode != 0:
        return done.returncode, done.stderr, None
    files = [os.path.join(entry["directory"], f) for f in shlex.split(text.split(":", 1)[1])]
    return 0, "", {"files": files, "fingerprint": fingerprint(command, files)}


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    build = Path(argv[1])
    root = Path(__file__).resolve().parent.parent
    entries = [e for e in json.loads((build / "compile_commands.json").read_text())
               if Path(e["file"]).resolve().is_relative_to(root)
               and Path(e["file"]).resolve().relative_to(root).parts[0] in ("src", "sim", "tools", "bench")
               and e["file"].endswith(".cpp")]
    includes = mingw_includes()
    record = build / "i686-read-clean.json"
    try:
        known = json.loads(record.read_text())
    except (OSError, ValueError):
        known = {}
    failed, clean, again = 0, {}, 0
    with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 2) as pool:
        for entry, (code, diagnostics, seen) in zip(entries, pool.map(lambda e: read(e, includes, known), entries)):
            if code != 0:
                failed += 1
                print(diagnostics, end="")
            elif seen:
                clean[key(entry)] = seen
                again += seen is not known.get(key(entry))
    record.write_text(json.dumps(clean))
    print(f"verdict: {len(entries) - failed} of {len(entries)} sources read clean as 32-bit code "
          f"({again} read now, the others unchanged since they were read clean)")
    return 1 if failed or not entries else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
