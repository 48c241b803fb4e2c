// Run by the browser tests in the script host, in the test's own prefix,
// before the browser starts: fills the stores from the test PKI and makes
// the same calls as the browser's page, through tessarn.js talking to the
// control directly (as in IE mode). The answers go to direct.json, which the
// browser's answers must match.
//   script_host direct.js TESSARN_JS CALLS_JS
eval(host.ReadFile(host.Arg(0)));
eval(host.ReadFile(host.Arg(1)));
var pkiDir = host.Env("TESSARN_PKI");
function pkiText(name) { return host.ReadFile(pkiDir + "\\" + name).replace(/\s+$/, ""); }

host.AddCert("Root", "root");
host.AddCert("CA", "ca");
var withKeys = ["full", "dns", "encipher", "plain", "expired", "selfsigned"];
for (var i = 0; i < withKeys.length; i++) host.ImportWithKey(withKeys[i]);

Tessarn.useControl(ctl);
host.Check(Tessarn.available(), "the control is available to the page library");
var pki = { full: pkiText("full.b64"), fullSha1: pkiText("full.sha1"), dns: pkiText("dns.b64") };
var finished = false;
runCalls(bridgeCalls(pki), tessarnCall, function (results) {
  host.WriteFile(host.Env("TESSARN_FILES") + "\\direct.json", toJson(results));
  finished = true;
});
// Without Promise the library's then-able settles at once: the whole run
// is over when runCalls returns.
host.Check(finished, "every call settled synchronously");
