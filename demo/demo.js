// The Tessarn demo: what a web page does with the control. A personal
// certificate with its private key sits in the user's "MY" store; the page
// lists the certificates fit for signing, signs a SHA-256 hash and a
// payload, and hands the signatures on (here: to files that OpenSSL checks).
function items(a) { return new VBArray(a).toArray(); }
var pki = host.Env("TESSARN_PKI");
var out = host.Env("TESSARN_FILES");

// The user's certificate store: the test root trusted, a personal
// certificate with its key.
host.AddCert("Root", "root");
host.AddCert("CA", "ca");
host.ImportWithKey("full");

var info = items(ctl.LibGetInfo(0));
host.Echo("LibGetInfo(0):      [" + info.join(", ") + "]");

var list = items(ctl.CertEnum(0x083));
host.Echo("CertEnum(0x083):    code " + list[0] + ", " + (list.length - 1) + " certificate(s)");
host.Check(list[0] == 0 && list.length == 2, "one personal certificate fit for signing");
var cert = list[1];
var fields = items(ctl.CertGetInfo(cert, 0));
host.Echo("  subject:          " + fields[1]);
host.Echo("  issuer:           " + fields[5]);
host.Echo("  serial number:    " + fields[6]);
host.Echo("  thumbprint:       " + fields[7]);
host.Echo("  valid:            " + fields[8] + " to " + fields[9]);

// The SHA-256 hash of "Tessarn demo", computed by the page.
var hash = "54516b59472d301a2a84a5059899d4d06bcd53af9d385709d849c745f64e2766";
var raw = items(ctl.RawSign(hash, fields[6], fields[7], "SHA256"));
host.Echo("RawSign(SHA256):    code " + raw[0] + ", " + (raw[1] ? raw[1].length : 0) + " hexadecimal characters");
host.Check(raw[0] == 0, "RawSign signed");
host.WriteFile(out + "\\raw-1.txt", "full sha256 " + hash + " " + raw[1]);

var payload = "VGVzc2FybiBkZW1vIHBheWxvYWQ=";  // "Tessarn demo payload"
var p7 = items(ctl.SignPKCS7(cert, payload, "SHA256"));
host.Echo("SignPKCS7(SHA256):  code " + p7[0] + ", " + (p7[1] ? p7[1].length : 0) + " base64 characters");
host.Check(p7[0] == 0, "SignPKCS7 signed");
host.WriteFile(out + "\\p7-1.b64", p7[1]);
host.WriteFile(out + "\\p7-1.payload", "Tessarn demo payload");
// What the page asked for, so that the check can tell a message signed by
// another certificate or with another digest from this one.
host.WriteFile(out + "\\p7-1.expect", "full SHA256");

host.Echo("SetLogging(verbose): [" + items(ctl.SetLogging("verbose")).join(", ") + "]");
