/* The little DER the mock needs: writing a PKCS #7 signed message and
 * reading a certificate's issuer and serial number. */

function length(n: number): number[] {
  if (n < 0x80) return [n];
  const out: number[] = [];
  for (let v = n; v > 0; v = Math.floor(v / 256)) out.unshift(v & 0xff);
  return [0x80 | out.length, ...out];
}

export function tlv(tag: number, ...parts: Uint8Array[]): Uint8Array {
  const size = parts.reduce((s, p) => s + p.length, 0);
  const head = [tag, ...length(size)];
  const out = new Uint8Array(head.length + size);
  out.set(head, 0);
  let at = head.length;
  for (const p of parts) {
    out.set(p, at);
    at += p.length;
  }
  return out;
}

export const seq = (...parts: Uint8Array[]) => tlv(0x30, ...parts);
export const octets = (bytes: Uint8Array) => tlv(0x04, bytes);
export const nul = () => new Uint8Array([0x05, 0x00]);
export const integer = (n: number) => tlv(0x02, new Uint8Array([n]));

/** A SET OF, its members in DER order. */
export function setOf(...parts: Uint8Array[]): Uint8Array {
  const sorted = [...parts].sort((a, b) => {
    for (let i = 0; i < Math.min(a.length, b.length); i++) if (a[i] !== b[i]) return a[i] - b[i];
    return a.length - b.length;
  });
  return tlv(0x31, ...sorted);
}

export function oid(text: string): Uint8Array {
  const arcs = text.split(".").map(Number);
  const out = [arcs[0] * 40 + arcs[1]];
  for (const arc of arcs.slice(2)) {
    const groups = [arc & 0x7f];
    for (let v = Math.floor(arc / 128); v > 0; v = Math.floor(v / 128)) groups.unshift(0x80 | (v & 0x7f));
    out.push(...groups);
  }
  return tlv(0x06, new Uint8Array(out));
}

export function utcTime(date: Date): Uint8Array {
  const two = (n: number) => String(n).padStart(2, "0");
  const text = two(date.getUTCFullYear() % 100) + two(date.getUTCMonth() + 1) + two(date.getUTCDate()) +
    two(date.getUTCHours()) + two(date.getUTCMinutes()) + two(date.getUTCSeconds()) + "Z";
  return tlv(0x17, new TextEncoder().encode(text));
}

/** One element: its tag, and where its header and its contents end. */
export interface Element {
  tag: number;
  start: number;
  contents: number;
  end: number;
}

export function read(bytes: Uint8Array, at: number): Element {
  if (at + 2 > bytes.length) throw new RangeError("truncated DER");
  const tag = bytes[at];
  let n = bytes[at + 1];
  let contents = at + 2;
  if (n & 0x80) {
    const count = n & 0x7f;
    if (count === 0 || count > 4) throw new RangeError("unsupported DER length");
    n = 0;
    for (let i = 0; i < count; i++) n = n * 256 + bytes[contents + i];
    contents += count;
  }
  if (contents + n > bytes.length) throw new RangeError("truncated DER");
  return { tag, start: at, contents, end: contents + n };
}

/** The children of a constructed element. */
export function children(bytes: Uint8Array, parent: Element): Element[] {
  const out: Element[] = [];
  for (let at = parent.contents; at < parent.end; ) {
    const e = read(bytes, at);
    out.push(e);
    at = e.end;
  }
  return out;
}

/** A certificate's issuer name and serial number, as encoded in it. */
export function issuerAndSerial(certificate: Uint8Array): { issuer: Uint8Array; serial: Uint8Array } {
  const cert = read(certificate, 0);
  const tbs = children(certificate, cert)[0];
  const fields = children(certificate, tbs);
  const first = fields[0].tag === 0xa0 ? 1 : 0;  // [0] version
  const serial = fields[first];
  const issuer = fields[first + 2];
  return { issuer: certificate.slice(issuer.start, issuer.end), serial: certificate.slice(serial.start, serial.end) };
}
