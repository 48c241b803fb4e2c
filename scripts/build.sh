#!/usr/bin/env bash
# Configures and builds both modules, every test program and the template
# Wine prefix into build/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
cmake --build "$root/build"
"$root/scripts/check-module.sh" "$root/build/x64/Tessarn.ocx" "$root/build/x86/Tessarn.ocx"
