#!/usr/bin/env python3
"""The extension's packages as the build makes them (bridge/extension/
build.sh), and what it says to bad input:

- the id is derived once, from the packaging key: the CRX's signed header,
  the unpacked manifest's public key, update.xml, the host manifests and
  identity.txt all name the same one, and a second build in the same folder
  keeps it (the test key is kept);
- the XPI and the stores' zips hold the extension (the Firefox id, the
  locales, the icons), the stores' Chromium zip without "key";
- a release key given by TESSARN_EXTENSION_KEY gives its own id;
- a missing key, a key that is not RSA, an Edge store id or an update
  address that is not one stop the build with a message, and crx_id.py
  refuses a package whose id is not the expected one.

    package_test.py SOURCE_DIR
"""
import base64
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
import zipfile

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL: " + what, flush=True)


def build(source, out, **env):
    e = dict(os.environ)
    for k in ("TESSARN_EXTENSION_KEY", "TESSARN_EDGE_STORE_ID", "TESSARN_EXTENSION_URL"):
        e.pop(k, None)
    e.update(env)
    return subprocess.run(["bash", os.path.join(source, "bridge/extension/build.sh"), out], env=e,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)


def identity(out):
    with open(os.path.join(out, "identity.txt")) as f:
        return dict(l.strip().split("=", 1) for l in f if "=" in l and not l.startswith("#"))


def id_of_public_key(der):
    return "".join("abcdefghijklmnop"[int(c, 16)] for c in hashlib.sha256(der).digest()[:16].hex())


def check_build(source, out, label):
    ident = identity(out)
    cid, gid = ident["chromium_id"], ident["gecko_id"]
    check(re.fullmatch(r"[a-p]{32}", cid) is not None, "%s: identity.txt names no Chromium id: %r" % (label, cid))
    crx = subprocess.run([sys.executable, os.path.join(source, "bridge/extension/crx_id.py"),
                          os.path.join(out, "packages/tessarn.crx")], stdout=subprocess.PIPE, text=True)
    check(crx.stdout.strip() == cid, "%s: the CRX installs as %r, identity.txt says %s" % (label, crx.stdout.strip(), cid))
    unpacked = json.load(open(os.path.join(out, "chromium/manifest.json")))
    check(id_of_public_key(base64.b64decode(unpacked.get("key", ""))) == cid,
          "%s: the unpacked manifest's key does not give %s" % (label, cid))
    for name, member, want in (("chrome", "allowed_origins", ["chrome-extension://%s/" % cid]),
                               ("edge", "allowed_origins", ["chrome-extension://%s/" % cid]),
                               ("firefox", "allowed_extensions", [gid])):
        m = json.load(open(os.path.join(out, "manifests/zorv.tessarn.%s.json" % name)))
        check(m.get(member) == want, "%s: the %s host manifest names %s, not %s" % (label, name, m.get(member), want))
    update = ET.parse(os.path.join(out, "packages/update.xml")).getroot()
    app = update.find("{http://www.google.com/update2/response}app")
    check(app is not None and app.get("appid") == cid, "%s: update.xml names another app" % label)
    with zipfile.ZipFile(os.path.join(out, "packages/tessarn.xpi")) as z:
        names = set(z.namelist())
        fx = json.loads(z.read("manifest.json"))
    check(fx["browser_specific_settings"]["gecko"]["id"] == gid, "%s: the XPI's id is not %s" % (label, gid))
    for need in ("background.js", "content.js", "_locales/en/messages.json", "_locales/cs/messages.json",
                 "icons/icon-16.png", "icons/icon-128.png"):
        check(need in names, "%s: the XPI lacks %s" % (label, need))
    with zipfile.ZipFile(os.path.join(out, "packages/tessarn-chromium-store.zip")) as z:
        store = json.loads(z.read("manifest.json"))
        check("key" not in store, "%s: the store's zip carries a key, which the stores refuse" % label)
        check("icons/icon-128.png" in z.namelist(), "%s: the store's zip has no 128-pixel icon" % label)
    for lang in ("en", "cs"):
        msgs = json.load(open(os.path.join(source, "bridge/extension/_locales/%s/messages.json" % lang), encoding="utf-8"))
        check(len(msgs["extensionDescription"]["message"]) <= 132,
              "%s: the %s short description is longer than the stores' 132 characters" % (label, lang))
    return cid


