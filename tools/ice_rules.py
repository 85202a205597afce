"""Rules of Windows Installer's own validation suite (ICE), each as its reference describes it,
with the severity the reference gives: one function a rule, yielding findings."""
from msi_tables import (BASE_TYPES, FROM_FILE, IN_SCRIPT, NO_IMPERSONATE, SCRIPT_64, SCRIPTS, SEQUENCES, Finding,
                        base_type)


def ice08(package):
    seen = {}
    for c in package.rows("Component"):
        guid = (c["ComponentId"] or "").upper()
        if guid and guid in seen:
            yield Finding("error", "ICE08", "Component", c["Component"],
                          f"its ComponentId {c['ComponentId']} is also the one of component {seen[guid]}. Every "
                          f"component needs a GUID of its own: give one of them a new GUID.")
        seen.setdefault(guid, c["Component"])


def ice09(package):
    for c in package.rows("Component"):
        if c["Directory_"] in ("SystemFolder", "System64Folder") and not c["Attributes"] & 0x10:
            yield Finding("warning", "ICE09", "Component", c["Component"],
                          f"it installs into {c['Directory_']} and is not permanent: removing the product "
                          f"would take a file that other programs may have come to use out of the system "
                          f"folder. Set the permanent bit (16) in its Attributes, or install it elsewhere.")


def ice12(package):
    directories = {d["Directory"] for d in package.rows("Directory")}
    for table in SEQUENCES:
        sequence = package.sequence(table)
        for name, number in sequence.items():
            action = package.actions.get(name)
            if not action or base_type(action) not in (35, 51):
                continue
            cost = sequence.get("CostFinalize")
            if cost is None:
                yield Finding("error", "ICE12", table, name,
                              f"a type {base_type(action)} action runs in {table}, which has no CostFinalize to "
                              f"sequence it against. Add CostFinalize to {table}.")
            if base_type(action) == 35 and action["Source"] not in directories:
                yield Finding("error", "ICE12", "CustomAction", name,
                              f"type 35 sets the folder {action['Source'] or '(none)'}, which the Directory table "
                              f"does not hold. Name a folder of the Directory table, or add it there.")
            elif cost is None or (base_type(action) == 51 and action["Source"] not in directories):
                continue
            elif base_type(action) == 35 and number < cost:
                yield Finding("error", "ICE12", "CustomAction", name,
                              f"type 35 runs at {number} in {table}, before CostFinalize ({cost}), which resolves "
                              f"the folders it changes. Sequence it after CostFinalize.")
            elif base_type(action) == 51 and number > cost:
                yield Finding("error", "ICE12", "CustomAction", name,
                              f"type 51 sets the folder property {action['Source']} at {number} in {table}, after "
                              f"CostFinalize ({cost}) has resolved the folders. Sequence it before CostFinalize.")


def ice21(package):
    mapped = {r["Component_"] for r in package.rows("FeatureComponents")}
    for c in package.rows("Component"):
        if c["Component"] not in mapped:
            yield Finding("error", "ICE21", "Component", c["Component"],
                          "it belongs to no feature, so it is never installed. Add it to a feature "
                          "(FeatureComponents).")


