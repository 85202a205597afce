#!/usr/bin/env python3
"""How the package checker's reading of a script action grows with the script: a VBScript and a
JScript whose Kestrix object comes through a chain of helper functions, 20 and 200 of them
(about 20 and 200 kB), read as the KX rules read them (functions, helpers, calls, property
reads). Each round reads both sizes one after the other; the ratio is 10 where the reading
grows with the text, and 100 where it grows with its square."""
import statistics
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tools"))
from script_actions import Script  # noqa: E402

LINES = 20


def vbscript(depth):
    body = "".join(f'  x{j} = a & b & "text {j}" & Session.Property("P{j}")\n' for j in range(LINES))
    return "".join(f"Function F{i}(a, b)\n{body}  Set F{i} = F{i + 1}(a, b)\nEnd Function\n" for i in range(depth)) + \
        f'Function F{depth}(a, b)\n  Set F{depth} = CreateObject("Kestrix." & b)\nEnd Function\n' \
        'F0("x", "getwebid").getwebid "Site"\n'


def jscript(depth):
    body = "".join(f'  var x{j} = a + b + "text {j}" + Session.Property("P{j}") / 2;\n' for j in range(LINES))
    return "".join(f"function f{i}(a, b) {{\n{body}  return f{i + 1}(a, b);\n}}\n" for i in range(depth)) + \
        f'function f{depth}(a, b) {{ return new ActiveXObject("Kestrix." + b); }}\n' \
        'var o = f0("x", "getwebid"); o.getwebid("Site");\n'


def read(text, language):
    start = time.perf_counter()
    script = Script(text, language)
    spans = script.reachable(None)
    found = script.kestrix_calls(spans)
    script.property_reads(spans)
    assert ("getwebid", "getwebid") in found, f"the chain of helpers was not followed: {found}"
    return time.perf_counter() - start


print("\nThe package checker reading a script action of 200 chained helpers against one of 20, 3 rounds")
for language, make in (("VBScript", vbscript), ("JScript", jscript)):
    small, large = make(20), make(200)
    times = [(read(small, language[:2].lower()), read(large, language[:2].lower())) for _ in range(3)]
    ratios = [b / a for a, b in times]
    print(f"  {language:8s} {len(large) // 1024:3d} kB  {statistics.median(ratios):6.1f} x {len(small) // 1024} kB  "
          f"({min(ratios):.1f}..{max(ratios):.1f})   {statistics.median(a for a, _ in times):.3f} s, "
          f"{statistics.median(b for _, b in times):.3f} s")
