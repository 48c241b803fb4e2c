#!/usr/bin/env bash
# Builds the browser extension and everything that names its identity:
#   build.sh OUT
#     OUT/chromium/, OUT/firefox/   the unpacked extension for each family
#     OUT/manifests/                the native host's manifests, naming the
#                                   extension ids below, and register-host.cmd
#     OUT/packages/tessarn.crx      the CRX3 package for Chrome and Edge
#     OUT/packages/tessarn.xpi      the package for Firefox
#     OUT/packages/update.xml       the update manifest Chrome and Edge read
#                                   for a forced install (see below)
#     OUT/packages/tessarn-chromium-store.zip, tessarn-firefox-store.zip
#                                   what the browsers' stores take
#     OUT/identity.txt              chromium_id, gecko_id and key=release|test
#
# The extension's id in Chrome and Edge follows from the key that signs the
# CRX package: a release secret, like the code-signing key, never kept in
# the repository.
#   TESSARN_EXTENSION_KEY  the PEM file of that RSA private key. Without it a
#                          test key is made once per OUT folder
#                          (OUT/test-key/extension-key.pem) and kept, so the
#                          id stays the same from build to build there.
#   TESSARN_EDGE_STORE_ID  the id Edge Add-ons gave the published extension,
#                          named by the Edge host manifest beside the
#                          package's own.
#   TESSARN_EXTENSION_URL  the address of the folder from which the
#                          administrator serves tessarn.crx and update.xml
#                          (default http://localhost/tessarn: replace it, or
#                          run update-manifest.sh again for the real one).
# The id is derived here, once, from the key, and written into the
# unpacked manifest's "key", the host manifests and identity.txt; the
# Firefox id is read from manifest.firefox.json. Neither is written anywhere
# else by hand.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
die() { echo "extension build: $*" >&2; exit 1; }
[ $# = 1 ] || die "usage: build.sh OUT"
out=$(readlink -m "$1")
mkdir -p "$out"

# --- the key and the id ----------------------------------------------------
if [ -n "${TESSARN_EXTENSION_KEY:-}" ]; then
  key=$TESSARN_EXTENSION_KEY
  [ -f "$key" ] || die "TESSARN_EXTENSION_KEY names no file: $key"
  kind=release
else
  key=$out/test-key/extension-key.pem
  if [ ! -f "$key" ]; then
    mkdir -p "$out/test-key"
    openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$key.tmp" 2>/dev/null ||
      die "openssl cannot make a test key"
    mv -f "$key.tmp" "$key"
  fi
  kind=test
fi
public_der=$(mktemp)
trap 'rm -f "$public_der"' EXIT
openssl pkey -in "$key" -passin pass: -pubout -outform DER -out "$public_der" 2>/dev/null ||
  die "$key is not a PEM private key without a password (TESSARN_EXTENSION_KEY must name one)"
openssl pkey -in "$key" -passin pass: -noout -text 2>/dev/null | grep -q 'Private-Key: (\(2048\|3072\|4096\) bit' ||
  die "$key is not an RSA key of 2048, 3072 or 4096 bits: Chrome and Edge sign packages with RSA"
# Chromium's id: the first 16 bytes of the SHA-256 of the public key, each
# hexadecimal digit written as a letter from a to p.
chromium_id=$(openssl dgst -sha256 -binary "$public_der" | head -c 16 | od -An -tx1 | tr -d ' \n' | tr 0-9a-f a-p)
public_b64=$(base64 -w0 "$public_der")
gecko_id=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["browser_specific_settings"]["gecko"]["id"])' \
  "$here/manifest.firefox.json")
version=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["version"])' "$here/manifest.chromium.json")
[ "$version" = "$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["version"])' "$here/manifest.firefox.json")" ] ||
  die "manifest.chromium.json and manifest.firefox.json name different versions"

# --- the unpacked extension --------------------------------------------------
# For a store the manifest goes without "key" (the stores refuse it); the
# unpacked folder carries it, so that "Load unpacked" gets the id the host
# manifests name.
assemble() {  # family dir key(yes|no)
  local family=$1 dir=$2 with_key=$3
  rm -rf "$dir"
  mkdir -p "$dir"
  cp "$here/src/background.js" "$here/src/content.js" "$dir/"
  cp -r "$here/_locales" "$dir/"
  mkdir "$dir/icons"
  cp "$here/icons/"*.png "$dir/icons/"
  python3 - "$here/manifest.$family.json" "$dir/manifest.json" "$with_key" "$public_b64" <<'EOF'
import json, sys
source, target, with_key, public = sys.argv[1:]
m = json.load(open(source, encoding="utf-8"))
if with_key == "yes":
    m["key"] = public
with open(target, "w", encoding="utf-8") as f:
    json.dump(m, f, indent=2, ensure_ascii=False)
    f.write("\n")
EOF
}
assemble chromium "$out/chromium" yes
assemble firefox "$out/firefox" no

