// The example page's signing logic (docs/examples/tessarn-sign.js), run as
// the page runs it: against the control directly (IE mode), and through a
// stand-in for tessarn.js that answers as the bridge does (JavaScript
// arrays, later, through then). Every signature it makes is written out and
// verified by OpenSSL after the run.
var out = host.Env("TESSARN_FILES");
var source = host.ReadFile(host.Env("TESSARN_EXAMPLE_LOGIC"));
host.Check(source.length > 0, "the example's logic file is readable");
host.Check(!/[^\x00-\x7f]/.test(source), "the example's logic is plain ASCII, as every page encoding reads it");
eval(source);

host.AddCert("Root", "root");
host.AddCert("CA", "ca");
host.ImportWithKey("full");
host.ImportWithKey("dns");
host.ImportWithKey("expired");  // not valid: never offered

// Runs one operation of the logic and gives what it called back with.
function run(start) {
  var got = { called: 0 };
  start(function (value) { got.called++; got.ok = true; got.value = value; },
        function (error) { got.called++; got.ok = false; got.error = error; });
  return got;
}
function expectDone(got, what) {
  host.Equal(got.called, 1, what + ": one callback");
  host.Check(got.ok, what + ": done, not failed" + (got.error ? ": " + got.error.message : ""));
}
var written = 0;
// The messages are signed by "full" with SHA-256, which OpenSSL checks.
function keepMessage(message, payload) {
  ++written;
  host.WriteFile(out + "\\p7-" + written + ".b64", message);
  host.WriteFile(out + "\\p7-" + written + ".payload", payload);
  host.WriteFile(out + "\\p7-" + written + ".expect", "full sha256");
}

// Text to base64 of its UTF-8 bytes, as the page signs it.
var texts = [["", ""], ["a", "YQ=="], ["ab", "YWI="], ["abc", "YWJj"], ["\u00e9", "w6k="],
             ["\u20ac", "4oKs"], ["\ud83d\ude00", "8J+YgA=="], ["\ud83d", "77+9"], ["x\ude00y", "eO+/vXk="]];
for (var i = 0; i < texts.length; i++)
  host.Equal(TessarnSign.base64(TessarnSign.utf8Bytes(texts[i][0])), texts[i][1], "base64 of UTF-8 [" + texts[i][1] + "]");

// Finding the way to the control.
host.Equal(TessarnSign.find(ctl, null).kind, "activex", "the control answers: ActiveX");
host.Equal(TessarnSign.find({}, null), null, "an <object> without the control, no bridge: nothing");
host.Equal(TessarnSign.find(null, { available: function () { return false; } }), null, "a bridge without extension");

// A stand-in for tessarn.js: the control's answers as the bridge gives them,
// resolved only when the page's script has finished its turn.
var queue = [];
var inner = TessarnSign.direct(ctl);
var fakeTessarn = {
  available: function () { return true; },
  call: function (method) {
    var args = [];
    for (var i = 1; i < arguments.length; i++) args.push(arguments[i]);
    var settled = null;
    inner.call(method, args, function (v) { settled = { ok: true, value: v }; },
               function (e) { settled = { ok: false, value: { hresult: "0x80020005", message: e.message } }; });
    return {
      then: function (onDone, onFail) {
        queue.push(function () { if (settled.ok) onDone(settled.value); else onFail(settled.value); });
      }
    };
  }
};
function pump() { while (queue.length) queue.shift()(); }
host.Equal(TessarnSign.find({}, fakeTessarn).kind, "bridge", "no control, an extension: the bridge");

var ways = [["activex", TessarnSign.direct(ctl)], ["bridge", TessarnSign.bridge(fakeTessarn)]];
var payload = "P\u0159\u00edli\u0161 \u017elu\u0165ou\u010dk\u00fd k\u016f\u0148 \u00fap\u011bl \u010f\u00e1belsk\u00e9 \u00f3dy \ud83d\ude00";
for (var w = 0; w < ways.length; w++) {
  var name = ways[w][0], way = ways[w][1];
  var listed = run(function (done, fail) { TessarnSign.listCertificates(way, done, fail); });
  pump();
  expectDone(listed, name + " list");
  var subjects = [];
  for (i = 0; i < listed.value.length; i++) subjects.push(listed.value[i].subject);
  host.Equal(subjects.sort().join("|"), "Jan Nov\u00e1k|Signer DNS", name + ": the valid certificates with keys");
  var full = null;
  for (i = 0; i < listed.value.length; i++) if (listed.value[i].subject == "Jan Nov\u00e1k") full = listed.value[i];
  host.Equal(full.serial, "00f12345", name + ": serial number");
  host.Equal(full.thumbprint, host.ReadFile(host.Env("TESSARN_PKI") + "\\full.sha1"), name + ": thumbprint");
  host.Equal(full.email, "jan.novak@example.cz", name + ": e-mail");

  var signed = run(function (done, fail) { TessarnSign.signText(way, full, payload + " " + name, "SHA256", done, fail); });
  pump();
  expectDone(signed, name + " signText");
  host.Check(/^[A-Za-z0-9+\/]+=*$/.test(signed.value), name + ": one line of base64");
  keepMessage(signed.value, payload + " " + name);

  var hash = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  var raw = run(function (done, fail) { TessarnSign.signHash(way, full, hash, "SHA256", done, fail); });
  pump();
  expectDone(raw, name + " signHash");
  host.Check(/^[0-9a-f]{512}$/.test(raw.value), name + ": 512 hexadecimal characters");
  host.WriteFile(out + "\\raw-" + (w + 1) + ".txt", "full sha256 " + hash + " " + raw.value);

  // Failures reach the page with the method, the code and a text.
  var refused = run(function (done, fail) { TessarnSign.signHash(way, full, hash, "SHA-256", done, fail); });
  pump();
  host.Equal(refused.ok, false, name + ": unknown algorithm fails");
  host.Equal(refused.error.method + " " + refused.error.code, "RawSign 33", name + ": method and code");
  host.Equal(refused.error.message, "Input hash type algorithm is not supported or is not valid.",
             name + ": the control's own text");
  refused = run(function (done, fail) { TessarnSign.signText(way, full, "x", "SHA224", done, fail); });
  pump();
  host.Equal(refused.error.method + " " + refused.error.code, "SignPKCS7 33", name + ": SHA224 cannot sign");
  var stranger = { certificate: "not base64!" };
  refused = run(function (done, fail) { TessarnSign.showCertificate(way, stranger, done, fail); });
  pump();
  host.Equal(refused.error.method + " " + refused.error.code, "CertDisplay 39", name + ": nothing to show");
}

// A call the control refuses itself (a wrong argument count here) fails with
// no result code and the platform's reason.
var broken = run(function (done, fail) { TessarnSign.direct(ctl).call("LibGetInfo", [], done, fail); });
host.Equal(broken.ok, false, "a refused call fails");
host.Equal(broken.error.code, null, "no result code for a refused call");
host.Check(broken.error.message.indexOf("Tessarn: LibGetInfo failed: ") == 0, "the message names the method: " + broken.error.message);
