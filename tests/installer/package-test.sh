#!/usr/bin/env bash
# Installs one package silently in a fresh copy of the template prefix,
# checks the files and keys it wrote, creates the control by its ProgID from
# an Automation client of the given bitness, uninstalls, and checks that no
# file and no key of the package is left.
# Usage: package-test.sh TEMPLATE PACKAGE SCOPE ARCH BUILD_DIR CLIENT CHECK
#   SCOPE      user | machine
#   ARCH       the client's bitness (x64 | x86)
#   BUILD_DIR  the super-build folder (its x64/ and x86/ modules are what the
#              package must install)
#   CLIENT     the test container (script_host.exe) of that bitness
#   CHECK      registration_check.exe of that bitness
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/scripts/wine-env.sh"
. "$root/scripts/clone-prefix.sh"
template=$1 package=$2 scope=$3 arch=$4 build=$5 script_host=$6 registration_check=$7

if [ "$arch" = x86 ] && ! runs_32bit; then
  echo "package-test: this machine cannot run 32-bit programs: scripts/setup.sh brings the emulator that runs them" >&2
  exit 1
fi
[ -f "$package" ] || { echo "package-test: $package is missing (the super-build makes it after both modules)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tessarn-package.XXXXXX")
export WINEPREFIX=$work/prefix
clone_prefix "$template" "$WINEPREFIX"
trap 'wineserver -k >/dev/null 2>&1; rm -rf "$work"' EXIT
wine64=$(wine_loader x64)
client=$(wine_loader "$arch")
failures=0
fail() { echo "package-test: FAIL: $*" >&2; failures=$((failures + 1)); }
# A path under the prefix's drive C as the Windows side writes it.
cpath() { local p=${1#"$WINEPREFIX/drive_c"}; p=${p//\//\\}; printf 'C:%s' "$p"; }
# Wine writes its registry files when the server ends.
flush() { wineserver -w; }
# A REG_SZ value as the 64-bit reg.exe reads it (empty when there is none).
reg_text() { "$wine64" reg query "$1" /v "$2" /reg:64 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_SZ *//p"; }
policies=("HKLM\\SOFTWARE\\Policies\\Google\\Chrome\\ExtensionInstallForcelist|1"
          "HKLM\\SOFTWARE\\Policies\\Microsoft\\Edge\\ExtensionInstallForcelist|1"
          "HKLM\\SOFTWARE\\Policies\\Mozilla\\Firefox\\Extensions\\Install|1"
          "HKLM\\SOFTWARE\\Policies\\Mozilla\\Firefox\\Extensions\\Locked|1")
# Fails for each browser policy value that is there.
no_policies() {
  local p
  for p in "${policies[@]}"; do
    [ -z "$(reg_text "${p%|*}" "${p#*|}")" ] || fail "$1: ${p%|*}\\${p#*|} is \"$(reg_text "${p%|*}" "${p#*|}")\""
  done
}

# What identifies the package's keys in Wine's registry files.
ids='E0D18E29-700A-419B-A691-D0E82E7CBCA5|4D857FA2-E8BE-42A5-836C-D6C228391DAD|9E552F82-8C9F-463B-83F3-54C4AA4F476A|1BFAAC6D-2B1F-4CF9-8DF1-A25DC6C49B55|933AA70C-A8B0-46FA-A0AD-9639A5D24625|TESSARN\.TessarnCtrl|zorv\.tessarn|Zorv\\\\Tessarn\\\\Installer|ExtensionInstallForcelist|Firefox\\\\Extensions'
keys_in() { grep -E -i -c "^\[.*($ids)" "$WINEPREFIX/$1" || true; }

drive=$WINEPREFIX/drive_c
origins=https://sign.example.cz
if [ "$scope" = machine ]; then
  declare -A modules=([x64]="$drive/Program Files/Tessarn/Tessarn.ocx" [x86]="$drive/Program Files (x86)/Tessarn/Tessarn.ocx")
  dirs=("$drive/Program Files/Tessarn" "$drive/Program Files (x86)/Tessarn")
  classes=HKLM
  # The browsers' forced installation of the extension, from the addresses
  # an administrator gives; the ids are the extension build's.
  update_url=https://intranet.example.cz/tessarn/update.xml
  xpi_url=https://intranet.example.cz/tessarn/tessarn.xpi
  identity=$build/bridge/identity.txt
  chromium_id=$(sed -n 's/^chromium_id=//p' "$identity" 2>/dev/null)
  gecko_id=$(sed -n 's/^gecko_id=//p' "$identity" 2>/dev/null)
  [ -n "$chromium_id" ] && [ -n "$gecko_id" ] || { echo "package-test: $identity names no extension ids" >&2; exit 1; }
  properties=(ALLOWEDORIGINS=$origins EXTENSIONUPDATEURL=$update_url FIREFOXEXTENSIONURL=$xpi_url)
else
  local_app_data=$(ls -d "$drive"/users/*/AppData/Local | grep -v /Public/ | head -1)
  declare -A modules=([x64]="$local_app_data/Programs/Tessarn/x64/Tessarn.ocx" [x86]="$local_app_data/Programs/Tessarn/x86/Tessarn.ocx")
  dirs=("$local_app_data/Programs/Tessarn")
  [ -d "$local_app_data/Programs" ] || dirs+=("$local_app_data/Programs")
  classes=HKCU
  properties=()
fi

echo "package-test: installing $(basename "$package")"
"$wine64" msiexec /i "$(winpath "$package")" /qn "${properties[@]}" || fail "msiexec /i answered $?"
flush
for a in x64 x86; do
  cmp -s "${modules[$a]}" "$build/$a/Tessarn.ocx" || fail "the $a module is not at ${modules[$a]}"
done

# Every key DllRegisterServer writes, in the client's registry view.
"$client" "$registration_check" "$classes" "$(cpath "${modules[$arch]}")" ||
  fail "the registration under $classes is not the one DllRegisterServer writes"
if [ "$scope" = user ]; then
  n=$(keys_in system.reg)
  [ "$n" = 0 ] || fail "the per-user package wrote $n keys under HKLM"
else
  "$wine64" reg query 'HKLM\SOFTWARE\Zorv\Tessarn' /v AllowedOrigins | grep -q "REG_MULTI_SZ *$origins" ||
    fail "ALLOWEDORIGINS is not in HKLM\\SOFTWARE\\Zorv\\Tessarn"
  # Each browser's documented form: Chrome and Edge "id;update URL" in their
  # forced-install list, Firefox the package's address and its locked id.
  expected=("$chromium_id;$update_url" "$chromium_id;$update_url" "$xpi_url" "$gecko_id")
  for i in "${!policies[@]}"; do
    p=${policies[$i]}
    got=$(reg_text "${p%|*}" "${p#*|}")
    [ "$got" = "${expected[$i]}" ] || fail "${p%|*}\\${p#*|} is \"$got\", not \"${expected[$i]}\""
  done
  echo "package-test: Chrome's, Edge's and Firefox's policies install the extension ($chromium_id, $gecko_id)"
fi

# The browser bridge, when the package carries it: each browser's key names
# a manifest that was installed beside the host.
if msiinfo export "$package" File | grep -q 'tessarn-host\.exe'; then
  host_dir=$(dirname "${modules[x64]}")
  [ -f "$host_dir/tessarn-host.exe" ] || fail "the host is not beside the 64-bit module"
  for browser in 'Google\Chrome' 'Microsoft\Edge' 'Mozilla'; do
    manifest=$("$wine64" reg query "$classes\\Software\\$browser\\NativeMessagingHosts\\zorv.tessarn" /ve /reg:64 2>/dev/null |
               tr -d '\r' | sed -n 's/.*REG_SZ *//p')
    [ -n "$manifest" ] && [ "$manifest" = "$(cpath "$host_dir")\\$(basename "${manifest//\\//}")" ] &&
      [ -f "$host_dir/$(basename "${manifest//\\//}")" ] ||
      fail "$classes\\Software\\$browser\\NativeMessagingHosts\\zorv.tessarn names no installed manifest: \"$manifest\""
  done
  echo "package-test: the host and its manifests are installed and registered for Chrome, Edge and Firefox"
fi

# Wine's COM reads no classes from HKCU\Software\Classes: the user
# package's keys are activated through a copy under HKLM, made here and
# removed again before uninstalling.
copies=('CLSID\{E0D18E29-700A-419B-A691-D0E82E7CBCA5}' 'CLSID\{4D857FA2-E8BE-42A5-836C-D6C228391DAD}'
        'TESSARN.TessarnCtrl.1' 'TypeLib\{9E552F82-8C9F-463B-83F3-54C4AA4F476A}'
        'Interface\{1BFAAC6D-2B1F-4CF9-8DF1-A25DC6C49B55}' 'Interface\{933AA70C-A8B0-46FA-A0AD-9639A5D24625}')
view=$([ "$arch" = x86 ] && echo /reg:32 || echo /reg:64)
if [ "$scope" = user ]; then
  for k in "${copies[@]}"; do
    # The per-user package keeps the 32-bit module's class and interface
    # keys under Wow6432Node itself.
    from="HKCU\\Software\\Classes\\$k"
    case "$arch/$k" in x86/CLSID*|x86/Interface*) from="HKCU\\Software\\Classes\\Wow6432Node\\$k" ;; esac
    "$wine64" reg export "$from" "$(winpath "$work/key.reg")" /y >"$work/reg.log" 2>&1 ||
      fail "cannot export $from: $(cat "$work/reg.log")"
    # reg writes UTF-16.
    iconv -f UTF-16 -t UTF-8 "$work/key.reg" |
      sed -e 's/HKEY_CURRENT_USER\\Software\\Classes\\Wow6432Node/HKEY_LOCAL_MACHINE\\Software\\Classes/' \
          -e 's/HKEY_CURRENT_USER\\Software\\Classes/HKEY_LOCAL_MACHINE\\Software\\Classes/' |
      iconv -f UTF-8 -t UTF-16 >"$work/machine.reg"
    grep -q HKEY_CURRENT_USER <(iconv -f UTF-16 -t UTF-8 "$work/machine.reg") && fail "the copy of $k still names HKCU"
    "$wine64" reg import "$(winpath "$work/machine.reg")" $view >"$work/reg.log" 2>&1 ||
      fail "cannot import $k under HKLM: $(cat "$work/reg.log")"
  done
fi
echo "package-test: creating TESSARN.TessarnCtrl.1 from a $arch client"
"$client" "$script_host" "$(winpath "$root/tests/scripts/lib_info.js")" ||
  fail "the control created by its ProgID did not answer LibGetInfo(0) = [0, \"Tessarn\", \"2.3.21113.0\"]"
if [ "$scope" = user ]; then
  for k in "${copies[@]}"; do "$wine64" reg delete "HKLM\\Software\\Classes\\$k" /f $view >/dev/null 2>&1; done
fi

echo "package-test: uninstalling"
"$wine64" msiexec /x "$(winpath "$package")" /qn || fail "msiexec /x answered $?"
flush
for d in "${dirs[@]}"; do [ ! -e "$d" ] || fail "left behind: $d ($(find "$d" | head -5 | tr '\n' ' '))"; done
for hive in system.reg user.reg; do
  n=$(keys_in $hive)
  [ "$n" = 0 ] || fail "$n keys of the package left in $hive: $(grep -E -i "^\[.*($ids)" "$WINEPREFIX/$hive" | head -5 | tr '\n' ' ')"
done
grep -q -i '^\[Software\\\\Zorv' "$WINEPREFIX/system.reg" && fail "HKLM\\Software\\Zorv is left"

if [ "$scope" = machine ]; then
  no_policies "after uninstalling"
  # Without the browser properties nothing about the browsers is written,
  # and an address that is no address stops the installation before
  # anything is written. (Windows shows or logs the launch condition's
  # message; Wine's installer logs no message text, so the message is
  # checked in the package.)
  "$wine64" msiexec /i "$(winpath "$package")" /qn || fail "msiexec /i without properties answered $?"
  flush
  no_policies "installed without the browser properties"
  "$wine64" msiexec /x "$(winpath "$package")" /qn || fail "msiexec /x answered $?"
  for bad in EXTENSIONUPDATEURL=intranet.example.cz/update.xml FIREFOXEXTENSIONURL='\\server\tessarn.xpi'; do
    "$wine64" msiexec /i "$(winpath "$package")" /qn "$bad" && fail "the package installed with $bad"
    flush
    no_policies "after the installation with $bad was refused"
    [ ! -e "${modules[x64]}" ] || fail "the installation refused for $bad left ${modules[x64]}"
  done
  conditions=$(msiinfo export "$package" LaunchCondition)
  for property in EXTENSIONUPDATEURL FIREFOXEXTENSIONURL; do
    grep -q "$property must be the http" <<<"$conditions" ||
      fail "the package has no message saying what $property must be"
  done
  [ "$failures" != 0 ] ||
    echo "package-test: without the properties no browser policy is written; a bad address is refused with a message"
fi

[ "$failures" = 0 ] && echo "package-test: $(basename "$package") installed, answered and left nothing behind"
[ "$failures" = 0 ]
