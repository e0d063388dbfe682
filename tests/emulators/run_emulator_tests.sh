#!/usr/bin/env bash
# Real terminal emulators, headless under Xvfb: xterm, rxvt-unicode, st,
# kitty, alacritty, konsole, xfce4-terminal, mlterm and PuTTY's pterm each
# run the built qb7uart-sim with a far end on J27 that keeps every byte the
# board sends (tee far.bin); xdotool types the keys; each key is followed by
# a "." so that its bytes are read up to the "." that follows them, never
# after a blind sleep. A key an emulator keeps for itself, or sends as the
# bytes of another key, is named, not tested. Then, in each: the mouse
# wheel sends nothing, Shift+middle-click pastes, and a resize during a
# stream loses nothing. The newer emulators run at their default size and
# settings; an emulator that is not installed or cannot start is skipped,
# saying why.
# Usage: run_emulator_tests.sh BUILD_DIR [NAME...]
set -u
build=$(cd "$1" && pwd)
missing=""
for tool in Xvfb xdotool od xclip; do command -v "$tool" >/dev/null || missing="$missing $tool"; done
if [ -n "$missing" ]; then
  echo "skip: real emulators: no$missing (Debian: xvfb xdotool xclip xterm rxvt-unicode stterm)"
  exit 0
fi
shift
only=" $* "
# A sanitized build checks the program, not the emulators again: the first
# three suffice there.
if [ "$only" = "  " ] && grep -q __asan_init "$build/qb7uart-sim"; then
  only=" xterm urxvt st "
  echo "a sanitized build: xterm, rxvt-unicode and st only"
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
skip() { echo "skip: $*"; }
. "$(dirname "$0")/../board_report.sh"
note_sanitized "$build/qb7uart-sim"

# An X server of our own, on the first free display.
exec 5> "$work/display"
# GLX for kitty and alacritty, which draw with OpenGL (mesa's software one).
Xvfb -displayfd 5 -screen 0 1280x1024x24 +extension GLX -nolisten tcp >/dev/null 2>&1 &
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
    xterm:Shift-PgUp) echo "xterm keeps Shift-PgUp (its own scroll-back)" ;;
    urxvt:Shift-PgUp) echo "rxvt-unicode keeps Shift-PgUp (its own scroll-back)" ;;
    konsole:F11) echo "konsole keeps F11 (full screen)" ;;
    konsole:Shift-F1) echo "konsole keeps Shift-F1 (What's This?, which swallows the next key)" ;;
    xfce:F1) echo "xfce4-terminal keeps F1 (its help)" ;;
    xfce:F10) echo "xfce4-terminal keeps F10 (its menu)" ;;
    xfce:F11) echo "xfce4-terminal keeps F11 (full screen)" ;;
    xfce:Shift-F10) echo "xfce4-terminal keeps Shift-F10 (its context menu)" ;;
    xfce:Alt-a) echo "xfce4-terminal keeps Alt-a (a menu's access key)" ;;
    mlterm:Shift-F1|mlterm:Shift-F2) echo "mlterm keeps $2 (it splits its window)" ;;
    mlterm:Ctrl-F1) echo "mlterm keeps Ctrl-F1 (a new window)" ;;
    mlterm:Shift-PgUp) echo "mlterm keeps Shift-PgUp (its own scroll-back)" ;;
    pterm:Shift-F*) echo "PuTTY's default function keys send Shift-F1..F10 as F11..F20's bytes (ESC [23~ ..)" ;;
    pterm:Ctrl-F*) echo "PuTTY's default function keys send Ctrl-Fn as Fn" ;;
    pterm:Ctrl-Up|pterm:Ctrl-Down|pterm:Ctrl-Left|pterm:Ctrl-Right) echo "PuTTY sends Ctrl with an arrow as the arrow" ;;
    pterm:Ctrl-Home|pterm:Ctrl-End|pterm-freed:Ctrl-Home|pterm-freed:Ctrl-End)
      echo "PuTTY sends nothing for $2, whatever its settings" ;;
    pterm:Shift-PgUp|pterm-freed:Shift-PgUp) echo "PuTTY keeps Shift-PgUp (its own scroll-back; the wheel reaches the program)" ;;
    *) return 1 ;;
  esac
}

