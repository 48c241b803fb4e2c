// Through the control: the store's certificates, then the card's, and a
// raw signature made with a card key.
function items(a) { return new VBArray(a).toArray(); }
var pki = host.Env("TESSARN_PKI");
function b64(name) { return host.ReadFile(pki + "\\" + name + ".b64"); }
function sha1(name) { return host.ReadFile(pki + "\\" + name + ".sha1"); }

var scenario = host.Env("TEMP") + "\\card-scenario.txt";
host.WriteFile(scenario,
  "reader|Reader A|empty\n" +
  "reader|Reader B|card|3B8F800180318065B0850300EF120FFF82|Tessarn Test Card|Tessarn Test Card Cryptographic Service Provider for the Test Smart Cards|cardsig|dns\n");
host.SetEnv("TESSARN_CARD_SCENARIO", scenario);

host.AddCert("Root", "root");
host.AddCert("Root", "cardsig");  // the card holder's own certificate is trusted
host.AddCert("CA", "ca");
host.ImportWithKey("full");

var list = items(ctl.CertEnum(0x183));
host.Equal(list.length, 4, "the store's certificate and the card's two");
host.Equal(list[0], 0, "code");
host.Equal(list[1], b64("full"), "the store's certificate first");
host.Equal(list[2], b64("cardsig"), "then the card's signature key certificate");
host.Equal(list[3], b64("dns"), "then its key-exchange certificate");

var hash = "54516b59472d301a2a84a5059899d4d06bcd53af9d385709d849c745f64e2766";
var r = items(ctl.RawSign(hash, "0C", sha1("cardsig"), "SHA256"));
host.Equal(r[0], 0, "RawSign with the card key: " + r[1]);
host.Check(/^[0-9a-f]{512}$/.test(r[1]), "512 hexadecimal characters");
host.WriteFile(host.Env("TESSARN_FILES") + "\\raw-1.txt", "cardsig sha256 " + hash + " " + r[1]);
host.Equal(ctl.RawSignCheck("0C", sha1("cardsig"), "sha1"), 0, "RawSignCheck of the card certificate");
