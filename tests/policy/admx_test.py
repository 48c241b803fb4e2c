#!/usr/bin/env python3
"""Checks the Group Policy templates (installer/policy) against what the
control reads and what the Group Policy editor needs:

- every file is well-formed XML whose elements are all in the namespace of
  policy definitions, with the root the editor expects (policyDefinitions,
  policyDefinitionResources) and the revisions it compares;
- every string ($(string.X)) and presentation ($(presentation.X)) the ADMX
  names is defined in each language's ADML; each presentation's controls
  refer to the policy's elements by id, with the control the element kind
  takes (a multiText is shown by a multiTextBox, a text by a textBox...);
- the categories and supportedOn definitions a policy names exist, and no
  name or id is defined twice;
- the registry values the ADMX writes (class, key, value name, type) are
  exactly the settings diag/registry_settings.h gives a template class,
  the list the control itself takes its values from; and the product's
  sources name the control's registry key nowhere else, so a value read
  outside the list cannot slip past.

Then it breaks copies of the templates (and of the list) one way at a time
and checks that each broken copy fails, so a check that quietly stopped
checking shows up too.

    admx_test.py SOURCE_DIR
Standard library only.
"""
import os
import re
import shutil
import sys
import tempfile
import xml.etree.ElementTree as ET

NS = "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"
LANGUAGES = ("en-US", "cs-CZ")
ROOTS = {"Machine": "HKEY_LOCAL_MACHINE", "User": "HKEY_CURRENT_USER"}
# The presentation control the editor shows for each kind of element.
CONTROLS = {"multiText": {"multiTextBox"}, "text": {"textBox", "comboBox"}, "decimal": {"decimalTextBox"},
            "longDecimal": {"longDecimalTextBox"}, "boolean": {"checkBox"}, "enum": {"dropdownList"},
            "list": {"listBox"}}
PRODUCT_DIRS = ("control", "engine", "certutil", "diag", "framework", "sitelock", "bridge/host", "resources")
SETTINGS_HEADER = "diag/registry_settings.h"


def q(tag):
    return "{%s}%s" % (NS, tag)


def local(tag):
    return tag.split("}", 1)[1] if tag.startswith("{") else tag


def parse(path, root_name, errors):
    try:
        tree = ET.parse(path)
    except (ET.ParseError, OSError) as e:
        errors.append("%s: not well-formed XML: %s" % (path, e))
        return None
    root = tree.getroot()
    if root.tag != q(root_name):
        errors.append("%s: the root is %s, not %s in the namespace %s (the editor refuses the file)"
                      % (path, root.tag, root_name, NS))
        return None
    for el in root.iter():
        if not el.tag.startswith("{%s}" % NS):
            errors.append("%s: element %s is outside the namespace %s" % (path, el.tag, NS))
    for attr in ("revision", "schemaVersion"):
        if not re.fullmatch(r"\d+\.\d+", root.get(attr, "")):
            errors.append("%s: %s must be a version like 1.0, is %r" % (path, attr, root.get(attr)))
    return root


def read_settings(path):
    """The list the control reads its values from: (root, key, value) ->
    (type, template class)."""
    with open(path, encoding="utf-8") as f:
        text = re.sub(r"\\\s*\n", " ", f.read())  # the macro's continued lines
    pattern = re.compile(r'X\((\w+),\s*(HKEY_\w+),\s*"((?:[^"\\]|\\.)*)",\s*"((?:[^"\\]|\\.)*)",\s*(REG_\w+),\s*(\w+)\)')
    settings = {}
    for m in pattern.finditer(text):
        name, root, key, value, kind, cls = m.groups()
        key = key.replace("\\\\", "\\")
        settings[(root, key.lower(), value.lower())] = (kind, cls, "%s\\%s\\%s" % (root, key, value))
    return settings


def value_type(el):
    """The registry type a value element (enabledValue's child, enum item's
    value) writes."""
    for child in el:
        kind = local(child.tag)
        return {"decimal": "REG_DWORD", "longDecimal": "REG_QWORD", "string": "REG_SZ", "delete": None}.get(kind, "?" + kind)
    return None


