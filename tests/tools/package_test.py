#!/usr/bin/env python3
"""The release's Windows Installer packages under Wine's own msiexec, each in a prefix where
Kestrix was never registered: an install puts the library in its folder, and the registry it
writes equals what regsvr32 writes for the same library at that place, key by key; a repair
puts a deleted key back; an uninstall leaves nothing of Kestrix in the registry or on disk but
the digest library, which is permanent. The 32-bit package runs under 32-bit Wine where it
runs, and is read through its tables elsewhere.

Both packages and all fragments, built from two catalogues, hold every resource in a component
of one code that holds nothing else, whatever the version. Kestrix-x64.msi is upgraded across
catalogue changes, from the layout of 1.1.0 on, with the old version removed early, after
InstallExecute and after InstallFinalize; its removal is refused while a dependent is registered.

    package_test.py BUILD   (the build tree with win32 and win64 built)

Prints one line per failed check, what Wine's msiexec did where it differs, and a verdict."""
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree
from pathlib import Path
from xml.sax.saxutils import quoteattr

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
OTHER = re.sub(r"(?m)^class generatepassword .*\n(  member .*\n)+", "", (ROOT / "src/frame/catalogue.txt").read_text()) + \
    "class addedlater {0D7C2E1A-5B3F-4C6D-8E9F-A1B2C3D4E5F6} {1E8D3F2B-6C4A-4D7E-9FA0-B2C3D4E5F6A7}\n" \
    "  member addedlater() -> long ; raised\n"
ROOTS = {"HKCR": 0, "HKLM": 2}


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
        c = components[r["Component_"]]
        held[c["ComponentId"]][1].add(place(held[c["ComponentId"]][0], r["Root"], r["Key"], r["Name"]))
    for f in tables.export("File"):
        c = components[f["Component_"]]
        held[c["ComponentId"]][1].add((held[c["ComponentId"]][0], c["Directory_"], f["FileName"].lower()))
    return {code: (bits, frozenset(places)) for code, (bits, places) in held.items()}


def from_fragments(texts, wix):
    """The same of fragments, with what each must say of its schema checked on the way."""
    namespace = {3: "http://schemas.microsoft.com/wix/2006/wi", 4: "http://wixtoolset.org/schemas/v4/wxs"}[wix]
    held, ids = {}, []
    for text in texts:
        ids.append(set())
        root = ElementTree.fromstring(text)
        check(root.tag == f"{{{namespace}}}Wix", f"v{wix}: the namespace is {namespace}: {root.tag}")
        declared = [d.get("Id") for d in root.iter(f"{{{namespace}}}Directory")]
        referred = [d.get("Id") for d in root.iter(f"{{{namespace}}}{'StandardDirectory' if wix == 4 else 'DirectoryRef'}")]
        check(all(d.startswith("KESTRIXDIR_") for d in declared) and
              set(referred) <= {"TARGETDIR", "ProgramFilesFolder", "ProgramFiles64Folder", "SystemFolder", "System64Folder"},
              f"v{wix}: standard folders are referred to ({referred}), only Kestrix's own declared ({declared})")
        for c in root.iter(f"{{{namespace}}}Component"):
            said = c.get("Bitness") if wix == 4 else c.get("Win64")
            bits = {"always32": 32, "always64": 64, "no": 32, "yes": 64}.get(said)
            check(bits is not None, f"v{wix}: {c.get('Id')} says its bitness: {said}")
            directory = c.get("Directory") or next(d.get("Id") for d in root.iter() if c in list(d))
            places = {(bits, directory, f.get("Name").lower()) for f in c.iter(f"{{{namespace}}}File")}
            places |= {place(bits, ROOTS[r.get("Root")], r.get("Key"), r.get("Name"))
                       for r in c.iter(f"{{{namespace}}}RegistryValue")}
            held[c.get("Guid")] = (bits, frozenset(places))
        ids[-1] |= {e.get("Id") for e in root.iter() if e.get("Id") and not e.tag.endswith(("Ref", "StandardDirectory"))}
    return held, ids


