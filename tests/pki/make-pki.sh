#!/usr/bin/env bash
# Makes the test PKI with OpenSSL: a root CA, an intermediate CA and leaf
# certificates with the features the tests look at. Each certificate is
# written as one line of base64 DER (NAME.b64), with its SHA-1 thumbprint
# (NAME.sha1, NAME.md5) and its private key as a CryptoAPI PRIVATEKEYBLOB
# (NAME.keyblob; the keys of a key storage provider as a BCrypt private
# key blob, NAME.kspblob).
# Usage: make-pki.sh OUT_DIR
set -euo pipefail
out=$1
here=$(cd "$(dirname "$0")" && pwd)
# Made afresh each time: the CA database of an earlier run would refuse to
# issue its certificates again.
rm -rf "$out"
mkdir -p "$out"
cd "$out"
export OPENSSL_CONF=/dev/null

cat > ca.cnf <<'CNF'
[ ca ]
default_ca = test_ca
[ test_ca ]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = any
unique_subject = no
copy_extensions = none
preserve = yes
email_in_dn = yes
[ any ]
commonName = supplied
organizationName = optional
countryName = optional
emailAddress = optional
[ root_ext ]
basicConstraints = critical,CA:true
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[ ca_ext ]
basicConstraints = critical,CA:true
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[ full_ext ]
subjectAltName = email:jan.novak@example.cz,DNS:jan.example.cz
certificatePolicies = 1.3.6.1.4.1.99999.1.2
keyUsage = digitalSignature,nonRepudiation
extendedKeyUsage = emailProtection,clientAuth
[ dns_ext ]
subjectAltName = DNS:signer.example.com
keyUsage = digitalSignature
[ othername_ext ]
subjectAltName = otherName:1.3.6.1.4.1.311.20.2.3;UTF8:signer@example.com
keyUsage = nonRepudiation
[ plain_ext ]
basicConstraints = CA:false
[ decipher_ext ]
keyUsage = digitalSignature,nonRepudiation,keyAgreement,decipherOnly
[ encipher_ext ]
keyUsage = keyEncipherment
[ cardsig_ext ]
basicConstraints = CA:false
keyUsage = digitalSignature
[ ekumarker_ext ]
keyUsage = digitalSignature
extendedKeyUsage = 1.2.203.6947.2.3.1.1.1,clientAuth
[ altmarker_ext ]
keyUsage = nonRepudiation
subjectAltName = otherName:1.3.6.1.4.1.11801.2.1;UTF8:marker
[ ksp_ext ]
basicConstraints = CA:false
keyUsage = digitalSignature,nonRepudiation
[ altvariant_ext ]
keyUsage = nonRepudiation
subjectAltName = email:variant@example.cz,otherName:1.3.3.6.1.4.1.11801.2.1;UTF8:variant
CNF
touch index.txt

# key NAME [TYPE]: TYPE is rsa (2048 bits, the default), rsa3072, p256 or p384.
key() {
  case ${2:-rsa} in
    rsa) openssl genrsa -out "$1.key" 2048 2>/dev/null ;;
    rsa3072) openssl genrsa -out "$1.key" 3072 2>/dev/null ;;
    p256) openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -pkeyopt ec_param_enc:named_curve -out "$1.key" ;;
    p384) openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-384 -pkeyopt ec_param_enc:named_curve -out "$1.key" ;;
  esac
}
# issue NAME SUBJECT ISSUER EXT SERIAL [START END [KEY_TYPE]]
issue() {
  local name=$1 subject=$2 issuer=$3 ext=$4 serial=$5 start=${6:-} end=${7:-} type=${8:-rsa}
  key "$name" "$type"
  openssl req -new -key "$name.key" -subj "$subject" -utf8 -out "$name.csr"
  echo "$serial" > serial
  local dates=(-days 3650)
  [ -n "$start" ] && dates=(-startdate "$start" -enddate "$end")
  if [ "$issuer" = self ]; then
    openssl ca -batch -config ca.cnf -selfsign -keyfile "$name.key" -in "$name.csr" -extensions "$ext" \
      -utf8 "${dates[@]}" -notext -out "$name.pem" 2>/dev/null
  else
    openssl ca -batch -config ca.cnf -cert "$issuer.pem" -keyfile "$issuer.key" -in "$name.csr" \
      -extensions "$ext" -utf8 "${dates[@]}" -notext -out "$name.pem" 2>/dev/null
  fi
  openssl x509 -in "$name.pem" -outform DER | base64 -w0 > "$name.b64"
  openssl x509 -in "$name.pem" -noout -fingerprint -sha1 | sed 's/.*=//; s/://g' | tr A-F a-f | tr -d '\n' > "$name.sha1"
  openssl x509 -in "$name.pem" -noout -fingerprint -md5 | sed 's/.*=//; s/://g' | tr A-F a-f | tr -d '\n' > "$name.md5"
  case $type in
    rsa) openssl rsa -in "$name.key" -outform MSBLOB -out "$name.keyblob" 2>/dev/null ;;
  esac
}

