#!/usr/bin/env python3
"""Derives the type library source and the C++ tables of the frame from catalogue.txt.

    catalogue.py CATALOGUE OUTDIR

writes OUTDIR/kestrix.idl, OUTDIR/catalogue_data.inc (the catalogue as C++ data),
OUTDIR/interfaces.h (the dual interfaces), OUTDIR/records.h (the records as C++ structures,
laid out as the type library lays them out) and OUTDIR/classes.inc (one COM class per
catalogue class).
"""
import re
import sys
from pathlib import Path

FIRST_DISPID = 0x60030000
PARAM_TYPES = ("BSTR", "long", "VARIANT", "SAFEARRAY(BSTR)")
FIELD_TYPES = {"ui1": "unsigned char", "i2": "short", "i4": "long"}
CPP_FIELD_TYPES = {"ui1": "uint8_t", "i2": "int16_t", "i4": "int32_t"}

IDL_IN = {"BSTR": "BSTR", "long": "long", "VARIANT": "VARIANT"}
IDL_RESULT = {"BSTR": "BSTR*", "long": "long*", "VARIANT": "VARIANT*", "SAFEARRAY(BSTR)": "SAFEARRAY(BSTR)*"}
CPP_TYPE = {"BSTR": "Type::Bstr", "long": "Type::Long", "VARIANT": "Type::Variant",
            "SAFEARRAY(BSTR)": "Type::StringArray", "none": "Type::None"}
CPP_IN = {"BSTR": "BSTR", "long": "long", "VARIANT": "VARIANT"}
CPP_RESULT = {"BSTR": "BSTR*", "long": "long*", "VARIANT": "VARIANT*", "SAFEARRAY(BSTR)": "SAFEARRAY**"}

GUID = r"\{([0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12})\}"


class CatalogueError(Exception):
    pass


def parse(text):
    library = None
    records, classes = [], []
    guids = set()
    shown, shown_results = set(), set()
    changes, boxes = {}, set()

    def guid(value, where):
        if value in guids:
            raise CatalogueError(f"{where}: identifier {value} is used twice")
        guids.add(value)
        return value

    for number, raw in enumerate(text.splitlines(), 1):
        line = raw.split("#", 1)[0].rstrip()
        if not line:
            continue
        where = f"line {number}"
        if m := re.fullmatch(rf"library (\w+) {GUID}", line):
            library = {"name": m[1], "uuid": guid(m[2], where)}
        elif m := re.fullmatch(rf"record (\w+) {GUID} (.+)", line):
            fields = []
            for item in m[3].split():
                name, _, ftype = item.partition(":")
                if ftype not in FIELD_TYPES and ftype not in {r["name"] for r in records}:
                    raise CatalogueError(f"{where}: unknown field type {ftype}")
                fields.append((name, ftype))
            records.append({"name": m[1], "uuid": guid(m[2], where), "fields": fields})
        elif m := re.fullmatch(rf"class (\w+) {GUID} {GUID}", line):
            classes.append({"name": m[1], "clsid": guid(m[2], where), "iid": guid(m[3], where),
                            "members": []})
        elif m := re.fullmatch(r"\s+member (\w+)\((.*)\) -> (\S+) ; (.+)", line):
            if not classes:
                raise CatalogueError(f"{where}: member outside a class")
            params = []
            for item in filter(None, (p.strip() for p in m[2].split(","))):
                words = item.split()
                if len(words) not in (2, 3) or words[1] not in PARAM_TYPES[:3] or \
                        (len(words) == 3 and words[2] != "ref"):
                    raise CatalogueError(f"{where}: bad parameter '{item}'")
                params.append({"name": words[0], "type": words[1], "ref": len(words) == 3})
            if m[3] not in PARAM_TYPES + ("none",):
                raise CatalogueError(f"{where}: bad result type {m[3]}")
            members = classes[-1]["members"]
            members.append({"name": m[1], "params": params, "result": m[3], "failure": m[4],
                            "dispid": FIRST_DISPID + len(members)})
        elif m := re.fullmatch(r"shown (\w+(?: \w+)*)", line):
            shown.update(m[1].split())
        elif m := re.fullmatch(r"shown-result (\w+(?: \w+)*)", line):
            shown_results.update(m[1].split())
        elif m := re.fullmatch(r"changes (\w+)(?: undone-by (\w+(?: \w+)*))?", line):
            if m[1] in changes:
                raise CatalogueError(f"{where}: changes {m[1]} is given twice")
            changes[m[1]] = (m[2] or "").split()
        elif m := re.fullmatch(r"boxes (\w+(?: \w+)*)", line):
            boxes.update(m[1].split())
        else:
            raise CatalogueError(f"{where}: cannot read '{raw}'")
    if library is None:
        raise CatalogueError("no library line")
    members = [m for c in classes for m in c["members"]]
    if unknown := shown - {p["name"] for m in members for p in m["params"]}:
        raise CatalogueError(f"shown names no parameter: {' '.join(sorted(unknown))}")
    names = {m["name"] for m in members}
    if len(names) != len(members):
        raise CatalogueError("a member name is used twice")
    if unknown := shown_results - names:
        raise CatalogueError(f"shown-result names no member: {' '.join(sorted(unknown))}")
    if unknown := (set(changes) | {u for undo in changes.values() for u in undo} | boxes) - names:
        raise CatalogueError(f"changes or boxes name no member: {' '.join(sorted(unknown))}")
    for m in members:
        m["shown"] = m["name"] in shown_results
        m["changes"] = m["name"] in changes
        m["undone_by"] = changes.get(m["name"], [])
        m["boxes"] = m["name"] in boxes
        for p in m["params"]:
            p["shown"] = p["name"] in shown
    return library, records, classes


