"""Script custom actions (VBScript and JScript) read as text: the functions an action runs, the
Kestrix objects they make, the members they call and the properties they read. What cannot be
followed (a name built at run time, a script in an installed file) is left alone."""
import re

from msi_tables import SCRIPTS, base_type, kind


class Script:
    """A VBScript or JScript text as the rules read it: its functions, what each calls, and the
    Kestrix objects it makes and calls. Comments are blanked in `code`; `skeleton` also blanks
    the contents of strings, so that names inside strings are not taken for code. VBScript's
    line continuations are joined in both."""

    TOKENS = {"vb": re.compile(r'"(?:[^"\n]|"")*"?|\'[^\n]*|(?im:(?:^|:)[ \t]*rem\b[^\n]*)'),
              "js": re.compile(r'"(?:[^"\\\n]|\\.)*"?|\'(?:[^\'\\\n]|\\.)*\'?|//[^\n]*|/\*.*?\*/', re.S)}

    def __init__(self, text, language):
        self.language = language
        code, skeleton, last = [], [], 0
        for m in self.TOKENS[language].finditer(text):
            code.append(text[last:m.start()])
            skeleton.append(text[last:m.start()])
            token, blank = m[0], re.sub(r"[^\n]", " ", m[0])
            if token[0] in "\"'" and (language == "js" or token[0] == '"'):
                code.append(token)
                skeleton.append(token[0] + blank[1:-1] + token[-1] if len(token) > 1 else token)
            else:
                code.append(blank)
                skeleton.append(blank)
            last = m.end()
        code, skeleton = "".join(code) + text[last:], "".join(skeleton) + text[last:]
        if language == "vb":
            for m in reversed(list(re.finditer(r"[ \t]_[ \t]*\r?\n", skeleton))):
                joined = " " * (m.end() - m.start())
                code = code[:m.start()] + joined + code[m.end():]
                skeleton = skeleton[:m.start()] + joined + skeleton[m.end():]
        self.code, self.skeleton = code, skeleton
        self.functions = {}  # lower-case name: (name, [parameter], body start, body end, whole span)
        self.find_functions()

    def name(self, text):
        """A variable's name as the language compares it."""
        return text.lower() if self.language == "vb" else text

    def in_code(self, position):
        """Whether the text at the position is code, not a string's contents or a comment."""
        return self.skeleton[position] == self.code[position] != " "

    def find_functions(self):
        if self.language == "vb":
            header = re.compile(r"(?im)^[ \t]*(?:(?:public|private)[ \t]+)?(?:function|sub)[ \t]+(\w+)[ \t]*"
                                r"(?:\(([^)\n]*)\))?[^\n]*$")
            ending = re.compile(r"(?im)^[ \t]*end[ \t]+(?:function|sub)\b")
            for m in header.finditer(self.skeleton):
                end = ending.search(self.skeleton, m.end())
                params = [re.sub(r"(?i)\b(byval|byref|optional)\b|\(\)", "", p).strip()
                          for p in (m[2] or "").split(",") if p.strip()]
                last = end.end() if end else len(self.code)
                self.functions[m[1].lower()] = (m[1], params, m.end(), end.start() if end else last, (m.start(), last))
        else:
            for m in re.finditer(r"\bfunction\s+(\w+)\s*\(([^)]*)\)\s*\{", self.skeleton):
                depth, i = 1, m.end()
                while i < len(self.skeleton) and depth:
                    depth += {"{": 1, "}": -1}.get(self.skeleton[i], 0)
                    i += 1
                params = [p.strip() for p in m[2].split(",") if p.strip()]
                self.functions[m[1].lower()] = (m[1], params, m.end(), i - 1, (m.start(), i))

    def global_code(self):
        """The spans outside every function: they run whenever the script is loaded."""
        spans, last = [], 0
        for start, end in sorted(f[4] for f in self.functions.values()):
            spans.append((last, start))
            last = end
        return spans + [(last, len(self.code))]

    def reachable(self, entry):
        """The spans that run when the action calls `entry`: the global code, the function and
        every function it calls, as far as their names show."""
        spans, todo, done = self.global_code(), [entry.lower()] if entry else [], set()
        for start, end in list(spans):
            todo += [w.lower() for w in re.findall(r"\w+", self.skeleton[start:end]) if w.lower() in self.functions]
        while todo:
            name = todo.pop()
            if name in done or name not in self.functions:
                continue
            done.add(name)
            start, end = self.functions[name][2:4]
            spans.append((start, end))
            todo += [w.lower() for w in re.findall(r"\w+", self.skeleton[start:end]) if w.lower() in self.functions]
        return spans

    def creations(self):
        """Patterns that make a Kestrix object, the class name their group 'cls': a ProgID
        written out, or a helper function that prefixes "Kestrix." to its first argument."""
        if self.language == "vb":
            direct = r'\bCreateObject\s*\(\s*"Kestrix\.(?P<cls>\w+)"\s*\)'
            prefixing = r'CreateObject\s*\(\s*"Kestrix\."\s*&\s*(\w+)\s*\)'
        else:
            direct = r'\bnew\s+ActiveXObject\s*\(\s*(["\'])Kestrix\.(?P<cls>\w+)\1\s*\)'
            prefixing = r'new\s+ActiveXObject\s*\(\s*(["\'])Kestrix\.\1\s*\+\s*(\w+)\s*\)'
        patterns = [direct]
        for name, params, start, end, _ in self.functions.values():
            m = re.search(prefixing, self.code[start:end], re.I)
            if m and params and m.groups()[-1].lower() == params[0].lower():
                patterns.append(rf'\b{name}\s*\(\s*(["\'])(?P<cls>\w+)\1\s*\)')
        return [re.compile(p, re.I) for p in patterns]

    def kestrix_calls(self, spans):
        """[(class as written, member as written or None)] of the Kestrix objects made in the
        spans and the members called on them: directly, through a variable (the assignment in
        force, in the same procedure or else in the global code) or in a With block."""
        made = {}  # position: class of every Kestrix object made
        calls = []
        for pattern in self.creations():
            for start, end in spans:
                for m in pattern.finditer(self.code, start, end):
                    if self.in_code(m.start()):
                        made[m.start()] = m["cls"]
                        member = re.match(r"\s*\.\s*(\w+)", self.skeleton[m.end():end])
                        calls.append((m["cls"], member[1] if member else None))

        def made_at(position):
            """The class of the Kestrix object made by the expression at the position, or None."""
            position += len(self.code[position:]) - len(self.code[position:].lstrip())
            return made.get(position)
        assignment = r"(?i)\bSet\s+(\w+)\s*=" if self.language == "vb" else r"\b(\w+)\s*=(?!=)"
        assigned = {}  # span: [(position, variable, class or None)]
        for start, end in set(spans) | set(self.global_code()):
            assigned[(start, end)] = [(start + m.start(), self.name(m[1]), made_at(start + m.end()))
                                      for m in re.finditer(assignment, self.skeleton[start:end])]
        outside = [a for span in self.global_code() for a in assigned[span]]

        def bound(span, variable, position):
            local = [a for a in assigned[span] if a[1] == variable]
            if local:
                before = [a for a in local if a[0] < position]
                return before[-1][2] if before else None
            known = [a for a in outside if a[1] == variable]
            return known[-1][2] if known else None
        for start, end in spans:
            for m in re.finditer(r"\b(\w+)\s*\.\s*(\w+)", self.skeleton[start:end]):
                if cls := bound((start, end), self.name(m[1]), start + m.start()):
                    calls.append((cls, m[2]))
            if self.language == "vb":
                calls += self.with_calls(start, end, made_at, bound)
        return calls

    def with_calls(self, start, end, made_at, bound):
        """The members called with a leading dot inside VBScript's With blocks on a Kestrix object."""
        calls = []
        for m in re.finditer(r"(?im)^[ \t]*with[ \t]+", self.skeleton[start:end]):
            head = start + m.end()
            cls = made_at(head)
            if cls is None and (name := re.match(r"(\w+)[ \t]*$", self.skeleton[head:].split("\n", 1)[0])):
                cls = bound((start, end), self.name(name[1]), head)
            closing = re.search(r"(?im)^[ \t]*end[ \t]+with\b", self.skeleton[head:end])
            body = self.skeleton[head:head + closing.start() if closing else end]
            body = body.split("\n", 1)[1] if "\n" in body else ""
            if cls:
                calls += [(cls, member) for member in re.findall(r"(?<![\w)\]])\.[ \t]*(\w+)", body)]
        return calls

    def property_reads(self, spans):
        """Names read with Session.Property("NAME") in the spans; writes are left out."""
        names = []
        for start, end in spans:
            for m in re.finditer(r'\bSession\s*\.\s*Property\s*\(\s*(["\'])([^"\'\n]*)\1\s*\)', self.code[start:end],
                                 re.I):
                if not self.in_code(start + m.start()):
                    continue
                before = self.code[:start + m.start()].rsplit("\n", 1)[-1]
                assigned = re.match(r"\s*=(?!=)", self.code[start + m.end():end])
                statement = self.language == "js" or re.fullmatch(r"(?i).*(?:^|:|\bthen|\belse)\s*", before)
                if not (assigned and statement):
                    names.append(m[2])
        return names

    def mentions(self, spans, text):
        return any(text.lower() in self.code[s:e].lower() for s, e in spans)


