#!/usr/bin/env python3
"""Kestrix for setup authors: the WiX fragments that install and register it, its own Windows
Installer packages, and the release archive.

    package.py wxs x86|x64|shared 3|4 OUT
                                    a fragment for WiX v3 (and wixl) or WiX v4 and later, from
                                    the catalogue: x86 or x64, the library of that bitness and
                                    its registration; shared, the registration both bitnesses
                                    share (each of the others refers to it)
    package.py x64 ROOT TREE OUT    OUT/Kestrix-x64.msi and OUT/KestrixShop-x64.msi from the 64-bit
                                    build tree TREE alone (the demo's)
    package.py dist ROOT BUILD OUT [VERSION [CATALOGUE]]
                                    OUT/kestrix-VERSION/ and OUT/kestrix-VERSION.zip from the
                                    source tree ROOT and the build tree BUILD (its win32 and
                                    win64 builds); wixl builds the packages, and the sample
                                    installer of examples/installer for each bitness; VERSION
                                    stands for the tree's own (a newer one, to try upgrades),
                                    CATALOGUE for src/frame/catalogue.txt (another set of classes)

The release also holds kestrix_check.py, the package checker, with the catalogue's facts written
into it, so that it runs alone with Python 3 and msitools.

A package that includes the fragments refers to them with <ComponentGroupRef Id="Kestrix_x86"/>
(or Kestrix_x64), and wixl is told where the libraries lie with -D KestrixDir=FOLDER (a
relative path: wixl takes no other).
"""
import hashlib
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
CATALOGUE = ROOT / "src" / "frame" / "catalogue.txt"


def fixed_guid(name):
    return "{" + str(uuid.uuid5(NAMESPACE, name)).upper() + "}"


def version():
    return (ROOT / "VERSION").read_text().strip()


# What differs between the bitnesses: the folders, the type library's platform, the Ids.
ARCHES = {"x86": {"bits": 32, "programs": "ProgramFilesFolder", "system": "SystemFolder", "platform": "win32"},
          "x64": {"bits": 64, "programs": "ProgramFiles64Folder", "system": "System64Folder", "platform": "win64"}}


def component_code(bits, target):
    """A component's code, made from the target path of its key path and its bitness, as WiX
    makes its automatic GUIDs: a resource keeps its component code for as long as it keeps its
    place, whatever else a version adds or drops."""
    return fixed_guid(f"component {bits}-bit {target.lower()}")


# Kestrix 1.1.0 made its library's component code from what the component held: Kestrix.dll and
# every registry value of the catalogue. Packages built with it hold Kestrix.dll under these
# codes. Each fragment keeps one component of that code, holding nothing, so that a package's
# upgrade from 1.1.0 keeps that component installed while the old version goes: its removal
# then takes nothing, whenever RemoveExistingProducts runs.
RELEASED_LIBRARY_CODES = {"x86": "{ED43965C-B63A-547F-87B0-A96B80E2C3F0}",
                          "x64": "{7CBE43A2-9DFA-5916-B7E8-084E9087EEC4}"}
# The digest library's component of 1.1.0 held aamd532.dll alone, as it still does: it keeps
# its code.
RELEASED_DIGEST_CODES = {"x86": "{F684984F-FC91-58A4-BF81-0CE566B21B63}",
                         "x64": "{C17E9489-EB61-5BA8-BA6E-72338BF617CA}"}

# The digest library lies in the system folder, where the library search of every process finds
# it, as a permanent component whose copy other packages may share (Permanent, SharedDllRefCount).
DIGEST_ATTRIBUTES = {"x86": 16 | 8, "x64": 16 | 8 | 256}


class Component:
    """One component as both fragments write it: its files, its registry values (root, key,
    value name or None, value) and its key path ("file", "registry" for its first value, or None
    for its folder)."""

    def __init__(self, ident, directory, bits, files=(), values=(), keypath=None, permanent=False):
        self.id, self.directory, self.bits = ident, directory, bits
        self.files, self.values, self.keypath, self.permanent = list(files), list(values), keypath, permanent
        self.code = None

    def target(self, folders):
        """The key path's place: a file under its folder's path, or root\\key\\name."""
        if self.keypath == "file":
            return folders[self.directory] + self.files[0][1]
        root, key, name, _ = self.values[0]
        return f"{root}\\{key}\\{name or ''}"


