// CertEnum, CertLookup and the judgements over real stores filled from the
// test PKI: keys in "MY", the root trusted, the issuing CA known.
function items(a) { return new VBArray(a).toArray(); }
var pki = host.Env("TESSARN_PKI");
function b64(name) { return host.ReadFile(pki + "\\" + name + ".b64"); }
function sha1(name) { return host.ReadFile(pki + "\\" + name + ".sha1"); }

host.AddCert("Root", "root");
host.AddCert("CA", "ca");
var withKeys = ["full", "dns", "othername", "plain", "encipher", "expired", "selfsigned",
                "ekumarker", "altmarker", "altvariant"];
for (var i = 0; i < withKeys.length; i++) host.ImportWithKey(withKeys[i]);
host.AddCert("MY", "decipher");  // in "MY" without a private key

var all = withKeys.concat(["decipher"]);
// The names of the certificates an answer lists, sorted.
function names(answer) {
  var got = [];
  for (var i = 1; i < answer.length; i++) {
    var name = "?";
    for (var j = 0; j < all.length; j++) if (answer[i] == b64(all[j])) name = all[j];
    if (name == "?" && answer[i] == b64("root")) name = "root";
    got.push(name);
  }
  return got.sort().join(",");
}
function expect(answer, code, list, what) {
  host.Equal(answer[0], code, what + ": code");
  host.Equal(names(answer), list.slice(0).sort().join(","), what + ": certificates");
}

var signers = ["full", "dns", "othername", "plain", "expired", "selfsigned", "ekumarker", "altmarker",
               "altvariant", "decipher"];  // all but the key-encipherment-only one
var enumCases = [
  [0, []],
  [0x100, []],
  [0x183, signers],
  [0x083, ["full", "dns", "othername", "plain", "ekumarker", "altmarker", "altvariant"]],
  [0x080, ["full", "dns", "othername", "plain"]],
  [0x180, ["full", "dns", "othername", "plain", "expired", "selfsigned", "decipher"]],
  [0x002, ["ekumarker"]],
  [0x001, ["altmarker", "altvariant"]],
  [0x101, ["altmarker", "altvariant"]],
  [0x003, ["ekumarker", "altmarker", "altvariant"]],
  [0x07C, []]
];
for (i = 0; i < enumCases.length; i++)
  expect(items(ctl.CertEnum(enumCases[i][0])), 0, enumCases[i][1], "CertEnum(0x" + enumCases[i][0].toString(16) + ")");

// Every certificate CertEnum answers is one base64 line that the other
// methods accept.
var listed = items(ctl.CertEnum(0x083));
for (i = 1; i < listed.length; i++) {
  host.Check(/^[A-Za-z0-9+\/]+=*$/.test(listed[i]), "one line of base64");
  host.Equal(ctl.CertIsValid(listed[i], 0x083), 0, "CertIsValid accepts what CertEnum answered");
  host.Equal(items(ctl.CertGetInfo(listed[i], 7))[0], 0, "CertGetInfo accepts it");
}

expect(items(ctl.CertLookup("MY", 0, "")), 0, signers, "CertLookup MY 0");
expect(items(ctl.CertLookup("MY", 3, "ignored")), 0, signers.concat(["encipher"]), "CertLookup MY 3");
var root3 = items(ctl.CertLookup("ROOT", 3, ""));
host.Equal(root3[0], 0, "CertLookup ROOT 3: code");
host.Check(names(root3).indexOf("root") >= 0, "CertLookup ROOT 3 lists the trusted test root");
host.Check(names(items(ctl.CertLookup("ROOT", 0, ""))).indexOf("root") < 0,
           "CertLookup ROOT 0 leaves out a root whose key usage does not sign");
expect(items(ctl.CertLookup("MY", 1, sha1("full").substr(0, 8).toUpperCase())), 0, ["full"], "by thumbprint prefix");
expect(items(ctl.CertLookup("MY", 1, sha1("dns").substr(12, 10))), 0, ["dns"], "by thumbprint part");
expect(items(ctl.CertLookup("MY", 2, "tessarn test issuing")), 0,
       ["full", "dns", "othername", "plain", "expired", "ekumarker", "altmarker", "altvariant", "decipher"],
       "by issuer substring");
expect(items(ctl.CertLookup("MY", 2, "no such issuer")), 0, [], "issuer nowhere");
expect(items(ctl.CertLookup("MY", 4, "")), 44, [], "CertLookup flag 4");
expect(items(ctl.CertLookup("MY", -1, "")), 44, [], "CertLookup flag -1");

var judgements = [
  ["root", 0x083, 1, "absent from MY"],
  ["decipher", 0x083, 1, "store copy without a key"],
  ["expired", 0x083, 20, "expired"],
  ["expired", 0x183, 0, "expired without validation"],
  ["selfsigned", 0x083, 25, "untrusted root"],
  ["full", 0x002, 43, "criteria not met"],
  ["full", 0x083, 0, "valid"],
  ["encipher", 0x183, 1, "store copy whose key may not sign"]
];
for (i = 0; i < judgements.length; i++) {
  var j = judgements[i];
  host.Equal(ctl.CertIsValid(b64(j[0]), j[1]), j[2], "CertIsValid " + j[3]);
}
host.Equal(ctl.CertIsValid("not base64!", 0x183), 39, "CertIsValid of text that is not base64");
host.Equal(ctl.CertIsValid("AQIDBA==", 0x183), 12, "CertIsValid of bytes that are not a certificate");

host.Equal(ctl.CertHasPrivateKey(b64("full")), 0, "CertHasPrivateKey with a key");
host.Equal(ctl.CertHasPrivateKey(b64("decipher")), 1, "CertHasPrivateKey without a key");
host.Equal(ctl.CertHasPrivateKey(b64("orphan")), 1, "CertHasPrivateKey of a certificate absent from MY");

host.Equal(ctl.CertChainIsValid(b64("orphan")), 28, "chain of a certificate in no store, issuer unknown");
host.Equal(ctl.CertChainIsValid(b64("full")), 0, "trusted chain");
host.Equal(ctl.CertChainIsValid(b64("expiredself")), 42, "two faults at once");
host.Equal(ctl.CertChainIsValid(""), 39, "empty text");

host.Equal(ctl.CertDisplay("not base64!"), 39, "CertDisplay shows nothing for text that is not base64");
