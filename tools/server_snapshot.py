"""What a simulated server holds, read off its Wine prefix, and what changed between two
readings: the web server's sites, virtual directories, filters and FTP sites (the stand-in's
store); users, groups and memberships (the account store); the files under drive C with their
size and digest; the registry (HKLM, HKCR, the user's hive); the services.

Wine's own churn and the installer's own bookkeeping are left out: CHURN says what and why."""
import hashlib
import os
import re
from pathlib import Path

# What changes under Wine and Windows Installer whatever a package does, and what a change of a
# package never shows in: patterns over "file PATH" (below drive_c) and "registry HIVE\KEY".
CHURN = [
    # Windows Installer's own bookkeeping: the cached package, its rollback scripts and files,
    # its registration of products, components and features, the uninstall entry.
    (r"file windows/installer(/|$)", "the installer's cache and rollback files"),
    (r"file windows/temp(/|$)", "temporary files"),
    (r"file users/[^/]+/(temp|appdata/local/temp)(/|$)", "temporary files"),
    (r"registry HKLM\\software\\microsoft\\windows\\currentversion\\installer(\\|$)", "product registration"),
    (r"registry HKLM\\software\\classes\\installer(\\|$)", "product registration"),
    (r"registry HKCU\\software\\microsoft\\installer(\\|$)", "product registration"),
    (r"registry HKLM\\software\\microsoft\\windows\\currentversion\\uninstall(\\|$)", "the uninstall entry"),
    (r"registry HKLM\\system\\currentcontrolset\\control\\session manager\\pendingfilerenameoperations$",
     "pending renames"),
    (r"registry HKLM\\system\\currentcontrolset\\control\\class(\\|$)", "the drivers' data, which Wine's display driver rewrites"),
    # Wine's own: its settings, the random seed, the shell's state and window positions.
    (r"registry HK(LM|CU)\\software\\wine(\\|$)", "Wine's settings"),
    (r"registry HKLM\\software\\microsoft\\cryptography\\rng(\\|$)", "the random seed"),
    (r"registry HKCU\\software\\microsoft\\windows\\currentversion\\explorer(\\|$)", "the shell's state"),
    # The simulated server's stores and Kestrix's trace: read as sites and accounts, and calls.
    (r"file kxsim(/|$)", "the simulated server's stores, read as sites and accounts"),
    (r"file kxtrace\.log$", "Kestrix's trace, read as calls"),
]
CHURNING = [re.compile(p, re.I) for p, _ in CHURN]


def churn(kind, name):
    return any(p.match(f"{kind} {name}") for p in CHURNING)


def store(path):
    """A stand-in's store file as {path: (class, {property: value})}, path joined by '/'."""
    nodes = {}
    current = None
    for line in path.read_text(errors="replace").splitlines() if path.exists() else []:
        if m := re.match(r'node (\S+) "((?:[^"\\]|\\.)*)"$', line):
            current = unquote(m[2])
            nodes[current] = (m[1], {})
        elif current and (m := re.match(r"  (\S+) (\S+) ?(.*)$", line)):
            values = [unquote(v) for v in re.findall(r'"((?:[^"\\]|\\.)*)"', m[3])] if m[2] in ("string", "list") \
                else [m[3]]
            nodes[current][1][m[1]] = values if m[2] == "list" else values[0] if values else ""
    return nodes


def unquote(text):
    return re.sub(r"\\u([0-9a-fA-F]{4})|\\(.)", lambda m: chr(int(m[1], 16)) if m[1] else m[2], text)


def registry(path, hive):
    """A Wine registry file as {HIVE\\KEY\\NAME: value}; NAME is @ for the default value."""
    values, key, pending = {}, None, ""
    lines = path.read_text(errors="replace").splitlines() if path.exists() else []
    for line in lines:
        if pending:
            line, pending = pending + line.lstrip(), ""
        if line.endswith("\\") and not line.endswith("\\\\"):
            pending = line[:-1]
            continue
        if line.startswith("["):
            key = hive + "\\" + line[1:line.rindex("]")].replace("\\\\", "\\")
            values[key + "\\"] = "(key)"  # a key that holds no value counts too
        elif key and (m := re.match(r'(@|"((?:[^"\\]|\\.)*)")=(.*)$', line)):
            name = "@" if m[1] == "@" else m[2].replace("\\\\", "\\").replace('\\"', '"')
            values[key + "\\" + name] = m[3]
    return values


def files(drive, known=None):
    """{path below drive_c: (size, digest)}, reusing the digest of a file whose size and time
    are those of the known reading."""
    known, out = known or {}, {}
    for folder, subfolders, names in os.walk(drive):
        relative = os.path.relpath(folder, drive).replace(os.sep, "/") + "/"
        if relative != "./" and not churn("file", relative):
            out[relative] = ((0, 0), "folder")  # a folder that holds nothing counts too
        for name in names:
            full = os.path.join(folder, name)
            relative = os.path.relpath(full, drive).replace(os.sep, "/")
            if os.path.islink(full) or churn("file", relative):
                continue
            status = os.stat(full)
            stamp = (status.st_size, status.st_mtime_ns)
            if relative in known and known[relative][0] == stamp:
                out[relative] = known[relative]
                continue
            digest = hashlib.sha256()
            with open(full, "rb") as f:
                for chunk in iter(lambda: f.read(1 << 20), b""):
                    digest.update(chunk)
            out[relative] = (stamp, digest.hexdigest())
    return out


