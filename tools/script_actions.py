"""Script custom actions (VBScript and JScript) read as text: the functions an action runs, the
Kestrix objects they make, the members they call and the properties they read. What cannot be
followed (a name built at run time, a script in an installed file) is left alone."""
import bisect
import re

from msi_tables import SCRIPTS, base_type, kind


class Script:
    """A VBScript or JScript text as the rules read it: its functions, what each calls, and the
    Kestrix objects it makes and calls. Comments are blanked in `code`; `skeleton` also blanks
    the contents of strings, so that names inside strings are not taken for code. VBScript's
    line continuations are joined in both."""

    VB_TOKENS = re.compile(r'"(?:[^"\n]|"")*"?|\'[^\n]*|(?im:(?:^|:)[ \t]*rem\b[^\n]*)')
    # JScript's strings, comments and regular expressions, and the code between them, word by word;
    # a slash opens a regular expression where no value stands before it.
    JS_TOKENS = re.compile(r'(?P<string>"(?:[^"\\\n]|\\.)*"?|\'(?:[^\'\\\n]|\\.)*\'?)'
                           r'|(?P<comment>//[^\n]*|/\*.*?(?:\*/|\Z))'
                           r'|(?P<regex>/(?:[^/\\\[\n]|\\.|\[(?:[^\]\\\n]|\\.)*\])+/\w*)|(?P<word>\w+)|\S|\s+', re.S)
    BEFORE_VALUE = set("(,=:[!&|?{};+-*%<>~^") | {"return", "typeof", "case", "do", "else", "in", "new", "delete",
                                                  "void", "throw", "instanceof", None}

    def literals(self, text):
        """(start, end, whether a literal) of the strings, regular expressions and comments."""
        if self.language == "vb":
            for m in self.VB_TOKENS.finditer(text):
                yield m.start(), m.end(), m[0][0] == '"'
            return
        i, before = 0, None
        while i < len(text):
            m = self.JS_TOKENS.match(text, i)
            kind = m.lastgroup
            if kind == "regex" and before not in self.BEFORE_VALUE:
                m, kind = re.compile(r"/").match(text, i), None
            if kind in ("string", "comment", "regex"):
                yield m.start(), m.end(), kind != "comment"
            if kind != "comment" and not m[0].isspace():
                before = m[0] if kind == "word" else ")" if kind else m[0]
            i = m.end()

    def __init__(self, text, language):
        self.language = language
        code, skeleton, last = [], [], 0
        for start, end, literal in self.literals(text):
            code.append(text[last:start])
            skeleton.append(text[last:start])
            token, blank = text[start:end], re.sub(r"[^\n]", " ", text[start:end])
            if literal:
                code.append(token)
                skeleton.append(token[0] + blank[1:-1] + token[-1] if len(token) > 1 else token)
            else:
                code.append(blank)
                skeleton.append(blank)
            last = end
        code, skeleton = "".join(code) + text[last:], "".join(skeleton) + text[last:]
        if language == "vb":
            for m in reversed(list(re.finditer(r"[ \t]_[ \t]*\r?\n", skeleton))):
                joined = " " * (m.end() - m.start())
                code = code[:m.start()] + joined + code[m.end():]
                skeleton = skeleton[:m.start()] + joined + skeleton[m.end():]
        self.code, self.skeleton = code, skeleton
        self.functions = {}  # lower-case name: (name, [parameter], body start, body end, whole span)
        self.find_functions()
        self.bodies = sorted((f[2], f[3], f) for f in self.functions.values())

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

    def strings(self):
        return r'"(?:[^"\n]|"")*"' if self.language == "vb" else r'"(?:[^"\\\n]|\\.)*"|\'(?:[^\'\\\n]|\\.)*\''

    def literal(self, text):
        """The value of a string literal, or None when the text is none."""
        if not re.fullmatch(self.strings(), text):
            return None
        return text[1:-1].replace('""', '"') if self.language == "vb" else re.sub(r"\\(.)", r"\1", text[1:-1])

    def arguments(self, position):
        """The arguments of the call whose parenthesis opens at the position, as written, and the
        position after the closing one; None where it does not close."""
        depth, i, last, found = 0, position, position + 1, []
        while i < len(self.skeleton):
            c = self.skeleton[i]
            depth += (c in "([") - (c in ")]")
            if depth == 1 and c == "," or depth == 0:
                found.append(self.code[last:i].strip())
                last = i + 1
            if depth == 0:
                return [a for a in found if a] if found != [""] else [], i + 1
            i += 1
        return None

    def enclosing(self, position):
        """The function whose body holds the position, or None."""
        at = bisect.bisect_right(self.bodies, (position, float("inf"))) - 1
        return self.bodies[at][2] if at >= 0 and self.bodies[at][0] <= position < self.bodies[at][1] else None

    @staticmethod
    def kestrix_class(progid):
        """("class", NAME) for the ProgID of a Kestrix class, else None."""
        m = re.fullmatch(r"(?i:kestrix)\.(\w+)", progid)
        return ("class", m[1]) if m else None

    def progid(self, expression, function):
        """What a ProgID expression of literals joined with & or + names: ("class", NAME) for a
        Kestrix class, ("template", index, prefix, suffix) where it joins a parameter of the
        function it is in into what may yet be a Kestrix ProgID; None for anything else."""
        joins = r"[&+]" if self.language == "vb" else r"\+"
        term = rf"(?:{self.strings()}|\w+)"
        if not re.fullmatch(rf"{term}(?:\s*{joins}\s*{term})*", expression):
            return None
        parts, parameter = ["", ""], None
        params = [self.name(p) for p in function[1]] if function else []
        for m in re.finditer(term, expression):
            value = self.literal(m[0])
            if value is None and parameter is None and self.name(m[0]) in params:
                parameter = params.index(self.name(m[0]))
            elif value is None:
                return None
            else:
                parts[parameter is not None] += value
        if parameter is None:
            return self.kestrix_class(parts[0])
        prefix = parts[0].lower()
        possible = prefix.startswith("kestrix.") or "kestrix.".startswith(prefix)
        return ("template", parameter, *parts) if possible else None

    def maker(self, position, helpers):
        """What the expression at the position makes, as progid() says, and where it ends: a
        CreateObject or new ActiveXObject, or a call of a helper function that makes the object
        (helpers: {lower-case name: what it makes, a class or a template over its parameters})."""
        creator = r"(?i:CreateObject)\s*\(" if self.language == "vb" else r"new\s+ActiveXObject\s*\("
        function = self.enclosing(position)
        if m := re.compile(rf"(?<!\w){creator}").match(self.skeleton, position):
            call = self.arguments(m.end() - 1)
            if call and len(call[0]) == 1:
                return self.progid(call[0][0], function), call[1]
            return None, m.end()
        m = re.compile(r"(?<![\w.])(\w+)\s*(\(?)").match(self.skeleton, position)
        made = helpers.get(m[1].lower()) if m else None
        if not made or (function and function[0].lower() == m[1].lower()):
            return None, position
        call = self.arguments(m.end() - 1) if m[2] else ([], m.end(1))
        if call is None or (not m[2] and self.language == "js"):
            return None, position
        if made[0] == "class":
            return made, call[1]
        argument = call[0][made[1]] if made[1] < len(call[0]) else ""
        params = [self.name(p) for p in function[1]] if function else []
        if (value := self.literal(argument)) is not None:
            return self.kestrix_class(made[2] + value + made[3]), call[1]
        if self.name(argument) in params:
            return ("template", params.index(self.name(argument)), made[2], made[3]), call[1]
        return None, call[1]

    def candidates(self, names):
        """Where an object may be made: a creator, or one of the names (lower case) called."""
        creator = r"(?<!\w)(?:(?i:CreateObject)|new\s+ActiveXObject)\s*\("
        called = "|".join(re.escape(n) for n in sorted(names, key=len, reverse=True))
        return re.compile(creator + (rf"|(?<![\w.])(?i:{called})\b" if called else ""))

    def helpers(self):
        """The functions that make a Kestrix object, followed through each other: those that join
        a parameter into the ProgID and those that return an object of a class. A function is
        read again whenever a function it names turns out to be a helper."""
        pattern, helpers = self.candidates(self.functions), {}
        places, callers = {}, {}
        for key, (name, params, start, end, _) in self.functions.items():
            places[key] = [m.start() for m in pattern.finditer(self.skeleton, start, end) if self.in_code(m.start())]
            for position in places[key]:
                callers.setdefault(re.match(r"\w*", self.skeleton[position:position + 80])[0].lower(), set()).add(key)
        todo = set(self.functions)
        while todo:
            key = todo.pop()
            name, start = self.functions[key][0], self.functions[key][2]
            returns = re.compile(rf"(?i:\bSet\s+{name}\s*=\s*)$" if self.language == "vb" else r"\breturn\s+$")
            for position in places[key]:
                made = self.maker(position, helpers)[0]
                returned = returns.search(self.skeleton, max(start, position - 200), position)
                if made and (made[0] == "template" or returned):
                    helpers[key] = made
                    todo |= callers.get(key, set()) - set(helpers)
                    break
        return helpers

    def kestrix_calls(self, spans):
        """[(class as written, member as written or None)] of the Kestrix objects made in the
        spans and the members called on them: directly, through a variable (the assignment in
        force, in the same procedure or else in the global code) or in a With block."""
        made = {}  # position: class of every Kestrix object made
        calls = []
        helpers = self.helpers()
        pattern = self.candidates(helpers)
        for start, end in spans:
            for m in pattern.finditer(self.skeleton, start, end):
                position = m.start()
                if not self.in_code(position):
                    continue
                what, after = self.maker(position, helpers)
                if what and what[0] == "class":
                    made[position] = what[1]
                    member = re.match(r"\s*\.\s*(\w+)", self.skeleton[after:end])
                    calls.append((what[1], member[1] if member else None))

        def made_at(position):
            """The class of the Kestrix object made by the expression at the position, or None."""
            return made.get(re.compile(r"\s*").match(self.code, position).end())
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
        self.unknown = list(dict.fromkeys(self.unknown))
        self.reads = self.script.property_reads(spans)
        self.quiet = self.script.mentions(spans, "KESTRIX_QUIET")

    def members(self, fact):
        """The names of the members it calls that have a fact (changes, boxes), in order, once."""
        return list(dict.fromkeys(m[0] for _, m in self.calls if m and m[1][fact]))
