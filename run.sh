#!/usr/bin/env bash
# The project's one entry point. Every command first does the set-up it needs (packages, dependency
# sources, build); a second run skips what is already in place.
#
#   ./run.sh demo                      build, then run the sample product's setup under Wine with its trace
#   ./run.sh test                      build, then run the whole test suite under Wine
#   ./run.sh build                     set-up and build only
#   ./run.sh setup PRODUCT_DIR OUT.exe build one setup executable from a product folder
#   ./run.sh trace SETUP.exe [ARGS...] run a Windows program under Wine and print its trace live
#   ./run.sh bench                     start-to-exit benchmarks against reference programs
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build="$root/build"
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}

log() { echo "run.sh: $*" >&2; }

setup_machine() {
  "$root/tools/bootstrap.sh"
  "$root/tools/fetch-deps.sh" >/dev/null
}

build_all() {
  setup_machine
  if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
  fi
  cmake --build "$build" -j 2
}

# A display for Windows programs: ours when none is set, ended when this script ends.
xvfb_pid=
start_display() {
  if [ -n "${DISPLAY:-}" ] && [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ]; then return; fi
  local n
  for n in $(seq 87 120); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then break; fi
  done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n" ORV_XVFB_DISPLAY="$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
}

stop_all() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}

start_wine() {
  "$root/tools/wineprefix.sh"
  start_display
  trap stop_all EXIT
  wineserver -p >/dev/null 2>&1 || true  # keep the server between programs
  # Start Wine's own services now, detached from our output: a service started by the first test
  # program would inherit that program's output pipe and keep the test runner waiting.
  "$root/tools/wine-run.sh" wineboot </dev/null >/dev/null 2>&1 || true
}

wine_path() { # absolute Windows path of a Unix path
  local p
  p=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
  echo "Z:${p//\//\\}"
}

trace_run() {
  local exe=$1
  shift
  "$root/tools/wine-run.sh" "$build/tools/orvtrace/orvtrace.exe" "$(wine_path "$exe")" "$@"
}

cmd=${1:-}
[ $# -gt 0 ] && shift
case "$cmd" in
  build)
    build_all
    ;;
  demo)
    build_all
    start_wine
    log "running build/dist/QuellbySetup.exe under Wine; its trace follows"
    set +e
    trace_run "$build/dist/QuellbySetup.exe"
    code=$?
    set -e
    log "QuellbySetup.exe exited with $code"
    ;;
  test)
    build_all
    start_wine
    cd "$build"
    ctest --output-on-failure
    ;;
  setup)
    [ $# -eq 2 ] || { echo "usage: ./run.sh setup PRODUCT_DIR OUT.exe" >&2; exit 2; }
    build_all >/dev/null
    python3 "$root/tools/mksetup.py" --env "$build/mksetup/mksetup.env" --product "$1" "$2"
    log "wrote $2"
    ;;
  trace)
    [ $# -ge 1 ] || { echo "usage: ./run.sh trace SETUP.exe [ARGS...]" >&2; exit 2; }
    build_all >/dev/null
    start_wine
    exe=$1
    shift
    trace_run "$exe" "$@"
    ;;
  bench)
    build_all
    start_wine
    "$root/tools/bench.sh" "$build"
    ;;
  *)
    sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
    ;;
esac
