#!/usr/bin/env bash
# Times mocfbuild beside the floor that standard tools set for the same work
# and beside the mocftool runs it stands for, on the same files, in the same
# run. The scenario: a list of a product list and 8 user files of 64 MiB.
#   build = mocfbuild -d -m OUT LIST
#   floor = cat of the inputs into one file, then one SHA-1 pass over it
#           (openssl dgst or sha1sum, whichever is faster here); it does not
#           flush, the tools do
#   flushed floor = the same, with the file flushed to disk (sync FILE)
#           after the cat, as the build must before it replaces the MOCF:
#           where the disk takes longer to flush the image than the hash
#           takes to read it, this, not the floor, is what the build can reach
#   runs  = one mocftool run per line of LIST, giving the same file
# The three alternate, RUNS times (default 5); prints their medians, the
# ratios, the build's peak resident memory, and fails if the build's output
# and the runs' output are not the same bytes. Then the build's cost per MiB
# of output across sizes (SIZES, in MiB of user files, default
# "64 256 512 1536", each split over 8 equal files), and lists of many tiny
# user files (RECORDS, default "50000 100000" records, the product list
# included). Never fails for being slow.
# Needs about 2 x the largest SIZES free in TMPDIR (3 GiB by default), and
# one small file per record there (about 400 MiB for 100000).
set -euo pipefail

runs="${RUNS:-5}"
sizes="${SIZES-64 256 512 1536}"
records="${RECORDS-50000 100000}"
source "$(dirname "$0")/common.sh"



work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
printf '0x1A2B\n' >products.txt


inputs() {  # MiB: 8 user files u1.bin..u8.bin of MiB/8 each, and list.txt naming them
  local mib="$1" i
  rm -f u?.bin
  printf -- '-f products.txt -t CompatProd\n' >list.txt
  for ((i = 1; i <= 8; i++)); do
    head -c $(((mib << 20) / 8)) /dev/urandom >"u$i.bin"
    printf -- '-f u%d.bin -t user\n' "$i" >>list.txt
  done
}

hasher() {  # the faster of the two standard SHA-1 tools on this machine
  local best="" best_t=999999 t0 t h
  cat u?.bin >floor.out
  for h in "openssl dgst -sha1" sha1sum; do
    command -v "${h%% *}" >/dev/null || continue
    t0=$(now); $h floor.out >/dev/null; t=$(since "$t0")
    if awk -v a="$t" -v c="$best_t" 'BEGIN { exit !(a < c) }'; then
      best="$h"; best_t="$t"
    fi
  done
  rm -f floor.out
  echo "$best"
}

build_once() {  # list -> prints seconds; leaves build.mocf, and peak KB in peak.kb
  local t0 t
  rm -f build.mocf peak.kb
  sync
  t0=$(now)
  # Standard error is a file, so no progress is drawn into the timing.
  timed "$builder" -d -m build.mocf "$1" 2>build.err || {
    cat build.err >&2
    echo "FAIL: mocfbuild -d -m build.mocf $1 failed" >&2
    exit 1
  }
  t=$(since "$t0")
  echo "$t"
}

floor_once() {  # [sync]: prints seconds
  local t0 t
  # A disk still busy with the last run's writes would slow whichever ran next.
  sync
  t0=$(now)
  cat products.txt u?.bin >floor.out
  [ "${1:-}" != sync ] || sync floor.out
  $hash_cmd floor.out >/dev/null
  t=$(since "$t0")
  rm -f floor.out
  echo "$t"
}

runs_once() {  # prints seconds; leaves runs.mocf, made by one mocftool run per line
  local t0 t line first=-d words
  rm -f runs.mocf
  t0=$(now)
  while IFS= read -r line; do
    read -ra words <<<"$line"
    "$tool" -m runs.mocf "${words[@]}" $first >/dev/null || {
      echo "FAIL: mocftool -m runs.mocf $line $first failed" >&2
      exit 1
    }
    first=
  done <list.txt
  t=$(since "$t0")
  echo "$t"
}

inputs 512
hash_cmd="$(hasher)"
echo "runs: $runs; floor hashes with: $hash_cmd"
[ -x /usr/bin/time ] || echo "no /usr/bin/time here: peak memory is not measured"

bt=() ft=() st=() rt=() peaks=()
for ((i = 0; i < runs; i++)); do
  ft+=("$(floor_once)")
  st+=("$(floor_once sync)")
  bt+=("$(build_once list.txt)")
  [ -f peak.kb ] && peaks+=("$(cat peak.kb)")
  rt+=("$(runs_once)")
  if [ "$i" -eq 0 ]; then
    cmp build.mocf runs.mocf || {
      echo "FAIL: mocfbuild and the mocftool runs wrote different files" >&2
      exit 1
    }
  fi
  rm -f runs.mocf
