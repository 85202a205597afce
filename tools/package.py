#!/usr/bin/env python3
"""Kestrix for setup authors: the WiX fragment that installs and registers it, its own Windows
Installer packages, and the release archive.

    package.py wxs ARCH OUT         the fragment for x86 or x64: the two libraries and every
                                    registry value that their registration writes, from the
                                    catalogue
    package.py x64 ROOT TREE OUT    OUT/Kestrix-x64.msi and OUT/KestrixShop-x64.msi from the 64-bit
                                    build tree TREE alone (the demo's)
    package.py dist ROOT BUILD OUT [VERSION]
                                    OUT/kestrix-VERSION/ and OUT/kestrix-VERSION.zip from the
                                    source tree ROOT and the build tree BUILD (its win32 and
                                    win64 builds); wixl builds the packages, and the sample
                                    installer of examples/installer for each bitness; VERSION
                                    stands for the tree's own (a newer one, to try upgrades)

The release also holds kestrix_check.py, the package checker, with the catalogue's facts written
into it, so that it runs alone with Python 3 and msitools.

A package that includes the fragment refers to it with <ComponentGroupRef Id="Kestrix"/>, and
wixl is told where the libraries lie with -D KestrixDir=FOLDER (a relative path: wixl takes
no other).
"""
import pprint
import re
import shutil
import subprocess
import sys
import tempfile
import uuid
import zipfile
from pathlib import Path
from xml.sax.saxutils import quoteattr

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "src" / "frame"))
import catalogue  # noqa: E402  (the catalogue's own reader)
import kx_rules  # noqa: E402

UNIVERSAL_MARSHALER = "{00020424-0000-0000-C000-000000000046}"
# Identifiers of the packages, made once from fixed names so that every build has the same.
NAMESPACE = uuid.UUID("5d0b6c1e-8f2a-4c3b-9e4d-7a6b5c4d3e2f")


def fixed_guid(name):
    return "{" + str(uuid.uuid5(NAMESPACE, name)).upper() + "}"


def version():
    return (ROOT / "VERSION").read_text().strip()


def registry(library, classes, arch):
    """(key below HKEY_CLASSES_ROOT, value name or None, value): what registration writes."""
    libid = "{" + library["uuid"] + "}"
    dll = "[#KestrixDll]"
    values = [(f"TypeLib\\{libid}\\1.0", None, library["name"]),
              (f"TypeLib\\{libid}\\1.0\\0\\{'win64' if arch == 'x64' else 'win32'}", None, dll),
              (f"TypeLib\\{libid}\\1.0\\FLAGS", None, "8"),
              (f"TypeLib\\{libid}\\1.0\\HELPDIR", None, "[KESTRIXDIR]")]
    for cls in classes:
        progid, clsid, iid = f"Kestrix.{cls['name']}", "{" + cls["clsid"] + "}", "{" + cls["iid"] + "}"
        key = f"CLSID\\{clsid}"
        values += [(key, None, progid), (key + "\\InprocServer32", None, dll),
                   (key + "\\InprocServer32", "ThreadingModel", "Apartment"), (key + "\\ProgID", None, progid),
                   (key + "\\TypeLib", None, libid), (key + "\\VERSION", None, "1.0"),
                   (progid, None, progid), (progid + "\\CLSID", None, clsid),
                   (f"Interface\\{iid}", None, "_" + cls["name"]),
                   (f"Interface\\{iid}\\ProxyStubClsid", None, UNIVERSAL_MARSHALER),
                   (f"Interface\\{iid}\\ProxyStubClsid32", None, UNIVERSAL_MARSHALER),
                   (f"Interface\\{iid}\\TypeLib", None, libid),
                   (f"Interface\\{iid}\\TypeLib", "Version", "1.0")]
    return values


def component_guid(name, arch, resources):
    """A component's GUID, made from what it holds: a component whose resources change gets a
    new GUID, as Windows Installer's component rules ask, and keeps it while they stay."""
    return fixed_guid(f"{name} {arch}\n" + "\n".join(sorted(resources)))


# The digest library lies in the system folder, where the library search of every process finds
# it, as a permanent component whose copy other packages may share (Permanent, SharedDllRefCount).
DIGEST_ATTRIBUTES = {"x86": 16 | 8, "x64": 16 | 8 | 256}


