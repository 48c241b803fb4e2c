// The example page's buttons (index.html).
import { Tessarn, type Certificate } from "@zorv/tessarn";
import { chooseSigner, describe, signText } from "./signing.js";

const tessarn = new Tessarn();
const out = document.getElementById("out") as HTMLElement;
const status = document.getElementById("status") as HTMLElement;
let signer: Certificate | undefined;

function show(line: string): void {
  out.textContent += line + "\n";
}

tessarn.ready().then(
  (r) => { status.textContent = `Tessarn ${r.version} is ready (${r.transport}).`; },
  (e: unknown) => { status.textContent = describe(e, navigator.language); },
);

(document.getElementById("list") as HTMLButtonElement).onclick = async () => {
  try {
    signer = await chooseSigner(tessarn);
    show(`Signing as ${signer.displayName} (${signer.issuerDisplayName}), valid to ${signer.validTo}`);
  } catch (e) {
    show(describe(e, navigator.language));
  }
};

(document.getElementById("sign") as HTMLButtonElement).onclick = async () => {
  try {
    signer = signer ?? (await chooseSigner(tessarn));
    const text = (document.getElementById("text") as HTMLInputElement).value;
    const signed = await signText(tessarn, text, signer);
    show(`SHA-256 ${signed.hash}\nsignature ${signed.hashSignature}\nPKCS #7 message ${signed.message}`);
  } catch (e) {
    show(describe(e, navigator.language));
  }
};
