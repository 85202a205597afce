#!/usr/bin/env bash
# A directory server checked through the command-line caller: the logon, the naming suffixes
# that have no root entry yet, one of them tested, and the account password stored in the
# directory. Run beside a server: tools/with_slapd.py starts one (KX_LDAP_PORT).
#
#   examples/directory_server.sh KESTRIX...    (the command that runs kestrix.exe)
set -euo pipefail
[ $# -ge 1 ] && [ -n "${KX_LDAP_PORT:-}" ] || { echo "usage: KX_LDAP_PORT=N $0 KESTRIX-COMMAND..." >&2; exit 2; }
. "$(dirname "${BASH_SOURCE[0]}")/caller.sh"

KESTRIX_WORDS=$#
server=(127.0.0.1 "$KX_LDAP_PORT" cn=admin,o=Norvane admin-pw)
ask "$@" checkldapserver "${server[@]}" >/dev/null
ask "$@" checkldapserver 127.0.0.1 "$KX_LDAP_PORT" cn=admin,o=Norvane wrong-password >/dev/null
ask "$@" getldapentries "${server[@]}" >/dev/null
ask "$@" checkldapentryexcist "${server[@]}" o=Missing >/dev/null
ask "$@" getntuserpassword "${server[@]}" "" >/dev/null