def admx_values(admx, path, errors):
    """(root, key, value) -> (type, policy name) of every value the ADMX
    writes."""
    written = {}

    def add(cls, key, value, kind, policy):
        if cls not in ROOTS:
            errors.append("%s: policy %s has class %r: each value the control reads lives in one hive, "
                          "so Machine or User" % (path, policy, cls))
            return
        if not key or not value:
            errors.append("%s: policy %s writes a value without a key or a value name" % (path, policy))
            return
        ident = (ROOTS[cls], key.lower(), value.lower())
        if ident in written:
            errors.append("%s: %s\\%s is written by two policies (%s, %s)" % (path, key, value, written[ident][1], policy))
        written[ident] = (kind, policy)

    for policy in admx.iter(q("policy")):
        name, cls, key = policy.get("name"), policy.get("class"), policy.get("key")
        if policy.get("valueName"):
            kinds = set()
            for which in ("enabledValue", "disabledValue"):
                el = policy.find(q(which))
                if el is not None and value_type(el):
                    kinds.add(value_type(el))
            if not kinds:
                kinds = {"REG_DWORD"}  # the editor writes 1 and 0 by default
            if len(kinds) != 1:
                errors.append("%s: policy %s writes %s with the types %s" % (path, name, policy.get("valueName"), sorted(kinds)))
            add(cls, key, policy.get("valueName"), kinds.pop(), name)
        elements = policy.find(q("elements"))
        for el in (elements if elements is not None else []):
            kind = local(el.tag)
            ekey, evalue = el.get("key") or key, el.get("valueName")
            if kind == "multiText":
                t = "REG_MULTI_SZ"
            elif kind == "text":
                t = "REG_EXPAND_SZ" if el.get("expandable") == "true" else "REG_SZ"
            elif kind == "decimal":
                t = "REG_SZ" if el.get("storeAsText") == "true" else "REG_DWORD"
            elif kind == "longDecimal":
                t = "REG_SZ" if el.get("storeAsText") == "true" else "REG_QWORD"
            elif kind == "boolean":
                t = value_type(el.find(q("trueValue"))) if el.find(q("trueValue")) is not None else "REG_DWORD"
            elif kind == "enum":
                types = {value_type(item.find(q("value"))) for item in el.findall(q("item"))}
                t = types.pop() if len(types) == 1 else "mixed"
            else:
                errors.append("%s: policy %s has a %s element, which writes no single value the control reads"
                              % (path, name, kind))
                continue
            add(cls, ekey, evalue, t, name)
    return written


def references(admx, prefix):
    refs = set()
    for el in admx.iter():
        for v in el.attrib.values():
            for m in re.finditer(r"\$\(%s\.([^)]*)\)" % prefix, v):
                refs.add(m.group(1))
    return refs


def check_adml(admx, adml, path, errors):
    strings = {}
    for s in adml.iter(q("string")):
        sid = s.get("id")
        if sid in strings:
            errors.append("%s: string %s is defined twice" % (path, sid))
        strings[sid] = (s.text or "").strip()
    for sid in sorted(references(admx, "string")):
        if sid not in strings:
            errors.append("%s: the ADMX names string %s, which is not defined" % (path, sid))
        elif not strings[sid]:
            errors.append("%s: string %s is empty" % (path, sid))
    presentations = {}
    for p in adml.iter(q("presentation")):
        if p.get("id") in presentations:
            errors.append("%s: presentation %s is defined twice" % (path, p.get("id")))
        presentations[p.get("id")] = p
    for policy in admx.iter(q("policy")):
        elements = policy.find(q("elements"))
        element_kinds = {el.get("id"): local(el.tag) for el in (elements if elements is not None else [])}
        ref = re.fullmatch(r"\$\(presentation\.([^)]*)\)", policy.get("presentation", ""))
        if not ref:
            if element_kinds:
                errors.append("%s: policy %s has elements but no presentation" % (path, policy.get("name")))
            continue
        p = presentations.get(ref.group(1))
        if p is None:
            errors.append("%s: the ADMX names presentation %s, which is not defined" % (path, ref.group(1)))
            continue
        shown = {}
        for control in p:
            rid = control.get("refId")
            if rid is None:
                continue  # text only
            if rid not in element_kinds:
                errors.append("%s: presentation %s shows %s, which policy %s has no element for"
                              % (path, p.get("id"), rid, policy.get("name")))
            elif local(control.tag) not in CONTROLS.get(element_kinds[rid], ()):
                errors.append("%s: presentation %s shows the %s element %s with a %s"
                              % (path, p.get("id"), element_kinds[rid], rid, local(control.tag)))
            shown[rid] = True
        for rid in element_kinds:
            if rid not in shown:
                errors.append("%s: presentation %s does not show element %s of policy %s"
                              % (path, p.get("id"), rid, policy.get("name")))
    needed = admx.find(q("resources"))
    if needed is not None and float(adml.get("revision", "0")) < float(needed.get("minRequiredRevision", "0")):
        errors.append("%s: revision %s is below the ADMX's minRequiredRevision %s"
                      % (path, adml.get("revision"), needed.get("minRequiredRevision")))


