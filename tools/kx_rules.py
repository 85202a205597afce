"""Where a script custom action that calls Kestrix really runs: with whose rights, in which
script host, taken back by what (rules KX01 to KX08). Which members change the machine, which
take a change back and which show boxes comes from the class catalogue."""
import sys
from pathlib import Path

from msi_tables import (INSTALLING, NO_IMPERSONATE, SCRIPT_64, SCRIPTS, Condition, Finding, base_type, excludes_upgrade,
                        removes)
from script_actions import ScriptAction

# The release's checker, one file, carries the catalogue's facts here; in the source tree they
# are read from the class catalogue.
EMBEDDED = None


def catalogue_facts(classes):
    """{class: {member: {"changes", "undone_by", "boxes"}}} of the catalogue's classes."""
    return {c["name"]: {m["name"]: {"changes": m["changes"], "undone_by": m["undone_by"], "boxes": m["boxes"]}
                        for m in c["members"]} for c in classes}


def kestrix_classes():
    """The catalogue's facts with class and member names in lower case (COM finds both without
    regard to case): {class: (name, {member: (name, facts)})}."""
    facts = EMBEDDED
    if facts is None:
        frame = Path(__file__).resolve().parents[1] / "src" / "frame"
        sys.path.insert(0, str(frame))
        import catalogue
        facts = catalogue_facts(catalogue.parse((frame / "catalogue.txt").read_text())[2])
    return {c.lower(): (c, {m.lower(): (m, f) for m, f in members.items()}) for c, members in facts.items()}


# The properties an action in the installation script reads; every other one reads "".
READABLE = {"deferred": ["CustomActionData", "ProductCode", "UserSID"],
            "rollback": ["CustomActionData", "ProductCode", "UserSID"], "commit": ["CustomActionData", "UserSID"]}


def without_rollback(condition):
    """Whether a condition holds only where rollback is disabled."""
    return Condition(condition).holds({"RollbackDisabled": ""}) is False


def quiet_by_registry(package, action, sequence):
    """Whether the package writes Quiet into HKLM\\SOFTWARE\\Kestrix, in the registry view of the
    action's script host, where it is there when the action runs: written by WriteRegistryValues
    before an installing action, still there before RemoveRegistryValues for a removing one."""
    components = {c["Component"]: c["Attributes"] for c in package.rows("Component")}
    wide = bool(action.type & SCRIPT_64) and package.is_64bit()
    rows = [r for r in package.rows("Registry") if r["Root"] in (2, -1) and (r["Name"] or "").lower() == "quiet"
            and r["Key"].lower().rstrip("\\") == "software\\kestrix" and (r["Value"] or "").lstrip("#") not in ("", "0")
            and bool(components.get(r["Component_"], 0) & 0x100) == wide]
    number = sequence.get(action.name)
    if not rows or number is None:
        return False
    condition = package.conditions.get(action.name, "")
    on_removal = removes(condition)
    on_installation = not on_removal or Condition(condition).holds(INSTALLING) is not False
    return (not on_removal or number < sequence.get("RemoveRegistryValues", 0)) and \
        (not on_installation or number > sequence.get("WriteRegistryValues", 1 << 30))


