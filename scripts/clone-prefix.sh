# Sourced: clone_prefix TEMPLATE DEST makes a private copy of a booted prefix.
# The read-only program files are hard links (a prefix is over 1 GB); every
# other file is copied, because Wine rewrites registry hives and .ini files in
# place and must never touch the template. Folders, links and copies go
# through one tar pipe and the hard links through one cp (a process per file
# cost a quarter of a second per test).
clone_prefix() {
  local template=$1 dest=$2
  local programs='.*\.\(dll\|exe\|drv\|sys\|ocx\|acm\|cpl\|tlb\|ax\|ds\|com\|vxd\|msstyles\|mui\|nls\|ttf\|fon\|manifest\)'
  mkdir -p "$dest"
  (cd "$template" && find . \( -type d -o -type l -o -type f ! -iregex "$programs" \) -print0 |
     tar --null --no-recursion -T - -cf -) | tar -C "$dest" -xpf - || return 1
  (cd "$template" && find . -type f -iregex "$programs" -print0 | xargs -0 -r cp -l --parents -t "$dest")
}

# Registered templates: copies of the template in which regsvr32 has already
# registered one module, so that the many tests that only need the module
# registered do not each start regsvr32 (under emulation a 32-bit process
# takes seconds to start). Each is named by the module's path and content:
# a rebuilt module, or one at another path, never finds a stale copy, and a
# test that finds none registers the module itself.
registered_template_name() {
  local template=$1 module=$2 sum
  sum=$( { readlink -m "$module"; sha256sum < "$module"; } | sha256sum | cut -c1-16)
  printf '%s' "$template-registered/$sum"
}

# The registered template for MODULE, when one is ready (prints its path).
registered_template() {
  local dir
  dir=$(registered_template_name "$1" "$2") || return 1
  [ -f "$dir/.tessarn-ready" ] || return 1
  printf '%s' "$dir"
}
