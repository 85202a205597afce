#!/usr/bin/env bash
# A web site's life through the command-line caller, each answer printed as it comes:
# a free number, the site with its root directory, started, found by its description,
# listed, its bindings read, and deleted; then virtual directories, permissions, filters and
# an FTP site.
#
#   examples/web_site.sh KESTRIX...    (the command that runs kestrix.exe)
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 KESTRIX-COMMAND..." >&2; exit 2; }

. "$(dirname "${BASH_SOURCE[0]}")/caller.sh"

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

# An application in a virtual directory, permissions on a directory, a filter installed and
# uninstalled, and an FTP site created, started, stopped and deleted.
ask "$@" createwebsite 'c:\inetpub\shop' 1 shop "Shop" >/dev/null
ask "$@" getnumberofvirtualdirectories 1 >/dev/null
ask "$@" setwebpermission localhost 1 images RW >/dev/null
ask "$@" installisapifilter 1 compress 'c:\filters\compress.dll' Compression >/dev/null
ask "$@" installisapifilter 1 auth 'c:\filters\auth.dll' Authentication >/dev/null
ask "$@" uninstallisapifilter 1 "" "" Compression >/dev/null
ask "$@" deletevirtualdirectory 1 shop >/dev/null
ftp=$(ask "$@" getfreeftpid | result)
ask "$@" createftpsite "$ftp" "Kestrix Uploads" 2121 'c:\inetpub\uploads' >/dev/null
ask "$@" getftpid "Kestrix Uploads" >/dev/null
ask "$@" getftpport "Kestrix Uploads" >/dev/null
ask "$@" startftpsite "$ftp" >/dev/null
ask "$@" stopftpsite "$ftp" >/dev/null
ask "$@" deleteftpsite "$ftp" >/dev/null
