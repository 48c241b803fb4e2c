#!/usr/bin/env python3
"""Drives a real browser through the Tessarn bridge.

One run: a private Wine prefix with the control registered and the test
PKI's keys in its stores; the extension built into a temporary folder and
loaded unpacked; a host manifest whose program is a wrapper that starts
tessarn-host.exe under Wine in that prefix; pages served from 127.0.0.1 that
call Tessarn.call and post what they got back to the server. The browser
runs headless and is closed when the pages have reported.

With --install policy the extension is not loaded unpacked: the browser
installs the package by itself, as an organisation's browsers do, because a
managed policy forces it from the test server (the CRX through update.xml
for Chromium, the XPI for Firefox). The browsers read machine-wide policy
files only (/etc/chromium/policies/managed/*.json; Firefox's
distribution/policies.json beside the program, or /etc/firefox-esr/policies):
the browser runs in a mount namespace of its own (unshare) where a private
folder is mounted over those places, so the policy is seen by that browser
alone and nothing is written to the machine. Needs root or user namespaces.

  browser_test.py --browser chromium|firefox --scenario NAME --arch x64
                  --source DIR --build DIR --template DIR --pki DIR
                  [--install unpacked|policy]

Never skips: a missing browser, or a machine that cannot run the 32-bit
host, fails the run (scripts/setup.sh brings both).
"""
import argparse
import base64
import http.server
import json
import os
import re
import shutil
import signal
import ssl
import subprocess
import sys
import tempfile
import threading
import time

HOST_NAME = "zorv.tessarn"
# Scenarios whose browser finds no host manifest: the host is not installed.
WITHOUT_HOST = {"nohost"}
REPORT_TIMEOUT = 300


def fail(message):
    print("FAIL: " + message, flush=True)
    sys.exit(1)


def log(message):
    print(message, flush=True)


def read_identity(extension_build):
    """The ids the extension build derived (bridge/extension/build.sh)."""
    ident = {}
    with open(os.path.join(extension_build, "identity.txt")) as f:
        for line in f:
            line = line.strip()
            if line and not line.startswith("#"):
                k, v = line.split("=", 1)
                ident[k] = v
    return ident


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, roots, handler=None):
        super().__init__(("127.0.0.1", 0), handler or Handler)
        self.roots = roots          # URL prefix -> folder
        self.fetched = {}           # path -> how often it was served
        self.asked = {}             # path -> how often it was asked for
        self.reports = {}
        self.cond = threading.Condition()


class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        path = self.path.split("?", 1)[0]
        with self.server.cond:
            self.server.asked[path] = self.server.asked.get(path, 0) + 1
        for prefix, folder in self.server.roots.items():
            if path.startswith(prefix):
                name = path[len(prefix):]
                full = os.path.realpath(os.path.join(folder, name))
                if full.startswith(os.path.realpath(folder) + os.sep) and os.path.isfile(full):
                    with open(full, "rb") as f:
                        body = f.read()
                    ctype = {"html": "text/html", "js": "application/javascript", "xml": "text/xml",
                             "crx": "application/x-chrome-extension", "xpi": "application/x-xpinstall"}.get(
                        name.rsplit(".", 1)[-1], "text/plain")
                    with self.server.cond:
                        self.server.fetched[path] = self.server.fetched.get(path, 0) + 1
                    self.send_response(200)
                    self.send_header("Content-Type", ctype + "; charset=utf-8")
                    self.send_header("Content-Length", str(len(body)))
                    self.end_headers()
                    self.wfile.write(body)
                    return
        self.send_error(404)

    def do_POST(self):
        if not self.path.startswith("/report/"):
            self.send_error(404)
            return
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length)
        name = self.path[len("/report/"):]
        with self.server.cond:
            self.server.reports[name] = json.loads(body)
            self.server.cond.notify_all()
        self.send_response(204)
        self.end_headers()