STANDARD_ACTIONS = set("""
ADMIN ADVERTISE AllocateRegistrySpace AppSearch BindImage CCPSearch CostFinalize CostInitialize
CreateFolders CreateShortcuts DeleteServices DisableRollback DuplicateFiles ExecuteAction FileCost
FindRelatedProducts ForceReboot INSTALL InstallAdminPackage InstallExecute InstallExecuteAgain
InstallFiles InstallFinalize InstallInitialize InstallODBC InstallServices InstallSFPCatalogFile
InstallValidate IsolateComponents LaunchConditions MigrateFeatureStates MoveFiles MsiConfigureServices
MsiPublishAssemblies MsiUnpublishAssemblies PatchFiles ProcessComponents PublishComponents
PublishFeatures PublishProduct RegisterClassInfo RegisterComPlus RegisterExtensionInfo RegisterFonts
RegisterMIMEInfo RegisterProduct RegisterProgIdInfo RegisterTypeLibraries RegisterUser
RemoveDuplicateFiles RemoveEnvironmentStrings RemoveExistingProducts RemoveFiles RemoveFolders
RemoveIniValues RemoveODBC RemoveRegistryValues RemoveShortcuts ResolveSource RMCCPSearch
ScheduleReboot SelfRegModules SelfUnregModules SEQUENCE SetODBCFolders StartServices StopServices
UnpublishComponents UnpublishFeatures UnpublishProduct UnregisterClassInfo UnregisterComPlus
UnregisterExtensionInfo UnregisterFonts UnregisterMIMEInfo UnregisterProgIdInfo
UnregisterTypeLibraries ValidateProductID WriteEnvironmentStrings WriteIniValues WriteRegistryValues
""".split())
# The sections of a sequence: the actions that belong to each, between which two actions.
SECTIONS = [
    ({"AppSearch", "CCPSearch", "RMCCPSearch"}, None, "CostInitialize", "Search"),
    ({"FileCost"}, "CostInitialize", "CostFinalize", "Costing"),
    ({"SetODBCFolders"}, "CostFinalize", "InstallValidate", "Selection"),
    (set("""AllocateRegistrySpace BindImage CreateFolders CreateShortcuts DeleteServices DuplicateFiles
     InstallFiles InstallODBC InstallServices InstallSFPCatalogFile MoveFiles MsiConfigureServices
     MsiPublishAssemblies MsiUnpublishAssemblies PatchFiles ProcessComponents PublishComponents PublishFeatures
     PublishProduct RegisterClassInfo RegisterComPlus RegisterExtensionInfo RegisterFonts RegisterMIMEInfo
     RegisterProduct RegisterProgIdInfo RegisterTypeLibraries RegisterUser RemoveDuplicateFiles
     RemoveEnvironmentStrings RemoveFiles RemoveFolders RemoveIniValues RemoveODBC RemoveRegistryValues
     RemoveShortcuts SelfRegModules SelfUnregModules StartServices StopServices UnpublishComponents
     UnpublishFeatures UnregisterClassInfo UnregisterComPlus UnregisterExtensionInfo UnregisterFonts
     UnregisterMIMEInfo UnregisterProgIdInfo UnregisterTypeLibraries WriteEnvironmentStrings WriteIniValues
     WriteRegistryValues InstallExecute InstallExecuteAgain""".split()), "InstallValidate", "InstallFinalize",
     "Execution"),
]
# Actions that depend on others: each pair (first, then) must run in that order.
ORDER = [("CostInitialize", "FileCost"), ("FileCost", "CostFinalize"), ("CostInitialize", "CostFinalize"),
         ("CostFinalize", "InstallValidate"), ("InstallValidate", "InstallInitialize"),
         ("InstallInitialize", "InstallFinalize"), ("RemoveFiles", "InstallFiles"), ("InstallFiles", "DuplicateFiles"),
         ("RemoveRegistryValues", "WriteRegistryValues"), ("InstallFiles", "SelfRegModules"),
         ("SelfUnregModules", "RemoveFiles"), ("StopServices", "DeleteServices"),
         ("InstallServices", "StartServices"), ("InstallFiles", "RegisterTypeLibraries")]


def ice27(package):
    dialogs = {d["Dialog"] for d in package.rows("Dialog")}
    for table in SEQUENCES:
        sequence = package.sequence(table)
        for name in (r["Action"] for r in package.rows(table)):
            if name not in STANDARD_ACTIONS and name not in package.actions and name not in dialogs:
                yield Finding("error", "ICE27", table, name,
                              "unknown action: neither a standard action nor one of the CustomAction or Dialog "
                              "tables. Add its custom action, or take it out of the sequence.")
        for members, start, end, section in SECTIONS:
            inside = sorted((sequence[a], a) for a in members if a in sequence)
            if section == "Execution" and inside and "InstallFinalize" not in sequence:
                yield Finding("error", "ICE27", table, "InstallFinalize",
                              f"{table} runs actions of the Execution section ({inside[0][1]} first) and has no "
                              f"InstallFinalize to end it. Add InstallFinalize after them.")
            elif section == "Execution" and not inside and "InstallFinalize" in sequence:
                yield Finding("error", "ICE27", table, "InstallFinalize",
                              f"InstallFinalize ends the installation script, and {table} writes nothing into one. "
                              f"Take InstallFinalize out of {table}.")
            for number, name in inside:
                if (start in sequence and number < sequence[start]) or (end in sequence and number > sequence[end]):
                    yield Finding("error", "ICE27", table, name,
                                  f"it belongs to the {section} section, between {start or 'the start'} and {end}, "
                                  f"and runs at {number}. Move it there.")
        for first, then in ORDER:
            if first in sequence and then in sequence and sequence[then] <= sequence[first]:
                yield Finding("error", "ICE27", table, then,
                              f"it runs at {sequence[then]}, and it must come after {first} ({sequence[first]}). "
                              f"Move it after {first}.")