done
size=$(stat -c %s build.mocf)
rm -f build.mocf
b=$(printf '%s\n' "${bt[@]}" | median)
f=$(printf '%s\n' "${ft[@]}" | median)
fs=$(printf '%s\n' "${st[@]}" | median)
r=$(printf '%s\n' "${rt[@]}" | median)
awk -v b="$b" -v f="$f" -v fs="$fs" -v r="$r" -v s="$size" 'BEGIN {
  printf "8 x 64 MiB user files, a %.0f MiB MOCF: build %.2f s, floor %.2f s, flushed floor %.2f s, mocftool runs %.2f s\n",
         s / 1048576, b, f, fs, r
  printf "  ratio build/floor %.2f, build/flushed floor %.2f, runs/build %.2f; build and runs wrote the same bytes\n",
         b / f, b / fs, r / b }'
in_order() { printf '%.2f ' "$@" | sed 's/ $//'; }
printf '  runs in order, build: %s; floor: %s; flushed floor: %s; mocftool runs: %s\n' \
  "$(in_order "${bt[@]}")" "$(in_order "${ft[@]}")" "$(in_order "${st[@]}")" "$(in_order "${rt[@]}")"
if [ ${#peaks[@]} -gt 0 ]; then
  p=$(printf '%s\n' "${peaks[@]}" | sort -n | tail -1)
  awk -v p="$p" -v s="$size" 'BEGIN {
    printf "  build peak RSS %.1f MiB = %.3f x the MOCF\n", p / 1024, p * 1024 / s }'
fi

series() {  # the build at each size, and the flushed floor: medians, ms per MiB of output
  local mib i tt ss t f size
  for mib in $sizes; do
    inputs "$mib"
    tt=() ss=()
    for ((i = 0; i < runs; i++)); do
      tt+=("$(build_once list.txt)")
      ss+=("$(floor_once sync)")
    done
    size=$(stat -c %s build.mocf)
    rm -f build.mocf
    t=$(printf '%s\n' "${tt[@]}" | median)
    f=$(printf '%s\n' "${ss[@]}" | median)
    awk -v m="$mib" -v t="$t" -v f="$f" -v s="$size" 'BEGIN {
      printf "size %5d MiB: build %.2f s, %.2f ms per MiB of output; flushed floor %.2f ms per MiB\n",
             m, t, t * 1000 * 1048576 / s, f * 1000 * 1048576 / s }'
  done
  rm -f u?.bin
}

many() {  # records: a product list and records - 1 user files of 16 bytes each
  local n i tt t top=0 size p list
  for n in $records; do [ "$n" -gt "$top" ] && top=$n; done
  [ "$top" -ge 2 ] || return 0
  mkdir many
  cp products.txt many/
  # One file cut into pieces: s00000, s00001, ..., distinct bare names.
  head -c $(((top - 1) * 16)) /dev/urandom >many.bin
  split -b 16 -a "${#top}" -d many.bin many/s
  rm -f many.bin
  for n in $records; do
    [ "$n" -ge 2 ] || continue
    list=many/list$n.txt
    awk -v k=$((n - 1)) -v w="${#top}" 'BEGIN {
      print "-f products.txt -t CompatProd"
      for (i = 0; i < k; i++) printf("-f s%0" w "d -t user\n", i) }' >"$list"
    tt=() p=
    for ((i = 0; i < runs; i++)); do
      tt+=("$(build_once "$list")")
      [ -f peak.kb ] && p=$(cat peak.kb)
    done
    t=$(printf '%s\n' "${tt[@]}" | median)
    size=$(stat -c %s build.mocf)
    # Every record landed: the version, the hash and the list's records.
    "$info" build.mocf | awk -v want=$((n + 2)) -v f="$list" 'NR == 1 && $4 != want {
      printf "FAIL: %s built %s records, expected %d\n", f, $4, want > "/dev/stderr"; exit 1 }'
    rm -f build.mocf
    awk -v n="$n" -v t="$t" -v s="$size" -v p="$p" 'BEGIN {
      printf "%6d records (%.1f MiB MOCF): build %.2f s, %.1f us per record", n, s / 1048576, t, t * 1e6 / n
      if (p != "") printf ", peak RSS %.1f MiB", p / 1024
      printf "\n" }'
  done
  rm -rf many
}

series
many
