#!/usr/bin/env bash
# Builds the two installer packages from tessarn.wxs:
#   OUT/tessarn-user.msi     per user, no administrator rights
#   OUT/tessarn-machine.msi  per machine
# Usage: build-packages.sh [BUILD_DIR [OUT_DIR]]
#   BUILD_DIR  the super-build folder holding x64/ and x86/ (default build/)
#   OUT_DIR    where the packages go (default BUILD_DIR/installer)
# When a code-signing certificate is configured (scripts/sign.sh names the
# variables), the modules and the host in BUILD_DIR are signed first (unless
# they already are) and both packages after they are built.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(readlink -m "${1:-$root/build}")
out=$(readlink -m "${2:-$build/installer}")
stage=$out/stage
die() { echo "build-packages: $*" >&2; exit 1; }

# The product version: major.minor.build of the module's version.
version=$(sed -n 's/.*kVersion\(Major\|Minor\|Build\) = \([0-9]*\);.*/\2/p' "$root/control/version.h" | paste -sd.)
[[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || die "cannot read the version from control/version.h"

rm -rf "$stage"
mkdir -p "$stage/x64" "$stage/x86"
for arch in x64 x86; do
  module=$build/$arch/Tessarn.ocx
  [ -f "$module" ] || die "$module is missing: build both modules first"
  "$root/scripts/sign.sh" --if-unsigned "$module"
  cp "$module" "$stage/$arch/"
done

# The browser bridge, once the build has its host and the extension build
# its manifests (bridge/extension/build.sh writes the extension's ids into
# them; they name the host relative to themselves, so they are installed as
# they are, beside it).
manifests=(zorv.tessarn.chrome.json zorv.tessarn.edge.json zorv.tessarn.firefox.json)
host=no
if [ -f "$build/x64/tessarn-host.exe" ]; then
  host=yes
  for m in "${manifests[@]}"; do
    [ -f "$build/bridge/manifests/$m" ] ||
      die "the host is built but $build/bridge/manifests/$m is missing (bridge/extension/build.sh makes it)"
    ! grep -q '@[A-Z_]*@' "$build/bridge/manifests/$m" || die "$build/bridge/manifests/$m names no extension id"
    cp "$build/bridge/manifests/$m" "$stage/x64/"
  done
  for exe in "$build"/x64/tessarn-host.exe "$build"/x86/tessarn-host.exe; do
    if [ -f "$exe" ]; then "$root/scripts/sign.sh" --if-unsigned "$exe"; fi
  done
  cp "$build/x64/tessarn-host.exe" "$stage/x64/"
fi

# The extension's ids, which the machine package's browser policies name:
# derived by the extension build (bridge/extension/build.sh), never written
# here by hand.
identity=$build/bridge/identity.txt
[ -f "$identity" ] || die "$identity is missing: build the extension first (bridge/extension/build.sh)"
chromium_id=$(sed -n 's/^chromium_id=//p' "$identity")
gecko_id=$(sed -n 's/^gecko_id=//p' "$identity")
[[ "$chromium_id" =~ ^[a-p]{32}$ ]] || die "$identity names no Chromium extension id"
[[ "$gecko_id" =~ ^[A-Za-z0-9._@{}-]+$ ]] || die "$identity names no Firefox extension id"

# A component written only when its property is given; it is enabled again
# when the product is removed, or its values would stay behind.
given() { echo "UPDATE \`Component\` SET \`Condition\` = '$2 OR REMOVE~=\"ALL\"' WHERE \`Component\` = '$1'"; }

for scope in user machine; do
  msi=$out/tessarn-$scope.msi
  rm -f "$msi" "$msi.tmp"
  # wixl takes Source paths relative to the folder it runs in.
  (cd "$stage" && wixl -a x64 -D Scope=$scope -D Version="$version" -D Host=$host \
      -D ChromiumId="$chromium_id" -D GeckoId="$gecko_id" \
      -I "$root/installer" -o "$msi.tmp" "$root/installer/tessarn.wxs") ||
    die "wixl failed for the $scope package"
  if [ $scope = machine ]; then
    # What wixl cannot say: the allowed origins and the browsers' policies
    # are written only when given, and the properties pass from the command
    # line to the elevated part of the installation.
    msibuild "$msi.tmp" \
      -q "$(given AllowedOrigins ALLOWEDORIGINS)" \
      -q "$(given ChromiumExtensionPolicy EXTENSIONUPDATEURL)" \
      -q "$(given FirefoxExtensionPolicy FIREFOXEXTENSIONURL)" \
      -q "UPDATE \`Property\` SET \`Value\` = 'WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;ALLOWEDORIGINS;EXTENSIONUPDATEURL;FIREFOXEXTENSIONURL' WHERE \`Property\` = 'SecureCustomProperties'" ||
      die "msibuild failed for the $scope package"
  fi
  "$root/scripts/sign.sh" "$msi.tmp"
  mv -f "$msi.tmp" "$msi"
  echo "build-packages: $msi (version $version, host: $host)"
done
rm -rf "$stage"
