/*
 * A transport that answers like the Tessarn control, from a fixture of
 * certificates with their private keys: for a page's own tests in Node or
 * a headless browser, with no Windows and no extension.
 *
 *   import { Tessarn } from "@zorv/tessarn";
 *   import { createMockTransport } from "@zorv/tessarn/mock";
 *   const tessarn = new Tessarn({ transport: createMockTransport() });
 *
 * Its signatures are real (RSA PKCS #1 v1.5 with the fixture's keys), so
 * OpenSSL verifies them against the fixture's certificates.
 */
import { base64ToBytes, bytesToBase64, bytesToHex, hexToBytes } from "./base64.js";
import { issuerAndSerial, integer, nul, octets, oid, seq, setOf, tlv, utcTime } from "./der.js";
import { resultTexts } from "./errors.js";
import { TEST_FIXTURE } from "./fixture.js";
import type { MethodName, Transport, WireValue } from "./transport.js";

/** An RSA private key as a JSON Web Key. */
export interface MockKey {
  n: string; e: string; d: string; p: string; q: string; dp: string; dq: string; qi: string;
}

/** One certificate of a fixture. */
export interface MockCertificate {
  /** base64 DER */
  certificate: string;
  /** the store it is in: "MY" (personal), "CA", "ROOT", ... */
  store: string;
  /** CertGetInfo's twelve items, in order */
  info: [string, string, string, string, string, string, string, string, string, string | number, string, string];
  /** MD5 thumbprint, hexadecimal (RawSign with "MD5" names certificates by it) */
  md5: string;
  /** validity in ISO 8601 UTC */
  notBefore: string;
  notAfter: string;
  /** its private key, or null */
  key: MockKey | null;
}

export interface MockFixture {
  certificates: MockCertificate[];
}

/** What a mock call was: for a test that wants to see what the page asked. */
export interface MockCall {
  method: MethodName;
  args: WireValue[];
  answer: unknown;
}

export interface MockOptions {
  /** The certificates; by default TEST_FIXTURE. */
  fixture?: MockFixture;
  /** The time the mock judges validity and stamps messages with; by default the clock. */
  now?: () => Date;
  /** Answer this result code to every call of a method ("CertEnum": 34 plays a refusing site lock). */
  failures?: Partial<Record<MethodName, number>>;
  /** Milliseconds before each answer (0 by default); a test of a time limit makes it large. */
  delayMs?: number;
}

/** The mock as a transport, with the calls it answered. */
export interface MockTransport extends Transport {
  readonly calls: MockCall[];
}

export { TEST_FIXTURE };

const DIGESTS: Record<string, { oid: string; webcrypto: string | null; length: number }> = {
  MD5: { oid: "1.2.840.113549.2.5", webcrypto: null, length: 16 },
  SHA1: { oid: "1.3.14.3.2.26", webcrypto: "SHA-1", length: 20 },
  SHA224: { oid: "2.16.840.1.101.3.4.2.4", webcrypto: null, length: 28 },
  SHA256: { oid: "2.16.840.1.101.3.4.2.1", webcrypto: "SHA-256", length: 32 },
  SHA384: { oid: "2.16.840.1.101.3.4.2.2", webcrypto: "SHA-384", length: 48 },
  SHA512: { oid: "2.16.840.1.101.3.4.2.3", webcrypto: "SHA-512", length: 64 },
};

function big(base64url: string): bigint {
  const bytes = base64ToBytes(base64url.replace(/-/g, "+").replace(/_/g, "/").padEnd(Math.ceil(base64url.length / 4) * 4, "="));
  return bytes.length ? BigInt("0x" + bytesToHex(bytes)) : 0n;
}

function modPow(base: bigint, exponent: bigint, modulus: bigint): bigint {
  let result = 1n;
  let b = base % modulus;
  for (let e = exponent; e > 0n; e >>= 1n) {
    if (e & 1n) result = (result * b) % modulus;
    b = (b * b) % modulus;
  }
  return result;
}

