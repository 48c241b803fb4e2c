// What the example page does, apart from its buttons: find a certificate,
// sign the SHA-256 hash of a text, sign the text itself into a PKCS #7
// message. The same code runs in the browser and in the page's tests.
import { Tessarn, TessarnError, bytesToHex, type Certificate } from "@zorv/tessarn";

export interface Signed {
  signer: Certificate;
  /** the SHA-256 hash of the text's UTF-8 bytes, hexadecimal */
  hash: string;
  /** the raw RSA signature of that hash, hexadecimal */
  hashSignature: string;
  /** the attached PKCS #7 message carrying the text, base64 */
  message: string;
}

/** The SHA-256 hash of a text's UTF-8 bytes, as hexadecimal (what signHash takes). */
export async function sha256Hex(text: string): Promise<string> {
  const digest = await crypto.subtle.digest("SHA-256", new TextEncoder().encode(text));
  return bytesToHex(new Uint8Array(digest));
}

/** The first certificate the user can sign with, or the one `pick` chooses. */
export async function chooseSigner(tessarn: Tessarn, pick?: (all: Certificate[]) => Certificate | undefined): Promise<Certificate> {
  const certificates = await tessarn.listCertificates();
  const signer = pick ? pick(certificates) : certificates[0];
  if (!signer) throw new Error("No certificate to sign with: put one into your personal store (see the tutorial).");
  return signer;
}

export async function signText(tessarn: Tessarn, text: string, signer: Certificate): Promise<Signed> {
  const hash = await sha256Hex(text);
  const hashSignature = await tessarn.signHash({ certificate: signer, hash, algorithm: "SHA256" });
  const message = await tessarn.signDocument({ certificate: signer, data: text, algorithm: "SHA256" });
  return { signer, hash, hashSignature, message };
}

/** A failure as the page shows it: the control's text in the user's language. */
export function describe(error: unknown, language: string): string {
  if (error instanceof TessarnError) return `${error.text(language)} (${error.code})`;
  return error instanceof Error ? error.message : String(error);
}
