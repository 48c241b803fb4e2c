/* Tessarn page library: one way for a page to call the Tessarn control in
 * every browser.
 *
 *   Tessarn.call("RawSign", hash, serial, thumbprint, "SHA256")
 *       .then(function (answer) { ... }, function (error) { ... });
 *   Tessarn.available()   whether a way to the control exists right now
 *   Tessarn.ready(ms)     a promise of available(), once the browser
 *                         extension had up to ms milliseconds to answer
 *   Tessarn.status(ms)    a promise of the whole way's state: "ready",
 *                         "no-extension", "no-host" (the extension cannot
 *                         start its native host) or "no-control"
 *
 * Where the ActiveX control itself can be reached (Internet Explorer, Edge's
 * IE mode, a script host), calls go to it directly; elsewhere they go through
 * the Tessarn browser extension and its native host. The answer is the
 * control's own: a number, or an array [code, value, ...]. A byte array
 * (StringToBinary's answer, BinaryToString's first argument) is written
 * {bytes: "<base64>"}. A call that cannot be made at all (unknown method,
 * wrong argument count, no control) is rejected with
 * {hresult: "0x80020003", message: "..."}.
 *
 * Written in ES3 so that the JScript engine of old containers runs it; where
 * the engine has no Promise, calls answer a minimal then-able.
 */
