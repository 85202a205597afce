#!/usr/bin/env python3
"""The package checker on packages built here with wixl and msibuild, one table of cases: the
clean package, with script actions that call Kestrix the right way, shows nothing; every other
case breaks it in one way (the ICE cases as the examples of the ICE reference) and shows just
the findings it lists. Then the release's four packages, read by the release's own copy of the
checker, each with what it shows today.

    check_test.py BUILD   (the build tree with win32 and win64 built)

Prints one line per failed check and a verdict."""
import json
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

from verdict import check, verdict

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tools"))
sys.path.insert(0, str(ROOT / "src" / "frame"))
import catalogue  # noqa: E402
import kestrix_check  # noqa: E402
import msi_tables  # noqa: E402
import script_actions  # noqa: E402

PRODUCT = """<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="Checked" Language="1033" Version="2.1.0" Manufacturer="Kestrix"
           UpgradeCode="{6F1D0C52-3B8E-4A29-9C61-2E7A5B4D3C10}">
    <Package InstallerVersion="$(var.Schema)" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="checked.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="$(var.ProgramFiles)">
        <Directory Id="APPDIR" Name="Checked">
          <Component Id="Main" Guid="{6F1D0C52-3B8E-4A29-9C61-2E7A5B4D3C11}" Win64="$(var.Win64)">
            <File Id="Page" Name="page.txt" Source="page.txt" KeyPath="yes"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Main" Level="1"><ComponentRef Id="Main"/></Feature>
  </Product>
</Wix>
"""
# (wixl's architecture, the schema asked for, whether the component is 64-bit, its folder)
BASES = {"x64": ("x64", 500, "yes", "ProgramFiles64Folder"), "x86": ("x86", 500, "no", "ProgramFilesFolder"),
         "x64-150": ("x64", 150, "yes", "ProgramFiles64Folder"), "x86-wide": ("x86", 500, "yes", "ProgramFilesFolder")}

# The clean package's actions: a check that decides (immediate), the site made (deferred, with
# the system's rights, in the 64-bit host, boxes off) after the rollback that takes it away.
SCRIPT = """' Kestrix the careful way.
Function Kestrix(name)
    Set Kestrix = CreateObject("Kestrix." & name)
End Function

Function Check()
    Session.Property("KxCreate") = Session.Property("APPDIR")
    If Kestrix("getfreewebid").getfreewebid() = 0 Then Check = 3 Else Check = 1
End Function

Function Undo()
    Kestrix("deletewebroot").deletewebroot "2"
    Undo = 1
End Function

Function Create()
    Dim site
    CreateObject("WScript.Shell").Environment("Process")("KESTRIX_QUIET") = "1"
    Set site = Kestrix("createwebroot")
    site.createwebroot "2", "Shop", 1, ":8080:", "", Session.Property("CustomActionData")
    Set site = CreateObject("Scripting.FileSystemObject")
    If site.FolderExists(Session.Property("CustomActionData")) Then Session.Log "no Session.Property(""A"") here"
    Kestrix("setdirectorypermission").setdirectorypermission Session.Property("CustomActionData"), "Users", "RX", 0
    Create = 1
End Function
"""
ACTIONS = [("KxCheck", 4102, "Check", 1450, ""), ("KxUndo", 7430, "Undo", 5000, ""),
           ("KxCreate", 7174, "Create", 5001, "")]


def q(table, **row):
    """An INSERT of one row."""
    names = ", ".join(f"`{k}`" for k in row)
    values = ", ".join(str(v) if isinstance(v, int) else f"'{v}'" for v in row.values())
    return f"INSERT INTO `{table}` ({names}) VALUES ({values})"


def action(name, kind, source="", target="", table="InstallExecuteSequence", sequence=None, condition=""):
    rows = [q("CustomAction", Action=name, Type=kind, Source=source, Target=target)]
    if sequence:
        rows.append(q(table, Action=name, Sequence=sequence, Condition=condition))
    return rows


def component(name, guid, directory="APPDIR", attributes=0, feature=True):
    rows = [q("Component", Component=name, ComponentId=guid, Directory_=directory, Attributes=attributes)]
    return rows + ([q("FeatureComponents", Feature_="Main", Component_=name)] if feature else [])


def kestrix(*queries, host=4096):
    """The clean package's actions and script, changed by the queries; host: the 64-bit script bit."""
    return [r for a in ACTIONS for r in action(a[0], a[1] - 4096 + host, "Script", a[2], sequence=a[3])] + list(queries)


