// The signing logic of the example page (sign.html), kept apart from the
// page so that the same code serves every browser and can be tested.
//
// It is written in ECMAScript 3 (no let, no arrow functions, no Promise, no
// trailing commas) so that it also runs in Internet Explorer's script
// engines, which Edge's IE mode uses.
//
// Every operation takes two callbacks, done(value) and fail(error), because
// the control answers at once in IE mode but later through the browser
// bridge. An error is {method, code, message}: the method that failed, its
// result code (null when the call itself failed) and a text to show.
var TessarnSign = (function () {
  // CertEnum criteria: certificates that are valid now, have a private key
  // and a trusted chain, whatever marker they carry.
  var VALID_WITH_KEY = 0x083;

  // Answers straight from the control are Automation arrays, which JScript
  // reads through VBArray; the bridge answers JavaScript arrays. Numbers
  // and texts pass unchanged. (Not every engine can tell an Automation array
  // by typeof: VBArray itself is the test, and it refuses anything else.)
  function toArray(answer) {
    if (typeof VBArray == "undefined") return answer;
    try {
      return new VBArray(answer).toArray();
    } catch (e) {
      return answer;
    }
  }

  function failure(method, code, text) {
    var message = text ? text : "Tessarn: " + method + " answered result code " + code;
    return { method: method, code: code, message: message };
  }

  function errorOf(method, e) {
    var text = e && (e.message || e.description);
    if (!text) text = "" + e;
    return { method: method, code: null, message: "Tessarn: " + method + " failed: " + text };
  }

  // Calls a method of the control with an array of arguments (a method of
  // an ActiveX object cannot be applied to an array).
  function invoke(control, method, a) {
    switch (a.length) {
      case 0: return control[method]();
      case 1: return control[method](a[0]);
      case 2: return control[method](a[0], a[1]);
      case 3: return control[method](a[0], a[1], a[2]);
      default: return control[method](a[0], a[1], a[2], a[3]);
    }
  }

  // The control itself: an <object> element in IE mode.
  function direct(control) {
    return {
      kind: "activex",
      call: function (method, args, done, fail) {
        var answer;
        try {
          answer = toArray(invoke(control, method, args));
        } catch (e) {
          fail(errorOf(method, e));
          return;
        }
        done(answer);
      }
    };
  }

  // The browser bridge: Tessarn.call(method, ...args) of tessarn.js.
  function bridge(tessarn) {
    return {
      kind: "bridge",
      call: function (method, args, done, fail) {
        var pending;
        try {
          pending = tessarn.call.apply(tessarn, [method].concat(args));
        } catch (e) {
          fail(errorOf(method, e));
          return;
        }
        pending.then(function (answer) { done(toArray(answer)); },
                     function (e) { fail(errorOf(method, e)); });
      }
    };
  }

  // The way to the control on this page: the <object> element when the
  // browser runs ActiveX controls and the control answers, otherwise the
  // bridge when tessarn.js finds the extension; null when neither exists.
  function find(objectElement, tessarn) {
    if (objectElement) {
      try {
        var info = toArray(objectElement.LibGetInfo(0));
        if (info && info[0] === 0) return direct(objectElement);
      } catch (e) {
        // no ActiveX here, or the control is not installed
      }
    }
    if (tessarn && tessarn.available && tessarn.available()) return bridge(tessarn);
    return null;
  }

  // done([{certificate, subject, email, issuer, serial, thumbprint,
  //        validFrom, validTo}]) with the certificates the user can sign
  // with. A smart card that fails after the store was read still leaves
  // the store's certificates in the list.
  function listCertificates(way, done, fail) {
    way.call("CertEnum", [VALID_WITH_KEY], function (r) {
      var found = [];
      for (var i = 1; i < r.length; i++) found.push(r[i]);
      if (found.length == 0 && r[0] != 0) {
        fail(failure("CertEnum", r[0]));
        return;
      }
      describe(way, found, 0, [], done, fail);
    }, fail);
  }

  function describe(way, found, i, out, done, fail) {
    if (i == found.length) {
      done(out);
      return;
    }
    way.call("CertGetInfo", [found[i], 0], function (info) {
      if (info[0] == 0) {
        out.push({
          certificate: found[i], subject: info[3], email: info[2], issuer: info[5],
          serial: info[6], thumbprint: info[7], validFrom: info[8], validTo: info[9]
        });
      }
      describe(way, found, i + 1, out, done, fail);
    }, fail);
  }

  // Signs a text (as its UTF-8 bytes) into a PKCS #7 message that carries
  // the text, the signer's certificate and the signing time.
  // done(one line of base64).
  function signText(way, cert, text, algorithm, done, fail) {
    way.call("SignPKCS7", [cert.certificate, base64(utf8Bytes(text)), algorithm], function (r) {
      if (r[0] != 0) {
        fail(failure("SignPKCS7", r[0]));
        return;
      }
      done(r[1]);
    }, fail);
  }

  // Signs a hash computed elsewhere (hexadecimal, as long as the
  // algorithm's digest). done(the raw RSA signature, hexadecimal). On
  // failure the control gives the reason in the user's language.
  function signHash(way, cert, hashHex, algorithm, done, fail) {
    way.call("RawSign", [hashHex, cert.serial, cert.thumbprint, algorithm], function (r) {
      if (r[0] != 0) {
        fail(failure("RawSign", r[0], r[1]));
        return;
      }
      done(r[1]);
    }, fail);
  }

  // Shows the certificate in the Windows certificate dialog; done() when
  // the user has closed it.
  function showCertificate(way, cert, done, fail) {
    way.call("CertDisplay", [cert.certificate], function (code) {
      if (code != 0) fail(failure("CertDisplay", code));
      else done();
    }, fail);
  }

  // The UTF-8 bytes of a text; an unpaired surrogate becomes U+FFFD.
  function utf8Bytes(text) {
    var bytes = [];
    for (var i = 0; i < text.length; i++) {
      var c = text.charCodeAt(i);
      if (c >= 0xD800 && c <= 0xDFFF) {
        var next = i + 1 < text.length ? text.charCodeAt(i + 1) : 0;
        if (c <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
          c = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
          i++;
        } else {
          c = 0xFFFD;
        }
      }
      if (c < 0x80) {
        bytes.push(c);
      } else if (c < 0x800) {
        bytes.push(0xC0 | (c >> 6), 0x80 | (c & 0x3F));
      } else if (c < 0x10000) {
        bytes.push(0xE0 | (c >> 12), 0x80 | ((c >> 6) & 0x3F), 0x80 | (c & 0x3F));
      } else {
        bytes.push(0xF0 | (c >> 18), 0x80 | ((c >> 12) & 0x3F), 0x80 | ((c >> 6) & 0x3F), 0x80 | (c & 0x3F));
      }
    }
    return bytes;
  }

  var ALPHABET = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

  // Base64 of an array of byte values, one line.
  function base64(bytes) {
    var out = [];
    for (var i = 0; i < bytes.length; i += 3) {
      var n = bytes.length - i;
      var triple = (bytes[i] << 16) | ((n > 1 ? bytes[i + 1] : 0) << 8) | (n > 2 ? bytes[i + 2] : 0);
      out.push(ALPHABET.charAt((triple >> 18) & 63), ALPHABET.charAt((triple >> 12) & 63),
               n > 1 ? ALPHABET.charAt((triple >> 6) & 63) : "=", n > 2 ? ALPHABET.charAt(triple & 63) : "=");
    }
    return out.join("");
  }

  return {
    find: find,
    direct: direct,
    bridge: bridge,
    listCertificates: listCertificates,
    signText: signText,
    signHash: signHash,
    showCertificate: showCertificate,
    utf8Bytes: utf8Bytes,
    base64: base64
  };
})();