/** RSA PKCS #1 v1.5 signature of a digest: the DigestInfo padded and raised to the private exponent. */
function rsaSign(key: MockKey, algorithm: string, digest: Uint8Array): Uint8Array {
  const n = big(key.n);
  const size = Math.ceil(n.toString(16).length / 2);
  const digestInfo = seq(seq(oid(DIGESTS[algorithm].oid), nul()), octets(digest));
  const block = new Uint8Array(size).fill(0xff);
  block[0] = 0;
  block[1] = 1;
  block[size - digestInfo.length - 1] = 0;
  block.set(digestInfo, size - digestInfo.length);
  const m = BigInt("0x" + bytesToHex(block));
  const p = big(key.p), q = big(key.q);
  const m1 = modPow(m, big(key.dp), p);
  const m2 = modPow(m, big(key.dq), q);
  const h = (big(key.qi) * (((m1 - m2) % p) + p)) % p;
  const s = (m2 + h * q).toString(16).padStart(size * 2, "0");
  return hexToBytes(s);
}

async function digestOf(algorithm: string, data: Uint8Array): Promise<Uint8Array> {
  const name = DIGESTS[algorithm].webcrypto;
  if (!name) throw new Error("no digest");
  return new Uint8Array(await globalThis.crypto.subtle.digest(name, data));
}

/** An attached PKCS #7 signed message with the signing time, as the control makes it. */
async function pkcs7(cert: MockCertificate, data: Uint8Array, algorithm: string, when: Date): Promise<Uint8Array> {
  const certificate = base64ToBytes(cert.certificate);
  const digestAlgorithm = seq(oid(DIGESTS[algorithm].oid), nul());
  const attributes = [
    seq(oid("1.2.840.113549.1.9.3"), setOf(oid("1.2.840.113549.1.7.1"))),
    seq(oid("1.2.840.113549.1.9.5"), setOf(utcTime(when))),
    seq(oid("1.2.840.113549.1.9.4"), setOf(octets(await digestOf(algorithm, data)))),
  ];
  const signed = setOf(...attributes);  // signed as a SET, carried as [0]
  const signature = rsaSign(cert.key as MockKey, algorithm, await digestOf(algorithm, signed));
  const { issuer, serial } = issuerAndSerial(certificate);
  const carried = signed.slice();
  carried[0] = 0xa0;
  const signerInfo = seq(integer(1), seq(issuer, serial), digestAlgorithm, carried,
    seq(oid("1.2.840.113549.1.1.1"), nul()), octets(signature));
  const signedData = seq(integer(1), setOf(digestAlgorithm), seq(oid("1.2.840.113549.1.7.1"), tlv(0xa0, octets(data))),
    tlv(0xa0, certificate), setOf(signerInfo));
  return seq(oid("1.2.840.113549.1.7.2"), tlv(0xa0, signedData));
}

const trimSerial = (s: string) => s.toLowerCase().replace(/^(00)+(?=..)/, "");

function isBase64(v: unknown): v is string {
  return typeof v === "string" && v.length > 0 && /^[A-Za-z0-9+/\s]*={0,2}\s*$/.test(v) && v.replace(/\s/g, "").length % 4 === 0;
}

