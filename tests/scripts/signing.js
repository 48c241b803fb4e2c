// The control's main job: signatures with the key of a personal
// certificate. Every signature made here is written out and verified by
// OpenSSL after the run.
function items(a) { return new VBArray(a).toArray(); }
var pki = host.Env("TESSARN_PKI");
var out = host.Env("TESSARN_FILES");
function b64(name) { return host.ReadFile(pki + "\\" + name + ".b64"); }
function sha1(name) { return host.ReadFile(pki + "\\" + name + ".sha1"); }
var written = 0;
function keep(prefix, text) { host.WriteFile(out + "\\" + prefix + "-" + (++written) + text[0], text[1]); }

host.AddCert("Root", "root");
host.AddCert("CA", "ca");
var withKeys = ["full", "dns", "encipher", "plain", "expired", "selfsigned"];
for (var i = 0; i < withKeys.length; i++) host.ImportWithKey(withKeys[i]);
host.AddCert("MY", "decipher");  // no private key

var logFile = items(ctl.SetLogging("TRACE"))[1];
function logSince(mark) { return host.ReadFile(logFile).substr(mark); }
function logMark() { return host.ReadFile(logFile).length; }

// A deterministic "hash" of n bytes.
function hashHex(n, seed) {
  var h = "";
  for (var i = 0; i < n; i++) { var b = (i * 37 + seed * 11 + 5) & 255; h += (b < 16 ? "0" : "") + b.toString(16); }
  return h;
}

var algorithms = [["md5", 16], ["SHA1", 20], ["sha256", 32], ["Sha384", 48], ["SHA512", 64]];
for (i = 0; i < algorithms.length; i++) {
  var alg = algorithms[i][0], hash = hashHex(algorithms[i][1], i);
  var thumb = alg.toUpperCase() == "MD5" ? host.ReadFile(pki + "\\full.md5") : sha1("full");
  var r = items(ctl.RawSign(hash, "00 F1 23 45", thumb, alg));
  host.Equal(r.length, 2, "RawSign " + alg + ": two elements");
  host.Equal(r[0], 0, "RawSign " + alg + ": code");
  host.Check(/^[0-9a-f]{512}$/.test(r[1]), "RawSign " + alg + ": 512 lower-case hexadecimal characters");
  keep("raw", [".txt", "full " + alg + " " + hash + " " + r[1]]);

  r = items(ctl.SignRaw(b64("full"), hash, alg));
  host.Equal(r[0], 0, "SignRaw " + alg + ": code");
  host.Equal(r.length, 2, "SignRaw " + alg + ": two elements");
  keep("raw", [".txt", "full " + alg + " " + hash + " " + r[1]]);
}
// A certificate found by its SHA-1 thumbprint signs with SHA-256.
r = items(ctl.RawSign(hashHex(32, 9), "0A0B0C", sha1("dns").toUpperCase(), "sha256"));
host.Equal(r[0], 0, "RawSign with another certificate");
keep("raw", [".txt", "dns sha256 " + hashHex(32, 9) + " " + r[1]]);

var payloads = [["YWJj", "abc", "sha256"], ["YWJj", "abc", "SHA1"], ["AAECAw==", "\u0000\u0001\u0002\u0003", "sha512"]];
for (i = 0; i < payloads.length; i++) {
  r = items(ctl.SignPKCS7(b64("full"), payloads[i][0], payloads[i][2]));
  host.Equal(r.length, 2, "SignPKCS7 " + payloads[i][2] + ": two elements");
  host.Equal(r[0], 0, "SignPKCS7 " + payloads[i][2] + ": code");
  host.Check(/^[A-Za-z0-9+\/]+=*$/.test(r[1]), "SignPKCS7: one line of base64");
  keep("p7", [".b64", r[1]]);
  host.WriteFile(out + "\\p7-" + written + ".payload", payloads[i][1]);
  // What OpenSSL must find in it: the signer and the digest asked for.
  host.WriteFile(out + "\\p7-" + written + ".expect", "full " + payloads[i][2]);
}

// The PIN is reset between the length query and the real signing call.
var mark = logMark();
items(ctl.RawSign(hashHex(20, 1), "F12345", sha1("full"), "sha1"));
var log = logSince(mark);
var computed = log.indexOf("CCrypt::SignHash Hash Compute with Microsoft CSP (param == 32772)");
var pin = log.indexOf("W):Can't reset signature PIN, error code [");
var exchange = log.indexOf("W):Can't reset exchange PIN, error code [");
var admin = log.indexOf("W):Can't reset admin PIN, error code [");
var finished = log.indexOf("CCrypt::SignHash finished, signature length [256]");
host.Check(computed >= 0 && pin > computed && exchange > pin && admin > exchange && finished > admin,
           "the three PIN warnings between the two signing calls: " + log);
