#!/usr/bin/env bash
# Makes sure this machine runs 32-bit programs, so that the 32-bit module is
# tested like the 64-bit one. Where the kernel runs them natively, nothing is
# done. Where it does not (a kernel built without IA-32 emulation answers
# "Exec format error" for every 32-bit program, Wine's 32-bit loader
# included), QEMU's user-mode emulator is installed and registered with the
# kernel's binfmt_misc for i386 ELF programs: the unchanged 32-bit Wine then
# runs under it.
# - The emulator comes from the distribution's backports: the release's own
#   (7.2) takes minutes per Wine process. An apt source entry of our own
#   names the backports suite on the machine's own Debian mirror, and a pin
#   lets apt take only that one package from it.
# - The registration is the kernel's, not the package's (its binfmt helper
#   package would register every architecture and needs systemd): "F" opens
#   the emulator once, at registration, so it also serves Wine's processes
#   whatever their mount namespace.
# - The answer is checked: the 32-bit loader must run, or setup fails. A
#   green run never skips the 32-bit suite.
set -euo pipefail
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
loader32=/usr/lib/wine/wine

runs_32bit_now() { "$loader32" --version >/dev/null 2>&1; }

if runs_32bit_now; then
  echo "setup-i386: 32-bit programs run on this machine"
  exit 0
fi

. /etc/os-release
codename=${VERSION_CODENAME:?setup-i386: /etc/os-release names no release}
backports="$codename-backports"
emulator_pkg=qemu-user
source_file=/etc/apt/sources.list.d/tessarn-backports.sources
pin_file=/etc/apt/preferences.d/tessarn-backports

# The machine's own Debian archive address: the URIs of the stanza that
# carries the release itself (not its security suite), in a deb822 file or
# a one-line sources.list.
debian_uris() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v rel="$codename" 'BEGIN { RS=""; FS="\n" }
      /(^|\n)Suites:[^\n]*/ {
        uris=""; hit=0
        for (i = 1; i <= NF; i++) {
          if ($i ~ /^URIs:/) { uris=$i; sub(/^URIs:[ \t]*/, "", uris) }
          if ($i ~ /^Suites:/) { n = split($i, s, /[ \t]+/); for (j = 2; j <= n; j++) if (s[j] == rel) hit=1 }
        }
        if (hit && uris != "" && uris !~ /security/) { print uris; exit }
      }' "$f"
  done | head -n 1
  local list
  for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$list" ] || continue
    awk -v rel="$codename" '$1 == "deb" && $0 !~ /security/ {
        for (i = 2; i <= NF; i++) if ($i == rel) { u = $(i - 1); if (u !~ /^\[/) { print u; exit } } }' "$list"
  done | head -n 1
}

emulator() {
  local p
  for p in /usr/bin/qemu-i386-static /usr/bin/qemu-i386; do
    [ -x "$p" ] && { printf '%s' "$p"; return 0; }
  done
  return 1
}

# An emulator new enough to run Wine in reasonable time (major version 8 or
# later; the release's 7.2 is far too slow).
emulator_recent() {
  local e v
  e=$(emulator) || return 1
  v=$("$e" --version 2>/dev/null | sed -n 's/.*version \([0-9]*\)\..*/\1/p' | head -n 1)
  [ -n "$v" ] && [ "$v" -ge 8 ]
}

if ! emulator_recent; then
  uris=$(debian_uris)
  if [ -z "$uris" ]; then
    echo "setup-i386: this machine runs no 32-bit program and no Debian $codename archive is configured to bring $emulator_pkg from" >&2
    exit 1
  fi
  uris=$(printf '%s\n' $uris | head -n 1)
  keyring=/usr/share/keyrings/debian-archive-keyring.gpg
  printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: %s\n' \
    "$uris" "$backports" "$keyring" | $SUDO tee "$source_file.new" >/dev/null
  $SUDO mv "$source_file.new" "$source_file"
  # Only the emulator comes from backports; nothing else may.
  printf 'Package: %s\nPin: release n=%s\nPin-Priority: 990\n\nPackage: *\nPin: release n=%s\nPin-Priority: -1\n' \
    "$emulator_pkg" "$backports" "$backports" | $SUDO tee "$pin_file" >/dev/null
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "$emulator_pkg" >/dev/null
  if ! emulator_recent; then
    echo "setup-i386: $emulator_pkg from $backports did not bring a recent qemu-i386 ($(emulator || echo none))" >&2
    exit 1
  fi
fi
qemu=$(emulator)

binfmt=/proc/sys/fs/binfmt_misc
if [ ! -e "$binfmt/register" ]; then
  $SUDO mount -t binfmt_misc binfmt_misc "$binfmt" || {
    echo "setup-i386: binfmt_misc cannot be mounted: this machine cannot run 32-bit programs" >&2; exit 1; }
fi
# An entry of the name that points elsewhere or is disabled is replaced.
entry="$binfmt/tessarn-i386"
if [ -e "$entry" ] && ! { grep -qx enabled "$entry" && grep -qx "interpreter $qemu" "$entry"; }; then
  echo -1 | $SUDO tee "$entry" >/dev/null
fi
if [ ! -e "$entry" ]; then
  # i386 ELF executables and position-independent ones (e_type 2 or 3,
  # e_machine 3).
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  printf '%s' ":tessarn-i386:M::$magic:$mask:$qemu:F" | $SUDO tee "$binfmt/register" >/dev/null
fi

if ! runs_32bit_now; then
  echo "setup-i386: $qemu is registered for i386 programs, but the 32-bit Wine loader still does not run:" >&2
  "$loader32" --version >&2 || true
  exit 1
fi
echo "setup-i386: 32-bit programs run through $qemu"