# --- the host manifests ------------------------------------------------------
rm -rf "$out/manifests"
mkdir -p "$out/manifests"
for m in "$here/../manifests/"*; do
  sed -e "s/@CHROMIUM_ID@/$chromium_id/g" -e "s/@GECKO_ID@/$gecko_id/g" "$m" >"$out/manifests/$(basename "$m")"
done
if grep -l '@[A-Z_]*@' "$out/manifests/"*.json; then die "a host manifest still holds a placeholder"; fi
# Edge Add-ons gives a published extension an id of its own: the Edge host
# manifest then names it too.
if [ -n "${TESSARN_EDGE_STORE_ID:-}" ]; then
  [[ "$TESSARN_EDGE_STORE_ID" =~ ^[a-p]{32}$ ]] ||
    die "TESSARN_EDGE_STORE_ID is not an extension id (32 letters from a to p): $TESSARN_EDGE_STORE_ID"
  python3 - "$out/manifests/zorv.tessarn.edge.json" "$TESSARN_EDGE_STORE_ID" <<'EOF'
import json, sys
path, store_id = sys.argv[1:]
m = json.load(open(path))
m["allowed_origins"].append("chrome-extension://%s/" % store_id)
with open(path, "w") as f:
    json.dump(m, f, indent=2)
    f.write("\n")
EOF
fi

# --- the packages ------------------------------------------------------------
packages=$out/packages
rm -rf "$packages"
mkdir -p "$packages"
work=$(mktemp -d)
trap 'rm -f "$public_der"; rm -rf "$work"' EXIT
# Chromium packs a folder into FOLDER.crx beside it.
assemble chromium "$work/tessarn" yes
browser=$(command -v chromium || command -v chromium-browser || command -v google-chrome || true)
[ -n "$browser" ] || die "no Chromium to pack the CRX with (scripts/setup.sh installs it)"
sandbox=()
[ "$(id -u)" != 0 ] || sandbox=(--no-sandbox)
HOME=$work "$browser" "${sandbox[@]}" --headless=new --user-data-dir="$work/profile" \
  --pack-extension="$work/tessarn" --pack-extension-key="$key" >"$work/pack.log" 2>&1 || true
[ -s "$work/tessarn.crx" ] || die "chromium --pack-extension made no package: $(tail -5 "$work/pack.log")"
# The package must install under the id the host manifests name.
python3 "$here/crx_id.py" "$work/tessarn.crx" "$chromium_id" >/dev/null || die "the CRX package does not carry the id $chromium_id"
mv "$work/tessarn.crx" "$packages/tessarn.crx"

# The store's zip for Chrome and Edge holds the manifest without "key".
assemble chromium "$work/store" no
python3 - "$out/firefox" "$packages/tessarn.xpi" "$out/firefox" "$packages/tessarn-firefox-store.zip" \
  "$work/store" "$packages/tessarn-chromium-store.zip" <<'EOF'
import os, sys, zipfile
args = sys.argv[1:]
for folder, target in zip(args[0::2], args[1::2]):
    # Fixed times and order: the same sources give the same bytes.
    with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as z:
        for base, dirs, files in os.walk(folder):
            dirs.sort()
            for name in sorted(files):
                full = os.path.join(base, name)
                info = zipfile.ZipInfo(os.path.relpath(full, folder).replace(os.sep, "/"), (2026, 1, 1, 0, 0, 0))
                info.compress_type = zipfile.ZIP_DEFLATED
                info.external_attr = 0o644 << 16
                with open(full, "rb") as f:
                    z.writestr(info, f.read())
EOF

cat >"$out/identity.txt" <<EOF
# The extension's identity in this build (made by bridge/extension/build.sh).
# Chrome and Edge: derived from the packaging key ($kind key).
chromium_id=$chromium_id
# Firefox: the id in manifest.firefox.json.
gecko_id=$gecko_id
key=$kind
version=$version
EOF
bash "$here/update-manifest.sh" "$out" "${TESSARN_EXTENSION_URL:-http://localhost/tessarn}"
[ "$kind" = release ] ||
  echo "extension build: packed with a test key (id $chromium_id); set TESSARN_EXTENSION_KEY for a release" >&2
