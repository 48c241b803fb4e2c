#!/usr/bin/env bash
# Sets up the machine, builds both modules and runs the demo: a page-like
# container registers the control in a fresh Wine prefix and calls it from
# JScript.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
. "$root/scripts/wine-env.sh"
. "$root/scripts/clone-prefix.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/tessarn-demo.XXXXXX")
trap 'WINEPREFIX="$work/prefix" wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
clone_prefix "$root/build/wineprefix" "$work/prefix"
export WINEPREFIX="$work/prefix"
for arch in x64 x86; do
  echo "== $arch: $root/build/$arch/Tessarn.ocx"
  "$(wine_loader "$arch")" "$(regsvr32_for "$arch")" /s "$(winpath "$root/build/$arch/Tessarn.ocx")"
  wine "$root/build/$arch/tests/host/script_host.exe" "$root/demo/demo.js"
done
