#!/usr/bin/env bash
# Database logons checked through the command-line caller, as a setup program checks them
# before it creates a database: a SQL Server logon that works, one with a wrong password, one
# to a database the login may not use, and an Oracle logon through its alias. Run beside a
# server: tools/with_postgres.py starts one (KX_PG_PORT, KX_PG_PASSWORD; the alias KXORA).
#
#   examples/database.sh KESTRIX...    (the command that runs kestrix.exe)
set -euo pipefail
[ $# -ge 1 ] && [ -n "${KX_PG_PORT:-}" ] || { echo "usage: KX_PG_PORT=N KX_PG_PASSWORD=P $0 KESTRIX-COMMAND..." >&2; exit 2; }
. "$(dirname "${BASH_SOURCE[0]}")/caller.sh"

KESTRIX_WORDS=$#
server="127.0.0.1,$KX_PG_PORT"
ask "$@" checksqllogon "$server" kestrix "$KX_PG_PASSWORD" kxdb >/dev/null
ask "$@" checksqllogon "$server" kestrix wrong-password kxdb >/dev/null
ask "$@" checksqllogon "$server" kestrix "$KX_PG_PASSWORD" kxclosed >/dev/null
ask "$@" checkoralogon KXORA kestrix "$KX_PG_PASSWORD" >/dev/null
