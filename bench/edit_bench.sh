#!/usr/bin/env bash
# Times mocfedit on one large MOCF beside the floor that standard tools set
# for the same work, on the same file, in the same run:
#   flushed floor = cat OLD > NEW, sync NEW (an fsync of NEW, as the edit
#                   must flush its result before it renames it over the
#                   MOCF), then one SHA-1 pass over OLD and one over NEW, in
#                   one run of the faster of openssl dgst -sha1 and sha1sum
#                   here (the edit checks the old digest and writes a new one)
# The MOCF: a product list, a user file of SIZE_MIB MiB (default 1536) and a
# small user file, small.txt, last.
# Scenario 1: mocfedit -m run.mocf --replace user:small.txt "-f small2.txt -t user"
# Scenario 2: scenario 1 with --dry-run, beside one SHA-1 pass over the MOCF
#             (it has no floor of its own: it checks the digest and writes
#             nothing); its --json form is run once and must parse.
# Scenario 3: mocfedit -m run.mocf --set MenuSettings Display.Timeout=600, on
#             the same MOCF with a menu settings record (Display.Timeout=300;)
#             appended last.
# Each edit runs on a fresh copy, run.mocf, written out (sync) before the
# clock starts; edits and floors alternate, RUNS times (default 3). Prints
# medians, the ratio to the floor against the target of 1.00, and the peak
# resident memory against the target of 64 MiB. Fails when an edit fails or
# its result is wrong: the edited MOCF must list, digest included, exactly as
# the MOCF mocftool builds with the edit made, the dry run must leave the
# MOCF as it was, and no file may be left beside it. Never fails for being
# slow. Needs about 3 x SIZE_MIB free in TMPDIR.
set -euo pipefail

runs="${RUNS:-3}"
mib="${SIZE_MIB:-1536}"
source "$(dirname "$0")/common.sh"

edit="$(program mocfedit)"
target_ratio=1.00
target_mib=64


work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir ed  # run.mocf alone, so that anything the edit leaves beside it shows

printf '0x1A2B\n' >products.txt
printf 'a few notes\n' >small.txt
printf 'a few notes, written again and a little longer\n' >small2.txt
printf 'Display.Timeout=300;' >ms.txt
printf 'Display.Timeout=600;' >ms600.txt

# How mocfinfo lists FILE, without the file's name: the digest stays, so two
# listings agree only where the records hold the same bytes.
listing() { "$info" "$1" | sed '1s/^[^:]*: //'; }

head -c $((mib << 20)) /dev/urandom >u.bin
"$tool" -m replace.mocf -d -f products.txt -t CompatProd >/dev/null
"$tool" -m replace.mocf -f u.bin -t user >/dev/null
cp replace.mocf expected.mocf
"$tool" -m replace.mocf -f small.txt -t user >/dev/null
# A replace keeps the replaced record's name: small2.txt's bytes as small.txt.
mkdir next
cp small2.txt next/small.txt
(cd next && "$tool" -m ../expected.mocf -f small.txt -t user >/dev/null)
rm -rf next
listing expected.mocf >replace.want
rm -f expected.mocf u.bin

pick_hash replace.mocf
echo "runs: $runs; a $(($(stat -c %s replace.mocf) >> 20)) MiB MOCF; the floor hashes with: $hash_cmd"
[ -x /usr/bin/time ] || echo "no /usr/bin/time here: peak memory is not measured"

floor_once() {  # mocf: prints seconds
  local t0 t
  # A disk still busy with the last run's writes would slow whichever ran next.
  sync
  t0=$(now)
  cat "$1" >floor.out
  sync floor.out
  $hash_cmd "$1" floor.out >/dev/null
  t=$(since "$t0")
  rm -f floor.out
  echo "$t"
}

hash_once() {  # mocf: prints seconds
  sync
  seconds $hash_cmd "$1"
}

edit_once() {  # mocf edit...: prints seconds; leaves ed/run.mocf, and peak KB in peak.kb
  local mocf="$1" t0 t
  shift
  rm -f peak.kb
  cp "$mocf" ed/run.mocf
  sync ed/run.mocf  # the copy's own writeback is not the edit's to wait for
  sync
  t0=$(now)
  # Standard error is a file, so no progress is drawn into the timing.
  timed "$edit" -m ed/run.mocf "$@" >edit.out 2>edit.err || {
    cat edit.err >&2
    echo "FAIL: mocfedit -m run.mocf $* failed" >&2
    exit 1
  }
  t=$(since "$t0")
  if [ "$(ls -A ed)" != run.mocf ]; then
    echo "FAIL: mocfedit -m run.mocf $* left beside it: $(ls -A ed | grep -vx run.mocf | tr '\n' ' ')" >&2
    exit 1
  fi
  echo "$t"
}

