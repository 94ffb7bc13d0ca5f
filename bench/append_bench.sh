#!/usr/bin/env bash
# Times the tool's two large-file appends beside the floor that standard
# tools set for the same work, on the same files, in the same run:
#   floor = cat OLD INPUT > NEW, then one SHA-1 pass over OLD and one over NEW
#           (openssl dgst or sha1sum, whichever is faster here).
# Scenario 1: a 512 MiB user file appended to a MOCF holding only its
#             compatible-products record.
# Scenario 2: a 16 MiB user file appended to the 512 MiB MOCF of scenario 1.
# Prints medians of RUNS runs (default 5), the ratios, and the tool's peak
# resident memory against the size of the MOCF it writes. Then the cost per
# MiB of scenario 1 across input sizes (SIZES, in MiB, default
# "64 256 512 1536"), and, when BASELINE names another build of the tool,
# small appends (a 100-byte user file onto a 40-byte MOCF, SMALL runs each,
# default 2000) by both tools side by side. Never fails for being slow.
# Needs about 3 GiB of free space in TMPDIR, 3 x the largest size for SIZES.
set -euo pipefail

runs="${RUNS:-5}"
source "$(dirname "$0")/common.sh"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
head -c $((512 << 20)) /dev/urandom >big.bin
head -c $((16 << 20)) /dev/urandom >mid.bin
printf '0x1A2B\n' >products.txt
"$tool" -m base.mocf -f products.txt -t CompatProd -d
cp base.mocf large.mocf
"$tool" -m large.mocf -f big.bin -t user

hasher() {  # the faster of the two standard SHA-1 tools on this machine
  local best="" best_t=999999 t0 t1 h
  for h in "openssl dgst -sha1" sha1sum; do
    command -v "${h%% *}" >/dev/null || continue
    t0=$(now); $h big.bin >/dev/null; t1=$(now)
    if awk -v a="$t1" -v b="$t0" -v c="$best_t" 'BEGIN { exit !(a - b < c) }'; then
      best="$h"; best_t=$(awk -v a="$t1" -v b="$t0" 'BEGIN { print a - b }')
    fi
  done
  echo "$best"
}
hash_cmd="$(hasher)"

floor_once() {  # old input
  local t0 t1
  t0=$(now)
  cat "$1" "$2" >floor.out
  $hash_cmd "$1" floor.out >/dev/null
  t1=$(now)
  awk -v a="$t1" -v b="$t0" 'BEGIN { print a - b }'
  rm -f floor.out
}

tool_once() {  # old input -> prints seconds; leaves peak KB in peak.kb
  local t0 t1
  cp "$1" run.mocf
  sync run.mocf  # the copy's own writeback is not the tool's to wait for
  t0=$(now)
  /usr/bin/time -f %M -o peak.kb "$tool" -m run.mocf -f "$2" -t user
  t1=$(now)
  awk -v a="$t1" -v b="$t0" 'BEGIN { print a - b }'
}

scenario() {  # name old input
  local name="$1" old="$2" input="$3" i ft=() tt=() peaks=()
  for ((i = 0; i < runs; i++)); do
    ft+=("$(floor_once "$old" "$input")")
    tt+=("$(tool_once "$old" "$input")")
    peaks+=("$(cat peak.kb)")
  done
  local f t p size
  f=$(printf '%s\n' "${ft[@]}" | median)
  t=$(printf '%s\n' "${tt[@]}" | median)
  p=$(printf '%s\n' "${peaks[@]}" | sort -n | tail -1)
  size=$(stat -c %s run.mocf)
  awk -v n="$name" -v f="$f" -v t="$t" -v p="$p" -v s="$size" 'BEGIN {
    printf "%s: tool %.2f s, floor %.2f s, ratio %.2f; peak RSS %.0f MiB = %.2f x the %.0f MiB MOCF\n",
           n, t, f, t / f, p / 1024, p * 1024 / s, s / 1048576 }'
  printf '  runs in order, tool: %s; floor: %s\n' "$(printf '%.2f ' "${tt[@]}")" "$(printf '%.2f ' "${ft[@]}")"
}

echo "runs: $runs; floor hashes with: $hash_cmd"
scenario "scenario 1 (512 MiB user file onto a small MOCF)" base.mocf big.bin
scenario "scenario 2 (16 MiB user file onto the 512 MiB MOCF)" large.mocf mid.bin
rm -f large.mocf mid.bin

series() {  # scenario 1 at each size: median seconds and seconds per MiB
  local mib i tt t
  for mib in ${SIZES-64 256 512 1536}; do
    rm -f big.bin run.mocf
    head -c $((mib << 20)) /dev/urandom >big.bin
    tt=()
    for ((i = 0; i < runs; i++)); do tt+=("$(tool_once base.mocf big.bin)"); done
    t=$(printf '%s\n' "${tt[@]}" | median)
    awk -v m="$mib" -v t="$t" 'BEGIN { printf "size %5d MiB: tool %.2f s, %.2f ms per MiB\n", m, t, t * 1000 / m }'
  done
  rm -f big.bin run.mocf
}

small() {  # tool: SMALL appends of a 100-byte file, each onto a fresh copy of base.mocf
  local t0 t1 i       # (64 bytes: the product list alone); "true" times the copies alone
  t0=$(now)
  for ((i = 0; i < ${SMALL:-2000}; i++)); do
    cp base.mocf small.mocf
    "$1" -m small.mocf -f small.bin -t user
  done
  t1=$(now)
  awk -v a="$t1" -v b="$t0" 'BEGIN { print a - b }'
}

series
if [ -n "${BASELINE:-}" ]; then
  head -c 100 /dev/urandom >small.bin
  bt=(); nt=(); ct=()
  for ((i = 0; i < runs; i++)); do
    bt+=("$(small "$BASELINE")"); nt+=("$(small "$tool")"); ct+=("$(small true)")
  done
  c=$(printf '%s\n' "${ct[@]}" | median)
  b=$(printf '%s\n' "${bt[@]}" | median | awk -v c="$c" '{ print $1 - c }')
  n=$(printf '%s\n' "${nt[@]}" | median | awk -v c="$c" '{ print $1 - c }')
  awk -v b="$b" -v n="$n" -v k="${SMALL:-2000}" 'BEGIN {
    printf "small appends (%d runs each): tool %.3f ms, baseline %.3f ms per append, ratio %.2f\n",
           k, n * 1000 / k, b * 1000 / k, n / b }'
fi
