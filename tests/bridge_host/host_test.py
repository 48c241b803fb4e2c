#!/usr/bin/env python3
"""Drives the real tessarn-host.exe under Wine as a browser does: requests
as length-prefixed JSON on its standard input, answers read back from its
standard output. Runs inside scripts/wine-run.sh (TESSARN_DRIVER=1) (a private prefix); fills the
prefix's stores from the test PKI, writes the site lock's policy, and checks
answers, chunked answers, errors, hostile frames and the host's ending.
Signatures are verified by OpenSSL afterwards."""
import base64
import json
import os
import queue
import struct
import subprocess
import sys
import threading

LOADER = os.environ["TESSARN_LOADER"]
HOST = os.environ["TESSARN_HOST"]
PKI_DIR = os.environ["TESSARN_PKI_DIR"]
FILES = os.environ["TESSARN_FILES_DIR"]
SOURCE = os.environ["TESSARN_SOURCE"]
ALLOWED = "https://allowed.example"
ALLOWED_TOO = "https://also.allowed.example"
UNLISTED = "https://unlisted.example"
LIMIT = 1000000
TIMEOUT = 180

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL: " + what, flush=True)
    return condition


def equal(got, expected, what):
    return check(got == expected, "%s: got %r, expected %r" % (what, got, expected))


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def frame(payload):
    if not isinstance(payload, bytes):
        payload = json.dumps(payload).encode("utf-8")
    return struct.pack("<I", len(payload)) + payload


