#!/usr/bin/env python3
"""A new simulated machine, as ./kx gives it to a user: a prefix of its own made by
'./kx sim reset', then logon checks through './kx run' against a PostgreSQL server that
with_postgres.py starts; the machine's ODBC driver "SQL Server" must reach it. Prints one line
per failed check and a closing verdict."""
import json
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

from verdict import check, verdict

ROOT = Path(__file__).resolve().parents[2]

# Run beside the server: the calls as one batch through ./kx run, an answer a line.
CALLS = """
import json, os, subprocess, sys
server, password = "127.0.0.1," + os.environ["KX_PG_PORT"], os.environ["KX_PG_PASSWORD"]
calls = [["checksqllogon", server, "kestrix", password, "kxdb"], ["checksqllogon", server, "kestrix", "wrong", "kxdb"],
         ["checkoralogon", "KXORA", "kestrix", password]]
batch = "".join(json.dumps({"member": c[0], "args": c[1:]}) + "\\n" for c in calls)
done = subprocess.run([sys.argv[1], "run", "--batch"], input=batch, capture_output=True, text=True)
print(done.stdout, done.stderr[-300:], file=sys.stderr)
print(done.stdout)
"""

prefix = Path(tempfile.mkdtemp()) / "prefix"
try:
    environment = dict(os.environ, KX_PREFIX=str(prefix))
    reset = subprocess.run([str(ROOT / "kx"), "sim", "reset"], env=environment, capture_output=True, text=True)
    check(reset.returncode == 0, f"./kx sim reset makes a new machine: {reset.stderr[-500:]}")
    done = subprocess.run([sys.executable, str(ROOT / "tools/with_postgres.py"), sys.executable, "-c", CALLS,
                           str(ROOT / "kx")], env=environment, capture_output=True, text=True, timeout=600)
    answers = [json.loads(line) for line in done.stdout.splitlines() if line.startswith("{")]
    check([a.get("result") for a in answers] == [0, 1, 0],
          f"checksqllogon 0 and 1, checkoralogon 0: {done.stdout} {done.stderr[-500:]}")
finally:
    subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=str(prefix)), capture_output=True)
    shutil.rmtree(prefix.parent, ignore_errors=True)

verdict()
