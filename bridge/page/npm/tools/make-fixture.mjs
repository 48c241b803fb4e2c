// Writes the fixture module from the PEM files make-fixture.sh made.
import { X509Certificate, createHash, createPrivateKey } from "node:crypto";
import { readFileSync } from "node:fs";

const dir = process.argv[2];
const two = (n) => String(n).padStart(2, "0");
// The control's time form, on a computer that runs on UTC.
const time = (d) => `${d.getUTCFullYear()}/${two(d.getUTCMonth() + 1)}/${two(d.getUTCDate())} ` +
  `${two(d.getUTCHours())}:${two(d.getUTCMinutes())}:${two(d.getUTCSeconds())}`;
// Windows' X.500 form: the last name part first, "E" for the e-mail address.
const x500 = (name) => name.split("\n").reverse().map((p) => p.replace(/^emailAddress=/, "E=")).join(", ");
const part = (name, key) => (name.split("\n").find((p) => p.startsWith(key + "=")) || "").slice(key.length + 1);

// The serial number as the certificate encodes it, leading zero bytes kept.
function serialOf(der) {
  let at = 0;
  const header = () => {
    const tag = der[at];
    let n = der[at + 1];
    at += 2;
    if (n & 0x80) {
      const count = n & 0x7f;
      n = 0;
      for (let i = 0; i < count; i++) n = n * 256 + der[at++];
    }
    return { tag, n };
  };
  header();  // Certificate
  header();  // TBSCertificate
  let e = header();
  if (e.tag === 0xa0) {  // [0] version
    at += e.n;
    e = header();
  }
  return der.subarray(at, at + e.n).toString("hex");
}

function entry(name, store, withKey) {
  const pem = readFileSync(`${dir}/${name}.pem`, "utf8");
  const cert = new X509Certificate(pem);
  const der = cert.raw;
  const isCa = cert.ca;
  const key = withKey ? createPrivateKey(readFileSync(`${dir}/${name}.key`, "utf8")).export({ format: "jwk" }) : null;
  return {
    certificate: der.toString("base64"),
    store,
    info: [
      x500(cert.subject), part(cert.subject, "emailAddress"), part(cert.subject, "CN"),
      x500(cert.issuer), part(cert.issuer, "CN"),
      serialOf(der),
      cert.fingerprint.replace(/:/g, "").toLowerCase(),
      time(new Date(cert.validFrom)), time(new Date(cert.validTo)),
      cert.subjectAltName ? cert.subjectAltName.replace(/^email:/, "") : "", "", isCa ? "06" : "c0",
    ],
    md5: createHash("md5").update(der).digest("hex"),
    notBefore: new Date(cert.validFrom).toISOString(),
    notAfter: new Date(cert.validTo).toISOString(),
    key: key && { n: key.n, e: key.e, d: key.d, p: key.p, q: key.q, dp: key.dp, dq: key.dq, qi: key.qi },
  };
}

const fixture = {
  certificates: [entry("signer", "MY", true), entry("colleague", "MY", false), entry("ca", "CA", false), entry("root", "ROOT", false)],
};
process.stdout.write(`// Written by tools/make-fixture.sh: test certificates and their test keys, public on purpose.
import type { MockFixture } from "./mock.js";

/** Test certificates: "Jana Testová" with her private key (MY), "Petr Kolega" without one (MY), the issuing CA (CA), the root (ROOT). */
export const TEST_FIXTURE: MockFixture = ${JSON.stringify(fixture, null, 2)};
`);
