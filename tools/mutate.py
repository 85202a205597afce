#!/usr/bin/env python3
"""Plants one small fault at a time in the sources and runs the tests that can see it.

    mutate.py ROOT [--per-file N] [--all] [--list] [--from COMMIT] [--workspace DIR] [--every]
              [--tests NAME,...] [PATH...]
    mutate.py ROOT --compare BEFORE.json AFTER.json

PATH (files or folders, relative to ROOT) chooses what is mutated: src/ by default, sim/ on
request. The work happens in a copy of the checkout, build/mutate/tree (DIR/tree), with host
and 64-bit builds of its own, so that the checkout stays untouched and usable while a run goes
on; with --from, the copy holds that commit's tree instead (earlier tests on the same mutants).
Each mutant is one edit of one line; the set is a function of the sources alone (the same tree
gives the same mutants): every candidate of a file is named by its line's text, its kind and
its place, and the --per-file candidates whose names hash lowest are taken (--all: every one).

For each mutant the tests that can see the file run, fastest first, each after building only
what it runs (a test sees a file when it goes into what the test runs); the first test that
fails, and fails again when run once more, kills the mutant. A test over its time limit counts
as timed out (--every: every test runs, and the report says which tests, and which of their
cases, kill which mutants; --tests: only the tests named). A
mutant the compiler refuses is not counted. The summary goes to standard output, every mutant to
build/mutate/report.txt (DIR/report.txt), and survivors named in
tools/mutants_equivalent.txt are shown as equivalent with the reason given there (and left out
of the rate). --compare reads two runs' results.json on the same mutants and names every
case-level catch the second run lacks.
"""
import argparse
import hashlib
import io
import json
import os
import re
import shutil
import subprocess
import sys
import tarfile
import time
from collections import Counter, defaultdict
from dataclasses import dataclass
from pathlib import Path

# The tests a mutant can meet: the build they come from and the targets they run. The
# packaging tests (installers, a new prefix through ./kx) are left out: they check the release's
# shape, and each takes minutes.
SIM_TARGETS = ["kxsim", "kxsim_iis", "kxsim_winnt", "kxsim_winsock", "kxsim_ado", "kxsim_ldap", "aamd532"]
TESTS = {
    "host_unit_tests": ("host", ["kx_host_tests"]),
    "operations_on_the_platform": ("win64", ["kx_operations_tests", *SIM_TARGETS]),
    "frame_in_process": ("win64", ["kx_frame_tests"]),
    "com_server": ("win64", ["Kestrix", "kx_com_tests", *SIM_TARGETS]),
    "command_line_caller": ("win64", ["Kestrix", "kestrix", *SIM_TARGETS]),
    "endurance": ("win64", ["Kestrix", "kx_endurance_tests", *SIM_TARGETS]),
    "message_box_on_a_display": ("win64", ["kx_message_box_test"]),
    "ldap_on_real_servers": ("win64", ["Kestrix", "kx_ldap_tests", *SIM_TARGETS]),
    "databases_on_a_real_server": ("win64", ["Kestrix", "kx_database_tests", *SIM_TARGETS]),
    "reference_examples": ("win64", ["Kestrix", "kestrix", *SIM_TARGETS]),
}
SOURCE_SUFFIXES = (".cpp", ".h")
RELATIONS = {"==": "!=", "!=": "==", "<": "<=", "<=": "<", ">": ">=", ">=": ">", "&&": "||", "||": "&&"}
KEYWORDS = {"return", "if", "for", "while", "switch", "case", "throw", "delete", "else", "do", "using",
            "namespace", "template", "typedef", "static_assert", "co_return", "goto", "break", "continue"}


@dataclass(frozen=True)
class Mutant:
    path: str    # relative to the root
    line: int    # 1-based
    start: int   # column where `old` begins
    old: str
    new: str
    kind: str
    ident: str

    def describe(self):
        return f"{self.path}:{self.line}: {self.kind}: {self.old!r} -> {self.new!r}"