def version_fields(text):
    """A product version as numbers, or None when it is not one (major.minor.build, up to
    255.255.65535; a fourth field is allowed and ignored)."""
    parts = (text or "").split(".")
    if not 1 <= len(parts) <= 4 or not all(p.isdigit() for p in parts):
        return None
    numbers = [int(p) for p in parts[:3]] + [0] * (3 - min(len(parts), 3))
    return None if numbers[0] > 255 or numbers[1] > 255 or numbers[2] > 65535 else numbers


def ice61(package):
    product = version_fields(package.properties.get("ProductVersion"))
    secure = set((package.properties.get("SecureCustomProperties") or "").split(";"))
    seen = set()
    for row in package.rows("Upgrade"):
        prop = row["ActionProperty"]
        low, high = version_fields(row["VersionMin"]), version_fields(row["VersionMax"])

        def error(text):
            return Finding("error", "ICE61", "Upgrade", prop, text)
        if prop in package.properties:
            yield error(f"its ActionProperty {prop} is authored in the Property table; FindRelatedProducts sets it. "
                        f"Take it out of the Property table.")
        if prop != prop.upper():
            yield error(f"its ActionProperty {prop} has lower-case letters, so it is no public property and its "
                        f"value does not reach the installation's server side. Write it in capitals.")
        if prop not in secure:
            yield error(f"its ActionProperty {prop} is not in SecureCustomProperties, so its value does not reach "
                        f"the installation's server side. Add it to SecureCustomProperties.")
        if prop in seen:
            yield error(f"its ActionProperty {prop} is used by another row of the Upgrade table too. Give each "
                        f"row a property of its own.")
        seen.add(prop)
        for column, value in (("VersionMin", low), ("VersionMax", high)):
            if row[column] and value is None:
                yield error(f"its {column} {row[column]} is no product version (major.minor.build). Correct it.")
        if low and high and high < low:
            yield error(f"its VersionMax {row['VersionMax']} is less than its VersionMin {row['VersionMin']}. "
                        f"Correct the range.")
        if row["Attributes"] & 2 or product is None or \
                (row["UpgradeCode"] or "").upper() != (package.properties.get("UpgradeCode") or "").upper():
            continue
        if not row["VersionMax"]:
            yield Finding("warning", "ICE61", "Upgrade", prop,
                          "it removes every version from VersionMin up, newer ones too: this product should "
                          "remove only older versions of itself. Set VersionMax to this version, not inclusive.")
        elif high and (high > product or (high == product and row["Attributes"] & 0x200)):
            yield Finding("warning", "ICE61", "Upgrade", prop,
                          f"this product should remove only older versions of itself, and the row's maximum "
                          f"({row['VersionMax']}) is not less than its own version "
                          f"({package.properties['ProductVersion']}). Lower VersionMax, or drop the inclusive "
                          f"bit (512), or make the row detect only (2).")


def ice63(package):
    sequence = package.sequence("InstallExecuteSequence")
    if "RemoveExistingProducts" not in sequence:
        return
    rep, where = sequence["RemoveExistingProducts"], ("InstallExecuteSequence", "RemoveExistingProducts")
    validate, initialize = sequence.get("InstallValidate"), sequence.get("InstallInitialize")
    finalize = sequence.get("InstallFinalize")
    if validate is not None and rep < validate:
        yield Finding("error", "ICE63", *where,
                      f"it runs at {rep}, before InstallValidate ({validate}). Sequence it between InstallValidate "
                      f"and InstallInitialize, right after InstallInitialize, or after InstallFinalize.")
        return
    if initialize is None or rep < initialize or (finalize is not None and rep > finalize):
        return
    anchor = max(((n, a) for a, n in sequence.items()
                  if a in ("InstallInitialize", "InstallExecute", "InstallExecuteAgain") and n <= rep), default=None)
    if anchor is None:
        return
    between = [a for a, n in sorted(sequence.items(), key=lambda i: i[1]) if anchor[0] < n < rep]
    if between:
        yield Finding("warning", "ICE63", *where,
                      f"{', '.join(between)} run between {anchor[1]} and RemoveExistingProducts; if they write to "
                      f"the installation script, the upgrade breaks. Sequence RemoveExistingProducts right after "
                      f"{anchor[1]}.")


