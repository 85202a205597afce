#!/usr/bin/env python3
"""The sample installer under Wine's msiexec on a freshly installed simulated server, as a
setup author would run it: a new prefix gets the stand-ins and Kestrix-x64.msi (never ./kx's
own registration), with the call trace switched on through the registry. One scene, a table of
steps, each an msiexec run and what the server and the installer's log must then hold:
installation and removal; a failed check that changes nothing; an account and a group that
existed before, which install, rollback and removal leave alone; an upgrade of Kestrix and of the
sample to a newer version; removal once Kestrix is gone.

    sample_installer_test.py BUILD   (the build tree, win32 and win64 built)

Prints one line per failed check and a verdict."""
import re
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from verdict import check, verdict

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tools"))
from try_package import read_log  # noqa: E402
from wine_prefix import Prefix  # noqa: E402
BUILD = Path(sys.argv[1]).resolve() if __name__ == "__main__" else None
STAND_INS = ["kxsim_iis.dll", "kxsim_winnt.dll", "kxsim_ado.dll", "kxsim_ldap.dll"]  # no Winsock control: 64-bit
NEWER = "1.1.99"
# Made beforehand by the scene, as another product would have made them.
EXISTING = """Set c = GetObject("WinNT://localhost")
Set u = c.Create("user", "svc_shop") : u.SetInfo
Set g = c.Create("group", "Shop Operators") : g.SetInfo
"""


