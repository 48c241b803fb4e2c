/*
 * @zorv/tessarn: the Tessarn control for web pages, as promises with typed
 * results. Every failure is a TessarnError; every call has a time limit.
 *
 *   import { Tessarn } from "@zorv/tessarn";
 *   const tessarn = new Tessarn();
 *   await tessarn.ready();
 *   const [first] = await tessarn.listCertificates();
 */
import { TessarnError } from "./errors.js";
import { base64ToBytes, bytesToBase64, utf8ToBase64 } from "./base64.js";
import { defaultTransport, type MethodName, type Transport, type WireBytes, type WireValue } from "./transport.js";

export { TessarnError, resultTexts, LAST_RESULT_CODE } from "./errors.js";
export type { TessarnFailure, ResultTexts, TessarnErrorDetails } from "./errors.js";
export { bytesToBase64, base64ToBytes, utf8ToBase64, base64ToUtf8, bytesToHex, hexToBytes } from "./base64.js";
export { extensionTransport, controlTransport, findControl, defaultTransport } from "./transport.js";
export type { Transport, MethodName, WireBytes, WireValue } from "./transport.js";

/** The hash algorithms the control names. */
export type HashAlgorithm = "MD5" | "SHA1" | "SHA224" | "SHA256" | "SHA384" | "SHA512";

/** CertEnum's selection bits. */
export const Criteria = {
  /** the subject alternative name carries the marker OID 1.3.6.1.4.1.11801.2.1 */
  ALTNAME_OID: 0x001,
  /** the extended key usage carries the marker OID 1.2.203.6947.2.3.1.1.1 */
  EKU_OID: 0x002,
  /** neither marker */
  NEITHER_OID: 0x080,
  /** no validation of time, private key and chain */
  NO_VALIDATION: 0x100,
  /** every valid certificate with a private key (the default) */
  VALID_WITH_KEY: 0x083,
  /** every certificate that may sign */
  ANY_SIGNING: 0x183,
} as const;

/** A certificate's fields, as CertGetInfo reads them. */
export interface CertificateInfo {
  /** "CN=Jan Novák, O=…, C=CZ, E=…" */
  subject: string;
  /** the subject's e-mail address, "" when there is none */
  email: string;
  /** the subject's display name */
  displayName: string;
  issuer: string;
  issuerDisplayName: string;
  /** lower-case hexadecimal, most significant byte first */
  serial: string;
  /** SHA-1 thumbprint, 40 lower-case hexadecimal characters */
  thumbprint: string;
  /** start of validity, local time "yyyy/mm/dd hh:mm:ss" */
  validFrom: string;
  /** end of validity, the same form */
  validTo: string;
  /** the first subject alternative name: e-mail text, hexadecimal other name, or the kind as a number; "" when none */
  alternativeName: string | number;
  /** certificate policies as Windows renders them, "" when none */
  policies: string;
  /** key usage as hexadecimal, "c0" for digital signature and non-repudiation; "00" without the extension */
  keyUsage: string;
}

/** A certificate: its base64 DER encoding and its fields. */
export interface Certificate extends CertificateInfo {
  /** base64 of the DER encoding, one line: what the signing methods take */
  certificate: string;
}

/** Options of a Tessarn object. */
export interface TessarnOptions {
  /** The way to the control; by default the control where the browser hosts it, the extension elsewhere. */
  transport?: Transport;
  /** Time limit of every call in milliseconds (default 120000: signing may wait for the user's PIN). */
  timeoutMs?: number;
  /** How long ready() waits for the extension to answer (default 3000). */
  readyTimeoutMs?: number;
}

/** What ready() found. */
export interface Readiness {
  transport: Transport["kind"];
  name: string;
  version: string;
}

/** The certificate to sign with: the whole certificate, or its serial number and thumbprint. */
export type SignerReference = { certificate: Certificate | string } | { serial: string; thumbprint: string };

export type LogLevel = "NONE" | "FATAL" | "ERROR" | "WARNING" | "INFO" | "DEBUG" | "TRACE";

function certificateText(c: Certificate | string): string {
  return typeof c === "string" ? c : c.certificate;
}

function isCallError(e: unknown): e is { hresult?: string; message?: string } {
  return e !== null && typeof e === "object" && !(e instanceof TessarnError);
}

export class Tessarn {
  readonly transport: Transport;
  readonly timeoutMs: number;
  readonly readyTimeoutMs: number;

  constructor(options: TessarnOptions = {}) {
    this.transport = options.transport ?? defaultTransport();
    this.timeoutMs = options.timeoutMs ?? 120000;
    this.readyTimeoutMs = options.readyTimeoutMs ?? 3000;
  }

  /**
   * Checks the whole way to the control: the extension (or the control on
   * the page), the native host, the control. Rejects with a TessarnError
   * whose code is "NO_EXTENSION", "NO_HOST" or "NO_CONTROL".
   */
  async ready(): Promise<Readiness> {
    if (!(await this.transport.present(this.readyTimeoutMs))) {
      throw new TessarnError(this.transport.kind === "control" ? "NO_CONTROL" : "NO_EXTENSION", { method: "ready" });
    }
    const info = await this.expectCode("LibGetInfo", [0], "probe");
    return { transport: this.transport.kind, name: String(info[1]), version: String(info[2]) };
  }

