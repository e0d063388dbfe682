# The real binaries in a real terminal: tmux runs them, send-keys types,
# capture-pane reads the screen back. Sourced by the tmux test cases, the
# benchmarks that drive the real binary (bench/*.sh) and the picture script
# (docs/make_picture.sh); it starts nothing by itself.
#
#   . tests/tmux/harness.sh
#   tmux_harness BUILD_DIR NAME   # a private tmux server and a work folder
#   start './qb7uart-sim'         # a fresh 80x25 pane running the command
#   wait_for '<Q> Quit' || fail 'menu not shown'
#
# Everything runs in $work (removed at the end), on a tmux server of its own
# ($sock), in a session named qb.

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; passes=$((passes + 1)); }
skip() { echo "skip: $*"; }

T() { tmux -L "$sock" "$@"; }

# What runs at the end, whatever fails: the cleanup steps registered with
# at_exit, last first, then the server and the work folder go.
exit_steps=()
at_exit() { exit_steps=("$1" "${exit_steps[@]}"); }
harness_cleanup() {
  local step
  for step in "${exit_steps[@]}"; do eval "$step"; done
  T kill-server 2>/dev/null || true
  rm -rf "$work"
}

# tmux_harness BUILD_DIR NAME: the build (absolute), a work folder and a
# server of their own.
tmux_harness() {
  build=$(cd "$1" && pwd)
  sock="qb7$2$$"
  work=$(mktemp -d "/tmp/qb7$2.XXXXXX")
  failures=0
  passes=0
  note_sanitized "$build/qb7uart-sim"
  trap harness_cleanup EXIT
}

# Ends the previous tmux server and waits until it is gone: a new session
# started while the old server still winds down dies with it.
fresh_server() {
  local i
  T kill-server 2>/dev/null || true
  for i in $(seq 1 50); do T list-sessions >/dev/null 2>&1 || return 0; sleep 0.1; done
}

# new_session COMMAND [COLUMNS ROWS]: a detached session running the
# command; tried again if the server did not come up.
new_session() {
  local try
  for try in 1 2 3; do
    T -f /dev/null new-session -d -s qb -x "${2:-80}" -y "${3:-25}" "$1" 2>/dev/null && {
      T set-option -t qb -g status off >/dev/null
      T resize-window -t qb -x "${2:-80}" -y "${3:-25}" >/dev/null 2>&1
      return 0
    }
    fresh_server
    sleep 0.2
  done
  echo "tmux would not start a session"
  return 1
}

# start COMMAND [TERM] [COLUMNS ROWS]: runs the command in $work in a fresh
# pane (a UTF-8 locale, the TERM given); when it ends, the shell records its
# status (status), the terminal modes (stty) and waits. Its pid is in pid.
start() {
  local cmd=$1 term=${2:-tmux-256color}
  fresh_server
  rm -f "$work/status" "$work/stty" "$work/pid"
  new_session "cd '$work' && export LANG=C.UTF-8 TERM=$term && sh -c 'echo \$\$ > pid; exec $cmd'; echo \$? > status; stty -a > stty; sleep 600" "${3:-80}" "${4:-25}"
  answer_config_list
}

# The harness's configuration gives F11 a word no macro knows (for a message
# line on demand): the program lists it at start-up, before the menu. The
# list is answered here, once the menu or the list shows, or the program
# has ended, or after 5 s. A case that looks at the list itself sets
# keep_list=1 for its start.
answer_config_list() {
  local i
  [ "${keep_list:-0}" = 1 ] && return 0
  for i in $(seq 1 50); do
    if screen_text | grep -qE "problems?, listed above"; then
      T send-keys -t qb x
      return 0
    fi
    screen_text | grep -qF "<Q> Quit" && return 0
    [ -s "$work/status" ] && return 0
    sleep 0.1
  done
}

screen_text() { T capture-pane -p -t qb 2>/dev/null; }

