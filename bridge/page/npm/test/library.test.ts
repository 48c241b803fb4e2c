// The page library against the mock, against a simulated extension and
// against a simulated control: named results, one failure channel, time
// limits, and readiness that names the missing part.
import { test } from "node:test";
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { mkdtempSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import {
  Tessarn, TessarnError, Criteria, resultTexts, LAST_RESULT_CODE, extensionTransport, controlTransport,
  base64ToBytes, bytesToBase64, utf8ToBase64, base64ToUtf8, hexToBytes, bytesToHex,
} from "../src/index.js";
import { createMockTransport, TEST_FIXTURE } from "../src/mock.js";

const mock = (options = {}) => new Tessarn({ transport: createMockTransport(options) });
const signerFixture = TEST_FIXTURE.certificates[0];
const colleague = TEST_FIXTURE.certificates[1];
const rejection = async (p: Promise<unknown>): Promise<TessarnError> => {
  const e = await p.then(() => null, (e: unknown) => e);
  assert.ok(e instanceof TessarnError, "expected a TessarnError, got " + String(e));
  assert.ok(e instanceof Error);
  return e;
};

test("listCertificates: named fields of the certificates that may sign, by criteria", async () => {
  const tessarn = mock();
  const valid = await tessarn.listCertificates();
  assert.deepEqual(valid.map((c) => c.displayName), ["Jana Testová"]);
  const [jana] = valid;
  assert.equal(jana.certificate, signerFixture.certificate);
  assert.equal(jana.email, "signer@example.cz");
  assert.equal(jana.issuerDisplayName, "Tessarn Test Issuing CA");
  assert.match(jana.thumbprint, /^[0-9a-f]{40}$/);
  assert.match(jana.serial, /^00a1b2c3d4$/);
  assert.match(jana.validTo, /^\d{4}\/\d\d\/\d\d \d\d:\d\d:\d\d$/);
  assert.equal(jana.keyUsage, "c0");
  // Without validation the colleague's certificate, which has no key here, is listed too.
  const all = await tessarn.listCertificates({ criteria: Criteria.ANY_SIGNING });
  assert.deepEqual(all.map((c) => c.displayName), ["Jana Testová", "Petr Kolega"]);
  assert.deepEqual(await tessarn.listCertificates({ criteria: Criteria.EKU_OID }), []);
  assert.deepEqual(await tessarn.lookupCertificates({ store: "ROOT", kind: 3 }), [TEST_FIXTURE.certificates[3].certificate]);
  assert.equal((await rejection(tessarn.lookupCertificates({ store: "MY", kind: 7 as 0 }))).code, 44);
});

test("every method answers through the promise API", async () => {
  const tessarn = mock();
  const jana = signerFixture.certificate;
  assert.deepEqual(await tessarn.libraryInfo(), { name: "Tessarn", version: "2.3.21113.0" });
  await tessarn.checkCertificate(jana);
  await tessarn.checkPrivateKey(jana);
  await tessarn.checkChain(jana);
  await tessarn.displayCertificate(jana);
  await tessarn.checkSigning({ serial: signerFixture.info[5], thumbprint: signerFixture.info[6] });
  assert.equal((await rejection(tessarn.checkPrivateKey(colleague.certificate))).code, 1);
  assert.equal((await rejection(tessarn.checkCertificate("not base64!"))).code, 39);
  const info = await tessarn.certificateInfo(jana);
  assert.equal(info.subject, "E=signer@example.cz, CN=Jana Testová, O=Tessarn Test, C=CZ");
  assert.equal(await tessarn.binaryToString(new Uint8Array([1, 2, 3])), "AQID");
  assert.deepEqual(await tessarn.stringToBinary("AQID"), new Uint8Array([1, 2, 3]));
  assert.equal(await tessarn.localTimeToUtc("2017/1/2 3:4:5"), "2017/01/02 03:04:05");
  assert.equal((await rejection(tessarn.localTimeToUtc("2017/13/2 3:4:5"))).code, 39);
  assert.match(await tessarn.setLogging("TRACE"), /tessarn/);
  assert.equal((await tessarn.getLogging()).level, "TRACE");
  assert.equal((await rejection(tessarn.setLogging("LOUD" as "NONE"))).code, 35);
  await tessarn.aboutBox();
  assert.deepEqual(await tessarn.call("LibGetInfo", 1), [0, "Tessarn"]);
});

test("signatures by serial and thumbprint, by certificate, and PKCS #7; OpenSSL verifies them", async () => {
  const tessarn = mock({ now: () => new Date() });
  const dir = mkdtempSync(join(tmpdir(), "tessarn-lib-"));
  const pem = (b64: string) => `-----BEGIN CERTIFICATE-----\n${b64.match(/.{1,64}/g)!.join("\n")}\n-----END CERTIFICATE-----\n`;
  writeFileSync(join(dir, "signer.pem"), pem(signerFixture.certificate));
  writeFileSync(join(dir, "chain.pem"), pem(TEST_FIXTURE.certificates[2].certificate) + pem(TEST_FIXTURE.certificates[3].certificate));
  execFileSync("openssl", ["x509", "-in", join(dir, "signer.pem"), "-pubkey", "-noout", "-out", join(dir, "pub.pem")]);
  const cases: Array<["SHA1" | "SHA256" | "SHA384" | "SHA512", string]> = [
    ["SHA1", "a9993e364706816aba3e25717850c26c9cd0d89d"],
    ["SHA256", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"],
    ["SHA512", "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"],
  ];
  for (const [algorithm, hash] of cases) {
    const bySerial = await tessarn.signHash({ serial: signerFixture.info[5], thumbprint: signerFixture.info[6], hash, algorithm });
    const byCert = await tessarn.signHash({ certificate: signerFixture.certificate, hash, algorithm });
    assert.equal(bySerial, byCert, "PKCS #1 v1.5 signatures are deterministic");
    writeFileSync(join(dir, "hash.bin"), hexToBytes(hash));
    writeFileSync(join(dir, "sig.bin"), hexToBytes(byCert));
    execFileSync("openssl", ["pkeyutl", "-verify", "-pubin", "-inkey", join(dir, "pub.pem"), "-in", join(dir, "hash.bin"),
      "-sigfile", join(dir, "sig.bin"), "-pkeyopt", "digest:" + algorithm.toLowerCase()]);
  }
  for (const algorithm of ["SHA1", "SHA256", "SHA384", "SHA512"] as const) {
    const data = new Uint8Array(70000).map((_, i) => (i * 7 + 3) & 255);
    const message = await tessarn.signDocument({ certificate: signerFixture.certificate, data, algorithm });
    writeFileSync(join(dir, "message.der"), base64ToBytes(message));
    execFileSync("openssl", ["cms", "-verify", "-inform", "DER", "-in", join(dir, "message.der"), "-CAfile",
      join(dir, "chain.pem"), "-purpose", "any", "-out", join(dir, "content.bin")], { stdio: "pipe" });
    const printed = execFileSync("openssl", ["cms", "-cmsout", "-print", "-inform", "DER", "-in", join(dir, "message.der")]).toString();
    assert.match(printed, /signingTime/);
  }
  // The control's refusals, as codes.
  const wrong: Array<[Promise<unknown>, number]> = [
    [tessarn.signHash({ certificate: signerFixture.certificate, hash: "abc", algorithm: "SHA256" }), 32],
    [tessarn.signHash({ certificate: signerFixture.certificate, hash: "abcd", algorithm: "SHA256" }), 16],
    [tessarn.signHash({ certificate: signerFixture.certificate, hash: "ab".repeat(28), algorithm: "SHA224" }), 33],
    [tessarn.signHash({ serial: "01", thumbprint: signerFixture.info[6], hash: cases[1][1] }), 1],
    [tessarn.signHash({ certificate: colleague.certificate, hash: cases[1][1] }), 10],
    [tessarn.signDocument({ certificate: colleague.certificate, data: "x" }), 14],
  ];
  for (const [p, code] of wrong) assert.equal((await rejection(p)).code, code);
});

test("TessarnError carries the code and the control's English and Czech texts", () => {
  const e = new TessarnError(34, { method: "CertEnum" });
  assert.equal(e.name, "TessarnError");
  assert.equal(e.english, "User didn't allow access to his certificates.");
  assert.equal(e.czech, "U\u017Eivatel nepovolil p\u0159\u00EDstup ke sv\u00FDm certifik\u00E1t\u016Fm.");
  assert.equal(e.text("cs-CZ"), e.czech);
  assert.equal(e.text("en-US"), e.english);
  assert.equal(e.message, "CertEnum: " + e.english);
  assert.ok(e.isResultCode);
  assert.equal(LAST_RESULT_CODE, 45);
  assert.equal(resultTexts(39), null);
  assert.equal(new TessarnError(45).english, "Input is too large to convert.");
  assert.equal(new TessarnError(42).english, "Tessarn result code 42.");
  assert.equal(new TessarnError("TIMEOUT").isResultCode, false);
});

test("a call that does not answer in time rejects with TIMEOUT", async () => {
  const tessarn = new Tessarn({ transport: createMockTransport({ delayMs: 2000 }), timeoutMs: 20 });
  assert.equal((await rejection(tessarn.libraryInfo())).code, "TIMEOUT");
});

// A window whose postMessage reaches its own listeners, with an extension
// that answers as the content script does (or stays silent).
class FakeWindow extends EventTarget {
  document = undefined as unknown as Document;
  requests: unknown[] = [];
  constructor(private readonly extension: ((request: { id: string; method: string }) => object | null) | null) {
    super();
  }
  deliver(data: unknown) {
    const event = new Event("message");
    Object.defineProperty(event, "data", { value: data });
    Object.defineProperty(event, "source", { value: this });
    setTimeout(() => this.dispatchEvent(event), 0);
  }
  postMessage(data: { tessarn: string; id: string; method: string }) {
    this.deliver(data);
    if (!this.extension) return;
    if (data.tessarn === "probe") this.deliver({ tessarn: "ready" });
    if (data.tessarn === "request") {
      this.requests.push(data);
      const answer = this.extension(data);
      if (answer) this.deliver({ tessarn: "answer", id: data.id, ...answer });
    }
  }
}

test("ready() names the missing part: extension, host or control", async () => {
  const cases: Array<[string, FakeWindow, string | null]> = [
    ["no extension", new FakeWindow(null), "NO_EXTENSION"],
    ["no host (Chromium)", new FakeWindow(() => ({ error: { hresult: "0x80004005",
      message: "The Tessarn host ended: Specified native messaging host not found." } })), "NO_HOST"],
    ["no host (Firefox)", new FakeWindow(() => ({ error: { hresult: "0x80004005",
      message: "The Tessarn host ended: No such native application zorv.tessarn" } })), "NO_HOST"],
    ["no control", new FakeWindow(() => ({ error: { hresult: "0x80040154", message: "Class not registered." } })), "NO_CONTROL"],
    ["everything", new FakeWindow(() => ({ result: [0, "Tessarn", "2.3.21113.0"] })), null],
  ];
  for (const [what, win, expected] of cases) {
    const tessarn = new Tessarn({ transport: extensionTransport(win as unknown as Window), readyTimeoutMs: 50 });
    if (expected === null) {
      assert.deepEqual(await tessarn.ready(), { transport: "extension", name: "Tessarn", version: "2.3.21113.0" }, what);
    } else {
      const e = await rejection(tessarn.ready());
      assert.equal(e.code, expected, what);
      assert.notEqual(e.czech, e.english, what);
    }
  }
});

test("through the extension: a control's failure code and a call error arrive on the one channel", async () => {
  const win = new FakeWindow((r) => r.method === "CertEnum" ? { result: [34] }
    : { error: { hresult: "0x8002000E", message: "Invalid number of parameters." } });
  const tessarn = new Tessarn({ transport: extensionTransport(win as unknown as Window) });
  assert.equal((await rejection(tessarn.listCertificates())).code, 34);
  const e = await rejection(tessarn.libraryInfo());
  assert.equal(e.code, "CALL_FAILED");
  assert.equal(e.hresult, "0x8002000E");
  // A foreign answer (another id) is not taken for ours.
  assert.ok(win.requests.every((r) => typeof (r as { id: unknown }).id === "string"));
});

test("the control transport calls the ActiveX object and reads its answers", async () => {
  const called: string[] = [];
  const control = {
    LibGetInfo: (item: number) => { called.push("LibGetInfo " + item); return [0, "Tessarn", "2.3.21113.0"]; },
    CertIsValid: () => 20,
  };
  const tessarn = new Tessarn({ transport: controlTransport(control) });
  assert.equal((await tessarn.ready()).transport, "control");
  assert.equal((await rejection(tessarn.checkCertificate("AAAA"))).code, 20);
  assert.deepEqual(called, ["LibGetInfo 0"]);
});

test("base64, UTF-8 and hexadecimal helpers", () => {
  assert.equal(utf8ToBase64("Příliš"), "UMWZw61sacWh");
  assert.equal(base64ToUtf8("UMWZw61sacWh"), "Příliš");
  assert.deepEqual(base64ToBytes(bytesToBase64(new Uint8Array([0, 255, 1]))), new Uint8Array([0, 255, 1]));
  assert.throws(() => base64ToBytes("%%%"), TypeError);
  assert.equal(bytesToHex(hexToBytes("00Ff10")), "00ff10");
  assert.throws(() => hexToBytes("abc"), TypeError);
});
