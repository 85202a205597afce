#!/usr/bin/env python3
"""./kx's install step against package tools of the test's own: what a package's scripts see of
the caller's environment, the one 'dpkg --configure -a' for a package left unconfigured, and
what a failure says. Prints one line per failed check and a closing verdict."""
import os
import shutil
import subprocess
import tempfile
from pathlib import Path

from verdict import check, verdict

ROOT = Path(__file__).resolve().parents[2]


# The fake tools keep each package's dpkg status in STATE/<package>, of the machine's own
# architecture (amd64); apt-get records the environment it was given and leaves the package as
# APT_LEAVES says, dpkg --configure -a as CONFIGURE_LEAVES says.
TOOLS = {
    "dpkg-query": """#!/bin/sh
[ -f "$STATE/$3" ] && printf 'install ok %s amd64\n' "$(cat "$STATE/$3")" && exit 0
exit 1
""",
    "apt-get": """#!/bin/sh
env >"$STATE/apt-env"
[ "$1" = update ] && exit 0
[ -n "$APT_LEAVES" ] && for p; do case $p in -*|install) ;; *) echo "$APT_LEAVES" >"$STATE/$p" ;; esac; done
[ "$APT_LEAVES" = installed ]
""",
    "dpkg": """#!/bin/sh
[ "$1" = --print-architecture ] && echo amd64 && exit 0
echo "$*" >>"$STATE/dpkg-calls"
for f in "$STATE"/pkg-*; do echo "$CONFIGURE_LEAVES" >"$f"; done
""",
}


def install(apt_leaves, configure_leaves):
    """./kx install pkg-a in a copy of kx with the fake tools first on PATH."""
    work = Path(tempfile.mkdtemp())
    try:
        (work / "bin").mkdir()
        for name, text in TOOLS.items():
            (work / "bin" / name).write_text(text)
            (work / "bin" / name).chmod(0o755)
        shutil.copy(ROOT / "kx", work / "kx")
        environment = dict(os.environ, PATH=f"{work / 'bin'}:{os.environ['PATH']}", STATE=str(work),
                           APT_LEAVES=apt_leaves, CONFIGURE_LEAVES=configure_leaves,
                           ODBCSYSINI="/nonexistent/odbc", ODBCINI="/nonexistent/odbc.ini", WINEPREFIX="/x",
                           KX_PREFIX="/x", KESTRIX_TRACE="C:\\trace.log")
        done = subprocess.run([str(work / "kx"), "install", "pkg-a"], env=environment, capture_output=True,
                              text=True, timeout=60)
        seen = (work / "apt-env").read_text() if (work / "apt-env").exists() else ""
        calls = (work / "dpkg-calls").read_text().splitlines() if (work / "dpkg-calls").exists() else []
        return done, seen, calls, work / "build" / "apt.log"
    finally:
        shutil.rmtree(work)


done, seen, calls, _ = install("installed", "installed")
names = [line.split("=", 1)[0] for line in seen.splitlines()]
check(done.returncode == 0 and calls == [], f"a clean install: {done.returncode} {calls} {done.stderr}")
ours = [n for n in names if n.startswith(("ODBC", "WINE", "KX_", "KESTRIX_"))]
check(seen and not ours, f"nothing of ours reaches apt: {ours}")
check("PATH" in names and "STATE" in names, "the rest of the caller's environment does")

done, _, calls, _ = install("half-configured", "installed")
check(done.returncode == 0 and calls == ["--configure -a"],
      f"a package left half-configured gets one dpkg --configure -a: {done.returncode} {calls} {done.stderr}")

done, _, calls, log = install("half-configured", "half-configured")
check(done.returncode == 1 and calls == ["--configure -a"], f"one try only, then a failure: {done.returncode} {calls}")
check("pkg-a" in done.stderr and "configuration step" in done.stderr and str(log) in done.stderr,
      f"the failure names the package, its step and the log: {done.stderr!r}")

done, _, calls, _ = install("", "installed")
check(done.returncode == 1 and calls == [] and "did not unpack" in done.stderr,
      f"a package apt never unpacked: {done.returncode} {calls} {done.stderr!r}")

verdict()