class Host:
    """One host process with a thread collecting its messages."""

    def __init__(self):
        self.proc = subprocess.Popen([LOADER, HOST], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE)
        self.messages = queue.Queue()
        self.stderr = b""
        threading.Thread(target=self._read, daemon=True).start()
        threading.Thread(target=self._read_stderr, daemon=True).start()
        self.next_id = 0
        # {"hold": true}: the host asks to be kept for the browser session.
        self.holds = 0

    def _read(self):
        out = self.proc.stdout
        while True:
            header = out.read(4)
            if len(header) < 4:
                self.messages.put(None if not header else ("truncated header", header))
                return
            (n,) = struct.unpack("<I", header)
            body = out.read(n)
            if len(body) < n:
                self.messages.put(("truncated body", body))
                return
            self.messages.put(body)

    def _read_stderr(self):
        self.stderr = self.proc.stderr.read()

    def send_raw(self, data):
        self.proc.stdin.write(data)
        self.proc.stdin.flush()

    def send(self, request):
        self.send_raw(frame(request))

    def message(self):
        """The next message's raw text, or None once the host's output ended."""
        item = self.messages.get(timeout=TIMEOUT)
        if item is not None and not isinstance(item, bytes):
            check(False, "the host wrote a broken frame: %r" % (item,))
            return None
        return item

    def answer(self):
        """The next whole answer (chunks joined) and the raw messages it came in."""
        raw = self.message()
        if raw is None:
            check(False, "the host ended instead of answering")
            return None, []
        parsed = json.loads(raw.decode("utf-8"))
        while parsed == {"hold": True}:
            self.holds += 1
            raw = self.message()
            if raw is None:
                check(False, "the host ended instead of answering")
                return None, []
            parsed = json.loads(raw.decode("utf-8"))
        if "chunk" not in parsed:
            return parsed, [raw]
        parts, raws = [], []
        while True:
            raws.append(raw)
            check(len(raw) < LIMIT, "chunk %d is %d bytes" % (parsed["chunk"], len(raw)))
            equal(parsed["chunk"], len(parts), "chunks arrive in order")
            parts.append(parsed["data"])
            if len(parts) == parsed["chunks"]:
                break
            raw = self.message()
            parsed = json.loads(raw.decode("utf-8"))
        whole = json.loads("".join(parts))
        equal(whole.get("id"), parsed["id"], "the joined answer's id")
        return whole, raws

    def call(self, method, *args, origin=ALLOWED, request_id=None, document=None):
        self.next_id += 1
        rid = self.next_id if request_id is None else request_id
        request = {"id": rid, "origin": origin, "method": method, "args": list(args)}
        if document is not None:
            request["document"] = document
        self.send(request)
        whole, _ = self.answer()
        if whole is not None:
            equal(whole.get("id"), rid, "%s: the answer's id" % method)
        return whole

    def result(self, method, *args, **kw):
        answer = self.call(method, *args, **kw) or {}
        check("result" in answer, "%s%r answered %r" % (method, args, answer))
        return answer.get("result")

    def error(self, method, *args, **kw):
        answer = self.call(method, *args, **kw) or {}
        check("error" in answer, "%s%r should fail, answered %r" % (method, args, answer))
        return answer.get("error", {}).get("hresult")

    def close(self):
        """Ends standard input; the host's exit code (None if it hung)."""
        try:
            self.proc.stdin.close()
        except BrokenPipeError:
            pass
        try:
            return self.proc.wait(timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            return None


def pki_text(name):
    with open(os.path.join(PKI_DIR, name)) as f:
        return f.read().strip()


def fixture():
    run = lambda *cmd: check(subprocess.run(list(cmd)).returncode == 0, "fixture: %s" % " ".join(cmd))
    run(os.environ["WINE64"], "reg", "add", r"HKLM\Software\Policies\Zorv\Tessarn", "/v", "AllowedOrigins",
        "/t", "REG_MULTI_SZ", "/d", ALLOWED + "\\0" + ALLOWED_TOO, "/f")
    run(os.environ["WINE64"], "reg", "add", r"HKLM\Software\Policies\Zorv\Tessarn", "/v", "Prompt",
        "/t", "REG_DWORD", "/d", "0", "/f")
    run(LOADER, os.environ["TESSARN_PKI_IMPORT"], "--store", "Root", "root", "--store", "CA", "ca", "full")


def hash_hex(n, seed):
    return "".join("%02x" % ((i * 37 + seed * 11 + 5) & 255) for i in range(n))


def test_answers(host):
    # The method table's answers, as a page in the allowed origin gets them.
    equal(host.call("LibGetInfo", 0, request_id=1), {"id": 1, "result": [0, "Tessarn", "2.3.21113.0"]},
          "LibGetInfo(0)")
    equal(host.result("libgetinfo", "2"), [0, "2.3.21113.0"], "names bind without regard to case")
    # The id comes back as it was written.
    host.send_raw(frame(b'{"id": 12.50, "origin": "%s", "method": "LibGetInfo", "args": [1]}' % ALLOWED.encode()))
    raw = host.message() or b""
    check(raw.startswith(b'{"id":12.50,'), "a numeric id echoed as written: %r" % raw)
    odd = "r\u00e9q\U0001F600\"\\\n"
    equal(host.call("LibGetInfo", 1, request_id=odd).get("id"), odd, "a text id with escapes")

    # Byte arrays both ways.
    equal(host.result("StringToBinary", "AQID", 1), [0, {"bytes": "AQID"}], "StringToBinary of base64")
    equal(host.result("StringToBinary", "zz", 4), [39, {"bytes": ""}], "StringToBinary of bad hexadecimal")
    every = bytes(range(256))
    equal(host.result("BinaryToString", {"bytes": base64.b64encode(every).decode()}, 256, 0x40000001),
          [0, base64.b64encode(every).decode()], "BinaryToString of every byte value")
    r = host.result("BinaryToString", {"bytes": base64.b64encode(b"\x00\x1a\xff\r\n").decode()}, 5, 4)
    equal([r[0], r[1].split()], [0, ["00", "1a", "ff", "0d", "0a"]], "BinaryToString of NUL, 0x1A, CR, LF")
    equal(host.result("BinaryToString", {"bytes": ""}, 1, 1)[0], 40, "no bytes to read")
    r = host.result("StringToBinary", "AA\u0000A", 1)
    check(r[0] in (0, 39), "a text with a NUL in it: %r" % (r,))


def test_signing(host):
    full_sha1 = pki_text("full.sha1")
    full_b64 = pki_text("full.b64")
    written = 0
    for alg, n in (("sha1", 20), ("sha256", 32), ("SHA512", 64)):
        h = hash_hex(n, n)
        r = host.result("RawSign", h, "00 F1 23 45", full_sha1, alg)
        if check(isinstance(r, list) and r[0] == 0, "RawSign %s: %r" % (alg, r)):
            check(len(r[1]) == 512, "RawSign %s: 512 hexadecimal characters" % alg)
            written += 1
            with open(os.path.join(FILES, "raw-%d.txt" % written), "w") as f:
                f.write("full %s %s %s\n" % (alg, h, r[1]))

    # A 5 MB payload: the answer comes in chunks under the limit that join
    # to the whole answer.
    payload = os.urandom(5 * 1000 * 1000)
    host.next_id += 1
    host.send({"id": host.next_id, "origin": ALLOWED, "method": "SignPKCS7",
               "args": [full_b64, base64.b64encode(payload).decode(), "sha256"]})
    whole, raws = host.answer()
    check(len(raws) > 1, "a 5 MB signature arrives in several messages (%d)" % len(raws))
    check(all(len(m) < LIMIT for m in raws), "every message under 1,000,000 bytes")
    r = (whole or {}).get("result")
    if check(isinstance(r, list) and r[0] == 0, "SignPKCS7 of 5 MB: %r" % (str(r)[:200],)):
        written += 1
        with open(os.path.join(FILES, "p7-%d.b64" % written), "w") as f:
            f.write(r[1])
        with open(os.path.join(FILES, "p7-%d.payload" % written), "wb") as f:
            f.write(payload)
        with open(os.path.join(FILES, "p7-%d.expect" % written), "w") as f:
            f.write("full sha256\n")
    return written


def test_dispatch_errors(host):
    cases = [
        (("NoSuchMethod",), "0x80020006", "an unknown method"),
        (("LibGetInfo\u0000x", 0), "0x80020006", "a name with a NUL in it"),
        (("LibGetInfo",), "0x8002000E", "too few arguments"),
        (("LibGetInfo", 0, 1), "0x8002000E", "too many arguments"),
        (("LibGetInfo", "not a number"), "0x80020005", "a text that is no number"),
        (("LibGetInfo", [1]), "0x80020005", "an array argument"),
        (("LibGetInfo", {"x": 1}), "0x80020005", "an object argument"),
        (("LibGetInfo", 1e300), "0x80020005", "a number out of range"),
        (("BinaryToString", {"bytes": "@@@@"}, 1, 1), "0x80020005", "bytes that are not base64"),
        (("BinaryToString", "AQID", 3, 1), "0x80020005", "a text where bytes belong"),
        (("LibGetInfo",) + (0,) * 17, "0x8002000E", "seventeen arguments"),
    ]
    for args, code, what in cases:
        equal(host.error(*args), code, what)
    # After all that the host still answers.
    equal(host.result("LibGetInfo", 1), [0, "Tessarn"], "answers after errors")


def test_malformed_messages(host):
    origin = ALLOWED.encode()
    cases = [
        (b"not json", "null", "not JSON"),
        (b"", "null", "an empty message"),
        (b'[1, 2]', "null", "an array"),
        (b'{"origin": "%s", "method": "LibGetInfo", "args": [0]}' % origin, "null", "no id"),
        (b'{"id": {"a": 1}, "origin": "%s", "method": "LibGetInfo", "args": [0]}' % origin, "null", "an object id"),
        (b'{"id": 5, "method": "LibGetInfo", "args": [0]}', "5", "no origin"),
        (b'{"id": 6, "origin": "", "method": "LibGetInfo", "args": [0]}', "6", "an empty origin"),
        (b'{"id": 7, "origin": "%s", "method": 3, "args": [0]}' % origin, "7", "a method that is no text"),
        (b'{"id": 8, "origin": "%s", "method": "LibGetInfo", "args": 0}' % origin, "8", "args that are no array"),
        (b'{"id": 9, "origin": "%s", "origin": "%s", "method": "LibGetInfo", "args": [0]}' % (origin, origin),
         "9", "a second origin"),
        (b'{"id": 10, "origin": "%s", "method": "Lib\xff\xfe", "args": [0]}' % origin, "null", "bytes that are no UTF-8"),
        (b'{"id": 11, "origin": "%s", "method": "Lib\x1aInfo", "args": [0]}' % origin, "null", "a raw 0x1A in a text"),
        (b'{"id": 12, "origin": "%s", "method": "LibGetInfo", "args": [%s0%s]}' % (origin, b"[" * 200, b"]" * 200),
         "null", "arrays nested 200 deep"),
        (b'{"id": 13, "origin": "%s", "method": "LibGetInfo", "args": [0]} x' % origin, "null", "text after the value"),
        (b'{"id": "%s", "origin": "%s", "method": "LibGetInfo", "args": [0]}' % (b"i" * 2000, origin), "null",
         "an id of 2000 characters"),
        (b'{"id": 14, "origin": "%s", "document": 5, "method": "LibGetInfo", "args": [0]}' % origin, "14",
         "a document that is no text"),
        (b'{"id": 15, "origin": "%s", "document": "%s", "method": "LibGetInfo", "args": [0]}' % (origin, b"d" * 257),
         "15", "a document of 257 characters"),
        (b'{"id": 16, "origin": "%s", "document": "a\\u0000b", "method": "LibGetInfo", "args": [0]}' % origin,
         "16", "a document with a control character"),
        (b'{"id": 17, "origin": "%s", "document": "a", "document": "b", "method": "LibGetInfo", "args": [0]}' % origin,
         "17", "a second document"),
    ]
    for payload, rid, what in cases:
        host.send_raw(frame(payload))
        raw = host.message()
        if not check(raw is not None, what + ": the host ended"):
            return
        answer = json.loads(raw.decode("utf-8"))
        equal(json.dumps(answer.get("id")), rid, what + ": id")
        equal(answer.get("error", {}).get("hresult"), "0x8007000D", what + ": error")
        check(answer.get("error", {}).get("message"), what + ": a message")
    # A length whose bytes include 0x1A (0x11A = 282): read as any other.
    body = b'{"id": "sub", "origin": "%s", "method": "LibGetInfo", "args": [1]}' % origin
    body += b" " * (0x11A - len(body))
    host.send_raw(frame(body))
    equal(json.loads(host.message() or b"{}").get("result"), [0, "Tessarn"], "a length with a 0x1A byte")


def test_origins(host):
    # The control's site lock judges the origin the request carries.
    sha1 = pki_text("full.sha1")
    cert = pki_text("full.b64")
    refused = [
        ("RawSign", (hash_hex(32, 1), "00", sha1, "sha256"), [34, "User didn't allow access to his certificates."]),
        ("CertEnum", (0,), [34]),
        ("CertHasPrivateKey", (cert,), 34),
    ]
    for method, args, expected in refused:
        equal(host.result(method, *args, origin=UNLISTED), expected, "%s from an unlisted origin (Prompt=0)" % method)
    equal(host.result("LibGetInfo", 0, origin=UNLISTED), [0, "Tessarn", "2.3.21113.0"],
          "LibGetInfo is never refused")
    for origin in ("file:///C:/pages/sign.html", "https://allowed.example@evil.example", "http://allowed.example",
                   "https://allowed.example.evil.example", "https://allowed.example./", "nonsense"):
        answer = host.call("CertHasPrivateKey", cert, origin=origin) or {}
        check(answer.get("result") == 34 or "error" in answer, "origin %s is refused: %r" % (origin, answer))
    # The allowed origin, in another spelling of it, is still served.
    for origin in (ALLOWED, "https://ALLOWED.example:443"):
        equal(host.result("CertHasPrivateKey", cert, origin=origin), 0, "the allowed origin %s" % origin)


def one_session(name, data, expected_code, expect_error):
    host = Host()
    host.send_raw(data)
    code = host.close()
    messages = []
    while True:
        m = host.messages.get(timeout=TIMEOUT)
        if m is None or not isinstance(m, bytes):
            check(m is None, name + ": a broken frame on the way out")
            break
        messages.append(json.loads(m.decode("utf-8")))
    equal(code, expected_code, name + ": exit code")
    if expect_error:
        check(messages and messages[-1].get("error", {}).get("hresult") == "0x8007000D",
              name + ": an error answer: %r" % (messages,))
    return messages


def test_stream_ends():
    ok = frame({"id": 1, "origin": ALLOWED, "method": "LibGetInfo", "args": [1]})
    one_session("nothing at all", b"", 0, False)
    m = one_session("a request, then the end", ok, 0, False)
    equal([x.get("result") for x in m], [[0, "Tessarn"]], "a request, then the end: the answer")
    m = one_session("a frame over 64 MiB", ok + struct.pack("<I", 64 * 1024 * 1024 + 1) + b"{}", 2, True)
    equal(m[0].get("result"), [0, "Tessarn"], "the request before the oversized frame is answered")
    one_session("a frame of 4 GiB - 1", struct.pack("<I", 0xFFFFFFFF), 2, True)
    one_session("a message cut short", struct.pack("<I", 100) + b'{"id": 1', 2, True)
    one_session("a length cut short", b"\x1a\x00", 2, True)


def unix_path(windows_path):
    """A path in the prefix's drive C as the driver reaches it."""
    drive, rest = windows_path.split(":", 1)
    check(drive.upper() == "C", "a path on drive C: %r" % windows_path)
    return os.path.join(os.environ["WINEPREFIX"], "drive_c", *[p for p in rest.split("\\") if p])


def test_log_levels(host):
    # One host process serves every origin: the level a page sets with
    # SetLogging is its own origin's, and the other origins' calls are not
    # written at it.
    answer = host.result("SetLogging", "TRACE", origin=ALLOWED, document="page-a")
    if not check(answer and answer[0] == 0, "SetLogging(TRACE) from an allowed page: %r" % (answer,)):
        return
    log_file = unix_path(answer[1])
    equal(host.result("GetLogging", origin=ALLOWED, document="page-a")[:2], [0, "TRACE"], "the page's own level")
    equal(host.result("GetLogging", origin=ALLOWED, document="page-b")[:2], [0, "TRACE"],
          "the level holds for the origin's other pages")
    equal(host.result("GetLogging", origin=ALLOWED_TOO)[:2], [0, "NONE"], "another allowed origin keeps its level")
    host.result("LibGetInfo", 5, origin=UNLISTED)
    host.result("LibGetInfo", 6, origin=ALLOWED_TOO)
    host.result("LibGetInfo", 7, origin=ALLOWED, document="page-c")
    with open(log_file, "rb") as f:
        raw = f.read()
    text = raw.decode("utf-8", "replace") + raw.decode("utf-16-le", "replace")
    check("LibGetInfo [7]" in text, "the origin that set TRACE is logged")
    check("LibGetInfo [5]" not in text, "an unlisted origin's call is not logged at another origin's level")
    check("LibGetInfo [6]" not in text, "an allowed origin's call is not logged at another origin's level")
    equal(host.result("SetLogging", "NONE", origin=ALLOWED)[0], 0, "the level back to NONE")


def main():
    fixture()
    host = Host()
    test_answers(host)
    written = test_signing(host)
    test_dispatch_errors(host)
    test_malformed_messages(host)
    test_origins(host)
    test_log_levels(host)
    equal(host.close(), 0, "the host ends cleanly at the end of its input")
    if host.stderr:
        print("host stderr: " + host.stderr.decode("utf-8", "replace"))
    test_stream_ends()

    if written:
        verify = subprocess.run(["bash", os.path.join(SOURCE, "tests/pki/verify-signatures.sh"), FILES, PKI_DIR,
                                 str(written)])
        check(verify.returncode == 0, "OpenSSL verifies every signature")
    check(written == 4, "four signatures made (%d)" % written)
    if failures:
        print("%d checks failed" % len(failures))
        return 1
    print("bridge host: every check passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
