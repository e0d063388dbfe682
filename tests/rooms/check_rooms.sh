#!/usr/bin/env bash
# Proves that the build refuses an include that runs back up, in two ways:
#  - every header of every room compiles alone in its own room's view (the
#    include path that holds only that room and the rooms below it), rooms
#    without sources and headers no source includes among them;
#  - for every room and every other room, a file in the first that includes
#    a header of the second finds it when the second lies below the first,
#    and does not find it when it does not.
# A header that is not found is told apart from any other error by the
# preprocessor's own dependency list (-MM -MG lists a header it cannot find
# as it was written), not by the compiler's wording, so GCC and clang alike
# are checked.
# Usage: check_rooms.sh CXX BUILD_DIR SOURCE_DIR
set -u
cxx=$1 build=$2 src=$3
graph="$build/rooms/graph.txt"
[ -s "$graph" ] || { echo "no room graph at $graph"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0 checks=0
rooms=$(cut -d: -f1 "$graph")

# Every header alone, in its own room's view, two at a time.
for room in $rooms; do
  for header in $(cd "$src" && ls "$room"/*.hpp 2>/dev/null); do
    echo "$room $header"
  done
done > "$work/headers"
compile_alone() {
  local room=$1 header=$2 out
  # From an empty folder, so that nothing is found but through the view.
  out=$(cd "$work" && printf '#include "%s"\n' "$header" |
        "$cxx" -std=c++20 -fsyntax-only -x c++ -I "$build/rooms/$room" - 2>&1) ||
    echo "FAIL: $header does not compile alone in the view of $room: $(echo "$out" | grep -m1 -i error)"
}
export -f compile_alone
export cxx build work
xargs -P 2 -L 1 bash -c 'compile_alone "$0" "$1"' < "$work/headers" > "$work/alone"
headers=$(wc -l < "$work/headers")
alone_failures=$(grep -c '^FAIL' "$work/alone")
cat "$work/alone"
checks=$((checks + headers))
failures=$((failures + alone_failures))

# Every room against every other: found exactly when it lies below.
while IFS=: read -r room visible; do
  view="$build/rooms/$room"
  for other in $rooms; do
    [ "$other" = "$room" ] && continue
    header=$(cd "$src" && ls "$other"/*.hpp 2>/dev/null | head -1)
    [ -n "$header" ] || continue
    printf '#include "%s"\n' "$header" > "$work/probe.cpp"
    checks=$((checks + 1))
    below=no
    echo " $visible " | grep -q " $other " && below=yes
    if ! deps=$("$cxx" -std=c++20 -MM -MG -I "$view" "$work/probe.cpp" 2> "$work/err"); then
      echo "FAIL: $room including $header failed for another reason: $(head -1 "$work/err")"
      failures=$((failures + 1))
      continue
    fi
    deps=$(echo "$deps" | tr -d '\\\n')
    if echo "$deps" | grep -qF "$view/$header"; then found=yes; else found=no; fi
    if [ $found = yes ] && [ $below = no ]; then
      echo "FAIL: $room may include $header, though $other is not below it"
      failures=$((failures + 1))
    elif [ $found = no ] && [ $below = yes ]; then
      echo "FAIL: $room cannot include $header, though $other is below it"
      failures=$((failures + 1))
    elif [ $found = no ] && ! echo " $deps " | grep -qF " $header "; then
      echo "FAIL: $room including $header: neither found nor missing ($deps)"
      failures=$((failures + 1))
    fi
  done
done < "$graph"
# The pure models and the edges that report see no screen, no terminal and
# no program: rooms that must never see another, whatever the graph above
# grows into.
never_sees() {
  local room=$1 other=$2 visible
  visible=$(sed -n "s/^$room://p" "$graph")
  checks=$((checks + 1))
  if echo " $visible " | grep -q " $other "; then
    echo "FAIL: $room sees $other"
    failures=$((failures + 1))
  fi
}
for room in board config macro; do never_sees "$room" console; done
for room in screen keys view input macro; do
  for other in os process log console terminal board session machine; do never_sees "$room" "$other"; done
done
echo "$headers headers alone and $((checks - headers)) includes between rooms checked, $failures wrong"
[ "$failures" -eq 0 ]
