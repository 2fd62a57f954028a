#!/usr/bin/env bash
# The sample setup run by a robot on a display nobody watches: in a Wine prefix made fresh for it, the
# options, progress and finish dialogs are each photographed and clicked through with real mouse input
# (xdotool), then the install folder, the whole trace and the exit code are printed.
# usage: tools/demo.sh ARCH SETUP.exe OUT_DIR        (DISPLAY must name a running X server)
#
# ORV_DEMO_PREFIX_ROOT (default build/wineprefix-demo) holds the demo's prefix; ORV_DEMO_TIMEOUT (seconds,
# default 60) bounds each wait.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/.." && pwd)
. "$here/machine.sh"
arch=${1:?usage: demo.sh ARCH SETUP.exe OUT_DIR}
setup=${2:?usage: demo.sh ARCH SETUP.exe OUT_DIR}
out=${3:?usage: demo.sh ARCH SETUP.exe OUT_DIR}
timeout=${ORV_DEMO_TIMEOUT:-60}
prefix_root=${ORV_DEMO_PREFIX_ROOT:-$repo/build/wineprefix-demo}
prefix=$(orv_prefix_name "$arch")
runner="$repo/build/$arch/tools/orvtrace/orvtrace.exe"
export ORV_WINEPREFIX_ROOT=$prefix_root WINEDEBUG=${WINEDEBUG:--all}
wineprefix="$prefix_root/$prefix"
work=$(mktemp -d)
trace="$work/trace.txt"

say() { echo "demo: $*" >&2; }
fail() { say "$*"; exit 1; }
[ -n "${DISPLAY:-}" ] || fail "no display"
[ -f "$runner" ] || fail "$runner is missing"
[ -f "$setup" ] || fail "$setup is missing"
mkdir -p "$out"

# Processes of our prefix whose command line matches `pattern` (only ours: the prefix is in their environment).
prefix_pids() {
  local pattern=$1 pid theirs mine
  mine=$(realpath -m "$wineprefix")
  for pid in $(pgrep -f -- "$pattern" || true); do
    theirs=$(tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | sed -n 's/^WINEPREFIX=//p' || true)
    if [ -n "$theirs" ] && [ "$(realpath -m "$theirs")" = "$mine" ]; then echo "$pid"; fi
  done
}

runner_pid=
cleanup() {
  local pid
  if [ -n "$runner_pid" ] && kill -0 "$runner_pid" 2>/dev/null; then kill "$runner_pid" 2>/dev/null || true; fi
  for pid in $(prefix_pids '[\\/]Quellby(64)?\.exe'); do kill "$pid" 2>/dev/null || true; done
  WINEPREFIX="$wineprefix" wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

# A fresh prefix: nothing of an earlier demo's installation is left.
WINEPREFIX="$wineprefix" wineserver -k >/dev/null 2>&1 || true
rm -rf "$wineprefix"
say "making a fresh Wine prefix in $wineprefix"
"$here/wineprefix.sh" "$prefix" >/dev/null
WINEPREFIX="$wineprefix" wineserver -p >/dev/null 2>&1 || true
"$here/wine-run.sh" --prefix "$prefix" wineboot </dev/null >/dev/null 2>&1 || true

# The visible setup windows (X window ids), one a line. Wine names an X window's class after the process
# (quellbysetup.exe), not after the window's own class, so the process name finds them.
x_class=$(basename "$setup" | tr 'A-Z' 'a-z')
x_class="^${x_class//./\\.}\$"
dialogs() { xdotool search --onlyvisible --classname "$x_class" 2>/dev/null || true; }

# Waits for a visible setup window other than `previous`; prints its id.
wait_dialog() {
  local what=$1 previous=$2 deadline=$((SECONDS + timeout)) id
  while [ $SECONDS -lt $deadline ]; do
    for id in $(dialogs); do
      if [ "$id" != "$previous" ]; then echo "$id"; return 0; fi
    done
    if ! kill -0 "$runner_pid" 2>/dev/null; then
      say "the setup ended before the $what dialog appeared; its trace:"
      cat "$trace" >&2
      return 1
    fi
    sleep 0.1
  done
  say "no $what dialog within ${timeout}s; the trace so far:"
  cat "$trace" >&2
  return 1
}

wait_gone() {
  local what=$1 id=$2 deadline=$((SECONDS + timeout))
  while [ $SECONDS -lt $deadline ]; do
    dialogs | grep -qx "$id" || return 0
    sleep 0.1
  done
  say "the $what dialog did not close within ${timeout}s"
  return 1
}

# Sets X, Y, WIDTH, HEIGHT of window `id`.
geometry() {
  local id=$1 shell
  X= Y= WIDTH= HEIGHT=
  shell=$(xdotool getwindowgeometry --shell "$id" 2>/dev/null) || fail "window $id went away"
  eval "$shell"
  [ -n "$WIDTH" ] || fail "no geometry for window $id"
}

shoot() {
  local name=$1 file="$out/screen-$1.png"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$file"
  say "$name dialog: $file"
}

click() { # client coordinates of the current window
  xdotool mousemove $((X + $1)) $((Y + $2))
  sleep 0.3
  xdotool click 1
}

xdotool mousemove 5 5  # parked away from where the dialogs open
say "starting $(basename "$setup") ($arch) under the trace runner"
"$here/wine-run.sh" --prefix "$prefix" "$runner" "Z:$(printf '%s' "$setup" | tr / '\\')" >"$trace" 2>&1 &
runner_pid=$!

options=$(wait_dialog options "") || exit 1
geometry "$options"
sleep 0.5
shoot options
click 300 250

progress=$(wait_dialog progress "$options") || exit 1
geometry "$progress"
sleep 0.6  # the bar is on its way (a small payload fills it in about a second)
shoot progress
dialogs | grep -qx "$progress" || say "the progress dialog closed before its picture was taken"

wait_gone progress "$progress" || exit 1
finish=$(wait_dialog finish "$progress") || exit 1
geometry "$finish"
sleep 0.5
shoot finish
click 300 397

deadline=$((SECONDS + timeout))
while kill -0 "$runner_pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.1; done
if kill -0 "$runner_pid" 2>/dev/null; then
  say "the setup did not end within ${timeout}s after the finish dialog's button; the trace so far:"
  cat "$trace" >&2
  exit 1
fi
code=0
wait "$runner_pid" || code=$?
runner_pid=

folder=$(grep -a 'InstallPath:' "$trace" | tail -n 1 | sed -E 's/.*InstallPath:[[:space:]]*//; s/\r$//' || true)
echo "--- trace of $(basename "$setup") ---"
cat "$trace"
echo "---"
if [ -n "$folder" ]; then
  echo "install folder: $folder ($(realpath -m "$(WINEPREFIX="$wineprefix" winepath -u "$folder" 2>/dev/null)"))"
else
  echo "install folder: none traced"
fi
echo "pictures: $out/screen-options.png $out/screen-progress.png $out/screen-finish.png"
echo "exit code: $code (1 expected)"
[ "$code" = 1 ]
