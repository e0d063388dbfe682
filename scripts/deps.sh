#!/usr/bin/env bash
# What the build and the tests need from Debian, installed when missing:
# directly as root, through sudo where there is sudo; otherwise the exact
# apt-get line is printed and the script ends with status 1.
#   scripts/deps.sh build   what make build compiles with (make run): the
#                           program, its unit tests and its benchmarks
#   scripts/deps.sh package and what makes and checks the .deb (make package)
#   scripts/deps.sh test    and what the tests run (make test, CI)
set -euo pipefail
what=${1:-build}

build=(cmake ninja-build g++ make libncurses-dev libcap-dev libgtest-dev libbenchmark-dev)
package=(dpkg-dev lintian libcap2-bin)
tests=(clang clang-14 libclang-rt-14-dev tmux util-linux
       # real emulators under Xvfb (kitty and alacritty on mesa's software GL)
       xvfb xdotool xclip xterm rxvt-unicode stterm kitty alacritty konsole dbus
       xfce4-terminal mlterm pterm libgl1-mesa-dri xfonts-base fonts-dejavu-core
       # the frozen disk, the manual page
       e2fsprogs groff-base mandoc
       # a JUnit reader for the boots' report; the console link's consumers
       python3-junitparser python3-pexpect picocom ser2net python3-labgrid)

case "$what" in
  build) need=("${build[@]}") ;;
  package) need=("${build[@]}" "${package[@]}") ;;
  test) need=("${build[@]}" "${package[@]}" "${tests[@]}") ;;
  *) echo "usage: scripts/deps.sh build|package|test" >&2; exit 2 ;;
esac
# More packages to check for, for this script's own test.
# shellcheck disable=SC2206
need+=(${QB7_DEPS_EXTRA:-})

missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" = 0 ]; then
  run=()
elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
  run=(sudo)
elif command -v sudo >/dev/null && [ -t 0 ]; then
  run=(sudo)  # sudo asks for the password
else
  echo "qb7uart needs these Debian packages, and cannot install them as $(id -un):" >&2
  echo "  sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
log=$(mktemp /tmp/qb7-apt.XXXXXX)
if ! { "${run[@]}" apt-get update -qq &&
       "${run[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"; } >"$log" 2>&1; then
  tail -20 "$log" >&2
  echo "qb7uart: installing ${missing[*]} failed (the whole log: $log)" >&2
  exit 1
fi
rm -f "$log"
