#!/usr/bin/env bash
# Line coverage of the format library, the inspector and the command line by
# the fuzz corpora: every target is built with clang's source-based coverage
# and run once over its corpus; llvm-cov prints the table per file.
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
sources=("$fuzz_root"/shared/*.cpp "$fuzz_root"/shared/sha1/*.cpp "$fuzz_root"/mocfinfo/*.cpp
  "$fuzz_root"/CommandLine.cpp "$fuzz_root"/Usage.cpp)
# main.cpp is not in any target, nor the platform module the build leaves out.
filtered=()
for source in "${sources[@]}"; do
  case $source in */main.cpp | */PlatformPortable.cpp | */PlatformWindows.cpp) ;; *) filtered+=("$source") ;; esac
done
cd "$fuzz_root"
llvm-cov report "${objects[@]:1}" -instr-profile="$fuzz_work/all.profdata" "${filtered[@]}"
if [ "${1:-}" = --lines ]; then
  llvm-cov show "${objects[@]:1}" -instr-profile="$fuzz_work/all.profdata" \
    -show-line-counts-or-regions "${filtered[@]}" | grep -E '^ +[0-9]+\| +0\||^/'
fi
