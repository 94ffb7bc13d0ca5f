#!/usr/bin/env bash
# examples/check-installed.sh PREFIX: builds the examples against the libmocf
# installed under PREFIX, once through CMake's find_package and once through
# pkg-config, and runs both builds on MOCFs made by the programs in build/:
#   DESTDIR=$stage cmake --install build && examples/check-installed.sh "$stage/usr/local"
# What an installed package's user sees: only the installed headers, the
# installed library, and the files that find them.
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 PREFIX" >&2; exit 2; }
prefix=$(cd "$1" && pwd)
cd "$(dirname "$0")"
build=$(cd ../build && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

echo "-- find_package(mocf)"
cmake -S . -B "$work/cmake" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
# A libmocf installed on this machine must not stand in for the one under test.
found=$(sed -n 's/^mocf_DIR:PATH=//p' "$work/cmake/CMakeCache.txt")
[ "$found" = "$prefix/lib/cmake/mocf" ] || fail "find_package(mocf) found $found"
cmake --build "$work/cmake" -j2 >/dev/null

echo "-- pkg-config mocf"
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
[ "$(pkg-config --modversion mocf)" = 1.0.0 ] || fail "pkg-config finds mocf $(pkg-config --modversion mocf)"
mkdir "$work/pc"
strict=(-Wall -Wextra -Wpedantic -Werror)
# shellcheck disable=SC2046  # pkg-config's words are meant to split
cc -std=c11 "${strict[@]}" c/mocf-list.c $(pkg-config --cflags --libs mocf) -o "$work/pc/mocf-list"
# shellcheck disable=SC2046
c++ -std=c++17 "${strict[@]}" cpp/mocf-take.cpp $(pkg-config --cflags --libs mocf) \
  -o "$work/pc/mocf-take"

export LD_LIBRARY_PATH=$prefix/lib
for program in "$work"/{cmake,pc}/mocf-{list,take}; do
  [[ $(ldd "$program") == *"=> $prefix/lib/libmocf.so.1 "* ]] || fail "$program does not load $prefix's libmocf"
done

# A valid MOCF, with a tag that has hex letters in it; the same with one byte
# of a user file's content changed (only the hash can notice); cut short by
# its last byte; cut at half its size.
"$build/mocfbuild" -d -m "$work/good.mocf" example.list
"$build/mocftool" -m "$work/good.mocf" -f firmware.obj --type binary --tag 0x7000ABCD
cp "$work/good.mocf" "$work/altered.mocf"
at=$(grep -m1 -obUaF 'Welcome to' "$work/good.mocf" | cut -d: -f1)
printf 'Z' | dd of="$work/altered.mocf" bs=1 seek="$at" conv=notrunc status=none
size=$(wc -c < "$work/good.mocf")
head -c $((size - 1)) "$work/good.mocf" > "$work/short.mocf"
head -c $((size / 2)) "$work/good.mocf" > "$work/half.mocf"

# status PROGRAM ARGS...: the program's exit status, its output in $work/out
# and $work/err.
status() {
  local code=0
  "$@" > "$work/out" 2> "$work/err" || code=$?
  echo $code
}

# The records mocfinfo --json lists at the top level, as mocf-list prints them.
# mocfinfo's status is the verdict's, checked apart.
expected_listing() {
  { "$build/mocfinfo" --json "$1" || true; } |
    sed -n 's/^  {"index": \([0-9]*\), "offset": [0-9]*, "tag": [0-9]*, "tag_hex": "\(0x[0-9A-F]*\)", "length": \([0-9]*\), "kind": "\([^"]*\)".*/\1 \2 \3 \4/p'
}

for dir in "$work/cmake" "$work/pc"; do
  echo "-- running the examples of $(basename "$dir")"
  for case in good:0 altered:1 short:1 half:1; do
    name=${case%:*} want=${case#*:}
    mocf=$work/$name.mocf
    got=$(status "$dir/mocf-list" "$mocf")
    [ "$got" = "$want" ] || fail "mocf-list gave status $got for $name.mocf, expected $want"
    expected_listing "$mocf" > "$work/listing"
    [ -s "$work/listing" ] || fail "no records in mocfinfo --json's output for $name.mocf"
    diff "$work/listing" "$work/out" || fail "mocf-list's records of $name.mocf differ from mocfinfo's"
    # An invalid MOCF's reason, in mocfinfo's own words.
    [ "$want" = 0 ] || { "$build/mocfinfo" --verify "$mocf" || true; } | diff - "$work/err" ||
      fail "mocf-list's reason for $name.mocf differs from mocfinfo's"
    rm -f "$work/taken"
    got=$(status "$dir/mocf-take" "$mocf" welcome.txt "$work/taken")
    [ "$got" = "$want" ] || fail "mocf-take gave status $got for $name.mocf, expected $want"
    [ "$want" = 1 ] || cmp welcome.txt "$work/taken" || fail "mocf-take did not give back welcome.txt"
  done
  [ "$(status "$dir/mocf-take" "$work/good.mocf" welcome.txt -)" = 0 ] ||
    fail "mocf-take could not write to standard output"
  cmp welcome.txt "$work/out" || fail "mocf-take did not give back welcome.txt on standard output"
  [ "$(status "$dir/mocf-take" "$work/good.mocf" products.txt -)" = 1 ] ||
    fail "mocf-take took a user file the MOCF does not hold"
  for run in "mocf-list $work/missing.mocf" "mocf-take $work/missing.mocf welcome.txt -"; do
    # shellcheck disable=SC2086  # no blanks in $work: mktemp made it
    [ "$(status "$dir"/$run)" = 2 ] || fail "$run: status 2 expected"
    grep -qF "$work/missing.mocf" "$work/err" || fail "$run: no word of the missing MOCF"
    [ "$(status "$dir/${run%% *}")" = 2 ] || fail "${run%% *} without arguments: status 2 expected"
  done
done
echo "-- the installed libmocf serves both examples"
