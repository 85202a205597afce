#!/usr/bin/env python3
"""Runs a command beside a PostgreSQL server of its own, and stops the server afterwards,
also when the command fails.

    with_postgres.py BUILD_DIR COMMAND [ARG...]

The server lives in BUILD_DIR/postgres (made afresh each time), listens on a free loopback
port, runs as an unprivileged user and logs every statement. It holds the login "kestrix"
(password in KX_PG_PASSWORD) with the database "kxdb" and its table OBJCT, and a database
"kxclosed" that the login may not use. BUILD_DIR/odbc is the ODBC configuration that the
command sees through ODBCSYSINI: the driver "SQL Server" is PostgreSQL's psqlODBC, and the
data source "KXORA" names kxdb on that server.

The command gets KX_PG_PORT, KX_PG_LOG (the server's log), KX_PG_PASSWORD and ODBCSYSINI.
"""
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

import beside

PASSWORD = "Kx-pw.1"
SETUP = """
SET log_statement = 'none';
CREATE ROLE kestrix LOGIN PASSWORD '{password}';
CREATE DATABASE kxdb OWNER kestrix;
CREATE DATABASE kxclosed;
REVOKE CONNECT ON DATABASE kxclosed FROM PUBLIC;
\\c kxdb
CREATE TABLE objct (machine varchar(64), server varchar(64), modul varchar(64), objct varchar(255),
                    checksum varchar(255));
ALTER TABLE objct OWNER TO kestrix;
"""


def binaries():
    found = sorted(Path("/usr/lib/postgresql").glob("*/bin/pg_ctl"))
    if not found:
        sys.exit("with_postgres: PostgreSQL is not installed")
    return found[-1].parent


def as_server_user(argv):
    """The command as the unprivileged user that owns the server's files."""
    user = beside.server_user()
    return ["runuser", "-u", user.pw_name, "--"] + argv if user else argv


def odbc_configuration(folder, port):
    folder.mkdir(parents=True, exist_ok=True)
    driver = next(Path("/usr/lib").glob("*/odbc/psqlodbcw.so"), None)
    if driver is None:
        sys.exit("with_postgres: psqlODBC (odbc-postgresql) is not installed")
    (folder / "odbcinst.ini").write_text(f"[SQL Server]\nDriver={driver}\nUsageCount=1\n")
    (folder / "odbc.ini").write_text(
        f"[KXORA]\nDriver=SQL Server\nServername=127.0.0.1\nPort={port}\nDatabase=kxdb\n")


def start(build, stops):
    home = build / "postgres"
    shutil.rmtree(home, ignore_errors=True)
    data, log = home / "data", home / "server.log"
    home.mkdir(parents=True)
    sockets = Path(tempfile.mkdtemp(prefix="kxpg-"))
    stops.append(lambda: shutil.rmtree(sockets, ignore_errors=True))
    beside.hand_over([home, sockets])
    port = beside.free_port()
    bin_dir = binaries()
    quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.STDOUT}
    subprocess.run(as_server_user([str(bin_dir / "initdb"), "-D", str(data), "-U", "postgres", "--auth-local=trust",
                                   "--auth-host=scram-sha-256", "-E", "UTF8", "--locale=C"]), check=True, **quiet)
    options = (f"-p {port} -k {sockets} -c listen_addresses=127.0.0.1 -c log_statement=all "
               "-c log_min_error_statement=error -c fsync=off")
    subprocess.run(as_server_user([str(bin_dir / "pg_ctl"), "-D", str(data), "-l", str(log), "-o", options,
                                   "-w", "start"]), check=True, **quiet)
    stops.append(lambda: subprocess.run(
        as_server_user([str(bin_dir / "pg_ctl"), "-D", str(data), "-m", "immediate", "stop"]), **quiet))
    subprocess.run(as_server_user([str(bin_dir / "psql"), "-h", str(sockets), "-p", str(port), "-U", "postgres",
                                   "-d", "postgres", "-v", "ON_ERROR_STOP=1", "-q"]),
                   input=SETUP.format(password=PASSWORD).encode(), check=True, stdout=subprocess.DEVNULL)
    odbc_configuration(build / "odbc", port)
    return {"KX_PG_PORT": str(port), "KX_PG_LOG": str(log), "KX_PG_PASSWORD": PASSWORD,
            "ODBCSYSINI": str(build / "odbc")}


if __name__ == "__main__":
    sys.exit(beside.run(sys.argv, __doc__, start))
