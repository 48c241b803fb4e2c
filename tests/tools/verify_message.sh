#!/usr/bin/env bash
# Checks the message import_pfx.js wrote with the tutorial's own OpenSSL
# commands: the fixture's CA and root as the CA file, "Hello" as content.
# Usage: verify_message.sh FILES_DIR FIXTURE_DIR
set -euo pipefail
cd "$1"
cat "$2/ca.pem" "$2/root.pem" > chain.pem
openssl base64 -d -A -in message.b64 -out message.der
openssl cms -verify -inform DER -in message.der -CAfile chain.pem -purpose any -out content.bin
[ "$(cat content.bin)" = "Hello" ] || { echo "verify_message: the message does not carry Hello" >&2; exit 1; }
echo "verify_message: the message signed with the imported certificate verifies"
