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
# One test more than the machine has cores: a test's Wine processes spend
# part of their time waiting on each other and on their server, and a third
# test on two cores fills those waits (the machine was idle for a fifth of
# the run with one test per core, for under a fiftieth with one more).
ctest --output-on-failure -j"$(( $(nproc) + 1 ))" "$@"
