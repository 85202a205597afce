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


class Condition:
    """A condition in Windows Installer's syntax, parsed, and evaluated over what is known of the
    properties in three values: True, False, or None where the outcome rests on a property whose
    value is not known. Operators are found without regard to case, property names with it; a
    condition that does not parse is None whatever is known."""

    TOKEN = re.compile(r'\s*(?:(?P<string>"[^"]*")|(?P<number>-?\d+)(?![\w.])|(?P<name>[%$?&!]?[A-Za-z_][\w.]*)'
                       r'|(?P<op>~?(?:>=|<=|<>|><|<<|>>|=|<|>))|(?P<paren>[()]))')
    LOGICAL = ["IMP", "EQV", "XOR", "OR", "AND"]  # from the loosest to the tightest
    UNKNOWN = object()

    def __init__(self, text):
        self.tokens, self.names = [], set()
        text, i = text or "", 0
        while text[i:].strip():
            m = self.TOKEN.match(text, i)
            if not m:
                self.tokens = None
                break
            kind = m.lastgroup
            value = m[kind]
            if kind == "name" and value.upper() in self.LOGICAL + ["NOT"]:
                kind, value = "op", value.upper()
            elif kind == "name" and (value[0].isalpha() or value[0] == "_"):
                self.names.add(value)
            self.tokens.append((kind, value))
            i = m.end()
        try:
            self.tree = None if self.tokens is None else self.parse() if self.tokens else ("value", ("number", "1"))
        except (IndexError, ValueError, RecursionError):
            self.tree = None

    def parse(self):
        self.at = 0
        tree = self.logical(0)
        if self.at != len(self.tokens):
            raise ValueError("text after the condition")
        return tree

    def peek(self):
        return self.tokens[self.at] if self.at < len(self.tokens) else (None, None)

    def take(self, kind=None):
        token = self.tokens[self.at]
        if kind and token[0] != kind:
            raise ValueError(f"{kind} expected")
        self.at += 1
        return token

    def logical(self, level):
        if level == len(self.LOGICAL):
            return self.negation()
        tree = self.logical(level + 1)
        while self.peek() == ("op", self.LOGICAL[level]):
            self.take()
            tree = (self.LOGICAL[level], tree, self.logical(level + 1))
        return tree

    def negation(self):
        if self.peek() == ("op", "NOT"):
            self.take()
            return ("NOT", self.negation())
        if self.peek() == ("paren", "("):
            self.take()
            tree = self.logical(0)
            if self.take("paren")[1] != ")":
                raise ValueError(") expected")
            return tree
        left = self.take()
        if left[0] not in ("string", "number", "name"):
            raise ValueError("a value expected")
        kind, op = self.peek()
        if kind == "op" and op not in self.LOGICAL + ["NOT"]:
            self.take()
            right = self.take()
            if right[0] not in ("string", "number", "name"):
                raise ValueError("a value expected")
            return ("compare", op, left, right)
        return ("value", left)

    def value(self, token, known):
        kind, text = token
        if kind == "string":
            return text[1:-1]
        if kind == "number":
            return int(text)
        return known.get(text, self.UNKNOWN)  # %, $, ?, & and ! never are

    @staticmethod
    def compare(op, left, right):
        """Against a number, a value that is an integer compares as one, any other is only
        unequal to it; texts compare as texts, with ~ without regard to case."""
        op, fold = op.lstrip("~"), op.startswith("~")
        if isinstance(left, int) or isinstance(right, int):
            numbers = [v if isinstance(v, int) else int(v) if re.fullmatch(r"-?\d+", v) else None
                       for v in (left, right)]
            if None in numbers:
                return op == "<>"
            left, right = numbers
        elif fold:
            left, right = left.upper(), right.upper()
        return {"=": left == right, "<>": left != right, ">": left > right, "<": left < right, ">=": left >= right,
                "<=": left <= right, "><": str(right) in str(left), "<<": str(left).startswith(str(right)),
                ">>": str(left).endswith(str(right))}[op]

    def holds(self, known):
        """The condition's value when the properties have the values known ({name: value}, ""
        for a property that is not set); None when it rests on another property."""
        return None if self.tree is None else self.evaluate(self.tree, known)

    def evaluate(self, tree, known):
        if tree[0] == "value":
            value = self.value(tree[1], known)
            return None if value is self.UNKNOWN else value != 0 if isinstance(value, int) else value != ""
        if tree[0] == "compare":
            left, right = self.value(tree[2], known), self.value(tree[3], known)
            return None if self.UNKNOWN in (left, right) else self.compare(tree[1], left, right)
        if tree[0] == "NOT":
            value = self.evaluate(tree[1], known)
            return None if value is None else not value
        a, b = self.evaluate(tree[1], known), self.evaluate(tree[2], known)
        if tree[0] == "AND":
            return False if False in (a, b) else None if None in (a, b) else True
        if tree[0] == "OR":
            return True if True in (a, b) else None if None in (a, b) else False
        if tree[0] == "IMP":
            return True if a is False or b is True else None if None in (a, b) else False
        return None if None in (a, b) else (a != b) == (tree[0] == "XOR")


# What the properties hold in the execute sequence of an installation, of a removal, and of the
# removal of the old version that a major upgrade runs.
INSTALLING = {"REMOVE": "", "Installed": "", "UPGRADINGPRODUCTCODE": ""}
REMOVING = {"REMOVE": "ALL", "Installed": "00:00:00", "UPGRADINGPRODUCTCODE": ""}
UPGRADING = dict(REMOVING, UPGRADINGPRODUCTCODE="{00000000-0000-0000-0000-000000000000}")


def removes(condition):
    """Whether a condition is one of removal: it names REMOVE, and may hold when it is ALL."""
    parsed = Condition(condition)
    return parsed.tree is not None and "REMOVE" in parsed.names and parsed.holds(REMOVING) is not False


def excludes_upgrade(condition):
    """Whether a condition is false when a major upgrade removes the old version."""
    return Condition(condition).holds(UPGRADING) is False
