#!/usr/bin/env bash
# Line coverage by the fuzz corpora of every source the targets are built
# from: each target is built with clang's source-based coverage and run once
# over its corpus; llvm-cov prints the table per file.
#   fuzz/coverage.sh            the table
#   fuzz/coverage.sh --lines    also the lines no corpus reaches
set -euo pipefail
source "$(dirname "$0")/common.sh"
for tool in llvm-profdata llvm-cov; do
  command -v $tool >/dev/null || { echo "coverage.sh needs $tool (Debian: llvm)" >&2; exit 2; }
done
build="$fuzz_root/build-fuzz-coverage"
build_fuzz "$build" -DMOCF_FUZZ_COVERAGE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null

objects=()
for target in "${fuzz_targets[@]}"; do
  mkdir -p "$fuzz_work/tmp-$target"
  TMPDIR="$fuzz_work/tmp-$target" LLVM_PROFILE_FILE="$fuzz_work/$target.profraw" \
    "$build/fuzz/${target}_fuzz" -runs=0 "$(corpus_of "$target")" >/dev/null 2>&1
  objects+=(-object "$build/fuzz/${target}_fuzz")
done
llvm-profdata merge -sparse "$fuzz_work"/*.profraw -o "$fuzz_work/all.profdata"
# Every source the targets were built from, which follows the build's own
# choices (platform module, signatures or none), less the targets themselves
# and the system's headers.
skip='^/usr/|/fuzz/'
cd "$fuzz_root"
llvm-cov report "${objects[@]:1}" -instr-profile="$fuzz_work/all.profdata" -ignore-filename-regex="$skip"
if [ "${1:-}" = --lines ]; then
  llvm-cov show "${objects[@]:1}" -instr-profile="$fuzz_work/all.profdata" \
    -show-line-counts-or-regions -ignore-filename-regex="$skip" | grep -E '^ +[0-9]+\| +0\||^/'
fi