def check_admx_structure(admx, path, errors):
    target = admx.find("%s/%s" % (q("policyNamespaces"), q("target")))
    if target is None or not target.get("prefix") or not target.get("namespace"):
        errors.append("%s: no target namespace (policyNamespaces/target with prefix and namespace)" % path)
    if admx.find(q("resources")) is None:
        errors.append("%s: no resources element (minRequiredRevision)" % path)
    prefix = target.get("prefix") if target is not None else None

    def local_ref(ref):
        # A reference to this file's own names, bare or with its own prefix.
        if ":" in ref:
            p, ref = ref.split(":", 1)
            return ref if p == prefix else None
        return ref

    categories = set()
    for c in admx.iter(q("category")):
        if c.get("name") in categories:
            errors.append("%s: category %s is defined twice" % (path, c.get("name")))
        categories.add(c.get("name"))
    supported = {d.get("name") for d in admx.iter(q("definition"))}
    names = set()
    for el in admx.iter():
        if local(el.tag) == "parentCategory" and local_ref(el.get("ref", "")) not in categories:
            errors.append("%s: parentCategory %s names no category of this file" % (path, el.get("ref")))
    for policy in admx.iter(q("policy")):
        name = policy.get("name")
        if name in names:
            errors.append("%s: policy %s is defined twice" % (path, name))
        names.add(name)
        for attr in ("displayName", "explainText", "key", "class"):
            if not policy.get(attr):
                errors.append("%s: policy %s has no %s" % (path, name, attr))
        if policy.find(q("parentCategory")) is None:
            errors.append("%s: policy %s is in no category" % (path, name))
        s = policy.find(q("supportedOn"))
        if s is None or local_ref(s.get("ref", "")) not in supported:
            errors.append("%s: policy %s names no supportedOn definition of this file" % (path, name))
        key = policy.get("key", "")
        if key.startswith(("HKLM", "HKCU", "HKEY_", "\\")) or key.endswith("\\"):
            errors.append("%s: policy %s: key %r must be a path below the class's hive" % (path, name, key))
        elements = policy.find(q("elements"))
        ids = [el.get("id") for el in (elements if elements is not None else [])]
        if len(ids) != len(set(ids)) or None in ids:
            errors.append("%s: policy %s has elements without an id or with one id twice" % (path, name))


def check_sources(source, settings, errors):
    """The control's registry places are named in the list alone."""
    values = {v for (_, _, v) in settings}
    for d in PRODUCT_DIRS:
        for base, _, files in os.walk(os.path.join(source, d)):
            for name in files:
                if not name.endswith((".cpp", ".h", ".rc")):
                    continue
                full = os.path.join(base, name)
                if os.path.relpath(full, source) == SETTINGS_HEADER:
                    continue
                with open(full, encoding="utf-8", errors="replace") as f:
                    for n, line in enumerate(f, 1):
                        code = line.split("//", 1)[0]
                        for literal in re.findall(r'L?"((?:[^"\\]|\\.)*)"', code):
                            if "Zorv\\\\Tessarn" in literal or literal.lower() in values:
                                errors.append("%s:%d: names a registry place of the control (%s) outside %s"
                                              % (os.path.relpath(full, source), n, literal, SETTINGS_HEADER))


