#!/usr/bin/env python3
"""The release's Windows Installer packages under Wine's own msiexec, each in a prefix where
Kestrix was never registered: an install puts the library in its folder, and the registry it
writes equals what regsvr32 writes for the same library at that place, key by key; a repair
puts a deleted key back; an uninstall leaves nothing of Kestrix in the registry or on disk but
the digest library, which is permanent. The 32-bit package runs under 32-bit Wine where it
runs, and is read through its tables elsewhere.

    package_test.py BUILD   (the build tree with win32 and win64 built)

Prints one line per failed check, what Wine's msiexec did where it differs, and a verdict."""
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

from verdict import check, verdict

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tools"))
from wine_prefix import Prefix  # noqa: E402
BUILD = Path(sys.argv[1]).resolve()
sys.path.insert(0, str(ROOT / "src" / "frame"))
import catalogue  # noqa: E402

LIBRARY, _, CLASSES = catalogue.parse((ROOT / "src" / "frame" / "catalogue.txt").read_text())
OURS = [LIBRARY["uuid"]] + [c["clsid"] for c in CLASSES] + [c["iid"] for c in CLASSES] + \
       [f"Kestrix.{c['name']}" for c in CLASSES]
def normalised(values):
    """Paths compared without letter case and a closing backslash."""
    return {k: v.lower().rstrip("\\") for k, v in values.items()}


def installs_and_goes(arch, wine, package, folder):
    bits = "win64" if arch == "x64" else "win32"
    prefix = Prefix(folder / f"installed-{arch}", wine, bits)
    check(prefix.keys(OURS) == {} and prefix.files() == [], f"{arch}: a prefix without Kestrix")
    done = prefix.run("msiexec", "/i", "Z:" + str(package), "/qn")
    prefix.settle()
    check(done.returncode == 0, f"{arch}: msiexec /i answers 0: {done.returncode} {done.stderr[-300:]}")
    installed = prefix.keys(OURS)
    library = prefix.path / "drive_c" / "Program Files" / "Kestrix" / "Kestrix.dll"
    check(library.is_file(), f"{arch}: Kestrix.dll installed in C:\\Program Files\\Kestrix: {prefix.files()}")

    # The same library, registered by regsvr32 at the same place in another new prefix.
    other = Prefix(folder / f"registered-{arch}", wine, bits)
    place = other.path / "drive_c" / "Program Files" / "Kestrix"
    place.mkdir(parents=True, exist_ok=True)
    shutil.copy(library, place)
    other.run("regsvr32", "/s", "C:\\Program Files\\Kestrix\\Kestrix.dll")
    other.settle()
    registered = other.keys(OURS)
    plain = {k: v for k, v in normalised(registered).items() if not k[0].startswith("wow6432node")}
    msi = {k: v for k, v in normalised(installed).items() if not k[0].startswith("wow6432node")}
    check(len(plain) > 600 and msi == plain,
          f"{arch}: the package writes what regsvr32 writes ({len(msi)} and {len(plain)} values): "
          f"only the package {sorted(set(msi.items()) - set(plain.items()))[:4]}, "
          f"only regsvr32 {sorted(set(plain.items()) - set(msi.items()))[:4]}")
    mirrored = {k for k in registered if k[0].startswith("wow6432node")}
    if mirrored:
        print(f"note: {arch}: Wine's regsvr32 also writes {len(mirrored)} values into the other view (Wow6432Node)")

    # A repair of files and machine registry (/fam) after a key is deleted.
    key = f"HKCR\\Kestrix.{CLASSES[0]['name']}"
    prefix.run("reg", "delete", key, "/f")
    prefix.run("msiexec", "/fam", "Z:" + str(package), "/qn")
    prefix.settle()
    if prefix.keys(OURS) != installed:
        # What /fam stands for, said as properties, which Wine's msiexec does carry out.
        print(f"note: {arch}: Wine's msiexec /fam left {key} deleted; REINSTALL=ALL REINSTALLMODE=amus is tried")
        prefix.run("msiexec", "/i", "Z:" + str(package), "REINSTALL=ALL", "REINSTALLMODE=amus", "/qn")
        prefix.settle()
    check(prefix.keys(OURS) == installed, f"{arch}: a repair restores the deleted {key}")

    done = prefix.run("msiexec", "/x", "Z:" + str(package), "/qn")
    prefix.settle()
    check(done.returncode == 0, f"{arch}: msiexec /x answers 0: {done.returncode}")
    check(prefix.keys(OURS) == {}, f"{arch}: nothing of Kestrix left in the registry: {list(prefix.keys(OURS))[:4]}")
    # The digest library is a permanent component of the system folder.
    check([p.relative_to(prefix.path).as_posix().lower() for p in prefix.files()] ==
          ["drive_c/windows/system32/aamd532.dll"], f"{arch}: nothing of Kestrix but the digest library left on disk: "
                                                    f"{prefix.files()}")


def tables(package):
    """The 32-bit package's registry and directories, read without installing it."""
    with tempfile.TemporaryDirectory() as dump:
        subprocess.run(["msidump", "-t", str(package)], cwd=dump, capture_output=True, check=True)
        registry = (Path(dump) / "Registry.idt").read_text()
        directories = (Path(dump) / "Directory.idt").read_text()
        components = (Path(dump) / "Component.idt").read_text()
    check(f"TypeLib\\{{{LIBRARY['uuid']}}}\\1.0\\0\\win32" in registry and "win64" not in registry,
          "x86: the type library registered for 32-bit Windows")
    check(all(f"Kestrix.{c['name']}\\CLSID" in registry for c in CLASSES), "x86: every ProgID")
    check("ProgramFilesFolder" in directories and "SystemFolder" in directories and "64" not in directories,
          "x86: 32-bit folders")
    check(all(int(line.split("\t")[3]) & 256 == 0 for line in components.splitlines()[3:]),
          "x86: no 64-bit component")


def main():
    with tempfile.TemporaryDirectory() as work:
        folder = Path(work)
        done = subprocess.run([sys.executable, str(ROOT / "tools" / "package.py"), "dist", str(ROOT), str(BUILD),
                               str(folder / "dist")], capture_output=True, text=True)
        check(done.returncode == 0, f"the release is built: {done.stderr[-500:]}")
        release = next((folder / "dist").glob("kestrix-*/"))
        installs_and_goes("x64", "/usr/lib/wine/wine64", release / "Kestrix-x64.msi", folder)
        verdict_32 = BUILD / "wine32.verdict"
        if verdict_32.exists() and verdict_32.read_text().strip() == "usable":
            installs_and_goes("x86", "/usr/lib/wine/wine", release / "Kestrix.msi", folder)
        else:
            tables(release / "Kestrix.msi")
    verdict()


if __name__ == "__main__":
    main()