def edit(old, new):
    return SCRIPT.replace(old, new)


UPGRADE = dict(UpgradeCode="{6F1D0C52-3B8E-4A29-9C61-2E7A5B4D3C10}", VersionMin="1.0.0", Attributes=256)
# (case, base, queries, script, the findings it must show: "severity RULE TABLE.ROW", or with
# ": ADVICE" the end of its message too)
CASES = [
    ("clean, 64-bit", "x64", kestrix(), SCRIPT, []),
    ("clean, 32-bit", "x86", kestrix(host=0), SCRIPT, []),
    ("ICE08: Red and Green share a GUID", "x86",
     component("Red", "{0000000A-0003-0000-0000-624474736554}") +
     component("Blue", "{0000000A-0003-0000-0000-624474736354}") +
     component("Green", "{0000000A-0003-0000-0000-624474736554}"), None, ["error ICE08 Component.Green"]),
    ("ICE09: a component of the system folder that is not permanent", "x86",
     [q("Directory", Directory="SystemFolder", Directory_Parent="TARGETDIR", DefaultDir=".")] +
     component("Shared", "{6F1D0C52-3B8E-4A29-9C61-2E7A5B4D3C12}", "SystemFolder"), None,
     ["warning ICE09 Component.Shared"]),
    ("ICE12: a folder that is not there, folders set before and after CostFinalize", "x86",
     [q("Directory", Directory="WindowsFolder", Directory_Parent="TARGETDIR", DefaultDir="WindowsFolder")] +
     action("CA1", 35, "MyFolder", "[APPDIR]", sequence=1050) + action("CA2", 35, "WindowsFolder", "C:\\W", sequence=950) +
     action("CA3", 51, "WindowsFolder", "C:\\W", sequence=1100), None,
     ["error ICE12 CustomAction.CA1", "error ICE12 CustomAction.CA2", "error ICE12 CustomAction.CA3"]),
    ("ICE21: a component of no feature", "x86",
     component("Orphan", "{6F1D0C52-3B8E-4A29-9C61-2E7A5B4D3C13}", feature=False), None,
     ["error ICE21 Component.Orphan"]),
    ("ICE27: an unknown action; files removed after they are installed", "x86",
     [q("InstallExecuteSequence", Action="Action1", Sequence=1300),
      "UPDATE `InstallExecuteSequence` SET `Sequence`=4100 WHERE `Action`='RemoveFiles'"], None,
     ["error ICE27 InstallExecuteSequence.Action1", "error ICE27 InstallExecuteSequence.InstallFiles"]),
    ("ICE61: the reference's rows", "x86",
     [q("Property", Property="SecureCustomProperties", Value="OLDAPPFOUND"),
      q("Upgrade", **dict(UPGRADE, VersionMax="2.1.0", Attributes=768, ActionProperty="OLDAPPFOUND")),
      q("Upgrade", **dict(UPGRADE, VersionMin="3.0.0", VersionMax="2.0.0", ActionProperty="OLDAPPFOUND")),
      q("Upgrade", **dict(UPGRADE, VersionMax="2.0.0", ActionProperty="EnglishAPPFOUND"))], None,
     ["warning ICE61 Upgrade.OLDAPPFOUND", "error ICE61 Upgrade.OLDAPPFOUND", "error ICE61 Upgrade.OLDAPPFOUND",
      "error ICE61 Upgrade.EnglishAPPFOUND", "error ICE61 Upgrade.EnglishAPPFOUND"]),
    ("ICE63: an action between InstallInitialize and RemoveExistingProducts", "x86",
     action("MyCustomAction", 51, "SOMETHING", "1", sequence=1510) +
     [q("InstallExecuteSequence", Action="RemoveExistingProducts", Sequence=1520)], None,
     ["warning ICE63 InstallExecuteSequence.RemoveExistingProducts"]),
    ("ICE68: type 1027; no impersonation without in-script, in the script and out of it", "x86",
     action("Action1", 1027, "Argument", "Component1") + action("Elevated", 2049, "Dll", "Entry", sequence=1600) +
     action("Early", 2049, "Dll", "Entry", sequence=1100) + action("Setting", 2099, "SOMETHING", "1", sequence=1600),
     None, ["error ICE68 CustomAction.Action1", "warning ICE68 CustomAction.Elevated: Make it deferred: type 3073.",
            "warning ICE68 CustomAction.Early: It runs outside the installation script (InstallExecuteSequence), "
            "where it cannot be deferred: drop the bit, type 1.",
            "warning ICE68 CustomAction.Setting: deferred action does not reach: drop the bit, type 51."]),
    ("ICE72: a DLL action when the product is advertised", "x86",
     action("CA1", 1, "Dll", "Entry", "AdvtExecuteSequence", 1050) +
     action("CA35", 35, "APPDIR", "C:\\A", "AdvtExecuteSequence", 1100), None,
     ["error ICE72 AdvtExecuteSequence.CA1"]),
    ("ICE75: a script of an installed file before CostFinalize", "x86",
     action("FromFile", 22, "Page", "Main", sequence=950), None, ["error ICE75 InstallExecuteSequence.FromFile"]),
    ("ICE77: in-script actions outside InstallInitialize and InstallFinalize", "x86",
     ["DELETE FROM `InstallExecuteSequence` WHERE `Action`='InstallFinalize'"] +
     action("CA_InScriptInstall", 1025, "Dll", "Entry", sequence=2000) +
     action("CA_InScriptAdmin", 1026, "Exe", "", "AdminExecuteSequence", 1450), None,
     ["error ICE77 InstallExecuteSequence.CA_InScriptInstall", "error ICE77 AdminExecuteSequence.CA_InScriptAdmin",
      "error ICE27 InstallExecuteSequence.InstallFinalize"]),
    ("ICE80: a 64-bit component in a 32-bit package", "x86-wide", [], None,
     ["error ICE80 Component.Main", "error ICE80 Component.Main"]),
    ("ICE80: a 64-bit folder and a 64-bit script in a 32-bit package", "x86",
     [q("Directory", Directory="ProgramFiles64Folder", Directory_Parent="TARGETDIR", DefaultDir=".")] +
     action("Wide", 4134, "", "x = 1"), None,
     ["error ICE80 Directory.ProgramFiles64Folder", "error ICE80 CustomAction.Wide"]),
    ("ICE80: x64 with a schema below 200", "x64-150", [], None, ["error ICE80 _SummaryInformation.PageCount"]),
    ("ICE92: a permanent component without a GUID", "x86", component("NoId", "", attributes=16), None,
     ["error ICE92 Component.NoId"]),
    ("KX01: a deferred change that runs impersonated", "x64",
     kestrix("UPDATE `CustomAction` SET `Type`=5126 WHERE `Action`='KxCreate'"), SCRIPT,
     ["error KX01 CustomAction.KxCreate"]),
    ("KX02: the 32-bit script host in a 64-bit package", "x64",
     kestrix("UPDATE `CustomAction` SET `Type`=6 WHERE `Action`='KxCheck'"), SCRIPT, ["error KX02 CustomAction.KxCheck"]),
    ("KX03: no such class, no such member", "x64", kestrix(),
     edit('Kestrix("getfreewebid").getfreewebid()', 'Kestrix("getfreeweb").x + CreateObject("Kestrix.getwebid").getid()'),
     ["error KX03 CustomAction.KxCheck", "error KX03 CustomAction.KxCheck"]),
    ("KX03 in JScript, through a variable", "x64",
     kestrix(*action("KxScan", 4133, "", 'var o = new ActiveXObject("Kestrix.portscan"); o.portscan("h", "80"); '
                                        'o.scan("h") // o.nothing()', sequence=1460)), SCRIPT,
     ["error KX03 CustomAction.KxScan"]),
    ("KX04: an immediate action that changes the machine", "x64", kestrix(),
     edit('If Kestrix("getfreewebid")', 'With CreateObject _\n        ("Kestrix.startwebsite")\n        .startwebsite "1"\n'
                                         '    End With\n    If Kestrix("getfreewebid")'),
     ["error KX04 CustomAction.KxCheck"]),
    ("KX05: no rollback before the change", "x64",
     kestrix("DELETE FROM `InstallExecuteSequence` WHERE `Action`='KxUndo'"), SCRIPT,
     ["warning KX05 CustomAction.KxCreate"]),
    ("KX06: a deferred action that reads a property", "x64", kestrix(),
     edit("Create = 1", 'If Session.Property("APPDIR") = "" Then Session.Property("A") = 1\n    Create = 1'),
     ["error KX06 CustomAction.KxCreate"]),
    ("KX06: a commit action reads ProductCode, a rollback action may", "x64",
     kestrix(*action("KxDone", 7686, "Script", "Done", sequence=5002)),
     edit("Function Undo()", 'Function Done()\n    Done = Len(Session.Property("ProductCode"))\nEnd Function\n\n'
                             'Function Undo()\n    Session.Log Session.Property("ProductCode")'),
     ["error KX06 CustomAction.KxDone"]),
    ("KX07: a box in a deferred action", "x64", kestrix(), edit('("KESTRIX_QUIET")', '("OTHER")'),
     ["warning KX07 CustomAction.KxCreate"]),
    ("KX07: boxes switched off through the registry", "x64",
     kestrix(q("Registry", Registry="Quiet", Root=2, Key="SOFTWARE\\Kestrix", Name="Quiet", Value="#1", Component_="Main"),
             q("InstallExecuteSequence", Action="WriteRegistryValues", Sequence=4900),
             q("InstallExecuteSequence", Action="RemoveRegistryValues", Sequence=2600)),
     edit('("KESTRIX_QUIET")', '("OTHER")'), []),
    ("KX07: the registry's Quiet is gone when an action that also runs on removal runs", "x64",
     kestrix(q("Registry", Registry="Quiet", Root=2, Key="SOFTWARE\\Kestrix", Name="Quiet", Value="#1", Component_="Main"),
             q("InstallExecuteSequence", Action="WriteRegistryValues", Sequence=4900),
             q("InstallExecuteSequence", Action="RemoveRegistryValues", Sequence=2600),
             "UPDATE `InstallExecuteSequence` SET `Condition`='NOT Installed OR REMOVE~=\"ALL\"' WHERE `Action`='KxCreate'"),
     edit('("KESTRIX_QUIET")', '("OTHER")'), ["warning KX07 CustomAction.KxCreate"]),
    ("KX08: removal that also runs on an upgrade", "x64",
     kestrix(q("Property", Property="SecureCustomProperties", Value="OLDFOUND"),
             q("Upgrade", **dict(UPGRADE, VersionMax="2.1.0", ActionProperty="OLDFOUND")),
             "UPDATE `InstallExecuteSequence` SET `Condition`='REMOVE=\"ALL\"' WHERE `Action`='KxUndo'",
             "UPDATE `InstallExecuteSequence` SET `Condition`='NOT\t(REMOVE=\"ALL\")' WHERE `Action`='KxCheck'"), SCRIPT,
     ["warning KX08 InstallExecuteSequence.KxUndo"]),
]

