// The calls the bridge tests make: the same list through the browser
// extension in every browser and directly through COM in the script host,
// so the two sets of answers can be compared. ES3, like the page library.

// A deterministic "hash" of n bytes as hexadecimal text.
function testHash(n, seed) {
  var h = "";
  for (var i = 0; i < n; i++) { var b = (i * 37 + seed * 11 + 5) & 255; h += (b < 16 ? "0" : "") + b.toString(16); }
  return h;
}

// pki: {full: base64 certificate, fullSha1: thumbprint, dns: base64}
function bridgeCalls(pki) {
  return [
    ["LibGetInfo", 0],
    ["LibGetInfo", 1],
    ["RawSignCheck", "00 F1 23 45", pki.fullSha1, "SHA1"],
    ["RawSign", testHash(32, 1), "00 F1 23 45", pki.fullSha1, "sha256"],
    ["RawSign", testHash(20, 2), "00 F1 23 45", pki.fullSha1, "SHA1"],
    ["RawSign", testHash(28, 1), "F12345", pki.fullSha1, "sha224"],
    ["SignRaw", pki.full, testHash(64, 3), "SHA512"],
    ["SignPKCS7", pki.full, "YWJj", "sha256"],
    ["CertEnum", 0],
    ["CertLookup", "MY", 1, pki.fullSha1.substr(0, 8).toUpperCase()],
    ["CertLookup", "MY", 4, ""],
    ["CertIsValid", pki.full, 0],
    ["CertIsValid", "not a certificate", 0],
    ["CertGetInfo", pki.full, 1],
    ["CertGetInfo", pki.dns, 3],
    ["CertHasPrivateKey", pki.full],
    ["CertChainIsValid", pki.full],
    // A text that is no certificate: answered at once, without the viewer.
    ["CertDisplay", "not a certificate"],
    ["BinaryToString", { bytes: "AQID" }, 3, 0x40000001],
    ["BinaryToString", { bytes: "AQID" }, 2, 4],
    ["StringToBinary", "AQID", 1],
    ["StringToBinary", "01 02 ff", 4],
    ["LocalTimeToUTCTime", "2021/06/15 12:30:00"],
    ["SetLogging", "TRACE"],
    ["GetLogging"],
    ["SetLogging", "NONE"],
    ["NoSuchMethod", 1],
    ["RawSign", "00"]
  ];
}

// Makes the calls one after another through call(method, args...) and hands
// done() a list of {method, args, result} or {method, args, error}.
function runCalls(calls, call, done) {
  var out = [];
  function next(i) {
    if (i >= calls.length) { done(out); return; }
    var c = calls[i], args = [];
    for (var j = 1; j < c.length; j++) args.push(c[j]);
    var p;
    try { p = call(c[0], args); } catch (e) { out.push({ method: c[0], args: args, error: { message: String(e.message) } }); next(i + 1); return; }
    p.then(function (r) { out.push({ method: c[0], args: args, result: r }); next(i + 1); },
           function (e) { out.push({ method: c[0], args: args, error: e }); next(i + 1); });
  }
  next(0);
}

// Calls Tessarn.call with an argument list.
function tessarnCall(method, args) {
  switch (args.length) {
    case 0: return Tessarn.call(method);
    case 1: return Tessarn.call(method, args[0]);
    case 2: return Tessarn.call(method, args[0], args[1]);
    case 3: return Tessarn.call(method, args[0], args[1], args[2]);
    default: return Tessarn.call(method, args[0], args[1], args[2], args[3]);
  }
}

// JSON text of plain data, for engines without JSON.
function toJson(v) {
  if (v === null || typeof v === "undefined") return "null";
  if (typeof v === "number" || typeof v === "boolean") return String(v);
  if (typeof v === "string") {
    return '"' + v.replace(/[\\"\u0000-\u001f\u007f-\uffff]/g, function (c) {
      var h = c.charCodeAt(0).toString(16);
      return "\\u" + "0000".substr(h.length) + h;
    }) + '"';
  }
  var parts = [], k;
  if (v instanceof Array) {
    for (k = 0; k < v.length; k++) parts.push(toJson(v[k]));
    return "[" + parts.join(",") + "]";
  }
  for (k in v) if (v.hasOwnProperty(k)) parts.push(toJson(k) + ":" + toJson(v[k]));
  return "{" + parts.join(",") + "}";
}