def ice68(package):
    for name, action in package.actions.items():
        t, base = action["Type"], base_type(action)
        if base not in BASE_TYPES or (t & IN_SCRIPT and t & 0x300 == 0x300) or t >= 0x10000:
            yield Finding("error", "ICE68", "CustomAction", name,
                          f"{t} is not a valid custom action type: the installation fails when it runs the "
                          f"action. Choose a valid type.")
        elif t & NO_IMPERSONATE and not t & IN_SCRIPT:
            yield Finding("warning", "ICE68", "CustomAction", name,
                          f"it has the no-impersonation bit (2048) without the in-script bit (1024), so it is not "
                          f"deferred and does not run with elevated rights. {elevation_advice(package, name, t)}")


def elevation_advice(package, name, t):
    """Deferred only where the action runs inside the installation script (anywhere else that
    would make it an ICE77 error), and does work that a deferred action can do."""
    if base_type(package.actions[name]) in (19, 35, 51):
        return (f"It sets a property or a folder, or ends the installation, in the installation's session, which a "
                f"deferred action does not reach: drop the bit, type {t & ~NO_IMPERSONATE}.")
    places = [(table, package.sequence(table)) for table in SEQUENCES if name in package.sequence(table)]
    inside = [table for table, sequence in places if table in ("InstallExecuteSequence", "AdminExecuteSequence")
              and sequence.get("InstallInitialize", 1 << 30) < sequence[name] < sequence.get("InstallFinalize", -1)]
    if places and len(inside) == len(places):
        return f"Make it deferred: type {t | IN_SCRIPT}."
    outside = ", ".join(table for table, _ in places if table not in inside)
    return (f"It runs outside the installation script ({outside}), where it cannot be deferred: drop the bit, "
            f"type {t & ~NO_IMPERSONATE}." if outside else
            f"Drop the bit (type {t & ~NO_IMPERSONATE}), or make it deferred (type {t | IN_SCRIPT}) and sequence it "
            f"between InstallInitialize and InstallFinalize.")


def ice72(package):
    for row in package.rows("AdvtExecuteSequence"):
        action = package.actions.get(row["Action"])
        if action and base_type(action) not in (19, 35, 51):
            yield Finding("error", "ICE72", "AdvtExecuteSequence", row["Action"],
                          "only built-in custom actions (types 19, 35 and 51) may run when a product is "
                          "advertised. Take the action out of AdvtExecuteSequence.")


def ice75(package):
    for table in ("InstallUISequence", "InstallExecuteSequence", "AdminUISequence", "AdminExecuteSequence"):
        sequence = package.sequence(table)
        for name, number in sequence.items():
            action = package.actions.get(name)
            if not action or base_type(action) not in FROM_FILE:
                continue
            cost = sequence.get("CostFinalize")
            if cost is None or number < cost:
                yield Finding("error", "ICE75", table, name,
                              f"its source is an installed file, whose path is known only after CostFinalize"
                              f"{'' if cost else f', which {table} lacks'}. Sequence it after CostFinalize.")


def ice77(package):
    for table in ("InstallExecuteSequence", "AdminExecuteSequence"):
        sequence = package.sequence(table)
        first, last = sequence.get("InstallInitialize"), sequence.get("InstallFinalize")
        for name, number in sequence.items():
            action = package.actions.get(name)
            if not action or not action["Type"] & IN_SCRIPT:
                continue
            missing = [a for a, n in (("InstallInitialize", first), ("InstallFinalize", last)) if n is None]
            if missing or not first < number < last:
                lacking = f"; {table} has no {' and no '.join(missing)}" if missing else ""
                yield Finding("error", "ICE77", table, name,
                              f"an in-script action at {number} must run between InstallInitialize and "
                              f"InstallFinalize{lacking}. Sequence it between them.")


