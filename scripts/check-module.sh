#!/usr/bin/env bash
# Checks that each module imports only Windows system DLLs and exports the
# COM server entry points (the four of every server and DllInstall) under
# their plain names.
set -euo pipefail
fail=0
for m in "$@"; do
  case "$m" in *x86*) od=i686-w64-mingw32-objdump ;; *) od=x86_64-w64-mingw32-objdump ;; esac
  [ -f "$m" ] || { echo "check-module: $m is missing" >&2; fail=1; continue; }
  imports=$($od -p "$m" | awk '/DLL Name:/ {print tolower($3)}' | sort -u)
  for dll in $imports; do
    case "$dll" in
      kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|ole32.dll|oleaut32.dll|crypt32.dll|cryptui.dll|\
      winscard.dll|ncrypt.dll|shlwapi.dll|msvcrt.dll|comctl32.dll|uuid.dll|shell32.dll|olepro32.dll|oleaut.dll|urlmon.dll) ;;
      *) echo "check-module: $m imports $dll, which is not a system DLL" >&2; fail=1 ;;
    esac
  done
  exports=$($od -p "$m" | awk '/\[Ordinal\/Name Pointer\] Table/ {t=1; next} t && /^[ \t]*\[/ {print $NF} t && /^$/ {t=0}')
  for e in DllRegisterServer DllUnregisterServer DllGetClassObject DllCanUnloadNow DllInstall; do
    grep -qx "$e" <<<"$exports" || { echo "check-module: $m does not export $e undecorated" >&2; fail=1; }
  done
  if grep -q '@' <<<"$exports"; then echo "check-module: $m has decorated exports: $exports" >&2; fail=1; fi
  [ $fail = 0 ] && echo "check-module: $m: imports [$(echo $imports)] exports [$(echo $exports)]"
done
exit $fail
