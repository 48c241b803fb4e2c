#!/usr/bin/env bash
# Makes the registered template of a module (see clone-prefix.sh): a copy of
# the booted template in which the module's own regsvr32 registered it.
#   make-registered-prefix.sh TEMPLATE ARCH MODULE
# The suite runs it once per run and module, before the tests that use it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
. "$here/clone-prefix.sh"
template=$1 arch=$2 module=$3
[ -f "$template/.tessarn-ready" ] || { echo "make-registered-prefix: no booted template at $template" >&2; exit 1; }
dest=$(registered_template_name "$template" "$module")
if [ -f "$dest/.tessarn-ready" ]; then
  echo "make-registered-prefix: $module is registered in $dest"
  exit 0
fi
# Made aside and moved into place whole: a test never sees half a prefix.
mkdir -p "$(dirname "$dest")"
work=$(mktemp -d "$(dirname "$dest")/.making.XXXXXX")
trap 'WINEPREFIX="$work" wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
clone_prefix "$template" "$work"
export WINEPREFIX="$work"
"$(wine_loader x64)" cmd.exe /c exit 0 </dev/null >/dev/null 2>&1 || true
"$(wine_loader "$arch")" "$(regsvr32_for "$arch")" /s "$(winpath "$module")" ||
  { echo "make-registered-prefix: regsvr32 of $module failed" >&2; exit 1; }
# Wine writes its registry files when the server ends.
wineserver -w
touch "$work/.tessarn-ready"
rm -rf "$dest"
mv "$work" "$dest"
# Older registered copies of this template (earlier builds) are not kept.
find "$(dirname "$dest")" -mindepth 1 -maxdepth 1 -type d -mmin +1440 ! -name "$(basename "$dest")" \
  -exec rm -rf {} + 2>/dev/null || true
echo "make-registered-prefix: $module is registered in $dest"