# Finds the emulator's window: by its title, else by its class (an
# emulator that names its window itself).
find_window() {
  local title=$1 class=$2 wid="" i
  for i in $(seq 1 300); do
    wid=$(xdotool search --onlyvisible --name "$title" 2>/dev/null | head -1)
    [ -z "$wid" ] && [ -n "$class" ] && wid=$(xdotool search --onlyvisible --class "$class" 2>/dev/null | head -1)
    [ -n "$wid" ] && { echo "$wid"; return 0; }
    sleep 0.1
  done
  return 1
}

# The settings that free the keys an emulator keeps, written into the home
# it starts with.
free_mlterm() {
  mkdir -p "$1/.mlterm"
  printf 'UNUSED=HSPLIT_SCREEN\nUNUSED=VSPLIT_SCREEN\nUNUSED=OPEN_SCREEN\nUNUSED=PAGE_UP\nUNUSED=PAGE_DOWN\n' > "$1/.mlterm/key"
}
free_pterm() {
  # Terminal > Keyboard: function keys "Xterm 216+", Shift/Ctrl/Alt with
  # the arrow keys as an xterm-style bitmap; Terminal > Features: disable
  # application cursor keys mode (in it PuTTY drops Ctrl from the arrows).
  mkdir -p "$1/.putty/sessions"
  printf 'LinuxFunctionKeys=6\nShiftedArrowKeys=1\nNoApplicationCursors=1\n' > "$1/.putty/sessions/Default%20Settings"
}

# run_emulator NAME "COMMAND THAT RUNS A SCRIPT" [WINDOW CLASS] [PREPARE HOME] [BASE]
# With BASE (an emulator run before with its default settings), only the
# keys BASE keeps are typed: the settings that free them are checked.
run_emulator() {
  local name=$1 start=$2 class=${3:-} prepare=${4:-} base=${5:-}
  case "$only" in "  ") ;; *" $name "*) ;; *) return ;; esac
  local dir="$work/$name"
  local overflowed=""  # the lines Term.txt held when an overflow came, read by end_emulator
  mkdir -p "$dir"
  cp "$build/qb7uart-sim" "$dir/"
  config > "$dir/Qb7_Uart.cfg"
  # The far end keeps what the board sends; "stream" and Enter make it
  # send 3000 numbered lines.
  cat > "$dir/far.sh" <<'SH'
