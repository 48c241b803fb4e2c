#!/usr/bin/env python3
"""The site lock's question through the bridge host, under Xvfb: a new
origin's first call opens the question in the host's process (its
apartment's message loop keeps the dialog working), the dialog names the
origin the request carried, and the user's answer decides the call. A
request that arrives while the question is open waits and is answered in
turn. Runs inside scripts/wine-run.sh (TESSARN_DRIVER=1) with TESSARN_DISPLAY=1."""
import os
import subprocess
import sys

import host_test as h

ALLOW_ONCE, ALWAYS_ALLOW, DENY = "304", "305", "306"
CAPTION = "access to your certificates"


def answer_dialog(button, shot):
    return subprocess.Popen([h.LOADER, os.environ["TESSARN_DIALOG_ANSWER"], CAPTION, button,
                             h.winpath(os.path.join(h.FILES, shot))], stdout=subprocess.PIPE)


def ask_count(host, calls, buttons):
    """Makes the calls [(origin, document, method, args)] one after the other
    while a watcher answers any question with the next of `buttons` (Deny
    when they run out); the codes answered and how many questions came."""
    codes, asked = [], 0
    for origin, document, method, args in calls:
        button = buttons[asked] if asked < len(buttons) else DENY
        # A question comes at once or not at all: the call waits for it.
        watcher = subprocess.Popen([h.LOADER, os.environ["TESSARN_DIALOG_ANSWER"], CAPTION, button,
                                    h.winpath(os.path.join(h.FILES, "scoped-%d.bmp" % asked)), "4000"],
                                   stdout=subprocess.PIPE)
        codes.append(host.result(method, *args, origin=origin, document=document))
        shown, _ = watcher.communicate(timeout=h.TIMEOUT)
        if watcher.returncode == 0:
            asked += 1
            h.check(origin.encode() in shown, "the question names %s: %r" % (origin, shown))
    return codes, asked


def test_scoped_decisions(host, cert):
    """The bridge rows of the site lock's rules for the user's answers."""
    once = "https://once.example"
    # "Allow once" holds for the document it was given in; the same origin's
    # next document (a reload, another page) is asked again.
    codes, asked = ask_count(host, [
        (once, "doc-1", "CertHasPrivateKey", [cert]),
        (once, "doc-1", "CertHasPrivateKey", [cert]),
        (once, "doc-2", "CertHasPrivateKey", [cert]),
    ], [ALLOW_ONCE, ALLOW_ONCE])
    h.equal(codes, [0, 0, 0], "allowed once in each document")
    h.equal(asked, 2, "questions: the first call of each document")

    # "Deny" holds for the origin for the rest of the session: its other
    # documents, and after 40 other origins' pages have taken every place
    # in the host's pool, are refused without a question.
    denied = "https://denied.example"
    holds = host.holds
    codes, asked = ask_count(host, [(denied, "page-1", "CertHasPrivateKey", [cert]),
                                    (denied, "page-2", "CertHasPrivateKey", [cert])], [DENY])
    # (LibGetInfo is never gated: these make controls without questions.)
    for i in range(40):
        h.equal(host.result("LibGetInfo", 1, origin="https://filler%d.example" % i, document="f"), [0, "Tessarn"],
                "a page of another origin")
    later, asked_later = ask_count(host, [(denied, "page-1", "CertHasPrivateKey", [cert]),
                                          (denied, "page-3", "CertEnum", [0])], [])
    h.equal(codes + later, [34, 34, 34, [34]], "refused after the denial")
    h.equal(asked + asked_later, 1, "one question for the denied origin")
    h.equal(host.holds - holds, 1 if holds == 0 else 0, "the host asks once to be kept for the session")
    h.check(host.holds == 1, "the host has asked to be kept (%d)" % host.holds)


def main():
    run = lambda *cmd: h.check(subprocess.run(list(cmd)).returncode == 0, "fixture: %s" % " ".join(cmd))
    run(os.environ["WINE64"], "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N", "/f")
    run(h.LOADER, os.environ["TESSARN_PKI_IMPORT"], "full")
    cert = h.pki_text("full.b64")

    host = h.Host()
    # Refused: the question names the origin; a request sent while it is
    # open is answered after it, in order.
    watcher = answer_dialog(DENY, "bridge-prompt.bmp")
    host.send({"id": 1, "origin": "https://new.example", "method": "CertHasPrivateKey", "args": [cert]})
    host.send({"id": 2, "origin": "https://new.example", "method": "LibGetInfo", "args": [1]})
    shown, _ = watcher.communicate(timeout=h.TIMEOUT)
    h.equal(watcher.returncode, 0, "the question appeared and closed")
    h.check(b"new.example" in shown, "the question names the origin: %r" % shown)
    first, _ = host.answer()
    second, _ = host.answer()
    h.equal(first, {"id": 1, "result": 34}, "the refused call")
    h.equal(second, {"id": 2, "result": [0, "Tessarn"]}, "the request sent while the question was open")
    h.equal(host.result("CertHasPrivateKey", cert, origin="https://new.example"), 34,
            "refused again without asking")

    # Always allowed: this call and the later ones are served.
    watcher = answer_dialog(ALWAYS_ALLOW, "bridge-prompt-allow.bmp")
    h.equal(host.result("CertHasPrivateKey", cert, origin="https://second.example"), 0, "the allowed call")
    shown, _ = watcher.communicate(timeout=h.TIMEOUT)
    h.equal(watcher.returncode, 0, "the second question appeared and closed")
    h.check(b"second.example" in shown, "the second question names its origin: %r" % shown)
    h.equal(host.result("CertHasPrivateKey", cert, origin="https://second.example"), 0, "allowed without asking")
    test_scoped_decisions(host, cert)
    h.equal(host.close(), 0, "the host ends cleanly")

    subprocess.run(["python3", os.path.join(h.SOURCE, "tests/gui/bmp_to_png.py"), h.FILES,
                    os.environ["TESSARN_SCREENSHOTS"]])
    if h.failures:
        print("%d checks failed" % len(h.failures))
        return 1
    print("bridge host prompt: every check passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
