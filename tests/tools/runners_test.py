#!/usr/bin/env python3
"""The runners of the real servers, copied into a private (0700) folder as a clone in a new
user's home lies: each passes on the exit code of the command that reaches its servers, so that
a test under it fails when its program does. Prints one line per failed check and a verdict."""
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

from verdict import check, verdict

TOOLS = Path(__file__).resolve().parents[2] / "tools"

# The command: it reaches the server's port, then exits with the code it is given.
PROBE = """
import os, socket, sys
socket.create_connection(("127.0.0.1", int(os.environ[sys.argv[1]])), timeout=5).close()
sys.exit(int(sys.argv[2]))
"""

clone = Path(tempfile.mkdtemp())  # 0700, owned by the caller
try:
    shutil.copytree(TOOLS, clone / "tools", ignore=shutil.ignore_patterns("__pycache__"))
    for runner, variable in (("with_postgres.py", "KX_PG_PORT"), ("with_slapd.py", "KX_LDAP_PORT")):
        for exit_code in (0, 3):
            done = subprocess.run([sys.executable, str(clone / "tools" / runner), sys.executable, "-c", PROBE,
                                   variable, str(exit_code)], capture_output=True, text=True, timeout=300)
            check(done.returncode == exit_code,
                  f"{runner} passes on the command's exit code {exit_code}: {done.returncode} {done.stderr[-500:]}")
finally:
    shutil.rmtree(clone)

verdict()
