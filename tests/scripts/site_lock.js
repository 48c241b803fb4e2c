// The site lock as a page meets it: every method called through the test
// container, whose page has the origin the test's options give, against the
// lists the fixture wrote. Arguments:
//   0  "allow": every method answers exactly as for a control without a
//      page; "refuse": the gated methods answer code 34 in their usual
//      shape and log one line naming the origin, never their arguments
//   1  what the refusal line names as the caller ("https://other.example",
//      "(no page)", ...), for "refuse"
//   2  flags: "unsite" takes the page away before the calls; "czech": the
//      test runs with a Czech user interface (LC_ALL)
function items(a) { return new VBArray(a).toArray(); }
function shape(v) {
  if (host.TypeName(v) & 0x2000) return "[" + items(v).join("|") + "]";  // VT_ARRAY
  return "" + v;
}

var expectation = host.Arg(0);
var caller = host.ArgCount() > 1 ? host.Arg(1) : "";
var flags = host.ArgCount() > 2 ? host.Arg(2) : "";
if (flags.indexOf("unsite") >= 0) host.Unsite();
var czech = flags.indexOf("czech") >= 0;

// A control without a page, for the answers of today and for the log.
var plain = host.CreateControl("bag");
var logging = items(plain.SetLogging("TRACE"));
// Where no caller may switch the log (AllowNonBrowserHosts = 0), the
// fixture points the directory log at the test's folder instead.
function pad2(n) { return (n < 10 ? "0" : "") + n; }
var now = new Date();
var logFile = logging[0] == 0 ? logging[1]
    : host.Env("TESSARN_FILES") + "\\tessarn." + pad2(now.getFullYear() % 100) + pad2(now.getMonth() + 1) +
      pad2(now.getDate()) + ".log";

var refusedText = czech ? "U\u017Eivatel nepovolil p\u0159\u00EDstup ke sv\u00FDm certifik\u00E1t\u016Fm."
                        : "User didn't allow access to his certificates.";
// [name, call, refused answer]; AboutBox is called only where it must not
// show anything (a dialog would stop the test).
var gated = [
  ["RawSignCheck", function (c) { return c.RawSignCheck("SECRET-serial", "aa", "SHA1"); }, "34"],
  ["RawSign", function (c) { return c.RawSign("SECRET-hash", "01", "aa", "SHA1"); }, "[34|" + refusedText + "]"],
  ["SetLogging", function (c) { return c.SetLogging("TRACE"); }, "[34|" + refusedText + "]"],
  ["GetLogging", function (c) { return c.GetLogging(); }, "[34]"],
  ["CertEnum", function (c) { return c.CertEnum(0); }, "[34]"],
  ["CertLookup", function (c) { return c.CertLookup("MY", 0, "SECRET-value"); }, "[34]"],
  ["CertIsValid", function (c) { return c.CertIsValid("SECRET-cert", 0); }, "34"],
  ["CertGetInfo", function (c) { return c.CertGetInfo("SECRET-cert", 0); }, "[34]"],
  ["CertHasPrivateKey", function (c) { return c.CertHasPrivateKey("SECRET-cert"); }, "34"],
  ["CertChainIsValid", function (c) { return c.CertChainIsValid("SECRET-cert"); }, "34"],
  ["CertDisplay", function (c) { return c.CertDisplay("SECRET-cert"); }, "34"],
  ["SignPKCS7", function (c) { return c.SignPKCS7("SECRET-cert", "data", "SHA1"); }, "[34]"],
  ["SignRaw", function (c) { return c.SignRaw("SECRET-cert", "00", "SHA1"); }, "[34]"]
];
function bytes(c) { return items(c.StringToBinary("AAE=", 1))[1]; }
var open = [
  ["StringToBinary", function (c) { return items(c.StringToBinary("AAE=", 1))[0]; }],
  ["BinaryToString", function (c) { return c.BinaryToString(bytes(c), 2, 0x40000001); }],
  ["LocalTimeToUTCTime", function (c) { return c.LocalTimeToUTCTime("2020/01/02 03:04:05"); }],
  ["LibGetInfo", function (c) { return c.LibGetInfo(0); }]
];

for (var i = 0; i < open.length; i++)
  host.Equal(shape(open[i][1](ctl)), shape(open[i][1](plain)), open[i][0] + " is never gated");

if (expectation == "allow") {
  for (var i = 0; i < gated.length; i++)
    host.Equal(shape(gated[i][1](ctl)), shape(gated[i][1](plain)), gated[i][0] + " answers as without a page");
} else {
  var before = host.FileExists(logFile) ? host.ReadFile(logFile).length : 0;
  for (var i = 0; i < gated.length; i++)
    host.Equal(shape(gated[i][1](ctl)), gated[i][2], gated[i][0] + " refused");
  ctl.AboutBox();  // shows nothing: a dialog here would never close
  var log = host.ReadFile(logFile).substr(before);
  for (var i = 0; i < gated.length; i++)
    host.Check(log.indexOf("CTessarnCtrl::" + gated[i][0] + " refused for origin " + caller + ":") >= 0,
               gated[i][0] + " refusal names the caller " + caller + " in: " + log);
  host.Check(log.indexOf("CTessarnCtrl::AboutBox refused for origin " + caller + ":") >= 0, "AboutBox refusal logged");
  host.Check(log.indexOf("SECRET") < 0, "no argument of a refused call is logged: " + log);
  host.Check(log.indexOf("Tessarn 2.3.21113.0") < 0, "refused calls write no banner: " + log);
  host.Equal(log.split(" refused for origin ").length - 1, gated.length + 1, "one line for each refused call");
}