def check(policy_dir, settings_path, source=None):
    errors = []
    admx_path = os.path.join(policy_dir, "Tessarn.admx")
    admx = parse(admx_path, "policyDefinitions", errors)
    admls = {}
    for lang in LANGUAGES:
        p = os.path.join(policy_dir, lang, "Tessarn.adml")
        admls[lang] = (p, parse(p, "policyDefinitionResources", errors))
    if admx is None:
        return errors
    check_admx_structure(admx, admx_path, errors)
    for lang, (p, adml) in admls.items():
        if adml is not None:
            check_adml(admx, adml, p, errors)
    settings = read_settings(settings_path)
    if not settings:
        errors.append("%s: no settings found" % settings_path)
    written = admx_values(admx, admx_path, errors)
    for ident, (kind, cls, shown) in sorted(settings.items()):
        if cls == "None":
            if ident in written:
                errors.append("%s: policy %s writes %s, which the control's list keeps out of Group Policy"
                              % (admx_path, written[ident][1], shown))
            continue
        if cls not in ROOTS:
            errors.append("%s: %s has the template class %r" % (settings_path, shown, cls))
            continue
        if ROOTS[cls] != ident[0]:
            errors.append("%s: %s is read from %s, but its template class is %s" % (settings_path, shown, ident[0], cls))
        if ident not in written:
            errors.append("%s: no policy writes %s, which the control reads (%s)" % (admx_path, shown, kind))
        elif written[ident][0] != kind:
            errors.append("%s: policy %s writes %s as %s; the control reads %s"
                          % (admx_path, written[ident][1], shown, written[ident][0], kind))
    for ident, (kind, policy) in sorted(written.items()):
        if ident not in settings:
            errors.append("%s: policy %s writes %s\\%s\\%s, which the control never reads"
                          % (admx_path, policy, ident[0], ident[1], ident[2]))
    if source:
        check_sources(source, settings, errors)
    return errors


# --- broken copies ---------------------------------------------------------
def edit(relpath, old, new):
    def apply(root):
        p = os.path.join(root, relpath)
        with open(p, encoding="utf-8") as f:
            text = f.read()
        if old not in text:
            raise AssertionError("the breakage of %s no longer applies: %r is not in it" % (relpath, old))
        with open(p, "w", encoding="utf-8") as f:
            f.write(text.replace(old, new, 1))
    return apply


def write(relpath, text):
    def apply(root):
        p = os.path.join(root, relpath)
        os.makedirs(os.path.dirname(p), exist_ok=True)
        with open(p, "w", encoding="utf-8") as f:
            f.write(text + "\n")
    return apply