def registry_id(component, root, key, name):
    """A registry row's Id: the same for the same value of the same component in every package."""
    return "reg" + hashlib.sha1(f"{component}|{root}|{key}|{name or ''}".encode()).hexdigest()[:24].upper()


def read_catalogue(text=None):
    library, _, classes = catalogue.parse(text if text is not None else CATALOGUE.read_text())
    return library, classes


def components(arch, text=None):
    """The components of one bitness (x86, x64), or those both share (shared): every resource
    in a component of its own kind, so that a class that a version adds or drops comes or goes
    with components of its own, and no component's resources ever change.

    Since Windows 7 the two registry views share the ProgID keys and the type library's keys
    ("Registry Keys Affected by WOW64"): those live in 32-bit components of the same codes and
    rows in both packages, so that Windows Installer counts both packages as their clients. The
    class and interface keys, which each view has of its own, and the type library's path for
    one platform, live in components of each bitness."""
    library, classes = read_catalogue(text)
    libid = "{" + library["uuid"] + "}"
    typelib = f"TypeLib\\{libid}\\1.0"
    if arch == "shared":
        found = [Component("KestrixTypeLib", "TARGETDIR", 32, keypath="registry", values=[
            ("HKCR", typelib, None, library["name"]), ("HKCR", typelib + "\\FLAGS", None, "8")])]
        for cls in classes:
            progid = f"Kestrix.{cls['name']}"
            found.append(Component(f"KestrixProgId_{cls['name']}", "TARGETDIR", 32, keypath="registry", values=[
                ("HKCR", progid + "\\CLSID", None, "{" + cls["clsid"] + "}"), ("HKCR", progid, None, progid)]))
        return found
    bits, suffix, folder = ARCHES[arch]["bits"], "_" + arch, "KESTRIXDIR_" + arch.upper()
    dll = f"[#KestrixDll{suffix}]"
    found = [Component(f"KestrixLibrary{suffix}", folder, bits, keypath="file",
                       files=[(f"KestrixDll{suffix}", "Kestrix.dll")],
                       values=[("HKLM", "SOFTWARE\\Kestrix", "Version", version()),
                               ("HKLM", "SOFTWARE\\Kestrix", "InstallDir", f"[{folder}]")]),
             Component(f"KestrixLibrary110{suffix}", folder, bits),
             Component(f"KestrixDigest{suffix}", ARCHES[arch]["system"], bits, keypath="file", permanent=True,
                       files=[(f"Aamd532Dll{suffix}", "aamd532.dll")]),
             # HELPDIR differs by bitness in a key both views share: whichever package wrote it
             # last holds it, and removing either package takes it. A type library without a
             # help file, as Kestrix's is, needs none.
             Component(f"KestrixTypeLib{suffix}", folder, bits, keypath="registry", values=[
                 ("HKCR", f"{typelib}\\0\\{ARCHES[arch]['platform']}", None, dll),
                 ("HKCR", typelib + "\\HELPDIR", None, f"[{folder}]")])]
    for cls in classes:
        progid, clsid, iid = f"Kestrix.{cls['name']}", "{" + cls["clsid"] + "}", "{" + cls["iid"] + "}"
        key, interface = f"CLSID\\{clsid}", f"Interface\\{iid}"
        found.append(Component(f"KestrixClass_{cls['name']}{suffix}", folder, bits, keypath="registry", values=[
            ("HKCR", key + "\\InprocServer32", None, dll), ("HKCR", key + "\\InprocServer32", "ThreadingModel",
                                                            "Apartment"),
            ("HKCR", key, None, progid), ("HKCR", key + "\\ProgID", None, progid),
            ("HKCR", key + "\\TypeLib", None, libid), ("HKCR", key + "\\VERSION", None, "1.0"),
            ("HKCR", interface, None, "_" + cls["name"]),
            ("HKCR", interface + "\\ProxyStubClsid", None, UNIVERSAL_MARSHALER),
            ("HKCR", interface + "\\ProxyStubClsid32", None, UNIVERSAL_MARSHALER),
            ("HKCR", interface + "\\TypeLib", None, libid), ("HKCR", interface + "\\TypeLib", "Version", "1.0")]))
    return found


