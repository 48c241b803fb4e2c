# Shared Wine settings for the build, the tests and the demo (sourced).
# No Mono or Gecko: .NET and HTML are never needed, and asking for them would
# prompt or try the network. No menu builder: it only mirrors Windows
# shortcuts into the Linux desktop's menus, and each prefix's first process
# would start it (a fifth of a second per test).
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}mscoree,mshtml=;winemenubuilder.exe=d"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEARCH=win64
# English unless a test asks for another user-interface language.
export LC_ALL="${LC_ALL:-C.UTF-8}"

# A Linux path as Wine sees it through drive Z:.
winpath() { local p; p=$(readlink -m "$1"); printf 'Z:%s' "${p//\//\\}"; }

# The Wine loader of a bitness. Debian's plain "wine" is the 32-bit loader
# whenever wine32 is installed, and a 32-bit process sees syswow64 where it
# asks for system32: the platform's own programs of the 64-bit side must be
# started with the 64-bit loader.
wine_loader() {
  case "$1" in
    x86) printf '%s' /usr/lib/wine/wine ;;
    *)   printf '%s' /usr/lib/wine/wine64 ;;
  esac
}

# Whether this machine runs 32-bit programs. Some virtual machines' kernels
# are built without IA-32 emulation: every 32-bit executable, the 32-bit
# Wine loader included, then fails with "Exec format error" until
# scripts/setup-i386.sh has registered an emulator for them. The answer is
# kept for the rest of the shell's life.
runs_32bit() {
  if [ -z "${TESSARN_RUNS_32BIT:-}" ]; then
    if /usr/lib/wine/wine --version >/dev/null 2>&1; then TESSARN_RUNS_32BIT=yes; else TESSARN_RUNS_32BIT=no; fi
    export TESSARN_RUNS_32BIT
  fi
  [ "$TESSARN_RUNS_32BIT" = yes ]
}

# regsvr32 of the module's own bitness.
regsvr32_for() {
  case "$1" in
    x86) printf '%s' 'C:\windows\syswow64\regsvr32.exe' ;;
    *)   printf '%s' 'C:\windows\system32\regsvr32.exe' ;;
  esac
}
