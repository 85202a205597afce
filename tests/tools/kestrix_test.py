#!/usr/bin/env python3
"""The command-line caller, run as a user runs it: KESTRIX names a command that runs
kestrix.exe in the test prefix. Prints one line per failed check and a closing verdict."""
import json
import os
import re
import shlex
import shutil
import subprocess
import tempfile

from verdict import check, verdict

KESTRIX = shlex.split(os.environ["KESTRIX"])


def kestrix(*args, stdin=None):
    done = subprocess.run(KESTRIX + list(args), input=stdin, capture_output=True, text=True, timeout=120)
    return done.returncode, done.stdout, done.stderr


code, out, err = kestrix("generatepassword")
answer = json.loads(out)
check(code == 0, f"generatepassword exits 0 ({code}, {err})")
check(set(answer) == {"result", "byref"} and answer["byref"] == {}, f"result and byref: {out}")
check(re.fullmatch(r"[0-9A-Za-z:;=?@\[\]^_]{0,16}[0-9][:;=?]?[A-Z][a-z]", answer["result"]) is not None,
      f"a password: {answer['result']}")

code, out, _ = kestrix("generatepassword.generatepassword")
check(code == 0 and "result" in json.loads(out), "CLASS.MEMBER names a member")

code, out, _ = kestrix("createwebroot", "1", "Twin", "1", ":80:", "", "c:\\twin")
answer = json.loads(out)
check(code == 1 and set(answer) == {"error"}, f"a failed call answers its error and exits 1: {out}")
check(isinstance(answer["error"]["number"], int) and answer["error"]["description"], f"number and description: {out}")

for args, what in ((["nosuchmember"], "an unknown member"), (["getwebid"], "a missing argument"),
                   (["generatepassword", "extra"], "an extra argument"), ([], "no member")):
    code, out, err = kestrix(*args)
    check(code == 2 and out == "" and err.strip() != "", f"{what} exits 2 with a message ({code}, {out!r}, {err!r})")

lines = "\n".join([
    json.dumps({"member": "generatepassword"}),
    "",
    json.dumps({"member": "setdirectorypermission.SetDirAcces", "args": ["c:\\x", "user", None]}),
    "{not json",
    json.dumps({"member": "getwebid", "args": []}),
    json.dumps({"member": "SetAccess", "args": ["u", "f", "R"]}),
]) + "\n"
code, out, err = kestrix("--batch", stdin=lines)
answers = [json.loads(line) for line in out.splitlines()]
check(len(answers) == 5, f"one answer per call: {out}")
if len(answers) == 5:
    check("result" in answers[0], "batch: a result")
    check("error" in answers[1], "batch: a null argument reaches the member")
    check("usage" in answers[2] and "usage" in answers[3], "batch: malformed JSON and a wrong count are named")
    check("result" in answers[4] and "sFileName" in answers[4]["byref"], "batch: a member found by its name alone")
check(code == 2 and "malformed JSON" in err, f"batch: exit 2 after a usage error ({code}, {err!r})")

code, out, _ = kestrix("getwebid", "Default Web Site")
check(code == 0 and json.loads(out) == {"result": 1, "byref": {"WebSiteName": "Default Web Site"}},
      f"a by-reference argument is listed with its value: {out}")

# The caller explains itself.
code, out, _ = kestrix("--help")
check(code == 0 and "kestrix --list" in out, f"--help prints the usage: {out[:80]!r}")
code, out, _ = kestrix("--list")
check(code == 0 and len(out.splitlines()) == 54 and "getwebid.getwebid(WebSiteName BSTR ref) -> long" in out,
      f"--list names every member with its parameters: {out[:120]!r}")
code, out, _ = kestrix("--help", "SQLEncodeString")
check(code == 0 and out.startswith("updatemetabasewithcrcs.SQLEncodeString(i_sStrValue VARIANT) -> VARIANT")
      and "## updatemetabasewithcrcs\n\nTwo members." in out and "### SQLEncodeString" in out
      and "### updatemetabasewithcrcs" not in out, f"--help MEMBER: the class's opening and its own: {out[:300]!r}")
code, out, _ = kestrix("createwebroot", "1", "Twin", "big", ":80:", "", "c:\\twin")
check(json.loads(out)["error"]["description"] == "Type mismatch (argument ServerSize)", f"a refused argument: {out}")
code, _, err = kestrix("nosuch\u00e9")
check(code == 2 and "unknown member nosuch\u00e9" in err, f"non-ASCII text in a message is kept: {err!r}")

