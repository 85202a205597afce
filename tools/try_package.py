#!/usr/bin/env python3
"""Tries a setup package on a freshly installed simulated server, off Windows: what its
installation changed, which Kestrix calls it made, what its removal left behind, and, with a
refused step, what its rollback left behind.

    try_package.py --build BUILD --arch x64|x86 PACKAGE [PROPERTY=VALUE ...] [--server NAME]
                   [--refuse STEP] [--json FILE] [--keep]

BUILD is the build tree (its win64 or win32 tree by the package's bitness). The server is a
copy of a template prefix kept in BUILD/try, made once per build of the libraries: the
stand-ins, a fresh simulated server, Kestrix installed from its own package, the call trace on.
--server names the kind of server (iis6, the default, or iis10-domain: see kxsim reset); the
report names it.

Exit status: 0 installed and removed, nothing left behind (with --refuse: the rollback left
nothing); 1 the installation failed (with --refuse: the rollback left something); 2 the removal
left something behind; 3 could not run.
"""
import argparse
import datetime
import fcntl
import json
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import package as packaging  # noqa: E402
from kx_rules import kestrix_classes  # noqa: E402
from msi_tables import Package, Unreadable  # noqa: E402
from script_actions import ScriptAction  # noqa: E402
from server_snapshot import Snapshot, differences  # noqa: E402
from wine_prefix import Prefix  # noqa: E402

# What a real server has: the Winsock control exists for 32-bit processes alone.
STAND_INS = {"x64": ["kxsim_iis.dll", "kxsim_winnt.dll", "kxsim_ado.dll", "kxsim_ldap.dll"],
             "x86": ["kxsim_iis.dll", "kxsim_winnt.dll", "kxsim_winsock.dll", "kxsim_ado.dll", "kxsim_ldap.dll"]}
STEPS = ["create-site", "create-vdir", "create-ftp-site", "create-user", "create-group", "add-member",
         "read-sites", "read-accounts"]
SERVERS = ["iis6", "iis10-domain"]
WINES = {"x64": ("/usr/lib/wine/wine64", "win64", "win64"), "x86": ("/usr/lib/wine/wine", "win32", "win32")}
TRACE = "C:\\kxtrace.log"
HALF_DAY = 12 * 3600
INSTALLER_STATUSES = {s % 256: s for s in (1602, 1603, 1618, 1619, 1620, 1625, 1633, 1638, 1641, 3010)}
SUCCEEDED = (0, 1641, 3010)  # done; 1641 and 3010: done, and a restart is wanted


class CannotRun(Exception):
    pass