ADMX, EN, CS, LIST = "policy/Tessarn.admx", "policy/en-US/Tessarn.adml", "policy/cs-CZ/Tessarn.adml", "registry_settings.h"
BREAKAGES = [
    # (what, how, a text the failure must hold)
    ("a string missing from the Czech ADML", edit(CS, '<string id="Prompt_Explain">', '<string id="Prompt_Explained">'),
     "names string Prompt_Explain"),
    ("a presentation missing from the English ADML", edit(EN, '<presentation id="LogDir">', '<presentation id="LogDirectory">'),
     "names presentation LogDir"),
    ("a presentation showing an element that does not exist", edit(CS, 'refId="AllowedOriginsList"', 'refId="AllowedList"'),
     "has no element for"),
    ("a list shown as a single text box", edit(EN, '<multiTextBox refId="DeniedOriginsList">Origins that are refused, one per line:</multiTextBox>',
                                             '<textBox refId="DeniedOriginsList"><label>x</label></textBox>'),
     "with a textBox"),
    ("a value name misspelt", edit(ADMX, 'valueName="AllowedOrigins"', 'valueName="AllowedOrigin"'),
     "never reads"),
    ("a list written as one string", edit(ADMX, '<multiText id="DeniedOriginsList" valueName="DeniedOrigins"/>',
                                          '<text id="DeniedOriginsList" valueName="DeniedOrigins"/>'),
     "as REG_SZ; the control reads REG_MULTI_SZ"),
    ("a switch written as text", edit(ADMX, '<enabledValue>\n        <decimal value="1"/>', '<enabledValue>\n        <string>1</string>'),
     "with the types"),
    ("a user setting put under the machine", edit(ADMX, 'name="LogDir" class="User"', 'name="LogDir" class="Machine"'),
     "no policy writes HKEY_CURRENT_USER"),
    ("a policy for a value the control does not read", edit(ADMX, 'key="SOFTWARE\\Zorv\\Tessarn">', 'key="SOFTWARE\\Zorv\\Tessarn2">'),
     "never reads"),
    ("a policy left out", edit(ADMX, 'valueName="AllowNonBrowserHosts">', 'valueName="AllowNonBrowserHost">'),
     "no policy writes HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Zorv\\Tessarn\\AllowNonBrowserHosts"),
    ("a setting added to the control's list and not to the templates",
     edit(LIST, '  X(LogDir,', '  X(PolicyNewSwitch, HKEY_LOCAL_MACHINE, "SOFTWARE\\\\Policies\\\\Zorv\\\\Tessarn", "NewSwitch", REG_DWORD, Machine) \\\n  X(LogDir,'),
     "NewSwitch"),
    ("an ADML in another namespace", edit(CS, 'xmlns="http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"',
                                          'xmlns="http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinition"'),
     "the root is"),
    ("an ADMX that is not well-formed", edit(ADMX, "</policies>", "</policy>"), "not well-formed"),
    ("a category that does not exist", edit(ADMX, '<parentCategory ref="Diagnostics"/>', '<parentCategory ref="Diagnostic"/>'),
     "names no category"),
    ("a string defined twice", edit(EN, '<string id="LogDir">', '<string id="Prompt">x</string>\n      <string id="LogDir">'),
     "defined twice"),
    ("an ADML of a lower revision than the ADMX needs", edit(CS, 'revision="1.0" schemaVersion', 'revision="0.9" schemaVersion'),
     "minRequiredRevision"),
    ("a registry value read outside the control's list", write("src/sitelock/extra.cpp",
     'RegQueryValueExW(key.Get(), L"AllowedOrigins", nullptr, &type, nullptr, &bytes);  // the list'),
     "outside diag/registry_settings.h"),
    ("an element of a foreign namespace", edit(ADMX, "<resources minRequiredRevision=\"1.0\"/>",
                                              "<resources minRequiredRevision=\"1.0\"/><x:note xmlns:x=\"urn:other\"/>"),
     "outside the namespace"),
]


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    source = os.path.abspath(sys.argv[1])
    policy_dir = os.path.join(source, "installer/policy")
    settings_path = os.path.join(source, SETTINGS_HEADER)
    errors = check(policy_dir, settings_path, source)
    if errors:
        print("FAIL: the templates do not pass:\n  " + "\n  ".join(errors))
        return 1
    settings = read_settings(settings_path)
    print("the templates are well-formed, complete in %s, and write exactly the %d settings the control "
          "reads for Group Policy" % (" and ".join(LANGUAGES), sum(1 for v in settings.values() if v[1] != "None")))
    failed = 0
    for what, breakage, expect in BREAKAGES:
        work = tempfile.mkdtemp(prefix="tessarn-admx.")
        try:
            shutil.copytree(policy_dir, os.path.join(work, "policy"))
            shutil.copy(settings_path, os.path.join(work, "registry_settings.h"))
            os.makedirs(os.path.join(work, "src/diag"))
            shutil.copy(settings_path, os.path.join(work, "src", SETTINGS_HEADER))
            breakage(work)
            got = check(os.path.join(work, "policy"), os.path.join(work, "registry_settings.h"),
                        os.path.join(work, "src"))
        finally:
            shutil.rmtree(work)
        if not any(expect in e for e in got):
            print("FAIL: %s passed the check (expected a failure naming %r; got %s)" % (what, expect, got))
            failed += 1
        else:
            print("refused as it should be: %s: %s" % (what, next(e for e in got if expect in e).split(": ", 1)[1]))
    if failed:
        return 1
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