def idl(library, records, classes):
    out = [
        "// Generated from catalogue.txt; do not edit.",
        "// The names ACL and SECURITY_DESCRIPTOR also stand in the system's IDL files, which the",
        "// build imports with those names defined away; the records below take them back.",
        "#undef ACL",
        "#undef SECURITY_DESCRIPTOR",
        'import "oaidl.idl";',
        "",
        f"[uuid({library['uuid']}), version(1.0), lcid(0)]",
        f"library {library['name']}",
        "{",
        '    importlib("stdole2.tlb");',
        "",
    ]
    for r in records:
        fields = " ".join(f"{FIELD_TYPES.get(t, t)} {n};" for n, t in r["fields"])
        out.append(f"    typedef [uuid({r['uuid']})] struct {r['name']} {{ {fields} }} {r['name']};")
    out.append("")
    for c in classes:
        out.append(f"    [uuid({c['iid']}), hidden, dual, nonextensible, oleautomation]")
        out.append(f"    interface _{c['name']} : IDispatch")
        out.append("    {")
        for m in c["members"]:
            args = []
            for p in m["params"]:
                if p["ref"]:
                    args.append(f"[in, out] {IDL_IN[p['type']]}* {p['name']}")
                else:
                    args.append(f"[in] {IDL_IN[p['type']]} {p['name']}")
            if m["result"] != "none":
                args.append(f"[out, retval] {IDL_RESULT[m['result']]} result")
            out.append(f"        [id(0x{m['dispid']:08X})] HRESULT {m['name']}({', '.join(args)});")
        out.append("    };")
        out.append(f"    [uuid({c['clsid']})]")
        out.append(f"    coclass {c['name']} {{ [default] interface _{c['name']}; }};")
        out.append("")
    out.append("}")
    return "\n".join(out) + "\n"


def catalogue_data(library, records, classes):
    out = ["// Generated from catalogue.txt; do not edit.", ""]
    for r in records:
        fields = ", ".join(f'{{"{n}", "{t}"}}' for n, t in r["fields"])
        out.append(f"const RecordField fields_{r['name']}[] = {{{fields}}};")
    out.append("const Record record_table[] = {")
    for r in records:
        out.append(f'    {{"{r["name"]}", "{{{r["uuid"]}}}", fields_{r["name"]}}},')
    out.append("};")
    out.append("")
    for c in classes:
        for m in c["members"]:
            if m["params"]:
                params = ", ".join(
                    f'{{"{p["name"]}", {CPP_TYPE[p["type"]]}, {str(p["ref"]).lower()}, {str(p["shown"]).lower()}}}'
                    for p in m["params"])
                out.append(f"const Param params_{c['name']}_{m['name']}[] = {{{params}}};")
        out.append(f"const Member members_{c['name']}[] = {{")
        for m in c["members"]:
            params = f"params_{c['name']}_{m['name']}" if m["params"] else "{}"
            failure = m["failure"].replace('"', '\\"')
            out.append(f'    {{"{m["name"]}", 0x{m["dispid"]:08X}, {params}, {CPP_TYPE[m["result"]]}, '
                       f'"{failure}", {str(m["shown"]).lower()}}},')
        out.append("};")
    out.append("const Class class_table[] = {")
    for c in classes:
        out.append(f'    {{"{c["name"]}", "{{{c["clsid"]}}}", "{{{c["iid"]}}}", members_{c["name"]}}},')
    out.append("};")
    out.append(f'const Library library_entry = {{"{library["name"]}", "{{{library["uuid"]}}}", '
               f"class_table, record_table}};")
    return "\n".join(out) + "\n"