def masked(text):
    """The text with comments and the insides of string and character literals blanked, so
    that what looks like code is code; every character keeps its place."""
    out, i, n = list(text), 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            while i < n and text[i] != "\n":
                out[i] = " "
                i += 1
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            for k in range(i, end):
                if text[k] != "\n":
                    out[k] = " "
            i = end
        elif c == "R" and text.startswith('R"', i) and (i == 0 or not text[i - 1].isalnum() or text[i - 1] in "Lu8U"):
            delim = text[i + 2:text.find("(", i + 2)]
            end = text.find(")" + delim + '"', i)
            end = n if end < 0 else end + len(delim) + 2
            for k in range(i + 1, end):
                if text[k] != "\n":
                    out[k] = " "
            i = end
        elif c in "\"'":
            k = i + 1
            while k < n and text[k] != c and text[k] != "\n":
                k += 2 if text[k] == "\\" else 1
            for j in range(i + 1, min(k, n)):
                out[j] = " "
            i = k + 1
        else:
            i += 1
    return "".join(out)


def candidates(path, text):
    """Every mutant of one file, in the file's order."""
    found = []
    for number, (line, code) in enumerate(zip(text.split("\n"), masked(text).split("\n")), 1):
        stripped = code.strip()
        if not stripped or stripped.startswith("#"):
            continue
        # A comparison inverted or its bound moved by one; && and || swapped (operators that
        # stand between spaces, which keeps template brackets, shifts and arrows out).
        for match in re.finditer(r"(?<= )(==|!=|<=|>=|<|>|&&|\|\|)(?= )", code):
            op = match.group(1)
            kind = {"&&": "logic", "||": "logic", "==": "comparison inverted", "!=": "comparison inverted"}.get(op, "bound moved")
            found.append((number, match.start(), op, RELATIONS[op], kind))
        # A result code, stage number or bound changed.
        # (A pure virtual's `= 0` is no number: changing it does not compile.)
        pure = re.search(r"\)\s*(?:const\s*)?=\s*0\s*;", code)
        if not pure and re.search(r"\breturn\b|\barm\(|\bcase\b| [=!<>]=? |Failure\(", code):
            for match in re.finditer(r"(?<![\w.#'])(\d+)(?![\w.'])", code):
                value = int(match.group(1))
                if code[max(0, match.start() - 1)] == "[":
                    continue
                found.append((number, match.start(), match.group(1), str(value + 1 if value != 1 else 0), "number changed"))
        # A condition forced: an `if` whose whole condition stands on its line.
        condition = re.match(r"(\s*(?:\}\s*else\s+)?if\s*)\((.*)\)\s*(\{?)\s*$", code)
        if condition and balanced(condition.group(2)):
            begin = condition.end(1)
            end = begin + len(condition.group(2)) + 2
            forced = "(false)" if int(hashlib.sha1(line.strip().encode()).hexdigest(), 16) % 2 else "(true)"
            found.append((number, begin, line[begin:end], forced, "condition forced"))
        # A call whose effect matters removed: a statement that is a call and nothing else.
        call = re.match(r"\s*([A-Za-z_][\w:]*(?:(?:\.|->)[A-Za-z_]\w*)*)\s*\(.*\);\s*$", code)
        # (In a header, `Name(...);` with a capital is a constructor's declaration, no call.)
        declared = path.endswith(".h") and call and re.fullmatch(r"[A-Z]\w*", call.group(1))
        if call and not declared and call.group(1).split("::")[0] not in KEYWORDS and balanced(code.strip()[:-1]):
            begin = len(line) - len(line.lstrip())
            found.append((number, begin, line[begin:].rstrip(), "(void)0;", "call removed"))
    mutants, seen = [], Counter()
    lines = text.split("\n")
    for number, start, old, new, kind in found:
        key = f"{path}:{lines[number - 1].strip()}:{kind}:{old}"
        seen[key] += 1
        ident = hashlib.sha1(f"{key}:{seen[key]}".encode()).hexdigest()[:10]
        mutants.append(Mutant(path, number, start, old, new, kind, ident))
    return mutants


def balanced(text):
    depth = 0
    for c in text:
        depth += {"(": 1, ")": -1}.get(c, 0)
        if depth < 0:
            return False
    return depth == 0


