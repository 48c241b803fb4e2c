#!/usr/bin/env bash
# Signing as the build does it when a code-signing certificate is configured:
# a test CA, a code-signing certificate and a time-stamp authority made with
# OpenSSL, a local RFC 3161 server on 127.0.0.1, and build-packages.sh run
# over copies of both modules (and hosts, when built). Every signed file must
# pass `osslsigncode verify` with a verified time stamp, and a copy with one
# changed byte must fail it. A certificate given as PEM certificate and key
# signs too, and a missing time-stamp server is refused.
# Usage: signing-test.sh BUILD_DIR
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$1
work=$(mktemp -d)
server=
cleanup() { [ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
failures=0
fail() { echo "signing-test: FAIL: $*" >&2; failures=$((failures + 1)); }
quiet() { "$@" >"$work/out" 2>&1 || { cat "$work/out" >&2; return 1; }; }

# The PKI: one CA for the code-signing certificate and the time-stamp
# authority.
pki=$work/pki
mkdir -p "$pki"
cat >"$pki/ext.cnf" <<'CNF'
[codesign]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
[tsa]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, nonRepudiation
extendedKeyUsage = critical, timeStamping
CNF
cat >"$pki/tsa.cnf" <<CNF
[tsa]
default_tsa = tsa_config
[tsa_config]
serial = $pki/tsa.serial
crypto_device = builtin
default_policy = 1.2.3.4.1
signer_digest = sha256
digests = sha256, sha384, sha512
accuracy = secs:1
ordering = yes
tsa_name = yes
ess_cert_id_chain = no
ess_cert_id_alg = sha256
CNF
echo 01 >"$pki/tsa.serial"
make_pki() {
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$pki/ca.key" -out "$pki/ca.crt" -days 30 \
    -subj "/CN=Tessarn Test Code Signing CA" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" &&
  for who in codesign tsa; do
    openssl req -newkey rsa:2048 -nodes -keyout "$pki/$who.key" -out "$pki/$who.csr" -subj "/CN=Tessarn Test $who" &&
    openssl x509 -req -in "$pki/$who.csr" -CA "$pki/ca.crt" -CAkey "$pki/ca.key" -CAcreateserial -days 30 \
      -extfile "$pki/ext.cnf" -extensions $who -out "$pki/$who.crt" || return 1
  done &&
  openssl pkcs12 -export -inkey "$pki/codesign.key" -in "$pki/codesign.crt" -certfile "$pki/ca.crt" \
    -passout pass:test-password -out "$pki/codesign.p12"
}
quiet make_pki || { echo "signing-test: cannot make the test PKI" >&2; exit 1; }

python3 "$here/timestamp_server.py" "$pki" "$work/port" &
server=$!
for _ in $(seq 100); do [ -f "$work/port" ] && break; sleep 0.1; done
[ -f "$work/port" ] || { echo "signing-test: the time-stamp server did not start" >&2; exit 1; }
tsa_url=http://127.0.0.1:$(cat "$work/port")/

# A build folder with copies of what the build made.
fake=$work/build
files=()
for arch in x64 x86; do
  mkdir -p "$fake/$arch"
  for f in Tessarn.ocx tessarn-host.exe; do
    [ -f "$build/$arch/$f" ] || continue
    cp "$build/$arch/$f" "$fake/$arch/" && files+=("$fake/$arch/$f")
  done
done
[ -f "$fake/x64/Tessarn.ocx" ] && [ -f "$fake/x86/Tessarn.ocx" ] || { echo "signing-test: build both modules first" >&2; exit 1; }
# The host's manifests name the extension's ids of this build; the packages
# carry them beside the host.
if [ -d "$build/bridge/manifests" ]; then
  mkdir -p "$fake/bridge" && cp -r "$build/bridge/manifests" "$build/bridge/identity.txt" "$fake/bridge/"
fi

verify() {
  osslsigncode verify -CAfile "$pki/ca.crt" -TSA-CAfile "$pki/ca.crt" -in "$1" >"$work/verify" 2>&1
}
check_signed() {
  local f=$1
  if ! verify "$f"; then
    fail "$(basename "$f") does not verify: $(tail -5 "$work/verify" | tr '\n' ' ')"
    return
  fi
  local before=$failures
  grep -q "Timestamp Server Signature verification: ok" "$work/verify" &&
    grep -q "Subject: /CN=Tessarn Test tsa" "$work/verify" || fail "$(basename "$f") carries no verified time stamp"
  grep -q "Subject: /CN=Tessarn Test codesign" "$work/verify" || fail "$(basename "$f") is not signed by the test certificate"
  # One changed byte in the middle of the file.
  cp "$f" "$work/tampered"
  local size offset byte
  size=$(stat -c %s "$f")
  offset=$((size / 2))
  byte=$(od -An -tu1 -j "$offset" -N1 "$f" | tr -d ' ')
  printf "$(printf '\\%03o' $(((byte + 1) % 256)))" | dd of="$work/tampered" bs=1 seek="$offset" conv=notrunc status=none
  if verify "$work/tampered"; then fail "$(basename "$f") with a changed byte still verifies"; fi
  [ "$failures" = "$before" ] && echo "signing-test: $(basename "$(dirname "$f")")/$(basename "$f"): signed, time-stamped, and a changed byte breaks it"
}

# 1. The build's signing path: PKCS #12 with a password.
out=$work/packages
if TESSARN_SIGN_CERT=$pki/codesign.p12 TESSARN_SIGN_PASSWORD=test-password TESSARN_TIMESTAMP_URL=$tsa_url \
    quiet bash "$root/installer/build-packages.sh" "$fake" "$out"; then
  for f in "${files[@]}" "$out/tessarn-user.msi" "$out/tessarn-machine.msi"; do check_signed "$f"; done
else
  fail "build-packages.sh with a signing certificate failed"
fi
# Signing twice (a rebuilt package, a module signed again) leaves one signature.
cp "$fake/x64/Tessarn.ocx" "$work/again.ocx"
TESSARN_SIGN_CERT=$pki/codesign.p12 TESSARN_SIGN_PASSWORD=test-password TESSARN_TIMESTAMP_URL=$tsa_url \
  quiet bash "$root/scripts/sign.sh" "$work/again.ocx" || fail "signing a signed module again failed"
verify "$work/again.ocx" || fail "a module signed twice does not verify"
[ "$(grep -c "Signer's certificate:" "$work/verify")" -le 1 ] || fail "a module signed twice carries two signatures"

# 2. A PEM certificate with its key.
cp "$build/x64/Tessarn.ocx" "$work/pem.ocx"
if TESSARN_SIGN_CERT=$pki/codesign.crt TESSARN_SIGN_KEY=$pki/codesign.key TESSARN_TIMESTAMP_URL=$tsa_url \
    quiet bash "$root/scripts/sign.sh" "$work/pem.ocx"; then
  check_signed "$work/pem.ocx"
else
  fail "signing with a PEM certificate and key failed"
fi

# 3. What is refused: no time-stamp server named, a wrong password. The
#    file stays as it was.
cp "$build/x64/Tessarn.ocx" "$work/refused.ocx"
TESSARN_SIGN_CERT=$pki/codesign.p12 TESSARN_SIGN_PASSWORD=test-password \
  bash "$root/scripts/sign.sh" "$work/refused.ocx" >/dev/null 2>&1 && fail "signing without TESSARN_TIMESTAMP_URL was not refused"
TESSARN_SIGN_CERT=$pki/codesign.p12 TESSARN_SIGN_PASSWORD=wrong TESSARN_TIMESTAMP_URL=$tsa_url \
  bash "$root/scripts/sign.sh" "$work/refused.ocx" >/dev/null 2>&1 && fail "a wrong password was not refused"
cmp -s "$work/refused.ocx" "$build/x64/Tessarn.ocx" || fail "a refused signing changed the file"

# 4. Without a certificate nothing is signed.
cp "$build/x64/Tessarn.ocx" "$work/plain.ocx"
env -u TESSARN_SIGN_CERT bash "$root/scripts/sign.sh" "$work/plain.ocx" || fail "sign.sh without a certificate failed"
cmp -s "$work/plain.ocx" "$build/x64/Tessarn.ocx" || fail "sign.sh without a certificate changed the file"

[ "$failures" = 0 ] && echo "signing-test: every signed file verifies"
[ "$failures" = 0 ]