tee far.bin | perl -e '$/ = "\r"; $| = 1; while (<STDIN>) { if (/stream/) { print "$_\n" for 1 .. 3000 } }'
SH
  printf '#!/bin/sh\ncd "%s" && LANG=C.UTF-8 exec ./qb7uart-sim --report report.txt --attach "2=sh far.sh"\n' "$dir" > "$dir/run.sh"
  chmod +x "$dir/run.sh"
  # A home of its own: the emulator starts with its default settings, as a
  # new user's does (kitty, for one, remembers the last window's size).
  mkdir -p "$dir/home"
  [ -n "$prepare" ] && $prepare "$dir/home"
  HOME="$dir/home" XDG_CONFIG_HOME="$dir/home/.config" XDG_CACHE_HOME="$dir/home/.cache" \
    eval "$start \"\$dir/run.sh\"" >"$dir/emulator.log" 2>&1 &
  local wid i
  if ! wid=$(find_window "qb7-$name" "$class"); then
    echo "skip: $name: no window came up ($(tail -1 "$dir/emulator.log"))"
    pkill -f "$dir/" 2>/dev/null
    return
  fi
  for i in $(seq 1 50); do
    xdotool windowfocus --sync "$wid" 2>/dev/null && break
    sleep 0.1
  done
  echo "$name: window $(xdotool getwindowgeometry "$wid" | sed -n 's/.*Geometry: //p') pixels"
  # Into the session on J27, and wait until a key reaches the far end.
  offset=0
  local ready=""
  for i in $(seq 1 20); do
    xdotool key 2 period
    if read_key "$dir/far.bin"; then ready=1; break; fi
  done
  if [ -z "$ready" ]; then fail "$name: the session on J27 did not open"; pkill -f "$dir/"; return; fi
  # Whatever more the tries above sent, the next "." starts clean.
  sleep 0.3
  offset=$(stat -c %s "$dir/far.bin")

  local label keysyms expected why
  while IFS='|' read -r label keysyms expected; do
    if [ -n "$base" ] && ! kept "$base" "$label" >/dev/null; then continue; fi
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

  # Shift+middle-click pastes the primary selection, whole.
  if [ -n "$base" ]; then
    :
  elif why=$(kept "$name" paste); then
    echo "not tested: $name: paste: $why"
  else
    printf 'pasted' | xclip -i -selection primary 2>/dev/null
    sleep 0.3  # xclip owns the selection
    xdotool mousemove --window "$wid" 80 80 sleep 0.2 keydown shift click 2 keyup shift
    # The emulator fetches the selection on its own time: wait for it.
    for i in $(seq 1 30); do
      tail -c +$((offset + 1)) "$dir/far.bin" | grep -q pasted && break
      sleep 0.1
    done
    xdotool key period
    if read_key "$dir/far.bin" && [ "$got" = "$(want pasted)" ]; then pass "$name: Shift+middle-click pastes"
    else fail "$name: Shift+middle-click sent ${got:-nothing}"; fi
  fi

  # A resize in the middle of a stream loses nothing, and the session goes on.
  local toldBefore
  toldBefore=$(grep -c "message: UartRcvStr" "$dir/Term.times" 2>/dev/null)
  xdotool type stream
  xdotool key Return
  sleep 0.3
  xdotool windowsize "$wid" 420 260
  sleep 0.4
  xdotool windowsize "$wid" 900 600
  for i in $(seq 1 100); do
    grep -qx 3000 "$dir/Term.txt" 2>/dev/null && break
    grep -q "message: UartRcvStr" "$dir/Term.times" 2>/dev/null && break
    sleep 0.1
  done
  local lines
  lines=$(tr -d '\r' < "$dir/Term.txt" | grep -cx '[0-9]*')
  if grep -q "message: UartRcvStr Overflow" "$dir/Term.times"; then
    # Whose loss it was, the board's report tells once the program has
    # ended (end_emulator). The message is answered, and every one that
    # follows it (a machine that held the program off twice brings two):
    # a key is typed only for a message the times say is shown, so none
    # goes to the board by mistake.
    overflowed="$lines"
    local answered=${toldBefore:-0} shown quiet=0
    while [ "$quiet" -lt 8 ]; do
      shown=$(grep -c "message: UartRcvStr" "$dir/Term.times")
      if [ "$shown" -gt "$answered" ]; then
        xdotool key x
        answered=$((answered + 1))
        quiet=0
      else
        quiet=$((quiet + 1))
      fi
      sleep 0.1
    done
  elif [ "$lines" = 3000 ]; then pass "$name: a resize during a stream loses nothing"
  else fail "$name: after a resize Term.txt holds $lines of 3000 lines"; fi
  xdotool key period
  read_key "$dir/far.bin"
  [ "$got" = "$(want 'stream\r')" ] && pass "$name: keys reach the board after the resize" ||
    fail "$name: after the resize the board got $got"

  # The wheel and Shift-PgUp scroll the program's history, not the
  # emulator's: there "s" writes the history to a file and sends nothing;
  # the key after it returns to the live screen and reaches the board.
  local saved keys
  for keys in "click 4 click 4 click 4" "key shift+Prior"; do
    local what="the wheel"
    [ "$keys" = "key shift+Prior" ] && what="Shift-PgUp"
    if [ -n "$base" ] && { [ "$what" = "the wheel" ] || ! kept "$base" Shift-PgUp >/dev/null; }; then
      continue
    fi
    if [ "$what" = Shift-PgUp ] && why=$(kept "$name" Shift-PgUp); then
      echo "not tested: $name: $what: $why"
      continue
    fi
    saved=$(ls "$dir" | grep -c '^Term-history-')
    xdotool mousemove --window "$wid" 60 60
    # shellcheck disable=SC2086
    xdotool $keys
    sleep 0.3
    xdotool key s
    sleep 0.5
    xdotool key period
    if read_key "$dir/far.bin" && [ -z "$got" ] && [ "$(ls "$dir" | grep -c '^Term-history-')" -gt "$saved" ]; then
      pass "$name: $what scrolls the program's history"
    else
      fail "$name: $what did not reach the history (the board got ${got:-nothing}, history files $saved -> $(ls "$dir" | grep -c '^Term-history-'))"
    fi
  done

  # Shift-F2 leaves the session: "x" then goes to the menu, "2" opens the
  # session again, and only "y" reaches the board.
  if why=$(kept "$name" Shift-F2); then
    echo "not tested: $name: leaving with Shift-F2: $why"
    end_emulator "$name" "$dir"
    return
  fi
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
  end_emulator "$name" "$dir"
}

