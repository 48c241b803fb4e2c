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
