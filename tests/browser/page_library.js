// The page library in the JScript engine, as Internet Explorer runs it:
// no Promise, no JSON, calls going straight to the control.
eval(host.ReadFile(host.Env("TESSARN_PAGE_LIBRARY")));

function settled(p) {
  var out = { state: "pending" };
  p.then(function (v) { out.state = "fulfilled"; out.value = v; },
         function (e) { out.state = "rejected"; out.value = e; });
  return out;
}

// The control the container sited and initialised, as the page's own
// <object> element is in Internet Explorer.
Tessarn.useControl(ctl);
host.Check(Tessarn.available(), "available() with a control");
var r = settled(Tessarn.call("LibGetInfo", 0));
host.Equal(r.state, "fulfilled", "LibGetInfo settles at once");
host.Equal(r.value.join("|"), "0|Tessarn|2.3.21113.0", "LibGetInfo(0) as a plain array");
host.Check(r.value instanceof Array, "a JScript array, not a SAFEARRAY");

// A number answer stays a number.
r = settled(Tessarn.call("CertHasPrivateKey", "not a certificate"));
host.Equal(typeof r.value, "number", "an I4 answer is a number");

// Byte arrays cross as {bytes: base64} both ways.
r = settled(Tessarn.call("StringToBinary", "AQID/w==", 1));
host.Equal(r.value[0], 0, "StringToBinary code");
host.Equal(r.value[1].bytes, "AQID/w==", "StringToBinary answers {bytes}");
r = settled(Tessarn.call("StringToBinary", "zz", 4));
host.Equal(r.value[0], 39, "not hexadecimal");
host.Equal(r.value[1].bytes, "", "an empty byte array is empty base64");
r = settled(Tessarn.call("BinaryToString", { bytes: "AQID/w==" }, 4, 0x40000001));
host.Equal(r.value.join("|"), "0|AQID/w==", "BinaryToString takes {bytes}");
r = settled(Tessarn.call("BinaryToString", { bytes: "AQID" }, 9, 1));
host.Equal(r.value[0], 40, "a length beyond the bytes is the control's own refusal");
r = settled(Tessarn.call("BinaryToString", { bytes: "!!" }, 1, 1));
host.Equal(r.state, "rejected", "bytes that are not base64 are refused");

// Calls the dispatch refuses carry the dispatch codes the bridge answers.
var refused = [
  [Tessarn.call("NoSuchMethod"), "0x80020006", "unknown method"],
  [Tessarn.call("RawSign", "00"), "0x8002000E", "too few arguments"],
  [Tessarn.call(""), "0x80020006", "no method name"]
];
for (var i = 0; i < refused.length; i++) {
  r = settled(refused[i][0]);
  host.Equal(r.state, "rejected", refused[i][2] + ": rejected");
  host.Equal(r.value.hresult, refused[i][1], refused[i][2] + ": code");
  host.Check(typeof r.value.message === "string", refused[i][2] + ": a message");
}

// The then-able chains: a value returned passes on, a callback that throws
// rejects the next link, catch() recovers, and an inner then-able is awaited.
var chain = Tessarn.call("LibGetInfo", 0)
  .then(function (v) { return v[1]; })
  .then(function (name) { throw { why: name }; })
  .then(function () { return "not reached"; })
  ["catch"](function (e) { return Tessarn.call("LibGetInfo", 0).then(function () { return "recovered " + e.why; }); });
r = settled(chain);
host.Equal(r.value, "recovered Tessarn", "then-able chain");

r = settled(Tessarn.call("LocalTimeToUTCTime", "2021/06/15 12:30:00"));
host.Equal(r.value.join("|"), "0|2021/06/15 12:30:00", "LocalTimeToUTCTime (TZ=UTC)");

// status(): with the control itself, the whole way is there at once.
r = settled(Tessarn.status(10));
host.Equal(r.state, "fulfilled", "status() settles at once with a control");
host.Equal(r.value, "ready", "status() with a control");
