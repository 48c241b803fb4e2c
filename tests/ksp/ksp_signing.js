// Signatures with keys of key storage providers (the double of this
// folder): RSA and EC keys, raw and, for each, the double's record of the
// calls the control made. Every signature is written out and verified by
// OpenSSL after the run.
function items(a) { return new VBArray(a).toArray(); }
var pki = host.Env("TESSARN_PKI");
var out = host.Env("TESSARN_FILES");
var record = host.Env("TEMP") + "\\ksp-record.txt";
host.SetEnv("TESSARN_KSP_RECORD", record);
function b64(name) { return host.ReadFile(pki + "\\" + name + ".b64"); }
function sha1(name) { return host.ReadFile(pki + "\\" + name + ".sha1"); }
var written = 0;
function keepRaw(cert, alg, hash, sig) {
  host.WriteFile(out + "\\raw-" + (++written) + ".txt", cert + " " + alg + " " + hash + " " + sig);
}

// A deterministic "hash" of n bytes.
function hashHex(n, seed) {
  var h = "";
  for (var i = 0; i < n; i++) { var b = (i * 37 + seed * 11 + 5) & 255; h += (b < 16 ? "0" : "") + b.toString(16); }
  return h;
}

// The base64 of a text of ASCII characters.
function base64(text) {
  var digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/", out = "";
  for (var i = 0; i < text.length; i += 3) {
    var n = (text.charCodeAt(i) << 16) | ((i + 1 < text.length ? text.charCodeAt(i + 1) : 0) << 8) |
            (i + 2 < text.length ? text.charCodeAt(i + 2) : 0);
    out += digits.charAt((n >> 18) & 63) + digits.charAt((n >> 12) & 63) +
           (i + 1 < text.length ? digits.charAt((n >> 6) & 63) : "=") + (i + 2 < text.length ? digits.charAt(n & 63) : "=");
  }
  return out;
}

// The calls the double received since the last look, as lines.
function takeRecord() {
  var text = host.FileExists(record) ? host.ReadFile(record) : "";
  host.DeleteFile(record);
  var lines = text.split("\n"), kept = [];
  for (var i = 0; i < lines.length; i++) if (lines[i].length) kept.push(lines[i]);
  return kept;
}

// Every handle the double handed out was freed, exactly once; the keys
// opened are `keys` (in order) and each signing call used one of them.
function checkRecord(what, keys, paddingHash) {
  var lines = takeRecord(), open = {}, opened = [], signs = 0;
  for (var i = 0; i < lines.length; i++) {
    var f = lines[i].split(" ");
    if (f[0] == "open-provider") open[f[1]] = "provider";
    else if (f[0] == "open-key") { open[f[1]] = f[2]; opened.push(f[2]); }
    else if (f[0] == "free") {
      host.Check(open[f[1]] !== undefined, what + ": freed a handle it did not hold: " + lines[i]);
      delete open[f[1]];
    } else if (f[0] == "free-bad") host.Fail(what + ": freed a handle twice or one never opened: " + lines[i]);
    else if (f[0] == "sign") {
      host.Check(open[f[1]] !== undefined && open[f[1]] != "provider", what + ": signed with a key it holds");
      if (paddingHash !== undefined) host.Equal(f[4], paddingHash, what + ": the padding names the hash");
    } else if (f[0] == "signed") {
      signs++;
    }
  }
  for (var h in open) host.Fail(what + ": handle " + h + " (" + open[h] + ") left open");
  host.Equal(opened.join(","), keys.join(","), what + ": the keys opened");
  return signs;
}

var certs = [
  // name, serial, key as the double names it, signature hex length, EC
  ["ksprsa2048", "50", "ksprsa2048", 512, false],
  ["ksprsa3072", "51", "machine-ksprsa3072", 768, false],
  ["kspp256", "52", "kspp256", 128, true],
  ["kspp384", "53", "kspp384", 192, true]];