def coded(found, arch):
    """The components with their codes."""
    folders = {"TARGETDIR": "[TARGETDIR]"}
    for name, info in ARCHES.items():
        folders["KESTRIXDIR_" + name.upper()] = f"[{info['programs']}]Kestrix\\"
        folders[info["system"]] = f"[{info['system']}]"
    for c in found:
        if c.keypath is None:
            c.code = RELEASED_LIBRARY_CODES[arch]
        elif c.permanent:
            c.code = RELEASED_DIGEST_CODES[arch]
        else:
            c.code = component_code(c.bits, c.target(folders))
    return found


def registry(text=None, arch="x86"):
    """(root, key, value name or None, value) of every value that one bitness's package writes."""
    return [v for part in (arch, "shared") for c in components(part, text) for v in c.values]


def fragment(arch, wix=3, text=None):
    """A fragment as text: arch is x86, x64 or shared; wix 3 (WiX v3 and wixl) or 4 (WiX v4 and
    later, whose schema has StandardDirectory and Bitness)."""
    found = coded(components(arch, text), "x86" if arch == "shared" else arch)
    lines = []
    for folder in dict.fromkeys(c.directory for c in found):
        inside = [c for c in found if c.directory == folder]
        if folder.startswith("KESTRIXDIR_"):
            parent = ARCHES[folder[-3:].lower()]["programs"]
            lines += [reference(parent, wix), f'      <Directory Id="{folder}" Name="Kestrix">']
            lines += [line for c in inside for line in component_text(c, wix, "        ")]
            lines += ["      </Directory>", "    </StandardDirectory>" if wix == 4 else "    </DirectoryRef>"]
        else:
            lines += [reference(folder, wix)] + [line for c in inside for line in component_text(c, wix, "      ")]
            lines += ["    </StandardDirectory>" if wix == 4 else "    </DirectoryRef>"]
    group = "KestrixShared" if arch == "shared" else "Kestrix_" + arch
    lines.append(f'    <ComponentGroup Id="{group}">')
    lines += [f'      <ComponentRef Id="{c.id}"/>' for c in found]
    if arch != "shared":
        lines.append('      <ComponentGroupRef Id="KestrixShared"/>')
    lines.append("    </ComponentGroup>")
    namespace = "http://wixtoolset.org/schemas/v4/wxs" if wix == 4 else "http://schemas.microsoft.com/wix/2006/wi"
    return f"""<?xml version="1.0" encoding="utf-8"?>
{header(arch, wix)}
<Wix xmlns="{namespace}">
  <Fragment>
{chr(10).join(lines)}
  </Fragment>
</Wix>
"""


def reference(folder, wix):
    return f'    <StandardDirectory Id="{folder}">' if wix == 4 else f'    <DirectoryRef Id="{folder}">'


def component_text(c, wix, indent):
    bitness = (f' Bitness="always{c.bits}"' if wix == 4 else f' Win64="{"yes" if c.bits == 64 else "no"}"')
    permanent = ' Permanent="yes" SharedDllRefCount="yes"' if c.permanent else ""
    lines = [f'{indent}<Component Id="{c.id}" Guid="{c.code}"{bitness}{permanent}>']
    for i, (ident, name) in enumerate(c.files):
        lines.append(f'{indent}  <File Id="{ident}" Name="{name}" Source="$(var.KestrixDir)/{name}"'
                     f'{" KeyPath=" + chr(34) + "yes" + chr(34) if c.keypath == "file" and i == 0 else ""}/>')
    for i, (root, key, name, value) in enumerate(c.values):
        named = f" Name={quoteattr(name)}" if name else ""
        keypath = ' KeyPath="yes"' if c.keypath == "registry" and i == 0 else ""
        lines.append(f'{indent}  <RegistryValue Id="{registry_id(c.id, root, key, name)}" Root="{root}" '
                     f'Key={quoteattr(key)}{named} Value={quoteattr(value)} Type="string"{keypath}/>')
    if c.keypath is None:
        lines.append(f"{indent}  <CreateFolder/>")
    return lines + [f"{indent}</Component>"]