def template(build, arch):
    """The prefix of a freshly installed server with Kestrix, made again when the libraries the
    build made are newer than it. Tries and tests that run at once share it under a lock."""
    wine, wine_arch, tree = WINES[arch]
    folder = build / "try" / f"server-{arch}"
    libraries = [build / tree / "Kestrix.dll", build / tree / "digest" / "aamd532.dll"] + \
                [build / tree / s for s in STAND_INS[arch]]
    stamp = folder / "made-from"
    made_from = "\n".join(f"{p} {p.stat().st_mtime_ns}" for p in libraries)
    folder.parent.mkdir(parents=True, exist_ok=True)
    with open(folder.parent / f"server-{arch}.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not stamp.exists() or stamp.read_text() != made_from:
            make_template(build, arch, folder)
            stamp.write_text(made_from)
    return folder, wine, wine_arch


def make_template(build, arch, folder):
    wine, wine_arch, tree = WINES[arch]
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    server = Prefix(folder / "prefix", wine, wine_arch, bases=build / "prefixes")
    server.keep_warm()
    for stand_in in STAND_INS[arch]:
        server.run("regsvr32", "/s", "Z:" + str(build / tree / stand_in))
    server.run("Z:" + str(build / tree / "kxsim.exe"), "reset")
    kestrix = folder / ("Kestrix-x64.msi" if arch == "x64" else "Kestrix.msi")
    packaging.kestrix_package(arch, build / tree, kestrix)
    done = server.run("msiexec", "/i", "Z:" + str(kestrix), "/qn")
    if done.returncode != 0:
        server.stop()
        raise CannotRun(f"Kestrix's own package did not install in the server's prefix ({done.returncode})")
    server.run("reg", "add", "HKLM\\Software\\Kestrix", "/v", "TraceFile", "/d", TRACE, "/f")
    server.stop()
    # The ODBC driver a Windows server has, "SQL Server": PostgreSQL's of the prefix's bitness.
    driver = Path(f"/usr/lib/{'x86_64' if arch == 'x64' else 'i386'}-linux-gnu/odbc/psqlodbcw.so")
    if driver.exists():
        (folder / "prefix" / "odbc").mkdir()
        (folder / "prefix" / "odbc" / "odbcinst.ini").write_text(f"[SQL Server]\nDriver={driver}\nUsageCount=1\n")
        (folder / "prefix" / "odbc" / "odbc.ini").write_text("")


def log_actions(text, in_script):
    """[(action, start second, end second)] of the actions an installer's log shows running, in
    order; seconds of the day. An in-script action runs when the installation script runs, from
    InstallFinalize on, not where the script is written (the log shows it at both places)."""
    actions, open_, running_script = [], {}, False
    for m in re.finditer(r"^Action (start|ended) (\d+):(\d\d):(\d\d): (?:.*\])?([^\]\s]+?)\.(?: Return value \d+\.)?\s*$",
                         text, re.M):
        second, name = int(m[2]) * 3600 + int(m[3]) * 60 + int(m[4]), m[5]
        running_script = running_script or name == "InstallFinalize"
        if name in in_script and not running_script:
            continue
        if m[1] == "start":
            open_[name] = len(actions)
            actions.append([name, second, None])
        elif name in open_:
            actions[open_.pop(name)][2] = second
    return [tuple(a) for a in actions]


def read_log(path):
    """The installer's log: UTF-16 with its mark where Windows writes it, else 8-bit text."""
    data = path.read_bytes() if path.exists() else b""
    return data.decode("utf-16") if data[:2] == b"\xff\xfe" else data.decode("utf-8", errors="replace")


def within(second, start, end):
    """Whether a second of the day falls in an action's run. Wine's installer log writes a
    12-hour clock without AM or PM, so times compare on a 12-hour dial (a run that crosses noon
    too); an action that never ended takes what follows it within six hours."""
    span = (end - start) % HALF_DAY if end is not None else HALF_DAY // 2
    return (second - start) % HALF_DAY <= span


def calls(trace_lines, actions, members):
    """Kestrix's calls, each with the custom action that made it: one that ran in the call's
    second (the log's times are whole seconds), not before the last call's, and, among several,
    those whose script calls that member as far as the package checker can follow it."""
    out, last = [], 0
    for line in trace_lines:
        try:
            call = json.loads(line)
        except ValueError:
            continue
        when = datetime.datetime.fromisoformat(call["time"].replace("Z", "+00:00")).astimezone()
        second = when.hour * 3600 + when.minute * 60 + when.second
        member = call["call"].rsplit(".", 1)[-1].lower()
        running = [i for i, (name, start, end) in enumerate(actions)
                   if name in members and within(second, start, end) and i >= last]
        calling = [i for i in running if member in members[actions[i][0]]] or running
        if calling:
            last = calling[0]
        call["action"] = " or ".join(dict.fromkeys(actions[i][0] for i in calling)) or None
        out.append(call)
    return out


class Run:
    """One try: the server's prefix, its snapshots and the installer's runs."""

    def __init__(self, folder, wine, wine_arch, package, properties):
        self.prefix = Prefix.existing(folder, wine, wine_arch)
        self.prefix.keep_warm()
        self.package, self.properties, self.runs = "Z:" + str(package.resolve()), properties, 0

    def msiexec(self, verb, *properties):
        """msiexec's status and its log. A Linux process keeps the low byte of the status: the
        installer's own statuses are told by it."""
        self.runs += 1
        log = f"try{self.runs}.log"
        try:
            done = self.prefix.run("msiexec", verb, self.package, "/qn", "/l*v", f"C:\\{log}", *properties)
            status = INSTALLER_STATUSES.get(done.returncode % 256, done.returncode)
        except subprocess.TimeoutExpired:
            # Hung, as an installation waiting for a click does: ended with every process of it.
            self.prefix.stop()
            status = "hung"
        self.prefix.settle()
        text = read_log(self.prefix.path / "drive_c" / log)
        (self.prefix.path / "drive_c" / log).unlink(missing_ok=True)
        return status, text

    def trace(self):
        path = self.prefix.path / "drive_c" / TRACE[3:]
        lines = path.read_text(errors="replace").splitlines() if path.exists() else []
        path.unlink(missing_ok=True)
        return lines


def failed_action(log):
    """The action whose failure ended the installation, as the log tells it."""
    failed = re.findall(r"^Action ended \d+:\d\d:\d\d: (?:.*\])?([^\]\s]+?)\. Return value 3\.", log, re.M)
    return next((a for a in failed if a not in ("INSTALL", "ExecuteAction")), None)


def summary(changes):
    """Counts of changes by kind and op, as table rows."""
    counts = {}
    for c in changes:
        counts.setdefault(c["kind"], {"added": 0, "changed": 0, "removed": 0})[c["op"]] += 1
    return counts


def plain(changes, limit=12):
    """The changes as plain lines; many of one kind in one folder or key are told as one line."""
    lines, groups = [], {}
    for c in changes:
        folder = c["name"].rsplit("/" if c["kind"] == "file" else "\\", 1)[0] if c["kind"] in ("file", "registry") \
            else None
        groups.setdefault((c["kind"], c["op"], folder), []).append(c)
    for (kind, op, folder), group in groups.items():
        if folder is not None and len(group) > 3:
            lines.append(f"  {op} {kind}: {len(group)} under {folder}")
            continue
        for c in group:
            details = c["details"]
            if kind == "file":
                shown = f" ({details['size']} bytes)" if "size" in details else ""
            elif kind == "registry":
                shown = f" = {details['value']}" if "value" in details else ""
            elif kind in ("site", "ftp-site") and "ServerComment" in details:
                shown = f" \"{details['ServerComment']}\" {', '.join(details.get('ServerBindings') or [])}"
            else:
                shown = ""
            lines.append(f"  {op} {kind} {c['name']}{shown}")
    if len(lines) > limit * 4:
        lines = lines[:limit * 4] + [f"  ... {len(lines) - limit * 4} more lines (--json FILE holds them all)"]
    return lines


def call_line(call):
    answer = call.get("result", call.get("error"))
    return (f"  {call.get('action') or '?'}: {call['call'].rsplit('.', 1)[-1]}"
            f"({', '.join(str(v) for v in call['args'].values())}) -> {json.dumps(answer)}")


def report(result):
    out = [f"{result['package']} on a simulated {result['server']} server"]
    install = result["install"]
    out.append(f"installation: status {install['status']}")
    counts = summary(install["changes"])
    if counts:
        out.append(f"  {'kind':10} {'added':>6} {'changed':>8} {'removed':>8}")
        out += [f"  {kind:10} {n['added']:6} {n['changed']:8} {n['removed']:8}" for kind, n in counts.items()]
    out += plain(install["changes"]) or ["  no change"]
    out.append(f"Kestrix calls: {len(install['calls'])}")
    out += [call_line(call) for call in install["calls"]]
    if "rollback" in result:
        rollback = result["rollback"]
        out.append(f"the installation failed ({rollback['status']}) in {rollback['failed'] or 'an unknown action'}; "
                   f"custom actions run: {', '.join(rollback['actions']) or 'none'}")
        out += ["rollback left behind:"] + (plain(rollback["left_behind"]) or ["  nothing"])
    if "uninstall" in result:
        uninstall = result["uninstall"]
        out.append(f"removal: status {uninstall['status']}; Kestrix calls: {len(uninstall['calls'])}")
        out += [line for call in uninstall["calls"] for line in [call_line(call)]]
        out += ["removal left behind:"] + (plain(uninstall["left_behind"]) or ["  nothing"])
    if "refused_but_not_asked" in result:
        out.append(f"the installation never asked for the refused change ({result['refused_but_not_asked']})")
    return "\n".join(out)


def main(argv):
    bitness = argv[1:2] == ["--bitness"]
    parser = argparse.ArgumentParser(prog="./kx try", description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", type=lambda p: Path(p).resolve(), required=not bitness)
    parser.add_argument("--arch", choices=["x64", "x86"], required=not bitness)
    parser.add_argument("--bitness", action="store_true", help=argparse.SUPPRESS)
    parser.add_argument("--server", choices=SERVERS, default=SERVERS[0])
    parser.add_argument("--refuse", choices=STEPS)
    parser.add_argument("--json", type=Path)
    parser.add_argument("--keep", action="store_true")
    parser.add_argument("package", type=Path)
    parser.add_argument("properties", nargs="*")
    args = parser.parse_args(argv[1:])
    if not args.package.is_file():
        print(f"kx try: no package {args.package}", file=sys.stderr)
        return 3
    if args.bitness:
        # The package's bitness, as its Template says: what the server must be.
        try:
            print("x64" if Package(args.package).is_64bit() else "x86")
        except Unreadable as problem:
            print(f"kx try: cannot read {args.package}: {problem}", file=sys.stderr)
            return 3
        return 0
    if bad := [p for p in args.properties if not re.fullmatch(r"[A-Za-z_][\w.]*=.*", p, re.S)]:
        print(f"kx try: not PROPERTY=VALUE: {' '.join(bad)}", file=sys.stderr)
        return 3
    try:
        package = Package(args.package)
        # Each custom action with the members its script calls, as the package checker reads it.
        classes = kestrix_classes()
        members = {r["Action"]: {m[0].lower() for _, m in ScriptAction(package, r, classes).calls if m}
                   for r in package.rows("CustomAction")}
        in_script = {r["Action"] for r in package.rows("CustomAction") if r["Type"] & 0x400}
    except Unreadable as problem:
        print(f"kx try: cannot read {args.package}: {problem}", file=sys.stderr)
        return 3
    try:
        folder, wine, wine_arch = template(args.build, args.arch)
    except (CannotRun, OSError, subprocess.SubprocessError) as problem:
        print(f"kx try: the simulated server could not be made: {problem}", file=sys.stderr)
        return 3
    work = Path(tempfile.mkdtemp(prefix="kx-try-"))
    try:
        subprocess.run(["cp", "-a", str(folder / "prefix"), str(work / "prefix")], check=True)
        run = Run(work / "prefix", wine, wine_arch, args.package, args.properties)
        tree = WINES[args.arch][2]
        if args.server != SERVERS[0]:
            run.prefix.run("Z:" + str(args.build / tree / "kxsim.exe"), "reset", "--server", args.server)
        if args.refuse:
            run.prefix.run("Z:" + str(args.build / tree / "kxsim.exe"), "refuse", args.refuse)
        run.prefix.settle()  # the snapshots read the registry from disk
        first = Snapshot(run.prefix.path)
        status, log = run.msiexec("/i", *args.properties)
        installed = Snapshot(run.prefix.path, first)
        result = {"package": str(args.package), "server": args.server, "install": {
            "status": status, "changes": differences(first, installed),
            "calls": calls(run.trace(), log_actions(log, in_script), members)}}
        if status not in SUCCEEDED:
            result["rollback"] = {"status": status,
                                  "actions": [a for a, *_ in log_actions(log, in_script) if a in members],
                                  "failed": failed_action(log),
                                  "left_behind": result["install"]["changes"]}
            result["install"]["changes"] = []
            code = 1 if result["rollback"]["left_behind"] or not args.refuse else 0
        else:
            status, log = run.msiexec("/x")
            removed = Snapshot(run.prefix.path, installed)
            result["uninstall"] = {"status": status, "left_behind": differences(first, removed),
                                   "calls": calls(run.trace(), log_actions(log, in_script), members)}
            code = 2 if status not in SUCCEEDED or result["uninstall"]["left_behind"] else 0
            if args.refuse and code == 0:
                # The refused change was never asked for: the try shows nothing of a rollback.
                result["refused_but_not_asked"] = args.refuse
                code = 1
        run.prefix.stop()
        print(report(result))
        if args.json:
            args.json.write_text(json.dumps(result, indent=2))
        if args.keep:
            print(f"the server's prefix is kept in {work / 'prefix'}")
        return code
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
