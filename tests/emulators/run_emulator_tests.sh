#!/usr/bin/env bash
# Real terminal emulators, headless under Xvfb: xterm, rxvt-unicode and st
# each run the built qb7uart-sim with a far end on J27 that keeps every byte
# the board sends (tee far.bin); xdotool types the keys; each key is
# followed by a "." so that its bytes are read up to the "." that follows
# them, never after a blind sleep. A key an emulator keeps for itself, or
# sends as the bytes of another key, is named, not tested.
# Usage: run_emulator_tests.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
missing=""
for tool in Xvfb xdotool od; do command -v "$tool" >/dev/null || missing="$missing $tool"; done
if [ -n "$missing" ]; then
  echo "skip: real emulators: no$missing (Debian: xvfb xdotool xterm rxvt-unicode stterm)"
  exit 0
fi
work=$(mktemp -d /tmp/qb7emu.XXXXXX)
xvfb=""
cleanup() {
  pkill -f "$work/" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
failures=0 passes=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; passes=$((passes + 1)); }

# An X server of our own, on the first free display.
exec 5> "$work/display"
Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for i in $(seq 1 50); do [ -s "$work/display" ] && break; sleep 0.1; done
if [ ! -s "$work/display" ]; then echo "skip: real emulators: Xvfb would not start"; exit 0; fi
export DISPLAY=":$(head -1 "$work/display")"

# Macros that send a text of their own: F1..F12 and Shift-F3..Shift-F12
# (Shift-F1 is the help and Shift-F2 leaves).
config() {
  for n in $(seq 1 12); do echo "#F$n \"<F$n>\""; done
  for n in $(seq 3 12); do echo "#SF$n \"<S$n>\""; done
}

hex() { od -An -tx1 -v | tr -d ' \n'; }
# A C-escaped byte string, as hex.
want() { printf "$1" | hex; }

# name | xdotool keys | bytes the board must get
keys_table() {
  for n in $(seq 1 12); do echo "F$n|F$n|<F$n>"; done
  for n in $(seq 3 12); do echo "Shift-F$n|shift+F$n|<S$n>"; done
  cat <<'KEYS'
Ctrl-F1|ctrl+F1|\377\136
Ctrl-F12|ctrl+F12|\377\212
Alt-F1|alt+F1|\377\150
Home|Home|\377\107
End|End|\377\117
PgUp|Prior|\377\111
PgDn|Next|\377\121
Ins|Insert|\377\122
Del|Delete|\177
Up|Up|\033[A
Down|Down|\033[B
Left|Left|\033[D
Right|Right|\033[C
Ctrl-Up|ctrl+Up|\377\215
Ctrl-Down|ctrl+Down|\377\221
Ctrl-Left|ctrl+Left|\377\163
Ctrl-Right|ctrl+Right|\377\164
Ctrl-Home|ctrl+Home|\377\167
Ctrl-End|ctrl+End|\377\165
Shift-Tab|shift+Tab|\377\017
Esc|Escape|\033
Alt-a|alt+a|\377\036
Alt-x|alt+x|\377\055
Alt-1|alt+1|\377\170
Ctrl-Z|ctrl+z|\003
Enter|Return|\r
Backspace|BackSpace|\010
letters|a b Z|abZ
Shift-F1|shift+F1|
KEYS
}

# Waits for the "." that follows a key; sets got to the bytes before it
# (hex) and moves the offset past it. Status 1 when none came.
offset=0
got=""
read_key() {
  local far=$1 i rest
  got=""
  for i in $(seq 1 100); do
    rest=$(tail -c +$((offset + 1)) "$far" 2>/dev/null | hex)
    case "$rest" in
      *2e*)
        got=${rest%%2e*}
        offset=$((offset + ${#got} / 2 + 1))
        return 0 ;;
    esac
    sleep 0.05
  done
  return 1
}

# What an emulator keeps for itself or sends as another key's bytes.
kept() {
  case "$1:$2" in
    urxvt:F11|urxvt:F12) echo "rxvt-unicode sends $2 as the bytes of Shift-F${2#F1}; TERM=rxvt* takes them as Shift-F${2#F1}" ;;
    st:Ctrl-Home) echo "st sends Ctrl-Home as Home (ESC [1~)" ;;
    *) return 1 ;;
  esac
}

run_emulator() {
  local name=$1 start=$2
  local dir="$work/$name"
  mkdir -p "$dir"
  cp "$build/qb7uart-sim" "$dir/"
  config > "$dir/Qb7_Uart.cfg"
  printf '#!/bin/sh\ncd "%s" && LANG=C.UTF-8 exec ./qb7uart-sim --attach "2=tee far.bin"\n' "$dir" > "$dir/run.sh"
  chmod +x "$dir/run.sh"
  $start "$dir/run.sh" >/dev/null 2>&1 &
  local wid="" i
  for i in $(seq 1 100); do
    wid=$(xdotool search --onlyvisible --name "qb7-$name" 2>/dev/null | head -1)
    [ -n "$wid" ] && break
    sleep 0.1
  done
  if [ -z "$wid" ]; then fail "$name: no window"; return; fi
  for i in $(seq 1 50); do
    xdotool windowfocus --sync "$wid" 2>/dev/null && break
    sleep 0.1
  done
  # Into the session on J27, and wait until a key reaches the far end.
  offset=0
  local ready=""
  for i in $(seq 1 10); do
    xdotool key 2 period
    if read_key "$dir/far.bin"; then ready=1; break; fi
  done
  if [ -z "$ready" ]; then fail "$name: the session on J27 did not open"; return; fi
  # Whatever more the tries above sent, the next "." starts clean.
  sleep 0.3
  offset=$(stat -c %s "$dir/far.bin")

  local label keysyms expected why
  while IFS='|' read -r label keysyms expected; do
    if why=$(kept "$name" "$label"); then
      echo "not tested: $name: $label: $why"
      continue
    fi
    # shellcheck disable=SC2086
    xdotool key $keysyms
    # After Esc, more than the escape delay before the ".".
    [ "$label" = Esc ] && sleep 0.15
    xdotool key period
    if ! read_key "$dir/far.bin"; then fail "$name: $label: nothing reached the board"; continue; fi
    if [ "$got" = "$(want "$expected")" ]; then
      pass "$name: $label"
    else
      fail "$name: $label sent $got, not $(want "$expected")"
    fi
  done < <(keys_table)

  # Shift-F2 leaves the session: "x" then goes to the menu, "2" opens the
  # session again, and only "y" reaches the board.
  xdotool key shift+F2
  sleep 0.3
  xdotool key x 2
  sleep 0.5
  xdotool key y period
  if read_key "$dir/far.bin" && [ "$got" = "$(want y)" ]; then
    pass "$name: Shift-F2 leaves the session"
  else
    fail "$name: Shift-F2 did not leave the session (${got:-nothing})"
  fi
  xdotool key shift+F2
  sleep 0.3
  xdotool key q
  sleep 0.5
}

command -v xterm >/dev/null && run_emulator xterm "xterm -geometry 80x25 -T qb7-xterm -e" || echo "skip: xterm not installed"
command -v urxvt >/dev/null && run_emulator urxvt "urxvt -geometry 80x25 -title qb7-urxvt -e" || echo "skip: rxvt-unicode not installed"
st=$(command -v stterm || command -v st)
[ -n "$st" ] && run_emulator st "$st -g 80x25 -t qb7-st -e" || echo "skip: st not installed"

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
