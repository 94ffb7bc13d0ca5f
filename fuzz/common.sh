# Shared by the fuzz scripts: the targets, their corpora and how to build
# them. Sourced, not run.
fuzz_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
fuzz_targets=(mocf object text command_line inspect run_list api sig)

# build_fuzz DIR [cmake options...]: configures and builds every target.
build_fuzz() {
  local dir=$1
  shift
  cmake -S "$fuzz_root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DMOCF_BUILD_FUZZ=ON -DMOCF_BUILD_TESTS=OFF "$@" >/dev/null
  cmake --build "$dir" -j2 --target fuzz
  # A build without libcrypto has no signature target to run.
  grep -q '^MOCF_SIGNING:BOOL=ON$' "$dir/CMakeCache.txt" || drop_target sig
}

drop_target() {
  local kept=() target
  for target in "${fuzz_targets[@]}"; do [ "$target" = "$1" ] || kept+=("$target"); done
  fuzz_targets=("${kept[@]}")
}

# The targets write their inputs as scratch files; each run gets a TMPDIR
# of its own, removed with the rest of the work directory.
fuzz_work=$(mktemp -d)
trap 'rm -rf "$fuzz_work"' EXIT

# corpus_of TARGET: the directory of the target's seeds, fuzz/corpus/TARGET;
# for the signature target, which keeps none in the tree (a signature holds
# keys and times, made afresh), one under the work directory, filled now.
corpus_of() {
  local target=$1 dir="$fuzz_work/seed-$1"
  if [ -d "$fuzz_root/fuzz/corpus/$target" ]; then
    echo "$fuzz_root/fuzz/corpus/$target"
    return
  fi
  [ -d "$dir" ] || { mkdir -p "$dir" && "seed_$target" "$dir"; }
  echo "$dir"
}

# seed_sig DIR: signatures by openssl cms over a few bytes, with and without
# signed attributes, by one signer and by two.
seed_sig() {
  local dir=$1 w="$fuzz_work/sig-pki"
  mkdir -p "$w"
  printf 'a few bytes' >"$w/content"
  for key in ec:P-256 rsa:2048; do
    local name=${key%%:*} opt=(-newkey rsa:2048)
    [ "$name" = ec ] && opt=(-newkey ec -pkeyopt ec_paramgen_curve:P-256)
    openssl req -x509 "${opt[@]}" -nodes -keyout "$w/$name.key" -out "$w/$name.pem" -days 2 \
      -subj "/CN=seed $name" 2>/dev/null
  done
  local sign=(openssl cms -sign -binary -outform DER -in "$w/content")
  "${sign[@]}" -md sha256 -signer "$w/ec.pem" -inkey "$w/ec.key" -out "$dir/ec.sig"
  "${sign[@]}" -md sha384 -noattr -signer "$w/rsa.pem" -inkey "$w/rsa.key" -out "$dir/rsa-noattr.sig"
  "${sign[@]}" -md sha256 -signer "$w/ec.pem" -inkey "$w/ec.key" -signer "$w/rsa.pem" \
    -inkey "$w/rsa.key" -out "$dir/two.sig"
}
