#!/usr/bin/env python3
"""Every VBScript example of docs/reference.md, run under the system's script host on a freshly
installed simulated machine (in the reference's order, each as a Sub of one script, with the
files they name made first); the examples that need a directory server only compile. KX_WINE
names the command that runs a Windows program in the prefix, KXSIM the simulated machine's
tool. Prints one line per failed check and a closing verdict."""
import os
import re
import shlex
import subprocess
import sys
import tempfile
from pathlib import Path

REFERENCE = Path(__file__).resolve().parents[2] / "docs" / "reference.md"
WINE = shlex.split(os.environ["KX_WINE"])
# Members whose examples need a directory server that answers: they raise without one.
COMPILE_ONLY = {"getldapentries", "checkldapentryexcist", "updatemetabasewithcrcs"}

PROLOGUE = r"""
Set fso = CreateObject("Scripting.FileSystemObject")
For Each folder In Array("c:\shop", "c:\shop\logs", "c:\inetpub", "c:\inetpub\shop")
    If Not fso.FolderExists(folder) Then fso.CreateFolder folder
Next
For Each file In Array("c:\shop\shop.ini", "c:\shop\web.config", "c:\shop\shop.dll", "c:\shop\shopsvc.exe")
    fso.CreateTextFile(file, True).WriteLine "PORT=80"
Next
"""


def examples():
    """(section, code) for every example: a fenced vbscript block, or the code after 'Example:'."""
    found, section = [], "top"
    lines = REFERENCE.read_text().splitlines()
    i = 0
    while i < len(lines):
        line = lines[i]
        if heading := re.match(r"#{2,3} (\w+)$", line):
            section = heading[1]
        elif line == "```vbscript":
            end = lines.index("```", i)
            found.append((section, "\n".join(lines[i + 1:end])))
            i = end
        elif inline := re.match(r"Example: `([^`]+)`", line):
            found.append((section, inline[1]))
        i += 1
    return found


def script(chosen):
    """A script that defines each example as a Sub and calls those that run."""
    text = [PROLOGUE]
    for n, (section, code) in enumerate(chosen):
        text += [f"Sub Example{n}", code, "End Sub"]
    text += ["Dim failed, passed", "failed = 0: passed = 0", "On Error Resume Next"]
    for n, (section, code) in enumerate(chosen):
        if section in COMPILE_ONLY:
            text.append("passed = passed + 1")
            continue
        text += [f"Example{n}",
                 f'If Err.Number <> 0 Then WScript.Echo "FAIL: the example of {section} stopped: " & Hex(Err.Number) & '
                 f'" " & Err.Description: failed = failed + 1: Err.Clear Else passed = passed + 1']
    text.append('WScript.Echo "verdict: " & passed & " checks passed, " & failed & " failed"')
    return "\r\n".join(text) + "\r\n"


def run(chosen, folder):
    path = folder / "examples.vbs"
    path.write_text(script(chosen))
    done = subprocess.run(WINE + ["cscript", "//nologo", "Z:" + str(path).replace("/", "\\")], capture_output=True,
                          text=True, errors="replace", timeout=600)
    return done.stdout + done.stderr


def main():
    chosen = examples()
    subprocess.run(WINE + [os.environ["KXSIM"], "reset"], capture_output=True, check=True)
    with tempfile.TemporaryDirectory() as folder:
        output = run(chosen, Path(folder))
        print(output, end="")
        if "verdict:" in output:
            return 0 if re.search(r"verdict: \d+ checks passed, 0 failed", output) else 1
        # The script did not compile: each example alone names the ones that do not, or stop.
        wrong = [section for section, code in chosen
                 if not re.search(r"verdict: \d+ checks passed, 0 failed", run([(section, code)], Path(folder)))]
        for section in wrong:
            print(f"FAIL: the example of {section} does not compile, or stops")
        print(f"verdict: {len(chosen) - len(wrong)} checks passed, {max(len(wrong), 1)} failed")
        return 1


if __name__ == "__main__":
    sys.exit(main())
