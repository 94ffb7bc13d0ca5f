#!/usr/bin/env bash
# Assembles build/example.mocf from the sample inputs in this folder, one
# run of the tool per record, printing each command before it runs; builds
# the same MOCF again with mocfbuild from example.list into
# build/example-built.mocf, fails unless the two files are identical, then
# lists what they hold.
set -euo pipefail
cd "$(dirname "$0")"

# A program sits at build/NAME, or in its own folder at build/NAME/NAME.
program() {
  if [ -f "$1/$2" ] && [ -x "$1/$2" ]; then
    echo "$1/$2"
  else
    echo "$1/$2/$2"
  fi
}

tool=$(program ../build mocftool)
builder=$(program ../build mocfbuild)
mocf=../build/example.mocf
built=../build/example-built.mocf

run() {
  echo "+ $*"
  "$@"
}

# Names are stored as typed, so user files are given without a directory.
run "$tool" -m "$mocf" -f products.txt -t CompatProd -d
run "$tool" -m "$mocf" -f welcome.txt -t user
run "$tool" -m "$mocf" -f firmware.obj -t object
run "$tool" -m "$mocf" -f menu_settings.txt --type MenuSettings
run "$tool" -m "$mocf" -f sw_keys.txt --type SwKeys --PartNum 0400-1234
run "$tool" -m "$mocf" -f custom_defaults.txt -t CustomDefaults

# The same records in one run, from the list.
echo
run "$builder" -d -m "$built" example.list
if ! cmp "$mocf" "$built"; then
  echo "FAIL: mocfbuild built $built, which differs from $mocf" >&2
  exit 1
fi
echo "$mocf and $built are identical"

# What was built, named as from the repository's top.
cd ..
echo
run "$(program build mocfinfo)" build/example.mocf