def fragment(arch):
    """The WiX fragment of one bitness, as text."""
    library, _, classes = catalogue.parse((ROOT / "src" / "frame" / "catalogue.txt").read_text())
    win64 = ' Win64="yes"' if arch == "x64" else ""
    programs, system = ("ProgramFiles64Folder", "System64Folder") if arch == "x64" else ("ProgramFilesFolder",
                                                                                        "SystemFolder")
    values = [("HKLM", "SOFTWARE\\Kestrix", "Version", version()),
              ("HKLM", "SOFTWARE\\Kestrix", "InstallDir", "[KESTRIXDIR]")]
    values += [("HKCR", key, name, value) for key, name, value in registry(library, classes, arch)]
    rows = []
    for root, key, name, value in values:
        named = f" Name={quoteattr(name)}" if name else ""
        rows.append(f'            <RegistryValue Root="{root}" Key={quoteattr(key)}{named} Value={quoteattr(value)} '
                    f'Type="string"/>')
    held = ["file Kestrix.dll"] + [f"{root}\\{key}\\{name or ''}" for root, key, name, _ in values]
    digest = DIGEST_ATTRIBUTES[arch]
    return f"""<?xml version="1.0" encoding="utf-8"?>
<!-- Kestrix {version()} for {arch} Windows, generated from its class catalogue: the library, its
     registration (classes, ProgIDs, the type library and its interfaces), where other packages
     find it (HKLM\\SOFTWARE\\Kestrix: Version, InstallDir), and the digest library in the system
     folder, where the library search finds it, as a permanent, shared component. Include it
     with <ComponentGroupRef Id="Kestrix"/> and tell wixl where the libraries lie:
     -D KestrixDir=FOLDER. wixl writes neither the libraries' versions into the File table nor
     the digest library's component attributes: after wixl, add them with msitools' msibuild,
       msibuild MyApp.msi -q "UPDATE File SET Version='VERSION', Language='1033' WHERE File='KestrixDll' OR File='Aamd532Dll'"
       msibuild MyApp.msi -q "UPDATE Component SET Attributes={digest} WHERE Component='KestrixDigestLibrary'"
     with VERSION the libraries' file version, which file_version.txt beside this file holds. -->
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Fragment>
    <DirectoryRef Id="TARGETDIR">
      <Directory Id="{programs}">
        <Directory Id="KESTRIXDIR" Name="Kestrix">
          <Component Id="KestrixLibrary" Guid="{component_guid('library', arch, held)}"{win64}>
            <File Id="KestrixDll" Name="Kestrix.dll" Source="$(var.KestrixDir)/Kestrix.dll" KeyPath="yes"/>
{chr(10).join(rows)}
          </Component>
        </Directory>
      </Directory>
      <Directory Id="{system}">
        <Component Id="KestrixDigestLibrary" Guid="{component_guid('digest', arch, ['file aamd532.dll'])}"{win64}
                   Permanent="yes" SharedDllRefCount="yes">
          <File Id="Aamd532Dll" Name="aamd532.dll" Source="$(var.KestrixDir)/aamd532.dll" KeyPath="yes"/>
        </Component>
      </Directory>
    </DirectoryRef>
    <ComponentGroup Id="Kestrix">
      <ComponentRef Id="KestrixLibrary"/>
      <ComponentRef Id="KestrixDigestLibrary"/>
    </ComponentGroup>
  </Fragment>
</Wix>
"""


def product(arch, product_version):
    """A package of Kestrix alone, around the fragment; a newer one replaces it (major upgrade)."""
    return f"""<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="Kestrix{' (64-bit)' if arch == 'x64' else ''}" Language="1033" Version="{product_version}"
           Manufacturer="Kestrix" UpgradeCode="{fixed_guid('product ' + arch)}">
    <Package InstallerVersion="500" Compressed="yes" InstallScope="perMachine"
             Description="Kestrix {product_version}, a COM server for setup programs"/>
    <MajorUpgrade DowngradeErrorMessage="This version of Kestrix or a newer one is installed. Remove it first to install this one."/>
    <Media Id="1" Cabinet="kestrix.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir"/>
    <Feature Id="Kestrix" Level="1">
      <ComponentGroupRef Id="Kestrix"/>
    </Feature>
  </Product>
</Wix>
"""


def msibuild(package, *queries):
    for query in queries:
        subprocess.run(["msibuild", str(package), "-q", query], check=True)


