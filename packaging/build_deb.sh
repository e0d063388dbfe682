#!/usr/bin/env bash
# The Debian package: both binaries, built with Debian's hardening flags and
# stripped, with the sample Qb7_Uart.cfg (a conffile) in /opt/qb7uart, the
# folder the program keeps its configuration and logs in; commands in
# /usr/bin that start them there; the manual page. Then lintian checks it.
#   packaging/build_deb.sh [OUT_DIR=build-pkg]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
out=$(mkdir -p "${1:-$root/build-pkg}" && cd "${1:-$root/build-pkg}" && pwd)
version=$(sed -n 's/^project(qb7uart VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
arch=$(dpkg --print-architecture)

# The build, as Debian builds its packages.
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  cmake -S "$root" -B "$out/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQB7_TESTS=OFF \
        -DQB7_BENCH=OFF >/dev/null
cmake --build "$out/build" -j "$(nproc)" --target qb7uart qb7uart-sim

stage="$out/stage"
rm -rf "$stage"
install -d -m 0755 "$stage/DEBIAN" "$stage/opt/qb7uart" "$stage/usr/bin" \
  "$stage/usr/share/man/man1" "$stage/usr/share/doc/qb7uart" "$stage/usr/share/lintian/overrides"
for bin in qb7uart qb7uart-sim; do
  install -m 0755 -s "$out/build/$bin" "$stage/opt/qb7uart/$bin"
  ln -s "/opt/qb7uart/$bin" "$stage/usr/bin/$bin"
done
install -m 0644 "$root/config/Qb7_Uart.cfg" "$stage/opt/qb7uart/Qb7_Uart.cfg"
gzip -9n < "$root/docs/qb7uart.1" > "$stage/usr/share/man/man1/qb7uart.1.gz"
ln -s qb7uart.1.gz "$stage/usr/share/man/man1/qb7uart-sim.1.gz"
install -m 0644 "$here/copyright" "$stage/usr/share/doc/qb7uart/copyright"
gzip -9n < "$here/changelog" > "$stage/usr/share/doc/qb7uart/changelog.gz"
chmod 0644 "$stage/usr/share/man/man1/qb7uart.1.gz" "$stage/usr/share/doc/qb7uart/changelog.gz"
cat > "$stage/usr/share/lintian/overrides/qb7uart" <<'OVR'
# The program keeps its configuration and its logs in its own folder,
# beside the binaries: a folder of its own in /opt, its configuration there.
qb7uart: dir-or-file-in-opt [opt/qb7uart/]
qb7uart: dir-or-file-in-opt [opt/qb7uart/Qb7_Uart.cfg]
qb7uart: dir-or-file-in-opt [opt/qb7uart/qb7uart]
qb7uart: dir-or-file-in-opt [opt/qb7uart/qb7uart-sim]
qb7uart: non-etc-file-marked-as-conffile opt/qb7uart/Qb7_Uart.cfg [conffiles:1]
# The group's number is read from the group file of the root dpkg installs
# into (DPKG_ROOT), which getent cannot look into.
qb7uart: maintainer-script-should-not-parse-etc-passwd-or-group *
OVR
chmod 0644 "$stage/usr/share/lintian/overrides/qb7uart"
install -m 0755 "$here/postinst" "$here/postrm" "$stage/DEBIAN/"
echo /opt/qb7uart/Qb7_Uart.cfg > "$stage/DEBIAN/conffiles"

# The libraries it links, as Debian names their packages.
shlibs=$(cd "$out" && mkdir -p debian && printf 'Source: qb7uart\n\nPackage: qb7uart\nArchitecture: any\n' > debian/control &&
         dpkg-shlibdeps -O "$stage/opt/qb7uart/qb7uart" "$stage/opt/qb7uart/qb7uart-sim" 2>/dev/null |
         sed -n 's/^shlibs:Depends=//p')
size=$(du -sk --exclude=DEBIAN "$stage" | cut -f1)
cat > "$stage/DEBIAN/control" <<CTL
Package: qb7uart
Version: $version
Architecture: $arch
Maintainer: qb7uart developers <qb7uart@example.com>
Installed-Size: $size
Depends: $shlibs, libcap2-bin, passwd
Section: utils
Priority: optional
Homepage: https://qb7uart.invalid/
Description: terminal on the QB7 board's console lines
 A full-screen bench tool for the QB7 board: it wires the board's UART to
 a console line (the VSC7420 switch chip, the DK22N or DK22S module, or
 connector J27), pulses the VSC7420's reset, and runs a terminal session
 over the line, logging what it receives. qb7uart-sim runs the same program
 on a simulated board.
 .
 The program lives in /opt/qb7uart with its configuration and its logs;
 members of the group qb7uart may run it there.
CTL
(cd "$stage" && find . -type f ! -path './DEBIAN/*' -printf '%P\0' | sort -z | xargs -0 md5sum) \
  > "$stage/DEBIAN/md5sums"
chmod 0644 "$stage/DEBIAN/control" "$stage/DEBIAN/conffiles" "$stage/DEBIAN/md5sums"

deb="$out/qb7uart_${version}_${arch}.deb"
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
echo "built $deb"
if command -v lintian >/dev/null; then
  lintian --fail-on error,warning "$deb" && echo "lintian: clean"
fi
