#!/usr/bin/env python3
"""Writes the page library's table of result texts from the control's own
sources, so that the two cannot drift apart:

  certutil/result_code.h     the codes (kLastWithText, kLastCode)
  control/result_codes.cpp   which string of the table each code shows
                             (kResultTextIds, then kLaterTextIds)
  resources/strings.rc       the English and the Czech string tables

  result_texts.py SOURCE_ROOT OUT.ts
"""
import json
import re
import sys


def read(root, path):
    with open("%s/%s" % (root, path), encoding="utf-8") as f:
        return f.read()


def unescape_rc(text):
    # A resource script string: "" is a quote, \\ a backslash, \" a quote.
    return re.sub(r'""|\\(.)', lambda m: '"' if m.group(0) == '""' else m.group(1), text)


def result_codes(root):
    header = read(root, "certutil/result_code.h")
    last_with_text = int(re.search(r"kLastWithText\s*=\s*(\d+)", header).group(1))
    last_name = re.search(r"kLastCode\s*=\s*(\w+)", header).group(1)
    last = int(re.search(r"%s\s*=\s*(\d+)" % last_name, header).group(1))
    names = {int(v): n for n, v in re.findall(r"constexpr ResultCode (k\w+) = (\d+);", header)}
    ids_text = re.search(r"kResultTextIds\[[^\]]*\]\s*=\s*\{([^}]*)\}", read(root, "control/result_codes.cpp")).group(1)
    ids = [int(x) for x in re.findall(r"\d+", ids_text)]
    # Codes added after the ones without text name their string on their own:
    # {rc::kName, id}.
    later_text = re.search(r"kLaterTextIds\[\]\s*=\s*\{(.*?)\};", read(root, "control/result_codes.cpp"), re.S)
    later = {}
    for name, text_id in re.findall(r"\{\s*rc::(k\w+)\s*,\s*(\d+)\s*\}", later_text.group(1) if later_text else ""):
        codes_named = [c for c, n in names.items() if n == name]
        if not codes_named:
            raise SystemExit("result_texts: kLaterTextIds names %s, which result_code.h does not define" % name)
        later[codes_named[0]] = int(text_id)
    if len(ids) != last_with_text + 1:
        raise SystemExit("result_texts: %d text ids for codes 0..%d" % (len(ids), last_with_text))
    tables = {}
    for block in re.split(r"^LANGUAGE\s+", read(root, "resources/strings.rc"), flags=re.M)[1:]:
        language = block.split(",")[0].strip()
        tables[language] = {int(i): unescape_rc(t)
                            for i, t in re.findall(r'^\s*(\d+)\s+"((?:[^"\\]|\\.|"")*)"', block, re.M)}
    if set(tables) != {"LANG_ENGLISH", "LANG_CZECH"}:
        raise SystemExit("result_texts: expected an English and a Czech table, found %s" % sorted(tables))
    codes = []
    for code in range(last + 1):
        name = names.get(code, "")
        text_id = later.get(code, ids[code] if code <= last_with_text else None)
        if text_id is not None:
            codes.append((code, name, tables["LANG_ENGLISH"][text_id], tables["LANG_CZECH"][text_id]))
        else:
            codes.append((code, name, None, None))
    return codes


def main():
    root, out = sys.argv[1], sys.argv[2]
    lines = ["// Written by tools/result_texts.py from the control's string tables: do not edit.",
             "",
             "/** A result code's texts as the control shows them; null for codes the control has no text for. */",
             "export const RESULT_TEXTS: ReadonlyArray<{ readonly en: string; readonly cs: string } | null> = ["]
    for code, name, en, cs in result_codes(root):
        value = "null" if en is None else "{ en: %s, cs: %s }" % (json.dumps(en, ensure_ascii=False),
                                                                   json.dumps(cs, ensure_ascii=False))
        lines.append("  /* %d %s */ %s," % (code, name, value))
    lines += ["];", ""]
    with open(out, "w", encoding="utf-8") as f:
        f.write("\n".join(lines))


if __name__ == "__main__":
    main()