def kx_rules(package):
    classes = kestrix_classes()
    sequence = package.sequence("InstallExecuteSequence")
    per_machine = package.properties.get("ALLUSERS") in ("1", "2") and package.properties.get("MSIINSTALLPERUSER") != "1"
    actions = [ScriptAction(package, row, classes) for row in package.rows("CustomAction")
               if base_type(row) in SCRIPTS]
    rollbacks = [a for a in actions if a.kind == "rollback"]
    for a in actions:
        where = ("CustomAction", a.name)
        changes, boxes = a.members("changes"), a.members("boxes")
        deferred = a.kind in ("deferred", "rollback", "commit")
        if deferred and changes and per_machine and not a.type & NO_IMPERSONATE:
            yield Finding("error", "KX01", *where,
                          f"this {a.kind} action changes the machine ({', '.join(changes)}) and runs impersonated "
                          f"(type {a.type}): on Windows it has the installing user's filtered rights, "
                          f"and the change fails under UAC. Add the no-impersonation bit: type "
                          f"{a.type | NO_IMPERSONATE}.")
        if a.calls and package.is_64bit() and not a.type & SCRIPT_64:
            yield Finding("error", "KX02", *where,
                          f"this script action calls Kestrix in a 64-bit package and runs in the 32-bit script "
                          f"host (type {a.type}), which does not see the 64-bit Kestrix of Kestrix-x64.msi: "
                          f"CreateObject fails. Add the 64-bit script bit: type {a.type | SCRIPT_64}.")
        for unknown in a.unknown:
            yield Finding("error", "KX03", *where,
                          f"it calls {unknown}: CreateObject or the call fails. Use a name from Kestrix's "
                          f"reference.")
        if a.kind == "immediate" and changes:
            yield Finding("error", "KX04", *where,
                          f"this immediate action changes the machine ({', '.join(changes)}), and nothing takes "
                          f"an immediate action's change back when the installation fails. Decide here, hand "
                          f"the values on as CustomActionData, and change the machine in a deferred action after a "
                          f"rollback action.")
        # Where rollback is disabled, nothing rolls back: an action that runs only then needs none.
        if a.kind == "deferred" and a.name in sequence and not without_rollback(package.conditions.get(a.name, "")):
            earlier = {m for r in rollbacks if sequence.get(r.name, 1 << 30) < sequence[a.name]
                       for m in r.members("changes")}
            bare = [(m[0], m[1]["undone_by"]) for _, m in a.calls if m and m[1]["undone_by"]
                    and not earlier & set(m[1]["undone_by"])]
            for member, undo in dict(bare).items():
                yield Finding("warning", "KX05", *where,
                              f"this deferred action calls {member}, and no rollback action sequenced before it "
                              f"takes that change back: when the installation fails after it, the change stays. "
                              f"Sequence a rollback action before it that calls {' or '.join(undo)}.")
        if deferred:
            readable = READABLE.get(a.kind, [])
            for name in dict.fromkeys(n for n in a.reads if n not in readable):
                yield Finding("error", "KX06", *where,
                              f'this {a.kind} action reads Session.Property("{name}"): on Windows a {a.kind} action '
                              f'reads "" for every property but {", ".join(readable[:-1])} and {readable[-1]}. Set '
                              f'the property {a.name} to what it needs in an immediate action and read it as '
                              f'CustomActionData.')
        if deferred and boxes and not (a.quiet or quiet_by_registry(package, a, sequence)):
            yield Finding("warning", "KX07", *where,
                          f"this {a.kind} action calls {', '.join(boxes)}, which can show a message box; nobody "
                          f"can click it in the installer's service session: the installation waits for ever. "
                          f"Switch Kestrix's boxes off: set KESTRIX_QUIET=1 in the action's process environment, "
                          f"or write the DWORD Quiet=1 under HKLM\\SOFTWARE\\Kestrix from a component of the "
                          f"action's bitness ({'64' if a.type & SCRIPT_64 and package.is_64bit() else '32'}-bit), "
                          f"sequenced so that the value is there when the action runs (after WriteRegistryValues "
                          f"on installation, before RemoveRegistryValues on removal).")
    if package.rows("Upgrade"):
        # A major upgrade removes the old version through its execute sequence alone.
        for row in package.rows("InstallExecuteSequence"):
            condition = row["Condition"] or ""
            if row["Action"] in package.actions and removes(condition) and not excludes_upgrade(condition):
                yield Finding("warning", "KX08", "InstallExecuteSequence", row["Action"],
                              f"its condition ({condition}) also holds when a major upgrade removes the old "
                              f"version, so it also runs then. Make it ({condition}) AND NOT UPGRADINGPRODUCTCODE.")
