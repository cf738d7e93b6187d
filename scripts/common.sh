# shellcheck shell=bash disable=SC2154 # script_name comes from the script that sources this file
# Sourced by the scripts that run the programs and simulators in the background (demo, soak,
# measure-skyprobe); not a command of its own. Set script_name before sourcing it.
#
# Gives them a private work directory ($work), processes started in the background ended and the work
# directory removed at exit (append each pid to pids), and the helpers below.

work=$(mktemp -d "/tmp/probe-$script_name.XXXXXX")
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Waits up to 10 s for a path to appear.
wait_for() { # path, what
  local i
  for ((i = 0; i < 100; i++)); do
    [[ -e $1 ]] && return 0
    sleep 0.1
  done
  echo "$script_name: $2 did not come up (see $work)" >&2
  return 1
}

# A virtual X display of the given size for the programs that follow (Qt's xcb platform).
start_xvfb() { # display number base, WIDTHxHEIGHT
  local display=:$(($1 + RANDOM % 100))
  Xvfb "$display" -screen 0 "$2x24" -nolisten tcp >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  wait_for "/tmp/.X11-unix/X${display#:}" "the virtual display"
  export DISPLAY=$display QT_QPA_PLATFORM=xcb
}

# A click at the centre of a dialog control given in dialog units. A dialog's client area is 616 x 464
# pixels at 96 DPI (two pixels a unit) and sits below the strip that carries the caption's OK button.
click_control() { # window, x, y, width, height (dialog units)
  # shellcheck disable=SC2034 # getwindowgeometry sets all six; only the size is used
  local WIDTH HEIGHT X Y SCREEN WINDOW scale strip
  eval "$(xdotool getwindowgeometry --shell "$1")"
  scale=$(awk -v w="$WIDTH" 'BEGIN { printf "%.4f", w / 616 }')
  strip=$(awk -v h="$HEIGHT" -v s="$scale" 'BEGIN { printf "%d", h - 464 * s }')
  xdotool mousemove --window "$1" \
    "$(awk -v s="$scale" -v x="$2" -v w="$4" 'BEGIN { printf "%d", (x + w / 2) * 2 * s }')" \
    "$(awk -v s="$scale" -v t="$strip" -v y="$3" -v h="$5" 'BEGIN { printf "%d", t + (y + h / 2) * 2 * s }')" \
    click 1
  sleep 0.5
}

# Resident memory of a process in kB, 0 once it has ended.
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null || echo 0; }
