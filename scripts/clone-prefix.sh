# Sourced: clone_prefix TEMPLATE DEST makes a private copy of a booted prefix.
# The read-only program files are hard links (a prefix is over 1 GB); every
# other file is copied, because Wine rewrites registry hives and .ini files in
# place and must never touch the template.
clone_prefix() {
  local template=$1 dest=$2 f
  cp -al "$template" "$dest"
  while IFS= read -r -d '' f; do
    cp -p "$f" "$f.tmp$$" && mv -f "$f.tmp$$" "$f"
  done < <(find "$dest" -type f ! -iregex '.*\.\(dll\|exe\|drv\|sys\|ocx\|acm\|cpl\|tlb\|ax\|ds\|com\|vxd\|msstyles\|mui\|nls\|ttf\|fon\|manifest\)' -print0)
}