def classes_inc(classes):
    """One dual interface and one instance class per catalogue class. Each member packs its
    arguments for the shared call path of Instance and nothing else."""
    out = ["// Generated from catalogue.txt; do not edit.", ""]
    for index, c in enumerate(classes):
        name = c["name"]
        sigs = []
        for m in c["members"]:
            args = []
            for p in m["params"]:
                args.append(f"{CPP_IN[p['type']]}{'*' if p['ref'] else ''} {p['name']}")
            if m["result"] != "none":
                args.append(f"{CPP_RESULT[m['result']]} result")
            sigs.append((m, ", ".join(args)))
        out.append(f"class Instance_{name} final : public Instance<kestrix::_{name}>")
        out.append("{")
        out.append("public:")
        out.append(f"    Instance_{name}() : Instance({index}) {{}}")
        for member_index, (m, args) in enumerate(sigs):
            out.append(f"    HRESULT STDMETHODCALLTYPE {m['name']}({args}) override")
            out.append("    {")
            packed = ", ".join(f"EarlyArg({p['name']})" for p in m["params"])
            result = "EarlyResult(result)" if m["result"] != "none" else "EarlyResult()"
            if m["params"]:
                out.append(f"        EarlyArg args[] = {{{packed}}};")
                out.append(f"        return call_early({member_index}, args, {result});")
            else:
                out.append(f"        return call_early({member_index}, {{}}, {result});")
            out.append("    }")
        out.append("};")
        out.append("")
    out.append("const InstanceMaker instance_makers[] = {")
    for c in classes:
        out.append(f"    []() -> IUnknown* {{ return static_cast<kestrix::_{c['name']}*>(new Instance_{c['name']}()); }},")
    out.append("};")
    return "\n".join(out) + "\n"


def interfaces_h(classes):
    """The dual interfaces as C++ declarations, for the frame and for C++ clients."""
    out = ["// Generated from catalogue.txt; do not edit.", "#pragma once", "", "#include <oaidl.h>", "",
           "namespace kestrix {", ""]
    for c in classes:
        out.append(f"struct _{c['name']} : public IDispatch")
        out.append("{")
        for m in c["members"]:
            args = [f"{CPP_IN[p['type']]}{'*' if p['ref'] else ''} {p['name']}" for p in m["params"]]
            if m["result"] != "none":
                args.append(f"{CPP_RESULT[m['result']]} result")
            out.append(f"    virtual HRESULT STDMETHODCALLTYPE {m['name']}({', '.join(args)}) = 0;")
        out.append("};")
        out.append("")
    out.append("}  // namespace kestrix")
    out.append("")
    out.append("#ifdef __CRT_UUID_DECL")
    for c in classes:
        g = c["iid"].split("-")
        tail = g[3] + g[4]
        bytes_ = ", ".join("0x" + tail[i:i + 2] for i in range(0, 16, 2))
        out.append(f"__CRT_UUID_DECL(kestrix::_{c['name']}, 0x{g[0]}, 0x{g[1]}, 0x{g[2]}, {bytes_})")
    out.append("#endif")
    return "\n".join(out) + "\n"


def records_h(records):
    """The records as plain C++ structures with the natural alignment that the type library
    gives them; platform-neutral, so that operations can use them anywhere."""
    out = ["// Generated from catalogue.txt; do not edit.", "#pragma once", "", "#include <cstdint>", "",
           "namespace kx::records {", ""]
    for r in records:
        out.append(f"struct {r['name']}")
        out.append("{")
        for name, ftype in r["fields"]:
            out.append(f"    {CPP_FIELD_TYPES.get(ftype, ftype)} {name};")
        out.append("};")
        out.append("")
    out.append("}  // namespace kx::records")
    return "\n".join(out) + "\n"


def write_if_changed(path, text):
    if not path.exists() or path.read_text() != text:
        path.write_text(text)


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        library, records, classes = parse(Path(argv[1]).read_text())
    except CatalogueError as error:
        print(f"{argv[1]}: {error}", file=sys.stderr)
        return 1
    outdir = Path(argv[2])
    outdir.mkdir(parents=True, exist_ok=True)
    write_if_changed(outdir / "kestrix.idl", idl(library, records, classes))
    write_if_changed(outdir / "catalogue_data.inc", catalogue_data(library, records, classes))
    write_if_changed(outdir / "classes.inc", classes_inc(classes))
    write_if_changed(outdir / "interfaces.h", interfaces_h(classes))
    write_if_changed(outdir / "records.h", records_h(records))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
