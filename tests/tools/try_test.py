#!/usr/bin/env python3
"""./kx try's report on the sample installer, tried on its simulated servers: one fixture (the
sample's packages of both bitnesses, and a variant whose removal forgets the group it made), a
table of cases, each a package, a server, an exit status and what the JSON report must hold.

    try_test.py BUILD   (the build tree, win64 built; the 32-bit package is tried where the
                         win32 tree is built and 32-bit Wine is usable)

Prints one line per failed check and a verdict."""
import json
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

from verdict import check, verdict

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tools"))
import package  # noqa: E402

PROPERTIES = ["SHOP_PORT=8090", "SHOP_ACCOUNT=svc_try", "SHOP_GROUP=Try Operators"]
MADE = {("site", "W3SVC/2"), ("vdir", "W3SVC/2/ROOT/shop"), ("user", "svc_try"), ("group", "Try Operators"),
        ("member", "Try Operators\\svc_try"), ("file", "Program Files/Kestrix Shop/default.htm"),
        ("registry", "HKLM\\Software\\Kestrix Shop\\Site")}


def kinds(changes):
    return {(c["kind"], c["name"]) for c in changes}


def clean(r):
    return (MADE <= kinds(r["install"]["changes"]) and r["uninstall"]["left_behind"] == [] and
            {"KxCreateAccount", "KxCreateSite"} <= {c["action"] for c in r["install"]["calls"]})


def rolled_back(r):
    return (r["install"]["status"] == 1603 and r["rollback"]["left_behind"] == [] and
            "KxCreateAccount" in r["rollback"]["actions"])


PROFILES = ["iis6", "iis10-domain"]
# (case, package, server, options, exit status, what the report holds)
CASES = [
    *[(f"{arch} on {server}: installed and removed", arch, server, [], 0, clean)
      for arch in ("x64", "x86") for server in PROFILES],
    *[(f"{arch} on {server}: a refused site: 1603, and the rollback leaves nothing", arch, server,
       ["--refuse", "create-site"], 0, rolled_back) for arch in ("x64", "x86") for server in PROFILES],
    ("x64 on iis6: a refused user: 1603, and the rollback leaves nothing", "x64", "iis6", ["--refuse", "create-user"],
     0, rolled_back),
    ("a removal that forgets the group", "forgetful", "iis6", [], 2,
     lambda r: kinds(r["uninstall"]["left_behind"]) == {("group", "Try Operators")}),
]


def main():
    build = Path(sys.argv[1]).resolve()
    with tempfile.TemporaryDirectory() as work:
        folder = Path(work)
        forgetful = folder / "forgetful"
        shutil.copytree(ROOT / "examples", forgetful / "examples")
        script = forgetful / "examples" / "installer" / "shop.vbs"
        text = script.read_text()
        start = text.index("Function RemoveAccount()")
        script.write_text(text[:start] + text[start:].replace("TakeBackAccount d(3), d(6)",
                                                              'TakeBackAccount d(3), Replace(d(6), "group:", "kept:")', 1))
        packages = {"x64": folder / "shop.msi", "x86": folder / "shop-x86.msi", "forgetful": folder / "forgetful.msi"}
        package.sample(ROOT, "x64", packages["x64"], package.version())
        package.sample(ROOT, "x86", packages["x86"], package.version())
        package.sample(forgetful, "x64", packages["forgetful"], package.version())
        verdict32 = build / "wine32.verdict"
        runs32 = (build / "win32" / "kxsim.exe").exists() and verdict32.exists() and "usable" == verdict32.read_text().strip()
        profiles = "--server" in (ROOT / "tools" / "try_package.py").read_text()
        for name, which, server, options, status, holds in CASES:
            if which == "x86" and not runs32:
                print(f"skipped: {name}; 32-bit programs do not run here, or the win32 tree is not built")
                continue
            if server != "iis6" and not profiles:
                print(f"skipped: {name}; ./kx try has no server profiles yet")
                continue
            report = folder / "report.json"
            report.unlink(missing_ok=True)
            done = subprocess.run([sys.executable, str(ROOT / "tools" / "try_package.py"), "--build", str(build),
                                   "--arch", "x86" if which == "x86" else "x64", str(packages[which]), *PROPERTIES,
                                   *(["--server", server] if profiles else []), *options, "--json", str(report)],
                                  capture_output=True, text=True)
            result = json.loads(report.read_text()) if report.exists() else {}
            check(done.returncode == status and result and holds(result),
                  f"{name}: exit {done.returncode}, not {status}: {done.stdout[-1500:]} {done.stderr[-500:]}")
    verdict()


if __name__ == "__main__":
    main()
