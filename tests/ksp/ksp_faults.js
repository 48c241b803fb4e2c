// Keys of key storage providers that cannot sign: a provider or key that
// is not there, a hash that does not suit the key, a provider that fails,
// cancels or answers a signature of the wrong length. Each answers its
// code and log line, leaves no handle of the provider open, and never signs
// with another key.
function items(a) { return new VBArray(a).toArray(); }
var pki = host.Env("TESSARN_PKI");
var record = host.Env("TEMP") + "\\ksp-record.txt";
host.SetEnv("TESSARN_KSP_RECORD", record);
function b64(name) { return host.ReadFile(pki + "\\" + name + ".b64"); }
function sha1(name) { return host.ReadFile(pki + "\\" + name + ".sha1"); }
function md5(name) { return host.ReadFile(pki + "\\" + name + ".md5"); }
var logFile = items(ctl.SetLogging("TRACE"))[1];
function logMark() { return host.FileExists(logFile) ? host.ReadFile(logFile).length : 0; }
function logSince(mark) { return host.ReadFile(logFile).substr(mark); }

function hashHex(n, seed) {
  var h = "";
  for (var i = 0; i < n; i++) { var b = (i * 41 + seed * 13 + 3) & 255; h += (b < 16 ? "0" : "") + b.toString(16); }
  return h;
}

function takeRecord() {
  var text = host.FileExists(record) ? host.ReadFile(record) : "";
  host.DeleteFile(record);
  var lines = text.split("\n"), kept = [];
  for (var i = 0; i < lines.length; i++) if (lines[i].length) kept.push(lines[i]);
  return kept;
}

// No handle left open, no key other than `key` opened, and the number of
// signatures the provider made.
function checkRecord(what, key) {
  var lines = takeRecord(), open = {}, signs = 0;
  for (var i = 0; i < lines.length; i++) {
    var f = lines[i].split(" ");
    if (f[0] == "open-provider") open[f[1]] = "provider";
    else if (f[0] == "open-key") {
      open[f[1]] = f[2];
      host.Equal(f[2], key, what + ": opened only the certificate's key");
    } else if (f[0] == "free") {
      host.Check(open[f[1]] !== undefined, what + ": freed a handle it did not hold: " + lines[i]);
      delete open[f[1]];
    } else if (f[0] == "free-bad") host.Fail(what + ": bad free: " + lines[i]);
    else if (f[0] == "signed") signs++;
  }
  for (var h in open) host.Fail(what + ": handle " + h + " (" + open[h] + ") left open");
  return signs;
}

// name, serial, key the double should be asked for (or "" for none), fault,
// algorithm, hash bytes, SignRaw's code, SignPKCS7's code, RawSign's code,
// log line.
var cases = [
  ["dns", "0A0B0C", "", "", "SHA256", 32, 14, 14, 10,
   "Can't acquire private key, error code [80090013]"],
  ["othername", "1C", "no-such-key", "", "SHA256", 32, 14, 14, 10,
   "Can't acquire private key, error code [80090016]"],
  // A machine key the property does not call one: not in the user's scope.
  ["altmarker", "41", "machine-ksprsa2048", "", "SHA1", 20, 14, 14, 10,
   "Can't acquire private key, error code [80090016]"],
  ["kspp256", "52", "kspp256", "", "MD5", 16, 33, 33, 33,
   "Can't sign with hash algorithm (MD5) and key algorithm [ECDSA]"],
  ["kspp256", "52", "kspp256", "", "SHA256", 20, 16, null, 16,
   "Can't set hash data, hash length [20] is not the digest length [32]"],
  ["ksprsa2048", "50", "ksprsa2048", "group:DH", "SHA256", 32, 14, 14, 14,
   "Key algorithm [DH] can't sign a hash"],
  ["ksprsa2048", "50", "ksprsa2048", "sign:80090016", "SHA256", 32, 17, 41, 17,
   "Can't get signature, error code [80090016]"],
  // A provider whose policy refuses SHA-1 with EC keys.
  ["kspp384", "53", "kspp384", "sign:80090029", "SHA1", 20, 17, 41, 17,
   "Can't get signature, error code [80090029]"],
  ["kspp256", "52", "kspp256", "size:80090009", "SHA256", 32, 17, 41, 17,
   "Can't get signature length, error code [80090009]"],
  ["ksprsa2048", "50", "ksprsa2048", "short", "SHA512", 64, 17, 41, 17,
   "Can't get signature, signature length [255] is not the key's [256]"],
  ["kspp256", "52", "kspp256", "short", "SHA384", 48, 17, 41, 17,
   "Can't get signature, signature length [63] is not the key's [64]"],
  // The user cancels the provider's PIN dialog (a card's provider answers
  // SCARD_W_CANCELLED_BY_USER, others ERROR_CANCELLED).
  ["kspp384", "53", "kspp384", "sign:8010006e", "SHA256", 32, 17, 41, 17,
   "Can't get signature, error code [8010006e]"],
  ["ksprsa3072", "51", "machine-ksprsa3072", "sign:800704c7", "SHA256", 32, 17, 41, 17,
   "Can't get signature, error code [800704c7]"]];

takeRecord();
for (var i = 0; i < cases.length; i++) {
  var c = cases[i], what = c[0] + " " + c[4] + " " + c[3];
  host.SetEnv("TESSARN_KSP_FAULT", c[3]);
  var hash = hashHex(c[5], i);
  var mark = logMark();
  var r = items(ctl.SignRaw(b64(c[0]), hash, c[4]));
  host.Equal(r[0], c[6], "SignRaw " + what + ": code");
  host.Equal(r[1], "", "SignRaw " + what + ": no signature");
  host.Check(logSince(mark).indexOf(c[9]) >= 0, "SignRaw " + what + ": the log says " + c[9]);
  // Only a provider that answers a short signature has made one; the
  // control never hands it on.
  var made = c[3] == "short" ? 1 : 0;
  host.Equal(checkRecord("SignRaw " + what, c[2]), made, "SignRaw " + what + ": signatures the provider made");

  if (c[7] !== null) {
    r = items(ctl.SignPKCS7(b64(c[0]), "YWJj", c[4]));
    host.Equal(r[0], c[7], "SignPKCS7 " + what + ": code");
    host.Equal(r[1], "", "SignPKCS7 " + what + ": no message");
    // The message signs its attributes' hash, which always has the
    // digest's length.
    host.Equal(checkRecord("SignPKCS7 " + what, c[2]), made, "SignPKCS7 " + what + ": signatures the provider made");
  }

  var thumb = c[4] == "MD5" ? md5(c[0]) : sha1(c[0]);
  r = items(ctl.RawSign(hash, c[1], thumb, c[4]));
  host.Equal(r[0], c[8], "RawSign " + what + ": code " + r[1]);
  host.Equal(checkRecord("RawSign " + what, c[2]), made, "RawSign " + what + ": signatures the provider made");
}
host.SetEnv("TESSARN_KSP_FAULT", "");

// The private-key check answers 10 for a key it cannot open, and its log
// names the step that failed.
var mark = logMark();
host.Equal(ctl.RawSignCheck("1C", sha1("othername"), "SHA1"), 10, "RawSignCheck without the key");
host.Check(logSince(mark).indexOf("VALIDATE_PRIVATEKEY NCryptOpenKey chyba [80090016]") >= 0,
           "RawSignCheck: the log names NCryptOpenKey");
checkRecord("RawSignCheck without the key", "no-such-key");
host.Echo("ksp faults: " + cases.length + " cases");