def same_or_newer(upgrade_code, product_version):
    """The major upgrade's detection of this version or a newer one (OnlyDetect, VersionMin
    inclusive), in place of wixl's of a newer one only: a rebuild of the same three-part version
    would otherwise install beside the installed one, as Windows Installer compares versions
    without their fourth part. Attributes are part of the row's key: the row is made anew."""
    return ["DELETE FROM `Upgrade` WHERE `ActionProperty`='WIX_DOWNGRADE_DETECTED'",
            f"INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMin`, `Attributes`, `ActionProperty`) "
            f"VALUES ('{upgrade_code}', '{product_version}', 258, 'WIX_DOWNGRADE_DETECTED')"]


SHOP_UPGRADE_CODE = "{2F6C3B1A-9D4E-4A7B-8C2D-5E6F7A8B9C0D}"


def build_package(arch, libraries, fragment_file, out, product_version, file_version):
    """Builds OUT with wixl from the fragment and a product around it, then writes what wixl
    leaves out: the libraries' versions and the digest library's attributes."""
    product_file = out.with_suffix(".product.wxs")
    product_file.write_text(product(arch, product_version))
    try:
        # wixl takes sources by relative paths only.
        subprocess.run(["wixl", "-a", arch, "-D", "KestrixDir=.", "-o", str(out.resolve()), str(product_file.resolve()),
                        str(fragment_file.resolve())], check=True, cwd=libraries, stderr=subprocess.DEVNULL)
    finally:
        product_file.unlink()
    msibuild(out, f"UPDATE `File` SET `Version`='{file_version}', `Language`='1033' "
                  f"WHERE `File`='KestrixDll' OR `File`='Aamd532Dll'",
             f"UPDATE `Component` SET `Attributes`={DIGEST_ATTRIBUTES[arch]} WHERE `Component`='KestrixDigestLibrary'",
             *same_or_newer(fixed_guid("product " + arch), product_version))


# The sample installer's script actions: (action, kind, function, sequence, condition). Each
# rollback action stands just before the action whose work it takes back. Removal does not run
# when a major upgrade removes the old version; accounts go in a commit action, or, where
# rollback is disabled and commit actions never run, in a deferred one.
INSTALLING = "NOT Installed AND NOT REMOVE"
REPAIRING = "Installed AND NOT REMOVE"
REMOVING = 'REMOVE="ALL" AND NOT UPGRADINGPRODUCTCODE'
SAMPLE_ACTIONS = [
    ("KxDecide", "immediate", "Decide", 1450, INSTALLING),
    ("KxKeep", "immediate", "Keep", 1451, REPAIRING),
    ("KxRemember", "immediate", "Remember", 1460, REMOVING),
    ("KxUndoRemove", "rollback", "UndoRemove", 3398, REMOVING),
    ("KxRemove", "deferred", "Remove", 3399, REMOVING),
    ("KxRemoveAccount", "commit", "RemoveAccount", 3400, REMOVING),
    ("KxRemoveAccountNow", "deferred", "RemoveAccount", 3401, REMOVING + " AND RollbackDisabled"),
    ("KxUndoAccount", "rollback", "UndoAccount", 5100, INSTALLING),
    ("KxCreateAccount", "deferred hidden", "CreateAccount", 5101, INSTALLING),
    ("KxUndoSite", "rollback", "UndoSite", 5110, INSTALLING),
    ("KxCreateSite", "deferred", "CreateSite", 5111, INSTALLING),
    ("KxUndoApplication", "rollback", "UndoApplication", 5120, INSTALLING),
    ("KxCreateApplication", "deferred", "CreateApplication", 5121, INSTALLING),
]
# Types: 6 a VBScript function of the Binary table, run at once; +1024 in the installation
# script (+256 on rollback, +512 on commit) with +2048 the system's rights; +8192 keeps its
# CustomActionData (a password) out of the log; +4096 in the 64-bit script host.
KINDS = {"immediate": 6, "deferred": 6 | 1024 | 2048, "deferred hidden": 6 | 1024 | 2048 | 8192,
         "rollback": 6 | 1024 | 256 | 2048, "commit": 6 | 1024 | 512 | 2048}