# Waits until the pane shows a text (or gives up after SECONDS, default 10).
wait_for() {
  local text=$1 i
  for i in $(seq 1 $((${2:-10} * 10))); do
    screen_text | grep -qF -- "$text" && return 0
    sleep 0.1
  done
  return 1
}

# Waits until a row of the pane matches the extended regular expression
# LINE whole (or gives up after SECONDS, default 10), answering with "x"
# every receive-error message met meanwhile (a machine that held the
# program off longer than the FIFO lasts brings one); the last one's text
# is left in $message.
await_line() {
  local line=$1 i screen
  message=""
  for i in $(seq 1 $((${2:-10} * 10))); do
    screen=$(screen_text)
    if echo "$screen" | grep -q "UartRcvStr"; then
      message=$(echo "$screen" | grep -o "UartRcvStr [A-Za-z ]*" | head -1 | sed "s/ *$//")
      T send-keys -t qb x
    fi
    echo "$screen" | grep -qxE -- "$line" && return 0
    sleep 0.1
  done
  return 1
}

# Waits for the program to end; prints its exit status ("none" after 10 s).
finished() {
  local i
  for i in $(seq 1 100); do
    [ -s "$work/status" ] && [ -s "$work/stty" ] && { cat "$work/status"; return 0; }
    sleep 0.1
  done
  echo "none"
}

# The pid of the program started by start.
program_pid() { cat "$work/pid"; }

# In the pane's program: waits for the menu, picks a route, waits for the
# session's status line.
open_session() {
  local route=$1 what=$2
  wait_for "<Q> Quit" || fail "menu not shown $what"
  T send-keys -t qb "$route"
  wait_for "<SF2>Exit" || fail "session not opened $what"
}

# Leaves the session with Shift-F2 and quits with q: status 0.
leave_and_quit() {
  local what=$1 st
  T send-keys -t qb S-F2
  wait_for "<Q> Quit" || fail "Shift-F2 did not return to the menu $what"
  T send-keys -t qb q
  st=$(finished)
  [ "$st" = 0 ] && pass "$what: session left, q status 0" || fail "$what: status $st"
}

# The modes the program switches on while it holds the terminal, as tmux
# keeps them: keypad-transmit (cursor and keypad), mouse, SGR mouse.
terminal_modes() { T display-message -p -t qb '#{keypad_cursor_flag}#{keypad_flag}#{mouse_any_flag}#{mouse_sgr_flag}'; }

# The terminal is sane after the program: canonical mode, echo, cursor shown,
# main screen, keypad-transmit and mouse reports off.
check_sane() {
  local what=$1 flags
  if grep -qw -- "-icanon" "$work/stty" || grep -qw -- "-echo" "$work/stty"; then
    fail "$what: terminal left raw ($(grep -oE -- '-?icanon|-?echo\b' "$work/stty" | tr '\n' ' '))"
  else
    pass "$what: stty shows icanon and echo"
  fi
  flags=$(T display-message -p -t qb '#{cursor_flag} #{alternate_on}')
  if [ "$flags" = "1 0" ]; then pass "$what: cursor visible, main screen"; else fail "$what: cursor/alternate flags '$flags'"; fi
  flags=$(terminal_modes)
  if [ "$flags" = "0000" ]; then pass "$what: keypad and mouse modes off"; else fail "$what: keypad/mouse flags '$flags'"; fi
}

# The CPU seconds (user and system) a process has used so far.
cpu_seconds() { awk '{ printf "%.3f\n", ($14 + $15) / '"$(getconf CLK_TCK)"' }' "/proc/$1/stat"; }

# The board's report: report_machine, report_program, machine_lost.
. "$(dirname "${BASH_SOURCE[0]}")/../board_report.sh"

# Prints the tally and fails when anything failed.
summary() {
  echo "$passes passed, $failures failed"
  [ "$failures" -eq 0 ]
}
