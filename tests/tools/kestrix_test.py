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

print(f"verdict: {passed} checks passed, {failed} failed")
