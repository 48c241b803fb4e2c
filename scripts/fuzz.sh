#!/usr/bin/env bash
# The long robustness runs, with their counts:
#  1. the platform-free text helpers, fuzzed natively with libFuzzer under
#     AddressSanitizer and UndefinedBehaviorSanitizer;
#  2. a seeded mutation run through the control under Wine, for both modules
#     (certificate decoding, CertGetInfo on damaged certificates, the
#     CRYPT_STRING_* conversions, the time text).
#   bash scripts/fuzz.sh [executions per fuzz target] [mutated calls per target]
# (defaults 2,100,000 and 20,000). New interesting inputs are merged into
# fuzz/corpus/<target>; a finding stops the run with libFuzzer's report and
# a crash-* file in build/fuzz.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-2100000}
mutations=${2:-20000}
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
out=$root/build/fuzz
total=0
report=$out/report.txt
: >"$report"
for source in "$root"/fuzz/*_fuzzer.cpp; do
  fuzzer=$(basename "$source" .cpp)
  corpus=$root/fuzz/corpus/$fuzzer
  work=$out/work/$fuzzer
  rm -rf "$work" && mkdir -p "$work" "$corpus"
  log=$out/$fuzzer.log
  echo "fuzz: $fuzzer, $runs executions"
  (cd "$out" && "./$fuzzer" -runs="$runs" -seed=1 -max_len=4096 -rss_limit_mb=2048 \
     -print_final_stats=1 "$work" "$corpus") >"$log" 2>&1 || {
    tail -40 "$log"; echo "fuzz: $fuzzer found a fault (input kept in $out)" >&2; exit 1; }
  done_runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  total=$((total + done_runs))
  echo "$fuzzer: $done_runs executions, no finding" | tee -a "$report"
  # Keep what covers new ground, minimised, in the repository's corpus.
  (cd "$out" && "./$fuzzer" -merge=1 "$corpus" "$work") >>"$log" 2>&1
done
echo "all fuzz targets: $total executions, no finding" | tee -a "$report"

echo "mutation: $mutations calls per target through the control, both modules"
(cd "$root/build" && TESSARN_MUTATIONS=$mutations ctest -R 'robustness\.mutation' --timeout 7200 -V) \
  >"$out/mutation.log" 2>&1 || { grep -E "Failure|answer|Unhandled" "$out/mutation.log" | head -40; exit 1; }
grep -E "^[0-9]+: [A-Za-z]+: |OK \]" "$out/mutation.log" | tee -a "$report"
echo "mutation run: no finding" | tee -a "$report"
