#!/usr/bin/env bash
# SHA-1 throughput of the core's two engines beside openssl and sha1sum on
# this machine, all in MB/s (10^6 bytes) of CPU time. Builds into
# build-bench/ at the repository root.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-bench"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DMOCF_BUILD_BENCH=ON -DMOCF_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target sha1_bench -j"$(nproc)" >/dev/null

echo "== core, 1 MiB updates"
# Google Benchmark prints bytes_per_second in 1024-based units.
"$build/bench/sha1_bench" --benchmark_min_time=2 | tee /dev/stderr |
  awk 'match($0, /bytes_per_second=[0-9.]+[kMG]?/) {
         v = substr($0, RSTART + 17, RLENGTH - 17); u = substr(v, length(v))
         f = u == "G" ? 2^30 : u == "M" ? 2^20 : u == "k" ? 2^10 : 1
         split($1, name, "/"); printf "core %s: %.0f MB/s\n", name[2], v * f / 1e6
       }'

echo "== openssl speed -evp sha1, 16 KiB blocks"
if command -v openssl >/dev/null; then
  openssl speed -evp sha1 -bytes 16384 -seconds 3 2>/dev/null |
    awk '/^sha1|^SHA1/ { printf "openssl 16 KiB: %.0f MB/s\n", $NF / 1000 }'
else
  echo "openssl: not installed"
fi

echo "== sha1sum over 512 MiB of random bytes"
data="$(mktemp)"
trap 'rm -f "$data"' EXIT
head -c $((512 << 20)) /dev/urandom >"$data"
sha1sum "$data" >/dev/null  # warm the page cache
TIMEFORMAT='%3U %3S %3R'
times=$( { time sha1sum "$data" >/dev/null; } 2>&1 )
read -r user sys real <<<"$times"
awk -v u="$user" -v s="$sys" -v r="$real" -v n=$((512 << 20)) 'BEGIN {
  printf "sha1sum: %.0f MB/s of CPU time (%.0f MB/s wall)\n", n / (u + s) / 1e6, n / r / 1e6
}'
