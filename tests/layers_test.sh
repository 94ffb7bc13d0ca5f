#!/usr/bin/env bash
# The engine's layers hold: a file under shared/ includes only from its own
# layer and those cmake/Sources.cmake lists before it, always by its folder;
# and every source under shared/ is one that list names.
set -euo pipefail
cd "$(dirname "$0")/.."
layers=$(sed -n 's/^set(MOCF_LAYERS \(.*\))$/\1/p' cmake/Sources.cmake)
[ -n "$layers" ] || { echo "no MOCF_LAYERS in cmake/Sources.cmake"; exit 1; }
rank() { local i=0 l; for l in $layers; do [ "$l" = "$1" ] && { echo $i; return; }; i=$((i + 1)); done; echo 99; }
bad=0
while IFS=: read -r file _ included; do
  from=$(basename "$(dirname "$file")") to=${included%%/*}
  if [[ $included == mocf/* ]]; then
    continue
  elif [[ $included != */* ]]; then
    echo "$file includes \"$included\", which names no layer"; bad=1
  elif [ "$(rank "$to")" -gt "$(rank "$from")" ]; then
    echo "$file ($from) includes \"$included\", a layer above it"; bad=1
  fi
done < <(grep -rHo '#include "[^"]*"' shared | sed 's/#include "\(.*\)"$/\1/' | sed 's/:/::/')
for source in $(cd shared && find . -name '*.cpp' | sed 's|^\./||'); do
  name=$(basename "$source")
  [[ $name == Platform*.cpp ]] && continue
  grep -q "[( ]$name\b" cmake/Sources.cmake || { echo "shared/$source is not in cmake/Sources.cmake"; bad=1; }
done
exit $bad
