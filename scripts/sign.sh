#!/usr/bin/env bash
# Authenticode-signs and time-stamps files in place with osslsigncode, when a
# code-signing certificate is configured; otherwise does nothing.
#   TESSARN_SIGN_CERT      the certificate: a PKCS #12 file (.p12 or .pfx, key
#                          included), or a PEM/DER certificate file (its chain
#                          may follow the certificate in a PEM file)
#   TESSARN_SIGN_KEY       the private key (PEM/DER), when TESSARN_SIGN_CERT
#                          is not PKCS #12
#   TESSARN_SIGN_PASSWORD  the password of the PKCS #12 file or of the key,
#                          if it has one
#   TESSARN_TIMESTAMP_URL  the RFC 3161 time-stamp server(s), separated by
#                          blanks (tried in turn); "none" signs without a time
#                          stamp, which stops being valid when the certificate
#                          expires
# Usage: sign.sh [--if-unsigned] FILE...
#   --if-unsigned  leave files that already carry a signature as they are
set -euo pipefail
if_unsigned=0
if [ "${1:-}" = --if-unsigned ]; then if_unsigned=1; shift; fi
[ -n "${TESSARN_SIGN_CERT:-}" ] || exit 0

die() { echo "sign: $*" >&2; exit 1; }
[ -f "$TESSARN_SIGN_CERT" ] || die "TESSARN_SIGN_CERT names no file: $TESSARN_SIGN_CERT"
[ -n "${TESSARN_TIMESTAMP_URL:-}" ] ||
  die "TESSARN_TIMESTAMP_URL is not set (an RFC 3161 time-stamp server, or \"none\")"

case "$TESSARN_SIGN_CERT" in
  *.p12|*.pfx|*.P12|*.PFX) credentials=(-pkcs12 "$TESSARN_SIGN_CERT") ;;
  *)
    [ -n "${TESSARN_SIGN_KEY:-}" ] && [ -f "$TESSARN_SIGN_KEY" ] ||
      die "TESSARN_SIGN_KEY must name the private key of $TESSARN_SIGN_CERT"
    credentials=(-certs "$TESSARN_SIGN_CERT" -key "$TESSARN_SIGN_KEY") ;;
esac
stamps=()
if [ "$TESSARN_TIMESTAMP_URL" != none ]; then
  for url in $TESSARN_TIMESTAMP_URL; do stamps+=(-ts "$url"); done
fi

signed() { osslsigncode extract-signature -in "$1" -out "$2" >/dev/null 2>&1; }

for f in "$@"; do
  [ -f "$f" ] || die "no file $f"
  work=$(mktemp -d)
  if signed "$f" "$work/sig"; then
    if [ "$if_unsigned" = 1 ]; then rm -rf "$work"; continue; fi
    osslsigncode remove-signature -in "$f" -out "$work/unsigned" >/dev/null || die "cannot remove the signature of $f"
  else
    cp "$f" "$work/unsigned"
  fi
  # The password goes through a pipe, never the command line.
  if [ -n "${TESSARN_SIGN_PASSWORD:-}" ]; then
    pass=(-readpass /dev/stdin)
  else
    pass=()
  fi
  if ! printf '%s' "${TESSARN_SIGN_PASSWORD:-}" |
      osslsigncode sign "${credentials[@]}" "${pass[@]}" -h sha256 -n "Tessarn" "${stamps[@]}" \
        -in "$work/unsigned" -out "$work/signed" >"$work/log" 2>&1; then
    cat "$work/log" >&2
    rm -rf "$work"
    die "signing $f failed"
  fi
  # Replace the file in one step, keeping its mode.
  cp "$work/signed" "$f.signing" && mv -f "$f.signing" "$f"
  rm -rf "$work"
  echo "sign: signed $f"
done