/** A transport that answers the eighteen methods from a fixture. */
export function createMockTransport(options: MockOptions = {}): MockTransport {
  const fixture = options.fixture ?? TEST_FIXTURE;
  const now = options.now ?? (() => new Date());
  const calls: MockCall[] = [];
  let logLevel = "NONE";
  const logFile = "C:\\Users\\tester\\AppData\\Local\\Temp\\tessarn.log";

  const withText = (code: number) => [code, resultTexts(code)?.en ?? ""];
  const byText = (text: unknown) => fixture.certificates.find((c) => c.certificate === String(text).replace(/\s/g, ""));
  const timeValid = (c: MockCertificate) => {
    const t = now().getTime();
    return Date.parse(c.notBefore) <= t && t <= Date.parse(c.notAfter);
  };
  // Key usage "00" is a certificate without the extension, which may sign.
  const canSign = (c: MockCertificate) => c.info[11] === "00" || (parseInt(c.info[11].slice(0, 2), 16) & 0xc0) !== 0;
  const personal = () => fixture.certificates.filter((c) => c.store.toUpperCase() === "MY" && canSign(c));
  // A certificate judged as CertEnum and CertIsValid judge: the marker bits
  // (the fixture's certificates carry no marker, so 0x080 selects them),
  // then time and key unless 0x100.
  const meets = (c: MockCertificate, criteria: number) =>
    (criteria & 0x080) !== 0 && ((criteria & 0x100) !== 0 || (timeValid(c) && c.key !== null));
  const findSigner = (serial: unknown, thumbprint: unknown, algorithm: string) =>
    personal().find((c) => (algorithm === "MD5" ? c.md5 : c.info[6]) === String(thumbprint).toLowerCase() &&
      trimSerial(c.info[5]) === trimSerial(String(serial)));

  async function signRaw(c: MockCertificate | undefined, hash: unknown, algorithm: string): Promise<unknown[]> {
    if (!c) return withText(1);
    if (!c.key) return withText(10);
    if (!timeValid(c)) return withText(20);
    const hex = String(hash).replace(/[\s]/g, "");
    if (hex.length % 2) return withText(32);
    let bytes: Uint8Array;
    try {
      bytes = hexToBytes(hex);
    } catch {
      return withText(16);
    }
    if (bytes.length !== DIGESTS[algorithm].length) return withText(16);
    return [0, bytesToHex(rsaSign(c.key, algorithm, bytes))];
  }

  async function answer(method: MethodName, a: WireValue[]): Promise<unknown> {
    const failure = options.failures?.[method];
    if (failure !== undefined) return method === "RawSignCheck" || method.startsWith("CertIs") || method.startsWith("CertHas") ||
      method === "CertChainIsValid" || method === "CertDisplay" ? failure
      : method === "RawSign" || method === "SetLogging" ? withText(failure) : [failure];
    const algorithmOf = (v: unknown) => String(v ?? "").toUpperCase();
    switch (method) {
      case "AboutBox":
        return null;
      case "LibGetInfo":
        return a[0] === 0 ? [0, "Tessarn", "2.3.21113.0"] : a[0] === 1 ? [0, "Tessarn"] : a[0] === 2 ? [0, "2.3.21113.0"] : [0];
      case "SetLogging": {
        const level = String(a[0] ?? "").toUpperCase();
        if (!["NONE", "FATAL", "ERROR", "WARNING", "INFO", "DEBUG", "TRACE"].includes(level)) return withText(35);
        logLevel = level;
        return [0, logFile];
      }
      case "GetLogging":
        return [0, logLevel, logFile];
      case "CertEnum": {
        const criteria = Number(a[0]);
        return [0, ...personal().filter((c) => meets(c, criteria)).map((c) => c.certificate)];
      }
      case "CertLookup": {
        const kind = Number(a[1]);
        if (![0, 1, 2, 3].includes(kind)) return [44];
        const store = String(a[0] ?? "").toUpperCase();
        const inStore = fixture.certificates.filter((c) => c.store.toUpperCase() === store);
        if (!inStore.length && !["MY", "CA", "ROOT", "ADDRESSBOOK", "TRUSTEDPEOPLE"].includes(store)) return [5];
        const value = String(a[2] ?? "").toLowerCase();
        return [0, ...inStore.filter((c) => kind === 3 || (canSign(c) &&
          (kind === 0 || (kind === 1 ? c.info[6] : c.info[3].toLowerCase()).includes(value)))).map((c) => c.certificate)];
      }
      case "CertGetInfo": {
        if (!isBase64(a[0])) return [39];
        const c = byText(a[0]);
        if (!c) return [12];
        const item = Number(a[1]);
        if (item === 0) return [0, ...c.info];
        return item >= 1 && item <= 12 ? [0, c.info[item - 1]] : [0];
      }
      case "CertIsValid": {
        if (!isBase64(a[0])) return 39;
        const c = byText(a[0]);
        if (!c || c.store.toUpperCase() !== "MY" || !c.key) return 1;
        if (!((Number(a[1]) & 0x100) !== 0 || timeValid(c))) return 20;
        return (Number(a[1]) & 0x080) !== 0 ? 0 : 43;
      }
      case "CertHasPrivateKey": {
        if (!isBase64(a[0])) return 39;
        const c = byText(a[0]);
        return c && c.key ? 0 : 1;
      }
      case "CertChainIsValid": {
        if (!isBase64(a[0])) return 39;
        const c = byText(a[0]);
        if (!c) return 28;
        return timeValid(c) ? 0 : 20;
      }
      case "CertDisplay":
        return isBase64(a[0]) ? (byText(a[0]) ? 0 : 12) : 39;
      case "RawSignCheck": {
        const algorithm = algorithmOf(a[2]);
        if (!DIGESTS[algorithm]) return 33;
        const c = findSigner(a[0], a[1], algorithm);
        if (!c) return 1;
        if (!c.key) return 10;
        return timeValid(c) ? 0 : 20;
      }
      case "RawSign": {
        const algorithm = algorithmOf(a[3]);
        if (!DIGESTS[algorithm] || algorithm === "SHA224") return withText(33);
        return signRaw(findSigner(a[1], a[2], algorithm), a[0], algorithm);
      }
      case "SignRaw": {
        const algorithm = algorithmOf(a[2]);
        if (!isBase64(a[0])) return withText(39);
        if (!DIGESTS[algorithm] || algorithm === "SHA224") return withText(33);
        return signRaw(byText(a[0]), a[1], algorithm);
      }
      case "SignPKCS7": {
        const algorithm = algorithmOf(a[2]);
        if (!isBase64(a[0])) return withText(39);
        const c = byText(a[0]);
        if (!c) return withText(1);
        if (typeof a[1] !== "string" || (a[1] !== "" && !isBase64(a[1]))) return withText(39);
        // The mock digests with WebCrypto, which has neither MD5 nor SHA-224.
        if (!DIGESTS[algorithm] || !DIGESTS[algorithm].webcrypto) return withText(33);
        if (!c.key) return withText(14);
        return [0, bytesToBase64(await pkcs7(c, base64ToBytes(a[1]), algorithm, now()))];
      }
      case "BinaryToString": {
        const v = a[0];
        const length = Number(a[1]);
        if (v === null || typeof v !== "object") return [40, ""];
        const bytes = base64ToBytes(v.bytes);
        if (!(length >= 0 && length <= bytes.length)) return [40, ""];
        const part = bytes.subarray(0, length);
        switch (Number(a[2])) {
          case 0x40000001: return [0, bytesToBase64(part)];
          case 0x1: return [0, (bytesToBase64(part).match(/.{1,64}/g) ?? []).map((l) => l + "\r\n").join("")];
          case 0xc: return [0, bytesToHex(part) + "\r\n"];
          default: return [40, ""];
        }
      }
      case "StringToBinary": {
        const text = String(a[0] ?? "");
        try {
          if (!text) return [39];
          const flag = Number(a[1]);
          if (flag === 1 || flag === 0x40000001) return [0, { bytes: bytesToBase64(base64ToBytes(text)) }];
          if (flag === 0xc || flag === 4) return [0, { bytes: bytesToBase64(hexToBytes(text.replace(/\s/g, ""))) }];
          return [39];
        } catch {
          return [39];
        }
      }
      case "LocalTimeToUTCTime": {
        // The mock's computer runs on UTC.
        const m = /^(\d{1,4})\/(\d{1,2})\/(\d{1,2}) (\d{1,2}):(\d{1,2}):(\d{1,2})$/.exec(String(a[0] ?? ""));
        if (!m) return [0, ""];
        const [y, mo, d, h, mi, s] = m.slice(1).map(Number);
        const t = new Date(Date.UTC(y, mo - 1, d, h, mi, s));
        if (t.getUTCMonth() !== mo - 1 || t.getUTCDate() !== d || h > 23 || mi > 59 || s > 59) return [0, ""];
        const two = (n: number) => String(n).padStart(2, "0");
        return [0, `${String(y).padStart(4, "0")}/${two(mo)}/${two(d)} ${two(h)}:${two(mi)}:${two(s)}`];
      }
    }
    throw { hresult: "0x80020006", message: "Unknown name." };
  }

  return {
    kind: "mock",
    calls,
    async call(method, args) {
      if (options.delayMs) await new Promise((r) => setTimeout(r, options.delayMs));
      const result = await answer(method, args);
      calls.push({ method, args, answer: result });
      return result;
    },
    present() {
      return Promise.resolve(true);
    },
  };
}
