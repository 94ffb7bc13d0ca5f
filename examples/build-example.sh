#!/usr/bin/env bash
# Assembles build/example.mocf from the sample inputs in this folder, one
# run of the tool per record, printing each command before it runs, then
# lists what it holds.
set -euo pipefail
cd "$(dirname "$0")"
tool=../build/mocftool
mocf=../build/example.mocf

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

# What was built, named as from the repository's top.
cd ..
echo
run build/mocfinfo/mocfinfo build/example.mocf
