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

DENY, ALWAYS_ALLOW = "306", "305"
CAPTION = "access to your certificates"


def answer_dialog(button, shot):
    return subprocess.Popen([h.LOADER, os.environ["TESSARN_DIALOG_ANSWER"], CAPTION, button,
                             h.winpath(os.path.join(h.FILES, shot))], stdout=subprocess.PIPE)


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