def header(arch, wix):
    """The fragment's opening comment: what it holds and how a package takes it in."""
    if arch == "shared":
        return f"""<!-- Kestrix {version()}: the registration that the 32-bit and the 64-bit Kestrix share, generated
     from its class catalogue: the ProgIDs and the type library's keys, which both registry
     views have in common since Windows 7. The fragment of each bitness refers to it, so a
     package that holds Kestrix of one bitness or both compiles this file once beside them. Its
     components are 32-bit in every package and have the same codes and rows in Kestrix.msi and
     Kestrix-x64.msi, so that Windows Installer keeps them while any package that holds them is
     installed. -->"""
    info, group = ARCHES[arch], "Kestrix_" + arch
    product = ('<StandardDirectory> declares them itself' if wix == 4 else
               f'the product declares {info["programs"]} and {info["system"]} under TARGETDIR')
    if wix == 4:
        build = (f"""Build with the shared fragment beside it:
       wix build -arch {arch} -d KestrixDir=FOLDER MyApp.wxs Kestrix.v4.wxs KestrixShared.v4.wxs
     WiX reads the files' versions and writes every attribute itself: nothing more to do.""")
    else:
        build = f"""Build with the shared fragment beside it:
       candle -arch {arch} -dKestrixDir=FOLDER MyApp.wxs Kestrix.wxs KestrixShared.wxs  (WiX v3)
       wixl -a {arch} -D KestrixDir=FOLDER -o MyApp.msi MyApp.wxs Kestrix.wxs KestrixShared.wxs
     WiX v3 needs nothing more. wixl alone writes neither the libraries' versions into the File
     table nor the digest library's component attributes: after wixl, and only after wixl, add
     them with msitools' msibuild,
       msibuild MyApp.msi -q "UPDATE File SET Version='VERSION', Language='1033' WHERE File='KestrixDll_{arch}' OR File='Aamd532Dll_{arch}'"
       msibuild MyApp.msi -q "UPDATE Component SET Attributes={DIGEST_ATTRIBUTES[arch]} WHERE Component='KestrixDigest_{arch}'"
     with VERSION the libraries' file version, which file_version.txt beside this file holds."""
    return f"""<!-- Kestrix {version()} for {arch} Windows (WiX {'v4 and later' if wix == 4 else 'v3'}), generated from its class
     catalogue: the library in [{info['programs']}]Kestrix, its registration (classes,
     interfaces, the type library's path), where other packages find it (HKLM\\SOFTWARE\\Kestrix:
     Version, InstallDir), and the digest library in the system folder, where the library
     search finds it, as a permanent, shared component. The folders are referred to, never
     declared: {product}.
     Every component code comes from its key path's place and its bitness, so that packages
     built with any version of this fragment share each resource.
     Include it with <ComponentGroupRef Id="{group}"/>; its Ids end in _{arch}, so one package
     can hold both bitnesses. {build} -->"""


