#!/usr/bin/env bash
# Runs a Linux-side test driver against the bridge host in a throwaway copy
# of the template prefix, as wine-run.sh does for Windows test programs:
#   run-host-test.sh TEMPLATE ARCH DRIVER [ARGS...]
# The driver finds in its environment WINEPREFIX, TESSARN_LOADER (the Wine
# loader of ARCH), WINE64, TESSARN_FILES_DIR and TESSARN_FILES.
#   TESSARN_DISPLAY=1  the whole run under a private Xvfb display
set -uo pipefail
if [ "${TESSARN_DISPLAY:-}" = 1 ] && [ -z "${TESSARN_IN_XVFB:-}" ]; then
  exec env TESSARN_IN_XVFB=1 xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi
here=$(cd "$(dirname "$0")" && pwd)
scripts=$(cd "$here/../../scripts" && pwd)
. "$scripts/wine-env.sh"
. "$scripts/clone-prefix.sh"
template=$1 arch=$2; shift 2

if [ "$arch" = x86 ] && ! runs_32bit; then
  echo "run-host-test: SKIPPED: this machine's kernel cannot run 32-bit programs"
  exit "$TESSARN_SKIP_CODE"
fi
if [ ! -f "$template/.tessarn-ready" ]; then
  echo "run-host-test: no booted template prefix at $template" >&2
  exit 1
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/tessarn-host-test.XXXXXX")
export WINEPREFIX="$work/prefix"
clone_prefix "$template" "$WINEPREFIX"
mkdir -p "$work/files"
export TESSARN_FILES_DIR="$work/files"
export TESSARN_FILES="$(winpath "$work/files")"
export TESSARN_LOADER="$(wine_loader "$arch")"
export WINE64="$(wine_loader x64)"
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  if [ "${TESSARN_KEEP_PREFIX:-}" = 1 ]; then echo "run-host-test: prefix kept at $work" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT
"$@"
