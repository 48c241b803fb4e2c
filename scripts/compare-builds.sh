#!/usr/bin/env bash
# Builds the modules and the host twice from the same commit, in two fresh
# folders at different paths, and compares the results byte for byte.
# Usage: compare-builds.sh [COMMIT]   (default HEAD)
# Set CCACHE_DISABLE=1 to compile everything afresh in both builds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
commit=$(git -C "$root" rev-parse "${1:-HEAD}")
work=$(mktemp -d "${TMPDIR:-/tmp}/tessarn-compare.XXXXXX")
trap 'for s in "$work/a/src" "$work/b/deeper/src"; do git -C "$root" worktree remove --force "$s" >/dev/null 2>&1 || true; done; rm -rf "$work"; git -C "$root" worktree prune' EXIT
targets=(Tessarn tessarn_host)
for t in a b; do
  # Different depths as well as different names: no path of either may
  # reach the bytes.
  src=$work/$t/src
  [ $t = b ] && src=$work/$t/deeper/src
  mkdir -p "$(dirname "$src")"
  git -C "$root" worktree add --detach "$src" "$commit" >/dev/null
  for arch in x64 x86; do
    cmake -S "$src" -B "$src/build/$arch" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$src/cmake/toolchain-$([ $arch = x64 ] && echo x86_64 || echo i686).cmake" \
      -DTESSARN_ARCH=$arch -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$src/build/$arch" --target "${targets[@]}" >/dev/null
  done
  eval "src_$t=\$src"
done
failures=0
for arch in x64 x86; do
  for f in Tessarn.ocx tessarn-host.exe; do
    if cmp -s "$src_a/build/$arch/$f" "$src_b/build/$arch/$f"; then
      echo "compare-builds: $arch/$f identical ($(sha256sum <"$src_a/build/$arch/$f" | cut -c1-16)...)"
    else
      echo "compare-builds: $arch/$f DIFFERS:"
      cmp -l "$src_a/build/$arch/$f" "$src_b/build/$arch/$f" | head -20
      failures=$((failures + 1))
    fi
  done
done
exit $((failures > 0))
