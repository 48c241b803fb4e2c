#!/usr/bin/env bash
# Makes the installer packages again when anything they are made of changed
# since they were last made: either module, either host, the package
# sources, the bridge's manifests, the version, the signing set-up. Both
# architectures' builds and the super-build call it after building their
# parts, so that a module rebuilt in any of them is the one the packages
# carry; they take turns (a lock in the packages' folder), and a call with
# nothing changed does nothing.
# Usage: update-packages.sh BUILD_DIR
#   BUILD_DIR  the super-build folder holding x64/ and x86/
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(readlink -m "$1")
out=$build/installer
mkdir -p "$out"
exec 9>"$out/.lock"
flock 9

for arch in x64 x86; do
  if [ ! -f "$build/$arch/Tessarn.ocx" ]; then
    # The first build of the tree: the other architecture's build, or the
    # super-build after both, makes them.
    echo "update-packages: the $arch module is not built yet; the packages wait for it"
    exit 0
  fi
done

# What the packages are made of, by content. The modules come first: the
# signing in build-packages.sh changes them, and their hashes are taken
# again after it.
inputs() {
  local f
  for f in "$build"/x64/Tessarn.ocx "$build"/x86/Tessarn.ocx "$build"/x64/tessarn-host.exe \
           "$build"/x86/tessarn-host.exe "$root"/installer/*.wxs "$root"/installer/*.wxi \
           "$root"/installer/build-packages.sh "$root"/bridge/manifests/* "$root"/control/version.h \
           "$root"/scripts/sign.sh; do
    if [ -f "$f" ]; then sha256sum "$f"; else echo "absent $f"; fi
  done
  echo "signing certificate: ${TESSARN_SIGN_CERT:-none}"
}
record=$out/packages.inputs
if [ -f "$out/tessarn-user.msi" ] && [ -f "$out/tessarn-machine.msi" ] && [ -f "$record" ] &&
   [ "$(inputs)" = "$(cat "$record")" ]; then
  exit 0
fi
rm -f "$record"
before=$(inputs)
"$root/installer/build-packages.sh" "$build" "$out"
after=$(inputs)
# A module the other architecture's build was writing meanwhile, or one the
# signing changed, leaves no record: the next call makes the packages again.
if [ "$before" = "$after" ]; then printf '%s\n' "$after" >"$record"; fi
