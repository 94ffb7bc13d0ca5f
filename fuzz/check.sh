#!/usr/bin/env bash
# What CI runs: every target for a fixed number of runs from a fixed seed,
# starting from its corpus. Fails on any finding.
set -euo pipefail
source "$(dirname "$0")/common.sh"
build="$fuzz_root/build-fuzz"
build_fuzz "$build"

declare -A runs=([mocf]=300000 [object]=10000 [text]=100000 [command_line]=1000000 [inspect]=80000
  [run_list]=50000 [api]=200000 [sig]=10000)
# One target's runs; its log and status are read once all have ended.
fuzz_one() {
  local target=$1 corpus="$fuzz_work/$1" status=0
  mkdir -p "$corpus" "$fuzz_work/tmp-$target"
  cp "$(corpus_of "$target")"/* "$corpus"/
  TMPDIR="$fuzz_work/tmp-$target" "$build/fuzz/${target}_fuzz" -runs="${runs[$target]}" -seed=1 \
    -timeout=10 -print_final_stats=1 "$corpus" >"$fuzz_work/$target.log" 2>&1 || status=$?
  echo $status >"$fuzz_work/$target.status"
}
# Each target runs on one core: two at a time on the two of a CI machine.
for target in "${fuzz_targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge 2 ]; do wait -n || true; done
  fuzz_one "$target" &
done
wait
for target in "${fuzz_targets[@]}"; do
  echo "== fuzz $target: ${runs[$target]} runs"
  grep -E '^Done|number_of_executed_units|ERROR|SUMMARY' "$fuzz_work/$target.log" || true
  [ "$(cat "$fuzz_work/$target.status")" -eq 0 ] ||
    { tail -40 "$fuzz_work/$target.log"; echo "fuzz $target: finding"; exit 1; }
done
