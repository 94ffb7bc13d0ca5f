#!/bin/sh
# Usage: tests/wine_run.sh PROGRAM.exe [ARG...]
# Runs a Windows program under Wine, and starts it again when Wine did not.
# Now and then, more often on a loaded machine, Wine ends a start with a
# status that is not 0 and not a word on standard output or standard error
# (seen in CI: a unit test "failed" in 0.03 s with no output; a run of forty
# at once, and a run of a random case, failed the same way). Every program
# and test here prints something whenever it ends with any status but 0, so
# such an ending is Wine's: the program is started again, at most twice, and
# each restart is noted in the file $MOCF_WINE_RESTARTS names, if any.
# The output is held until the program ends, in one file when standard
# output and standard error go to one place, so that their order is kept.
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
export WINEDEBUG=-all
held=$(mktemp -d) || exit 125
trap 'rm -rf "$held"' EXIT
same=
[ "$(stat -L -c %d:%i /proc/$$/fd/1 2>&1)" = "$(stat -L -c %d:%i /proc/$$/fd/2 2>&1)" ] &&
  same=yes
for try in 1 2 3; do
  if [ -n "$same" ]; then
    "$wine" "$@" >"$held/out" 2>&1
  else
    "$wine" "$@" >"$held/out" 2>"$held/err"
  fi
  status=$?
  if [ "$status" -eq 0 ] || [ -s "$held/out" ] || [ -s "$held/err" ] || [ "$try" -eq 3 ]; then
    break
  fi
  echo "wine_run: $* ended with status $status and no output; started again" \
    >>"${MOCF_WINE_RESTARTS:-/dev/null}"
done
cat "$held/out"
[ -n "$same" ] || cat "$held/err" >&2
exit "$status"