# (language, the function the action names, script, the Kestrix calls found: "class.member", or
# "class" for an object made)
SHAPES = [
    ("vb", "Main", 'Function GetSite()\n Set GetSite = CreateObject("Kestrix.createwebroot")\nEnd Function\n'
                   'Sub Main\n Set s = GetSite\n s.createwebroot "2"\nEnd Sub\n', {"createwebroot", "createwebroot.createwebroot"}),
    ("vb", None, 'CreateObject("Kestrix." + "getwebid").getwebid "x"', {"getwebid.getwebid"}),
    ("vb", None, 'Function Make(host, name)\n Set Make = CreateObject("Kestrix." + name)\nEnd Function\n'
                 'Function Site()\n Set Site = Make("h", "createwebroot")\nEnd Function\nSet s = Site()\n'
                 'With s\n .createwebroot "2"\nEnd With', {"createwebroot", "createwebroot.createwebroot"}),
    ("vb", None, 'Function Make(progid)\n Set Make = CreateObject(progid)\nEnd Function\n'
                 'Make("Kestrix.getwebid").getwebid "x"\nMake("Scripting.FileSystemObject").getwebid', {"getwebid.getwebid"}),
    ("js", None, 'function site() { return new ActiveXObject("Kestrix.createwebroot"); }\nvar s = site();\n'
                 's.createwebroot("2");', {"createwebroot", "createwebroot.createwebroot"}),
    ("js", None, 'var r = /"/g, q = x.replace(/[/\']/, ""); var o = new ActiveXObject(\'Kestrix.\' + "portscan");\n'
                 'o.portscan(a / b / 2, "h")', {"portscan", "portscan.portscan"}),
    # what is built at run time is not guessed at, nor what a comment or a string holds
    ("vb", None, 'CreateObject("Kestrix." & GetName()).getwebid\nx = Make(y).getwebid\n'
                 'y = "CreateObject(""Kestrix.getwebid"")" \' CreateObject("Kestrix.getwebid")', set()),
    ("js", None, 'var a = 4 / 2; // new ActiveXObject("Kestrix.getwebid")\nvar b = c / "x"; var k = "Kestrix.";\n'
                 'new ActiveXObject(k + n).getwebid()', set()),
]
# (a sequence's condition, whether it is one of removal, whether it is false when an upgrade
# removes the old version)
CONDITIONS = [
    ('REMOVE="ALL"', True, False), ('REMOVE~="all"', True, False), ("REMOVE", True, False),
    ('NOT REMOVE="ALL"', False, True), ('NOT  REMOVE="ALL"', False, True), ('NOT(REMOVE="ALL")', False, True),
    ('not\tREMOVE ~= "ALL"', False, True), ('REMOVE<>"ALL"', False, True),
    ('remove="ALL"', False, False),  # another property: names keep their case
    ('REMOVE="ALL" AND NOT UPGRADINGPRODUCTCODE', True, True),
    ('(REMOVE = "ALL")\nAnd\t(Not UPGRADINGPRODUCTCODE)', True, True),
    ('REMOVE="ALL" AND UPGRADINGPRODUCTCODE=""', True, True),
    ('REMOVE="ALL" AND UPGRADINGPRODUCTCODE', False, False),
    ('REMOVE="ALL" AND NOT upgradingproductcode', True, False),
    ('Installed AND REMOVE="ALL" AND MYPROP', True, False),
    ('REMOVE="ALL" OR NOT Installed', True, False),
    ('REMOVE="ALL" XOR UPGRADINGPRODUCTCODE', True, True), ('UPGRADINGPRODUCTCODE IMP NOT REMOVE', True, True),
    ('REMOVE="ALL" AND', False, False), ('REMOVE="ALL', False, False),  # no condition: neither is guessed at
]


