#!/usr/bin/env bash
# Installs everything the build and the tests need, idempotently.
# 32-bit Wine (wine32:i386) must be installed in the same apt transaction as
# wine64: installing it later removes wine64. When the distribution's i386
# security index is inconsistent, the plain install fails; we then retry with
# a private sources file derived from this machine's own, minus the security
# stanza.
set -euo pipefail

need_pkgs=(
  cmake make ninja-build pkg-config
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  gcc-mingw-w64-x86-64-posix gcc-mingw-w64-i686-posix
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 mingw-w64-tools
  googletest xvfb xauth openssl python3
  clang-14 libclang-rt-14-dev
  chromium firefox-esr
  wixl msitools osslsigncode
  nodejs
)
wine_pkgs=(wine wine64 wine32:i386 libwine-dev)

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

have_all() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || return 1
  done
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi

if ! have_all "${need_pkgs[@]}"; then
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${need_pkgs[@]}" >/dev/null
fi

if ! have_all "${wine_pkgs[@]}"; then
  $SUDO apt-get update -qq || true
  if ! $SUDO apt-get install -y -qq --no-install-recommends "${wine_pkgs[@]}"; then
    echo "setup: plain wine32 install failed; retrying without the security suite" >&2
    alt=/var/lib/tessarn-apt
    $SUDO mkdir -p "$alt/sources.list.d" "$alt/lists/partial"
    src=""
    for f in /etc/apt/sources.list.d/*.sources; do
      if grep -qi '^Suites:.*\b[a-z]*\b' "$f" && grep -qi debian "$f"; then src="$f"; break; fi
    done
    if [ -z "$src" ]; then
      echo "setup: no deb822 Debian sources file found" >&2; exit 1
    fi
    # Paragraph mode: keep each stanza that does not mention security.
    awk 'BEGIN { RS=""; ORS="\n\n" } !/security/' "$src" | $SUDO tee "$alt/sources.list.d/debian-nosec.sources" >/dev/null
    opts=(-o Dir::Etc::sourcelist=/dev/null
          -o Dir::Etc::sourceparts="$alt/sources.list.d"
          -o Dir::State::Lists="$alt/lists")
    $SUDO apt-get "${opts[@]}" update -qq
    $SUDO apt-get "${opts[@]}" install -y -qq --no-install-recommends "${wine_pkgs[@]}"
  fi
fi

if ! have_all "${wine_pkgs[@]}"; then
  echo "setup: 32-bit and 64-bit Wine are not both installed; the suite cannot run both modules" >&2
  exit 1
fi
# The 32-bit module is tested on every machine: where the kernel cannot run
# 32-bit programs, an emulator is brought in and registered.
"$(dirname "$0")/setup-i386.sh"
echo "setup: all packages present"