host.Check(log.indexOf("T:I):CTessarnCtrl::RawSign [") >= 0, "entry line");
host.Check(log.indexOf("CTessarnCtrl::RawSign - result stored (retCode=0)\r\r\n") >= 0, "exit line");
mark = logMark();
items(ctl.RawSign(hashHex(16, 1), "F12345", host.ReadFile(pki + "\\full.md5"), "md5"));
host.Check(logSince(mark).indexOf("(param == 32771)") >= 0, "MD5 signs with CALG_MD5");

// Failures.
mark = logMark();
r = items(ctl.RawSign(hashHex(28, 1), "F12345", sha1("full"), "sha224"));
host.Equal(r.join("|"), "33|Input hash type algorithm is not supported or is not valid.", "SHA224 cannot sign");
log = logSince(mark);
host.Check(log.indexOf("E):Can't find hash algrithm (SHA224).") >= 0 &&
           log.indexOf("E):Can't sign hash, error code [33]") > log.indexOf("E):Can't find hash algrithm (SHA224)."),
           "SHA224 refused by the inner layer");
host.Check(log.indexOf("errtext=Input hash type algorithm is not supported or is not valid..") >= 0, "errtext line");

mark = logMark();
host.Equal(ctl.RawSignCheck("F12345", sha1("full"), "SHA-256"), 33, "RawSignCheck SHA-256");
log = logSince(mark);
host.Check(log.indexOf("E):Invalid hash algorithm specified [SHA-256]!") >= 0, "invalid name logged");
host.Check(log.indexOf("CCryptSystem:FindCertificate start") < 0, "nothing searched");
host.Check(log.indexOf("T:T):CTessarnCtrl::RawSignCheck finished (retCode=33)\r\r\n") >= 0, "exit line");

// [RawSign arguments, its answer, RawSignCheck's code (it never looks at
// the hash), what the case is]
var texts = [
  [["abc", "F12345", sha1("full"), "sha1"], "32|Improper length of input hexadecimal string.", 0, "odd hash text"],
  [[hashHex(10, 1), "F12345", sha1("full"), "sha256"], "16|Cannot set hash.", 0, "hash shorter than the digest"],
  [[hashHex(64, 1), "F12345", sha1("full"), "sha256"], "16|Cannot set hash.", 0, "hash longer than the digest"],
  [[hashHex(20, 1), "F12346", sha1("full"), "sha1"], "1|Certificate can't be found.", 1, "serial number differs"],
  [[hashHex(20, 1), "3E", sha1("encipher"), "sha1"], "1|Certificate can't be found.", 1, "key may not sign"],
  [[hashHex(20, 1), "3D", sha1("decipher"), "sha1"], "10|Smartcard key can't be got.", 10, "no private key"],
  [[hashHex(20, 1), "7F00", sha1("plain"), "sha1"], "10|Smartcard key can't be got.", 10, "no key usage"],
  [[hashHex(20, 1), "05", sha1("selfsigned"), "sha1"],
   "25|The certificate or certificate chain is based on an untrusted root.", 25, "untrusted root"],
  [[hashHex(20, 1), "3F", sha1("expired"), "sha1"],
   "20|This certificate or one of the certificates in the certificate chain is not time-valid.", 20, "expired"]
];
for (i = 0; i < texts.length; i++) {
  var a = texts[i][0];
  host.Equal(items(ctl.RawSign(a[0], a[1], a[2], a[3])).join("|"), texts[i][1], "RawSign: " + texts[i][3]);
  host.Equal(ctl.RawSignCheck(a[1], a[2], a[3]), texts[i][2], "RawSignCheck: " + texts[i][3]);
}
host.Equal(ctl.RawSignCheck("F12345", sha1("full"), "sha1"), 0, "RawSignCheck of a usable certificate");

host.Equal(items(ctl.SignRaw(b64("orphan"), hashHex(20, 1), "sha1")).join("|"), "1", "SignRaw: not in MY");
host.Equal(items(ctl.SignRaw("not base64!", hashHex(20, 1), "sha1")).join("|"), "39", "SignRaw: not base64");
host.Equal(items(ctl.SignPKCS7(b64("full"), "YWJj", "SHA224")).join("|"), "33|", "SignPKCS7: signing fails");
mark = logMark();
host.Equal(items(ctl.SignPKCS7(b64("full"), "not base64!", "sha1")).join("|"), "39|", "SignPKCS7: payload not base64");
host.Check(logSince(mark).indexOf("CCrypt::SignData start") < 0, "the key is not touched");
host.Equal(items(ctl.SignRaw(b64("full"), hashHex(20, 1), "SHA-1")).join("|"), "33|", "SignRaw: unknown digest");
items(ctl.SetLogging("NONE"));