# The remembered properties: what an earlier installation decided, read back (AppSearch) on
# repair, upgrade and removal. A command line's value wins only where nothing is remembered (the
# first installation): a repair or an upgrade keeps the names, and with them what it made, and
# KxKeep or KxDecide says in the log what it ignored. Type 51 sets a property:
# (action, property, value, sequence, condition), in both install sequences.
KEEP_COMMAND_LINE = [
    ("KxGivenAccount", "KX_GIVEN_ACCOUNT", "[SHOP_ACCOUNT]", 10, "SHOP_ACCOUNT"),
    ("KxGivenGroup", "KX_GIVEN_GROUP", "[SHOP_GROUP]", 11, "SHOP_GROUP"),
    ("KxGivenFolder", "KX_GIVEN_FOLDER", "[INSTALLDIR]", 12, "INSTALLDIR"),
    ("KxAccountGiven", "SHOP_ACCOUNT", "[KX_GIVEN_ACCOUNT]", 51, "KX_GIVEN_ACCOUNT AND NOT KX_OLD_ACCOUNT"),
    ("KxGroupGiven", "SHOP_GROUP", "[KX_GIVEN_GROUP]", 52, "KX_GIVEN_GROUP AND NOT KX_OLD_GROUP"),
    ("KxFolderGiven", "INSTALLDIR", "[KX_GIVEN_FOLDER]", 53, "KX_GIVEN_FOLDER AND NOT KX_OLD_FOLDER"),
    ("KxAccountDefault", "SHOP_ACCOUNT", "svc_shop", 54, "NOT SHOP_ACCOUNT"),
    ("KxGroupDefault", "SHOP_GROUP", "Shop Operators", 55, "NOT SHOP_GROUP"),
    # A repair or a patch writes the Registry table again: with the remembered decisions.
    ("KxKeepSite", "KX_SITE", "[KX_OLD_SITE]", 56, 'Installed AND NOT REMOVE="ALL"'),
    ("KxKeepPort", "KX_PORT", "[KX_OLD_PORT]", 57, 'Installed AND NOT REMOVE="ALL"'),
    ("KxKeepMade", "KX_MADE", "[KX_OLD_MADE]", 58, 'Installed AND NOT REMOVE="ALL"'),
]


def sample(root, arch, out, product_version):
    """The sample installer: wixl builds the package, msibuild adds its script actions and moves
    RemoveExistingProducts after InstallFinalize: the old version goes only once the new one is
    installed, and shares with it the components that both hold (the remembered decisions)."""
    source = root / "examples" / "installer"
    programs, win64 = ("ProgramFiles64Folder", "yes") if arch == "x64" else ("ProgramFilesFolder", "no")
    # The sample depends on the Kestrix of its own bitness: its provider key names it.
    subprocess.run(["wixl", "-a", arch, "-D", f"ProgramFiles={programs}", "-D", f"Win64={win64}", "-D",
                    f"KestrixProvider=Kestrix.{arch}", "-D", f"Version={product_version}", "-o", str(out.resolve()),
                    "Shop.wxs"], check=True, cwd=source, stderr=subprocess.DEVNULL)
    with tempfile.TemporaryDirectory() as tables:
        (Path(tables) / "Binary").mkdir()
        shutil.copy(source / "shop.vbs", Path(tables) / "Binary" / "shop.vbs")
        (Path(tables) / "Binary.idt").write_text("Name\tData\r\ns72\tv0\r\nBinary\tName\r\nShopScript\tshop.vbs\r\n")
        # msibuild finds a table's streams only beside it, by relative paths.
        subprocess.run(["msibuild", str(out.resolve()), "-i", "Binary.idt"], check=True, cwd=tables)
    host = 4096 if arch == "x64" else 0
    queries = ["UPDATE `InstallExecuteSequence` SET `Sequence`=6650 WHERE `Action`='RemoveExistingProducts'",
               *same_or_newer(SHOP_UPGRADE_CODE, product_version)]
    for action, prop, value, sequence, condition in KEEP_COMMAND_LINE:
        queries.append(f"INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) "
                       f"VALUES ('{action}', 51, '{prop}', '{value}')")
        for table in ("InstallUISequence", "InstallExecuteSequence"):
            queries.append(f"INSERT INTO `{table}` (`Action`, `Condition`, `Sequence`) "
                           f"VALUES ('{action}', '{condition}', {sequence})")
    for action, kind, function, sequence, condition in SAMPLE_ACTIONS:
        queries.append(f"INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) "
                       f"VALUES ('{action}', {KINDS[kind] | host}, 'ShopScript', '{function}')")
        queries.append(f"INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) "
                       f"VALUES ('{action}', '{condition}', {sequence})")
    msibuild(out, *queries)


