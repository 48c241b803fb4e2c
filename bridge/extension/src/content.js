// The content script: relays the page's requests to the background part and
// its answers back to the page, through window.postMessage envelopes
//   page -> here:  {tessarn: "request", id, method, args}
//   here -> page:  {tessarn: "answer", id, result} or {..., error}
//                  {tessarn: "ready"} once the bridge listens, and again
//                  whenever the page posts {tessarn: "probe"}
// Only messages the frame posts to itself are taken: another frame (a
// parent, an embedded page) cannot speak in this frame's name.
(function () {
  "use strict";
  var api = typeof browser !== "undefined" ? browser : chrome;
  var port = null;
  // ids of requests sent on the current port and not yet answered
  var outstanding = {};

  function toPage(message) {
    message.tessarn = message.tessarn || "answer";
    window.postMessage(message, "*");
  }

  // The origin of this frame's document as the browser gives it to us (a
  // sandboxed frame's is "null"); read from the browser's own property, not
  // from anything the page defined. It can only make the frame's origin
  // opaque: the background part checks it against the frame's address.
  var seenOrigin = String(window.origin);

  function connect() {
    port = api.runtime.connect({ name: "tessarn-page " + seenOrigin });
    port.onMessage.addListener(function (message) {
      if (!message || message.tessarn !== "answer") return;
      delete outstanding[keyOf(message.id)];
      toPage(message);
    });
    port.onDisconnect.addListener(function () {
      // The background part was restarted or the extension reloaded: what
      // was asked on this port will never be answered.
      port = null;
      var ids = outstanding;
      outstanding = {};
      for (var key in ids) {
        toPage({ tessarn: "answer", id: ids[key],
                 error: { hresult: "0x80004005", message: "The Tessarn bridge was restarted; the call was lost." } });
      }
    });
  }

  function keyOf(id) { return typeof id + ":" + id; }

  window.addEventListener("message", function (event) {
    if (event.source !== window) return;
    var data = event.data;
    if (!data || typeof data !== "object") return;
    if (data.tessarn === "probe") { toPage({ tessarn: "ready" }); return; }
    if (data.tessarn !== "request") return;
    if (typeof data.id !== "number" && typeof data.id !== "string") return;
    // Only what a request is made of goes on; an "origin" the page put in
    // its message is dropped here and set by the background part.
    var request = { id: data.id, method: data.method, args: data.args };
    try {
      if (!port) connect();
      outstanding[keyOf(data.id)] = data.id;
      port.postMessage(request);
    } catch (e) {
      delete outstanding[keyOf(data.id)];
      toPage({ tessarn: "answer", id: data.id,
               error: { hresult: "0x80004005", message: "The Tessarn bridge cannot be reached: " + e.message } });
    }
  });

  // Tells the page library, synchronously readable, that a transport exists.
  function mark() {
    if (!document.documentElement) return false;
    document.documentElement.setAttribute("data-tessarn-bridge", "1");
    return true;
  }
  if (!mark()) document.addEventListener("DOMContentLoaded", mark);
  toPage({ tessarn: "ready" });
})();