def recreate(table, columns, key, *rows):
    """The table dropped and made again with the columns (SQL), holding the rows (column: value)."""
    return [f"DROP TABLE `{table}`", f"CREATE TABLE `{table}` ({columns} PRIMARY KEY `{key}`)"] + \
        [q(table, **row) for row in rows]


COMPONENT = "`Component` CHAR(72) NOT NULL, `ComponentId` CHAR(38), `Directory_` CHAR(72) NOT NULL, `Attributes` {}"
CUSTOM_ACTION = "`Action` CHAR(72) NOT NULL, `Type` {}, `Source` CHAR(72), `Target` CHAR(255)"
# (damage, queries, what the message names): each stops the command with status 2 and a message
DAMAGED = [
    ("a null Component.Attributes", recreate("Component", COMPONENT.format("SHORT"), "Component",
                                             dict(Component="Main", Directory_="APPDIR")), "Component.Main"),
    ("a null CustomAction.Type", recreate("CustomAction", CUSTOM_ACTION.format("SHORT"), "Action",
                                          dict(Action="Odd", Source="x")), "CustomAction.Odd"),
    ("a text in CustomAction.Type", recreate("CustomAction", CUSTOM_ACTION.format("CHAR(8)"), "Action",
                                             dict(Action="Odd", Type="x")), "CustomAction.Odd"),
    ("a Component table without Attributes", recreate("Component", COMPONENT.format("SHORT").rsplit(",", 1)[0],
                                                      "Component", dict(Component="Main", Directory_="APPDIR")),
     "Component has no column Attributes"),
    ("a script whose stream is missing", recreate("Binary", "`Name` CHAR(72) NOT NULL, `Data` OBJECT", "Name",
                                                  dict(Name="Script")) + action("Run", 6, "Script", "Main"),
     "Binary.Script"),
]
# The release's packages show nothing.
RELEASE = ["Kestrix.msi", "Kestrix-x64.msi", "KestrixShop.msi", "x64/KestrixShop-x64.msi"]


