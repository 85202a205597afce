#!/usr/bin/env python3
"""Runs a command beside two OpenLDAP servers of its own, and stops them afterwards, also when
the command fails.

    with_slapd.py COMMAND [ARG...]

Both listen on free loopback ports and run as an unprivileged user, in a new private folder
of that user (removed when they stop), with a schema that has
the attribute types nsslapd-suffix and nvxpassword. Each holds the configuration entry
cn=config,cn=ldbm and the organisation o=Norvane with cn=admin (password admin-pw, who may read
everything) and cn=reader (password reader-pw, who may not read nvxpassword).

- The open server (KX_LDAP_PORT) allows anonymous binds. Its suffixes are o=Norvane (which has
  a root entry), o=Missing, dc=example,dc=com and O=Upper (which have none); its entry
  cn=2,ou=Accounts,o=Norvane holds nvxpassword. It also listens on 127.0.0.1:389 when that
  port is free (KX_LDAP_DEFAULT_PORT=1).
- The closed server (KX_LDAP_CLOSED_PORT) refuses anonymous binds, lets only cn=admin read
  its configuration, has the single suffix o=Solo, and an entry cn=2 without nvxpassword.
- The binary server (KX_LDAP_BINARY_PORT) is the open one but that nvxpassword has the
  syntax of an octet string there, and cn=2 holds the bytes 00 53 33 63 72 65 74 FF in it.
"""
import grp
import os
import shutil
import signal
import socket
import subprocess
import sys
import time
from pathlib import Path

import beside

SCHEMA = """
attributetype ( 1.3.6.1.4.1.55555.1.1 NAME 'nsslapd-suffix' EQUALITY caseIgnoreMatch
    SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )
attributetype ( 1.3.6.1.4.1.55555.1.2 NAME 'nvxpassword' EQUALITY {password_syntax} )
objectclass ( 1.3.6.1.4.1.55555.2.1 NAME 'kxBackend' SUP top AUXILIARY MAY nsslapd-suffix )
objectclass ( 1.3.6.1.4.1.55555.2.2 NAME 'kxAccount' SUP top AUXILIARY MAY nvxpassword )
"""

CONFIG = """
include /etc/ldap/schema/core.schema
include /etc/ldap/schema/cosine.schema
include {home}/kestrix.schema
pidfile {home}/slapd.pid
argsfile {home}/slapd.args
modulepath /usr/lib/ldap
moduleload back_mdb
{anonymous}
access to attrs=nvxpassword by dn.exact="cn=admin,o=Norvane" read by * none
access to dn.subtree="cn=ldbm" by dn.exact="cn=admin,o=Norvane" read by * {configuration}
access to attrs=userPassword by anonymous auth by * none
access to * by * read

database mdb
suffix "cn=ldbm"
rootdn "cn=manager,cn=ldbm"
directory {home}/ldbm
maxsize 10485760

database mdb
suffix "o=Norvane"
rootdn "cn=manager,o=Norvane"
directory {home}/norvane
maxsize 10485760
"""

LDBM = """dn: cn=ldbm
objectClass: applicationProcess
cn: ldbm

dn: cn=config,cn=ldbm
objectClass: applicationProcess
objectClass: kxBackend
cn: config
{suffixes}
"""

NORVANE = """dn: o=Norvane
objectClass: organization
o: Norvane

dn: cn=admin,o=Norvane
objectClass: person
cn: admin
sn: admin
userPassword: admin-pw

dn: cn=reader,o=Norvane
objectClass: person
cn: reader
sn: reader
userPassword: reader-pw

dn: ou=Accounts,o=Norvane
objectClass: organizationalUnit
ou: Accounts

dn: cn=2,ou=Accounts,o=Norvane
objectClass: applicationProcess
objectClass: kxAccount
cn: 2
{password}
"""


def port_is_free(port):
    with socket.socket() as s:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            s.bind(("127.0.0.1", port))
            return True
        except OSError:
            return False


def answers(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=0.2):
            return True
    except OSError:
        return False


TEXT_SYNTAX = "caseExactMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.15"
OCTET_STRING_SYNTAX = "octetStringMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.40"


def server(home, suffixes, password, closed, urls, password_syntax=TEXT_SYNTAX):
    """Writes, fills and starts one server; its pid file."""
    for folder in ("ldbm", "norvane"):
        (home / folder).mkdir(parents=True)
    (home / "kestrix.schema").write_text(SCHEMA.format(password_syntax=password_syntax))
    config = home / "slapd.conf"
    config.write_text(CONFIG.format(home=home, anonymous="disallow bind_anon\nrequire authc" if closed else "",
                                    configuration="none" if closed else "read"))
    (home / "ldbm.ldif").write_text(LDBM.format(suffixes="\n".join(f"nsslapd-suffix: {s}" for s in suffixes)))
    (home / "norvane.ldif").write_text(NORVANE.format(password=password))
    quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.STDOUT, "check": True}
    subprocess.run(["slapadd", "-f", str(config), "-b", "cn=ldbm", "-l", str(home / "ldbm.ldif")], **quiet)
    subprocess.run(["slapadd", "-f", str(config), "-b", "o=Norvane", "-l", str(home / "norvane.ldif")], **quiet)
    command = ["slapd", "-f", str(config), "-h", " ".join(urls)]
    beside.hand_over([home, *home.rglob("*")])
    user = beside.server_user()
    if user:
        command += ["-u", user.pw_name, "-g", grp.getgrgid(user.pw_gid).gr_name]
    subprocess.run(command, **quiet)
    return home / "slapd.pid"


def stop(pid_file):
    try:
        os.kill(int(pid_file.read_text().split()[0]), signal.SIGTERM)
    except (OSError, ValueError):
        pass


def start(stops):
    if not shutil.which("slapd") and Path("/usr/sbin/slapd").exists():
        os.environ["PATH"] += ":/usr/sbin"
    folder = beside.private_folder("kxldap-", stops)
    open_port, closed_port, binary_port = beside.free_port(), beside.free_port(), beside.free_port()
    default = port_is_free(389)
    urls = [f"ldap://127.0.0.1:{open_port}/"] + (["ldap://127.0.0.1:389/"] if default else [])
    for home, suffixes, password, closed, listen, syntax in (
            ("open", ["o=Norvane", "o=Missing", "dc=example,dc=com", "O=Upper"], "nvxpassword: S3cret-from-ldap",
             False, urls, TEXT_SYNTAX),
            ("closed", ["o=Solo"], "", True, [f"ldap://127.0.0.1:{closed_port}/"], TEXT_SYNTAX),
            ("binary", ["o=Norvane"], "nvxpassword:: AFMzY3JldP8=", False, [f"ldap://127.0.0.1:{binary_port}/"],
             OCTET_STRING_SYNTAX)):
        pid_file = server(folder / home, suffixes, password, closed, listen, syntax)
        stops.append(lambda pid_file=pid_file: stop(pid_file))
    for port in (open_port, closed_port, binary_port):
        for _ in range(100):
            if answers(port):
                break
            time.sleep(0.05)
    return {"KX_LDAP_PORT": str(open_port), "KX_LDAP_CLOSED_PORT": str(closed_port),
            "KX_LDAP_BINARY_PORT": str(binary_port),
            "KX_LDAP_DEFAULT_PORT": "1" if default else "0"}


if __name__ == "__main__":
    sys.exit(beside.run(sys.argv, __doc__, start))
