// The extension's background part on its own, in Node (node --test): the
// script is run as the browser runs it, against a stand-in of the
// extension API whose ports record what passes through them. content.js
// strips what a page writes besides the method and its arguments, so only
// a test of this part alone shows what it does with a message that still
// carries such fields (a content script of another version, or one that
// a page got around).
"use strict";

const test = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const path = require("node:path");
const vm = require("node:vm");

const sourcePath = path.join(__dirname, "..", "..", "bridge", "extension", "src", "background.js");
const source = fs.readFileSync(sourcePath, "utf8");

function makeEvent() {
  const listeners = [];
  return {
    listeners,
    addListener(f) { listeners.push(f); },
    removeListener(f) {
      const i = listeners.indexOf(f);
      if (i >= 0) listeners.splice(i, 1);
    },
    fire(...args) { for (const f of listeners.slice()) f(...args); },
  };
}

function makePort(name, sender) {
  return {
    name,
    sender,
    received: [],
    onMessage: makeEvent(),
    onDisconnect: makeEvent(),
    // What crosses a port is a copy, as the browser's structured clone makes.
    postMessage(message) { this.received.push(JSON.parse(JSON.stringify(message))); },
    disconnect() { this.disconnected = true; },
  };
}

// background.js loaded afresh, with the stand-in API as `chrome`.
function loadBackground() {
  const hostPorts = [];
  const runtime = {
    lastError: undefined,
    onConnect: makeEvent(),
    connectNative(name) {
      const port = makePort(name, undefined);
      hostPorts.push(port);
      return port;
    },
  };
  const context = vm.createContext({
    chrome: { runtime },
    URL,
    console,
    setTimeout: () => 0,  // the idle close is not under test here
    clearTimeout: () => {},
  });
  vm.runInContext(source, context, { filename: sourcePath });
  return {
    runtime,
    hostPorts,
    // A page frame's port, as content.js opens it.
    connectPage(sender, name = "tessarn-page") {
      const port = makePort(name, sender);
      runtime.onConnect.fire(port);
      return port;
    },
    // Everything sent to the host so far.
    sentToHost() { return hostPorts.flatMap((p) => p.received); },
  };
}

const frame = { origin: "https://example.cz", url: "https://example.cz/sign.html", tab: { id: 1 }, frameId: 0 };

test("the host is told the frame's origin as the browser reports it, never one the page wrote", () => {
  const pageSaid = [
    ["another origin", "https://evil.example"],
    ["the allowed origin's look-alike", "https://example.cz.evil.example"],
    ["an empty origin", ""],
    ["no origin at all", null],
    ["an origin object", { toString() { return "https://evil.example"; } }],
  ];
  for (const [what, origin] of pageSaid) {
    const bg = loadBackground();
    const page = bg.connectPage(frame);
    page.onMessage.fire({ tessarn: "request", id: 7, origin, method: "CertEnum", args: [0] });
    const sent = bg.sentToHost();
    assert.equal(sent.length, 1, what);
    assert.equal(sent[0].origin, "https://example.cz",
      `${what}: the host was told the page-supplied origin (message.origin) instead of the browser's`);
    assert.deepEqual(Object.keys(sent[0]).sort(), ["args", "document", "id", "method", "origin"],
      `${what}: nothing of the page's message but the method and its arguments reaches the host`);
    assert.equal(sent[0].method, "CertEnum");
    assert.deepEqual(sent[0].args, [0]);
  }
});

test("without the browser's origin, the frame's URL gives it when the frame saw it too; anything else is the opaque origin", () => {
  // The content script names the origin its frame has (window.origin) in its
  // port's name: a sandboxed frame sees "null" though its URL is an https one.
  const senders = [
    ["an https frame", { url: "https://Example.CZ:8443/a/b?x=1#f" }, "https://example.cz:8443", "https://example.cz:8443"],
    ["an http loopback frame", { url: "http://localhost:8080/test.html" }, "http://localhost:8080", "http://localhost:8080"],
    ["an empty origin beside a URL", { origin: "", url: "https://example.cz/" }, "https://example.cz", "https://example.cz"],
    ["a sandboxed frame", { url: "https://example.cz/framed.html" }, "null", "null"],
    ["a frame that saw another origin", { url: "https://example.cz/" }, "https://evil.example", "null"],
    ["a bare port name", { url: "https://example.cz/" }, undefined, "null"],
    ["a file", { url: "file:///C:/sign.html" }, "null", "null"],
    ["about:blank", { url: "about:blank" }, "null", "null"],
    ["no URL", {}, "https://example.cz", "null"],
    ["no sender", undefined, "https://example.cz", "null"],
  ];
  for (const [what, sender, seen, expected] of senders) {
    const bg = loadBackground();
    const page = bg.connectPage(sender, seen === undefined ? "tessarn-page" : "tessarn-page " + seen);
    page.onMessage.fire({ id: 1, origin: "https://example.cz", method: "CertEnum", args: [] });
    const sent = bg.sentToHost();
    assert.equal(sent.length, 1, what);
    assert.equal(sent[0].origin, expected, `${what}: the host must be told ${expected}, not what the page wrote`);
  }
});

test("each frame gets its own answers under its own ids", () => {
  const bg = loadBackground();
  const a = bg.connectPage(frame);
  const b = bg.connectPage({ origin: "https://other.example", url: "https://other.example/" });
  a.onMessage.fire({ id: 1, method: "CertEnum", args: [0] });
  b.onMessage.fire({ id: 1, method: "CertEnum", args: [0] });
  const [toHostA, toHostB] = bg.sentToHost();
  assert.notEqual(toHostA.id, toHostB.id, "two frames' requests share a host id");
  assert.equal(toHostA.origin, "https://example.cz");
  assert.equal(toHostB.origin, "https://other.example");
  const host = bg.hostPorts[0];
  host.onMessage.fire({ id: toHostB.id, result: ["b"] });
  host.onMessage.fire({ id: toHostA.id, result: ["a"] });
  assert.deepEqual(a.received, [{ tessarn: "answer", id: 1, result: ["a"] }]);
  assert.deepEqual(b.received, [{ tessarn: "answer", id: 1, result: ["b"] }]);
});

test("requests without a method and an argument list are answered without reaching the host", () => {
  const bg = loadBackground();
  const page = bg.connectPage(frame);
  page.onMessage.fire({ id: 2, method: "CertEnum" });
  page.onMessage.fire({ id: 3, args: [] });
  page.onMessage.fire({ id: { not: "an id" }, method: "CertEnum", args: [] });
  assert.deepEqual(bg.sentToHost(), []);
  assert.deepEqual(page.received.map((m) => [m.id, m.error.hresult]), [[2, "0x80020003"], [3, "0x80020003"]]);
});

test("ports other than the page's are not listened to", () => {
  const bg = loadBackground();
  const other = bg.connectPage(frame, "something-else");
  assert.equal(other.onMessage.listeners.length, 0);
});
