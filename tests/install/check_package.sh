#!/usr/bin/env bash
# The Debian package: built as make package builds it (lintian clean), its
# files and their permissions read from the .deb, then installed into a
# throwaway root with dpkg --root. This script runs in a mount namespace of
# its own in which that root's /opt is the machine's /opt, so the installed
# program is run where it will live: two members of the group start
# qb7uart-sim from another folder, one after the other, and their sessions
# both land in /opt/qb7uart's Term.txt. Removal leaves the logs, a purge
# the logs only. The machine itself is left as found: nothing is installed
# into it, no group is added to it.
# Usage: check_package.sh BUILD_DIR SOURCE_DIR
set -u
if [ "$(id -u)" != 0 ] || ! command -v dpkg-deb >/dev/null || ! unshare -m true 2>/dev/null; then
  echo "skip: the package test needs root, dpkg-deb and a mount namespace"
  exit 0
fi
if [ -z "${QB7_PACKAGE_NAMESPACE:-}" ]; then
  QB7_PACKAGE_NAMESPACE=1 exec unshare -m --propagation private bash "$0" "$@"
fi
src=$(cd "$2" && pwd)
. "$src/tests/tmux/harness.sh"
tmux_harness "$1" package
out="$build/pkg"

# What the package is made of.
if bash "$src/packaging/build_deb.sh" "$out" >"$work/build.log" 2>&1; then
  pass "the package builds"
else
  fail "the package does not build: $(tail -5 "$work/build.log")"
  summary
  exit
