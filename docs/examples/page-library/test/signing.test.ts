// The example page's signing, tested in Node against the mock: no Windows,
// no browser. The signatures are real and OpenSSL checks them.
import { test } from "node:test";
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { mkdtempSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { Tessarn, TessarnError, base64ToBytes } from "@zorv/tessarn";
import { createMockTransport, TEST_FIXTURE } from "@zorv/tessarn/mock";
import { chooseSigner, describe, sha256Hex, signText } from "../src/signing.js";

const pem = (b64: string) => `-----BEGIN CERTIFICATE-----\n${b64.match(/.{1,64}/g)!.join("\n")}\n-----END CERTIFICATE-----\n`;

test("lists, signs a hash and signs a document; OpenSSL verifies both", async () => {
  const tessarn = new Tessarn({ transport: createMockTransport() });
  const signer = await chooseSigner(tessarn);
  assert.equal(signer.displayName, "Jana Testová");
  const signed = await signText(tessarn, "Hello", signer);
  assert.equal(signed.hash, await sha256Hex("Hello"));

  const dir = mkdtempSync(join(tmpdir(), "tessarn-example-"));
  const file = (name: string, data: string | Uint8Array) => { writeFileSync(join(dir, name), data); return join(dir, name); };
  const cert = file("signer.pem", pem(signer.certificate));
  const chain = file("chain.pem", TEST_FIXTURE.certificates.filter((c) => c.store !== "MY").map((c) => pem(c.certificate)).join(""));
  execFileSync("openssl", ["x509", "-in", cert, "-pubkey", "-noout", "-out", join(dir, "pub.pem")]);
  file("hash.bin", Buffer.from(signed.hash, "hex"));
  file("sig.bin", Buffer.from(signed.hashSignature, "hex"));
  execFileSync("openssl", ["pkeyutl", "-verify", "-pubin", "-inkey", join(dir, "pub.pem"), "-in", join(dir, "hash.bin"),
    "-sigfile", join(dir, "sig.bin"), "-pkeyopt", "digest:sha256"]);
  file("message.der", base64ToBytes(signed.message));
  execFileSync("openssl", ["cms", "-verify", "-inform", "DER", "-in", join(dir, "message.der"), "-CAfile", chain,
    "-purpose", "any", "-out", join(dir, "content.bin")], { stdio: "pipe" });
});

test("a refusing site lock reaches the page as a TessarnError with both texts", async () => {
  const tessarn = new Tessarn({ transport: createMockTransport({ failures: { CertEnum: 34 } }) });
  const error = await chooseSigner(tessarn).catch((e: unknown) => e);
  assert.ok(error instanceof TessarnError);
  assert.equal(error.code, 34);
  assert.match(describe(error, "cs-CZ"), /\(34\)$/);
  assert.notEqual(error.czech, error.english);
});
