#!/usr/bin/env bash
# Power cuts, simulated. Runs write a MOCF on power_cut_fs, a FUSE file
# system that forgets what was not flushed; each run is cut once, at one of
# its flushes, name changes and closes (every one in turn), at a random
# request in between, or after it ended, and the file system is mounted
# again on what the disk kept. Runs: a small append, a 4 MiB one, and a
# mocfbuild of four records onto the MOCF. After each cut the MOCF must be
# the old bytes or the new ones (both verified), the new ones when the run
# ended with status 0, and the next run must succeed and leave no
# temporary file. Stops at the first bad cut.
#   tests/power_cut.sh BUILD_DIR [--sabotage dir|file]
# Exit 0 when no cut damaged or lost anything, 1 otherwise. With --sabotage
# the programs skip the flush of the folder or of the file
# (power_cut_nosync.c), and the exit is 0 only when the trial catches it.
# POWER_CUT_SEED repeats a trial; POWER_CUT_RANDOM sets the random cuts per run.
set -euo pipefail
shopt -s nullglob dotglob

usage="usage: power_cut.sh BUILD_DIR [--sabotage dir|file]"
build="$(cd "${1:?$usage}" && pwd)"
examples="$(cd "$(dirname "$0")/../examples" && pwd)"
fs="$build/tests/power_cut_fs"
[ -x "$fs" ] || { echo "power_cut: no $fs (it needs libfuse3-dev)" >&2; exit 1; }
sabotage=
if [ $# -gt 1 ]; then
  [[ $# -eq 3 && $2 == --sabotage && $3 =~ ^(dir|file)$ ]] || { echo "$usage" >&2; exit 1; }
  sabotage=$3
fi
seed=${POWER_CUT_SEED:-$RANDOM}
RANDOM=$seed
start=$SECONDS

work="$(mktemp -d)"
fspid=
cleanup() {
  [ -z "$fspid" ] || kill "$fspid" 2>/dev/null || true
  wait
  fusermount3 -u -z -q "$work/mnt" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/in" "$work/mnt" "$work/disk"
mkfifo "$work/mounted"
cd "$work/in"
m="$work/mnt/m.mocf"

# Mounts the disk; REPORT gets the file system's counts. With "sync N" or
# "request N", the run's Nth sync or request is cut.
mount_disk() {
  "$fs" "$work/disk" "$work/mnt" "$@" >"$work/mounted" 2>"$work/fs.log" &
  fspid=$!
  read -r _ <"$work/mounted" || { echo "power_cut: no mount: $(<"$work/fs.log")" >&2; exit 1; }
}

# The power goes: whatever was not flushed is gone.
cut() {
  kill "$fspid" 2>/dev/null || true
  wait "$fspid" || true
  fspid=
}

bad() {
  cut
  echo "FIRST BAD CUT: $scenario, $*"
  [ -z "$sabotage" ] || { echo "power cut trial: the sabotage was caught"; exit 0; }
  trap - EXIT
  echo "power cut trial: seed $seed; what the disk holds is in $work/disk"
  exit 1
}

# The scenario's run on the MOCF given.
command_on() {
  case $scenario in
    small | large) command=("$build/mocftool" -m "$1" -f "$scenario.bin" -t user) ;;
    build) command=("$build/mocfbuild" -m "$1" records.list) ;;
  esac
}

# One run, cut as asked: "after" cuts once it has ended. The disk holds
# the MOCF alone before and after.
trial() {
  local status files
  cp base.mocf "$work/disk/m.mocf"
  if [ "$1" = after ]; then mount_disk "$work/report"; else mount_disk /dev/null "$@"; fi
  # Inside the group, the shell's word that the run was killed goes nowhere.
  { timeout 60 "${command[@]}" >/dev/null 2>&1 && status=0 || status=$?; } 2>/dev/null
  cut
  cuts=$((cuts + 1))
  mount_disk /dev/null
  if cmp -s "$m" base.mocf; then
    [ "$status" -ne 0 ] || bad "cut $*: the run ended with status 0, yet its record is lost"
    old=$((old + 1))
  elif cmp -s "$m" "$scenario.mocf"; then
    new=$((new + 1))
  else
    bad "cut $* (run status $status): the MOCF is damaged: $(stat -c '%s bytes' "$m" 2>&1)"
  fi
  timeout 60 "$build/mocftool" -m "$m" -f next.txt -t user >/dev/null 2>&1 ||
    bad "cut $*: the next run failed"
  files=("$work"/mnt/*)
  [ "${files[*]}" = "$m" ] || bad "cut $*: left behind after the next run: ${files[*]##*/}"
  cut
}

printf '0x0A\n0x14\n' >products.txt
printf 'next\n' >next.txt
cp "$examples/menu_settings.txt" "$examples/sw_keys.txt" .
head -c 3000 /dev/urandom >small.bin
head -c $((4 << 20)) /dev/urandom >large.bin
head -c $((2 << 20)) /dev/urandom >mid.bin
printf '%s\n' '-f small.bin -t user' '-f menu_settings.txt --type MenuSettings' \
  '--type SwKeys --PartNum 0400-1234 -f sw_keys.txt' '-f mid.bin -t user' >records.list
"$build/mocftool" -m base.mocf -d -f products.txt -t CompatProd >/dev/null
"$build/mocfinfo" --verify base.mocf >/dev/null
# From here on the programs under trial skip the flush.
[ -z "$sabotage" ] || export LD_PRELOAD="$build/tests/libpower_cut_nosync.so" POWER_CUT_NOSYNC="$sabotage"

total=0 created_all=0 direct_all=0
for scenario in small large build; do
  # The new MOCF, made on an ordinary file system.
  cp base.mocf "$scenario.mocf"
  command_on "$scenario.mocf"
  "${command[@]}" >/dev/null
  "$build/mocfinfo" --verify "$scenario.mocf" >/dev/null
  command_on "$m"
  cuts=0 old=0 new=0
  trial after
  read -r syncs requests created direct <"$work/report"
  for ((n = 1; n <= syncs; n++)); do trial sync "$n"; done
  for ((k = 0; k < ${POWER_CUT_RANDOM:-100}; k++)); do trial request $((1 + RANDOM % requests)); done
  echo "$scenario: $cuts cuts ($syncs syncs, $requests requests a run):" \
    "$old left the old MOCF, $new the new one;" \
    "the run created $created named temporary file(s), opened $direct with O_DIRECT"
  total=$((total + cuts)) created_all=$((created_all + created)) direct_all=$((direct_all + direct))
done
# What the programs found on FUSE, and took instead where it lacks something.
[ "$created_all" -eq 0 ] || echo "O_TMPFILE: not supported; named temporary files used"
[ "$direct_all" -eq 0 ] || echo "O_DIRECT: accepted; such writes reach the file system as any other"
[ "$direct_all" -ne 0 ] || echo "O_DIRECT: not used"
cp base.mocf "$work/disk/m.mocf"
mount_disk /dev/null
if flock -n "$m" true; then echo "flock: works (the kernel keeps the locks)"; else echo "flock: fails"; fi
cut
echo "power cut trial: $total cuts in $((SECONDS - start)) s, seed $seed, none damaged or lost a MOCF"
[ -z "$sabotage" ] || { echo "power cut trial: the sabotage ($sabotage) was not caught"; exit 1; }
