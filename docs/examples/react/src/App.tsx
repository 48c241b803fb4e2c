// Lists the user's certificates, then signs the SHA-256 hash of a text and
// the text itself with the chosen one.
import { useState } from "react";
import { TessarnError, bytesToHex, type Certificate } from "@zorv/tessarn";
import { useTessarn } from "./useTessarn";

async function sha256Hex(text: string): Promise<string> {
  return bytesToHex(new Uint8Array(await crypto.subtle.digest("SHA-256", new TextEncoder().encode(text))));
}

function message(error: unknown): string {
  return error instanceof TessarnError ? `${error.text(navigator.language)} (${error.code})` : String(error);
}

export function App() {
  const [tessarn, status] = useTessarn();
  const [certificates, setCertificates] = useState<Certificate[]>([]);
  const [chosen, setChosen] = useState(0);
  const [text, setText] = useState("Hello from React");
  const [result, setResult] = useState<{ hash: string; signature: string; message: string } | null>(null);
  const [failure, setFailure] = useState("");

  async function list() {
    setFailure("");
    try {
      setCertificates(await tessarn.listCertificates());
    } catch (e) {
      setFailure(message(e));
    }
  }

  async function sign() {
    setFailure("");
    const certificate = certificates[chosen];
    if (!certificate) return;
    try {
      const hash = await sha256Hex(text);
      const signature = await tessarn.signHash({ certificate, hash, algorithm: "SHA256" });
      const signed = await tessarn.signDocument({ certificate, data: text, algorithm: "SHA256" });
      setResult({ hash, signature, message: signed });
    } catch (e) {
      setFailure(message(e));
    }
  }

  if (status.state === "checking") return <p id="status">Looking for Tessarn…</p>;
  if (status.state === "failed") return <p id="status" data-code={status.error.code}>{message(status.error)}</p>;
  return (
    <main>
      <p id="status">Tessarn {status.readiness.version} ({status.readiness.transport})</p>
      <button id="list" onClick={list}>List my certificates</button>
      <ul id="certificates">
        {certificates.map((c, i) => (
          <li key={c.thumbprint} data-thumbprint={c.thumbprint}>
            <label>
              <input type="radio" name="signer" checked={i === chosen} onChange={() => setChosen(i)} />
              {c.displayName} ({c.issuerDisplayName}, valid to {c.validTo})
            </label>
          </li>
        ))}
      </ul>
      <input id="text" value={text} onChange={(e) => setText(e.target.value)} />
      <button id="sign" onClick={sign} disabled={!certificates.length}>Sign</button>
      {failure && <p id="failure">{failure}</p>}
      {result && (
        <dl>
          <dt>SHA-256</dt><dd id="hash">{result.hash}</dd>
          <dt>Signature</dt><dd id="signature">{result.signature}</dd>
          <dt>PKCS #7 message</dt><dd id="message">{result.message}</dd>
        </dl>
      )}
    </main>
  );
}
