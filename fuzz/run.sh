#!/usr/bin/env bash
# A fuzzing campaign: every target for SECONDS seconds each, two at a time,
# from its corpus; whatever new coverage it finds is merged back into
# fuzz/corpus/<target> (the signature target's seeds are made for the run,
# and what it finds goes with them). Crashing inputs are kept in fuzz/findings/.
#   fuzz/run.sh SECONDS [TARGET...]     (default: every target)
set -euo pipefail
[ $# -ge 1 ] && [[ $1 =~ ^[0-9]+$ ]] || { echo "usage: fuzz/run.sh SECONDS [TARGET...]" >&2; exit 2; }
seconds=$1
shift
source "$(dirname "$0")/common.sh"
[ $# -eq 0 ] || fuzz_targets=("$@")
build="$fuzz_root/build-fuzz"
build_fuzz "$build"
findings="$fuzz_root/fuzz/findings"
mkdir -p "$findings"

campaign() {
  local target=$1 new="$fuzz_work/new-$1" scratch="$fuzz_work/tmp-$1" corpus
  corpus=$(corpus_of "$target")
  mkdir -p "$new" "$scratch"
  local status=0
  TMPDIR="$scratch" "$build/fuzz/${target}_fuzz" -max_total_time="$seconds" -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$findings/$target-" "$new" "$corpus" \
    >"$fuzz_work/$target.log" 2>&1 || status=$?
  TMPDIR="$scratch" "$build/fuzz/${target}_fuzz" -merge=1 "$corpus" "$new" \
    >>"$fuzz_work/$target.log" 2>&1 || true
  local runs
  runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$fuzz_work/$target.log" | awk '{print $2}')
  local cov
  cov=$(grep -oE 'cov: [0-9]+' "$fuzz_work/$target.log" | tail -1)
  echo "$target: ${runs:-?} runs in ${seconds} s, $cov, corpus $(ls "$corpus" | wc -l) files, status $status"
  [ $status -eq 0 ] || { grep -E 'ERROR|SUMMARY' "$fuzz_work/$target.log" | head -5; return 1; }
}

failed=0
for ((i = 0; i < ${#fuzz_targets[@]}; i += 2)); do
  pids=()
  for target in "${fuzz_targets[@]:i:2}"; do
    campaign "$target" &
    pids+=($!)
  done
  for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
done
exit $failed
