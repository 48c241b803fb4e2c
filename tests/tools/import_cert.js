// The tutorial's test certificate, put into the user's stores by the
// shipped tool (tessarn-import-cert, run by the fixture before this script):
// the control lists it as a valid certificate with its key, reads its
// fields and signs with it. OpenSSL checks the message after the run.
var out = host.Env("TESSARN_FILES");
var list = new VBArray(ctl.CertEnum(0x083)).toArray();
host.Equal(list[0], 0, "CertEnum(0x083) code");
host.Equal(list.length, 2, "one valid certificate with its key, and its chain trusted");
var cert = list[1];
var info = new VBArray(ctl.CertGetInfo(cert, 3)).toArray();
host.Equal(info[1], "Jana Testov\u00e1", "the tutorial's signer");
host.Equal(ctl.CertHasPrivateKey(cert), 0, "CertHasPrivateKey");
host.Equal(ctl.CertChainIsValid(cert), 0, "CertChainIsValid: the CA and the root went into their stores");
// "Hello" in base64.


var signed = new VBArray(ctl.SignPKCS7(cert, "SGVsbG8=", "SHA256")).toArray();
host.Equal(signed[0], 0, "SignPKCS7 code");
host.WriteFile(out + "\\message.b64", signed[1]);
