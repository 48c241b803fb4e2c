// A page that passes anything to every method: each call answers a result
// code of the control's table (alone or first in an array) or a DISP_E_*
// error, and the control keeps answering.
function items(a) { return new VBArray(a).toArray(); }

var big = "0";
while (big.length < 16 * 1024 * 1024) big += big;
var directives = "%s%n%x%ls%d%p%08X%.*s%hs%S%C%%%n%n%n";
var bytes = items(ctl.StringToBinary("AQID", 1))[1];
var values = [
  ["null", null], ["undefined", undefined], ["empty text", ""], ["16 MB text", big],
  ["16 MB of directives", big.replace(/0{16}/g, "%s%n%x%ls%d%p%S%")], ["embedded NUL", "MY\u0000junk"],
  ["unpaired surrogates", "\uD800a\uDC00\uDBFF"], ["control characters", "\u0001\u001b[31m\r\n\t\u007f"],
  ["printf directives", directives], ["Czech", "P\u0159\u00edli\u0161 \u017elu\u0165ou\u010dk\u00fd k\u016f\u0148"],
  ["the control", ctl], ["script object", { a: 1 }], ["script array", [1, 2, 3]], ["date", new Date(0)],
  ["true", true], ["-1", -1], ["INT_MIN", -2147483648], ["INT_MAX", 2147483647], ["2^32", 4294967296],
  ["1e300", 1e300], ["NaN", NaN], ["byte array", bytes]
];
var methods = [
  ["RawSignCheck", ["F12345", "00", "SHA1"]], ["RawSign", ["aa", "F12345", "00", "SHA1"]],
  ["SetLogging", ["NONE"]], ["GetLogging", []], ["CertEnum", [387]], ["CertLookup", ["MY", 3, ""]],
  ["CertIsValid", ["", 131]], ["CertGetInfo", ["", 0]], ["CertHasPrivateKey", [""]],
  ["CertChainIsValid", [""]], ["CertDisplay", [""]], ["SignPKCS7", ["", "YWJj", "SHA1"]],
  ["SignRaw", ["", "aa", "SHA1"]], ["BinaryToString", [bytes, 3, 1]], ["StringToBinary", ["AQID", 1]],
  ["LocalTimeToUTCTime", ["2020/01/01 10:00:00"]], ["LibGetInfo", [0]]
];

function invoke(name, a) {
  switch (a.length) {
    case 0: return ctl[name]();
    case 1: return ctl[name](a[0]);
    case 2: return ctl[name](a[0], a[1]);
    case 3: return ctl[name](a[0], a[1], a[2]);
    default: return ctl[name](a[0], a[1], a[2], a[3]);
  }
}
// The answer's code: a number, or the first element of an answer array
// (Wine's JScript cannot take typeof of an array, so the array is tried).
function codeOf(r) {
  try { return items(r)[0]; } catch (e) { return r; }
}
function defined(code) { return typeof code == "number" && code >= 0 && code <= 45 && code == Math.floor(code); }

var calls = 0, errors = 0;
for (var m = 0; m < methods.length; m++) {
  var name = methods[m][0], defaults = methods[m][1];
  for (var p = 0; p < defaults.length; p++) {
    for (var v = 0; v < values.length; v++) {
      var args = defaults.slice(0);
      args[p] = values[v][1];
      var what = name + " argument " + (p + 1) + ": " + values[v][0];
      var ok;
      try {
        ok = defined(codeOf(invoke(name, args)));
      } catch (e) {
        ++errors;
        var n = e.number >>> 0;
        ok = n >= 0x80020000 && n <= 0x8002FFFF;
        if (!ok) host.Echo(what + " threw 0x" + n.toString(16));
      }
      ++calls;
      host.Check(ok, what + " gives a defined answer");
      host.Equal(items(ctl.LibGetInfo(0))[0], 0, "the control answers after " + what);
    }
  }
}
host.Echo(calls + " hostile calls from JScript, " + errors + " refused with DISP_E_*");
