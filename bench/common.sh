# Sourced by the bench scripts: a release build of the three programs in
# build-bench/ ($tool, $info, $builder) and the timing helpers they share.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release \
  -DMOCF_BUILD_BENCH=ON -DMOCF_BUILD_TESTS=OFF >/dev/null
cmake --build "$root/build-bench" --target mocftool mocfinfo mocfbuild -j"$(nproc)" >/dev/null
tool="$root/build-bench/mocftool"
info="$root/build-bench/mocfinfo"
builder="$root/build-bench/mocfbuild"

# program NAME: builds one more program into build-bench/ and prints its
# path; a bench that needs it exits 1 when it cannot be built.
program() {
  cmake --build "$root/build-bench" --target "$1" -j"$(nproc)" >/dev/null || {
    echo "FAIL: could not build $1 in $root/build-bench" >&2
    exit 1
  }
  echo "$root/build-bench/$1"
}

now() { date +%s.%N; }
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
since() { awk -v a="$(now)" -v b="$1" 'BEGIN { print a - b }'; }

# seconds COMMAND...: how long it took, its output dropped; status 1 (an
# invalid file, files that differ) is an answer, not a failure.
seconds() {
  local t0
  t0=$(now)
  "$@" >/dev/null || [ $? -eq 1 ]
  since "$t0"
}

# pick_hash FILE...: sets hash_cmd to the faster of openssl dgst -sha1 and
# sha1sum here, the better of two tries each (the first may find the files
# still being written out).
pick_hash() {
  local h t best=999999
  hash_cmd=""
  for h in "openssl dgst -sha1" sha1sum; do
    command -v "${h%% *}" >/dev/null || continue
    t=$( (seconds $h "$@"; seconds $h "$@") | sort -g | head -1)
    if awk -v a="$t" -v c="$best" 'BEGIN { exit !(a < c) }'; then hash_cmd="$h" best="$t"; fi
  done
}

# A command, its peak memory in KiB left in peak.kb. Peak memory needs GNU
# time; nothing is installed for it.
if [ -x /usr/bin/time ]; then
  timed() { /usr/bin/time -f %M -o peak.kb "$@"; }
else
  timed() { "$@"; }
fi