def component_table(build, folder):
    """One table over both packages and all fragments of two catalogues: a place is held by one
    component code (the type library's HELPDIR apart, which nothing reads), a code always holds
    the same places, and the fragments hold what the packages hold."""
    builds, own = {}, {}
    for name, text in (("today's", None), ("another", OTHER)):
        for arch, tree in (("x86", "win32"), ("x64", "win64")):
            out = folder / f"{arch}-{len(builds)}.msi"
            package.kestrix_package(arch, build / tree, out, text=text)
            builds[f"{arch} package, {name} catalogue"] = from_package(out)
            for wix in (3, 4):
                held, ids = from_fragments([package.fragment(arch, wix, text) for arch in (arch, "shared")], wix)
                builds[f"{arch} v{wix} fragment, {name} catalogue"] = held
                own.setdefault((wix, name), []).append(ids[0])
    check(all(not x86 & x64 for x86, x64 in own.values()), "the fragments of the two bitnesses share no Id")
    owners, contents = {}, {}
    for name, held in builds.items():
        for code, content in held.items():
            contents.setdefault(code, set()).add(content)
            for where in content[1]:
                owners.setdefault(where, set()).add(code)
    shared = [w for w, codes in owners.items() if len(codes) > 1 and not w[2].endswith("\\helpdir")]
    check(not shared, f"each place is held by one component code: {shared[:3]}")
    changed = [code for code, seen in contents.items() if len(seen) > 1]
    check(not changed, f"each component code holds the same places in every build: {changed[:3]}")
    for name, held in builds.items():
        arch, kind = name.split()[0], name.split()[1]
        if kind == "v3" or kind == "v4":
            package_held = builds[name.replace(f"{kind} fragment", "package")]
            provider = {c for c, (_, p) in package_held.items() if any("installer\\dependencies" in w[2] for w in p)}
            check(held == {c: v for c, v in package_held.items() if c not in provider},
                  f"{name}: the same components and rows as the package")
        check(held.get(package.RELEASED_LIBRARY_CODES[arch]) == (32 if arch == "x86" else 64, frozenset()),
              f"{name}: 1.1.0's library code, holding nothing")


def released_layout(tree, out):
    """Kestrix-x64.msi as 1.1.0 laid it out: one component of 1.1.0's code holding the library
    and every registry value."""
    values = "".join(f'<RegistryValue Root="{root}" Key={quoteattr(key)}{f" Name={quoteattr(name)}" if name else ""} '
                     f'Value={quoteattr(value)} Type="string"/>' for root, key, name, value in
                     package.registry(arch="x64"))
    (out.parent / "Kestrix.dll").write_bytes((tree / "Kestrix.dll").read_bytes())
    out.with_suffix(".wxs").write_text(f"""<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
<Product Id="*" Name="Kestrix (64-bit)" Language="1033" Version="1.1.0" Manufacturer="Kestrix"
         UpgradeCode="{package.fixed_guid('product x64')}"><Package InstallerVersion="500" Compressed="yes" InstallScope="perMachine"/>
<Media Id="1" Cabinet="k.cab" EmbedCab="yes"/><Directory Id="TARGETDIR" Name="SourceDir"><Directory Id="ProgramFiles64Folder">
<Directory Id="KESTRIXDIR_X64" Name="Kestrix"><Component Id="KestrixLibrary" Guid="{package.RELEASED_LIBRARY_CODES['x64']}" Win64="yes">
<File Id="KestrixDll_x64" Name="Kestrix.dll" Source="Kestrix.dll" KeyPath="yes"/>{values}</Component></Directory></Directory>
</Directory><Feature Id="Kestrix" Level="1"><ComponentRef Id="KestrixLibrary"/></Feature></Product></Wix>""")
    subprocess.run(["wixl", "-a", "x64", "-o", out.name, out.with_suffix(".wxs").name], cwd=out.parent, check=True)


