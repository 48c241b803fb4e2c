#!/usr/bin/env bash
# Runs one test program in its own throwaway copy of the template prefix.
# CTest calls this as the cross-compiling emulator:
#   wine-run.sh TEMPLATE ARCH PROGRAM [ARGS...]
# Per-test environment:
#   TESSARN_REGISTER   modules to register (regsvr32 of ARCH) before the run
#                      (one module already registered in its registered
#                      template, when the suite made one: clone-prefix.sh)
#   TESSARN_FIXTURE    shell commands run in the prefix before the test
#                      ($WINE64 and $WINE32 name the two loaders)
#   TESSARN_VERIFY     a command run on the Linux side after the test passed,
#                      with the folder the test wrote to ($TESSARN_FILES_DIR;
#                      the test sees it as %TESSARN_FILES%)
#   TESSARN_PROGRAM_OVERRIDES  DLL overrides for the test program only (not
#                      for regsvr32 or the fixture)
#   TESSARN_DRIVER=1   PROGRAM is a Linux-side driver (a script that starts
#                      Windows programs itself): it runs as it is, with the
#                      loader of ARCH in $TESSARN_LOADER and the 64-bit one in
#                      $WINE64
#   TESSARN_DISPLAY=1  run under a private Xvfb display
#   TESSARN_KEEP_PREFIX=1  leave the prefix behind (its path is printed)
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# A display must exist before the prefix's first process starts: Wine
# binds its desktop to the display it finds then. The whole run (the
# registration included) goes under one private Xvfb.
if [ "${TESSARN_DISPLAY:-}" = 1 ] && [ -z "${TESSARN_IN_XVFB:-}" ]; then
  exec env TESSARN_IN_XVFB=1 xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi
. "$here/wine-env.sh"
. "$here/clone-prefix.sh"
template=$1 arch=$2; shift 2

if [ "$arch" = x86 ] && ! runs_32bit; then
  echo "wine-run: this machine cannot run 32-bit programs: run scripts/setup.sh, which brings the emulator that runs them" >&2
  exit 1
fi

if [ ! -f "$template/.tessarn-ready" ]; then
  echo "wine-run: no booted template prefix at $template" >&2
  exit 1
fi
# A test that needs one module registered starts from that module's
# registered template when the suite has made it.
register=${TESSARN_REGISTER:-}
if [ -n "$register" ] && [ "$register" = "${register%% *}" ] &&
   registered=$(registered_template "$template" "$register"); then
  template=$registered
  register=
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/tessarn-test.XXXXXX")
export WINEPREFIX="$work/prefix"
clone_prefix "$template" "$WINEPREFIX"
export TESSARN_TEST_WORK="$work"
mkdir -p "$work/files"
export TESSARN_FILES_DIR="$work/files"
export TESSARN_FILES="$(winpath "$work/files")"

cleanup() {
  if [ "${TESSARN_KEEP_PREFIX:-}" = 1 ]; then
    wineserver -k >/dev/null 2>&1 || true
    echo "wine-run: prefix kept at $work" >&2
    return
  fi
  # The server ends its processes at once but takes most of a second to
  # notice they are gone, while the test's answer is already known: the
  # prefix is taken down behind the test, detached from its output so that
  # the test ends now.
  (wineserver -k; rm -rf "$work") </dev/null >/dev/null 2>&1 &
}
trap cleanup EXIT

# The prefix's server and services outlive every program of the test, and
# CTest waits for every process that holds the test's output: started here,
# away from that output, they no longer hold the test's end back by the
# second they take to go.
"$(wine_loader x64)" cmd.exe /c exit 0 </dev/null >/dev/null 2>&1 || true

if [ -n "$register" ]; then
  for m in $register; do
    if ! "$(wine_loader "$arch")" "$(regsvr32_for "$arch")" /s "$(winpath "$m")"; then
      echo "wine-run: regsvr32 of $m failed" >&2
      exit 1
    fi
  done
fi

if [ -n "${TESSARN_FIXTURE:-}" ]; then
  WINE64=$(wine_loader x64) WINE32=$(wine_loader x86) bash -c "$TESSARN_FIXTURE" || {
    echo "wine-run: the fixture failed" >&2; exit 1; }
fi

prog=$1; shift
# Every program of the suite, the platform's (a Windows path) or a built one,
# runs with the loader of the suite's bitness: the plain "wine" command is
# the 32-bit loader, which a machine without 32-bit support cannot start.
loader=$(wine_loader "$arch")
rc=0
if [ "${TESSARN_DRIVER:-}" = 1 ]; then
  TESSARN_LOADER="$loader" WINE64=$(wine_loader x64) "$prog" "$@" || rc=$?
elif [ -n "${TESSARN_PROGRAM_OVERRIDES:-}" ]; then
  WINEDLLOVERRIDES="$TESSARN_PROGRAM_OVERRIDES;$WINEDLLOVERRIDES" "$loader" "$prog" "$@" || rc=$?
else
  "$loader" "$prog" "$@" || rc=$?
fi
if [ "$rc" = 0 ] && [ -n "${TESSARN_VERIFY:-}" ]; then
  bash -c "$TESSARN_VERIFY" || rc=$?
fi
exit "$rc"