var judged = certs;
var algorithms = [["SHA1", 20], ["sha256", 32], ["SHA384", 48], ["Sha512", 64]];
takeRecord();
for (var c = 0; c < certs.length; c++) {
  var name = certs[c][0], key = certs[c][2], hexLength = certs[c][3], ec = certs[c][4];
  host.Equal(ctl.RawSignCheck(certs[c][1], sha1(name), "SHA256"), 0, "RawSignCheck " + name);
  checkRecord("RawSignCheck " + name, [key]);
  for (var a = 0; a < algorithms.length; a++) {
    var alg = algorithms[a][0], hash = hashHex(algorithms[a][1], c * 7 + a);
    var what = name + " " + alg;
    var padding = ec ? "-" : alg.toUpperCase();
    var r = items(ctl.RawSign(hash, certs[c][1], sha1(name), alg));
    host.Equal(r[0], 0, "RawSign " + what + ": " + r[1]);
    host.Equal(r[1].length, hexLength, "RawSign " + what + ": signature length");
    host.Check(/^[0-9a-f]+$/.test(r[1]), "RawSign " + what + ": lower-case hexadecimal");
    keepRaw(name, alg, hash, r[1]);
    // The private-key check opens the key once, the signing once more.
    host.Equal(checkRecord("RawSign " + what, [key, key], padding), 1, "RawSign " + what + ": one signature");

    r = items(ctl.SignRaw(b64(name), hash, alg));
    host.Equal(r[0], 0, "SignRaw " + what + ": " + r[1]);
    host.Equal(r[1].length, hexLength, "SignRaw " + what + ": signature length");
    keepRaw(name, alg, hash, r[1]);
    host.Equal(checkRecord("SignRaw " + what, [key], padding), 1, "SignRaw " + what + ": one signature");

    // An attached message of the payload "abc" + the case's number.
    var payload = "abc" + c + a;
    r = items(ctl.SignPKCS7(b64(name), base64(payload), alg));
    host.Equal(r[0], 0, "SignPKCS7 " + what + ": " + r[1]);
    host.Check(/^[A-Za-z0-9+\/]+=*$/.test(r[1]), "SignPKCS7 " + what + ": one line of base64");
    ++written;
    host.WriteFile(out + "\\p7-" + written + ".b64", r[1]);
    host.WriteFile(out + "\\p7-" + written + ".payload", payload);
    host.WriteFile(out + "\\p7-" + written + ".expect", name + " " + alg);
    host.Equal(checkRecord("SignPKCS7 " + what, [key], padding), 1, "SignPKCS7 " + what + ": one signature");
  }
}

// A key of an older RSA provider of type PROV_RSA_FULL (the Enhanced
// Cryptographic Provider) signs with SHA-2 through the AES provider, and
// with SHA-1 where it is.
var fullCases = [["SHA1", 20], ["SHA256", 32], ["SHA512", 64]];
var logFile = items(ctl.SetLogging("TRACE"))[1];
for (a = 0; a < fullCases.length; a++) {
  alg = fullCases[a][0];
  hash = hashHex(fullCases[a][1], 40 + a);
  r = items(ctl.RawSign(hash, "F12345", sha1("full"), alg));
  host.Equal(r[0], 0, "RawSign with a PROV_RSA_FULL key, " + alg + ": " + r[1]);
  keepRaw("full", alg, hash, r[1]);
  r = items(ctl.SignRaw(b64("full"), hash, alg));
  host.Equal(r[0], 0, "SignRaw with a PROV_RSA_FULL key, " + alg + ": " + r[1]);
  keepRaw("full", alg, hash, r[1]);
}
host.Equal(takeRecord().length, 0, "a key of an older provider never reaches the key storage providers");
host.Check(host.ReadFile(logFile).indexOf("CCrypt::SignHash provider [Microsoft Enhanced Cryptographic Provider v1.0] " +
           "has no SHA-2, container [tessarn-full-full] through [Microsoft Enhanced RSA and AES Cryptographic Provider]") >= 0,
           "the log says the older provider's key signed through the AES provider");
host.Equal(items(ctl.SetLogging("NONE"))[0], 0, "logging off");

// The list and the verdicts know EC certificates as they know RSA ones.
var list = items(ctl.CertEnum(0x083));
host.Equal(list[0], 0, "CertEnum");
var listed = list.slice(1).join(" ");
for (c = 0; c < judged.length; c++)
  host.Check(listed.indexOf(b64(judged[c][0])) >= 0, "CertEnum lists " + judged[c][0]);
for (c = 0; c < judged.length; c++) {
  name = judged[c][0];
  host.Equal(ctl.CertIsValid(b64(name), 0x083), 0, "CertIsValid " + name);
  host.Equal(ctl.CertChainIsValid(b64(name)), 0, "CertChainIsValid " + name);
  host.Equal(ctl.CertHasPrivateKey(b64(name)), 0, "CertHasPrivateKey " + name);
  host.Equal(ctl.RawSignCheck(judged[c][1], sha1(name), "SHA256"), 0, "RawSignCheck " + name);
}
var info = items(ctl.CertGetInfo(b64("kspp384"), 0));
host.Equal(info.length, 13, "CertGetInfo of an EC certificate: the code and twelve items");
host.Equal(info[0], 0, "CertGetInfo of an EC certificate: code");
host.Check(info[1].indexOf("CN=KSP ECDSA P-384") >= 0, "CertGetInfo subject: " + info[1]);
host.Equal(info[6], "53", "CertGetInfo serial number");
host.Equal(info[7], sha1("kspp384"), "CertGetInfo thumbprint");
host.Equal(info[12].substr(0, 2), "c0", "CertGetInfo key usage");
takeRecord();
host.Echo("ksp signing: " + written + " signatures written");