fi
deb=$(ls "$out"/qb7uart_*_amd64.deb 2>/dev/null | head -1)
version=$(sed -n 's/^project(qb7uart VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
[ "$deb" = "$out/qb7uart_${version}_amd64.deb" ] || fail "the package is named '$deb'"
if command -v lintian >/dev/null; then
  grep -q "^lintian: clean$" "$work/build.log" && pass "lintian finds nothing" ||
    fail "lintian: $(grep -E '^[EW]:' "$work/build.log" | head -5)"
else
  skip "no lintian"
fi
# Mode, owner and name of each entry, as dpkg-deb -c lists them.
dpkg-deb -c "$deb" | awk '{ name = $6; for (i = 7; i <= NF; i++) name = name " " $i; print $1, $2, name }' |
  sort -k3 > "$work/files"
expect() { grep -qxF -- "$1" "$work/files" && pass "in the package: $1" || fail "not in the package: $1"; }
expect "drwxr-xr-x root/root ./opt/qb7uart/"
expect "-rwxr-xr-x root/root ./opt/qb7uart/qb7uart"
expect "-rwxr-xr-x root/root ./opt/qb7uart/qb7uart-sim"
expect "-rw-r--r-- root/root ./opt/qb7uart/Qb7_Uart.cfg"
expect "lrwxrwxrwx root/root ./usr/bin/qb7uart -> /opt/qb7uart/qb7uart"
expect "lrwxrwxrwx root/root ./usr/bin/qb7uart-sim -> /opt/qb7uart/qb7uart-sim"
expect "-rw-r--r-- root/root ./usr/share/man/man1/qb7uart.1.gz"
expect "-rw-r--r-- root/root ./usr/share/doc/qb7uart/copyright"
odd=$(grep -vE '^(drwxr-xr-x|-rw-r--r--|-rwxr-xr-x|lrwxrwxrwx) root/root ' "$work/files")
[ -z "$odd" ] && pass "every entry root's, no set-id bit, nothing writable by others" || fail "odd entries: $odd"
[ "$(dpkg-deb -I "$deb" conffiles)" = "/opt/qb7uart/Qb7_Uart.cfg" ] && pass "Qb7_Uart.cfg is a conffile" ||
  fail "conffiles: $(dpkg-deb -I "$deb" conffiles 2>&1)"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libncursesw6 libcap2 libcap2-bin; do
  echo "$depends" | grep -q "$lib" || fail "Depends lacks $lib: $depends"
done

# A throwaway root with an empty dpkg database and the machine's users.
R="$work/root"
mkdir -p "$R/var/lib/dpkg/info" "$R/var/lib/dpkg/updates" "$R/etc"
touch "$R/var/lib/dpkg/status" "$R/var/lib/dpkg/available"
cp -p /etc/passwd /etc/group /etc/shadow /etc/gshadow "$R/etc/" 2>/dev/null
host_groups=$(md5sum < /etc/group)
in_root() { dpkg --root="$R" --force-script-chrootless --force-depends --force-confold "$@" >>"$work/dpkg.log" 2>&1; }
in_root -i "$deb" && pass "dpkg --root installs it" || fail "dpkg -i: $(tail -5 "$work/dpkg.log")"
gid=$(sed -n 's/^qb7uart:[^:]*:\([0-9]*\):.*/\1/p' "$R/etc/group")
[ -n "$gid" ] && pass "the group qb7uart is made ($gid)" || fail "no group qb7uart in the root"
[ "$(md5sum < /etc/group)" = "$host_groups" ] || fail "the machine's /etc/group changed"
[ "$(stat -c '%a %U %g' "$R/opt/qb7uart")" = "2775 root $gid" ] && pass "/opt/qb7uart: 2775 root:qb7uart" ||
  fail "/opt/qb7uart: $(stat -c '%a %U %g' "$R/opt/qb7uart")"
caps=$(getcap "$R/opt/qb7uart/qb7uart" 2>/dev/null | awk '{print $2}')
[ "$caps" = "cap_sys_rawio,cap_sys_nice=ep" ] && pass "qb7uart has cap_sys_rawio,cap_sys_nice=ep" ||
  fail "qb7uart's capabilities: '$caps'"
[ -z "$(getcap "$R/opt/qb7uart/qb7uart-sim" 2>/dev/null)" ] || fail "qb7uart-sim has capabilities"

# From here on, in this namespace, the throwaway root's /opt is /opt: the
# commands in its /usr/bin lead to the program where it is installed.
# Its /etc/group too, so that the group has its name.
mount --bind "$R/opt" /opt && mount --bind "$R/etc/group" /etc/group ||
  { fail "cannot bind the root's /opt and /etc/group"; summary; exit; }
elsewhere="$work/elsewhere"
mkdir -p "$elsewhere" && chmod 1777 "$elsewhere" && chmod 755 "$work"
# member UID: a user of that number in the group qb7uart, in another folder.
member() { echo "setpriv --reuid=$1 --regid=$1 --groups=$gid --inh-caps=-all env -C $elsewhere HOME=$elsewhere"; }

[ "$($(member 4201) "$R/usr/bin/qb7uart" --version)" = "qb7uart $version" ] &&
  pass "a member runs /usr/bin/qb7uart --version" || fail "/usr/bin/qb7uart --version as a member"

# The first member, whose umask keeps everything from the group, opens J27,
# where the VSC7420 boots: Term.txt, theirs. The second one does the same,
# into the same Term.txt, and the first one's session is kept beside it.
start "$(member 4201) sh -c \"umask 077; exec $R/usr/bin/qb7uart-sim\""
wait_for "<Q> Quit" || fail "menu not shown (first member)"
T send-keys -t qb C-r
wait_for "vsc7420#" 10 || fail "the boot is not shown to the first member"
leave_and_quit "first member"
[ -f /opt/qb7uart/Term.txt ] && pass "the first member's Term.txt is in /opt/qb7uart" ||
  fail "no Term.txt in /opt/qb7uart: $(ls /opt/qb7uart)"
start "$(member 4202) $R/usr/bin/qb7uart-sim"
wait_for "<Q> Quit" || fail "menu not shown (second member)"
T send-keys -t qb C-r
wait_for "vsc7420#" 10 || fail "the boot is not shown to the second member"
screen_text | grep -q "Term.txt" && fail "a message about Term.txt: $(screen_text | grep Term.txt)"
leave_and_quit "second member"
grep -q "Reset cause" /opt/qb7uart/Term.txt && pass "the second member's session is in Term.txt" ||
  fail "the second member's session is not in Term.txt ($(ls -l /opt/qb7uart | tr '\n' ' '))"
# The first member's session, kept as Term-DATE-TIME-r0.*, is the second
# member's to read.
kept=$(ls /opt/qb7uart/Term-*-r0.times 2>/dev/null | head -1)
[ -n "$kept" ] && $(member 4202) cat "$kept" /opt/qb7uart/Term-*-r0.raw > /dev/null 2>&1 &&
  pass "a log made under umask 077 is the group's to read ($(stat -c %a "$kept"))" ||
  fail "the second member cannot read the first member's kept session ($(ls -l /opt/qb7uart | tr '\n' ' '))"
[ -z "$(ls -A "$elsewhere")" ] && pass "nothing written where the members started it" ||
  fail "written in the starting folder: $(ls -A "$elsewhere")"
for f in /opt/qb7uart/Term.txt /opt/qb7uart/Term.times /opt/qb7uart/Term.raw; do
  [ -e "$f" ] || continue
  [ "$(stat -c %g "$f")" = "$gid" ] && [ "$(( 0$(stat -c %a "$f") & 020 ))" != 0 ] ||
    fail "$f is not the group's to write: $(stat -c '%a %u:%g' "$f")"
done

# Anyone else is refused at once, told who may, though the lock file is
# there to take.
said=$(setpriv --reuid=4203 --regid=4203 --clear-groups --inh-caps=-all env -C "$elsewhere" \
       "$R/usr/bin/qb7uart-sim" 2>&1 </dev/null)
rc=$?
[ "$rc" = 1 ] && [ "$said" = "qb7uart-sim: cannot write the logs in /opt/qb7uart: Permission denied; members of the group qb7uart may" ] &&
  pass "a user outside the group is told who may run it" || fail "a user outside the group: status $rc, '$said'"

# An upgrade (the same package again) keeps an edited configuration.
echo "# edited on the bench" >> /opt/qb7uart/Qb7_Uart.cfg
in_root -i "$deb"
grep -q "edited on the bench" /opt/qb7uart/Qb7_Uart.cfg && pass "reinstalling keeps the edited Qb7_Uart.cfg" ||
  fail "reinstalling replaced the edited Qb7_Uart.cfg"

# Removal: the program and its commands go, the logs and the configuration
# stay; a purge takes the configuration and the group, and the logs stay.
in_root -r qb7uart || fail "dpkg -r: $(tail -5 "$work/dpkg.log")"
[ ! -e "$R/opt/qb7uart/qb7uart-sim" ] && [ ! -L "$R/usr/bin/qb7uart-sim" ] && pass "removed: the binaries and commands" ||
  fail "still there after removal: $(ls "$R/opt/qb7uart" "$R/usr/bin")"
[ -f "$R/opt/qb7uart/Term.txt" ] && [ -f "$R/opt/qb7uart/Qb7_Uart.cfg" ] && pass "removed: the logs and the configuration stay" ||
  fail "after removal: $(ls "$R/opt/qb7uart")"
in_root -P qb7uart || fail "dpkg -P: $(tail -5 "$work/dpkg.log")"
left=$(cd "$R" && find opt usr etc/group -mindepth 0 \( -type f -o -type l \) 2>/dev/null | grep -v '^etc/group$' | sort | tr '\n' ' ')
expected_left=$(cd "$R" && ls opt/qb7uart/Term*.txt opt/qb7uart/Term*.times opt/qb7uart/Term*.raw 2>/dev/null | sort | tr '\n' ' ')
[ "$left" = "$expected_left" ] && pass "purged: only the logs are left ($left)" || fail "purged, left: $left"
grep -q "^qb7uart:" "$R/etc/group" && fail "purged: the group is still there" || pass "purged: the group is gone"
umount /opt /etc/group
summary
