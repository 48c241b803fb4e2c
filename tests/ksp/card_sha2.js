// A card provider of type PROV_RSA_FULL that knows no SHA-2, as the older
// card providers: its container is never opened under another provider's
// name, so SHA-256 answers code 15 and SHA-1 still signs with the card.
function items(a) { return new VBArray(a).toArray(); }
var pki = host.Env("TESSARN_PKI");
function b64(name) { return host.ReadFile(pki + "\\" + name + ".b64"); }

var scenario = host.Env("TEMP") + "\\card-scenario.txt";
host.WriteFile(scenario,
  "reader|Reader B|card|3B8F800180318065B0850300EF120FFF82|Tessarn Test Card|Tessarn Test Card Cryptographic Service Provider for the Test Smart Cards|cardsig|-\n" +
  "fault|sha2|80090008\n");
host.SetEnv("TESSARN_CARD_SCENARIO", scenario);
var logFile = items(ctl.SetLogging("TRACE"))[1];

var r = items(ctl.SignRaw(b64("cardsig"), "54516b59472d301a2a84a5059899d4d06bcd53af9d385709d849c745f64e2766", "SHA256"));
host.Equal(r[0], 15, "SignRaw SHA256 with a card provider without SHA-2");
var log = host.ReadFile(logFile);
host.Check(log.indexOf("Can't create hash, error code [80090008]") >= 0, "the log names the provider's refusal");
host.Check(log.indexOf("has no SHA-2") < 0, "the card's container was not opened through another provider");
r = items(ctl.SignRaw(b64("cardsig"), "a9993e364706816aba3e25717850c26c9cd0d89d", "SHA1"));
host.Equal(r[0], 0, "SignRaw SHA1 with the same card: " + r[1]);
host.WriteFile(host.Env("TESSARN_FILES") + "\\raw-1.txt", "cardsig sha1 a9993e364706816aba3e25717850c26c9cd0d89d " + r[1]);
