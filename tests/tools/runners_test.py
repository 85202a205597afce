#!/usr/bin/env python3
"""The runners of the real servers, copied into a private (0700) folder as a clone in a new
user's home lies: each starts its servers, the command reaches them, and the servers' folder is
gone afterwards, also when the command fails. Prints one line per failed check and a verdict."""
import json
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

from verdict import check, verdict

TOOLS = Path(__file__).resolve().parents[2] / "tools"

# What the command reports: the port it reached.
PROBE = """
import json, os, socket, sys
port = int(os.environ[sys.argv[1]])
socket.create_connection(("127.0.0.1", port), timeout=5).close()
print(json.dumps({"port": port}))
sys.exit(int(sys.argv[2]))
"""

clone = Path(tempfile.mkdtemp())  # 0700, owned by the caller
try:
    shutil.copytree(TOOLS, clone / "tools", ignore=shutil.ignore_patterns("__pycache__"))
    for runner, variable in (("with_postgres.py", "KX_PG_PORT"), ("with_slapd.py", "KX_LDAP_PORT")):
        for exit_code in (0, 3):
            before = set(Path(tempfile.gettempdir()).glob("kx*-*"))
            done = subprocess.run([sys.executable, str(clone / "tools" / runner), sys.executable, "-c", PROBE,
                                   variable, str(exit_code)], capture_output=True, text=True, timeout=300)
            check(done.returncode == exit_code,
                  f"{runner} passes on the command's exit code {exit_code}: {done.returncode} {done.stderr[-500:]}")
            check(done.stdout.strip() and json.loads(done.stdout)["port"] > 0, f"{runner}: the command reached it")
            left = set(Path(tempfile.gettempdir()).glob("kx*-*")) - before
            check(not left, f"{runner} removes the servers' folder (exit {exit_code}): {left}")
finally:
    shutil.rmtree(clone)

verdict()