  /**
   * Calls a method as the control answers it, without interpretation (the
   * answer array, a code or null); rejects only when the call cannot be
   * made or times out.
   */
  call(method: MethodName, ...args: WireValue[]): Promise<unknown> {
    return this.send(method, args, "call");
  }

  private send(method: MethodName, args: WireValue[], mode: "call" | "probe"): Promise<unknown> {
    return new Promise((resolve, reject) => {
      const timer = setTimeout(() => reject(new TessarnError("TIMEOUT", { method })), this.timeoutMs);
      this.transport.call(method, args).then(
        (v) => {
          clearTimeout(timer);
          resolve(v);
        },
        (e: unknown) => {
          clearTimeout(timer);
          reject(this.callFailure(method, e, mode));
        },
      );
    });
  }

  private callFailure(method: string, e: unknown, mode: "call" | "probe"): TessarnError {
    if (e instanceof TessarnError) return e;
    const hresult = isCallError(e) && typeof e.hresult === "string" ? e.hresult : undefined;
    const detail = isCallError(e) && typeof e.message === "string" ? e.message : String(e);
    // The extension's own failures name the host or the bridge; the
    // control's absence is the host's COM error.
    if (/^The Tessarn (host|bridge)\b/.test(detail) || /native messaging host|native application/i.test(detail)) {
      return new TessarnError("NO_HOST", { method, hresult, detail });
    }
    if (hresult === "0x80040154" || (mode === "probe" && this.transport.kind === "extension")) {
      return new TessarnError("NO_CONTROL", { method, hresult, detail });
    }
    return new TessarnError("CALL_FAILED", { method, hresult, detail });
  }

  /** An answer array whose code is 0; anything else rejects with the code. */
  private async expectCode(method: MethodName, args: WireValue[], mode: "call" | "probe" = "call"): Promise<unknown[]> {
    const answer = await this.send(method, args, mode);
    if (!Array.isArray(answer) || typeof answer[0] !== "number") {
      throw new TessarnError("CALL_FAILED", { method, detail: "unexpected answer " + JSON.stringify(answer) });
    }
    if (answer[0] !== 0) throw new TessarnError(answer[0], { method, partial: answer.slice(1) });
    return answer;
  }

  /** A method that answers a bare code: 0 resolves, anything else rejects. */
  private async expectBareCode(method: MethodName, args: WireValue[]): Promise<void> {
    const answer = await this.send(method, args, "call");
    const code = Array.isArray(answer) ? answer[0] : answer;
    if (typeof code !== "number") {
      throw new TessarnError("CALL_FAILED", { method, detail: "unexpected answer " + JSON.stringify(answer) });
    }
    if (code !== 0) throw new TessarnError(code, { method });
  }

  private async certificateList(method: MethodName, args: WireValue[]): Promise<string[]> {
    const answer = await this.send(method, args, "call");
    if (!Array.isArray(answer) || typeof answer[0] !== "number") {
      throw new TessarnError("CALL_FAILED", { method, detail: "unexpected answer " + JSON.stringify(answer) });
    }
    const certificates = answer.slice(1).map(String);
    // A smart card that failed after the store was read leaves the store's
    // certificates: they are kept, the code is the card's.
    if (answer[0] !== 0 && certificates.length === 0) throw new TessarnError(answer[0], { method });
    return certificates;
  }

  /** CertEnum, then CertGetInfo of each: the certificates the user can sign with. */
  async listCertificates(options: { criteria?: number } = {}): Promise<Certificate[]> {
    const texts = await this.certificateList("CertEnum", [options.criteria ?? Criteria.VALID_WITH_KEY]);
    const out: Certificate[] = [];
    for (const certificate of texts) out.push({ certificate, ...(await this.certificateInfo(certificate)) });
    return out;
  }

  /** CertLookup: the certificates of a store (base64), all (kind 3), signing ones (0), by thumbprint (1) or issuer (2). */
  lookupCertificates(options: { store: string; kind?: 0 | 1 | 2 | 3; value?: string }): Promise<string[]> {
    return this.certificateList("CertLookup", [options.store, options.kind ?? 0, options.value ?? ""]);
  }

  /** CertGetInfo with all twelve items, named. */
  async certificateInfo(certificate: Certificate | string): Promise<CertificateInfo> {
    const r = await this.expectCode("CertGetInfo", [certificateText(certificate), 0]);
    const text = (i: number) => (r[i] === undefined || r[i] === null ? "" : String(r[i]));
    return {
      subject: text(1), email: text(2), displayName: text(3), issuer: text(4), issuerDisplayName: text(5),
      serial: text(6), thumbprint: text(7), validFrom: text(8), validTo: text(9),
      alternativeName: typeof r[10] === "number" ? r[10] : text(10), policies: text(11), keyUsage: text(12),
    };
  }