class Server:
    """The prefix with its simulated server."""

    def __init__(self, folder):
        self.folder = folder
        self.prefix = Prefix(folder / "server", "/usr/lib/wine/wine64", "win64")
        for stand_in in STAND_INS:
            self.prefix.run("regsvr32", "/s", "Z:" + str(BUILD / "win64" / stand_in))
        self.sim("reset")
        self.prefix.run("reg", "add", "HKLM\\Software\\Kestrix", "/v", "TraceFile", "/d", "C:\\kxtrace.log", "/f")
        self.runs = 0

    def sim(self, *args):
        return self.prefix.run("Z:" + str(BUILD / "win64" / "kxsim.exe"), *args).stdout

    def msiexec(self, *args):
        """msiexec's status (the low byte that a Linux process keeps) and its log."""
        self.runs += 1
        log = self.folder / f"run{self.runs}.log"
        started = time.monotonic()
        done = self.prefix.run("msiexec", *args, "/qn", "/l*v", "Z:" + str(log))
        self.prefix.settle()
        self.seconds = time.monotonic() - started
        return done.returncode % 256, read_log(log)

    def products(self, name):
        """The products of that name that Windows Installer knows of."""
        out = self.prefix.run("reg", "query", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", "/s").stdout
        return len(re.findall(rf"DisplayName\s+REG_SZ\s+{re.escape(name)}\s*$", out, re.M))


def main():
    with tempfile.TemporaryDirectory() as work:
        folder = Path(work)
        for version in ("", NEWER):
            subprocess.run([sys.executable, str(ROOT / "tools" / "package.py"), "dist", str(ROOT), str(BUILD),
                            str(folder / "dist"), *([version] if version else [])], capture_output=True, check=True)
        release, newer = sorted((folder / "dist").glob("kestrix-*/"), key=lambda p: p.name.endswith(NEWER))
        kestrix, shop = "Z:" + str(release / "Kestrix-x64.msi"), "Z:" + str(release / "x64" / "KestrixShop-x64.msi")
        server = Server(folder)
        check(server.msiexec("/i", kestrix)[0] == 0, "Kestrix-x64.msi installs")
        fresh = server.sim("dump")
        made = ("Kestrix Shop", ":8080:", "shop", "svc_shop", "Shop Operators")

        status, log = server.msiexec("/i", shop)
        check(status == 0, f"the sample installs: {status} {log[-1500:]}")
        dump = server.sim("dump")
        check(all(w in dump and w not in fresh for w in made), f"the server holds what the sample made: {dump}")
        for call in ("getfreewebid() answered 2", "createntuser(", "setdirectorypermission(", "createwebroot(2, :8080:) "
                     "answered 0", "startwebsite(2) answered 0", "createwebsite(2, shop) answered 0",
                     "setwebpermission(2, shop, RS) answered 0"):
            check(call in log, f"the log holds {call!r}")
        trace = (server.prefix.path / "drive_c" / "kxtrace.log").read_text(errors="replace")
        check('"call":"Kestrix.createwebroot.createwebroot"' in trace, "the registry's TraceFile traces the calls")

        # An upgrade of Kestrix, then of the sample: one product each, nothing taken away.
        check(server.msiexec("/i", "Z:" + str(newer / "Kestrix-x64.msi"))[0] == 0, "Kestrix upgrades")
        check(server.products("Kestrix (64-bit)") == 1, "one Kestrix after its upgrade")
        status, log = server.msiexec("/i", "Z:" + str(newer / "x64" / "KestrixShop-x64.msi"))
        print(f"note: the sample's upgrade took {server.seconds:.1f} s under Wine")
        check(status == 0 and server.products("Kestrix Shop (sample)") == 1,
              f"the sample upgrades to one product: {status} {log[-1500:]}")
        check(server.sim("dump") == dump, "the upgrade leaves the site, the account and the group as they were")
        status, log = server.msiexec("/x", "Z:" + str(newer / "x64" / "KestrixShop-x64.msi"))
        check(status == 0 and server.sim("dump") == fresh, f"the upgraded sample's removal takes it all back: {log[-800:]}")
        check(server.msiexec("/i", kestrix)[0] != 0, "the older Kestrix does not replace the newer one")
        check(server.msiexec("/x", "Z:" + str(newer / "Kestrix-x64.msi"))[0] == 0 and
              server.msiexec("/i", kestrix)[0] == 0, "the older Kestrix installs once the newer one is gone")

        # Checks run before anything changes.
        status, log = server.msiexec("/i", shop, "DB_SERVER=127.0.0.1,1", "DB_LOGIN=shop", "DB_PASSWORD=Hidden|9%",
                                     "DB_NAME=x")
        check(status == 1603 % 256 and server.sim("dump") == fresh and "checksqllogon(127.0.0.1,1" in log,
              f"a failed database check ends in 1603 and changes nothing: {status}")
        # Wine's closing dump of the properties ignores MsiHiddenProperties; no action writes it.
        leaks = [line for line in log.splitlines() if "Hidden|9" in line and not line.startswith("Property(")]
        check(not leaks, f"the database password stays out of what the actions log: {leaks}")

        # An account and a group that were there before: the sample uses them and never deletes them.
        (server.prefix.path / "drive_c" / "existing.vbs").write_text(EXISTING)
        server.prefix.run("cscript", "//nologo", "C:\\existing.vbs")
        before = server.sim("dump")
        check("svc_shop" in before and "Shop Operators" in before, "the account and group exist beforehand")
        server.sim("refuse", "create-site")
        status, log = server.msiexec("/i", shop)
        server.sim("refuse")
        check(status == 1603 % 256 and "createwebroot failed" in log, f"a refused site fails the installation: {status}")
        check(server.sim("dump") == before, "the rollback leaves the account and group that were there")
        check(server.msiexec("/i", shop)[0] == 0 and server.msiexec("/x", shop)[0] == 0, "install and remove")
        check(server.sim("dump") == before, "removal leaves the account and group that were there")

        # Removal once Kestrix is gone: it says what it cannot take back, and succeeds.
        server.sim("reset")
        check(server.msiexec("/i", shop)[0] == 0, "the sample installs again")
        server.msiexec("/x", kestrix)
        status, log = server.msiexec("/x", shop)
        check(status == 0 and "cannot be reached" in log, f"removal without Kestrix succeeds and says so: {status}")
        check(server.products("Kestrix Shop (sample)") == 0, "the sample is gone")
    verdict()


if __name__ == "__main__":
    main()