# Ends what still runs of an emulator's session, then judges an overflow met
# during the resize by the board's report, written as the program ends: a
# loss the machine caused (it held the program off longer than the FIFO
# lasts) is no fault of the program's; any other is.
end_emulator() {
  local name=$1 dir=$2 i
  pkill -f "$dir/" 2>/dev/null
  [ -n "$overflowed" ] || return 0
  for i in $(seq 1 30); do [ -s "$dir/report.txt" ] && break; sleep 0.1; done
  machine_lost "$dir/report.txt" "$name: a resize during a stream ($overflowed of 3000 lines)" ||
    fail "$name: an overflow during the resize, not the machine's: $(tr '\n' ' ' < "$dir/report.txt" 2>/dev/null)"
}

have() { command -v "$1" >/dev/null || { echo "skip: $2: not installed (Debian: $3)"; return 1; }; }
gl="env LIBGL_ALWAYS_SOFTWARE=1"
have xterm xterm xterm && run_emulator xterm "xterm -geometry 80x25 -T qb7-xterm -e"
have urxvt rxvt-unicode rxvt-unicode && run_emulator urxvt "urxvt -geometry 80x25 -title qb7-urxvt -e"
st=$(command -v stterm || command -v st)
if [ -n "$st" ]; then run_emulator st "$st -g 80x25 -t qb7-st -e"; else echo "skip: st: not installed (Debian: stterm)"; fi
# Their default sizes and settings, as a new user meets them.
have kitty kitty kitty && run_emulator kitty "$gl kitty --title qb7-kitty sh"
have alacritty alacritty alacritty && run_emulator alacritty "$gl alacritty --title qb7-alacritty -e sh"
have konsole konsole konsole && run_emulator konsole "dbus-run-session konsole --nofork -e sh" konsole
have xfce4-terminal xfce4-terminal xfce4-terminal &&
  run_emulator xfce "xfce4-terminal --disable-server --title qb7-xfce -x sh"
have mlterm mlterm mlterm && run_emulator mlterm "mlterm -T qb7-mlterm -e sh"
have pterm pterm pterm && run_emulator pterm "pterm -title qb7-pterm -e sh"
# With the settings README gives, the keys each kept are free.
have xterm xterm xterm && run_emulator xterm-freed "xterm -geometry 80x25 -T qb7-xterm-freed \
  -xrm 'XTerm.VT100.translations: #override Shift<Key>Prior: string(\"\\033[5;2~\") \\n Shift<Key>Next: string(\"\\033[6;2~\")' -e" "" "" xterm
have urxvt rxvt-unicode rxvt-unicode && run_emulator urxvt-freed "urxvt -geometry 80x25 -title qb7-urxvt-freed \
  -keysym.F11 '\\033[23;1~' -keysym.F12 '\\033[24;1~' -keysym.Shift-Prior '\\033[5;2~' -keysym.Shift-Next '\\033[6;2~' -e" "" "" urxvt
have mlterm mlterm mlterm && run_emulator mlterm-freed "mlterm -T qb7-mlterm-freed -e sh" "" free_mlterm mlterm
have pterm pterm pterm && run_emulator pterm-freed "pterm -title qb7-pterm-freed -e sh" "" free_pterm pterm

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