class Run:
    def __init__(self, args):
        self.args = args
        # Callers other than this script's main (the bridge benchmark) load
        # the extension unpacked.
        if not hasattr(args, "install"):
            args.install = "unpacked"
        self.work = tempfile.mkdtemp(prefix="tessarn-browser.")
        self.prefix = os.path.join(self.work, "prefix")
        self.files = os.path.join(self.work, "files")
        os.makedirs(self.files)
        self.host_exit_log = os.path.join(self.work, "host-exits")
        self.env = dict(os.environ)
        self.env.update({"WINEPREFIX": self.prefix, "WINEDEBUG": "-all", "WINEARCH": "win64",
                         "WINEDLLOVERRIDES": "mscoree,mshtml=", "TZ": "UTC", "LC_ALL": "C.UTF-8"})
        self.browser = None
        self.server = None
        self.mounts = []            # (private folder, machine-wide place)
        self.packages_url = None    # where the test server serves the packages
        self.tls = None        # (CA certificate, server certificate, key) when pages are served over https
        self.answerer = None

    # --- the Wine side ---------------------------------------------------
    def wine(self, *argv, check=True, env=None):
        # Output goes to a file, not a pipe: Wine's service processes inherit
        # the handles and outlive the program, so a pipe would never close.
        with tempfile.TemporaryFile(mode="w+", dir=self.work) as out:
            r = subprocess.run(["/usr/lib/wine/wine64"] + list(argv), env=env or self.env,
                               stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
            out.seek(0)
            r.stdout = out.read()
        if check and r.returncode != 0:
            fail("%s exited with %d: %s" % (" ".join(argv), r.returncode, r.stdout))
        return r

    def winpath(self, p):
        return "Z:" + os.path.realpath(p).replace("/", "\\")

    def make_prefix(self):
        a = self.args
        module = os.path.join(a.build, "Tessarn.ocx")
        # The module's registered template when the suite made one
        # (scripts/clone-prefix.sh); otherwise the module is registered here.
        cloned = subprocess.run(
            ["bash", "-c", '. "$1/scripts/clone-prefix.sh"; t=$(registered_template "$2" "$4") || t=$2; '
             'clone_prefix "$t" "$3" && { [ "$t" = "$2" ] || echo registered; }', "-",
             a.source, a.template, self.prefix, module], check=True, stdout=subprocess.PIPE, text=True)
        # One wineserver for the whole run: every program, the host included,
        # starts warm.
        subprocess.run(["wineserver", "-p"], env=self.env, check=True)
        if cloned.stdout.strip() != "registered":
            self.wine("C:\\windows\\system32\\regsvr32.exe", "/s", self.winpath(module))
        env = dict(self.env, TESSARN_PKI=self.winpath(a.pki), TESSARN_FILES=self.winpath(self.files))
        direct = os.path.join(a.source, "tests/browser/direct.js")
        r = self.wine(os.path.join(a.build, "tests/host/script_host.exe"), self.winpath(direct),
                      self.winpath(os.path.join(a.source, "bridge/page/tessarn.js")),
                      self.winpath(os.path.join(a.source, "tests/browser/pages/calls.js")),
                      check=False, env=env)
        if r.returncode != 0:
            fail("preparing the prefix through the script host failed:\n" + r.stdout)
        for line in self.args.policy or []:
            self.wine("reg", "add", *line.split("|"), "/f")

    def write_wrapper(self):
        host = os.path.join(self.args.build, "tessarn-host.exe")
        if self.args.host_command:
            command = self.args.host_command
        else:
            command = '/usr/lib/wine/wine64 "%s" "$@"' % host
        wrapper = os.path.join(self.work, "tessarn-host.sh")
        with open(wrapper, "w") as f:
            f.write("#!/bin/sh\n# Starts the Tessarn host in the test's Wine prefix.\n")
            for k in ("WINEPREFIX", "WINEDEBUG", "WINEARCH", "WINEDLLOVERRIDES", "TZ", "LC_ALL"):
                f.write("export %s='%s'\n" % (k, self.env[k]))
            if os.environ.get("DISPLAY"):
                f.write("export DISPLAY='%s'\n" % os.environ["DISPLAY"])
            f.write('echo "start $*" >> "%s"\n' % self.host_exit_log)
            f.write("%s 2>>'%s/host-stderr'\n" % (command, self.work))
            f.write('rc=$?\necho "exit $rc" >> "%s"\nexit $rc\n' % self.host_exit_log)
        os.chmod(wrapper, 0o755)
        return wrapper

    # --- the browser -----------------------------------------------------
    def build_extension(self):
        out = os.path.join(self.work, "bridge")
        subprocess.run(["bash", os.path.join(self.args.source, "bridge/extension/build.sh"), out], check=True)
        if getattr(self.args, "scenario", None) in BROWSER_WITHOUT_SENDER_ORIGIN:
            # As a browser that reports a frame's address but not its origin
            # (Firefox before it had MessageSender.origin): the built copy
            # hides the member from the extension's own code.
            for family in ("chromium", "firefox"):
                path = os.path.join(out, family, "background.js")
                with open(path) as f:
                    text = f.read()
                call = "senderOrigin(pagePort.sender,"
                if text.count(call) != 1:
                    fail("background.js no longer judges a port by senderOrigin(pagePort.sender, ...)")
                text = text.replace(call, "senderOrigin(withoutOrigin(pagePort.sender),")
                text += ("\nfunction withoutOrigin(sender) {\n  const copy = Object.assign({}, sender);\n"
                         "  delete copy.origin;\n  return copy;\n}\n")
                with open(path, "w") as f:
                    f.write(text)
        return out

    def host_manifest(self, wrapper, ident, family):
        m = {"name": HOST_NAME, "description": "Tessarn native host (test)", "path": wrapper, "type": "stdio"}
        if family == "firefox":
            m["allowed_extensions"] = [ident["gecko_id"]]
        else:
            m["allowed_origins"] = ["chrome-extension://%s/" % ident["chromium_id"]]
        return json.dumps(m, indent=2)

    # --- machine-wide policy, seen by one browser only -------------------
    def private_folder(self, place, name):
        """A copy of the machine's folder `place` (empty when it has none)
        that is mounted over it for the browser alone."""
        copy = os.path.join(self.work, "mounts", name)
        if os.path.isdir(place):
            shutil.copytree(place, copy, symlinks=True)
        else:
            os.makedirs(copy)
        self.mounts.append((copy, place))
        return copy

    def isolated(self, argv):
        """argv run in a mount namespace of its own in which each private
        folder lies over its machine-wide place."""
        if not self.mounts:
            return argv
        script = []
        for copy, place in self.mounts:
            if not os.path.isdir(place):
                fail("%s does not exist, so no private policy folder can be mounted over it: "
                     "is the browser installed from the distribution's package?" % place)
            script.append('mount --bind "%s" "%s"' % (copy, place))
        script.append('exec "$@"')
        namespace = ["unshare", "--mount", "--propagation", "private"]
        if os.geteuid() != 0:
            namespace = ["unshare", "--map-root-user", "--mount", "--propagation", "private"]
        return namespace + ["sh", "-c", " && ".join(script), "sh"] + argv

    def machine_state(self):
        """What the machine's policy places hold, to show that a run leaves
        them as they were."""
        state = {}
        for place in ("/etc/chromium", "/etc/firefox-esr", "/usr/lib/firefox-esr/distribution"):
            state[place] = sorted(os.path.relpath(os.path.join(b, n), place)
                                  for b, dirs, files in os.walk(place) for n in dirs + files)
        return state

    def start_chromium(self, ext, wrapper, ident, urls):
        profile = os.path.join(self.work, "chromium-profile")
        os.makedirs(os.path.join(profile, "NativeMessagingHosts"))
        if getattr(self.args, "scenario", None) not in WITHOUT_HOST:
            with open(os.path.join(profile, "NativeMessagingHosts", HOST_NAME + ".json"), "w") as f:
                f.write(self.host_manifest(wrapper, ident, "chromium"))
        if getattr(self.args, "install", "unpacked") == "policy":
            # The forced install from the test server: "id;update URL".
            etc = self.private_folder("/etc/chromium", "etc-chromium")
            managed = os.path.join(etc, "policies", "managed")
            os.makedirs(managed, exist_ok=True)
            with open(os.path.join(managed, "tessarn.json"), "w") as f:
                json.dump({"ExtensionInstallForcelist": ["%s;%s/update.xml" % (ident["chromium_id"], self.packages_url)]},
                          f, indent=2)
            load = []
        else:
            load = ["--load-extension=" + os.path.join(ext, "chromium"),
                    "--disable-background-networking"]
        argv = ["chromium", "--headless=new", "--user-data-dir=" + profile] + load + [
                "--disable-component-update", "--disable-sync",
                "--no-first-run", "--no-default-browser-check", "--disable-gpu", "--disable-quic",
                "--disable-popup-blocking",
                "--disable-features=DisableLoadExtensionCommandLineSwitch"]
        if os.geteuid() == 0 or self.mounts:
            argv.append("--no-sandbox")
        if self.tls:
            # Trusts exactly the test server's key, nothing else.
            argv.append("--ignore-certificate-errors-spki-list=" + spki_hash(self.tls[1]))
        self.browser = subprocess.Popen(self.isolated(argv + urls), stdout=open(os.path.join(self.work, "browser.log"), "w"),
                                        stderr=subprocess.STDOUT, start_new_session=True)

    def start_firefox(self, ext, wrapper, ident, urls):
        home = os.path.join(self.work, "home")
        hosts = os.path.join(home, ".mozilla", "native-messaging-hosts")
        os.makedirs(hosts)
        if getattr(self.args, "scenario", None) not in WITHOUT_HOST:
            with open(os.path.join(hosts, HOST_NAME + ".json"), "w") as f:
                f.write(self.host_manifest(wrapper, ident, "firefox"))
        profile = os.path.join(self.work, "firefox-profile")
        os.makedirs(os.path.join(profile, "extensions"))
        if getattr(self.args, "install", "unpacked") == "policy":
            # The policy the machine package writes into the registry on
            # Windows (Extensions: Install, Locked), here as policies.json:
            # Firefox reads the system folder's file first, when there is
            # one, else the one in the program's distribution folder, so both
            # places get the same file.
            policy = {"policies": {"Extensions": {"Install": [self.packages_url + "/tessarn.xpi"],
                                                  "Locked": [ident["gecko_id"]]}}}
            for place, name in (("/usr/lib/firefox-esr/distribution", "firefox-distribution"),
                                ("/etc/firefox-esr", "etc-firefox-esr")):
                folder = self.private_folder(place, name)
                if name.startswith("etc"):
                    folder = os.path.join(folder, "policies")
                    os.makedirs(folder, exist_ok=True)
                with open(os.path.join(folder, "policies.json"), "w") as f:
                    json.dump(policy, f, indent=2)
        else:
            xpi = os.path.join(profile, "extensions", ident["gecko_id"] + ".xpi")
            shutil.copy(os.path.join(ext, "packages", "tessarn.xpi"), xpi)
        prefs = {
            "xpinstall.signatures.required": False,
            "extensions.autoDisableScopes": 0,
            "extensions.enabledScopes": 15,
            "extensions.update.enabled": False,
            "extensions.getAddons.cache.enabled": False,
            "app.update.enabled": False,
            "app.normandy.enabled": False,
            "browser.shell.checkDefaultBrowser": False,
            "browser.startup.homepage_override.mstone": "ignore",
            "datareporting.policy.dataSubmissionEnabled": False,
            "datareporting.healthreport.uploadEnabled": False,
            "toolkit.telemetry.enabled": False,
            "network.captive-portal-service.enabled": False,
            "network.connectivity-service.enabled": False,
            "browser.safebrowsing.update.enabled": False,
            "browser.tabs.warnOnClose": False,
            "dom.disable_open_during_load": False,
            "browser.link.open_newwindow": 3,
            "remote.prefs.recommended": False,
        }
        with open(os.path.join(profile, "user.js"), "w") as f:
            for k, v in prefs.items():
                f.write("user_pref(%s, %s);\n" % (json.dumps(k), json.dumps(v)))
        if self.tls:
            # The test CA in the profile's own certificate database.
            for argv in (["certutil", "-N", "-d", "sql:" + profile, "--empty-password"],
                         ["certutil", "-A", "-d", "sql:" + profile, "-n", "Tessarn test CA", "-t", "C,,",
                          "-i", self.tls[0]]):
                r = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
                if r.returncode != 0:
                    fail("%s: %s" % (" ".join(argv), r.stdout))
        env = dict(os.environ, HOME=home, MOZ_HEADLESS="1")
        argv = ["firefox-esr", "--headless", "--no-remote", "--profile", profile] + urls
        self.browser = subprocess.Popen(self.isolated(argv), env=env, stdout=open(os.path.join(self.work, "browser.log"), "w"),
                                        stderr=subprocess.STDOUT, start_new_session=True)

    def start_browser(self, ext, wrapper, ident, urls):
        if self.args.browser == "chromium":
            self.start_chromium(ext, wrapper, ident, urls)
        else:
            self.start_firefox(ext, wrapper, ident, urls)

    def stop_browser(self):
        if self.browser and self.browser.poll() is None:
            os.killpg(self.browser.pid, signal.SIGTERM)
            try:
                self.browser.wait(15)
            except subprocess.TimeoutExpired:
                os.killpg(self.browser.pid, signal.SIGKILL)
                self.browser.wait()

    def wait_reports(self, names):
        deadline = time.time() + REPORT_TIMEOUT
        with self.server.cond:
            while not all(n in self.server.reports for n in names):
                left = deadline - time.time()
                if left <= 0 or (self.browser and self.browser.poll() is not None):
                    break
                self.server.cond.wait(min(left, 1))
            got = dict(self.server.reports)
        missing = [n for n in names if n not in got]
        if missing:
            self.dump_logs()
            fail("no report from %s within %d s%s" % (", ".join(missing), REPORT_TIMEOUT, self.install_state()))
        for n in names:
            if "pageError" in got[n]:
                fail("page %s: %s%s" % (n, got[n]["pageError"], self.install_state()))
        return got

    def install_state(self):
        """What the browser fetched of the packages, when it was to install
        them by policy: says whether it never read the policy, could not
        reach the server, or fetched the package and refused it."""
        if getattr(self.args, "install", "unpacked") != "policy":
            return ""
        with self.server.cond:
            asked = ["%s %s" % (p, "served" if p in self.server.fetched else "not found")
                     for p in sorted(self.server.asked) if p.startswith("/packages/")]
        return ("; the browser was to install the extension by policy from %s and asked for %s"
                % (self.packages_url, ", ".join(asked) if asked else
                   "nothing there (the policy was not read, or the address is wrong)"))

    def host_exits(self):
        try:
            with open(self.host_exit_log) as f:
                return [l.split() for l in f if l.strip()]
        except FileNotFoundError:
            return []

    def dump_logs(self):
        for name in ("browser.log", "host-stderr", "host-exits"):
            p = os.path.join(self.work, name)
            if os.path.exists(p):
                with open(p, errors="replace") as f:
                    text = f.read()[-4000:]
                log("--- %s ---\n%s" % (name, text))

    def cleanup(self):
        if self.answerer:
            self.answerer.stop()
        self.stop_browser()
        if self.server:
            self.server.shutdown()
        subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL)
        if os.environ.get("TESSARN_KEEP_PREFIX") == "1":
            log("kept " + self.work)
        else:
            shutil.rmtree(self.work, ignore_errors=True)


