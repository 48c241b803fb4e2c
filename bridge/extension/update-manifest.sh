#!/usr/bin/env bash
# Writes the update manifest that Chrome and Edge read for a forced install
# of the packaged extension:
#   update-manifest.sh OUT URL
#     OUT  the folder build.sh made (its identity.txt and packages/)
#     URL  the address of the folder the administrator serves
#          packages/tessarn.crx and packages/update.xml from, for example
#          https://intranet.example.cz/tessarn
# The browsers' policy then names URL/update.xml as the update URL
# (installing.md). Run it again when the folder moves: the package stays the
# same.
set -euo pipefail
die() { echo "update-manifest: $*" >&2; exit 1; }
[ $# = 2 ] || die "usage: update-manifest.sh OUT URL"
out=$1 url=${2%/}
[ -f "$out/identity.txt" ] && [ -f "$out/packages/tessarn.crx" ] ||
  die "$out holds no extension build (bridge/extension/build.sh makes one)"
# An address the browsers can fetch, and that cannot break the XML.
address='^https?://[][A-Za-z0-9.:-]+(/[A-Za-z0-9._~%!$()*+,;=:@/-]*)?$'
[[ "$url" =~ $address ]] || die "\"$url\" is not an http or https address of a folder"
id=$(sed -n 's/^chromium_id=//p' "$out/identity.txt")
version=$(sed -n 's/^version=//p' "$out/identity.txt")
[[ "$id" =~ ^[a-p]{32}$ ]] || die "$out/identity.txt names no Chromium extension id"
cat >"$out/packages/update.xml" <<EOF
<?xml version='1.0' encoding='UTF-8'?>
<gupdate xmlns='http://www.google.com/update2/response' protocol='2.0'>
  <app appid='$id'>
    <updatecheck codebase='$url/tessarn.crx' version='$version' />
  </app>
</gupdate>
EOF
echo "update-manifest: $out/packages/update.xml names $url/tessarn.crx (policy entry: $id;$url/update.xml)"