# The trace: one line a call, passwords never, several processes appending at once.
# A file of this run's own: another run of this test may be tracing at the same time.
trace = os.path.join(tempfile.mkdtemp(prefix="kestrix-trace-"), "trace.log")
os.environ["KESTRIX_TRACE"] = "Z:" + trace.replace("/", "\\")
kestrix("getwebid", "Default Web Site")
kestrix("startwebsite", "99")
kestrix("createwebroot", "1", "Twin", "1", ":80:", "", "c:\\twin")
kestrix("checksqllogon", "127.0.0.1,1", "sa", "TopSecret-1", "db")
kestrix("generatepassword")
batch = "\n".join(json.dumps({"member": "getfreewebid"}) for _ in range(40)) + "\n"
both = [subprocess.Popen(KESTRIX + ["--batch"], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, text=True)
        for _ in range(2)]
for p in both:
    p.communicate(batch, timeout=120)
del os.environ["KESTRIX_TRACE"]
text = open(trace).read() if os.path.exists(trace) else ""
lines = [json.loads(line) for line in text.splitlines()]
check(len(lines) == 85, f"one line a call, none lost between two processes: {len(lines)}")
if len(lines) >= 5:
    check(lines[0]["call"] == "Kestrix.getwebid.getwebid" and lines[0]["result"] == 1
          and lines[0]["byref"] == {"WebSiteName": "Default Web Site"} and "time" in lines[0] and "ms" in lines[0],
          f"a success: {lines[0]}")
    check(lines[1]["result"] == 2, f"a trapped failure: {lines[1]}")
    check("error" in lines[2] and lines[2]["error"]["description"], f"a raised failure: {lines[2]}")
    check(lines[3]["args"]["iPassword"] == "***(11)" and lines[4]["result"].startswith("***("),
          f"passwords hidden, their length shown: {lines[3:5]}")
check("TopSecret" not in text, "no password in the trace")
check(len({line["process"] for line in lines[5:]}) == 2, "both processes traced")

# One call of every member with a marker in every text argument: no free text (what can carry
# a secret) reaches the trace, by value, by reference or as a result.
FREE_TEXT = {"SearchString", "ReplaceString", "SearchStr", "ReplaceStr", "sApplication", "i_sStrValue", "iPassword",
             "gszSqlPassword", "pwd", "sFilterDesc", "szModule", "szDatabase", "iDatabase", "sSid"}
_, listing, _ = kestrix("--list")
members = [re.fullmatch(r"(\w+)\.(\w+)\((.*)\) -> .*", line).groups() for line in listing.splitlines()]
calls, secrets = [], {}
for cls, member, params in members:
    args = []
    for number, param in enumerate(filter(None, params.split(", "))):
        name, kind = param.split()[:2]
        marker = f"Mk{len(calls)}x{number}q"
        args.append(7 if kind == "long" else marker)
        if name in FREE_TEXT:
            secrets[marker] = f"{member}({name})"
    calls.append(json.dumps({"member": f"{cls}.{member}", "args": args}))
os.remove(trace)
os.environ["KESTRIX_TRACE"] = "Z:" + trace.replace("/", "\\")
kestrix("--batch", stdin="\n".join(calls) + "\n")
del os.environ["KESTRIX_TRACE"]
text = open(trace).read() if os.path.exists(trace) else ""
lines = [json.loads(line) for line in text.splitlines()]
check(len(lines) == len(members) == 54, f"every member traced: {len(lines)} lines for {len(members)} members")
check([m for m in secrets if m in text] == [], f"free text in the trace: {[secrets[m] for m in secrets if m in text]}")
results = {line["call"].rsplit(".", 1)[1]: line.get("result") for line in lines}
check(all(str(results.get(m, "***")).startswith("***") for m in ("generatepassword", "SQLEncodeString")),
      f"generated passwords and SQL values hidden: {[results.get(m) for m in ('generatepassword', 'SQLEncodeString')]}")
named = [line["args"].get("sService") for line in lines if line["call"].endswith("getservicestatus")]
check(named and named[0].startswith("Mk"), f"what cannot be a secret is written as it was: {named}")
shutil.rmtree(os.path.dirname(trace), ignore_errors=True)

verdict()
