#!/bin/sh
# Usage: tests/wine_server.sh start | stop
# One Wine server for a whole test session. Left to itself, Wine starts its
# server with the first Windows program and stops it a few seconds after the
# last; a program that starts while the server is coming up or going down
# can fail without a word (seen: status 1 and no output), and programs
# started at once on a new prefix race to make it. So the prefix is made
# first, alone, and then a server that stays up until "stop" is started.
# Wine's own background programs are started at once, on /dev/null: started
# by a test, they would hold its output open and ctest would wait forever.
set -eu
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
server=/usr/lib/wine/wineserver64
[ -x "$server" ] || server=$(command -v wineserver)
export WINEDEBUG=-all
case "${1:-}" in
  start)
    "$wine" wineboot --init </dev/null >/dev/null 2>&1
    "$server" -w
    "$server" -p
    "$wine" cmd /c exit </dev/null >/dev/null 2>&1
    ;;
  stop) "$server" -k || true ;;
  *) echo "usage: $0 start | stop" >&2; exit 2 ;;
esac
