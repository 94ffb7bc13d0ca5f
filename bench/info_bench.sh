#!/usr/bin/env bash
# Times mocfinfo on one large MOCF (a product list and one user file of MIB
# MiB, default 1536) beside what standard tools take for the same reading:
#   --verify  beside  one SHA-1 pass over the file (the faster of openssl
#                     dgst and sha1sum here)
#   --unpack  beside  cp of the file plus that SHA-1 pass
# The four alternate, RUNS times (default 5); prints their medians and the
# ratios. Then the peak resident memory of every mode: the listing, --json,
# --verify, --extract, --record and --unpack. Fails only if the unpacked
# folder does not rebuild the MOCF byte for byte. Never fails for being slow.
# Needs about 3 x MIB free in TMPDIR.
set -euo pipefail

runs="${RUNS:-5}"
mib="${MIB:-1536}"
source "$(dirname "$0")/common.sh"


work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"


printf '0x1A2B\n' >products.txt
head -c $((mib << 20)) /dev/urandom >u.bin
"$tool" -m big.mocf -d -f products.txt -t CompatProd >/dev/null
"$tool" -m big.mocf -f u.bin -t user >/dev/null
rm -f u.bin

pick_hash big.mocf
echo "runs: $runs; a $(($(stat -c %s big.mocf) >> 20)) MiB MOCF; the hash floor uses: $hash_cmd"

copy_and_hash() { cp big.mocf copy.mocf && $hash_cmd big.mocf && rm -f copy.mocf; }
unpack() { rm -rf out && "$info" --unpack out big.mocf; }

ht=() vt=() ct=() ut=()
for ((i = 0; i < runs; i++)); do
  sync
  ht+=("$(seconds $hash_cmd big.mocf)")
  vt+=("$(seconds "$info" --verify big.mocf)")
  sync
  ct+=("$(seconds copy_and_hash)")
  sync
  ut+=("$(seconds unpack)")
done
"$builder" -d -m rebuilt.mocf out/records.list
cmp big.mocf rebuilt.mocf || {
  echo "FAIL: the unpacked folder does not rebuild the MOCF" >&2
  exit 1
}
rm -rf rebuilt.mocf out
h=$(printf '%s\n' "${ht[@]}" | median)
v=$(printf '%s\n' "${vt[@]}" | median)
c=$(printf '%s\n' "${ct[@]}" | median)
u=$(printf '%s\n' "${ut[@]}" | median)
awk -v h="$h" -v v="$v" -v c="$c" -v u="$u" 'BEGIN {
  printf "--verify %.2f s, hash %.2f s: ratio %.2f\n", v, h, v / h
  printf "--unpack %.2f s, cp + hash %.2f s: ratio %.2f\n", u, c, u / c }'
in_order() { printf '%.2f ' "$@" | sed 's/ $//'; }
printf '  in order, verify: %s; hash: %s; unpack: %s; cp + hash: %s\n' \
  "$(in_order "${vt[@]}")" "$(in_order "${ht[@]}")" "$(in_order "${ut[@]}")" \
  "$(in_order "${ct[@]}")"

[ -x /usr/bin/time ] || { echo "no /usr/bin/time here: peak memory is not measured"; exit 0; }
peak() {  # label command... -> prints the peak resident memory
  local label="$1"
  shift
  /usr/bin/time -f %M -o peak.kb "$@" >/dev/null
  awk -v l="$label" -v p="$(cat peak.kb)" 'BEGIN { printf "  %-22s peak RSS %.1f MiB\n", l, p / 1024 }'
}
echo "peak memory:"
peak "listing" "$info" big.mocf
peak "--json" "$info" --json big.mocf
peak "--verify" "$info" --verify big.mocf
peak "--extract 4 -o FILE" "$info" --extract 4 -o extracted.bin big.mocf
peak "--record 4 -o -" "$info" --record 4 -o - big.mocf
rm -rf out extracted.bin
peak "--unpack" "$info" --unpack out big.mocf
