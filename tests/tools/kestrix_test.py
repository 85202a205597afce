#!/usr/bin/env python3
"""The command-line caller, run as a user runs it: KESTRIX names a command that runs
kestrix.exe in the test prefix. Prints one line per failed check and a closing verdict."""
import json
import os
import re
import shlex
import subprocess
import sys

KESTRIX = shlex.split(os.environ["KESTRIX"])
passed = failed = 0


def check(ok, what):
    global passed, failed
    if ok:
        passed += 1
    else:
        failed += 1
        print("FAIL:", what)


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

# A large file's digest from the digest library, as md5sum computes it.
big = "/tmp/kestrix-digest.bin"
with open(big, "wb") as f:
    f.write(os.urandom(48 * 1024 * 1024 + 13))
code, out, _ = kestrix("getcrcforfile", "Z:" + big.replace("/", "\\"))
expected = subprocess.run(["md5sum", big], capture_output=True, text=True).stdout.split()[0]
check(code == 0 and json.loads(out)["result"] == expected, f"the digest of 48 MB as md5sum gives it: {out}")
os.remove(big)

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
      and "### SQLEncodeString" in out and "### updatemetabasewithcrcs" not in out, f"--help MEMBER: {out[:200]!r}")
code, out, _ = kestrix("createwebroot", "1", "Twin", "big", ":80:", "", "c:\\twin")
check(json.loads(out)["error"]["description"] == "Type mismatch (argument ServerSize)", f"a refused argument: {out}")
code, _, err = kestrix("nosuch\u00e9")
check(code == 2 and "unknown member nosuch\u00e9" in err, f"non-ASCII text in a message is kept: {err!r}")

# The trace: one line a call, passwords never, several processes appending at once.
trace = "/tmp/kestrix-trace.log"
if os.path.exists(trace):
    os.remove(trace)
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
    check(lines[3]["args"]["iPassword"] == "***" and lines[4]["result"] == "***", f"passwords hidden: {lines[3:5]}")
check("TopSecret" not in text, "no password in the trace")
check(len({line["process"] for line in lines[5:]}) == 2, "both processes traced")

print(f"verdict: {passed} checks passed, {failed} failed")
