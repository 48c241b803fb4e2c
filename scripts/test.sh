#!/usr/bin/env bash
# Sets up, builds and runs the whole suite against both modules.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
cd "$root/build"
# Both architectures' suites are gathered here; a missing one is a failure,
# never a half-size pass.
for arch in x64 x86; do
  if [ ! -f "$arch/CTestTestfile.cmake" ]; then
    echo "test: the $arch suite was not built" >&2; exit 1
  fi
done
ctest --output-on-failure -j"$(nproc)" "$@"