# The package checker's modules, each after those it imports.
CHECKER = ["msi_tables", "ice_rules", "script_actions", "kx_rules", "kestrix_check"]


def checker():
    """The package checker as the release ships it: its modules in one file, without their
    imports of one another, and the catalogue's facts inside."""
    parts = []
    for module in CHECKER:
        text = (ROOT / "tools" / f"{module}.py").read_text()
        text = re.sub(rf"^from ({'|'.join(CHECKER)}) import (?:\([^)]*\)|[^(\n]*)\n", "", text, flags=re.M)
        parts.append(text if module == CHECKER[-1] else f"# --- {module}\n" + text)
    classes = catalogue.parse((ROOT / "src" / "frame" / "catalogue.txt").read_text())[2]
    facts = pprint.pformat(kx_rules.catalogue_facts(classes), width=110)
    # The command's text opens the file (its description) and its start closes it.
    command, start = parts.pop().split('\nif __name__ == "__main__":', 1)
    text = "\n\n".join([command] + parts) + '\nif __name__ == "__main__":' + start
    return text.replace("\nEMBEDDED = None\n", f"\nEMBEDDED = {facts}\n", 1)


def kestrix_package(arch, tree, out):
    """Kestrix's own package of one bitness from one build tree alone (./kx try's server)."""
    with tempfile.TemporaryDirectory() as folder:
        libraries = Path(folder)
        shutil.copy(tree / "Kestrix.dll", libraries)
        shutil.copy(tree / "digest" / "aamd532.dll", libraries)
        (libraries / "Kestrix.wxs").write_text(fragment(arch))
        build_package(arch, libraries, libraries / "Kestrix.wxs", out, version(),
                      (tree / "file_version.txt").read_text().strip())


def dist(root, build, out, product_version=None):
    """The release; product_version, when given, stands for VERSION in the packages (a test's
    newer version)."""
    product_version = product_version or version()
    name = f"kestrix-{product_version}"
    folder = out / name
    shutil.rmtree(folder, ignore_errors=True)
    (folder / "x64").mkdir(parents=True)
    for tree, target in ((build / "win32", folder), (build / "win64", folder / "x64")):
        shutil.copy(tree / "Kestrix.dll", target)
        shutil.copy(tree / "digest" / "aamd532.dll", target)
        shutil.copy(tree / "file_version.txt", target)
    shutil.copy(build / "win32" / "kestrix.exe", folder)
    for document in ("README.md", "docs/reference.md", "LICENSE", "CHANGELOG.md"):
        shutil.copy(root / document, folder)
    (folder / "kestrix_check.py").write_text(checker())
    shutil.copytree(root / "examples", folder / "examples")
    for arch, target, package in (("x86", folder, "Kestrix.msi"), ("x64", folder / "x64", "Kestrix-x64.msi")):
        (target / "Kestrix.wxs").write_text(fragment(arch))
        build_package(arch, target, target / "Kestrix.wxs", folder / package, product_version,
                      (target / "file_version.txt").read_text().strip())
    sample(root, "x86", folder / "KestrixShop.msi", product_version)
    sample(root, "x64", folder / "x64" / "KestrixShop-x64.msi", product_version)
    archive = out / f"{name}.zip"
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as zipped:
        for path in sorted(folder.rglob("*")):
            zipped.write(path, path.relative_to(out))
    return archive


def main(argv):
    if len(argv) == 4 and argv[1] == "wxs" and argv[2] in ("x86", "x64"):
        Path(argv[3]).write_text(fragment(argv[2]))
    elif len(argv) in (5, 6) and argv[1] == "dist":
        print(dist(Path(argv[2]), Path(argv[3]), Path(argv[4]), *argv[5:]))
    elif len(argv) == 5 and argv[1] == "x64":
        out = Path(argv[4])
        out.mkdir(parents=True, exist_ok=True)
        kestrix_package("x64", Path(argv[3]), out / "Kestrix-x64.msi")
        sample(Path(argv[2]), "x64", out / "KestrixShop-x64.msi", version())
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