var Tessarn = (function (global) {
  var PROGID = "TESSARN.TessarnCtrl.1";
  var CLSID = "e0d18e29-700a-419b-a691-d0e82e7cbca5";
  var CRYPT_STRING_BASE64 = 1;
  var CRYPT_STRING_BASE64_NOCRLF = 0x40000001;
  var E_FAIL = "0x80004005";
  var DISP_E_BADPARAMCOUNT = "0x8002000E";

  var control = null;        // the ActiveX control, once found
  var controlSearched = false;
  var bridgeSeen = false;    // the extension's content script answered
  var listening = false;
  var nextId = 1;
  var waiting = {};          // request id -> {resolve, reject}
  var readyWaiters = [];

  /* A minimal then-able for engines without Promise. Callbacks run as soon
   * as the value is known (such engines may have no timers either). */
  function Thenable() { this._state = 0; this._value = null; this._handlers = []; }
  Thenable.prototype.then = function (onFulfilled, onRejected) {
    var next = new Thenable();
    this._handlers.push([onFulfilled, onRejected, next]);
    if (this._state) this._flush();
    return next;
  };
  Thenable.prototype["catch"] = function (onRejected) { return this.then(null, onRejected); };
  Thenable.prototype._settle = function (state, value) {
    var self = this;
    if (this._state) return;
    if (state === 1 && value && (typeof value === "object" || typeof value === "function") &&
        typeof value.then === "function") {
      var done = false;
      value.then(function (v) { if (!done) { done = true; self._settle(1, v); } },
                 function (e) { if (!done) { done = true; self._settle(2, e); } });
      return;
    }
    this._state = state;
    this._value = value;
    this._flush();
  };
  Thenable.prototype._flush = function () {
    while (this._handlers.length) {
      var h = this._handlers.shift();
      var callback = this._state === 1 ? h[0] : h[1];
      if (typeof callback !== "function") { h[2]._settle(this._state, this._value); continue; }
      try { h[2]._settle(1, callback(this._value)); } catch (e) { h[2]._settle(2, e); }
    }
  };

  function makePromise(executor) {
    if (typeof global.Promise === "function") return new global.Promise(executor);
    var t = new Thenable();
    try {
      executor(function (v) { t._settle(1, v); }, function (e) { t._settle(2, e); });
    } catch (e) { t._settle(2, e); }
    return t;
  }

  function callError(hresult, message) { return { hresult: hresult, message: message }; }

  function hex32(n) {
    var s = (n < 0 ? n + 4294967296 : n).toString(16).toUpperCase();
    while (s.length < 8) s = "0" + s;
    return "0x" + s;
  }

  /* ---- the ActiveX control, where the browser hosts it ---- */

  function isControl(obj) {
    try { return obj !== null && typeof obj === "object" && typeof obj.LibGetInfo !== "undefined"; }
    catch (e) { return false; }
  }

  function findControl() {
    if (control || controlSearched) return control;
    controlSearched = true;
    var doc = global.document;
    if (doc && doc.getElementsByTagName) {
      var objects = doc.getElementsByTagName("object");
      for (var i = 0; i < objects.length; i++) {
        var classid = String(objects[i].getAttribute("classid") || "").toLowerCase();
        if (classid.indexOf(CLSID) >= 0 && isControl(objects[i])) { control = objects[i]; return control; }
      }
    }
    if (typeof ActiveXObject === "undefined") return null;
    // An <object> element the library adds itself: the browser initialises
    // it as it does the page's own, which a control made by ActiveXObject
    // alone is not (such a control refuses its calls).
    if (doc && doc.body && doc.createElement) {
      try {
        var made = doc.createElement("object");
        made.style.display = "none";
        made.setAttribute("classid", "clsid:" + CLSID.toUpperCase());
        doc.body.appendChild(made);
        if (isControl(made)) { control = made; return control; }
        doc.body.removeChild(made);
      } catch (e) { /* fall back to ActiveXObject */ }
    }
    try { control = new ActiveXObject(PROGID); } catch (e) { control = null; }
    return control;
  }

  /* JScript cannot apply() an argument list to a method of an Automation
   * object: each count is written out. The control's methods take at most
   * four arguments. */
  function invoke(obj, method, a) {
    switch (a.length) {
      case 0: return obj[method]();
      case 1: return obj[method](a[0]);
      case 2: return obj[method](a[0], a[1]);
      case 3: return obj[method](a[0], a[1], a[2]);
      case 4: return obj[method](a[0], a[1], a[2], a[3]);
      case 5: return obj[method](a[0], a[1], a[2], a[3], a[4]);
      default: throw callError(DISP_E_BADPARAMCOUNT, "Too many arguments.");
    }
  }

  function isBytes(v) {
    return v !== null && typeof v === "object" && typeof v.bytes === "string";
  }

  // {bytes: base64} -> the control's byte array, made by the control itself.
  function toControlBytes(v) {
    var r = new VBArray(control.StringToBinary(v.bytes, CRYPT_STRING_BASE64)).toArray();
    if (r[0] !== 0) throw callError(E_FAIL, "The bytes are not valid base64.");
    return r[1];
  }

  // A byte array from the control -> {bytes: base64}. Its length comes
  // from VBArray where the engine reads byte arrays; elsewhere it is found
  // by asking the control itself, which refuses (code 40) a length beyond
  // the bytes.
  function byteCount(a) {
    try { return new VBArray(a).ubound(1) + 1; } catch (e) { /* found below */ }
    function fits(n) {
      return new VBArray(control.BinaryToString(a, n, CRYPT_STRING_BASE64_NOCRLF)).toArray()[0] === 0;
    }
    var low = 0, high = 1;
    while (fits(high)) { low = high; high *= 2; if (high > 0x7fffffff) return low; }
    while (high - low > 1) {
      var mid = Math.floor((low + high) / 2);
      if (fits(mid)) low = mid; else high = mid;
    }
    return low;
  }

  function fromControlBytes(a) {
    var n = byteCount(a);
    if (n <= 0) return { bytes: "" };
    var r = new VBArray(control.BinaryToString(a, n, CRYPT_STRING_BASE64_NOCRLF)).toArray();
    return { bytes: r[1] };
  }

  // The items of a SAFEARRAY, or null when the value is none. (Asking
  // typeof of a SAFEARRAY is not safe everywhere: some engines fail on it.)
  function arrayItems(value) {
    try { return new VBArray(value).toArray(); } catch (e) { return null; }
  }

  // The control's answer as the bridge gives it. Only StringToBinary
  // answers a byte array (its second item).
  function fromControl(method, value) {
    var items = arrayItems(value);
    if (items === null) return value == null ? null : value;  // a number or a text
    if (method === "StringToBinary" && items.length > 1) items[1] = fromControlBytes(items[1]);
    return items;
  }

  /* JScript reports a failed dispatch with its own error numbers; the page
   * gets the dispatch code the bridge would answer for the same call. */
  var JSCRIPT_TO_DISPATCH = {
    "800A01B6": "0x80020006",  // no such method: DISP_E_UNKNOWNNAME
    "800A01C2": "0x8002000E",  // wrong argument count: DISP_E_BADPARAMCOUNT
    "800A000D": "0x80020005"   // type mismatch: DISP_E_TYPEMISMATCH
  };
  function dispatchCode(e) {
    var code = hex32(e && typeof e.number === "number" ? e.number : -2147467259);
    return JSCRIPT_TO_DISPATCH[code.substr(2)] || code;
  }

  function callControl(method, args) {
    return makePromise(function (resolve, reject) {
      var a = [];
      try {
        for (var i = 0; i < args.length; i++) a[i] = isBytes(args[i]) ? toControlBytes(args[i]) : args[i];
        resolve(fromControl(method, invoke(control, method, a)));
      } catch (e) {
        if (e && typeof e.hresult === "string") reject(e);
        else reject(callError(dispatchCode(e), (e && (e.message || e.description)) || "The call could not be made."));
      }
    });
  }

  /* ---- the browser extension ---- */

  function onMessage(event) {
    if (event.source !== global) return;
    var data = event.data;
    if (!data || typeof data !== "object") return;
    if (data.tessarn === "ready") {
      bridgeSeen = true;
      var list = readyWaiters;
      readyWaiters = [];
      for (var i = 0; i < list.length; i++) list[i]();
      return;
    }
    if (data.tessarn !== "answer") return;
    var w = waiting[data.id];
    if (!w) return;
    delete waiting[data.id];
    if (data.error) w.reject(data.error);
    else w.resolve(typeof data.result === "undefined" ? null : data.result);
  }

  function listen() {
    if (listening || !global.addEventListener) return;
    listening = true;
    global.addEventListener("message", onMessage, false);
  }

  function bridgePresent() {
    if (bridgeSeen) return true;
    var doc = global.document;
    return !!(doc && doc.documentElement && doc.documentElement.getAttribute &&
              doc.documentElement.getAttribute("data-tessarn-bridge") === "1");
  }

  function callBridge(method, args) {
    listen();
    return makePromise(function (resolve, reject) {
      var id = nextId++;
      waiting[id] = { resolve: resolve, reject: reject };
      global.postMessage({ tessarn: "request", id: id, method: method, args: args }, "*");
    });
  }

  /* ---- the public face ---- */

  function call(method) {
    var args = [];
    for (var i = 1; i < arguments.length; i++) args.push(arguments[i]);
    if (typeof method !== "string" || method === "") {
      return makePromise(function (resolve, reject) { reject(callError("0x80020006", "No method named.")); });
    }
    if (findControl()) return callControl(method, args);
    if (bridgePresent()) return callBridge(method, args);
    // The extension may not have announced itself yet: ask it once.
    return ready(1000).then(function (present) {
      if (present && !control) return callBridge(method, args);
      if (control) return callControl(method, args);
      throw callError(E_FAIL, "Neither the Tessarn control nor the Tessarn browser extension is available.");
    });
  }

  function available() { return !!findControl() || bridgePresent(); }

  function ready(timeoutMs) {
    return makePromise(function (resolve) {
      if (available() || !global.postMessage || !global.setTimeout) { resolve(available()); return; }
      listen();
      var settled = false;
      function finish() { if (!settled) { settled = true; resolve(available()); } }
      readyWaiters.push(finish);
      global.postMessage({ tessarn: "probe" }, "*");
      global.setTimeout(finish, typeof timeoutMs === "number" ? timeoutMs : 1000);
    });
  }

  /* The whole way, not only its first part: ready() answers true as soon as
   * the extension is there, even when it cannot start the native host. A
   * LibGetInfo call (never refused by the site lock) goes all the way. */
  function status(timeoutMs) {
    return ready(timeoutMs).then(function (present) {
      if (!present) return "no-extension";
      return call("LibGetInfo", 0).then(function () { return "ready"; }, function (e) {
        var text = String(e && e.message || "");
        if (/^The Tessarn (host|bridge)/.test(text) || /native messaging host|native application/i.test(text)) {
          return "no-host";
        }
        return "no-control";
      });
    });
  }

  // Names the control to use, e.g. an <object> the page made itself.
  function useControl(obj) { control = obj; controlSearched = true; }

  return { call: call, available: available, ready: ready, status: status, useControl: useControl };
})(this);