check_edited() {  # want edit...: the edited run.mocf lists as want does
  local want="$1"
  shift
  if ! listing ed/run.mocf >got.list || ! cmp -s "$want" got.list; then
    echo "FAIL: mocfedit -m run.mocf $* wrote a MOCF that lists otherwise than mocftool's with the edit made:" >&2
    diff "$want" got.list >&2 || true
    exit 1
  fi
}

check_unchanged() {  # mocf edit...: run.mocf is still the same bytes as mocf
  local mocf="$1"
  shift
  cmp -s "$mocf" ed/run.mocf || {
    echo "FAIL: mocfedit -m run.mocf $* changed the MOCF" >&2
    exit 1
  }
}

in_order() { printf '%.2f ' "$@" | sed 's/ $//'; }
met() { awk -v a="$1" -v b="$2" 'BEGIN { print (a <= b ? "met" : "missed") }'; }

report() {  # label edit-word floor-word edit-times floor-times peaks (as "a b c")
  local label="$1" ew="$2" fw="$3" e f p r
  local -a et ft pk
  read -ra et <<<"$4"
  read -ra ft <<<"$5"
  read -ra pk <<<"$6"
  e=$(printf '%s\n' "${et[@]}" | median)
  f=$(printf '%s\n' "${ft[@]}" | median)
  r=$(awk -v e="$e" -v f="$f" 'BEGIN { printf "%.2f", e / f }')
  awk -v l="$label" -v e="$e" -v f="$f" -v r="$r" -v fw="$fw" 'BEGIN {
    printf "%s: mocfedit %.2f s, %s %.2f s, ratio %.2f", l, e, fw, f, r }'
  [ "$ew" = target ] && printf ' (target %s: %s)' "$target_ratio" "$(met "$r" "$target_ratio")"
  if [ ${#pk[@]} -gt 0 ]; then
    p=$(printf '%s\n' "${pk[@]}" | sort -n | tail -1)
    p=$(awk -v p="$p" 'BEGIN { printf "%.1f", p / 1024 }')
    printf '; peak RSS %s MiB (target %d MiB: %s)' "$p" "$target_mib" "$(met "$p" "$target_mib")"
  fi
  printf '\n  runs in order, mocfedit: %s; %s: %s\n' "$(in_order "${et[@]}")" "$fw" "$(in_order "${ft[@]}")"
}

scenario() {  # label mocf want edit...: alternates the edit with the flushed floor
  local label="$1" mocf="$2" want="$3" i et=() ft=() pk=()
  shift 3
  for ((i = 0; i < runs; i++)); do
    ft+=("$(floor_once "$mocf")")
    et+=("$(edit_once "$mocf" "$@")")
    [ -f peak.kb ] && pk+=("$(tail -1 peak.kb)")
    check_edited "$want" "$@"
    rm -f ed/run.mocf
  done
  report "$label" target "flushed floor" "${et[*]}" "${ft[*]}" "${pk[*]}"
}

dry_run() {  # label mocf edit...: alternates the dry run with one SHA-1 pass
  local label="$1" mocf="$2" i et=() ht=() pk=()
  shift 2
  for ((i = 0; i < runs; i++)); do
    ht+=("$(hash_once "$mocf")")
    et+=("$(edit_once "$mocf" --dry-run "$@")")
    [ -f peak.kb ] && pk+=("$(tail -1 peak.kb)")
    check_unchanged "$mocf" --dry-run "$@"
    rm -f ed/run.mocf
  done
  [ -s edit.out ] || echo "  note: --dry-run printed nothing" >&2
  edit_once "$mocf" --dry-run --json "$@" >/dev/null
  check_unchanged "$mocf" --dry-run --json "$@"
  rm -f ed/run.mocf
  if command -v python3 >/dev/null && ! python3 -m json.tool edit.out >/dev/null; then
    echo "FAIL: mocfedit --dry-run --json printed no JSON:" >&2
    head -c 2000 edit.out >&2
    exit 1
  fi
  report "$label" reference "one SHA-1 pass" "${et[*]}" "${ht[*]}" "${pk[*]}"
}

replace=(--replace user:small.txt "-f small2.txt -t user")
scenario "replace the small user file, last" replace.mocf replace.want "${replace[@]}"
dry_run "--dry-run of that replace" replace.mocf "${replace[@]}"

# The same MOCF with a menu settings record last, and what the --set should make of it.
mv replace.mocf set.mocf
cp set.mocf expected.mocf
"$tool" -m set.mocf -f ms.txt --type MenuSettings >/dev/null
"$tool" -m expected.mocf -f ms600.txt --type MenuSettings >/dev/null
listing expected.mocf >set.want
rm -f expected.mocf
scenario "set a key of the menu settings, last" set.mocf set.want --set MenuSettings Display.Timeout=600
