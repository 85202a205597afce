"""A Windows Installer package as the package checker reads it, with msitools (msiinfo): its
tables, its summary and its Binary streams; the custom action types; a finding."""
import re
import subprocess
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path


class Unreadable(Exception):
    pass


SEQUENCES = ("InstallExecuteSequence", "InstallUISequence", "AdminExecuteSequence", "AdminUISequence",
             "AdvtExecuteSequence")
# The columns the rules read, as Windows Installer's schema declares them: "i" an integer, "s" a
# string, in capitals where the column may be null. A package whose table says otherwise, or whose
# rows leave out what may not be left out, is damaged: the rules do not guess at it.
SEQUENCE_COLUMNS = {"Action": "s", "Condition": "S", "Sequence": "I"}
SCHEMA = dict(dict.fromkeys(SEQUENCES, SEQUENCE_COLUMNS), **{
    "CustomAction": {"Action": "s", "Type": "i", "Source": "S", "Target": "S"},
    "Binary": {"Name": "s"},
    "Property": {"Property": "s", "Value": "s"},
    "Component": {"Component": "s", "ComponentId": "S", "Directory_": "s", "Attributes": "i"},
    "Directory": {"Directory": "s", "Directory_Parent": "S"},
    "FeatureComponents": {"Feature_": "s", "Component_": "s"},
    "Dialog": {"Dialog": "s"},
    "Upgrade": {"UpgradeCode": "s", "VersionMin": "S", "VersionMax": "S", "Attributes": "i", "ActionProperty": "s"},
    "Registry": {"Registry": "s", "Root": "i", "Key": "s", "Name": "S", "Value": "S", "Component_": "s"},
    "RegLocator": {"Signature_": "s", "Type": "I"},
})
TABLES = tuple(SCHEMA)


def msiinfo(*args):
    try:
        done = subprocess.run(["msiinfo", *args], capture_output=True)
    except FileNotFoundError:
        raise Unreadable("msiinfo was not found; install msitools (Debian and Ubuntu: apt-get install msitools)")
    if done.returncode != 0:
        said = done.stderr.decode(errors="replace").strip().splitlines()
        raise Unreadable(f"msiinfo {args[0]} failed: {said[-1] if said else done.returncode}")
    return done.stdout.decode("utf-8", errors="replace")


def sql_values(text):
    """The values of an INSERT's VALUES list as msiinfo writes it: quoted strings with backslash
    escapes, and numbers."""
    values, i, escapes = [], 0, {"n": "\n", "r": "\r", "t": "\t"}
    while i < len(text):
        c = text[i]
        if c in " ,":
            i += 1
        elif c == "'":
            value, i = [], i + 1
            while text[i] != "'":
                if text[i] == "\\":
                    i += 1
                    value.append(escapes.get(text[i], text[i]))
                else:
                    value.append(text[i])
                i += 1
            values.append("".join(value))
            i += 1
        else:
            end = text.find(",", i)
            end = len(text) if end < 0 else end
            values.append(int(text[i:end]))
            i = end
    return values


def table_rows(table, sql):
    """The rows of a table exported as SQL, each {column: value}, a column left out None; checked
    against the schema of the columns the rules read. Raises Unreadable naming the row."""
    rows, columns, schema = [], [], SCHEMA.get(table, {})
    for line in sql.split("\n"):
        if m := re.match(r"CREATE TABLE `\w+` \((.*) PRIMARY KEY", line):
            columns = re.findall(r"`(\w+)`", m[1])
            if lacking := [c for c in schema if c not in columns]:
                raise Unreadable(f"the table {table} has no column {', '.join(lacking)}")
        elif m := re.match(r"INSERT INTO `\w+` \((.*?)\) VALUES \((.*)\)$", line):
            names = re.findall(r"`(\w+)`", m[1])
            try:
                values = sql_values(m[2])
            except (IndexError, ValueError):
                values = None
            row = dict(dict.fromkeys(columns), **dict(zip(names, values or [])))
            key = row.get(next(iter(schema), None)) if values else None
            where = f"{table}.{key if key is not None else '(row ' + str(len(rows) + 1) + ')'}"
            if values is None or len(values) != len(names):
                raise Unreadable(f"{where}: the row's values cannot be read")
            for column, kind in schema.items():
                if row[column] is None and kind.islower():
                    raise Unreadable(f"{where}: its {column} is null, which the table's schema forbids")
                if row[column] is not None and isinstance(row[column], int) != (kind in "iI"):
                    raise Unreadable(f"{where}: its {column} is {row[column]!r}, and the schema asks for "
                                     f"{'a number' if kind in 'iI' else 'a text'}")
            rows.append(row)
    return rows


