#!/usr/bin/env bash
# Loads the bash completion and checks its candidates for a few command
# lines, in a scratch folder holding known files.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=../completion/mocftool.bash
source "$root/completion/mocftool.bash"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir folder
touch a.mocf b.txt

failures=0
# The candidates for a command line whose last word is being completed.
expect() {
  local line="$1" want="$2" got
  # Quotes hold a word together, as in bash's own split of the line.
  eval "COMP_WORDS=($line)"
  [[ $line == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  "_${COMP_WORDS[0]}" || true  # compgen fails when nothing matches
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//')
  [ "$got" = "$want" ] && return
  echo "FAIL: '$line' gives '$got', expected '$want'" >&2
  failures=$((failures + 1))
}

expect "mocftool -" "--PartNum --tag --type -d -f -m -t"
expect "mocftool --t" "--tag --type"
expect "mocftool -m a.mocf -t " "CompatProd CustomDefaults object user"
expect "mocftool -t C" "CompatProd CustomDefaults"
expect "mocftool --type " "MenuSettings SwKeys binary"
expect "mocftool --type u" ""
expect "mocftool -f " "a.mocf b.txt folder"
expect "mocftool -m a" "a.mocf"
expect "mocftool --tag " ""
expect "mocfinfo --" "--diff --extract --help --json --record --unpack --verify --version"
expect "mocfinfo --verify " "a.mocf b.txt folder"
expect "mocfinfo --unpack " "folder"
expect "mocfinfo --record 3 -o b" "b.txt"
expect "mocfinfo --extract " ""
expect "mocfbuild -" "--help --version -d -m"
expect "mocfbuild -m a" "a.mocf"
expect "mocfbuild -d -m a.mocf b" "b.txt"
expect "mocfedit --re" "--remove --replace"
expect "mocfedit --remove 3 -o b" "b.txt"
expect "mocfedit --replace 4 " ""
expect 'mocfedit --add "-f b.txt -t user" --a' "--add --at"
expect 'mocfedit --replace user:b.txt "-f b.txt -t user" --at 5 --n' "--name"
expect 'mocfedit --add "-f b.txt -t user" --set MenuSettings ' ""
expect "mocfedit --unset SwKeys Key --a" "--add"
expect "mocfsign --ve" "--verify --version"
expect "mocfsign --verify -m a.mocf --trust " "a.mocf b.txt folder"
expect "mocfsign -m a.mocf --key b.txt --pass " "env: fd: file: stdin"
expect "mocfsign --signers " ""

[ "$failures" -eq 0 ] && echo "completion: every command line gave its candidates"