def product(arch, product_version):
    """A package of Kestrix alone, around the fragments; a newer one replaces it (major upgrade).
    It is the dependency provider Kestrix.x86 or Kestrix.x64: other products register as its
    dependents under that key, and its removal refuses while one is."""
    info, folder = ARCHES[arch], "KESTRIXDIR_" + arch.upper()
    provider = f"Software\\Classes\\Installer\\Dependencies\\{PROVIDER_KEYS[arch]}"
    win64 = "yes" if arch == "x64" else "no"
    code = component_code(info["bits"], f"HKLM\\{provider}\\Version")
    return f"""<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="Kestrix{' (64-bit)' if arch == 'x64' else ''}" Language="1033" Version="{product_version}"
           Manufacturer="Kestrix" UpgradeCode="{fixed_guid('product ' + arch)}">
    <Package InstallerVersion="500" Compressed="yes" InstallScope="perMachine"
             Description="Kestrix {product_version}, a COM server for setup programs"/>
    <MajorUpgrade DowngradeErrorMessage="This version of Kestrix or a newer one is installed. Remove it first to install this one."/>
    <Media Id="1" Cabinet="kestrix.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="{info['programs']}"/>
      <Directory Id="{info['system']}"/>
    </Directory>
    <DirectoryRef Id="{folder}">
      <Component Id="KestrixProvider_{arch}" Guid="{code}" Win64="{win64}">
        <RegistryValue Root="HKLM" Key="{provider}" Name="Version" Value="[ProductVersion]" Type="string" KeyPath="yes"/>
        <RegistryValue Root="HKLM" Key="{provider}" Value="[ProductCode]" Type="string"/>
        <RegistryValue Root="HKLM" Key="{provider}" Name="DisplayName" Value="[ProductName]" Type="string"/>
      </Component>
    </DirectoryRef>
    <Feature Id="Kestrix" Level="1">
      <ComponentGroupRef Id="Kestrix_{arch}"/>
      <ComponentRef Id="KestrixProvider_{arch}"/>
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

# Kestrix's packages as dependency providers, in the registry layout of WiX's dependency
# extension (HKLM\Software\Classes\Installer\Dependencies\KEY, and KEY\Dependents\CODE for each
# product that depends on it). The key lies under Classes, which both registry views share, so
# each bitness has a key of its own.
PROVIDER_KEYS = {"x86": "Kestrix.x86", "x64": "Kestrix.x64"}
# The removal's check: a script that lists the dependents, and an error action that ends the
# removal with their names. Neither runs when a major upgrade removes this version.
REMOVING_KESTRIX = '(REMOVE="ALL" OR REMOVE~="Kestrix") AND NOT UPGRADINGPRODUCTCODE'
DEPENDENTS_SCRIPT = ROOT / "tools" / "dependents.vbs"
REFUSAL = ("Kestrix cannot be removed: [KxDependents] depend on it. Remove them first, or remove Kestrix "
           "anyway with IGNOREDEPENDENCIES=ALL on the msiexec command line (they may then stop working).")


def add_binary(package, name, source):
    """A stream of the Binary table, from a file."""
    with tempfile.TemporaryDirectory() as tables:
        (Path(tables) / "Binary").mkdir()
        shutil.copy(source, Path(tables) / "Binary" / source.name)
        (Path(tables) / "Binary.idt").write_text(f"Name\tData\r\ns72\tv0\r\nBinary\tName\r\n{name}\t{source.name}\r\n")
        # msibuild finds a table's streams only beside it, by relative paths.
        subprocess.run(["msibuild", str(Path(package).resolve()), "-i", "Binary.idt"], check=True, cwd=tables)


def dependents_check(package, arch):
    """The removal's refusal while a dependent is registered: KxFindDependents (VBScript, run at
    once, reading only) sets KxDependents to their names, and KxRefuseRemoval (type 19, an error
    that ends the installation) shows them. IGNOREDEPENDENCIES is a secure property, so that the
    command line's value reaches the server side."""
    add_binary(package, "KxDependents", DEPENDENTS_SCRIPT)
    secure = subprocess.run(["msiinfo", "export", str(package), "Property"], capture_output=True, text=True,
                            check=True).stdout
    current = next((line.split("\t", 1)[1] for line in secure.splitlines() if line.startswith("SecureCustomProperties\t")),
                   "")
    host = 4096 if arch == "x64" else 0
    msibuild(package,
             f"INSERT INTO `Property` (`Property`, `Value`) VALUES ('KxProviderKey', '{PROVIDER_KEYS[arch]}')",
             f"UPDATE `Property` SET `Value`='{';'.join(filter(None, [current, 'IGNOREDEPENDENCIES']))}' "
             f"WHERE `Property`='SecureCustomProperties'",
             f"INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) "
             f"VALUES ('KxFindDependents', {6 | host}, 'KxDependents', 'FindDependents')",
             f"INSERT INTO `CustomAction` (`Action`, `Type`, `Target`) VALUES ('KxRefuseRemoval', 19, '{REFUSAL}')",
             f"INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) "
             f"VALUES ('KxFindDependents', '{REMOVING_KESTRIX}', 1390)",
             f"INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) "
             f"VALUES ('KxRefuseRemoval', 'KxDependents', 1391)")


# Where RemoveExistingProducts runs: early (wixl's place, after InstallValidate: the old version
# goes before the new one comes), execute (right after InstallExecute: the new version's files
# and registry are in place first, and the old one is removed in the same transaction), finalize
# (after InstallFinalize, as the sample does). Kestrix's own packages take execute: the
# components both versions hold stay in place throughout, and the old version's check for
# dependents finds the provider key taken over. InstallExecute runs before the new version
# registers and publishes itself (RegisterProduct, PublishProduct), so that nothing the old
# version's removal takes of the product registration is left missing.
REMOVALS = {"early": [], "execute": [
    "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('InstallExecute', 5990)",
    "UPDATE `InstallExecuteSequence` SET `Sequence`=5991 WHERE `Action`='RemoveExistingProducts'"],
    "finalize": ["UPDATE `InstallExecuteSequence` SET `Sequence`=6650 WHERE `Action`='RemoveExistingProducts'"]}


