# bash completion for mocftool, mocfinfo, mocfbuild, mocfedit and mocfsign: option
# names, the type words after -t and --type (each its own: --type takes the
# words -t does not), and file names where a file goes. Installed once per
# program name, so that bash-completion finds it for each.

_mocf_files() {
  local IFS=$'\n'
  COMPREPLY=($(compgen -f -- "$1"))
  compopt -o filenames 2>/dev/null
}

_mocf_words() {
  COMPREPLY=($(compgen -W "$1" -- "$2"))
}

_mocftool() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  case $prev in
    -[mMfF]) _mocf_files "$cur" ;;
    -[tT]) _mocf_words "user CompatProd object CustomDefaults" "$cur" ;;
    --type) _mocf_words "binary SwKeys MenuSettings" "$cur" ;;
    --tag | --PartNum) COMPREPLY=() ;;
    *) _mocf_words "-m -f -t -d --type --tag --PartNum" "$cur" ;;
  esac
}

_mocfinfo() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  case $prev in
    -o) _mocf_files "$cur" ;;
    --extract | --record) COMPREPLY=() ;;
    --unpack)
      COMPREPLY=($(compgen -d -- "$cur"))
      compopt -o filenames 2>/dev/null
      ;;
    *)
      if [[ $cur == -* ]]; then
        _mocf_words "--json --verify --extract --record --unpack --diff -q -o --help --version" "$cur"
      else
        _mocf_files "$cur"
      fi
      ;;
  esac
}

_mocfbuild() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  if [[ $prev == -m ]]; then
    _mocf_files "$cur"
  elif [[ $cur == -* ]]; then
    _mocf_words "-d -m --help --version" "$cur"
  else
    _mocf_files "$cur"
  fi
}

# mocfedit's options take one or two values each (a selector, a quoted run,
# KEY=VALUE), none of which is a file here: the words typed so far say
# whether a value is due, and whether an --add or --replace has its run, so
# that --at and --name may follow.
_mocfedit() {
  local cur=${COMP_WORDS[COMP_CWORD]} i due=0 placing=""
  for ((i = 1; i < COMP_CWORD; i++)); do
    if ((due > 0)); then
      due=$((due - 1))
      continue
    fi
    case ${COMP_WORDS[i]} in
      --add) due=1 placing=yes ;;
      --replace) due=2 placing=yes ;;
      --set | --unset) due=2 placing="" ;;
      --at | --name) due=1 ;;
      --remove | -m | -o) due=1 placing="" ;;
      *) placing="" ;;
    esac
  done
  if ((due > 0)); then
    case ${COMP_WORDS[COMP_CWORD - 1]} in
      -m | -o) _mocf_files "$cur" ;;
      *) COMPREPLY=() ;;
    esac
  else
    _mocf_words "-m -o --dry-run --json --remove --replace --add --set --unset --help --version${placing:+ --at --name}" "$cur"
  fi
}

# mocfsign: a file after each option that takes one, and after --pass the
# sources of a secret, the prefixes left open for the rest to be typed.
_mocfsign() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  case $prev in
    -m | -o | --key | --cert | --chain | --sig | --trust | --show) _mocf_files "$cur" ;;
    --pass)
      _mocf_words "env: file: fd: stdin" "$cur"
      [[ ${COMPREPLY[0]-} != *: ]] || compopt -o nospace 2>/dev/null
      ;;
    --signers) COMPREPLY=() ;;
    *) _mocf_words "-m --key --cert --chain --pass -o --verify --sig --trust --signers --at-signing-time --show --json --help --version" "$cur" ;;
  esac
}

complete -F _mocftool mocftool
complete -F _mocfinfo mocfinfo
complete -F _mocfbuild mocfbuild
complete -F _mocfedit mocfedit
complete -F _mocfsign mocfsign
