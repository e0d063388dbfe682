#!/usr/bin/env bash
# Proves that the build refuses an include that runs back up: for every room
# and every other room, a file in the first that includes a header of the
# second gets through the preprocessor when the second lies below it, and
# fails with "No such file" when it does not.
# Usage: check_rooms.sh CXX BUILD_DIR SOURCE_DIR
set -u
cxx=$1 build=$2 src=$3
graph="$build/rooms/graph.txt"
[ -s "$graph" ] || { echo "no room graph at $graph"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0 checks=0
rooms=$(cut -d: -f1 "$graph")
while IFS=: read -r room visible; do
  for other in $rooms; do
    [ "$other" = "$room" ] && continue
    header=$(cd "$src" && ls "$other"/*.hpp 2>/dev/null | head -1)
    [ -n "$header" ] || continue
    printf '#include "%s"\n' "$header" > "$work/probe.cpp"
    checks=$((checks + 1))
    if "$cxx" -std=c++20 -E -o /dev/null -I "$build/rooms/$room" "$work/probe.cpp" 2> "$work/err"; then
      if ! echo " $visible " | grep -q " $other "; then
        echo "FAIL: $room may include $header, though $other is not below it"
        failures=$((failures + 1))
      fi
    elif echo " $visible " | grep -q " $other "; then
      echo "FAIL: $room cannot include $header, though $other is below it: $(head -1 "$work/err")"
      failures=$((failures + 1))
    elif ! grep -q "No such file" "$work/err"; then
      echo "FAIL: $room including $header failed for another reason: $(head -1 "$work/err")"
      failures=$((failures + 1))
    fi
  done
done < "$graph"
echo "$checks includes between rooms checked, $failures wrong"
[ "$failures" -eq 0 ]