def upgrades(build, folder):
    """Kestrix-x64.msi upgraded in one prefix across changes of the catalogue, the old version
    removed in each of its places, then removed while a dependent is registered. Each row: what
    runs, whether it succeeds, and which catalogue's registration is then in place with the
    library (None: nothing of Kestrix)."""
    tree, released = build / "win64", folder / "released" / "Kestrix-1.1.0.msi"
    dependent = "HKLM\\Software\\Classes\\Installer\\Dependencies\\Kestrix.x64\\Dependents"
    released.parent.mkdir()
    released_layout(tree, released)
    for number, text, removal in (("1.2.0", None, "finalize"), ("1.3.0", OTHER, "early"), ("1.4.0", None, "execute")):
        package.kestrix_package("x64", tree, folder / f"Kestrix-{number}.msi", number, text, removal)
    prefix = Prefix(folder / "upgraded", "/usr/lib/wine/wine64", "win64")
    prefix.share(progids(OTHER))
    everything = OURS + progids(OTHER) + ["0D7C2E1A", "1E8D3F2B"]
    library = prefix.path / "drive_c" / "Program Files" / "Kestrix" / "Kestrix.dll"
    paths = {"[#kestrixdll_x64]": "c:\\program files\\kestrix\\kestrix.dll", "[kestrixdir_x64]": "c:\\program files\\kestrix"}
    today, other, nothing = ("today's", None), ("another", OTHER), (None, None)
    # Wine's removal of a product deletes its upgrade code's whole key, the newer version's entry
    # with it: after a late removal of the old version, the new one is removed and installed anew.
    steps = [(["/i", released], True, today, "1.1.0 as it was released"),
             (["/i", "1.2.0"], True, today, "1.2.0 over it, the old version removed after InstallFinalize"),
             (["/x", "1.2.0"], True, nothing, "1.2.0 removed"),
             (["/i", "1.2.0"], True, today, "1.2.0 anew"),
             (["/i", "1.3.0"], True, other, "1.3.0 of another catalogue, the old version removed early"),
             (["reg", "add", dependent + "\\{A7C2F3E1-0000-4000-8000-000000000001}", "/f"], True, other, "a dependent"),
             (["/i", "1.4.0"], True, today, "1.4.0 with a dependent, the old version removed after InstallExecute"),
             (["/x", "1.4.0"], False, today, "its removal while a dependent is registered"),
             (["/x", "1.4.0", "IGNOREDEPENDENCIES=ALL"], True, nothing, "its removal with IGNOREDEPENDENCIES=ALL"),
             (["/i", "1.4.0"], True, today, "1.4.0 anew"),
             (["reg", "delete", dependent, "/f"], True, today, "the dependent gone"),
             (["/x", "1.4.0"], True, nothing, "its removal")]
    for argv, succeeds, (name, text), what in steps:
        if argv[0] == "reg":
            done = prefix.run(*argv).returncode
        else:
            source = argv[1] if isinstance(argv[1], Path) else folder / f"Kestrix-{argv[1]}.msi"
            done = prefix.run("msiexec", argv[0], "Z:" + str(source), *argv[2:], "/qn", "/l*v", "C:\\msi.log").returncode
        prefix.settle()
        wanted = {} if name is None else {(k.lower(), n or ""): paths.get(v.lower(), v.lower()).rstrip("\\")
                                          for root, k, n, v in package.registry(text, "x64") if root == "HKCR"}
        found = normalised(prefix.keys(everything))
        check((done == 0) == succeeds and found == wanted and library.is_file() == bool(wanted),
              f"{what}: answers {done}, {len(found)} values, {name or 'no'} catalogue's {len(wanted)} wanted: "
              f"{sorted(set(found.items()) ^ set(wanted.items()))[:2]}")
        if not succeeds:
            log = (prefix.path / "drive_c" / "msi.log").read_text(errors="replace")
            check("Kestrix cannot be removed: {A7C2F3E1" in log, "the refusal names the dependent in the log")


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
        else:
            tables(release / "Kestrix.msi")
    verdict()


if __name__ == "__main__":
    main()
