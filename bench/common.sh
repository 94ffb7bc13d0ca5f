# Sourced by the bench scripts: a release build of the three programs in
# build-bench/ ($tool, $info, $builder) and the timing helpers they share.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release \
  -DMOCF_BUILD_BENCH=ON -DMOCF_BUILD_TESTS=OFF >/dev/null
cmake --build "$root/build-bench" --target mocftool mocfinfo mocfbuild -j"$(nproc)" >/dev/null
tool="$root/build-bench/mocftool"
info="$root/build-bench/mocfinfo"
builder="$root/build-bench/mocfbuild"

now() { date +%s.%N; }
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
since() { awk -v a="$(now)" -v b="$1" 'BEGIN { print a - b }'; }
