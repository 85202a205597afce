#!/usr/bin/env python3
"""The package checker's reading of large script actions: a VBScript and a JScript of about
200 kB each, whose Kestrix object comes through a chain of 200 helper functions, read as the
KX rules read them (functions, helpers, calls, property reads); the median of 3 rounds."""
import statistics
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tools"))
from script_actions import Script  # noqa: E402

DEPTH, LINES = 200, 20


def vbscript():
    body = "".join(f'  x{j} = a & b & "text {j}" & Session.Property("P{j}")\n' for j in range(LINES))
    return "".join(f"Function F{i}(a, b)\n{body}  Set F{i} = F{i + 1}(a, b)\nEnd Function\n" for i in range(DEPTH)) + \
        f'Function F{DEPTH}(a, b)\n  Set F{DEPTH} = CreateObject("Kestrix." & b)\nEnd Function\n' \
        'F0("x", "getwebid").getwebid "Site"\n'


def jscript():
    body = "".join(f'  var x{j} = a + b + "text {j}" + Session.Property("P{j}") / 2;\n' for j in range(LINES))
    return "".join(f"function f{i}(a, b) {{\n{body}  return f{i + 1}(a, b);\n}}\n" for i in range(DEPTH)) + \
        f'function f{DEPTH}(a, b) {{ return new ActiveXObject("Kestrix." + b); }}\n' \
        'var o = f0("x", "getwebid"); o.getwebid("Site");\n'


print(f"\nThe package checker reading a script action of {DEPTH} helper functions, 3 rounds")
for language, text in (("vb", vbscript()), ("js", jscript())):
    times = []
    for _ in range(3):
        start = time.perf_counter()
        script = Script(text, language)
        spans = script.reachable(None)
        calls = script.kestrix_calls(spans)
        script.property_reads(spans)
        times.append(time.perf_counter() - start)
    print(f"  {language}Script {len(text) // 1024:4d} kB   {statistics.median(times):6.2f} s  "
          f"({min(times):.2f}..{max(times):.2f})   calls found: {sorted(set(calls), key=str)}")
