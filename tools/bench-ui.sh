#!/usr/bin/env bash
# The dialogs' costs under Wine, each against a budget or a reference measured in the same run:
#   - one full repaint of each shipped dialog's tree (orvrender), and one UpdateLayeredWindow of a frame of
#     that size, against the 66 ms frame of the repaint timer;
#   - process start to the first painted options dialog of the sample setup, against start to exit of a
#     trivial window program that paints once;
#   - the setup's CPU use while the options dialog sits idle.
# Needs a display (DISPLAY), xdotool, and the prefixes of tools/wine-run.sh with their servers running.
# usage: tools/bench-ui.sh BUILD_DIR ARCH SETUP.exe
#   ORV_BENCH_FRAMES (default 300) frames per paint figure, ORV_BENCH_STARTS (default 10) starts per
#   start-up figure, ORV_BENCH_IDLE (default 5) seconds of idle.
set -euo pipefail
build=$1
arch=$2
setup=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/machine.sh"
frames=${ORV_BENCH_FRAMES:-300}
starts=${ORV_BENCH_STARTS:-10}
idle=${ORV_BENCH_IDLE:-5}
budget=66
render="$build/tools/orvrender/orvrender.exe"
trivialwin="$build/bench/trivialwin.exe"
ulwframe="$build/bench/ulwframe.exe"
run() { "$here/wine-run.sh" "$@"; }
work=$(mktemp -d)
setup_pid= launcher_pid=
cleanup() {
  local pid
  for pid in $setup_pid $launcher_pid; do kill -KILL "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

for f in "$render" "$trivialwin" "$ulwframe" "$setup"; do
  [ -f "$f" ] || { echo "bench: $f is missing" >&2; exit 1; }
done
[ -n "${DISPLAY:-}" ] || { echo "bench: no display" >&2; exit 1; }

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
share() { awk -v a="$1" -v b="$budget" 'BEGIN { printf "%.1f %%", 100 * a / b }'; }
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

echo "[$arch] dialogs: one full repaint of the tree, median of $frames frames (frame budget $budget ms)"
for dialog in InitDlg InstallDlg CompleteDlg; do
  run "$render" bench "$dialog" "$frames" >"$work/render.txt" 2>&1 || {
    echo "bench: orvrender bench $dialog failed:" >&2
    cat "$work/render.txt" >&2
    exit 1
  }
  ms=$(sed -n '1s/\r$//p' "$work/render.txt")
  printf '  %-44s %8s ms  %s of the frame\n' "$dialog" "$ms" "$(share "$ms")"
  fading=$(sed -n 's/^fading \([0-9.]*\).*/\1/p' "$work/render.txt")
  if [ -n "$fading" ]; then
    printf '  %-44s %8s ms  %s of the frame\n' "$dialog, half way through a cross-fade" "$fading" "$(share "$fading")"
  fi
  [ "$dialog" = InitDlg ] && init_ms=$ms
done
run "$ulwframe" "$frames" >"$work/ulw.txt" 2>&1 || { echo "bench: ulwframe.exe failed" >&2; cat "$work/ulw.txt" >&2; exit 1; }
ulw_ms=$(sed -n '1s/\r$//p' "$work/ulw.txt")
printf '  %-44s %8s ms  %s of the frame\n' "UpdateLayeredWindow of a 600x490 frame" "$ulw_ms" "$(share "$ulw_ms")"
frame_ms=$(awk -v a="$init_ms" -v b="$ulw_ms" 'BEGIN { printf "%.3f", a + b }')
printf '  %-44s %8s ms  %s of the frame\n' "InitDlg whole frame (repaint + update)" "$frame_ms" "$(share "$frame_ms")"
echo "  [$arch] options dialog repaint: $init_ms ms  (goal: under 6 ms)"

# The process of a visible window of program `exe` in our prefix, if there is one. Wine names an X window's
# class after its process and gives it the process id; the prefix in that process's environment tells
# ours from another one on the same display. (The Wine process we start is the program's own for i686;
# for x86_64 it starts the program as a process of its own and waits for it.)
prefix_dir=$(realpath -m "${ORV_WINEPREFIX_ROOT:-$here/../build/wineprefix}/$(orv_prefix_name "$arch")")
shown_pid() {
  local class id pid theirs
  class=$(basename "$1" | tr 'A-Z' 'a-z')
  for id in $(xdotool search --onlyvisible --classname "^${class//./\\.}\$" 2>/dev/null || true); do
    pid=$(xdotool getwindowpid "$id" 2>/dev/null) || continue
    theirs=$(tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | sed -n 's/^WINEPREFIX=//p' || true)
    if [ -n "$theirs" ] && [ "$(realpath -m "$theirs")" = "$prefix_dir" ]; then
      echo "$pid"
      return
    fi
  done
}

# Starts `exe` (with ARGS) and waits for its window; sets setup_pid (the program's process), launcher_pid
# (what we started) and shown_ms, the milliseconds from the start to the visible window. The setup's
# options dialog paints its first frame before it is shown; the trivial window is shown, then painted.
start_program() {
  local exe=$1 start deadline
  shift
  start=$(now_ms)
  "$here/wine-run.sh" "$exe" "$@" >"$work/program.txt" 2>&1 &
  launcher_pid=$!
  deadline=$((start + 30000))
  while :; do
    setup_pid=$(shown_pid "$exe")
    [ -z "$setup_pid" ] || break
    if ! kill -0 "$launcher_pid" 2>/dev/null; then
      echo "bench: $(basename "$exe") ended before its window appeared" >&2
      exit 1
    fi
    [ "$(now_ms)" -lt $deadline ] || { echo "bench: no window of $(basename "$exe") within 30 s" >&2; exit 1; }
    sleep 0.01  # leaves the cores to the program
  done
  shown_ms=$(( $(now_ms) - start ))
}

stop_program() {
  local pid
  for pid in "$setup_pid" "$launcher_pid"; do
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    kill -KILL "$pid" 2>/dev/null || true
  done
  wait "$launcher_pid" 2>/dev/null || true
  setup_pid= launcher_pid=
}

# The trivial window program is timed twice: to its visible window, found the same way as the setup's
# (the ratio's reference), and to its exit once it has painted.
xdotool mousemove 5 5
code=0
run "$trivialwin" >"$work/trivial.txt" 2>&1 || code=$?  # warm-up, and it must really paint and end
[ "$code" = 0 ] || { echo "bench: trivialwin.exe exited with $code, expected 0" >&2; exit 1; }
start_program "$trivialwin" stay  # warm-up
stop_program
start_program "$setup"  # warm-up
stop_program
exit_times=() trivial_times=() setup_times=()
for _ in $(seq "$starts"); do
  start=$(now_ms)
  run "$trivialwin" >"$work/trivial.txt" 2>&1 || true
  exit_times+=($(( $(now_ms) - start )))
done
# The two start-ups alternate, each right after the other program was ended the same way: Wine's desktop
# process goes with the last program, so each start pays for a new one alike.
for _ in $(seq "$starts"); do
  start_program "$trivialwin" stay
  trivial_times+=("$shown_ms")
  stop_program
  start_program "$setup"
  setup_times+=("$shown_ms")
  stop_program
done
t_exit=$(printf '%s\n' "${exit_times[@]}" | median)
t_trivial=$(printf '%s\n' "${trivial_times[@]}" | median)
t_setup=$(printf '%s\n' "${setup_times[@]}" | median)
echo "[$arch] start-up under Wine, medians of $starts warm starts"
printf '  %-44s %6s ms\n' "trivial window program, to exit once painted" "$t_exit" \
  "trivial window program, to visible window" "$t_trivial" "setup, to visible options dialog" "$t_setup"
echo "  [$arch] setup options dialog / trivial window: $(ratio "$t_setup" "$t_trivial")  (goal: at most 1.50)"

# CPU while the options dialog sits idle: the Wine process of the setup, its main thread and all threads.
start_program "$setup"
sleep 1  # past the first frames
ticks() { awk '{ print $14 + $15 }' "$1"; }  # utime + stime, in clock ticks
main_before=$(ticks "/proc/$setup_pid/task/$setup_pid/stat")
all_before=$(ticks "/proc/$setup_pid/stat")
start=$(now_ms)
sleep "$idle"
main_after=$(ticks "/proc/$setup_pid/task/$setup_pid/stat")
all_after=$(ticks "/proc/$setup_pid/stat")
elapsed=$(( $(now_ms) - start ))
stop_program
hz=$(getconf CLK_TCK)
cpu() { awk -v t="$1" -v hz="$hz" -v ms="$elapsed" 'BEGIN { printf "%.1f", 100 * t / hz / (ms / 1000) }'; }
main_cpu=$(cpu $((main_after - main_before)))
echo "[$arch] options dialog idle for $(awk -v ms="$elapsed" 'BEGIN { printf "%.1f", ms / 1000 }') s:" \
  "main thread $main_cpu %, whole process $(cpu $((all_after - all_before))) % of one core"
echo "  [$arch] idle main thread CPU: $main_cpu %  (goal: under 5 %)"
