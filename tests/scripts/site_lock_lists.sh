#!/usr/bin/env bash
# Writes the site lock's lists and switches into the test prefix with the
# 64-bit reg (the machine's lists are read in the 64-bit view by both
# modules). Arguments NAME=VALUE, list entries separated by commas:
#   policy-deny=  policy-allow=  machine=  user=   (REG_MULTI_SZ)
#   prompt=0|1  nonbrowser=0|1                     (policy REG_DWORD)
#   logdir=files   the directory log into the test's folder
set -euo pipefail
reg=("${WINE64:?}" reg add)
policy='HKLM\Software\Policies\Zorv\Tessarn'
settings_machine='HKLM\Software\Zorv\Tessarn'
settings_user='HKCU\Software\Zorv\Tessarn'
multi() { "${reg[@]}" "$1" /v "$2" /t REG_MULTI_SZ /d "${3//,/\\0}" /f >/dev/null; }
dword() { "${reg[@]}" "$1" /v "$2" /t REG_DWORD /d "$3" /f >/dev/null; }
for arg in "$@"; do
  name=${arg%%=*} value=${arg#*=}
  case "$name" in
    policy-deny) multi "$policy" DeniedOrigins "$value" ;;
    policy-allow) multi "$policy" AllowedOrigins "$value" ;;
    machine) multi "$settings_machine" AllowedOrigins "$value" ;;
    user) multi "$settings_user" AllowedOrigins "$value" ;;
    prompt) dword "$policy" Prompt "$value" ;;
    nonbrowser) dword "$policy" AllowNonBrowserHosts "$value" ;;
    logdir) "${reg[@]}" "$settings_user" /v LogDir /d "${TESSARN_FILES:?}" /f >/dev/null ;;
    *) echo "site_lock_lists: unknown setting $name" >&2; exit 2 ;;
  esac
done