def build(folder, base, queries, script):
    arch, schema, wide, programs = BASES[base]
    made = folder / f"base-{base}.msi"
    if not made.exists():
        (folder / "page.txt").write_text("a page\n")
        (folder / "product.wxs").write_text(PRODUCT)
        subprocess.run(["wixl", "-a", arch, "-D", f"Schema={schema}", "-D", f"Win64={wide}", "-D",
                        f"ProgramFiles={programs}", "-o", made.name,
                        "product.wxs"], cwd=folder, check=True, capture_output=True)
    package = folder / "case.msi"
    shutil.copy(made, package)
    if script:
        (folder / "Binary").mkdir(exist_ok=True)
        (folder / "Binary" / "script.vbs").write_text(script)
        (folder / "Binary.idt").write_text("Name\tData\r\ns72\tv0\r\nBinary\tName\r\nScript\tscript.vbs\r\n")
        subprocess.run(["msibuild", package.name, "-i", "Binary.idt"], cwd=folder, check=True)
    for query in queries:
        subprocess.run(["msibuild", str(package), "-q", query], check=True)
    return package


def shown(findings):
    return sorted(f"{f['severity']} {f['rule']} {f['table']}.{f['row']}" for f in findings)


def main():
    # The reference's table for setup packages says what the catalogue says.
    reference = (ROOT / "docs" / "reference.md").read_text()
    table = re.findall(r"^\| `(\w+)` \| (no|yes; .*?) \| (yes|no) \|$", reference, re.M)
    members = [m for c in catalogue.parse((ROOT / "src" / "frame" / "catalogue.txt").read_text())[2]
               for m in c["members"]]
    check({n: (c != "no", re.findall(r"`(\w+)`", c), b == "yes") for n, c, b in table} ==
          {m["name"]: (m["changes"], m["undone_by"], m["boxes"]) for m in members if m["changes"] or m["boxes"]},
          f"the reference's table for setup packages is the catalogue's: {table}")

    for language, entry, text, expected in SHAPES:
        script = script_actions.Script(text, language)
        found = {c + (f".{m}" if m else "") for c, m in script.kestrix_calls(script.reachable(entry))}
        check(found == expected, f"{text!r}: {found}, not {expected}")
    for condition, removal, upgrade in CONDITIONS:
        found = (msi_tables.removes(condition), msi_tables.excludes_upgrade(condition))
        check(found == (removal, upgrade), f"{condition!r}: removes, excludes an upgrade: {found}")

    with tempfile.TemporaryDirectory() as work:
        folder = Path(work)
        for name, base, queries, script, expected in CASES:
            found = [f.as_dict() for f in kestrix_check.check(build(folder, base, queries, script))]
            keys = sorted(e.partition(": ")[0] for e in expected)
            check(shown(found) == keys, f"{name}: {shown(found)}, not {keys}: {found}")
            for key, _, advice in (e.partition(": ") for e in expected if ": " in e):
                check(any(shown([f]) == [key] and f["message"].endswith(advice) for f in found),
                      f"{name}: {key} does not end its advice with {advice!r}: {found}")

        # The command: its statuses and its JSON, on the last case and on what is no package.
        run = [sys.executable, str(ROOT / "tools" / "kestrix_check.py")]
        done = subprocess.run(run + [str(folder / "case.msi")], capture_output=True, text=True)
        check(done.returncode == 0 and done.stdout.startswith("warning KX08 InstallExecuteSequence.KxUndo: "),
              f"a warning alone: status 0 and its line: {done.returncode} {done.stdout!r}")
        (folder / "not.msi").write_text("not a package")
        done = subprocess.run(run + [str(folder / "not.msi")], capture_output=True, text=True)
        check(done.returncode == 2 and "cannot read" in done.stderr, f"no package: status 2: {done.stderr!r}")
        for damage, queries, named in DAMAGED:
            done = subprocess.run(run + [str(build(folder, "x86", queries, None))], capture_output=True, text=True)
            check(done.returncode == 2 and named in done.stderr and "Traceback" not in done.stderr,
                  f"{damage}: status 2 and a message naming {named}: {done.returncode} {done.stderr!r}")

        subprocess.run([sys.executable, str(ROOT / "tools" / "package.py"), "dist", str(ROOT), sys.argv[1],
                        str(folder / "dist")], capture_output=True, check=True)
        release = next((folder / "dist").glob("kestrix-*/"))
        alone = folder / "alone"
        alone.mkdir()
        shutil.copy(release / "kestrix_check.py", alone)
        for package in RELEASE:
            done = subprocess.run([sys.executable, str(alone / "kestrix_check.py"), str(release / package), "--json"],
                                  capture_output=True, text=True)
            check(done.returncode == 0 and json.loads(done.stdout or "null") == [],
                  f"the release's checker finds nothing on {package}: {done.returncode} {done.stdout} {done.stderr}")
    verdict()


if __name__ == "__main__":
    main()