def apply(text, mutant):
    lines = text.split("\n")
    line = lines[mutant.line - 1]
    assert line[mutant.start:mutant.start + len(mutant.old)] == mutant.old, mutant
    lines[mutant.line - 1] = line[:mutant.start] + mutant.new + line[mutant.start + len(mutant.old):]
    return "\n".join(lines)


def chosen(root, paths, per_file):
    files = []
    for p in paths:
        full = root / p
        files += [full] if full.is_file() else sorted(f for f in full.rglob("*") if f.suffix in SOURCE_SUFFIXES)
    mutants = []
    for f in files:
        rel = f.relative_to(root).as_posix()
        every = candidates(rel, f.read_text(encoding="utf-8"))
        every.sort(key=lambda m: m.ident)
        mutants += sorted(every if per_file is None else every[:per_file], key=lambda m: (m.line, m.start))
    return mutants


def equivalents(root):
    """Survivors known to be equivalent: `ident  reason` per line of tools/mutants_equivalent.txt."""
    known = {}
    listing = root / "tools" / "mutants_equivalent.txt"
    if listing.exists():
        for line in listing.read_text().splitlines():
            if line.strip() and not line.startswith("#"):
                ident, _, reason = line.partition(" ")
                known[ident] = reason.strip()
    return known


class Workspace:
    """A copy of the checkout with host and 64-bit builds and a prepared Wine prefix."""

    def __init__(self, root, tree):
        self.root = root
        self.tree = tree
        self.build = self.tree / "build"
        self.times = {}
        self.tests = []
        self.registry = {}
        self.sources = {}

    def sync(self, commit):
        """Makes the copy hold the checkout's files (tracked and new), or a commit's; files
        the copy no longer needs go, what did not change keeps its time (and its build)."""
        files = {}
        if commit:
            archive = subprocess.run(["git", "-C", str(self.root), "archive", "--format=tar", commit],
                                     check=True, capture_output=True).stdout
            with tarfile.open(fileobj=io.BytesIO(archive)) as tar:
                for member in tar:
                    if member.isfile():
                        files[member.name] = (tar.extractfile(member).read(), member.mode)
        else:
            listed = subprocess.run(["git", "-C", str(self.root), "ls-files", "-co", "--exclude-standard", "-z"],
                                    check=True, capture_output=True).stdout.decode().split("\0")
            for rel in filter(None, listed):
                source = self.root / rel
                if source.is_file() and not rel.startswith(("build/", "dist/")):
                    files[rel] = (source.read_bytes(), source.stat().st_mode)
        manifest = self.tree / ".synced"
        if manifest.exists():
            for rel in manifest.read_text().splitlines():
                if rel not in files and (self.tree / rel).exists():
                    (self.tree / rel).unlink()
        for rel, (data, mode) in files.items():
            target = self.tree / rel
            if not target.exists() or target.read_bytes() != data:
                target.parent.mkdir(parents=True, exist_ok=True)
                target.write_bytes(data)
                target.chmod(mode & 0o777)
        manifest.write_text("\n".join(sorted(files)))

    def prepare(self, commit, only=None):
        """Builds the copy and runs its tests once: the unmutated tree must pass, and the
        times give each test's order and limit."""
        self.sync(commit)
        kx = str(self.tree / "kx")
        wine = not only or any(TESTS[name][0] == "win64" for name in only if name in TESTS)
        # The 32-bit library only for the tests that read its type library.
        for preset, extra, target in (("win64", [f"-DKX_WINE={kx};exec"], []), ("host", [], []),
                                      ("win32", [], ["--target", "Kestrix"])):
            if preset != "host" and not wine:
                continue
            if not (self.build / preset / "build.ninja").exists():
                run(["cmake", "--preset", preset, *extra], cwd=self.tree)
            run(["cmake", "--build", "--preset", preset, *target], cwd=self.tree)
        if wine:
            run([kx, "prefix"], cwd=self.tree)
            # The wineserver keeps what registration wrote until it ends: end it, so that the
            # files hold the registration before they are kept.
            self.stop_wineserver()
            if "Kestrix.generatepassword" not in (self.build / "prefix" / "system.reg").read_text(errors="replace"):
                sys.exit("mutate: the library's registration did not reach the prefix's registry")
        # The registry as registration left it: a test that unregisters and registers again
        # does so with the mutant, and what it leaves must not meet the next mutant.
        self.registry = {f: f.read_bytes() for f in (self.build / "prefix").glob("*.reg")}
        (self.build / "CTestTestfile.cmake").write_text('subdirs("host")\n' + ('subdirs("win64")\n' if wine else ""))
        listed = subprocess.run(["ctest", "--test-dir", str(self.build), "-N"], capture_output=True, text=True).stdout
        self.tests = [name for name in TESTS if re.search(rf": {name}$", listed, re.M) and (not only or name in only)]
        for name in self.tests:
            began = time.monotonic()
            status, _ = self.test(name, 1800)
            self.times[name] = time.monotonic() - began
            print(f"unmutated: {name} passes in {self.times[name]:.0f} s", flush=True)
            if status != "passed":
                sys.exit(f"mutate: {name} fails on the unmutated tree; fix that first")

    def stop_wineserver(self):
        server = shutil.which("wineserver") or "/usr/lib/wine/wineserver"
        environment = dict(os.environ, WINEPREFIX=str(self.build / "prefix"))
        for stop in ("-k", "-w"):  # end the server, then wait until it has written the registry
            subprocess.run([server, stop], env=environment, capture_output=True)

    def reset_prefix(self):
        """Gives the prefix back its registry as it was before the mutant."""
        self.stop_wineserver()
        for path, data in self.registry.items():
            path.write_bytes(data)

    def sees(self, rel):
        """The tests whose programs are built from the file (headers included)."""
        if not self.sources:
            for name in self.tests:
                self.sources[name] = sources_of(self.build / TESTS[name][0], TESTS[name][1])
        path = str((self.tree / rel).resolve())
        return [name for name in self.tests if path in self.sources[name]]

    def make(self, name):
        build, targets = TESTS[name]
        done = subprocess.run(["ninja", "-C", str(self.build / build), *targets], capture_output=True, text=True)
        if done.returncode == 0 and build == "win64":
            digest = self.build / "win64" / "digest" / "aamd532.dll"
            installed = self.build / "prefix" / "drive_c" / "windows" / "system32" / "aamd532.dll"
            if installed.exists() and installed.read_bytes() != digest.read_bytes():
                shutil.copy2(digest, installed)
        return done.returncode == 0

    def test(self, name, limit):
        """How the test ends, and the cases that failed in it (the test's own name alone when it
        names none: a crash, a time-out, a failure outside any case)."""
        done = subprocess.run(["ctest", "--test-dir", str(self.build), "-R", f"^{name}$", "--timeout", str(int(limit)),
                               "--output-on-failure"], capture_output=True, text=True)
        if "Timeout" in done.stdout:
            return "timed out", {f"{name}:*"}
        if done.returncode == 0:
            return "passed", set()
        cases = {f"{name}:{case}" for case in failed_cases(done.stdout)}
        # A program that dies midway names only the cases that failed before: the rest is "*".
        if not cases or ("[==========] Running" in done.stdout and not re.search(r"\[==========\] \d+ tests? from .* ran", done.stdout)):
            cases.add(f"{name}:*")
        return "failed", cases


