#!/usr/bin/env bash
# Boots one WoW64 Wine prefix that the tests copy (usage: make-prefix.sh DIR).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
dir=$1
# The recipe of the template: this script and the shared Wine settings. A
# template booted by another recipe, or before this machine could run
# 32-bit programs (its syswow64 then holds no working 32-bit side), is
# booted again: it must never be reused.
recipe=$(cat "$here/make-prefix.sh" "$here/wine-env.sh" | sha256sum | cut -c1-16)
complete() {
  [ -f "$dir/.tessarn-ready" ] && [ "$(cat "$dir/.tessarn-ready")" = "$recipe" ] &&
    [ -f "$dir/drive_c/windows/syswow64/kernel32.dll" ] &&
    [ -f "$dir/drive_c/windows/syswow64/regsvr32.exe" ]
}
if complete; then exit 0; fi
if ! runs_32bit; then
  echo "make-prefix: this machine cannot run 32-bit programs: run scripts/setup.sh first" >&2
  exit 1
fi
rm -rf "$dir"
mkdir -p "$(dirname "$dir")"
export WINEPREFIX="$dir"
# The 64-bit loader boots the prefix; it makes the 32-bit side with 32-bit
# programs.
"$(wine_loader x64)" wineboot -i >/dev/null 2>&1 || true
wineserver -w
if [ ! -f "$dir/drive_c/windows/syswow64/kernel32.dll" ]; then
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
printf '%s' "$recipe" > "$dir/.tessarn-ready"
