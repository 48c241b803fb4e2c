#!/usr/bin/env bash
# Builds, runs the benchmark for each module (with the default log
# settings, with the temporary-directory log at TRACE, and in a process
# that loaded with "LogDir" set), the handle probe and the bridge
# benchmark, and writes BENCHMARKS.md.
# Usage: scripts/benchmark.sh [x86|x64 ...]   (default: both)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wine-env.sh"
"$root/scripts/setup.sh" >/dev/null
"$root/scripts/build.sh" >/dev/null
archs=("$@")
[ ${#archs[@]} -gt 0 ] || archs=(x86 x64)
# The raw output stays in the build tree, so that the report can be written
# again (tests/bench/report.py) without measuring again.
out="$root/build/benchmark"
mkdir -p "$out"
reports=()
run_arch() {
  local arch=$1 b="$root/build/$1"
  export TESSARN_REGISTER="$b/Tessarn.ocx"
  export TESSARN_PKI="Z:${b//\//\\}\\pki"
  echo "benchmark: $arch, default log settings and TRACE" >&2
  TESSARN_FIXTURE= bash "$root/scripts/wine-run.sh" "$root/build/wineprefix" "$arch" \
    "$b/tests/bench/benchmark.exe" --mode default > "$out/$arch.txt"
  echo "benchmark: $arch, LogDir set" >&2
  TESSARN_FIXTURE="mkdir -p \"\$WINEPREFIX/drive_c/tessarn-logs\" && \"\$WINE64\" reg add 'HKCU\\Software\\Zorv\\Tessarn' /v LogDir /d 'C:\\tessarn-logs' /f >/dev/null" \
    bash "$root/scripts/wine-run.sh" "$root/build/wineprefix" "$arch" \
    "$b/tests/bench/benchmark.exe" --mode logdir >> "$out/$arch.txt"
  echo "benchmark: $arch, RawSign with a key of a key storage provider" >&2
  # Beside the key storage double and the module's copy in tests/ksp, with
  # the RSA-2048 key's certificate linked to it, as the key tests run.
  local loader=WINE64
  [ "$arch" = x86 ] && loader=WINE32
  TESSARN_REGISTER="$b/tests/ksp/Tessarn.ocx" TESSARN_PROGRAM_OVERRIDES="ncrypt=n" \
  TESSARN_FIXTURE="WINEDEBUG=-all \"\$$loader\" '$(winpath "$b/tests/ksp/ksp_store.exe")' 'ksp:ksprsa2048:Microsoft Software Key Storage Provider:ksprsa2048'" \
    bash "$root/scripts/wine-run.sh" "$root/build/wineprefix" "$arch" \
    "$b/tests/ksp/ksp_benchmark.exe" --mode ksp >> "$out/$arch.txt"
  echo "benchmark: $arch, handle probe" >&2
  TESSARN_REGISTER= TESSARN_FIXTURE= bash "$root/scripts/wine-run.sh" "$root/build/wineprefix" "$arch" \
    "$b/tests/bench/handle_probe.exe" >> "$out/$arch.txt"
}
# The modules run side by side, each in its own prefix and process: every
# ratio compares a method with its baseline in the same process and run.
# (On a machine whose kernel runs no 32-bit program, the 32-bit module runs
# under the emulator that scripts/setup.sh registered.)
pids=()
for arch in "${archs[@]}"; do
  run_arch "$arch" &
  pids+=($!)
  reports+=("$arch=$out/$arch.txt")
done
failed=0
for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
if [ "$failed" = 1 ]; then
  echo "benchmark: a run failed; BENCHMARKS.md was not written" >&2
  exit 1
fi
# The bridge: a page's calls in headless Chromium through the extension and
# the host, against the same calls in process, and the first call with the
# host's start. One module after the other, once the runs above are done:
# each owns a browser, an Xvfb and both cores.
for arch in "${archs[@]}"; do
  echo "benchmark: $arch, the bridge in Chromium" >&2
  xvfb-run -a -s "-screen 0 1024x768x24" python3 "$root/tests/bench/bridge_bench.py" --browser chromium \
    --arch "$arch" --source "$root" --build "$root/build/$arch" --template "$root/build/wineprefix" \
    --pki "$root/build/$arch/pki" >> "$out/$arch.txt" || {
      echo "benchmark: the bridge run of $arch failed; BENCHMARKS.md was not written" >&2; exit 1; }
done
python3 "$root/tests/bench/report.py" "$root/BENCHMARKS.md" "bash scripts/benchmark.sh ${archs[*]}" "${reports[@]}"
echo "benchmark: wrote $root/BENCHMARKS.md" >&2