def failed_cases(output):
    """The cases a test's output names as failed: googletest's "[  FAILED  ] Suite.Case", and a
    script's "FAIL: what", named by what it checks (the text before its first ':' or '(')."""
    cases = set()
    for line in output.splitlines():
        gtest = re.match(r"\s*(?:\d+: )?\[  FAILED  \] ([\w/]+\.[\w/]+)", line)
        script = re.match(r"\s*(?:\d+: )?FAIL: ([^:(]*)", line)
        if gtest:
            cases.add(gtest.group(1))
        elif script and script.group(1).strip():
            cases.add(script.group(1).strip())
    return cases


def sources_of(build, targets):
    """Every source and header that goes into the targets, as ninja knows them once built."""
    ninja = ["ninja", "-C", str(build), "-t"]
    inputs = subprocess.run([*ninja, "inputs", *targets], check=True, capture_output=True, text=True).stdout.split()
    deps, current = {}, None
    for line in subprocess.run([*ninja, "deps"], check=True, capture_output=True, text=True).stdout.splitlines():
        if line and not line[0].isspace():
            current = deps.setdefault(line.split(":")[0], [])
        elif line.strip() and current is not None:
            current.append(line.strip())
    files = set()
    for item in inputs:
        files.add(str((build / item).resolve()))
        files.update(str((build / dep).resolve()) for dep in deps.get(item, []))
    return files


