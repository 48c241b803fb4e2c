// What every test page shares: reading the test PKI from the server and
// reporting results back to it (the test reads them there).
function fetchText(path) {
  var xhr = new XMLHttpRequest();
  xhr.open("GET", path, false);
  xhr.send(null);
  if (xhr.status !== 200) throw new Error("GET " + path + ": " + xhr.status);
  return xhr.responseText.replace(/\s+$/, "");
}

function report(name, data, then) {
  var xhr = new XMLHttpRequest();
  xhr.open("POST", "/report/" + name, true);
  xhr.setRequestHeader("Content-Type", "application/json");
  xhr.onload = function () { if (then) then(); };
  xhr.send(JSON.stringify(data));
}

function loadPki() {
  return { full: fetchText("/pki/full.b64"), fullSha1: fetchText("/pki/full.sha1"), dns: fetchText("/pki/dns.b64") };
}

// Reports a failure of the page itself rather than leaving the test waiting.
function guard(name, fn) {
  try { fn(); } catch (e) { report(name, { pageError: String(e && e.stack || e) }); }
}

// Leaves the page, so its port to the extension closes.
function leave() { location.href = "/blank.html"; }

// Runs fn once the extension answers. A browser may show the first page
// before it has started its extensions: the page then loads itself again.
function whenBridgeReady(name, fn) {
  Tessarn.ready(3000).then(function (available) {
    if (available) { guard(name, fn); return; }
    var tries = Number(sessionStorage.getItem("tessarn-tries") || "0");
    if (tries >= 20) { report(name, { pageError: "the Tessarn extension never answered" }); return; }
    sessionStorage.setItem("tessarn-tries", String(tries + 1));
    location.reload();
  });
}
