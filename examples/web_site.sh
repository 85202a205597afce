#!/usr/bin/env bash
# A web site's life through the command-line caller, each answer printed as it comes:
# a free number, the site with its root directory, started, found by its description,
# listed, its bindings read, and deleted.
#
#   examples/web_site.sh KESTRIX...    (the command that runs kestrix.exe)
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 KESTRIX-COMMAND..." >&2; exit 2; }

ask() {
    local answer
    answer=$("$@")
    printf '%-58s %s\n' "${*:$((KESTRIX_WORDS + 1))}" "$answer" >&2
    printf '%s\n' "$answer"
}
result() { python3 -c 'import json,sys; print(json.load(sys.stdin)["result"])'; }

KESTRIX_WORDS=$#
number=$(ask "$@" getfreewebid | result)
ask "$@" createwebroot "$number" "Kestrix Demo" 1 ":8080:" ":8443:" 'c:\inetpub\demo' >/dev/null
ask "$@" startwebsite "$number" >/dev/null
ask "$@" getwebid "Kestrix Demo" >/dev/null
ask "$@" getwebsitelist >/dev/null
ask "$@" getwebport "Kestrix Demo" >/dev/null
ask "$@" getwebportsecure "Kestrix Demo" >/dev/null
ask "$@" deletewebroot "$number" >/dev/null
ask "$@" getwebid "Kestrix Demo" >/dev/null