def run(command, cwd):
    done = subprocess.run(command, cwd=cwd, capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"mutate: {' '.join(command)} failed\n{done.stdout[-3000:]}{done.stderr[-3000:]}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root", type=Path)
    parser.add_argument("paths", nargs="*", default=["src"])
    parser.add_argument("--per-file", type=int, default=1)
    parser.add_argument("--all", action="store_true")
    parser.add_argument("--list", action="store_true", help="print the mutants and stop")
    parser.add_argument("--from", dest="commit", help="mutate this commit's tree, not the checkout")
    parser.add_argument("--workspace", type=Path, help="the copy's folder (build/mutate unless given)")
    parser.add_argument("--every", action="store_true",
                        help="run every test that sees a mutant, not only up to the first that kills it")
    parser.add_argument("--tests", help="only these tests (names separated by commas)")
    parser.add_argument("--compare", nargs=2, type=Path, metavar=("BEFORE", "AFTER"),
                        help="two runs' results.json on the same mutants: which case-level catches are lost")
    args = parser.parse_intermixed_args()
    root = args.root.resolve()
    for setting in [k for k in os.environ if k.startswith("KX_")]:
        del os.environ[setting]  # the copy has its own prefixes
    per_file = None if args.all else args.per_file
    if args.compare:
        print(compare(*(json.loads(path.read_text()) for path in args.compare)))
        return
    if args.list:
        print("\n".join(f"{m.ident} {m.describe()}" for m in chosen(root, args.paths, per_file)))
        return

    began = time.monotonic()
    folder = (args.workspace or root / "build" / "mutate").resolve()
    space = Workspace(root, folder / "tree")
    space.prepare(args.commit, args.tests.split(",") if args.tests else None)
    mutants = chosen(space.tree, args.paths, per_file)
    order = sorted(space.tests, key=lambda name: space.times[name])
    results, seen = [], {}
    for number, mutant in enumerate(mutants, 1):
        path = space.tree / mutant.path
        if mutant.path not in seen:
            seen[mutant.path] = space.sees(mutant.path)
        original = path.read_text(encoding="utf-8")
        outcome, killers, cases, started = "survived", [], set(), time.monotonic()
        try:
            path.write_text(apply(original, mutant), encoding="utf-8")
            for name in (n for n in order if n in seen[mutant.path]):
                if not space.make(name):
                    if not killers:  # (with --every, a test that already killed it stands)
                        outcome = "not compiled"
                    break
                limit = max(60, 3 * space.times[name])
                status, failed = space.test(name, limit)
                if status == "failed":
                    again, failed_again = space.test(name, limit)
                    # A failure that does not come again is the machine's, not the mutant's; so
                    # is a case that fails only once.
                    status, failed = (again, (failed & failed_again) or failed_again) if again != "passed" else ("passed", set())
                cases |= failed
                if status != "passed":
                    if not killers:
                        outcome = "killed" if status == "failed" else "timed out"
                    killers.append(name)
                    if not args.every:
                        break
        finally:
            path.write_text(original, encoding="utf-8")
            space.reset_prefix()
        by = " ".join(killers)
        results.append({"ident": mutant.ident, "mutant": mutant.describe(), "outcome": outcome, "by": by,
                        "folder": str(Path(mutant.path).parent), "cases": sorted(cases)})
        print(f"[{number}/{len(mutants)}] {outcome:12s} {mutant.describe()} {by} "
              f"({time.monotonic() - started:.0f} s)", flush=True)
    for name in space.tests:  # the copy is left built as it was
        space.make(name)
    report(root, folder, results, time.monotonic() - began, args.every)


