#!/usr/bin/env bash
# What CI runs: every target for a fixed number of runs from a fixed seed,
# starting from its corpus. Fails on any finding.
set -euo pipefail
source "$(dirname "$0")/common.sh"
build="$fuzz_root/build-fuzz"
build_fuzz "$build"

declare -A runs=([mocf]=300000 [object]=10000 [text]=100000 [command_line]=1000000 [inspect]=80000
  [run_list]=50000 [api]=200000)
for target in "${fuzz_targets[@]}"; do
  echo "== fuzz $target: ${runs[$target]} runs"
  corpus="$fuzz_work/$target"
  mkdir -p "$corpus" "$fuzz_work/tmp-$target"
  cp "$fuzz_root/fuzz/corpus/$target"/* "$corpus"/
  status=0
  TMPDIR="$fuzz_work/tmp-$target" "$build/fuzz/${target}_fuzz" -runs="${runs[$target]}" -seed=1 \
    -timeout=10 -print_final_stats=1 "$corpus" >"$fuzz_work/$target.log" 2>&1 || status=$?
  grep -E '^Done|number_of_executed_units|ERROR|SUMMARY' "$fuzz_work/$target.log" || true
  [ $status -eq 0 ] || { tail -40 "$fuzz_work/$target.log"; echo "fuzz $target: finding"; exit 1; }
done
