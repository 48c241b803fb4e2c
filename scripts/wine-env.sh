# Shared Wine settings for the build, the tests and the demo (sourced).
# No Mono or Gecko: .NET and HTML are never needed, and asking for them would
# prompt or try the network.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}mscoree,mshtml="
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEARCH=win64

# A Linux path as Wine sees it through drive Z:.
winpath() { local p; p=$(readlink -m "$1"); printf 'Z:%s' "${p//\//\\}"; }

# regsvr32 of the module's own bitness.
regsvr32_for() {
  case "$1" in
    x86) printf '%s' 'C:\windows\syswow64\regsvr32.exe' ;;
    *)   printf '%s' 'C:\windows\system32\regsvr32.exe' ;;
  esac
}
