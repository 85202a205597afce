#!/usr/bin/env python3
"""The release's Windows Installer packages under Wine's own msiexec, each in a prefix where
Kestrix was never registered: an install puts the library in its folder, and the registry it
writes equals what regsvr32 writes for the same library at that place, key by key; a repair
puts a deleted key back; an uninstall leaves nothing of Kestrix in the registry or on disk but
the digest library, which is permanent. The 32-bit package runs under 32-bit Wine where it
runs, and is read through its tables everywhere.

Packages and fragments of two catalogues hold each resource under one component code; upgrades
across them keep Kestrix; a registered dependent refuses the removal.

    package_test.py BUILD   (the build tree with win32 and win64 built)

Prints one line per failed check, what Wine's msiexec did where it differs, and a verdict."""
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree
from pathlib import Path

from verdict import check, verdict

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tools"))
import package  # noqa: E402
from msi_tables import Package  # noqa: E402
from wine_prefix import Prefix, progids  # noqa: E402
BUILD = Path(sys.argv[1]).resolve()
sys.path.insert(0, str(ROOT / "src" / "frame"))
import catalogue  # noqa: E402

LIBRARY, _, CLASSES = catalogue.parse((ROOT / "src" / "frame" / "catalogue.txt").read_text())
OURS = [LIBRARY["uuid"]] + [c["clsid"] for c in CLASSES] + [c["iid"] for c in CLASSES] + \
       [f"Kestrix.{c['name']}" for c in CLASSES]
# Another catalogue: one class dropped, one added.
OTHER = re.sub(r"(?m)^class generatepassword .*\n(  member .*\n)+", "", (ROOT / "src/frame/catalogue.txt").read_text()) + (
    "class added {0D7C2E1A-5B3F-4C6D-8E9F-A1B2C3D4E5F6} {1E8D3F2B-6C4A-4D7E-9FA0-B2C3D4E5F6A7}\n  member added() -> long ; raised\n")


def normalised(values):
    """Paths compared without letter case and a closing backslash."""
    return {k: v.lower().rstrip("\\") for k, v in values.items()}


def installs_and_goes(arch, wine, package, folder):
    bits = "win64" if arch == "x64" else "win32"
    prefix = Prefix(folder / f"installed-{arch}", wine, bits, bases=BUILD / "prefixes")
    check(prefix.keys(OURS) == {} and prefix.files() == [], f"{arch}: a prefix without Kestrix")
    prefix.keep_warm()
    done = prefix.run("msiexec", "/i", "Z:" + str(package), "/qn")
    prefix.settle()
    check(done.returncode == 0, f"{arch}: msiexec /i answers 0: {done.returncode} {done.stderr[-300:]}")
    installed = prefix.keys(OURS)
    library = prefix.path / "drive_c" / "Program Files" / "Kestrix" / "Kestrix.dll"
    check(library.is_file(), f"{arch}: Kestrix.dll installed in C:\\Program Files\\Kestrix: {prefix.files()}")

    # The same library, registered by regsvr32 at the same place in another new prefix.
    other = Prefix(folder / f"registered-{arch}", wine, bits, bases=BUILD / "prefixes")
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


def place(bits, root, key, name):
    """Where a value lies: keys both registry views share have one place for both bitnesses."""
    key = key.lower()
    shared = key.startswith("software\\classes\\") or root == 0 and not key.startswith(("clsid\\", "interface\\"))
    return ("both" if shared else bits, root, key, (name or "").lower())


def from_package(path):
    """{component code: (bits, {place})} of a package's tables."""
    tables = Package(path)
    components = {c["Component"]: c for c in tables.rows("Component")}
    held = {c["ComponentId"]: (64 if c["Attributes"] & 256 else 32, set()) for c in components.values()}
    for r in tables.rows("Registry"):
        bits, places = held[components[r["Component_"]]["ComponentId"]]
        places.add(place(bits, r["Root"], r["Key"], r["Name"]))
    for f in tables.export("File"):
        c = components[f["Component_"]]
        held[c["ComponentId"]][1].add((held[c["ComponentId"]][0], c["Directory_"], f["FileName"].lower()))
    return {code: (bits, frozenset(places)) for code, (bits, places) in held.items()}


