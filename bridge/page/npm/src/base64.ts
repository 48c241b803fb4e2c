/* Base64 and UTF-8 helpers: the control takes data and answers messages as
 * base64 text, certificates as base64 of their DER encoding. */

/** Bytes as base64 text, in one line. */
export function bytesToBase64(bytes: Uint8Array): string {
  let binary = "";
  for (let i = 0; i < bytes.length; i += 0x8000) {
    binary += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  }
  return btoa(binary);
}

/** Base64 text (line breaks and blanks allowed) as bytes; throws a TypeError on anything else. */
export function base64ToBytes(text: string): Uint8Array {
  const clean = text.replace(/\s+/g, "");
  if (!/^[A-Za-z0-9+/]*={0,2}$/.test(clean) || clean.length % 4 === 1) {
    throw new TypeError("not base64 text");
  }
  const binary = atob(clean);
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; i++) bytes[i] = binary.charCodeAt(i);
  return bytes;
}

/** A text's UTF-8 bytes as base64: what signDocument signs for a text. */
export function utf8ToBase64(text: string): string {
  return bytesToBase64(new TextEncoder().encode(text));
}

/** Base64 of UTF-8 bytes back to the text. */
export function base64ToUtf8(text: string): string {
  return new TextDecoder("utf-8", { fatal: true }).decode(base64ToBytes(text));
}

/** Bytes as lower-case hexadecimal, the control's form for hashes and signatures. */
export function bytesToHex(bytes: Uint8Array): string {
  let out = "";
  for (const b of bytes) out += b.toString(16).padStart(2, "0");
  return out;
}

/** Hexadecimal text (either case) as bytes; throws a TypeError on anything else. */
export function hexToBytes(hex: string): Uint8Array {
  if (!/^(?:[0-9a-fA-F]{2})*$/.test(hex)) throw new TypeError("not hexadecimal text of whole bytes");
  const bytes = new Uint8Array(hex.length / 2);
  for (let i = 0; i < bytes.length; i++) bytes[i] = parseInt(hex.substr(i * 2, 2), 16);
  return bytes;
}
