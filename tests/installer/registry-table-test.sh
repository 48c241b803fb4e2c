#!/usr/bin/env bash
# Reads the Registry table of both packages (msiinfo export): every row has
# an explicit root (HKCU for the per-user package, HKLM for the machine's;
# never HKMU or an invalid number, which Windows Installer would write
# nowhere), and both packages register the very same class keys and values.
# Usage: registry-table-test.sh PACKAGE_DIR
set -uo pipefail
dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "registry-table-test: FAIL: $*" >&2; failures=$((failures + 1)); }

declare -A want_root=([user]=1 [machine]=2)
for scope in user machine; do
  msi=$dir/tessarn-$scope.msi
  [ -f "$msi" ] || { fail "$msi is missing"; continue; }
  # Rows: Registry, Root, Key, Name, Value, Component (three header lines).
  msiinfo export "$msi" Registry | tail -n +4 | tr -d '\r' >"$work/$scope"
  rows=$(wc -l <"$work/$scope")
  [ "$rows" -gt 0 ] || fail "$scope: no Registry rows"
  bad=$(awk -F'\t' -v r="${want_root[$scope]}" '$2 != r' "$work/$scope")
  [ -z "$bad" ] || fail "$scope: rows with a root other than ${want_root[$scope]}: $bad"
  grep -qi 'HKMU' "$work/$scope" && fail "$scope: a key names HKMU"
  # The class registration: key, name and value, without the root (the
  # per-user package names the 32-bit view's Wow6432Node folder itself).
  awk -F'\t' '$3 ~ /^Software\\Classes\\/ {sub(/^Software\\Classes\\Wow6432Node\\/, "Software\\Classes\\", $3); print $3 "\t" $4 "\t" $5 "\t" $6}' "$work/$scope" | sort >"$work/$scope.classes"
  echo "registry-table-test: $scope: $rows rows, all with root ${want_root[$scope]}"
done
if [ -s "$work/user.classes" ]; then
  diff "$work/user.classes" "$work/machine.classes" >"$work/diff" ||
    fail "the two packages register different class entries: $(head -5 "$work/diff")"
  # Both modules, each with its own file and type library platform.
  for platform in win64 win32; do
    grep -q "TypeLib\\\\{9E552F82-8C9F-463B-83F3-54C4AA4F476A}\\\\1.0\\\\0\\\\$platform" "$work/user.classes" ||
      fail "no $platform type library entry"
  done
fi
# The machine's allowed origins, and nowhere else.
grep -q $'\tSOFTWARE\\\\Zorv\\\\Tessarn\tAllowedOrigins\t\[~\]\[ALLOWEDORIGINS\]\[~\]\t' "$work/machine" 2>/dev/null ||
  fail "the machine package does not write ALLOWEDORIGINS as a multi-string"
grep -q 'AllowedOrigins' "$work/user" 2>/dev/null && fail "the per-user package writes AllowedOrigins"
[ "$failures" = 0 ]
