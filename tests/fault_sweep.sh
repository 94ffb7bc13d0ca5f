#!/usr/bin/env bash
# Breaks mocftool and mocfedit runs at every system call they make, and
# checks what each broken run leaves: for a small append and a large one (the
# image writer's two ways), and an edit of each size, for each system call
# and each time a thread makes it, one run killed on entry to it and one run
# that sees it fail with EIO (strace -e inject).
# After each: the MOCF is the old bytes or the new ones (the valid file the
# unbroken run makes), status 0 only with the new and 2 only with the old, no
# run hangs, and once the next run on the MOCF is done no temporary file is
# left. Prints the counts; fails if any run was flagged.
#   tests/fault_sweep.sh BUILD_DIR
set -euo pipefail

build="$(cd "${1:?usage: fault_sweep.sh BUILD_DIR}" && pwd)"
tool="$build/mocftool" edit="$build/mocfedit"
command -v strace >/dev/null || { echo "fault_sweep: strace is not installed" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
printf '0x0A\n0x14\n' >products.txt
"$tool" -m base.mocf -d -f products.txt -t CompatProd >/dev/null
head -c 3000 /dev/urandom >small.bin
head -c $((4 << 20)) /dev/urandom >large.bin
cp base.mocf edited.mocf
"$tool" -m edited.mocf -f small.bin -t user >/dev/null

tries=0 old=0 new=0 flagged=0 others=()
flag() { flagged=$((flagged + 1)); echo "FLAGGED: $*" >&2; }

# The calls a run makes: "name count", the count being the most times one
# thread makes it (strace counts each thread's calls apart).
calls() {  # command...
  strace -f -qq -o trace.txt "$@" >/dev/null
  awk '$2 ~ /^[a-z_0-9]+\(/ { name = $2; sub(/\(.*/, "", name); n[$1 " " name]++ }
       END { for (k in n) { split(k, p, " "); if (n[k] > most[p[2]]) most[p[2]] = n[k] }
             for (c in most) print c, most[c] }' trace.txt |
    grep -v -E '^(execve|exit|exit_group|rt_sigreturn) '
}

one() {  # base label fault command... -> checks one broken run and the run after it
  local base="$1" input="$2" fault="$3" status
  shift 3
  rm -rf run && mkdir run && cp "$base" run/m.mocf
  tries=$((tries + 1))
  # Inside the group, the shell's word that the run was killed goes nowhere.
  status=$({
    env ASAN_OPTIONS=detect_leaks=0 timeout 20 strace -f -qq -o /dev/null -e inject="$fault" \
      "$@" >/dev/null 2>&1
    echo $?
  } 2>/dev/null)
  [[ $status =~ ^(0|2|137)$ ]] || others+=("$fault: $status")
  if [ "$status" -eq 124 ]; then
    flag "$input $fault: hung"
  elif cmp -s run/m.mocf "$base"; then
    old=$((old + 1))
    [ "$status" -ne 0 ] || flag "$input $fault: status 0, the MOCF unchanged"
  elif cmp -s run/m.mocf "expected-$input.mocf"; then
    new=$((new + 1))
    [ "$status" -ne 2 ] || flag "$input $fault: status 2, the MOCF replaced"
  else
    flag "$input $fault: status $status, the MOCF is neither the old nor the new one"
  fi
  timeout 20 "$tool" -m run/m.mocf -f products.txt -t user >/dev/null ||
    flag "$input $fault: the next run failed"
  [ "$(ls -A run)" = m.mocf ] || flag "$input $fault: left behind after the next run: $(ls -A run)"
}

sweep() {  # base label command...: each of the command's system calls broken in turn
  local base="$1" input="$2" before=$tries
  shift 2
  # The run strace watches makes the MOCF every broken run is held to.
  rm -rf run && mkdir run && cp "$base" run/m.mocf
  calls "$@" >calls.txt
  cp run/m.mocf "expected-$input.mocf"
  "$build/mocfinfo" --verify "expected-$input.mocf" >/dev/null
  cmp -s "$base" "expected-$input.mocf" && { flag "$input: the unbroken run changed nothing"; return; }
  while read -r name count; do
    for ((k = 1; k <= count; k++)); do
      one "$base" "$input" "$name:signal=SIGKILL:when=$k" "$@"
      one "$base" "$input" "$name:error=EIO:when=$k" "$@"
    done
  done <calls.txt
  echo "$input: $(wc -l <calls.txt) system calls, $((tries - before)) broken runs"
}

for input in small.bin large.bin; do
  sweep base.mocf "$input" "$tool" -m run/m.mocf -f "$input" -t user
done
sweep edited.mocf edit-small "$edit" -m run/m.mocf --replace user:small.bin "-f products.txt -t user"
sweep edited.mocf edit-large "$edit" -m run/m.mocf --add "-f large.bin -t user" --at 4
# A failure where the system cannot even start the program (the loader's
# calls) ends it with some other status; so do failures the C++ runtime
# cannot handle. None of them may touch the MOCF, which the checks above see.
# Some of the failures injected cannot happen (brk and futex never fail
# with EIO; glibc takes brk's answer for an address).
if [ ${#others[@]} -gt 0 ]; then
  echo "statuses other than 0, 2 and 137 (killed), by call: count, call, status"
  printf '%s\n' "${others[@]}" | sed 's/:when=[0-9]*//' | sort | uniq -c | sed 's/^ */  /'
fi
echo "fault sweep: $tries tries, $old left the old MOCF, $new the new one, $flagged flagged"
[ "$flagged" -eq 0 ]
