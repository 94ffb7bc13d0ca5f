#!/usr/bin/env bash
# Times mocfinfo --diff on two large MOCFs (a product list and one user file
# of MIB MiB, default 1536, whose last byte differs, so that both files are
# read and both user files hashed) beside what standard tools take to hash
# both files: the faster of openssl dgst -sha1 and sha1sum, one file after
# the other. The two alternate, RUNS times (default 5); prints their
# medians, the ratio and the peak resident memory of --diff and of --diff
# --json. Never fails for being slow. Needs about 3 x MIB free in TMPDIR.
set -euo pipefail

runs="${RUNS:-5}"
mib="${MIB:-1536}"
source "$(dirname "$0")/common.sh"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"


printf '0x1A2B\n' >products.txt
head -c $((mib << 20)) /dev/urandom >u.bin
for side in old new; do
  [ $side = new ] && printf 'X' | dd of=u.bin bs=1 seek=$(((mib << 20) - 1)) conv=notrunc status=none
  "$tool" -m $side.mocf -d -f products.txt -t CompatProd >/dev/null
  "$tool" -m $side.mocf -f u.bin -t user >/dev/null
done
rm -f u.bin

pick_hash old.mocf new.mocf
echo "runs: $runs; two $(($(stat -c %s old.mocf) >> 20)) MiB MOCFs; the hash floor uses: $hash_cmd"

"$info" --diff old.mocf new.mocf || true
ht=() dt=()
for ((i = 0; i < runs; i++)); do
  ht+=("$(seconds $hash_cmd old.mocf new.mocf)")
  dt+=("$(seconds "$info" --diff old.mocf new.mocf)")
done
h=$(printf '%s\n' "${ht[@]}" | median)
d=$(printf '%s\n' "${dt[@]}" | median)
awk -v h="$h" -v d="$d" 'BEGIN { printf "--diff %.2f s, hashing both %.2f s: ratio %.2f\n", d, h, d / h }'
in_order() { printf '%.2f ' "$@" | sed 's/ $//'; }
printf '  in order, diff: %s; hash: %s\n' "$(in_order "${dt[@]}")" "$(in_order "${ht[@]}")"

[ -x /usr/bin/time ] || { echo "no /usr/bin/time here: peak memory is not measured"; exit 0; }
for mode in "--diff" "--diff --json"; do
  /usr/bin/time -f %M -o peak.kb "$info" $mode old.mocf new.mocf >/dev/null || true
  awk -v l="$mode" -v p="$(tail -1 peak.kb)" 'BEGIN { printf "  %-14s peak RSS %.1f MiB\n", l, p / 1024 }'
done
