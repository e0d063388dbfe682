#!/usr/bin/env bash
# The picture in README, from the real binary: the built qb7uart-sim in
# tmux at 80x25, the route menu, then a session on the VSC7420's console
# after a reset (its boot log) with a reply in colour and a message line;
# both captured with their colours and drawn side by side as an SVG.
#   docs/make_picture.sh BUILD_DIR [OUT=docs/screen.svg]   (needs tmux, python3)
set -eu
build=$(cd "${1:?usage: make_picture.sh BUILD_DIR [OUT]}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
out=${2:-$here/screen.svg}
work=$(mktemp -d /tmp/qb7picture.XXXXXX)
sock="qb7picture$$"
T() { tmux -L "$sock" "$@"; }
trap 'T kill-server 2>/dev/null; rm -rf "$work"' EXIT
cp "$build/qb7uart-sim" "$build/Qb7_Uart.cfg" "$work/"
# F11: a macro with a word no macro knows, for a message line to show.
printf '#F11 "status" CR W300 ?\n' >> "$work/Qb7_Uart.cfg"
T -f /dev/null new-session -d -s pic -x 80 -y 25 "cd '$work' && LANG=C.UTF-8 ./qb7uart-sim; sleep 60"
T set-option -t pic -g status off >/dev/null
wait_for() { for i in $(seq 1 100); do T capture-pane -p -t pic | grep -qF -- "$1" && return 0; sleep 0.1; done; return 1; }
wait_for "<Q> Quit"
T capture-pane -p -e -t pic > "$work/menu.txt"
T send-keys -t pic r
sleep 0.5
T send-keys -t pic 0
wait_for "<SF2>Exit"
wait_for "vsc7420#"
T send-keys -t pic F11
wait_for "Cmd:"
T capture-pane -p -e -t pic > "$work/session.txt"
python3 "$here/ansi_to_svg.py" "The route menu" "$work/menu.txt" \
  "A session: boot log, a reply in colour, a message line" "$work/session.txt" > "$out"
echo "wrote $out"