def make_tls(work):
    """A CA and a certificate for localhost and 127.0.0.1 signed by it."""
    d = os.path.join(work, "tls")
    os.makedirs(d)
    p = lambda n: os.path.join(d, n)
    steps = [
        ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", p("ca.key"), "-out", p("ca.pem"),
         "-days", "2", "-subj", "/CN=Tessarn test CA", "-addext", "basicConstraints=critical,CA:true",
         "-addext", "keyUsage=critical,keyCertSign,cRLSign"],
        ["openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", p("server.key"), "-out", p("server.csr"),
         "-subj", "/CN=localhost"],
    ]
    for argv in steps:
        subprocess.run(argv, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(p("ext.cnf"), "w") as f:
        f.write("subjectAltName=DNS:localhost,IP:127.0.0.1\nbasicConstraints=CA:false\n"
                "extendedKeyUsage=serverAuth\nkeyUsage=digitalSignature,keyEncipherment\n")
    subprocess.run(["openssl", "x509", "-req", "-in", p("server.csr"), "-CA", p("ca.pem"), "-CAkey", p("ca.key"),
                    "-CAcreateserial", "-out", p("server.pem"), "-days", "2", "-extfile", p("ext.cnf")],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return p("ca.pem"), p("server.pem"), p("server.key")


def spki_hash(cert):
    """The base64 SHA-256 of a certificate's public key, as Chromium pins it."""
    pub = subprocess.run(["openssl", "x509", "-in", cert, "-pubkey", "-noout"], check=True,
                         stdout=subprocess.PIPE).stdout
    der = subprocess.run(["openssl", "pkey", "-pubin", "-outform", "der"], input=pub, check=True,
                         stdout=subprocess.PIPE).stdout
    digest = subprocess.run(["openssl", "dgst", "-sha256", "-binary"], input=der, check=True,
                            stdout=subprocess.PIPE).stdout
    return base64.b64encode(digest).decode()


class Answerer:
    """Answers the site lock's questions the host shows, one after the other
    with the next of `buttons` (Deny once they run out), and counts them."""
    CAPTION = "access to your certificates"
    DENY = "306"

    def __init__(self, run, buttons):
        self.run = run
        self.buttons = list(buttons)
        self.shown = []
        self.stopping = threading.Event()
        exe = os.path.join(run.args.build, "tests", "bridge_host", "dialog_answer.exe")
        if not os.path.exists(exe):
            fail("missing " + exe)
        loader = "/usr/lib/wine/wine" if run.args.arch == "x86" else "/usr/lib/wine/wine64"
        self.argv = [loader, exe]
        self.thread = threading.Thread(target=self.loop, daemon=True)
        self.thread.start()

    def loop(self):
        while not self.stopping.is_set():
            n = len(self.shown)
            button = self.buttons[n] if n < len(self.buttons) else self.DENY
            shot = self.run.winpath(os.path.join(self.run.files, "question-%d.bmp" % n))
            r = subprocess.run(self.argv + [self.CAPTION, button, shot, "1500"], env=self.run.env,
                               stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            if r.returncode == 0:
                self.shown.append(r.stdout.decode("utf-8", "replace"))
            elif r.returncode != 1:
                self.shown.append("(a question that did not close: %d)" % r.returncode)

    def stop(self):
        self.stopping.set()
        self.thread.join(30)


# --- the scenarios -------------------------------------------------------
def payload_bytes(n=5000000):
    return bytes((i * 7 + 3) & 255 for i in range(n))


def same_outcome(a, b):
    """Whether the browser's answer matches the direct one. PKCS #7 messages
    carry their signing time, so those compare by code only; the error of a
    call that could not be dispatched compares by its HRESULT."""
    if a.get("method") != b.get("method"):
        return False
    if "error" in a or "error" in b:
        return ("error" in a and "error" in b and
                a["error"].get("hresult", "").lower() == b["error"].get("hresult", "").lower())
    if a["method"] == "SignPKCS7":
        return a["result"][0] == b["result"][0]
    return a["result"] == b["result"]


def check_methods(run, reports):
    got = reports["methods"]
    if not got.get("available"):
        fail("Tessarn.available() said no transport exists in the browser")
    with open(os.path.join(run.files, "direct.json"), encoding="utf-8-sig") as f:
        direct = json.load(f)
    results = got["results"]
    if len(results) != len(direct):
        fail("the page made %d calls, the script host %d" % (len(results), len(direct)))
    for i, (a, b) in enumerate(zip(results, direct)):
        if not same_outcome(a, b):
            fail("call %d (%s): the browser got %s, COM answered %s" % (i, b.get("method"), json.dumps(a)[:400],
                                                                        json.dumps(b)[:400]))
    log("%d calls answered in the browser as through COM" % len(results))
    by_method = {}
    for r in results:
        by_method.setdefault(r["method"], []).append(r)
    if by_method["LibGetInfo"][0].get("result") != [0, "Tessarn", "2.3.21113.0"]:
        fail("LibGetInfo(0): %s" % json.dumps(by_method["LibGetInfo"][0]))
    if by_method["StringToBinary"][0].get("result") != [0, {"bytes": "AQID"}]:
        fail("StringToBinary: %s" % json.dumps(by_method["StringToBinary"][0]))
    # The signatures made in the browser, verified by OpenSSL.
    n = 0
    for c in results:
        r = c.get("result")
        if c["method"] not in ("RawSign", "SignRaw", "SignPKCS7") or not r or r[0] != 0:
            continue
        n += 1
        a = c["args"]
        if c["method"] == "RawSign":
            with open(os.path.join(run.files, "raw-%d.txt" % n), "w") as f:
                f.write("full %s %s %s\n" % (a[3], a[0], r[1]))
        elif c["method"] == "SignRaw":
            with open(os.path.join(run.files, "raw-%d.txt" % n), "w") as f:
                f.write("full %s %s %s\n" % (a[2], a[1], r[1]))
        else:
            with open(os.path.join(run.files, "p7-%d.b64" % n), "w") as f:
                f.write(r[1])
            with open(os.path.join(run.files, "p7-%d.payload" % n), "wb") as f:
                f.write(base64.b64decode(a[1]))
            with open(os.path.join(run.files, "p7-%d.expect" % n), "w") as f:
                f.write("full %s\n" % a[2])
    verify = subprocess.run(["bash", os.path.join(run.args.source, "tests/pki/verify-signatures.sh"),
                             run.files, run.args.pki, "4"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True)
    if verify.returncode != 0:
        fail("OpenSSL: " + verify.stdout)
    log(verify.stdout.strip())
    check_host_ends(run, 1)
    # The next page's call starts a new host.
    again = run.wait_reports(["again"])["again"]
    if again.get("result") != [0, "Tessarn", "2.3.21113.0"]:
        fail("the call after the host ended: %s" % json.dumps(again))
    starts = [e for e in run.host_exits() if e[0] == "start"]
    if len(starts) != 2:
        fail("expected a second host for the call after the first ended, %d were started" % len(starts))
    log("the next call started the host again")
    check_host_ends(run, 2)


def check_host_ends(run, count):
    # The page has left: the extension closes its port once idle, and the
    # host must end by itself, with exit code 0.
    deadline = time.time() + 60
    while time.time() < deadline:
        exits = [e for e in run.host_exits() if e[0] == "exit"]
        if len(exits) >= count:
            if exits[count - 1][1] != "0":
                run.dump_logs()
                fail("the host ended with exit code %s after the port closed" % exits[count - 1][1])
            log("the host ended with exit code 0 after the extension closed the port")
            return
        time.sleep(0.5)
    run.dump_logs()
    fail("the host did not end within 60 s of the port closing")


def check_sitelock(run, reports):
    got = reports["sitelock"]
    for key in ("plain", "forged"):
        r = got.get(key, {}).get("result")
        if not r or r[0] != 34:
            fail("%s request from an unlisted origin: expected code 34, got %s" % (key, json.dumps(got.get(key))))
    log("an unlisted origin gets code 34, also when its message claims a listed origin: %s" % got["plain"]["result"][1])


def check_frames(run, reports):
    got = reports["frames"]
    page = got.get("page", {}).get("result")
    if not page or page[0] != 0:
        fail("the allowed page's own signature: %s" % json.dumps(got.get("page")))
    frame = got.get("frame", {}).get("result")
    if not frame or frame[0] != 34:
        fail("the unlisted frame inside an allowed page: expected code 34, got %s" % json.dumps(got.get("frame")))
    if "rideAnswered" in got:
        fail("a request the frame posted into the page's window was answered: %s" % json.dumps(got["rideAnswered"])[:300])
    log("an unlisted frame in an allowed page gets code 34, and its request posted into the page is ignored")


def check_sandbox(run, reports):
    got = reports["sandbox"]
    page = got.get("page", {}).get("result")
    if not page or page[0] != 0:
        fail("the allowed page's own call: %s" % json.dumps(got.get("page"))[:300])
    frame = got.get("frame", {})
    if frame.get("origin") != "null":
        fail("the sandboxed frame's origin is %r, not opaque: the page is wrong" % frame.get("origin"))
    r = frame.get("result")
    if not r or r[0] != 34:
        fail("a sandboxed frame of the allowed address: expected code 34, got %s" % json.dumps(frame)[:300])
    log("a sandboxed frame at the allowed address is judged by its opaque origin: code 34")


def check_large(run, reports):
    got = reports["large"]
    r = got.get("result")
    if not r or r[0] != 0:
        fail("SignPKCS7 of 5 MB: %s" % json.dumps(got)[:400])
    if len(r[1]) < 6000000:
        fail("the 5 MB message came back with only %d characters" % len(r[1]))
    with open(os.path.join(run.files, "p7-1.b64"), "w") as f:
        f.write(r[1])
    with open(os.path.join(run.files, "p7-1.payload"), "wb") as f:
        f.write(payload_bytes())
    with open(os.path.join(run.files, "p7-1.expect"), "w") as f:
        f.write("full sha256\n")
    verify = subprocess.run(["bash", os.path.join(run.args.source, "tests/pki/verify-signatures.sh"),
                             run.files, run.args.pki, "1"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True)
    if verify.returncode != 0:
        fail("OpenSSL: " + verify.stdout)
    log("5,000,000 bytes signed in %d ms; %d characters of answer joined; %s" % (
        got["ms"], len(r[1]), verify.stdout.strip()))


def check_tabs(run, reports):
    for tab in ("A", "B"):
        got = reports["tab-" + tab]
        if got["wrong"] or got["seen"] != 20:
            fail("tab %s: %s" % (tab, json.dumps(got)[:600]))
    starts = [e for e in run.host_exits() if e[0] == "start"]
    if len(starts) != 1:
        fail("expected one host for both tabs, %d were started" % len(starts))
    log("two tabs, 20 calls each at once, every answer to its own request, one host")


def verify_raw_and_message(run, files, pki, raw_line, message, payload, expect, what="OpenSSL"):
    """Writes one raw signature (raw-1.txt: "<signer> <algorithm> <hash> <signature>")
    and one message (p7-2.*) into `files` and has OpenSSL verify both against
    `pki`; answers what it printed."""
    with open(os.path.join(files, "raw-1.txt"), "w") as f:
        f.write(raw_line + "\n")
    with open(os.path.join(files, "p7-2.b64"), "w") as f:
        f.write(message)
    with open(os.path.join(files, "p7-2.payload"), "wb") as f:
        f.write(payload)
    with open(os.path.join(files, "p7-2.expect"), "w") as f:
        f.write(expect + "\n")
    verify = subprocess.run(["bash", os.path.join(run.args.source, "tests/pki/verify-signatures.sh"),
                             files, pki, "2"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if verify.returncode != 0:
        fail("%s: %s" % (what, verify.stdout))
    return verify.stdout.strip()


def check_policy(run, reports):
    results = reports["policy"]["results"]
    if [r["method"] for r in results] != ["RawSign", "SignPKCS7"]:
        fail("the page made the calls %s" % json.dumps(results)[:400])
    for r in results:
        if not r.get("result") or r["result"][0] != 0:
            fail("%s through the extension the browser installed: %s" % (r["method"], json.dumps(r)[:400]))
    raw, p7 = results
    verified = verify_raw_and_message(run, run.files, run.args.pki,
                                      "full %s %s %s" % (raw["args"][3], raw["args"][0], raw["result"][1]),
                                      p7["result"][1], base64.b64decode(p7["args"][1]), "full %s" % p7["args"][2])
    with run.server.cond:
        fetched = dict(run.server.fetched)
    wanted = ["/packages/update.xml", "/packages/tessarn.crx"] if run.args.browser == "chromium" else ["/packages/tessarn.xpi"]
    for path in wanted:
        if not fetched.get(path):
            fail("the extension answered, but the browser never fetched %s: it was not installed by the policy" % path)
    log("the browser installed the extension by policy (fetched %s) and a page signed through it; %s"
        % (", ".join(wanted), verified))


def check_page_library(run, reports):
    """The npm package's example page (docs/examples/page-library) listed,
    signed a hash and signed a document; OpenSSL verifies both signatures,
    and the documentation's OpenSSL commands run on them as written. Then
    the README's example page (bridge/page/example.html), clicked as a
    person clicks it, listed and signed."""
    got = reports["page-library"]
    if (got.get("readiness") or {}).get("transport") != "extension":
        fail("ready() through the extension: %s" % json.dumps(got.get("readiness")))
    if got.get("listed", 0) < 1:
        fail("listCertificates() found nothing: %s" % json.dumps(got)[:400])
    import hashlib
    if hashlib.sha256(got["text"].encode("utf-8")).hexdigest() != got["hash"]:
        fail("the page's SHA-256 of its text is %s" % got["hash"])
    verified = verify_raw_and_message(run, run.files, run.args.pki, "full SHA256 %s %s" % (got["hash"], got["hashSignature"]),
                                      got["message"], got["text"].encode("utf-8"), "full sha256")
    log("the page library's page, as %s: %s" % (got["subject"], verified))
    docs = subprocess.run([sys.executable, os.path.join(run.args.source, "tests/docs/doc_commands.py"), "run",
                           run.args.source, "--pki", run.args.pki, "--hash", got["hash"],
                           "--signature", got["hashSignature"], "--message", got["message"],
                           "--content", got["text"]], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if docs.returncode != 0:
        fail("the documentation's OpenSSL commands on the browser's signatures:\n" + docs.stdout)
    log(docs.stdout.strip())
    # The mock's signatures, made in this browser, against the fixture's
    # certificates.
    mock, fixture = got["mock"], os.path.join(run.args.page, "fixture")
    mock_files, mock_pki = os.path.join(run.work, "mock-files"), os.path.join(run.work, "mock-pki")
    os.makedirs(mock_files)
    os.makedirs(mock_pki)
    for name, target in (("signer.pem", "jana.pem"), ("ca.pem", "ca.pem"), ("root.pem", "root.pem")):
        shutil.copy(os.path.join(fixture, name), os.path.join(mock_pki, target))
    log("the mock in the browser: " + verify_raw_and_message(
        run, mock_files, mock_pki, "jana SHA256 %s %s" % (mock["hash"], mock["hashSignature"]), mock["message"],
        got["text"].encode("utf-8"), "jana sha256", "OpenSSL on the mock's signatures made in the browser"))
    example = run.wait_reports(["example-page"])["example-page"]
    out = example.get("out", "")
    if "failure" in example or "failed" in out:
        fail("the README's example page: %s\n%s" % (example.get("failure"), out))
    listed = re.findall(r'CertEnum: "code 0, (\d+) certificate', out)
    if len(listed) != 2 or int(listed[0]) < 1 or not re.search(r'SignPKCS7: "a message of \d+ base64 characters"', out):
        fail("the README's example page did not list and sign:\n" + out)
    log("the README's example page listed %s certificate(s) and signed" % listed[0])
    check_react(run, run.wait_reports(["react-page"])["react-page"])


def check_react(run, got):
    """The React example (docs/examples/react, built with Vite): listed,
    signed a hash and a document with the chosen certificate; OpenSSL
    verifies both."""
    if "failure" in got:
        fail("the React example: %s (status %s, shown %s)" % (got["failure"], got.get("status"), got.get("shown")))
    if not re.match(r"^Tessarn 2\.3\.21113\.0 \(extension\)$", got.get("status") or ""):
        fail("the React example's status: %s" % got.get("status"))
    import hashlib
    if hashlib.sha256(got["text"].encode("utf-8")).hexdigest() != got["hash"]:
        fail("the React example's SHA-256 of its text is %s" % got["hash"])
    files = os.path.join(run.work, "react-files")
    os.makedirs(files)
    verified = verify_raw_and_message(run, files, run.args.pki, "full SHA256 %s %s" % (got["hash"], got["signature"]),
                                      got["message"], got["text"].encode("utf-8"), "full sha256",
                                      "OpenSSL on the React example's signatures")
    log("the React example listed %d certificate(s) and signed: %s" % (got["listed"], verified))


def check_nohost(run, reports):
    """The extension runs, but the browser finds no native host: both page
    libraries say so, in the words the troubleshooting page names."""
    got = reports["nohost"]
    error = got.get("error") or {}
    # Firefox gives the extension no reason for a port that never opened.
    browser_says = {"chromium": "The Tessarn host ended: Specified native messaging host not found.",
                    "firefox": "The Tessarn host ended."}[run.args.browser]
    if got.get("es3Ready") is not True or got.get("es3Status") != "no-host":
        fail("tessarn.js: ready() %s, status() %s" % (got.get("es3Ready"), got.get("es3Status")))
    if error.get("code") != "NO_HOST" or not error.get("isError") or browser_says not in (error.get("detail") or ""):
        fail("@zorv/tessarn ready(): expected NO_HOST with %r, got %s" % (browser_says, json.dumps(error)))
    if run.host_exits():
        fail("a host was started: %s" % run.host_exits())
    log("no host: tessarn.js status() says no-host, ready() rejects with NO_HOST (%s)" % error["detail"])


# Scenarios run as a browser that does not report MessageSender.origin.
BROWSER_WITHOUT_SENDER_ORIGIN = ("sandbox_no_origin",)

# The user's answers to the questions of the consent scenario, in order.
ALLOW_ONCE, DENY = "304", "306"
CONSENT_ANSWERS = [ALLOW_ONCE, ALLOW_ONCE, DENY, ALLOW_ONCE]


def check_consent(run, reports):
    run.answerer.stop()
    shown = run.answerer.shown
    got = {k: reports[k] for k in ("c1", "c2", "c3", "c4", "c5")}
    log("questions: %d; answers: %s" % (len(shown), json.dumps(got)))
    expect = {
        "c1": ({"first": 0, "again": 0}, "Allow once, then the same document's next call"),
        "c2": ({"first": 0}, "the reloaded document (asked again, allowed once)"),
        "c3": ({"first": 34}, "the next document (asked again, denied)"),
        "c4": ({"first": 34}, "the origin's next document after the host stood idle (not asked)"),
        "c5": ({"first": 0}, "another origin (asked, allowed once)"),
    }
    for key, (want, what) in expect.items():
        for field, value in want.items():
            if got[key].get(field) != value:
                fail("%s: %s is %r, expected %r" % (what, field, got[key].get(field), value))
    if len(shown) != len(CONSENT_ANSWERS):
        fail("expected %d questions (one for each document's first call), %d came:\n%s" % (
            len(CONSENT_ANSWERS), len(shown), "\n---\n".join(shown)))
    first, other = got["c1"]["origin"], got["c5"]["origin"]
    names = [first, first, first, other]
    for i, (text, origin) in enumerate(zip(shown, names)):
        if origin.split("//", 1)[1].split(":")[0] not in text:
            fail("question %d does not name %s: %s" % (i + 1, origin, text))
    starts = [e for e in run.host_exits() if e[0] == "start"]
    if len(starts) != 1:
        fail("the host holding a denial was let go: %d hosts were started" % len(starts))
    log("Allow once held for one document; Deny for the origin, past an idle spell; 4 questions, one host")


SCENARIOS = {
    # name: (pages as (host, path), reports awaited, check)
    "methods": ([("allowed", "/methods.html")], ["methods"], check_methods),
    "sitelock": ([("unlisted", "/sitelock.html?claim={allowed}")], ["sitelock"], check_sitelock),
    "frames": ([("allowed", "/frames.html?unlisted={unlisted}")], ["frames"], check_frames),
    "large": ([("allowed", "/large.html")], ["large"], check_large),
    "sandbox": ([("allowed", "/sandbox.html")], ["sandbox"], check_sandbox),
    "consent": ([("secure", "/consent.html?other={secure_other}")], ["c1", "c2", "c3", "c4", "c5"], check_consent),
    "sandbox_no_origin": ([("allowed", "/sandbox.html")], ["sandbox"], check_sandbox),
    "tabs": ([("allowed", "/two-tabs.html")], ["tab-A", "tab-B"], check_tabs),
    "policy": ([("allowed", "/policy.html")], ["policy"], check_policy),
    "page_library": ([("allowed", "/page-library.html")], ["page-library"], check_page_library),
    "nohost": ([("allowed", "/nohost.html")], ["nohost"], check_nohost),
}


def check_runs_here(args):
    """Fails a run this machine cannot make: no such browser, or a 32-bit
    host where 32-bit programs cannot run. Never a skip: scripts/setup.sh
    brings both."""
    program = {"chromium": "chromium", "firefox": "firefox-esr"}[args.browser]
    if not shutil.which(program):
        fail("%s is not installed: scripts/setup.sh installs it" % program)
    if args.arch == "x86":
        try:
            runs_32bit = subprocess.run(["/usr/lib/wine/wine", "--version"], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL).returncode == 0
        except OSError:  # "Exec format error": the kernel has no 32-bit support
            runs_32bit = False
        if not runs_32bit:
            fail("this machine cannot run 32-bit programs: scripts/setup.sh brings the emulator that runs them")


def check_private_mounts(args):
    """The policy scenarios need a mount namespace of their own: as root, or
    through a user namespace. Without one the run fails here, saying so,
    rather than touching the machine's policy folders."""
    if args.install != "policy":
        return
    probe = ["unshare", "--mount", "--propagation", "private", "true"]
    if os.geteuid() != 0:
        probe = ["unshare", "--map-root-user", "--mount", "--propagation", "private", "true"]
    try:
        r = subprocess.run(probe, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    except OSError as e:
        fail("unshare (util-linux) cannot run: %s" % e)
    if r.returncode != 0:
        fail("cannot make a private mount namespace for the browser's policy folders (%s): run as root with "
             "the right to mount (CAP_SYS_ADMIN), or allow user namespaces" % r.stdout.strip())


def check_inputs(args):
    for need in (os.path.join(args.build, "tessarn-host.exe"), os.path.join(args.template, ".tessarn-ready")):
        if not args.host_command and not os.path.exists(need):
            fail("missing " + need)


def serve_pages(run, page_dirs, handler=None):
    """Serves the page library, the test PKI and every file of page_dirs
    from 127.0.0.1; returns the origins pages are opened from: "allowed"
    (the one the policy lists) and "unlisted" (the same server by another
    name)."""
    staging = os.path.join(run.work, "site")
    os.makedirs(staging)
    shutil.copy(os.path.join(run.args.source, "bridge/page/tessarn.js"), staging)
    shutil.copy(os.path.join(run.args.source, "bridge/page/example.html"), staging)
    for pages_dir in page_dirs:
        for name in os.listdir(pages_dir):
            shutil.copy(os.path.join(pages_dir, name), staging)
    roots = {"/pki/": run.args.pki, "/": staging}
    # The npm package's module and the example compiled against it.
    page = getattr(run.args, "page", None)
    if page:
        roots = {"/tessarn/": os.path.join(page, "pkg", "dist"), "/example/": os.path.join(page, "example", "dist"),
                 "/react/": os.path.join(page, "react", "dist"), **roots}
    run.server = Server(roots, handler)
    if run.tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(run.tls[1], run.tls[2])
        run.server.socket = context.wrap_socket(run.server.socket, server_side=True)
    threading.Thread(target=run.server.serve_forever, daemon=True).start()
    port = run.server.server_address[1]
    return {"allowed": "http://127.0.0.1:%d" % port, "unlisted": "http://localhost:%d" % port,
            "secure": "https://localhost:%d" % port, "secure_other": "https://127.0.0.1:%d" % port}


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--browser", required=True, choices=["chromium", "firefox"])
    p.add_argument("--scenario", required=True, choices=sorted(SCENARIOS))
    p.add_argument("--arch", default="x64")
    p.add_argument("--source", required=True)
    p.add_argument("--build", required=True)
    p.add_argument("--template", required=True)
    p.add_argument("--pki", required=True)
    p.add_argument("--page", help="the page library's build folder (build/page)")
    p.add_argument("--policy", action="append",
                   help="a reg add argument list separated by |; {allowed} is the allowed origin")
    p.add_argument("--host-command", help="run this instead of the host under Wine (development only)")
    p.add_argument("--install", choices=["unpacked", "policy"], default="unpacked",
                   help="load the extension unpacked, or let a managed policy install the package")
    args = p.parse_args()

    check_runs_here(args)
    check_inputs(args)
    check_private_mounts(args)

    pages, awaited, check = SCENARIOS[args.scenario]
    run = Run(args)
    try:
        if args.scenario == "consent":
            run.tls = make_tls(run.work)
        hosts = serve_pages(run, [os.path.join(args.source, "tests/browser/pages")])
        allowed = hosts["allowed"]
        args.policy = [line.replace("{allowed}", allowed) for line in (args.policy or [])]
        started = time.time()
        run.make_prefix()
        log("prefix ready in %.1f s" % (time.time() - started))
        wrapper = run.write_wrapper()
        ext = run.build_extension()
        ident = read_identity(ext)
        if args.install == "policy":
            # The packages served as an administrator would: update.xml names
            # the CRX at the server's address.
            run.packages_url = allowed + "/packages"
            run.server.roots["/packages/"] = os.path.join(ext, "packages")
            subprocess.run(["bash", os.path.join(args.source, "bridge/extension/update-manifest.sh"), ext,
                            run.packages_url], check=True, stdout=subprocess.DEVNULL)
            before = run.machine_state()
        urls = [hosts[h] + path.replace("{allowed}", allowed).replace("{unlisted}", hosts["unlisted"])
                .replace("{secure_other}", hosts["secure_other"]) for h, path in pages]
        if args.scenario == "consent":
            # Dialogs drawn by Wine itself under Xvfb, answered by another process.
            run.wine("reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N", "/f")
            run.answerer = Answerer(run, CONSENT_ANSWERS)
        started = time.time()
        run.start_browser(ext, wrapper, ident, urls)
        reports = run.wait_reports(awaited)
        log("%s reported in %.1f s" % (", ".join(awaited), time.time() - started))
        check(run, reports)
        run.stop_browser()
        if args.install == "policy":
            if run.machine_state() != before:
                fail("the machine's policy folders changed during the run: %s -> %s"
                     % (json.dumps(before), json.dumps(run.machine_state())))
            log("the machine's policy folders are as they were: the policy was seen by this browser alone")
        log("PASS")
        return 0
    except SystemExit:
        # What the browser and the host said, for a failure that was not
        # expected to need them (a host that ended at its first call).
        run.dump_logs()
        raise
    finally:
        run.cleanup()


if __name__ == "__main__":
    sys.exit(main())