def report(root, out, results, seconds, every=False):
    known = equivalents(root)
    folders = defaultdict(Counter)
    for r in results:
        folders[r["folder"]][r["outcome"]] += 1
    lines = [f"{'folder':28s} mutants killed timeout survived equivalent  rate"]
    total = Counter()
    for folder in sorted(folders):
        c = folders[folder]
        survivors = [r for r in results if r["folder"] == folder and r["outcome"] == "survived"]
        c["equivalent"] = sum(r["ident"] in known for r in survivors)
        total.update(c)
        lines.append(summary_line(folder, c))
    lines.append(summary_line("all", total))
    lines.append(f"time: {seconds / 60:.1f} min for {len(results)} mutants")
    if every:
        # Which tests carry weight: a test that kills no mutant alone could go without a loss.
        kills, alone = Counter(), Counter()
        for r in results:
            killers = r["by"].split()
            kills.update(killers)
            if len(killers) == 1:
                alone[killers[0]] += 1
        lines.append(f"\n{'test':28s} kills  alone")
        lines += [f"{name:28s} {kills[name]:5d} {alone[name]:6d}" for name in sorted(kills, key=lambda n: -alone[n])]
        # The same, case by case: a case that kills no mutant alone could go without a loss.
        kills, alone = Counter(), Counter()
        for r in results:
            cases = r.get("cases", [])
            kills.update(cases)
            if len(cases) == 1:
                alone[cases[0]] += 1
        lines.append(f"\n{'case':60s} kills  alone")
        lines += [f"{case:60s} {kills[case]:5d} {alone[case]:6d}" for case in sorted(kills, key=lambda c: (-alone[c], c))]
    text = "\n".join(lines)
    print(text)
    out.mkdir(parents=True, exist_ok=True)
    with open(out / "report.txt", "w") as f:
        f.write(text + "\n\nsurvivors:\n")
        for r in results:
            if r["outcome"] == "survived":
                reason = known.get(r["ident"])
                f.write(f"{r['ident']} {r['mutant']}" + (f"\n    equivalent: {reason}" if reason else "") + "\n")
        f.write("\nevery mutant:\n")
        for r in results:
            f.write(f"{r['ident']} {r['outcome']:12s} {r['mutant']} {r['by']}\n")
    (out / "results.json").write_text(json.dumps(results, indent=1))
    print(f"report: {out / 'report.txt'}")


def compare(before, after):
    """What the tests of `after` lose against those of `before`, mutant by mutant (the same
    mutants on both sides): mutants no longer killed, and each case of `before` that is gone or
    no longer kills a mutant it killed, with whether another case still kills that mutant."""
    now = {r["ident"]: r for r in after}
    lines, lost, per_folder = [], [], defaultdict(Counter)
    for old in before:
        new = now.get(old["ident"])
        if new is None:
            continue
        for side, r in (("before", old), ("after", new)):
            per_folder[r["folder"]][side] += r["outcome"] in ("killed", "timed out")
        per_folder[old["folder"]]["mutants"] += 1
        if old["outcome"] in ("killed", "timed out") and new["outcome"] not in ("killed", "timed out"):
            lost.append(f"lost: {old['mutant']} (killed before by {' '.join(old.get('cases', [])) or old['by']})")
        for case in sorted(set(old.get("cases", [])) - set(new.get("cases", []))):
            still = ", ".join(new.get("cases", [])) or "nothing"
            lines.append(f"{case}: no longer kills {old['mutant']}; killed now by {still}")
    table = [f"{'folder':28s} mutants  killed before  killed after"]
    for folder in sorted(per_folder):
        c = per_folder[folder]
        table.append(f"{folder:28s} {c['mutants']:7d} {c['before']:14d} {c['after']:13d}")
    return "\n".join(table + [""] + (lost or ["no mutant killed before survives after"]) + [""] + lines)


def summary_line(folder, c):
    valid = c["killed"] + c["timed out"] + c["survived"]
    # An equivalent mutant is no fault: the rate is of the others.
    rate = (c["killed"] + c["timed out"]) / (valid - c["equivalent"]) if valid > c["equivalent"] else 1.0
    return (f"{folder:28s} {valid:7d} {c['killed']:6d} {c['timed out']:7d} {c['survived']:8d} "
            f"{c['equivalent']:10d} {100 * rate:5.0f}%")


if __name__ == "__main__":
    main()
