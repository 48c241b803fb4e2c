#!/usr/bin/env bash
# Assembles the unpacked extension for each browser family:
#   build.sh OUT   ->  OUT/chromium/ and OUT/firefox/
# and the host manifests (bridge/manifests) beside them in OUT/manifests/.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$1
for family in chromium firefox; do
  dir="$out/$family"
  rm -rf "$dir"
  mkdir -p "$dir"
  cp "$here/src/background.js" "$here/src/content.js" "$dir/"
  cp "$here/manifest.$family.json" "$dir/manifest.json"
done
rm -rf "$out/manifests"
mkdir -p "$out/manifests"
cp "$here/../manifests/"* "$out/manifests/"
