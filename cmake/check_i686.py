#!/usr/bin/env python3
"""Reads every source of the 32-bit build once more with clang, for what GCC does not report:
a function cast between calling conventions (cdecl and stdcall), which works in every 64-bit
test and corrupts the stack on 32-bit Windows.

    check_i686.py BUILD_DIR

BUILD_DIR is the 32-bit build tree; its compile_commands.json names the sources and their
flags. Sources of the library, the stand-ins and the tools are read, not the tests' own
third-party code. Exits 1 and prints clang's diagnostics when any source fails.
"""
import concurrent.futures
import json
import os
import shlex
import subprocess
import sys
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
    failed = 0
    with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 2) as pool:
        for entry, done in zip(entries, pool.map(
                lambda e: subprocess.run(clang_command(e, includes), capture_output=True, text=True,
                                         cwd=e["directory"]), entries)):
            if done.returncode != 0:
                failed += 1
                print(done.stderr, end="")
    print(f"verdict: {len(entries) - failed} of {len(entries)} sources read clean as 32-bit code")
    return 1 if failed or not entries else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