# Each WiX schema's namespace, reference to a folder, and bitness with its values.
SCHEMAS = {3: ("http://schemas.microsoft.com/wix/2006/wi", "DirectoryRef", "Win64", {"no": 32, "yes": 64}),
           4: ("http://wixtoolset.org/schemas/v4/wxs", "StandardDirectory", "Bitness", {"always32": 32, "always64": 64})}


def from_fragment(text, wix, arch):
    """The same of a fragment, which must refer to its bitness's standard folders alone."""
    namespace, refer, attribute, bitness = SCHEMAS[wix]
    root, held, tag = ElementTree.fromstring(text), {}, lambda name: f"{{{namespace}}}{name}"
    check(root.tag == tag("Wix"), f"v{wix}: the namespace is {namespace}: {root.tag}")
    for reference in root.iter(tag(refer)):
        check(reference.get("Id") in {"TARGETDIR", package.ARCHES[arch]["programs"], package.ARCHES[arch]["system"]},
              f"v{wix} {arch}: {reference.get('Id')} is a standard folder of its bitness")
        for folder in [reference, *reference.iter(tag("Directory"))]:
            check(folder is reference or folder.get("Id").startswith("KESTRIXDIR_"), f"v{wix}: declares {folder.get('Id')}")
            for c, bits in ((c, bitness.get(c.get(attribute))) for c in folder.findall(tag("Component"))):
                files = [(bits, folder.get("Id"), f.get("Name").lower()) for f in c.iter(tag("File"))]
                held[c.get("Guid")] = (bits, frozenset(files + [place(bits, {"HKCR": 0, "HKLM": 2}[r.get("Root")], r.get(
                    "Key"), r.get("Name")) for r in c.iter(tag("RegistryValue"))]))
    return held


def component_table(build, folder):
    """Both packages and their fragments of two catalogues: the fragments hold what the packages
    hold, a place has one component code (HELPDIR apart) and a code the same places everywhere."""
    owners, contents = {}, {}
    for name, text in (("today's", None), ("another", OTHER)):
        for arch, tree in (("x86", "win32"), ("x64", "win64")):
            package.kestrix_package(arch, build / tree, folder / f"{arch}.msi", text=text)
            held = from_package(folder / f"{arch}.msi")
            keys, platform = {w[2] for _, v in held.values() for w in v}, package.ARCHES[arch]["platform"]
            check({f"typelib\\{{{LIBRARY['uuid'].lower()}}}\\1.0\\0\\{platform}", "kestrix.getwebid\\clsid"} <= keys and
                  not any(k.endswith({"x86": "\\0\\win64", "x64": "\\0\\win32"}[arch]) for k in keys),
                  f"{arch}, {name} catalogue: the type library registered for {platform} alone, and the ProgIDs")
            for wix in (3, 4):
                own, shared = (from_fragment(package.fragment(a, wix, text), wix, arch) for a in (arch, "shared"))
                check({**own, **shared} == {c: v for c, v in held.items() if all("installer\\dep" not in w[2] for w in v[1])},
                      f"{arch} v{wix} fragment, {name} catalogue: the same components and rows as the package")
            for code, content in held.items():
                contents.setdefault(code, set()).add(content)
                for where in content[1]:
                    owners.setdefault(where, set()).add(code)
        ids = [set(re.findall(r'<(?!\w+Ref)\w+ Id="(\w+)"', package.fragment(a, 4, text))) for a in ("x86", "x64")]
        check(not ids[0] & ids[1], f"the fragments of the two bitnesses share no Id: {ids[0] & ids[1]}")
    shared = [w for w, codes in owners.items() if len(codes) > 1 and not w[2].endswith("\\helpdir")]
    check(not shared, f"each place is held by one component code: {shared[:3]}")
    changed = [code for code, seen in contents.items() if len(seen) > 1]
    check(not changed, f"each component code holds the same places in every build: {changed[:3]}")


