# Shared by the fuzz scripts: the targets, their corpora and how to build
# them. Sourced, not run.
fuzz_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
fuzz_targets=(mocf object text command_line inspect run_list api)

# build_fuzz DIR [cmake options...]: configures and builds every target.
build_fuzz() {
  local dir=$1
  shift
  cmake -S "$fuzz_root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DMOCF_BUILD_FUZZ=ON -DMOCF_BUILD_TESTS=OFF "$@" >/dev/null
  cmake --build "$dir" -j2 --target fuzz
}

# The targets write their inputs as scratch files; each run gets a TMPDIR
# of its own, removed with the rest of the work directory.
fuzz_work=$(mktemp -d)
trap 'rm -rf "$fuzz_work"' EXIT
