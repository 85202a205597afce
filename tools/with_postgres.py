#!/usr/bin/env python3
"""Runs a command beside a PostgreSQL server of its own, and stops the server afterwards,
also when the command fails.

    with_postgres.py COMMAND [ARG...]

The server lives in a new private folder of the unprivileged user it runs as (removed when it
stops), listens on a free loopback port and logs every statement. It holds the login
"kestrix" (password in KX_PG_PASSWORD) with the database "kxdb" and its table OBJCT, and a
database "kxclosed" that the login may not use. The data source "KXORA" names kxdb on that
server, in the ODBC data source file that ODBCINI names; the driver it uses, "SQL Server", is
the simulated machine's own (./kx gives every prefix one).

The command gets KX_PG_PORT, KX_PG_LOG (the server's log), KX_PG_PASSWORD and ODBCINI.
"""
import subprocess
import sys
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


def start(stops):
    home = beside.private_folder("kxpg-", stops)
    data, log = home / "data", home / "server.log"
    port = beside.free_port()
    bin_dir = binaries()
    quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.STDOUT, "cwd": home}  # where its user may be
    subprocess.run(as_server_user([str(bin_dir / "initdb"), "-D", str(data), "-U", "postgres", "--auth-local=trust",
                                   "--auth-host=scram-sha-256", "-E", "UTF8", "--locale=C"]), check=True, **quiet)
    options = (f"-p {port} -k {home} -c listen_addresses=127.0.0.1 -c log_statement=all "
               "-c log_min_error_statement=error -c fsync=off")
    subprocess.run(as_server_user([str(bin_dir / "pg_ctl"), "-D", str(data), "-l", str(log), "-o", options,
                                   "-w", "start"]), check=True, **quiet)
    stops.append(lambda: subprocess.run(
        as_server_user([str(bin_dir / "pg_ctl"), "-D", str(data), "-m", "immediate", "stop"]), **quiet))
    subprocess.run(as_server_user([str(bin_dir / "psql"), "-h", str(home), "-p", str(port), "-U", "postgres",
                                   "-d", "postgres", "-v", "ON_ERROR_STOP=1", "-q"]),
                   input=SETUP.format(password=PASSWORD).encode(), check=True, stdout=subprocess.DEVNULL, cwd=home)
    sources = home / "odbc.ini"
    sources.write_text(f"[KXORA]\nDriver=SQL Server\nServername=127.0.0.1\nPort={port}\nDatabase=kxdb\n")
    return {"KX_PG_PORT": str(port), "KX_PG_LOG": str(log), "KX_PG_PASSWORD": PASSWORD, "ODBCINI": str(sources)}


if __name__ == "__main__":
    sys.exit(beside.run(sys.argv, __doc__, start))
