#!/usr/bin/env bash
# What the build needs is named before anything compiles: a configure in a
# scratch environment where one library is hidden stops at once with the
# Debian package to install, in one line. And scripts/deps.sh, for a user
# who cannot install, prints the apt-get line and ends with status 1.
# Usage: check_deps.sh SOURCE_DIR
set -u
src=$(cd "$1" && pwd)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
skip() { echo "skip: $*"; }
scratch=$(mktemp -d /tmp/qb7deps.XXXXXX)
chmod 755 "$scratch"
trap "rm -rf $scratch" EXIT
root=no
[ "$(id -u)" = 0 ] && command -v unshare >/dev/null && unshare -m true 2>/dev/null && root=yes

# configure NAME HIDE_SETUP [CMAKE_ARGS...]: configures in a fresh build
# folder after running HIDE_SETUP in a mount namespace of its own (so what
# it hides is hidden from this configure only); output in $scratch/NAME.log.
configure() {
  local name=$1 hide=$2; shift 2
  local dir="$scratch/$name"
  if [ "$root" = yes ] && [ -n "$hide" ]; then
    unshare -m --propagation private bash -c "set -e; $hide; cmake -S '$src' -B '$dir' -G Ninja $*" \
      >"$dir.log" 2>&1
  else
    cmake -S "$src" -B "$dir" -G Ninja "$@" >"$dir.log" 2>&1
  fi
  rc=$?
}

# expect_named NAME PACKAGE: the configure failed, naming the package in
# one line, and nothing was compiled.
expect_named() {
  local name=$1 package=$2
  [ "$rc" != 0 ] || { fail "$name: the configure passed with the library hidden"; return; }
  grep -q "^qb7uart needs the Debian packages $package: make deps installs them, or: sudo apt-get install -y $package$" "$scratch/$name.log" ||
    fail "$name: the package $package is not named: $(grep -m3 -i error "$scratch/$name.log")"
  [ -z "$(find "$scratch/$name" -name '*.o' 2>/dev/null)" ] || fail "$name: something compiled"
}

if [ "$root" = yes ]; then
  # The header hidden as if libcap-dev were not installed: the folder it
  # is in replaced by a copy without it.
  configure no-libcap "mkdir '$scratch/sys'; cp -a /usr/include/sys/. '$scratch/sys/';
                       rm '$scratch/sys/capability.h'; mount --bind '$scratch/sys' /usr/include/sys"
  expect_named no-libcap libcap-dev
  configure no-ncursesw "mkdir '$scratch/empty'; mount --bind '$scratch/empty' /usr/include/ncursesw"
  expect_named no-ncursesw libncurses-dev
else
  # Without a namespace of our own: the library folder kept from CMake's
  # searches.
  configure no-libcap "" "-DCMAKE_IGNORE_PATH=/usr/lib/$(gcc -print-multiarch 2>/dev/null || echo x86_64-linux-gnu)"
  expect_named no-libcap libcap-dev
fi
configure no-gtest "" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DQB7_TESTS=ON
expect_named no-gtest libgtest-dev
# Once the library is there again, the same build folder configures: a
# missing header is not remembered.
configure no-libcap ""
[ "$rc" = 0 ] || fail "the folder that missed libcap does not configure now: $(grep -m3 -i error "$scratch/no-libcap.log")"

# The script refuses a wrong word, and for a user without sudo prints the
# line that installs what is missing, and stops.
bash "$src/scripts/deps.sh" bogus >/dev/null 2>&1
[ $? = 2 ] || fail "deps.sh bogus: status is not 2"
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
  as_nobody=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
  # A copy the user can read: the checkout may sit in a folder only root
  # may enter (a clone into mktemp -d's does).
  readable="$scratch/for-nobody"
  mkdir -p "$readable"
  chmod 711 "$scratch"
  chmod 755 "$readable"
  cp "$src/scripts/deps.sh" "$readable/"
  chmod 644 "$readable/deps.sh"
  out=$(cd / && QB7_DEPS_EXTRA="qb7-absent-package" "${as_nobody[@]}" bash "$readable/deps.sh" build 2>&1 </dev/null)
  rc=$?
  [ "$rc" = 1 ] || fail "deps.sh as nobody with a package missing: status $rc, not 1"
  echo "$out" | grep -q "^  sudo apt-get install -y qb7-absent-package$" ||
    fail "deps.sh as nobody did not print the apt-get line: $out"
  out=$(cd / && "${as_nobody[@]}" bash "$readable/deps.sh" build 2>&1 </dev/null)
  rc=$?
  [ "$rc" = 0 ] && [ -z "$out" ] || fail "deps.sh with everything there: status $rc, said: $out"
else
  skip "deps.sh as a user who cannot install: needs root to become one"
fi
echo "deps: $failures failed"
[ "$failures" -eq 0 ]
