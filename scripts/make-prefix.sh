#!/usr/bin/env bash
# Boots one WoW64 Wine prefix that the tests copy (usage: make-prefix.sh DIR).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
dir=$1
if [ -f "$dir/.tessarn-ready" ]; then exit 0; fi
rm -rf "$dir"
mkdir -p "$(dirname "$dir")"
export WINEPREFIX="$dir"
# The 64-bit loader boots the prefix: it also makes the 32-bit side when the
# machine can run 32-bit programs.
"$(wine_loader x64)" wineboot -i >/dev/null 2>&1 || true
wineserver -w
if runs_32bit && { [ ! -d "$dir/drive_c/windows/syswow64" ] || [ ! -f "$dir/drive_c/windows/syswow64/kernel32.dll" ]; }; then
  echo "make-prefix: $dir has no 32-bit side (syswow64): is wine32:i386 installed?" >&2
  exit 1
fi
# Services nothing here uses start with every copy's server otherwise: the
# event log, the network drivers and the device manager (no test has a
# device). The mount manager, which gives the drives their letters, stays.
for service in Eventlog NDIS nsiproxy PlugPlay; do
  "$(wine_loader x64)" reg add "HKLM\\System\\CurrentControlSet\\Services\\$service" \
    /v Start /t REG_DWORD /d 4 /f >/dev/null 2>&1
done
wineserver -w
touch "$dir/.tessarn-ready"
