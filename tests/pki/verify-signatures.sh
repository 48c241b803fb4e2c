#!/usr/bin/env bash
# Verifies, with OpenSSL, the signatures a test wrote:
#   raw-*.txt  "CERT ALGORITHM HASH_HEX SIGNATURE_HEX" (raw PKCS #1 v1.5 for
#              an RSA key; r followed by s, each the curve's size, for an EC
#              key, turned into the DER form OpenSSL reads)
#   p7-*.b64   an attached PKCS #7 message, with p7-*.payload its content
#              and p7-*.expect "CERT ALGORITHM": the certificate and the
#              digest algorithm the test asked for
# Usage: verify-signatures.sh FILES_DIR PKI_DIR [MIN_COUNT]
set -euo pipefail
files=$1 pki=$2 min=${3:-1}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# The object identifiers that name a digest algorithm as the control names
# it: the hash's own, and the RSA signature with that hash (which the control
# hands the platform, and the platform writes into the message as given).
digest_oids() {
  case $(tr 'A-Z' 'a-z' <<<"$1") in
    md5) echo "1.2.840.113549.2.5 1.2.840.113549.1.1.4" ;;
    sha1) echo "1.3.14.3.2.26 1.2.840.113549.1.1.5" ;;
    sha256) echo "2.16.840.1.101.3.4.2.1 1.2.840.113549.1.1.11" ;;
    sha384) echo "2.16.840.1.101.3.4.2.2 1.2.840.113549.1.1.12" ;;
    sha512) echo "2.16.840.1.101.3.4.2.3 1.2.840.113549.1.1.13" ;;
    *) echo "unknown:$1" ;;
  esac
}
fingerprint() { openssl x509 -in "$1" -noout -fingerprint -sha256; }
unhex() { python3 -c 'import sys; sys.stdout.buffer.write(bytes.fromhex(sys.argv[1]))' "$1"; }
# r||s (hexadecimal, two halves of equal length) as a DER ECDSA-Sig-Value.
ecdsa_der() {
  python3 - "$1" <<'PY'
import sys
raw = bytes.fromhex(sys.argv[1])
assert len(raw) % 2 == 0 and raw
half = len(raw) // 2
def length(n):
    return bytes([n]) if n < 128 else bytes([0x81, n]) if n < 256 else bytes([0x82, n >> 8, n & 255])
def integer(b):
    b = b.lstrip(b"\0") or b"\0"
    if b[0] & 0x80:
        b = b"\0" + b
    return b"\x02" + length(len(b)) + b
body = integer(raw[:half]) + integer(raw[half:])
sys.stdout.buffer.write(b"\x30" + length(len(body)) + body)
PY
}
count=0
shopt -s nullglob
for f in "$files"/raw-*.txt; do
  read -r cert alg hash sig < "$f" || true
  alg=$(tr 'A-Z' 'a-z' <<<"$alg")
  openssl x509 -in "$pki/$cert.pem" -pubkey -noout > "$tmp/pub.pem"
  unhex "$hash" > "$tmp/hash.bin"
  digest=(-pkeyopt "digest:$alg")
  if openssl pkey -pubin -in "$tmp/pub.pem" -noout -text | grep -q "^ASN1 OID"; then
    ecdsa_der "$sig" > "$tmp/sig.bin"
    # ECDSA signs the hash as given (cut to the curve's size).
    digest=()
  else
    unhex "$sig" > "$tmp/sig.bin"
  fi
  if ! openssl pkeyutl -verify -pubin -inkey "$tmp/pub.pem" -in "$tmp/hash.bin" -sigfile "$tmp/sig.bin" \
      "${digest[@]}" >/dev/null; then
    echo "verify: $(basename "$f"): the raw $alg signature by $cert does not verify" >&2
    exit 1
  fi
  count=$((count + 1))
done
for f in "$files"/p7-*.b64; do
  base="${f%.b64}"
  base64 -d < "$f" > "$tmp/msg.der"
  # The test root is the only trust anchor; the issuing CA helps build the
  # chain (this OpenSSL's cms command has no -untrusted).
  cat "$pki/root.pem" "$pki/ca.pem" > "$tmp/anchors.pem"
  if [ ! -f "$base.expect" ]; then
    echo "verify: $(basename "$f"): no $(basename "$base").expect names the signer and the digest asked for" >&2
    exit 1
  fi
  read -r want_cert want_alg < "$base.expect" || true
  rm -f "$tmp/signer.pem"
  if ! openssl cms -verify -inform DER -in "$tmp/msg.der" -CAfile "$tmp/anchors.pem" \
      -purpose any -signer "$tmp/signer.pem" -out "$tmp/content.bin" 2>"$tmp/err"; then
    echo "verify: $(basename "$f"): the PKCS #7 message does not verify: $(cat "$tmp/err")" >&2
    exit 1
  fi
  if ! cmp -s "$tmp/content.bin" "$base.payload"; then
    echo "verify: $(basename "$f"): the message does not carry the payload" >&2
    exit 1
  fi
  openssl cms -cmsout -print -inform DER -in "$tmp/msg.der" > "$tmp/print"
  grep -q "signingTime" "$tmp/print" || { echo "verify: $(basename "$f"): no signing time" >&2; exit 1; }
  grep -q "certificates:" "$tmp/print" || { echo "verify: $(basename "$f"): no signer certificate" >&2; exit 1; }
  # Signed by the certificate the test chose, and by nobody else.
  if [ "$(grep -c "BEGIN CERTIFICATE" "$tmp/signer.pem")" != 1 ] ||
     [ "$(fingerprint "$tmp/signer.pem")" != "$(fingerprint "$pki/$want_cert.pem")" ]; then
    echo "verify: $(basename "$f"): not signed by $want_cert alone" >&2
    exit 1
  fi
  # The digest asked for, in the message's list and in the signer's
  # information.
  got=$(awk '/digestAlgorithms?:/ { getline; if (match($0, /\(([0-9.]+)\)/)) print substr($0, RSTART + 1, RLENGTH - 2) }' \
        "$tmp/print" | sort -u)
  if [ "$(wc -w <<<"$got")" != 1 ] || ! grep -qxF -- "$got" <<<"$(digest_oids "$want_alg" | tr ' ' '\n')"; then
    echo "verify: $(basename "$f"): digest algorithms [$(echo $got)], expected $want_alg ($(digest_oids "$want_alg"))" >&2
    exit 1
  fi
  count=$((count + 1))
done
if [ "$count" -lt "$min" ]; then
  echo "verify: only $count signatures to verify, expected at least $min" >&2
  exit 1
fi
echo "verify: $count signatures verified by OpenSSL"
