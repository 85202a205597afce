#!/usr/bin/env python3
"""What a real Windows Installer would do wrong with a package's custom actions and components,
found off Windows, before the package reaches a server.

    kestrix_check.py PACKAGE.msi [--json]

It reads the package's tables, its summary and the script streams of its Binary table with
msitools (msiinfo) and prints one finding a line:

    error|warning RULE TABLE.ROW: what is wrong, and what to do

With --json the findings are a list of objects: severity, rule, table, row, message. The exit
status is 1 when there is an error, 0 otherwise, 2 when the package cannot be read completely
(the message names the table and the row).

The rules: ICE08, ICE09, ICE12, ICE21, ICE27, ICE61, ICE63, ICE68, ICE72, ICE75, ICE77, ICE80
and ICE92 of Windows Installer's own validation, as its reference describes them; and KX01 to
KX08, which follow a script custom action (VBScript or JScript) to the Kestrix members it calls
and tell where it really runs: with whose rights, in which script host, taken back by what.
"""
import json
import sys

from ice_rules import ICE_RULES
from kx_rules import kx_rules
from msi_tables import Package, Unreadable


def check(path):
    """The findings on the package at path; raises Unreadable."""
    package = Package(path)
    findings = [f for rule in ICE_RULES for f in rule(package)] + list(kx_rules(package))
    return sorted(findings, key=lambda f: f.rule)


def main(argv):
    arguments = [a for a in argv[1:] if a != "--json"]
    if len(arguments) != 1 or arguments[0].startswith("-"):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    try:
        findings = check(arguments[0])
    except Unreadable as problem:
        print(f"kestrix_check: cannot read {arguments[0]}: {problem}", file=sys.stderr)
        return 2
    except Exception as problem:  # whatever else stops the rules is a shape of damage not met before
        print(f"kestrix_check: cannot read {arguments[0]} completely ({type(problem).__name__}: {problem}); "
              f"the package is damaged, or the checker meets it for the first time", file=sys.stderr)
        return 2
    if "--json" in argv:
        print(json.dumps([f.as_dict() for f in findings], indent=2))
    else:
        for f in findings:
            print(f.line())
    return 1 if any(f.severity == "error" for f in findings) else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
