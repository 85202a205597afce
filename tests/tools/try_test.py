#!/usr/bin/env python3
"""./kx try's report on the sample installer, tried on its simulated server: one fixture (the
sample's 64-bit package, and a variant whose removal forgets the group it made), a table of
cases, each an exit status and what the JSON report must hold.

    try_test.py BUILD   (the build tree, win64 built)

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


# (case, package, options, exit status, what the report holds)
CASES = [
    ("installed and removed", "shop", [], 0,
     lambda r: MADE <= kinds(r["install"]["changes"]) and r["uninstall"]["left_behind"] == [] and
     {"KxCreateAccount", "KxCreateSite"} <= {c["action"] for c in r["install"]["calls"]}),
    ("a refused user: 1603, and the rollback leaves nothing", "shop", ["--refuse", "create-user"], 0,
     lambda r: r["install"]["status"] == 1603 and r["rollback"]["left_behind"] == [] and
     "KxCreateAccount" in r["rollback"]["actions"]),
    ("a removal that forgets the group", "forgetful", [], 2,
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
        script.write_text(text[:start] + text[start:].replace('If Holds(d(6), "group") Then', "If False Then", 1))
        packages = {"shop": folder / "shop.msi", "forgetful": folder / "forgetful.msi"}
        package.sample(ROOT, "x64", packages["shop"], package.version())
        package.sample(forgetful, "x64", packages["forgetful"], package.version())
        for name, which, options, status, holds in CASES:
            report = folder / "report.json"
            report.unlink(missing_ok=True)
            done = subprocess.run([sys.executable, str(ROOT / "tools" / "try_package.py"), "--build", str(build),
                                   "--arch", "x64", str(packages[which]), *PROPERTIES, *options, "--json",
                                   str(report)], capture_output=True, text=True)
            result = json.loads(report.read_text()) if report.exists() else {}
            check(done.returncode == status and result and holds(result),
                  f"{name}: exit {done.returncode}, not {status}: {done.stdout[-1500:]} {done.stderr[-500:]}")
    verdict()


if __name__ == "__main__":
    main()