def upgrades(build, folder):
    """Kestrix-x64.msi upgraded from 1.1.0's layout (one component holding everything) and removed."""
    old = package.Component("KestrixLibrary", "KESTRIXDIR_X64", 64, files=[("KestrixDll_x64", "Kestrix.dll")],
                            values=package.registry(arch="x64"), keypath="file")
    old.code = package.RELEASED_LIBRARY_CODES["x64"]
    shutil.copy(build / "win64" / "Kestrix.dll", folder)
    (folder / "old.wxs").write_text(f"""<Wix xmlns="{SCHEMAS[3][0]}"><Fragment><DirectoryRef Id="ProgramFiles64Folder">
<Directory Id="KESTRIXDIR_X64" Name="Kestrix">{"".join(package.component_text(old, 3, ""))}</Directory></DirectoryRef>
<ComponentGroup Id="Kestrix_x64"><ComponentRef Id="KestrixLibrary"/></ComponentGroup></Fragment></Wix>""")
    package.build_package("x64", folder, [folder / "old.wxs"], folder / "1.1.0.msi", "1.1.0", "1.1.0.1", "early")
    for number, text, removal in (("1.2.0", None, "finalize"), ("1.3.0", OTHER, "early"), ("1.4.0", None, "execute")):
        package.kestrix_package("x64", build / "win64", folder / f"{number}.msi", number, text, removal)
    prefix = Prefix(folder / "upgraded", "/usr/lib/wine/wine64", "win64", bases=BUILD / "prefixes")
    prefix.share(progids(OTHER))
    prefix.keep_warm()
    paths = {"[#kestrixdll_x64]": "c:\\program files\\kestrix\\kestrix.dll", "[kestrixdir_x64]": "c:\\program files\\kestrix"}
    dependent = "HKLM\\Software\\Classes\\Installer\\Dependencies\\Kestrix.x64\\Dependents\\{A7C2F3E1-0000-4000-8000-0000000000D1}"
    # (command, whether it succeeds, the catalogue then registered: None today's, False nothing).
    # Wine's late removal of 1.1.0 deletes the upgrade code's key, 1.2.0's entry with it, so 1.2.0
    # is installed anew. A dependent's key refuses a removal but for IGNOREDEPENDENCIES=ALL.
    for command, succeeds, text in [
            ("/i 1.1.0", True, None), ("/i 1.2.0", True, None), ("/x 1.2.0", True, False), ("/i 1.2.0", True, None),
            ("/i 1.3.0", True, OTHER), ("add", True, OTHER), ("/i 1.4.0", True, None), ("/x 1.4.0", False, None),
            ("/x 1.4.0 IGNOREDEPENDENCIES=ALL", True, False), ("/i 1.4.0", True, None), ("delete", True, None),
            ("/x 1.4.0", True, False)]:
        option, *rest = command.split()
        argv = ["reg", option, dependent, "/f"] if option in ("add", "delete") else \
            ["msiexec", option, f"Z:{folder / rest[0]}.msi", *rest[1:], "/qn", "/l*v", "C:\\msi.log"]
        done = prefix.run(*argv).returncode
        prefix.settle()
        wanted = {} if text is False else {(k.lower(), n or ""): paths.get(v.lower(), v.lower()).rstrip("\\")
                                           for root, k, n, v in package.registry(text, "x64") if root == "HKCR"}
        found = normalised(prefix.keys(OURS + progids(OTHER) + ["0D7C2E1A", "1E8D3F2B"]))
        check((done == 0) == succeeds and found == wanted and (prefix.path / "drive_c/Program Files/Kestrix/Kestrix.dll")
              .is_file() == bool(wanted), f"{command}: answers {done}, {len(found)} values ({len(wanted)} wanted): "
                                           f"{sorted(set(found.items()) ^ set(wanted.items()))[:2]}")
        # Wine's msiexec logs neither an error action's message nor its end: the check's own line.
        check(succeeds or "dependents: {A7C2F3E1" in (prefix.path / "drive_c/msi.log").read_text(errors="replace"),
              "the log names the dependent")


def main():
    with tempfile.TemporaryDirectory() as work:
        folder = Path(work)
        done = subprocess.run([sys.executable, str(ROOT / "tools" / "package.py"), "dist", str(ROOT), str(BUILD),
                               str(folder / "dist")], capture_output=True, text=True)
        check(done.returncode == 0, f"the release is built: {done.stderr[-500:]}")
        release = next((folder / "dist").glob("kestrix-*/"))
        component_table(BUILD, folder)
        upgrades(BUILD, folder)
        installs_and_goes("x64", "/usr/lib/wine/wine64", release / "Kestrix-x64.msi", folder)
        verdict_32 = BUILD / "wine32.verdict"
        if verdict_32.exists() and verdict_32.read_text().strip() == "usable":
            installs_and_goes("x86", "/usr/lib/wine/wine", release / "Kestrix.msi", folder)
    verdict()


if __name__ == "__main__":
    main()