  /** CertIsValid: resolves when the certificate meets the criteria, rejects with the code otherwise. */
  checkCertificate(certificate: Certificate | string, options: { criteria?: number } = {}): Promise<void> {
    return this.expectBareCode("CertIsValid", [certificateText(certificate), options.criteria ?? Criteria.VALID_WITH_KEY]);
  }

  /** CertHasPrivateKey: resolves when the user has the certificate's private key. */
  checkPrivateKey(certificate: Certificate | string): Promise<void> {
    return this.expectBareCode("CertHasPrivateKey", [certificateText(certificate)]);
  }

  /** CertChainIsValid: resolves when the certificate's chain is trusted. */
  checkChain(certificate: Certificate | string): Promise<void> {
    return this.expectBareCode("CertChainIsValid", [certificateText(certificate)]);
  }

  /** CertDisplay: shows the certificate in Windows' viewer until the user closes it. */
  displayCertificate(certificate: Certificate | string): Promise<void> {
    return this.expectBareCode("CertDisplay", [certificateText(certificate)]);
  }

  /** RawSignCheck: resolves when the certificate named by serial and thumbprint could sign. */
  checkSigning(options: { serial: string; thumbprint: string; algorithm?: HashAlgorithm }): Promise<void> {
    return this.expectBareCode("RawSignCheck", [options.serial, options.thumbprint, options.algorithm ?? "SHA256"]);
  }

  /**
   * Signs a hash (hexadecimal, the digest's length) with RSA PKCS #1 v1.5:
   * the raw signature as hexadecimal, most significant byte first. With a
   * whole certificate SignRaw signs; with serial and thumbprint RawSign.
   */
  async signHash(options: SignerReference & { hash: string; algorithm?: HashAlgorithm }): Promise<string> {
    const algorithm = options.algorithm ?? "SHA256";
    const r = "certificate" in options
      ? await this.expectCode("SignRaw", [certificateText(options.certificate), options.hash, algorithm])
      : await this.expectCode("RawSign", [options.hash, options.serial, options.thumbprint, algorithm]);
    return String(r[1]);
  }

  /**
   * SignPKCS7: an attached PKCS #7 signed message (base64, one line) that
   * carries the data, the signer's certificate and the signing time. A
   * text is signed as its UTF-8 bytes.
   */
  async signDocument(options: { certificate: Certificate | string; data: Uint8Array | string; algorithm?: HashAlgorithm }): Promise<string> {
    const data = typeof options.data === "string" ? utf8ToBase64(options.data) : bytesToBase64(options.data);
    const r = await this.expectCode("SignPKCS7", [certificateText(options.certificate), data, options.algorithm ?? "SHA256"]);
    return String(r[1]);
  }

  /** BinaryToString: bytes in a CRYPT_STRING_* form (default 0x40000001, base64 in one line). */
  async binaryToString(bytes: Uint8Array, options: { flag?: number; length?: number } = {}): Promise<string> {
    const r = await this.expectCode("BinaryToString",
      [{ bytes: bytesToBase64(bytes) }, options.length ?? bytes.length, options.flag ?? 0x40000001]);
    return String(r[1]);
  }

  /** StringToBinary: a text in a CRYPT_STRING_* form (default 1, base64) as bytes. */
  async stringToBinary(text: string, options: { flag?: number } = {}): Promise<Uint8Array> {
    const r = await this.expectCode("StringToBinary", [text, options.flag ?? 1]);
    const bytes = r[1] as WireBytes | undefined;
    return bytes && typeof bytes.bytes === "string" ? base64ToBytes(bytes.bytes) : new Uint8Array(0);
  }

  /** LocalTimeToUTCTime: "yyyy/mm/dd hh:mm:ss" local time to UTC; rejects with code 39 when the text is no such time. */
  async localTimeToUtc(localTime: string): Promise<string> {
    const r = await this.expectCode("LocalTimeToUTCTime", [localTime]);
    if (!r[1]) throw new TessarnError(39, { method: "LocalTimeToUTCTime", detail: "not a time: " + localTime });
    return String(r[1]);
  }

  /** LibGetInfo: the control's name and version. */
  async libraryInfo(): Promise<{ name: string; version: string }> {
    const r = await this.expectCode("LibGetInfo", [0]);
    return { name: String(r[1]), version: String(r[2]) };
  }

  /** SetLogging: the temporary-directory log's level; resolves with today's log file name. */
  async setLogging(level: LogLevel): Promise<string> {
    return String((await this.expectCode("SetLogging", [level]))[1]);
  }

  /** GetLogging: the temporary-directory log's level and today's file name. */
  async getLogging(): Promise<{ level: LogLevel; file: string }> {
    const r = await this.expectCode("GetLogging", []);
    return { level: String(r[1]) as LogLevel, file: String(r[2]) };
  }

  /** AboutBox: the control's About box, until the user closes it. */
  async aboutBox(): Promise<void> {
    await this.send("AboutBox", [], "call");
  }
}
