// The extension's background part: one native-messaging port to the Tessarn
// host, shared by every page that uses the bridge.
//
// Each page frame talks to us through its own runtime port (opened by
// content.js). Requests get a fresh id of ours before they go to the host,
// so pages that number their calls alike never see each other's answers;
// the answer is routed back to the frame that asked, under the page's own id.
//
// The origin the host judges is the one the browser reports for the frame
// that opened the port (port.sender), never anything the page wrote. With
// it goes the name of the frame's document, also the browser's, so that the
// site lock's "Allow once" lasts for one loaded document: a reload or
// another page is asked again.
"use strict";

const HOST_NAME = "zorv.tessarn";
// A host that nobody needs is let go after this long, so it does not
// linger for the whole browser session; the next request starts it again.
const IDLE_CLOSE_MS = 5000;
// What the page's promise is rejected with when the bridge itself fails
// (the same form as the host's own dispatch errors).
const E_FAIL = "0x80004005";

const api = typeof browser !== "undefined" ? browser : chrome;

let hostPort = null;
let nextHostId = 1;
// host id -> { pagePort, pageId }
const pending = new Map();
// host id -> { chunks: string[], received: number, total: number }
const partial = new Map();
const pagePorts = new Set();
let idleTimer = null;
// The host remembers a user's denial: it is kept for the rest of the browser
// session, so that a page cannot have the question asked again by waiting
// for the host to be let go.
let holdHost = false;

// The origin of the frame behind a port, as the browser reports it.
// Firefox reports only the frame's address, which a sandboxed frame shares
// with its parent although its origin is opaque: there the origin the
// frame's own content script saw (`seen`, carried in the port's name) must
// agree with the address's, or the frame is judged opaque. That report can
// only take an origin away, never name another one.
function senderOrigin(sender, seen) {
  if (sender && typeof sender.origin === "string" && sender.origin !== "") {
    return sender.origin;
  }
  try {
    const url = new URL(sender.url);
    if ((url.protocol === "http:" || url.protocol === "https:") && seen === url.origin) return url.origin;
  } catch (e) {
    // fall through: an origin we cannot name is an opaque one
  }
  return "null";
}

// The origin the content script saw in its frame, from the port's name
// "tessarn-page <origin>"; undefined for a bare "tessarn-page".
function seenOrigin(portName) {
  return portName.startsWith("tessarn-page ") ? portName.slice("tessarn-page ".length) : undefined;
}

// The browser's name for the document behind a port: Chromium's documentId;
// elsewhere the tab and frame, with a value of ours made for this port (a
// content script opens its port once per document; a new document, even in
// the same frame, comes with a new port).
let portSerial = 0;
function senderDocument(sender) {
  if (sender && typeof sender.documentId === "string" && sender.documentId !== "") {
    return sender.documentId;
  }
  const tab = sender && sender.tab && typeof sender.tab.id === "number" ? sender.tab.id : -1;
  const frame = sender && typeof sender.frameId === "number" ? sender.frameId : -1;
  const nonce = typeof crypto !== "undefined" && crypto.randomUUID ? crypto.randomUUID() : String(Math.random());
  return tab + "/" + frame + "/" + (++portSerial) + "-" + nonce;
}

function answerPage(entry, answer) {
  const message = { tessarn: "answer", id: entry.pageId };
  if (Object.prototype.hasOwnProperty.call(answer, "error")) {
    message.error = answer.error;
  } else {
    message.result = answer.result === undefined ? null : answer.result;
  }
  try {
    entry.pagePort.postMessage(message);
  } catch (e) {
    // The frame went away before its answer came: nothing to deliver.
  }
}

function failAllPending(text) {
  for (const entry of pending.values()) {
    answerPage(entry, { error: { hresult: E_FAIL, message: text } });
  }
  pending.clear();
  partial.clear();
}

function onHostMessage(message) {
  if (!message || typeof message !== "object") return;
  if (message.hold === true && !Object.prototype.hasOwnProperty.call(message, "id")) {
    holdHost = true;
    if (idleTimer !== null) { clearTimeout(idleTimer); idleTimer = null; }
    return;
  }
  let answer = message;
  if (typeof message.chunks === "number") {
    answer = joinChunk(message);
    if (!answer) return;
  }
  const entry = pending.get(answer.id);
  if (!entry) return;  // late answer for a frame that is gone, or unknown id
  pending.delete(answer.id);
  answerPage(entry, answer);
  scheduleIdleClose();
}

