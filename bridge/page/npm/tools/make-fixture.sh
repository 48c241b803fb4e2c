#!/usr/bin/env bash
# Makes the mock's fixture with OpenSSL: a root CA ("ROOT"), an issuing CA
# ("CA"), a personal signing certificate with its private key ("MY") and a
# colleague's certificate without one ("MY"), written as a TypeScript module
# (TEST_FIXTURE) and, for checking the mock's signatures, as PEM files.
# Made once per build folder: the keys are test keys, public in the package.
# Usage: make-fixture.sh OUT.ts PEM_DIR
set -euo pipefail
out=$1 pem=$2
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$pem"
cd "$pem"
if [ ! -f signer.pem ]; then
  cat > ext.cnf <<'CNF'
[ca]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[leaf]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature, nonRepudiation
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
subjectAltName = email:signer@example.cz
CNF
  for n in root ca signer colleague; do openssl genrsa -out $n.key 2048 2>/dev/null; done
  openssl req -new -x509 -key root.key -subj "/C=CZ/O=Tessarn Test/CN=Tessarn Test Root" -days 7300 \
    -set_serial 0x01 -extensions ca -config ext.cnf -out root.pem 2>/dev/null
  openssl req -new -key ca.key -subj "/C=CZ/O=Tessarn Test/CN=Tessarn Test Issuing CA" -out ca.csr
  openssl x509 -req -in ca.csr -CA root.pem -CAkey root.key -set_serial 0x02 -days 7000 \
    -extfile ext.cnf -extensions ca -out ca.pem 2>/dev/null
  openssl req -new -key signer.key -subj "/C=CZ/O=Tessarn Test/CN=Jana Testová/emailAddress=signer@example.cz" \
    -utf8 -out signer.csr
  openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -set_serial 0x00a1b2c3d4 -days 3650 \
    -extfile ext.cnf -extensions leaf -out signer.pem 2>/dev/null
  openssl req -new -key colleague.key -subj "/C=CZ/O=Tessarn Test/CN=Petr Kolega" -utf8 -out colleague.csr
  openssl x509 -req -in colleague.csr -CA ca.pem -CAkey ca.key -set_serial 0x0777 -days 3650 \
    -extfile ext.cnf -extensions leaf -out colleague.pem 2>/dev/null
  cat ca.pem root.pem > chain.pem
fi
node "$here/make-fixture.mjs" "$pem" > "$out"
