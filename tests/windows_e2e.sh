#!/usr/bin/env bash
# The Windows programs, run under Wine, against the Linux ones on the same
# inputs: the example MOCF built with LF and with CRLF inputs, in a folder,
# under a name and from an input whose names are not ASCII, is the same
# bytes, and so is mocfedit's edit of it; mocfinfo's listing and JSON are the
# same text, line ends aside; mocfsign.exe, built without signatures,
# refuses each of its modes;
# memory running out ends in the unexpected error, status -1 on Windows. (Statuses, records on
# standard output and concurrent runs: the end-to-end suites, which CI also
# runs against these programs.)
#   tests/windows_e2e.sh LINUX_BUILD WINDOWS_BUILD
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
linux="$(cd "${1:?usage: windows_e2e.sh LINUX_BUILD WINDOWS_BUILD}" && pwd)"
windows="$(cd "${2:?usage: windows_e2e.sh LINUX_BUILD WINDOWS_BUILD}" && pwd)"
wine="$(command -v wine64 || command -v wine)"
export WINEDEBUG=-all

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() { failures=$((failures + 1)); echo "FAIL: $*" >&2; }
# Program NAME of system SYS (linux or windows), run with the rest.
run() {
  local sys="$1" name="$2"
  shift 2
  if [ "$sys" = linux ]; then "$linux/$name" "$@"; else "$root/tests/wine_run.sh" "$windows/$name.exe" "$@"; fi
}

# The example, built from its list, with LF and CRLF inputs. (mocftool.exe
# reads CRLF inputs in the end-to-end suites.)
for ends in lf crlf; do
  dir="$work/$ends/dossier-été"
  mkdir -p "$dir"
  cp -r "$root"/examples/* "$dir"
  mv "$dir/products.txt" "$dir/prodüct.txt"
  sed -i 's/products\.txt/prodüct.txt/' "$dir/example.list"
  if [ "$ends" = crlf ]; then
    for text in example.list prodüct.txt menu_settings.txt sw_keys.txt custom_defaults.txt; do
      sed -i 's/$/\r/' "$dir/$text"
    done
  fi
  for sys in linux windows; do
    (cd "$dir" && run $sys mocfbuild -d -m "$sys-é.mocf" example.list) || fail "$ends: $sys mocfbuild"
  done
  cmp -s "$dir/linux-é.mocf" "$dir/windows-é.mocf" || fail "$ends: the built MOCFs differ"
  for sys in linux windows; do
    (cd "$dir" && run $sys mocfedit -m "$sys-é.mocf" -o "$sys-édité.mocf" --set MenuSettings Lang=de \
      --add "-f prodüct.txt -t user" --at 4 --name notes.txt) || fail "$ends: $sys mocfedit"
  done
  cmp -s "$dir/linux-édité.mocf" "$dir/windows-édité.mocf" || fail "$ends: the edited MOCFs differ"
  for mode in "" --json; do
    a=$(cd "$dir" && run linux mocfinfo $mode linux-é.mocf)
    b=$(cd "$dir" && run windows mocfinfo $mode linux-é.mocf | tr -d '\r')
    [ "$a" = "$b" ] || fail "$ends: mocfinfo $mode lists differently"
  done
done

# mocfsign.exe has no signatures: each of its modes refuses, status 2 and
# the reason, never 0.
for args in "--show x.sig" "--verify -m x.mocf --trust ca.pem" "-m x.mocf --key k.pem --cert c.pem"; do
  # shellcheck disable=SC2086 # args is split into its words
  said=$(run windows mocfsign $args 2>&1 | tr -d '\r'; echo "status ${PIPESTATUS[0]}")
  [[ $said == "mocfsign: this build has no signature support ("*$')\nstatus 2' ]] || fail "mocfsign.exe $args: $said"
done

# Memory running out ends in the unexpected error and nothing written: the
# status is 255 as Linux's shell sees it, -1 as Windows' own cmd sees it.
# mocftool_starved is the tool with an allocator that runs out on demand.
dir="$work/starved"
mkdir -p "$dir"
cd "$dir"
awk 'BEGIN { for (i = 0; i < 800000; i++) print "A=1;" }' >big.txt
cp "$windows/tests/mocftool_starved.exe" .
printf '@set MOCF_STARVE_ABOVE=1000000\r\n@mocftool_starved.exe -m w.mocf -d -f big.txt -t CustomDefaults 2>w.err\r\n@echo [exit %%ERRORLEVEL%%]\r\n' >starved.bat
a=$(MOCF_STARVE_ABOVE=1000000 "$linux/tests/mocftool_starved" -m l.mocf -d -f big.txt -t CustomDefaults 2>l.err ||
  echo "[exit $?]")
b=$({ "$wine" cmd /c starved.bat 2>/dev/null || true; } | tr -d '\r')
[ "$a" = $'Unexpected error\n[exit 255]' ] || fail "out of memory on Linux: $a"
[ "$b" = $'Unexpected error\n[exit -1]' ] || fail "out of memory on Windows: $b"
# Standard error says why, on both systems.
for err in l.err w.err; do
  [ "$(tr -d '\r' <"$err")" = "mocftool: memory ran out; the MOCF is as it was" ] ||
    fail "out of memory: $err says: $(cat "$err")"
done
[ ! -e l.mocf ] && [ ! -e w.mocf ] || fail "a run that ran out of memory left a MOCF"

[ "$failures" -eq 0 ] && echo "windows e2e: the Windows programs under Wine match the Linux ones"
[ "$failures" -eq 0 ]
