#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz (clang, ASan + UBSan) and runs
# each for RUNS inputs, starting from its seeds in tests/fuzz/seeds/<target>.
# Each target stops at its first finding, whose input lands in
# build/fuzz/findings; the script then fails.
#   tools/fuzz.sh [RUNS] [TARGET...]      (RUNS defaults to 20000)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20000}
shift || true

cmake --preset fuzz >/dev/null
cmake --build build/fuzz -j2 --target fuzz_targets >/dev/null

mkdir -p build/fuzz/findings
status=0
while read -r name program; do
  [[ -n "$name" ]] || continue
  if [[ $# -gt 0 && " $* " != *" $name "* ]]; then continue; fi
  # The corpus grows in the build tree; the committed seeds are only read.
  corpus=build/fuzz/corpus/$name
  mkdir -p "$corpus"
  seeds=()
  [[ -d tests/fuzz/seeds/$name ]] && seeds=(tests/fuzz/seeds/$name)
  log=build/fuzz/findings/$name.log
  start=$(date +%s%N)
  if "$program" -runs="$runs" -print_final_stats=1 -artifact_prefix=build/fuzz/findings/$name- \
      "$corpus" "${seeds[@]}" >"$log" 2>&1; then
    elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
    executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "$name: $executed runs in $((elapsed / 1000)).$(printf %03d $((elapsed % 1000))) s," \
      "$(( executed * 1000 / (elapsed > 0 ? elapsed : 1) )) exec/s, no finding"
  else
    echo "$name: FINDING (see $log)" >&2
    grep -E 'ERROR|property failed|runtime error|Test unit written' "$log" | head -5 >&2 || true
    status=1
  fi
done <build/fuzz/tests/fuzz/targets.txt
exit $status