class Snapshot:
    """One reading of the server."""

    def __init__(self, prefix, earlier=None):
        prefix = Path(prefix)
        self.web = store(prefix / "drive_c" / "kxsim" / "iis.store")
        self.accounts = store(prefix / "drive_c" / "kxsim" / "winnt.store")
        self.files = files(prefix / "drive_c", earlier.files if earlier else None)
        machine = registry(prefix / "system.reg", "HKLM")
        user = registry(prefix / "user.reg", "HKCU")
        self.registry = {k: v for k, v in {**machine, **user}.items() if not churn("registry", k)}


WEB_KINDS = {"iiswebserver": "site", "iiswebvirtualdir": "vdir", "iisfilter": "filter", "iisftpserver": "ftp-site",
             "iisftpvirtualdir": "vdir"}
SERVICES = "hklm\\system\\currentcontrolset\\services\\"


def change(kind, op, name, details):
    return {"kind": kind, "op": op, "name": name, "details": details}


def compared(before, after, kind, name, render):
    """The change of one thing that is in one reading or both."""
    if before is None:
        return change(kind, "added", name, render(after))
    if after is None:
        return change(kind, "removed", name, render(before))
    if before != after:
        return change(kind, "changed", name, {"before": render(before), "after": render(after)})
    return None


def web_details(nodes):
    """A web server thing's properties, and those of the nodes below it that are no thing of their
    own (a site's certificate mapper)."""
    below = {path.lstrip("/"): props for path, props in nodes.items() if path != "."}
    return dict(nodes.get(".", {}), **({"below": below} if below else {}))


def differences(before, after):
    """The changes from one snapshot to the next, each {"kind", "op", "name", "details"}."""
    out = []
    # The web server: each node of a kind of its own; any other node belongs to the nearest one
    # above it (a site's certificate mapper, a filter container).
    def grouped(web):
        things = {}
        for path, (cls, props) in web.items():
            owner = path
            while owner and WEB_KINDS.get(web.get(owner, ("", {}))[0].lower()) is None:
                owner = owner.rpartition("/")[0]
            if owner:
                kind = WEB_KINDS[web[owner][0].lower()]
                things.setdefault((kind, owner), {})[path[len(owner):] or "."] = props
        return things
    web_before, web_after = grouped(before.web), grouped(after.web)
    for kind, name in sorted(set(web_before) | set(web_after)):
        out.append(compared(web_before.get((kind, name)), web_after.get((kind, name)), kind, name, web_details))
    # Accounts: users and groups with their properties (a password only as set), memberships.
    def accounts(nodes):
        things, members = {}, set()
        for path, (cls, props) in nodes.items():
            kind = {"user": "user", "group": "group"}.get(cls.lower())
            if kind:
                shown = {k: ("(set)" if "password" in k.lower() else v) for k, v in props.items() if k != "MemberNames"}
                things[(kind, path)] = shown
                members |= {f"{path}\\{m}" for m in (props.get("MemberNames") or [])}
        return things, members
    (accounts_before, members_before), (accounts_after, members_after) = accounts(before.accounts), accounts(after.accounts)
    for kind, name in sorted(set(accounts_before) | set(accounts_after)):
        out.append(compared(accounts_before.get((kind, name)), accounts_after.get((kind, name)), kind, name, dict))
    for name in sorted(members_before ^ members_after):
        out.append(change("member", "added" if name in members_after else "removed", name, {}))
    files_before = {p: (f[0][0], f[1]) for p, f in before.files.items()}
    files_after = {p: (f[0][0], f[1]) for p, f in after.files.items()}
    for path in sorted(set(files_before) | set(files_after)):
        out.append(compared(files_before.get(path), files_after.get(path), "file", path,
                            lambda f: {"folder": True} if f[1] == "folder" else {"size": f[0], "sha256": f[1]}))
    # A service is its key and all below it; any other value of the registry stands alone.
    def services(values):
        found = {}
        for name, value in values.items():
            if name.lower().startswith(SERVICES):
                service, _, rest = name[len(SERVICES):].partition("\\")
                found.setdefault(service, {})[rest] = value
        return found
    services_before, services_after = services(before.registry), services(after.registry)
    for name in sorted(set(services_before) | set(services_after)):
        out.append(compared(services_before.get(name), services_after.get(name), "service", name, dict))
    for name in sorted(set(before.registry) | set(after.registry)):
        if not name.lower().startswith(SERVICES):
            out.append(compared(before.registry.get(name), after.registry.get(name), "registry", name,
                                lambda v: {"value": v}))
    return [c for c in out if c]
