#!/usr/bin/env bash
# Sets up the machine, builds both modules and runs the demo: in a fresh
# Wine prefix a page-like container registers the control, which lists the
# user's personal certificate and signs with its key from JScript; OpenSSL
# then verifies both signatures.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
. "$root/scripts/wine-env.sh"
. "$root/scripts/clone-prefix.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/tessarn-demo.XXXXXX")
cleanup() {
  WINEPREFIX="$work/prefix" wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
for arch in x64 x86; do
  echo
  echo "== Tessarn.ocx ($arch): $root/build/$arch/Tessarn.ocx"
  rm -rf "$work/prefix" "$work/files"
  mkdir -p "$work/files"
  clone_prefix "$root/build/wineprefix" "$work/prefix"
  export WINEPREFIX="$work/prefix"
  "$(wine_loader "$arch")" "$(regsvr32_for "$arch")" /s "$(winpath "$root/build/$arch/Tessarn.ocx")"
  TESSARN_PKI="$(winpath "$root/build/$arch/pki")" TESSARN_FILES="$(winpath "$work/files")" \
    "$(wine_loader "$arch")" "$root/build/$arch/tests/host/script_host.exe" "$root/demo/demo.js"
  bash "$root/tests/pki/verify-signatures.sh" "$work/files" "$root/build/$arch/pki" 2
  wineserver -k >/dev/null 2>&1 || true
done
