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
TABLES = SEQUENCES + ("CustomAction", "Binary", "Property", "Component", "Directory", "FeatureComponents",
                      "Dialog", "Upgrade", "Registry", "RegLocator")


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


def table_rows(sql):
    """The rows of a table exported as SQL, each {column: value}; a column left out is None."""
    rows, columns = [], []
    for line in sql.split("\n"):
        if m := re.match(r"CREATE TABLE `\w+` \((.*) PRIMARY KEY", line):
            columns = re.findall(r"`(\w+)`", m[1])
        elif m := re.match(r"INSERT INTO `\w+` \((.*?)\) VALUES \((.*)\)$", line):
            rows.append(dict(dict.fromkeys(columns), **dict(zip(re.findall(r"`(\w+)`", m[1]), sql_values(m[2])))))
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
            return table_rows(msiinfo("export", "-s", self.path, table))
        except Unreadable:
            if len(msiinfo("export", self.path, table).splitlines()) > 3:
                raise
            return []

    def rows(self, table):
        return self.tables.get(table, [])

    def sequence(self, table):
        """{action: sequence number} of the actions a table runs (positive numbers only)."""
        return {r["Action"]: r["Sequence"] for r in self.rows(table) if (r["Sequence"] or 0) > 0}

    def binary(self, name):
        return msiinfo("extract", self.path, "Binary." + name)

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
