#!/usr/bin/env bash
# The picture in README, from the real binary: the built qb7uart-sim in
# tmux at 80x25, the route menu, then a session on the VSC7420's console
# after a reset (its boot log) with a reply in colour and a message line;
# both captured with their colours and drawn side by side as an SVG.
#   docs/make_picture.sh BUILD_DIR [OUT=docs/screen.svg]   (needs tmux, python3)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../tests/tmux/harness.sh"
tmux_harness "${1:?usage: make_picture.sh BUILD_DIR [OUT]}" picture
out=${2:-$here/screen.svg}
cp "$build/qb7uart-sim" "$build/Qb7_Uart.cfg" "$work/"
# F11: a macro with a word no macro knows, for a message line to show.
printf '#F11 "status" CR W300 ?\n' >> "$work/Qb7_Uart.cfg"
start ./qb7uart-sim
wait_for "<Q> Quit"
T capture-pane -p -e -t qb > "$work/menu.txt"
T send-keys -t qb r
sleep 0.5
T send-keys -t qb 0
wait_for "<SF2>Exit"
wait_for "vsc7420#"
T send-keys -t qb F11
wait_for "Cmd:"
T capture-pane -p -e -t qb > "$work/session.txt"
python3 "$here/ansi_to_svg.py" "The route menu" "$work/menu.txt" \
  "A session: boot log, a reply in colour, a message line" "$work/session.txt" > "$out"
echo "wrote $out"