issue root "/CN=Tessarn Test Root/O=Tessarn Test/C=CZ" self root_ext 01
issue ca "/CN=Tessarn Test Issuing CA/O=Tessarn Test/C=CZ" root ca_ext 02
issue full "/CN=Jan Novák/O=Tessarn Test/C=CZ/emailAddress=jan.novak@example.cz" ca full_ext F12345
issue dns "/CN=Signer DNS/O=Tessarn Test/C=CZ" ca dns_ext 0A0B0C
issue othername "/CN=Signer UPN/O=Tessarn Test/C=CZ" ca othername_ext 1C
issue plain "/CN=Plain Leaf/O=Tessarn Test/C=CZ" ca plain_ext 7F00
issue decipher "/CN=Decipher Leaf/O=Tessarn Test/C=CZ" ca decipher_ext 3D
issue encipher "/CN=Encipher Only/O=Tessarn Test/C=CZ" ca encipher_ext 3E
issue ekumarker "/CN=EKU Marker/O=Tessarn Test/C=CZ" ca ekumarker_ext 40
issue altmarker "/CN=Alt Name Marker/O=Tessarn Test/C=CZ" ca altmarker_ext 41
issue altvariant "/CN=Alt Name Variant/O=Tessarn Test/C=CZ" ca altvariant_ext 42
issue expired "/CN=Expired Leaf/O=Tessarn Test/C=CZ" ca dns_ext 3F 20200101000000Z 20210101000000Z
issue cardsig "/CN=Card Holder Signature/O=Tessarn Test/C=CZ" self cardsig_ext 0C
issue selfsigned "/CN=Self Signed/O=Nobody/C=CZ" self dns_ext 05
issue expiredself "/CN=Expired Self Signed/O=Nobody/C=CZ" self dns_ext 06 20200101000000Z 20210101000000Z
# Valid from a summer day to a winter day: its validity read as local time
# falls on both sides of a daylight-saving change.
issue summer "/CN=Summer Leaf/O=Tessarn Test/C=CZ" ca dns_ext 43 20200615103000Z 20201215103000Z
# A leaf whose issuer is nowhere to be found.
issue orphanca "/CN=Orphan CA/O=Nobody/C=CZ" self ca_ext 07
issue orphan "/CN=Orphan Leaf/O=Nobody/C=CZ" orphanca dns_ext 08
# Keys a key storage provider holds (the test double of tests/ksp serves
# them from NAME.kspblob, the BCrypt private key blob of NAME.key): RSA of
# two sizes and the two common curves, all under the RSA test CA.
issue ksprsa2048 "/CN=KSP RSA 2048/O=Tessarn Test/C=CZ" ca ksp_ext 50 "" "" rsa
issue ksprsa3072 "/CN=KSP RSA 3072/O=Tessarn Test/C=CZ" ca ksp_ext 51 "" "" rsa3072
issue kspp256 "/CN=KSP ECDSA P-256/O=Tessarn Test/C=CZ" ca ksp_ext 52 "" "" p256
issue kspp384 "/CN=KSP ECDSA P-384/O=Tessarn Test/C=CZ" ca ksp_ext 53 "" "" p384
for k in ksprsa2048 ksprsa3072 kspp256 kspp384; do
  python3 "$here/bcrypt-blob.py" "$k.key" "$k.kspblob"
done
touch .done
