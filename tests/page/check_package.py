#!/usr/bin/env python3
"""Checks the packed page library against the control it speaks for:

  check_package.py SOURCE_ROOT PAGE_BUILD_DIR

- the package (npm pack's .tgz) holds the ES module, its declarations and
  the mock, and depends on nothing at run time;
- its result texts are the control's, code for code, English and Czech,
  as resources/strings.rc has them (and docs/result-codes.md, which
  docs.coverage checks against the same table);
- it has a function for every method of the control's method table;
- the ES3 tessarn.js is shipped beside it unchanged.
"""
import glob
import json
import os
import re
import sys
import tarfile

root, page = sys.argv[1], sys.argv[2]
sys.path.insert(0, os.path.join(root, "tests", "docs"))
import check_docs  # noqa: E402

# The control's method and the library's function that calls it.
FUNCTIONS = {
    "AboutBox": "aboutBox", "RawSignCheck": "checkSigning", "RawSign": "signHash", "SetLogging": "setLogging",
    "GetLogging": "getLogging", "CertEnum": "listCertificates", "CertLookup": "lookupCertificates",
    "CertIsValid": "checkCertificate", "CertGetInfo": "certificateInfo", "CertHasPrivateKey": "checkPrivateKey",
    "CertChainIsValid": "checkChain", "CertDisplay": "displayCertificate", "SignPKCS7": "signDocument",
    "SignRaw": "signHash", "BinaryToString": "binaryToString", "StringToBinary": "stringToBinary",
    "LocalTimeToUTCTime": "localTimeToUtc", "LibGetInfo": "libraryInfo",
}

problems = []
packs = glob.glob(os.path.join(page, "zorv-tessarn-*.tgz"))
if len(packs) != 1:
    sys.exit("FAIL: expected one packed package in %s, found %s" % (page, packs))
with tarfile.open(packs[0]) as tar:
    files = {m.name: tar.extractfile(m).read().decode("utf-8") for m in tar.getmembers() if m.isfile()}
for need in ("package.json", "README.md", "dist/index.js", "dist/index.d.ts", "dist/mock.js", "dist/mock.d.ts",
             "dist/errors.d.ts", "dist/result-texts.js", "dist/fixture.js"):
    if "package/" + need not in files:
        problems.append("the package lacks %s" % need)
manifest = json.loads(files.get("package/package.json", "{}"))
for field in ("dependencies", "peerDependencies", "optionalDependencies", "bundleDependencies"):
    if manifest.get(field):
        problems.append("the package has %s: %s" % (field, manifest[field]))
if set(manifest.get("exports", {})) != {".", "./mock"}:
    problems.append("the package exports %s" % sorted(manifest.get("exports", {})))
if any(name.startswith("package/src/") or name.startswith("package/test") for name in files):
    problems.append("the package carries its sources or tests")

# The texts, code for code.
texts = files.get("package/dist/result-texts.js", "")
rows = re.findall(r"/\* (\d+) \w* \*/ (null|\{ en: (\"(?:[^\"\\]|\\.)*\"), cs: (\"(?:[^\"\\]|\\.)*\") \}),", texts)
packed = {int(code): (None, None) if value == "null" else (json.loads(en), json.loads(cs))
          for code, value, en, cs in rows}
for code, english, czech in check_docs.result_codes(root):
    if packed.get(code) != (english, czech):
        problems.append("code %d: the package says %s, the string table %s" % (code, packed.get(code), (english, czech)))
if len(packed) != len(check_docs.result_codes(root)):
    problems.append("the package has %d codes, the control %d" % (len(packed), len(check_docs.result_codes(root))))

# A function for every method of the control.
index_js, index_dts = files.get("package/dist/index.js", ""), files.get("package/dist/index.d.ts", "")
for _, method in check_docs.method_table(root):
    function = FUNCTIONS.get(method)
    if function is None:
        problems.append("no function of the library is named for %s" % method)
        continue
    if not re.search(r'"%s"' % method, index_js):
        problems.append("the library never calls %s" % method)
    if not re.search(r"\b%s\(" % function, index_dts):
        problems.append("the declarations have no %s() for %s" % (function, method))

with open(os.path.join(root, "bridge/page/tessarn.js"), encoding="utf-8") as a, \
        open(os.path.join(page, "tessarn.js"), encoding="utf-8") as b:
    if a.read() != b.read():
        problems.append("the shipped tessarn.js differs from bridge/page/tessarn.js")

for p in problems:
    print("FAIL: " + p)
print("%s: %d files, %d result codes, %d methods checked; %d problems" % (
    os.path.basename(packs[0]), len(files), len(packed), len(FUNCTIONS), len(problems)))
sys.exit(1 if problems else 0)