DIRECTORIES_64 = {"ProgramFiles64Folder", "System64Folder", "CommonFiles64Folder"}
DIRECTORIES_32 = {"ProgramFilesFolder", "SystemFolder", "CommonFilesFolder"}
SCHEMAS_64 = {"Intel64": 150, "x64": 200, "Arm64": 500, "AMD64": 200}


def ice80(package):
    platform, _, languages = package.summary.get(7, "").partition(";")
    if not platform:
        yield Finding("error", "ICE80", "_SummaryInformation", "Template",
                      "the summary's Template is empty. Set it to the platform and languages, e.g. x64;1033.")
        return
    bits = "64" if package.is_64bit() else "32"
    schema = int(package.summary.get(14) or 0)
    if platform in SCHEMAS_64 and schema < SCHEMAS_64[platform]:
        yield Finding("error", "ICE80", "_SummaryInformation", "PageCount",
                      f"the package is marked {platform}, and its schema (PageCount) is {schema}, below "
                      f"{SCHEMAS_64[platform]}. Raise the installer version it asks for.")
    language = package.properties.get("ProductLanguage")
    if language and language not in languages.split(","):
        yield Finding("error", "ICE80", "Property", "ProductLanguage",
                      f"ProductLanguage {language} is not among the Template's languages ({languages}). "
                      f"Add it there.")
    parents = {d["Directory"]: d["Directory_Parent"] for d in package.rows("Directory")}

    def root(folder):
        seen = set()
        while folder and folder not in DIRECTORIES_64 | DIRECTORIES_32 and folder not in seen:
            seen.add(folder)
            folder = parents.get(folder)
        return folder
    if bits == "32":
        for folder in sorted(DIRECTORIES_64 & set(parents)):
            yield Finding("error", "ICE80", "Directory", folder,
                          f"this 32-bit package ({platform}) uses the 64-bit folder {folder}. Use the 32-bit "
                          f"folder, or build a 64-bit package.")
        for row in package.rows("RegLocator"):
            if (row["Type"] or 0) & 0x10:
                yield Finding("error", "ICE80", "RegLocator", row["Signature_"],
                              f"this 32-bit package ({platform}) searches the 64-bit registry. Drop the 64-bit "
                              f"bit (16), or build a 64-bit package.")
    for c in package.rows("Component"):
        wide = bool(c["Attributes"] & 0x100)
        if wide and bits == "32":
            yield Finding("error", "ICE80", "Component", c["Component"],
                          f"it is a 64-bit component in a package whose Template ({platform}) is not 64-bit. Mark "
                          f"the package x64 or Arm64, or make the component 32-bit.")
        top = root(c["Directory_"])
        if wide and top in DIRECTORIES_32 or not wide and top in DIRECTORIES_64:
            yield Finding("error", "ICE80", "Component", c["Component"],
                          f"this {'64' if wide else '32'}-bit component installs under {top}, a folder of the other "
                          f"bitness. Use the folder of its own bitness.")
    for name, action in package.actions.items():
        if action["Type"] & SCRIPT_64 and base_type(action) in SCRIPTS and bits == "32":
            yield Finding("error", "ICE80", "CustomAction", name,
                          f"it is a 64-bit script action in a package whose Template ({platform}) is not 64-bit. "
                          f"Mark the package x64 or Arm64, or drop the 64-bit script bit (4096).")


def ice92(package):
    for c in package.rows("Component"):
        permanent = c["Attributes"] & 0x10
        if permanent and not c["ComponentId"]:
            yield Finding("error", "ICE92", "Component", c["Component"],
                          "it has no ComponentId and is marked permanent: the installer cannot register it, and "
                          "nothing could ever remove it. Give it a GUID, or drop the permanent bit.")
        elif permanent and c["Attributes"] & 0x400:
            yield Finding("warning", "ICE92", "Component", c["Component"],
                          "it is permanent and uninstall-on-supersedence; the latter is ignored. Drop one of them.")


ICE_RULES = [ice08, ice09, ice12, ice21, ice27, ice61, ice63, ice68, ice72, ice75, ice77, ice80, ice92]