def main():
    source = os.path.abspath(sys.argv[1])
    work = tempfile.mkdtemp(prefix="tessarn-extension.")
    try:
        out = os.path.join(work, "out")
        r = build(source, out)
        check(r.returncode == 0, "the build with a test key failed: " + r.stdout)
        check("packed with a test key" in r.stdout, "the build does not say it used a test key")
        first = check_build(source, out, "test key")
        r = build(source, out)
        check(r.returncode == 0 and identity(out)["chromium_id"] == first,
              "a second build in the same folder changed the id (%s)" % r.stdout[-300:])

        key = os.path.join(work, "release.pem")
        subprocess.run(["openssl", "genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:2048", "-out", key],
                       check=True, stderr=subprocess.DEVNULL)
        release = os.path.join(work, "release")
        r = build(source, release, TESSARN_EXTENSION_KEY=key, TESSARN_EXTENSION_URL="https://intranet.example.cz/tessarn/")
        check(r.returncode == 0, "the build with a release key failed: " + r.stdout)
        if r.returncode == 0:
            rid = check_build(source, release, "release key")
            der = subprocess.run(["openssl", "pkey", "-in", key, "-pubout", "-outform", "DER"], stdout=subprocess.PIPE,
                                 check=True).stdout
            check(rid == id_of_public_key(der), "the release build's id is not its key's")
            check(identity(release)["key"] == "release", "identity.txt does not say the key is a release key")
            codebase = ET.parse(os.path.join(release, "packages/update.xml")).getroot()[0][0].get("codebase")
            check(codebase == "https://intranet.example.cz/tessarn/tessarn.crx", "update.xml names %s" % codebase)
            mismatch = subprocess.run([sys.executable, os.path.join(source, "bridge/extension/crx_id.py"),
                                       os.path.join(release, "packages/tessarn.crx"), first],
                                      stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
            check(mismatch.returncode != 0 and "but the host manifests name " + first in mismatch.stdout,
                  "crx_id.py took a package of another key: " + mismatch.stdout)

        ec = os.path.join(work, "ec.pem")
        subprocess.run(["openssl", "genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out", ec],
                       check=True, stderr=subprocess.DEVNULL)
        bad = [
            ({"TESSARN_EXTENSION_KEY": os.path.join(work, "none.pem")}, "TESSARN_EXTENSION_KEY names no file"),
            ({"TESSARN_EXTENSION_KEY": ec}, "is not an RSA key"),
            ({"TESSARN_EDGE_STORE_ID": "not-an-id"}, "TESSARN_EDGE_STORE_ID is not an extension id"),
            ({"TESSARN_EXTENSION_URL": "intranet.example.cz/tessarn"}, "is not an http or https address"),
            ({"TESSARN_EXTENSION_URL": "https://intranet.example.cz/it's"}, "is not an http or https address"),
        ]
        for env, message in bad:
            r = build(source, os.path.join(work, "bad"), **env)
            check(r.returncode != 0 and message in r.stdout,
                  "a build with %s: expected a failure saying %r, got %d: %s" % (env, message, r.returncode, r.stdout[-300:]))
        r = build(source, os.path.join(work, "edge"), TESSARN_EDGE_STORE_ID="abcdefghijklmnopabcdefghijklmnop")
        edge = json.load(open(os.path.join(work, "edge/manifests/zorv.tessarn.edge.json")))
        check(r.returncode == 0 and "chrome-extension://abcdefghijklmnopabcdefghijklmnop/" in edge["allowed_origins"]
              and len(edge["allowed_origins"]) == 2, "the Edge store id is not named beside the package's: %s" % edge)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        return 1
    print("the packages name one id, derived from the key; bad keys, ids and addresses stop the build with a message")
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