// Gathers the slices of one large answer; returns the whole answer object
// once the last slice is in, null before that.
function joinChunk(message) {
  const id = message.id;
  const total = message.chunks;
  const index = message.chunk;
  if (!pending.has(id) || !(total > 0) || !(index >= 0 && index < total) ||
      typeof message.data !== "string") {
    return null;
  }
  let state = partial.get(id);
  if (!state || state.total !== total) {
    state = { chunks: new Array(total), received: 0, total: total };
    partial.set(id, state);
  }
  if (state.chunks[index] === undefined) state.received++;
  state.chunks[index] = message.data;
  if (state.received < total) return null;
  partial.delete(id);
  try {
    return JSON.parse(state.chunks.join(""));
  } catch (e) {
    return { id: id, error: { hresult: E_FAIL, message: "The host's answer could not be read." } };
  }
}

function onHostDisconnect() {
  const error = api.runtime.lastError;
  hostPort = null;
  holdHost = false;
  failAllPending("The Tessarn host ended" + (error && error.message ? ": " + error.message : "."));
}

// The port to the host, started when first needed and again after the host
// ended (the next request reconnects).
function ensureHost() {
  if (!hostPort) {
    hostPort = api.runtime.connectNative(HOST_NAME);
    hostPort.onMessage.addListener(onHostMessage);
    hostPort.onDisconnect.addListener(onHostDisconnect);
  }
  return hostPort;
}

function closeHost() {
  if (idleTimer !== null) { clearTimeout(idleTimer); idleTimer = null; }
  if (!hostPort) return;
  const port = hostPort;
  hostPort = null;
  port.disconnect();
  failAllPending("The Tessarn host was closed.");
}

// Lets the host go once no page holds a port and no call is outstanding.
function scheduleIdleClose() {
  if (idleTimer !== null) { clearTimeout(idleTimer); idleTimer = null; }
  if (!hostPort || holdHost || pagePorts.size > 0 || pending.size > 0) return;
  idleTimer = setTimeout(function () {
    idleTimer = null;
    if (pagePorts.size === 0 && pending.size === 0) closeHost();
  }, IDLE_CLOSE_MS);
}

function isValidPageId(id) {
  return (typeof id === "number" && isFinite(id)) ||
         (typeof id === "string" && id.length <= 256);
}

function onPageRequest(pagePort, origin, documentName, message) {
  if (!message || typeof message !== "object" || !isValidPageId(message.id)) return;
  const entry = { pagePort: pagePort, pageId: message.id };
  if (typeof message.method !== "string" || !Array.isArray(message.args)) {
    answerPage(entry, { error: { hresult: "0x80020003", message: "A request needs a method name and an argument list." } });
    return;
  }
  const hostId = nextHostId++;
  pending.set(hostId, entry);
  if (idleTimer !== null) { clearTimeout(idleTimer); idleTimer = null; }
  try {
    // Built field by field: nothing of the page's message but the method
    // and its arguments reaches the host, and the origin is the browser's.
    ensureHost().postMessage({ id: hostId, origin: origin, document: documentName, method: message.method,
                               args: message.args });
  } catch (e) {
    pending.delete(hostId);
    answerPage(entry, { error: { hresult: E_FAIL, message: "The Tessarn host cannot be reached: " + e.message } });
  }
}

api.runtime.onConnect.addListener(function (pagePort) {
  if (pagePort.name !== "tessarn-page" && !pagePort.name.startsWith("tessarn-page ")) return;
  // Only our own content scripts open ports; they run in the page's frame,
  // and the browser fills in which frame that is.
  const origin = senderOrigin(pagePort.sender, seenOrigin(pagePort.name));
  const documentName = senderDocument(pagePort.sender);
  pagePorts.add(pagePort);
  if (idleTimer !== null) { clearTimeout(idleTimer); idleTimer = null; }
  pagePort.onMessage.addListener(function (message) { onPageRequest(pagePort, origin, documentName, message); });
  pagePort.onDisconnect.addListener(function () {
    pagePorts.delete(pagePort);
    for (const [hostId, entry] of pending) {
      // The host still answers; the answer is dropped when it comes.
      if (entry.pagePort === pagePort) entry.pagePort = null;
    }
    scheduleIdleClose();
  });
});
