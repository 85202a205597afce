#!/usr/bin/env bash
# On demand, as root, on a machine that may be changed (it takes 20 to 40 minutes): what a new
# user meets. Purges the packages that ./kx installs for the servers and the database driver,
# clones this repository into a private (0700) folder, and there runs ./kx demo, ./kx test and
# a database logon check through ./kx run against a PostgreSQL server that works; exits non-zero
# at the first that fails. Nothing of the caller's environment but PATH, HOME and LANG reaches it.
#
#   tests/fresh_machine.sh [--keep-packages]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
say() { printf 'fresh_machine: %s\n' "$*" >&2; }

if [ "${1:-}" != --keep-packages ]; then
    purge=(odbc-postgresql slapd postgresql postgresql-15)
    dpkg --print-foreign-architectures | grep -qx i386 && purge+=(odbc-postgresql:i386)
    say "purging ${purge[*]}"
    DEBIAN_FRONTEND=noninteractive apt-get purge -y "${purge[@]}" >/dev/null 2>&1 || true
fi

home=$(mktemp -d)  # 0700, as a new user's home is
trap 'rm -rf "$home"' EXIT
git clone -q "$root" "$home/kestrix"
cd "$home/kestrix"
clean() { env -i PATH="$PATH" HOME="$HOME" LANG="${LANG:-C.UTF-8}" "$@"; }

say "./kx demo in $home/kestrix"
clean ./kx demo >"$home/demo.log" 2>&1 || { tail -n 40 "$home/demo.log"; say "./kx demo failed"; exit 1; }
say "./kx test"
clean ./kx test 2>&1 | tee "$home/test.log" | tail -n 5
grep -q '^100% tests passed' "$home/test.log" || { say "./kx test did not pass every test"; exit 1; }
say "./kx run checksqllogon against a PostgreSQL login that works"
answer=$(clean python3 tools/with_postgres.py bash -c \
    './kx run checksqllogon "127.0.0.1,$KX_PG_PORT" kestrix "$KX_PG_PASSWORD" kxdb')
echo "$answer"
[ "$(printf '%s' "$answer" | python3 -c 'import json,sys; print(json.load(sys.stdin)["result"])')" = 0 ] ||
    { say "the logon check did not answer 0"; exit 1; }
say "all passed"
