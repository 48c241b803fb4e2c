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
