#!/usr/bin/env python3
"""The sample installer under Wine's msiexec on a freshly installed simulated server: a new
prefix gets the stand-ins and Kestrix-x64.msi (never ./kx's own registration), then the sample
installs (the web server's store and the account database hold what it made, the log each
call's answer), is removed (all of it gone), and installs once more with a database check that
fails after the site is made (msiexec answers 1603 and the machine is as before).

    sample_installer_test.py BUILD   (the build tree, win64 built)

Prints one line per failed check and a verdict."""
import subprocess
import sys
import tempfile
from pathlib import Path

from verdict import check, verdict
from wine_prefix import Prefix

ROOT = Path(__file__).resolve().parents[2]
BUILD = Path(sys.argv[1]).resolve() if __name__ == "__main__" else None
STAND_INS = ["kxsim_iis.dll", "kxsim_winnt.dll", "kxsim_winsock.dll", "kxsim_ado.dll", "kxsim_ldap.dll"]


def machine(prefix):
    """The simulated server's stores, as text."""
    return prefix.run("Z:" + str(BUILD / "win64" / "kxsim.exe"), "dump").stdout


def read_log(path):
    """The installer's log: UTF-16 with its mark where Windows writes it, else 8-bit text."""
    data = path.read_bytes() if path.exists() else b""
    return data.decode("utf-16") if data[:2] == b"\xff\xfe" else data.decode("utf-8", errors="replace")


def install(prefix, package, log, *properties):
    done = prefix.run("msiexec", "/i", "Z:" + str(package), "/qn", "/l*v", "Z:" + str(log), *properties)
    prefix.settle()
    return done.returncode


def main():
    with tempfile.TemporaryDirectory() as work:
        folder = Path(work)
        subprocess.run([sys.executable, str(ROOT / "tools" / "package.py"), "dist", str(ROOT), str(BUILD),
                        str(folder / "dist")], capture_output=True, check=True)
        release = next((folder / "dist").glob("kestrix-*/"))
        prefix = Prefix(folder / "server", "/usr/lib/wine/wine64", "win64")
        for stand_in in STAND_INS:
            prefix.run("regsvr32", "/s", "Z:" + str(BUILD / "win64" / stand_in))
        prefix.run("Z:" + str(BUILD / "win64" / "kxsim.exe"), "reset")
        check(install(prefix, release / "Kestrix-x64.msi", folder / "kestrix.log") == 0, "Kestrix-x64.msi installs")
        shop, fresh = release / "x64" / "KestrixShop-x64.msi", machine(prefix)

        log = folder / "install.log"
        answer = install(prefix, shop, log)
        made, text = machine(prefix), read_log(log)
        check(answer == 0, f"the sample installs: {answer} {text[-2000:]}")
        for what in ("Kestrix Shop", ":8080:", "shop", "svc_shop", "Shop Operators"):
            check(what in made and what not in fresh, f"the server holds {what!r} after the installation")
        for call in ("checkportinuse(8080) answered", "getfreewebid() answered 2", "createwebroot(2, :8080:) answered 0",
                     "startwebsite(2) answered 0", "createwebsite(2, shop) answered 0",
                     "setwebpermission(2, shop, RS) answered 0", "answered 0", "setdirectorypermission("):
            check(call in text, f"the log holds {call!r}")
        check(prefix.path.joinpath("drive_c", "Program Files", "Kestrix Shop", "default.htm").exists(),
              "the content is installed")

        check(prefix.run("msiexec", "/x", "Z:" + str(shop), "/qn").returncode == 0, "the sample is removed")
        prefix.settle()
        check(machine(prefix) == fresh, "nothing of the sample is left on the server")

        log = folder / "failed.log"
        answer = install(prefix, shop, log, "DB_SERVER=127.0.0.1,1", "DB_LOGIN=shop", "DB_PASSWORD=Hidden-9", "DB_NAME=x")
        text = read_log(log)
        # The exit status of a Linux process keeps the low byte of msiexec's 1603.
        check(answer in (1603, 1603 % 256), f"a failed database check after the site is made ends in 1603: {answer}")
        check("createwebroot(2, :8080:) answered 0" in text and "checksqllogon(127.0.0.1,1" in text,
              "the site was made before the check failed")
        check("deletewebroot(2) answered 0" in text and "deletentuser(" in text, "the rollback actions ran")
        check(machine(prefix) == fresh, "the server is as before the installation")
        check(not prefix.path.joinpath("drive_c", "Program Files", "Kestrix Shop", "default.htm").exists(),
              "the content is taken back")
        # Wine's closing dump of the properties ignores MsiHiddenProperties; no action writes it.
        leaks = [line for line in text.splitlines() if "Hidden-9" in line and not line.startswith("Property(")]
        check(not leaks, f"the database password stays out of what the actions log: {leaks}")
    verdict()


if __name__ == "__main__":
    main()