class Package:
    """The tables of one package that the rules read, its summary and its Binary streams."""

    def __init__(self, path):
        self.path = str(path)
        if not Path(self.path).is_file():
            raise Unreadable("no such file")
        present = set(msiinfo("tables", self.path).split())
        wanted = [t for t in TABLES if t in present]
        with ThreadPoolExecutor(8) as pool:
            self.tables = dict(zip(wanted, pool.map(self.export, wanted)))
        self.summary, key = {}, None
        for line in msiinfo("export", self.path, "_SummaryInformation").split("\r\n")[3:]:
            number, tab, value = line.partition("\t")
            if tab and number.isdigit():
                key = int(number)
                self.summary[key] = value
            elif key is not None:  # a value that goes on over several lines
                self.summary[key] += "\n" + line
        self.properties = {r["Property"]: r["Value"] for r in self.rows("Property")}
        self.actions = {r["Action"]: r for r in self.rows("CustomAction")}
        self.conditions = {r["Action"]: r["Condition"] or "" for r in self.rows("InstallExecuteSequence")}

    def export(self, table):
        """A table's rows. msiinfo writes them as SQL, where a value's tabs and line ends are
        unambiguous, but refuses to write an empty table so."""
        try:
            sql = msiinfo("export", "-s", self.path, table)
        except Unreadable as problem:
            try:
                empty = len(msiinfo("export", self.path, table).splitlines()) <= 3
            except Unreadable:
                empty = False
            if not empty:
                raise Unreadable(f"the table {table}: {problem}")
            return []
        return table_rows(table, sql)

    def rows(self, table):
        return self.tables.get(table, [])

    def sequence(self, table):
        """{action: sequence number} of the actions a table runs (positive numbers only)."""
        return {r["Action"]: r["Sequence"] for r in self.rows(table) if (r["Sequence"] or 0) > 0}

    def binary(self, name):
        """The text of a Binary row's stream, None when there is no such row."""
        if name not in {r["Name"] for r in self.rows("Binary")}:
            return None
        try:
            return msiinfo("extract", self.path, "Binary." + name)
        except Unreadable:
            raise Unreadable(f"Binary.{name}: its stream cannot be read")

    def platform(self):
        return self.summary.get(7, "").partition(";")[0]

    def is_64bit(self):
        return self.platform() in ("x64", "Intel64", "Arm64", "AMD64")


class Finding:
    def __init__(self, severity, rule, table, row, message):
        self.severity, self.rule, self.table, self.row, self.message = severity, rule, table, row, message

    def line(self):
        return f"{self.severity} {self.rule} {self.table}.{self.row}: {self.message}"

    def as_dict(self):
        return {"severity": self.severity, "rule": self.rule, "table": self.table, "row": self.row,
                "message": self.message}


# The custom action types.
IN_SCRIPT, NO_IMPERSONATE, SCRIPT_64 = 0x400, 0x800, 0x1000
BASE_TYPES = {1, 2, 5, 6, 7, 17, 18, 19, 21, 22, 23, 34, 35, 37, 38, 39, 50, 51, 53, 54}
SCRIPTS = {5: "js", 6: "vb", 21: "js", 22: "vb", 37: "js", 38: "vb", 53: "js", 54: "vb"}
FROM_FILE = {17, 18, 21, 22}


def base_type(action):
    return action["Type"] & 0x3F


def kind(action):
    """immediate, deferred, rollback or commit."""
    if not action["Type"] & IN_SCRIPT:
        return "immediate"
    return {0: "deferred", 0x100: "rollback", 0x200: "commit"}.get(action["Type"] & 0x300, "invalid")
