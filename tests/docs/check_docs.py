#!/usr/bin/env python3
"""Checks the user documentation against the code it describes.

  check_docs.py coverage ROOT
      Fails when a method of the control's method table, a result code of
      the string table (with its English and Czech texts) or a page of the
      documentation is missing, or when a method lacks its examples.

  check_docs.py examples ROOT --lang js|vbscript --out DIR
      Writes the JScript or VBScript examples of the method reference into
      one script for the test container (tests/host/script_host), each
      example run on its own and reported by name.

  check_docs.py run-examples ROOT --lang js|vbscript --arch ARCH
          --template PREFIX --script-host EXE --module OCX --pki WINPATH
      Writes that script and runs it against the control in a fresh Wine
      prefix (scripts/wine-run.sh), with the test PKI in the user's stores.
      Exits with the run's code (77: this machine cannot run ARCH).

An example that cannot run in the test container is preceded in the
Markdown by a comment "<!-- not runnable: REASON -->".
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

DOCS = "docs"
REFERENCE = "docs/methods.md"
CODES_PAGE = "docs/result-codes.md"
TROUBLESHOOTING = "docs/troubleshooting.md"
INDEX = "docs/index.md"
# Pages written on other branches; the index must lead to them, but until
# they are merged they may be absent from this tree.
PAGES_WRITTEN_ELSEWHERE = {"site-lock.md", "bridge.md", "windows-platform.md"}
PAGES = ["methods.md", "result-codes.md", "troubleshooting.md", "logging.md", "installing.md",
         "page-library.md", "first-page.md",
         "site-lock.md", "bridge.md", "windows-platform.md", "examples/sign.html"]
LANGUAGES_EVERY_METHOD_SHOWS = ["js", "vbscript", "powershell"]
BYTE_METHODS = {"BinaryToString", "StringToBinary"}


def read(root, path):
    with open(os.path.join(root, path), encoding="utf-8") as f:
        return f.read()


# ---- what the code says ---------------------------------------------------

def method_table(root):
    """[(dispid, name)] from control/method_table.cpp."""
    text = read(root, "control/method_table.cpp")
    found = re.findall(r'\{\s*(DISPID_ABOUTBOX|-?\d+)\s*,\s*L"(\w+)"', text)
    methods = [(-552 if d == "DISPID_ABOUTBOX" else int(d), n) for d, n in found]
    if len(methods) < 18:
        raise SystemExit("check_docs: could not read the method table (%d entries)" % len(methods))
    return methods


def string_tables(root):
    """{language: {id: text}} from resources/strings.rc."""
    text = read(root, "resources/strings.rc")
    tables = {}
    for block in re.split(r"^LANGUAGE\s+", text, flags=re.M)[1:]:
        language = block.split(",")[0].strip()
        tables[language] = {int(i): t for i, t in re.findall(r'^\s*(\d+)\s+"((?:[^"\\]|\\.)*)"', block, re.M)}
    if set(tables) != {"LANG_ENGLISH", "LANG_CZECH"}:
        raise SystemExit("check_docs: expected an English and a Czech string table, found %s" % sorted(tables))
    return tables


def result_codes(root):
    """[(code, english or None, czech or None)] for every code 0..last."""
    header = read(root, "certutil/result_code.h")
    last_with_text = int(re.search(r"kLastWithText\s*=\s*(\d+)", header).group(1))
    last_name = re.search(r"kLastCode\s*=\s*(\w+)", header).group(1)
    last = int(re.search(r"%s\s*=\s*(\d+)" % last_name, header).group(1))
    ids_text = re.search(r"kResultTextIds\[[^\]]*\]\s*=\s*\{([^}]*)\}", read(root, "control/result_codes.cpp")).group(1)
    ids = [int(x) for x in re.findall(r"\d+", ids_text)]
    if len(ids) != last_with_text + 1:
        raise SystemExit("check_docs: %d text ids for codes 0..%d" % (len(ids), last_with_text))
    # Codes given a text after the ones without: {rc::kName, id}.
    later = {}
    later_text = re.search(r"kLaterTextIds\[\]\s*=\s*\{(.*?)\};", read(root, "control/result_codes.cpp"), re.S)
    for name, string_id in re.findall(r"\{\s*rc::(\w+)\s*,\s*(\d+)\s*\}", later_text.group(1) if later_text else ""):
        later[int(re.search(r"%s\s*=\s*(\d+)" % name, header).group(1))] = int(string_id)
    tables = string_tables(root)
    codes = []
    for code in range(last + 1):
        string_id = ids[code] if code <= last_with_text else later.get(code)
        if string_id is not None:
            codes.append((code, tables["LANG_ENGLISH"][string_id], tables["LANG_CZECH"][string_id]))
        else:
            codes.append((code, None, None))
    return codes


# ---- what the documentation says -----------------------------------------

def sections(markdown, level="## "):
    """{heading: body} for the headings of one level."""
    parts = re.split(r"^" + re.escape(level), markdown, flags=re.M)
    return {p.split("\n", 1)[0].strip(): (p.split("\n", 1) + [""])[1] for p in parts[1:]}


class Example:
    def __init__(self, language, code, line, method, skip_reason):
        self.language, self.code, self.line, self.method, self.skip_reason = language, code, line, method, skip_reason

    def label(self):
        return "%s, %s example at %s:%d" % (self.method, self.language, REFERENCE, self.line)


def examples(markdown):
    """Every fenced example of the reference, with the method it belongs to."""
    found = []
    method = None
    lines = markdown.split("\n")
    i = 0
    while i < len(lines):
        line = lines[i]
        if line.startswith("## "):
            method = line[3:].strip()
        fence = re.match(r"^```(\w+)\s*$", line)
        if fence:
            start = i + 1
            j = start
            while j < len(lines) and lines[j].strip() != "```":
                j += 1
            if j == len(lines):
                raise SystemExit("check_docs: %s:%d: unclosed code block" % (REFERENCE, i + 1))
            reason = None
            k = i - 1
            while k >= 0 and not lines[k].strip():
                k -= 1
            marker = re.match(r"^<!--\s*not runnable:\s*(.*?)\s*-->$", lines[k].strip()) if k >= 0 else None
            if marker:
                reason = marker.group(1)
                if not reason:
                    raise SystemExit("check_docs: %s:%d: 'not runnable' needs a reason" % (REFERENCE, k + 1))
            found.append(Example(fence.group(1), "\n".join(lines[start:j]), start, method, reason))
            i = j
        i += 1
    return found


def coverage(root):
    problems = []
    reference = read(root, REFERENCE)
    by_heading = sections(reference)
    table_rows = set(re.findall(r"^\|\s*(-?\d+)\s*\|\s*\[?(\w+)\]?", reference, re.M))
    all_examples = examples(reference)

    # Every method of the table: its section, its DISPID, its examples.
    for dispid, name in method_table(root):
        body = by_heading.get(name)
        if body is None:
            problems.append("%s: no section '## %s' for the method (DISPID %d)" % (REFERENCE, name, dispid))
            continue
        if not re.search(r"DISPID %d\b" % dispid, body):
            problems.append("%s: section %s does not give its DISPID %d" % (REFERENCE, name, dispid))
        if (str(dispid), name) not in table_rows:
            problems.append("%s: no table row '| %d | %s |'" % (REFERENCE, dispid, name))
        wanted = LANGUAGES_EVERY_METHOD_SHOWS + (["vba"] if name in BYTE_METHODS else [])
        have = {e.language for e in all_examples if e.method == name}
        for language in wanted:
            if language not in have:
                problems.append("%s: section %s has no %s example" % (REFERENCE, name, language))
        if not re.search(r"`%s\(" % name, body):
            problems.append("%s: section %s does not show its call form `%s(...)`" % (REFERENCE, name, name))
    # The reference says the type library declares exactly the method table.
    declared = set((int(d), n) for d, n in re.findall(r"\[id\((-?\d+)\)[^\]]*\]\s*\w+\s+(\w+)\s*\(",
                                                      read(root, "resources/Tessarn.idl")))
    if declared != set(method_table(root)):
        problems.append("%s says the type library declares the method table, but it differs: %s" % (
            REFERENCE, sorted(declared ^ set(method_table(root)))))
    documented = set(by_heading) & {n for _, n in method_table(root)}
    for heading in by_heading:
        if re.match(r"^[A-Z][a-z0-9]+(?:[A-Z][A-Za-z0-9]*)+$", heading) and heading not in documented:
            problems.append("%s: section %s names no method of the control" % (REFERENCE, heading))

    # Every result code with its texts, word for word.
    codes_page = read(root, CODES_PAGE)
    rows = {}
    for row in re.findall(r"^\|\s*(\d+)\s*\|(.*)$", codes_page, re.M):
        rows.setdefault(int(row[0]), []).append(row[1])
    for code, english, czech in result_codes(root):
        lines = rows.get(code, [])
        if english is None:
            if not any(re.match(r"\s*no text\s*\|", l) for l in lines):
                problems.append("%s: code %d has no row saying it has no text" % (CODES_PAGE, code))
        elif not any('"%s"' % english in l and '"%s"' % czech in l for l in lines):
            problems.append('%s: code %d needs a row with "%s" and "%s"' % (CODES_PAGE, code, english, czech))

    # Troubleshooting covers every failure code, by heading.
    covered = set()
    for heading in re.findall(r"^###? (.*)$", read(root, TROUBLESHOOTING), re.M):
        for a, b in re.findall(r"\b(\d+) to (\d+)\b", heading):
            covered.update(range(int(a), int(b) + 1))
        heading = re.sub(r"\b\d+ to \d+\b", "", heading)
        covered.update(int(n) for n in re.findall(r"(?<![\w.])(\d+)(?![\w.])", heading.split(":")[0]))
    for code, _, _ in result_codes(root)[1:]:
        if code not in covered:
            problems.append("%s: no heading covers code %d" % (TROUBLESHOOTING, code))

    # The index leads to every page, and links between pages resolve.
    index = read(root, INDEX)
    for page in PAGES:
        if "(%s)" % page not in index:
            problems.append("%s: no link to %s" % (INDEX, page))
    not_yet = set()
    for dirpath, _, files in os.walk(os.path.join(root, DOCS)):
        for f in files:
            if not f.endswith(".md"):
                continue
            path = os.path.join(dirpath, f)
            text = open(path, encoding="utf-8").read()
            for target in re.findall(r"\]\(([^)#:\s]+)(?:#[^)]*)?\)", text):
                resolved = os.path.normpath(os.path.join(dirpath, target))
                if os.path.exists(resolved):
                    continue
                if os.path.basename(resolved) in PAGES_WRITTEN_ELSEWHERE:
                    not_yet.add(os.path.basename(resolved))
                    continue
                problems.append("%s: broken link to %s" % (os.path.relpath(path, root), target))

    for page in sorted(not_yet):
        print("note: docs link to %s, which is written on another branch and not in this tree yet" % page)
    for p in problems:
        print("FAIL: " + p)
    print("%d methods, %d result codes, %d examples checked; %d problems" % (
        len(method_table(root)), len(result_codes(root)), len(all_examples), len(problems)))
    return 1 if problems else 0


# ---- the examples as one script -------------------------------------------

JS_PRELUDE = """// Written by tests/docs/check_docs.py from docs/methods.md.
// The test PKI: its root and issuing CA trusted, one personal certificate
// with its private key; `cert` as CertEnum answers it.
host.AddCert("Root", "root");
host.AddCert("CA", "ca");
host.ImportWithKey("full");
var cert = new VBArray(ctl.CertEnum(0x083)).toArray()[1];
if (!cert) host.Fail("the test PKI gave no certificate");
"""

VBS_PRELUDE = """' Written by tests/docs/check_docs.py from docs/methods.md.
' The test PKI: its root and issuing CA trusted, one personal certificate
' with its private key; cert as CertEnum answers it.
host.AddCert "Root", "root"
host.AddCert "CA", "ca"
host.ImportWithKey "full"
Dim cert, prelude_list
prelude_list = ctl.CertEnum(&H83)
cert = prelude_list(1)
"""


def quote_js(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def quote_vbs(text):
    return '"' + text.replace('"', '""') + '"'


def example_script(root, language):
    chosen = [e for e in examples(read(root, REFERENCE)) if e.language == language]
    runnable = [e for e in chosen if e.skip_reason is None]
    for e in chosen:
        if e.skip_reason is not None:
            print("not run: %s: %s" % (e.label(), e.skip_reason))
    if language == "js":
        parts = [JS_PRELUDE]
        for n, e in enumerate(runnable, 1):
            parts.append("// %s\ntry {\n(function () {\n%s\n})();\nhost.Check(true);\nhost.Echo(%s);\n} catch (e) {\n"
                         "  host.Fail(%s + (e.message || e.description || e));\n}\n" % (
                             e.label(), e.code, quote_js("ran: " + e.label()), quote_js("example failed: " + e.label() + ": ")))
        return "\n".join(parts), len(runnable)
    parts = [VBS_PRELUDE]
    calls = ["On Error Resume Next"]
    for n, e in enumerate(runnable, 1):
        if re.search(r"^\s*(Option\s+Explicit|(Public\s+|Private\s+)?(Sub|Function|Class)\s)", e.code, re.I | re.M):
            raise SystemExit("check_docs: %s: a VBScript example runs inside a Sub and cannot declare "
                             "Option Explicit, a Sub, a Function or a Class" % e.label())
        parts.append("' %s\nSub Example%d()\n%s\nEnd Sub\n" % (e.label(), n, e.code))
        calls.append("Err.Clear\nExample%d\nIf Err.Number <> 0 Then\n  host.Fail %s & Err.Description & \" (0x\" & Hex(Err.Number) & \")\"\n"
                     "Else\n  host.Check True\n  host.Echo %s\nEnd If" % (n, quote_vbs("example failed: " + e.label() + ": "),
                                                      quote_vbs("ran: " + e.label())))
    return "\n".join(parts + calls) + "\n", len(runnable)


def write_examples(root, language, out):
    text, count = example_script(root, language)
    os.makedirs(out, exist_ok=True)
    path = os.path.join(out, "examples." + ("js" if language == "js" else "vbs"))
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    print("%d %s examples written to %s" % (count, language, path))
    if count == 0:
        raise SystemExit("check_docs: no runnable %s example in %s" % (language, REFERENCE))
    return path


def run_examples(args):
    out = tempfile.mkdtemp(prefix="tessarn-docs-")
    script = write_examples(args.root, args.lang, out)
    env = dict(os.environ, TESSARN_REGISTER=args.module, TESSARN_PKI=args.pki, TZ="UTC")
    command = ["bash", os.path.join(args.root, "scripts/wine-run.sh"), args.template, args.arch,
               args.script_host, script]
    sys.stdout.flush()
    rc = subprocess.call(command, env=env)
    if rc not in (0, 77):
        print("---- the script that ran ----")
        with open(script, encoding="utf-8") as f:
            for number, line in enumerate(f, 1):
                print("%4d  %s" % (number, line.rstrip("\n")))
    return rc


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("command", choices=["coverage", "examples", "run-examples"])
    parser.add_argument("root")
    parser.add_argument("--lang", choices=["js", "vbscript"])
    parser.add_argument("--out")
    parser.add_argument("--arch")
    parser.add_argument("--template")
    parser.add_argument("--script-host")
    parser.add_argument("--module")
    parser.add_argument("--pki")
    args = parser.parse_args()
    if args.command == "coverage":
        return coverage(args.root)
    if not args.lang:
        parser.error("--lang is required")
    if args.command == "examples":
        write_examples(args.root, args.lang, args.out or ".")
        return 0
    for needed in ("arch", "template", "script_host", "module", "pki"):
        if not getattr(args, needed):
            parser.error("--%s is required" % needed.replace("_", "-"))
    return run_examples(args)


if __name__ == "__main__":
    sys.exit(main())
