#!/usr/bin/env bash
# Times mocfsign on one large MOCF (a product list and one user file of MIB
# MiB, default 1024) beside the floor that a standard tool sets for the same
# reading, on the same file, in the same run:
#   floor     openssl dgst -sha256 MOCF (the digest a signature signs)
#   sign      mocfsign -m MOCF --key KEY --cert CERT -o SIG (the MOCF is
#             judged too, its own SHA-1 digest included)
#   verify    mocfsign --verify -m MOCF --sig SIG --trust CA.pem
# with an ECDSA P-256 key and certificate that openssl makes here. The
# three alternate, RUNS times (default 3); prints their medians, the ratios
# against the target of 1.10 and the peak resident memory against the
# target of 64 MiB. Fails when a signature is not made or does not verify;
# never for being slow. Needs about 2 x MIB free in TMPDIR (/dev/shm keeps
# the disk out of the figures).
set -euo pipefail

runs="${RUNS:-3}"
mib="${MIB:-1024}"
source "$(dirname "$0")/common.sh"

sign="$(program mocfsign)"
target_ratio=1.10
target_mib=64

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

ec=(-newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes)
openssl req -x509 "${ec[@]}" -keyout ca.key -out ca.pem -days 2 -subj "/CN=bench CA" \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=keyCertSign 2>/dev/null
openssl req -new "${ec[@]}" -keyout signer.key -out signer.csr -subj "/CN=bench signer" 2>/dev/null
printf 'keyUsage=digitalSignature\nextendedKeyUsage=codeSigning\n' >signer.ext
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 1 \
  -extfile signer.ext -out signer.pem 2>/dev/null

printf '0x1A2B\n' >products.txt
head -c $((mib << 20)) /dev/urandom >u.bin
"$tool" -m big.mocf -d -f products.txt -t CompatProd >/dev/null
"$tool" -m big.mocf -f u.bin -t user >/dev/null
rm -f u.bin

echo "runs: $runs; a $(($(stat -c %s big.mocf) >> 20)) MiB MOCF; the floor: openssl dgst -sha256"
[ -x /usr/bin/time ] || echo "no /usr/bin/time here: peak memory is not measured"

# mocfsign ARGS...: prints seconds; its peak KB left in peak.kb. A failure fails the bench.
mocfsign_once() {
  local t0 t
  rm -f peak.kb
  t0=$(now)
  timed "$sign" "$@" >sign.out 2>sign.err || {
    cat sign.err >&2
    echo "FAIL: mocfsign $* failed" >&2
    exit 1
  }
  t=$(since "$t0")
  echo "$t"
}

in_order() { printf '%.2f ' "$@" | sed 's/ $//'; }
met() { awk -v a="$1" -v b="$2" 'BEGIN { print (a <= b ? "met" : "missed") }'; }

report() {  # label times floor-times peaks (each as "a b c")
  local label="$1" e f r p
  local -a et ft pk
  read -ra et <<<"$2"
  read -ra ft <<<"$3"
  read -ra pk <<<"$4"
  e=$(printf '%s\n' "${et[@]}" | median)
  f=$(printf '%s\n' "${ft[@]}" | median)
  r=$(awk -v e="$e" -v f="$f" 'BEGIN { printf "%.2f", e / f }')
  printf '%s: mocfsign %.2f s, openssl dgst -sha256 %.2f s, ratio %s (target %s: %s)' \
    "$label" "$e" "$f" "$r" "$target_ratio" "$(met "$r" "$target_ratio")"
  if [ ${#pk[@]} -gt 0 ]; then
    p=$(printf '%s\n' "${pk[@]}" | sort -n | tail -1)
    p=$(awk -v p="$p" 'BEGIN { printf "%.1f", p / 1024 }')
    printf '; peak RSS %s MiB (target %d MiB: %s)' "$p" "$target_mib" "$(met "$p" "$target_mib")"
  fi
  printf '\n  runs in order, mocfsign: %s; openssl dgst -sha256: %s\n' "$(in_order "${et[@]}")" \
    "$(in_order "${ft[@]}")"
}

ft=() st=() vt=() sp=() vp=()
for ((i = 0; i < runs; i++)); do
  ft+=("$(seconds openssl dgst -sha256 big.mocf)")
  rm -f big.sig
  st+=("$(mocfsign_once -m big.mocf --key signer.key --cert signer.pem -o big.sig)")
  [ -f peak.kb ] && sp+=("$(tail -1 peak.kb)")
  vt+=("$(mocfsign_once --verify -m big.mocf --sig big.sig --trust ca.pem)")
  [ -f peak.kb ] && vp+=("$(tail -1 peak.kb)")
done
openssl cms -verify -binary -inform DER -in big.sig -content big.mocf -CAfile ca.pem -purpose any \
  -out /dev/null 2>/dev/null || {
  echo "FAIL: openssl cms -verify refuses mocfsign's signature" >&2
  exit 1
}
report "sign" "${st[*]}" "${ft[*]}" "${sp[*]}"
report "verify" "${vt[*]}" "${ft[*]}" "${vp[*]}"