class ScriptAction:
    """A script custom action and what its code does with Kestrix."""

    def __init__(self, package, row, classes):
        self.name, self.type, self.row = row["Action"], row["Type"], row
        self.kind, self.script = kind(row), None
        base = base_type(row)
        text, entry = None, row["Target"]
        if base in (5, 6) and row["Source"]:
            text = package.binary(row["Source"])
        elif base in (37, 38):
            text, entry = row["Target"], None
        elif base in (53, 54):
            text = package.properties.get(row["Source"])
        self.calls, self.unknown, self.reads, self.quiet = [], [], [], False
        if text is None:
            return
        self.script = Script(text, SCRIPTS[base])
        spans = self.script.reachable(entry)
        for cls, member in self.script.kestrix_calls(spans):
            known = classes.get(cls.lower())
            if not known:
                self.unknown.append(f"Kestrix.{cls}, which is no Kestrix class")
            elif member and member.lower() not in known[1]:
                self.unknown.append(f"{member} on Kestrix.{known[0]}, which has no such member "
                                    f"(it has {', '.join(m for m, _ in known[1].values())})")
            else:
                self.calls.append((known[0], known[1][member.lower()] if member else None))
        self.reads = self.script.property_reads(spans)
        self.quiet = self.script.mentions(spans, "KESTRIX_QUIET")

    def members(self, fact):
        """The names of the members it calls that have a fact (changes, boxes), in order, once."""
        return list(dict.fromkeys(m[0] for _, m in self.calls if m and m[1][fact]))
