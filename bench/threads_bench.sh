#!/usr/bin/env bash
# Times whole builds through the C API on one thread and on several at once
# (bench/threads_bench.cpp): THREADS sets of inputs (default 2) of FILES user
# files (default 3) of KIB KiB (default 1024) each, built one after another
# and by one thread per MOCF at once, RUNS times each (default 11), each round
# building every MOCF REPEAT times (default 20). Prints the medians and the
# ratio threaded / serial. Fails only if a call fails or a MOCF built on the
# threads differs from the one built alone; never for being slow. The inputs
# go in BENCH_DIR (default /dev/shm, else TMPDIR). Builds into build-bench/
# at the repository root.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-bench"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DMOCF_BUILD_BENCH=ON -DMOCF_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target threads_bench -j"$(nproc)" >/dev/null

args=(-n "${THREADS:-2}" -r "${RUNS:-11}" -k "${REPEAT:-20}" -f "${FILES:-3}" -s "${KIB:-1024}")
[ -n "${BENCH_DIR:-}" ] && args+=(-d "$BENCH_DIR")
echo "cores: $(nproc); load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
"$build/bench/threads_bench" "${args[@]}"