def build_package(arch, libraries, fragments, out, product_version, file_version, removal="execute"):
    """Builds OUT with wixl from the fragments and a product around them, then writes what wixl
    leaves out: the libraries' versions and the digest library's attributes; its place of
    RemoveExistingProducts (REMOVALS), and the removal's check for dependents."""
    product_file = out.with_suffix(".product.wxs")
    product_file.write_text(product(arch, product_version))
    try:
        # wixl takes sources by relative paths only.
        subprocess.run(["wixl", "-a", arch, "-D", "KestrixDir=.", "-o", str(out.resolve()), str(product_file.resolve()),
                        *(str(f.resolve()) for f in fragments)], check=True, cwd=libraries, stderr=subprocess.DEVNULL)
    finally:
        product_file.unlink()
    msibuild(out, f"UPDATE `File` SET `Version`='{file_version}', `Language`='1033' "
                  f"WHERE `File`='KestrixDll_{arch}' OR `File`='Aamd532Dll_{arch}'",
             f"UPDATE `Component` SET `Attributes`={DIGEST_ATTRIBUTES[arch]} WHERE `Component`='KestrixDigest_{arch}'",
             *same_or_newer(fixed_guid("product " + arch), product_version), *REMOVALS[removal])
    dependents_check(out, arch)


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
    # The sample depends on the Kestrix of its own bitness: its provider key names it. The key
    # holds the product code, so its component's code is each version's own: shared between
    # versions, the old version's removal would leave the old code's key, a dependent for good.
    dependent = "{" + str(uuid.uuid5(NAMESPACE, f"shop-dependent-{arch}-{product_version}")).upper() + "}"
    subprocess.run(["wixl", "-a", arch, "-D", f"ProgramFiles={programs}", "-D", f"Win64={win64}", "-D",
                    f"KestrixProvider=Kestrix.{arch}", "-D", f"Version={product_version}", "-D",
                    f"DependentGuid={dependent}", "-o", str(out.resolve()),
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


def write_fragments(folder, arch, text=None):
    """FOLDER/Kestrix.wxs and FOLDER/Kestrix.v4.wxs of one bitness, or the shared pair."""
    stem = "KestrixShared" if arch == "shared" else "Kestrix"
    (folder / f"{stem}.wxs").write_text(fragment(arch, 3, text))
    (folder / f"{stem}.v4.wxs").write_text(fragment(arch, 4, text))
    return folder / f"{stem}.wxs"


def kestrix_package(arch, tree, out, product_version=None, text=None, removal="execute"):
    """Kestrix's own package of one bitness from one build tree alone (./kx try's server, and the
    tests' upgrades: another version, another catalogue, another place of the old version's removal)."""
    with tempfile.TemporaryDirectory() as folder:
        libraries = Path(folder)
        shutil.copy(tree / "Kestrix.dll", libraries)
        shutil.copy(tree / "digest" / "aamd532.dll", libraries)
        fragments = [write_fragments(libraries, arch, text), write_fragments(libraries, "shared", text)]
        build_package(arch, libraries, fragments, out, product_version or version(),
                      (tree / "file_version.txt").read_text().strip(), removal)


def dist(root, build, out, product_version=None, text=None):
    """The release; product_version, when given, stands for VERSION in the packages (a test's
    newer version), text for the catalogue's (another set of classes)."""
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
    shared = write_fragments(folder, "shared", text)
    for arch, target, package in (("x86", folder, "Kestrix.msi"), ("x64", folder / "x64", "Kestrix-x64.msi")):
        build_package(arch, target, [write_fragments(target, arch, text), shared], folder / package, product_version,
                      (target / "file_version.txt").read_text().strip())
    sample(root, "x86", folder / "KestrixShop.msi", product_version)
    sample(root, "x64", folder / "x64" / "KestrixShop-x64.msi", product_version)
    archive = out / f"{name}.zip"
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as zipped:
        for path in sorted(folder.rglob("*")):
            zipped.write(path, path.relative_to(out))
    return archive


def main(argv):
    if len(argv) == 5 and argv[1] == "wxs" and argv[2] in ("x86", "x64", "shared") and argv[3] in ("3", "4"):
        Path(argv[4]).write_text(fragment(argv[2], int(argv[3])))
    elif len(argv) in (5, 6, 7) and argv[1] == "dist":
        text = Path(argv[6]).read_text() if len(argv) == 7 else None
        print(dist(Path(argv[2]), Path(argv[3]), Path(argv[4]), argv[5] if len(argv) > 5 else None, text))
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
