#!/usr/bin/env bash
# The project's one entry point. Every command first does the set-up it needs (packages, dependency
# sources, build); a second run skips what is already in place.
#
#   ./run.sh demo                      build both setups, draw the layout's dialogs into build/dist/, run the
#                                      setup this machine can run with its trace: on your display for you to
#                                      click, or (no display) on our own Xvfb in a fresh prefix, clicked
#                                      through and photographed by tools/demo.sh
#   ./run.sh test                      build, then run the whole test suite for each architecture that runs here
#                                      (ORV_CTEST_ARGS, say "-R uninstall", narrows what ctest runs)
#   ./run.sh build                     set-up and build only
#   ./run.sh setup [--arch A] [--payload DIR] [--without-payload-hash] [--strict | --no-check] PRODUCT_DIR... OUT.exe
#                                      build one setup executable (A: i686, the default, or x86_64); a later
#                                      product folder overrides an earlier one file by file. The product is
#                                      checked first (errors stop the build; --strict: warnings too;
#                                      --no-check: no checks)
#   ./run.sh trace PROGRAM.exe [ARGS...] run a Windows program of either architecture and print its trace live
#   ./run.sh bench                     benchmarks against references measured in the same run, per
#                                      architecture: start to exit, the dialogs (paint, start-up, idle CPU),
#                                      extraction
#
# ORV_ARCHS (a comma list of i686 and x86_64) narrows what build, test and bench cover.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build="$root/build"
export ORV_WINEPREFIX_ROOT=${ORV_WINEPREFIX_ROOT:-$build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
. "$root/tools/machine.sh"

log() { echo "run.sh: $*" >&2; }
die() { log "$*"; exit 1; }

setup_machine() {
  "$root/tools/bootstrap.sh"
  "$root/tools/fetch-deps.sh" >/dev/null
}

build_arch() {
  local arch=$1 dir="$build/$1"
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" -DORV_DIST_DIR="$build/dist" >/dev/null
  fi
  cmake --build "$dir" -j 2
}

# Builds the given architectures (default: those ORV_ARCHS names, both when it is unset).
build_all() {
  local archs=${1:-} arch
  setup_machine
  [ -n "$archs" ] || archs=$(orv_requested_archs)
  for arch in $archs; do build_arch "$arch"; done
}

# True when DISPLAY names an X server that answers.
display_reachable() {
  [ -n "${DISPLAY:-}" ] || return 1
  if command -v xdotool >/dev/null 2>&1; then
    timeout 5 xdotool getdisplaygeometry >/dev/null 2>&1
    return
  fi
  local n=${DISPLAY#*:}
  [ -e "/tmp/.X11-unix/X${n%%.*}" ]
}

# A display for Windows programs: ours when none answers, ended when this script ends.
xvfb_pid=
start_display() {
  if display_reachable; then return; fi
  local n
  for n in $(seq 87 120); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then break; fi
  done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n" ORV_XVFB_DISPLAY="$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
}

prefixes=()
fresh_root="$build/wineprefix-fresh"
fresh_prefixes=()
stop_all() {
  local p
  for p in "${prefixes[@]}"; do
    WINEPREFIX="$ORV_WINEPREFIX_ROOT/$p" wineserver -k >/dev/null 2>&1 || true
  done
  for p in "${fresh_prefixes[@]}"; do
    WINEPREFIX="$fresh_root/$p" wineserver -k >/dev/null 2>&1 || true
  done
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}

# Starts the server of the prefix `name` under `prefix_root`, with Wine's own services.
start_server() {
  local prefix_root=$1 name=$2
  export WINEPREFIX="$prefix_root/$name"
  # A server left from an earlier run may be tied to a display that is gone: windows would fail.
  wineserver -k >/dev/null 2>&1 || true
  wineserver -p >/dev/null 2>&1 || true  # keep the server between programs
  # Start Wine's own services now, detached from our output: a service started by the first test
  # program would inherit that program's output pipe and keep the test runner waiting.
  ORV_WINEPREFIX_ROOT="$prefix_root" "$root/tools/wine-run.sh" --prefix "$name" wineboot </dev/null >/dev/null 2>&1 || true
  unset WINEPREFIX
}

# Makes the prefixes the given architectures run in (all at once when several are new) and starts them.
# The i686 build also runs its WoW64 groups in the win64 prefix. With --fresh, the same prefixes are
# also made anew under build/wineprefix-fresh, for the tests that install the sample product.
start_wine() {
  local arch p pids=() fresh=
  if [ "${1:-}" = --fresh ]; then fresh=1; shift; fi
  prefixes=()
  for arch in "$@"; do
    case "$arch" in
      i686) prefixes+=(win32 win64) ;;
      x86_64) prefixes+=(win64) ;;
    esac
  done
  mapfile -t prefixes < <(printf '%s\n' "${prefixes[@]}" | sort -u)
  for p in "${prefixes[@]}"; do "$root/tools/wineprefix.sh" "$p" & pids+=($!); done
  if [ -n "$fresh" ]; then
    fresh_prefixes=("${prefixes[@]}")
    for p in "${fresh_prefixes[@]}"; do WINEPREFIX="$fresh_root/$p" wineserver -k >/dev/null 2>&1 || true; done
    rm -rf "$fresh_root"
    for p in "${fresh_prefixes[@]}"; do ORV_WINEPREFIX_ROOT="$fresh_root" "$root/tools/wineprefix.sh" "$p" & pids+=($!); done
  fi
  for p in "${pids[@]}"; do wait "$p"; done
  start_display
  trap stop_all EXIT
  for p in "${prefixes[@]}"; do start_server "$ORV_WINEPREFIX_ROOT" "$p"; done
  for p in "${fresh_prefixes[@]}"; do start_server "$fresh_root" "$p"; done
}

# The architectures among the requested ones that this machine runs; says why the others are skipped.
runnable_archs() {
  local arch reason out=()
  for arch in $(orv_requested_archs); do
    reason=$(orv_arch_skip_reason "$arch")
    if [ -z "$reason" ]; then out+=("$arch"); else log "$arch skipped: $reason"; fi
  done
  echo "${out[*]}"
}

wine_path() { # absolute Windows path of a Unix path
  local p
  p=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
  echo "Z:${p//\//\\}"
}

# Each dialog of the shipped layout drawn without a window, as build/dist/layout-<dialog>.png.
save_layout_pictures() {
  local arch=$1 tmp f
  mkdir -p "$build/dist"
  tmp=$(mktemp -d "$build/dist/.layout.XXXXXX")
  if ! "$root/tools/wine-run.sh" "$build/$arch/tools/orvrender/orvrender.exe" save "$(wine_path "$tmp")" \
      >"$tmp/out.txt" 2>&1; then
    cat "$tmp/out.txt" >&2
    rm -rf "$tmp"
    die "the layout's dialogs could not be drawn"
  fi
  for f in "$tmp"/*.png; do
    mv "$f" "$build/dist/layout-$(basename "$f")"
    log "layout picture: $build/dist/layout-$(basename "$f")"
  done
  rm -rf "$tmp"
}

trace_run() {
  local exe=$1 arch
  shift
  arch=$(orv_pe_arch "$exe") || die "$exe is not a 32-bit or 64-bit Windows program"
  "$root/tools/wine-run.sh" --prefix "$(orv_prefix_name "$arch")" "$build/$arch/tools/orvtrace/orvtrace.exe" \
    "$(wine_path "$exe")" "$@"
}

# ctest for each requested architecture; ends with one line per architecture.
run_tests() {
  local arch reason out summary failed=0 lines=()
  for arch in $orv_all_archs; do
    reason=$(orv_arch_skip_reason "$arch")
    if [ -n "$reason" ]; then lines+=("$arch: skipped, $reason"); continue; fi
    out="$build/$arch/ctest-summary.txt"
    log "running the $arch suite"
    # shellcheck disable=SC2086 # the arguments are words for ctest
    if (cd "$build/$arch" && ctest --output-on-failure ${ORV_CTEST_ARGS:-}) | tee "$out"; then :; else failed=1; fi
    summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$out" | tail -n 1 || true)
    if [ -z "$summary" ]; then
      lines+=("$arch: no test result (see the output above)")
      failed=1
    else
      local total bad
      total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$summary")
      bad=$(sed -E 's/.*tests passed, ([0-9]+) tests? failed.*/\1/' <<<"$summary")
      lines+=("$arch: $((total - bad)) passed, $bad failed")
      [ "$bad" = 0 ] || failed=1
    fi
  done
  echo
  printf '%s\n' "${lines[@]}"
  return $failed
}

cmd=${1:-}
[ $# -gt 0 ] && shift
case "$cmd" in
  build)
    build_all
    ;;
  demo)
    build_all "i686 x86_64"
    archs=$(ORV_ARCHS= runnable_archs)
    [ -n "$archs" ] || die "this machine runs neither setup"
    arch=${archs%% *}
    exe="$build/dist/QuellbySetup.exe"
    [ "$arch" = i686 ] || exe="$build/dist/QuellbySetup64.exe"
    # Someone's own display: they click through the dialogs. None: our Xvfb and a robot do.
    interactive=
    if display_reachable; then interactive=1; else unset DISPLAY; fi
    start_wine "$arch"
    save_layout_pictures "$arch"
    set +e
    if [ -n "$interactive" ]; then
      log "running $exe ($arch) under Wine on $DISPLAY; its trace follows"
      trace_run "$exe"
      code=$?
      log "$(basename "$exe") exited with $code"
    else
      log "no display: running $exe ($arch) on our own, clicking through its dialogs"
      "$root/tools/demo.sh" "$arch" "$exe" "$build/dist"
      code=$?
    fi
    set -e
    [ -n "$interactive" ] || exit "$code"
    ;;
  test)
    build_all
    archs=$(runnable_archs)
    [ -z "$archs" ] || start_wine --fresh $archs
    run_tests
    ;;
  setup)
    arch=i686
    options=()
    while [ $# -gt 0 ]; do
      case "$1" in
        --arch) arch=${2:-}; shift 2 || true ;;
        --payload) [ -d "${2:-}" ] || die "--payload takes a folder"; options+=(--payload "$2"); shift 2 ;;
        --without-payload-hash) options+=(--without-payload-hash); shift ;;
        --strict|--no-check) options+=("$1"); shift ;;
        *) break ;;
      esac
    done
    case "$arch" in i686|x86_64) ;; *) die "--arch takes i686 or x86_64" ;; esac
    [ $# -ge 2 ] || { echo "usage: ./run.sh setup [--arch i686|x86_64] [--payload DIR] [--without-payload-hash] [--strict | --no-check] PRODUCT_DIR... OUT.exe" >&2; exit 2; }
    out=${!#}
    products=()
    for dir in "${@:1:$#-1}"; do
      [ -d "$dir" ] || die "$dir is not a product folder"
      products+=(--product "$dir")
    done
    build_all "$arch" >/dev/null
    python3 "$root/tools/mksetup.py" --env "$build/$arch/mksetup/mksetup.env" "${products[@]}" "${options[@]}" "$out"
    log "wrote $out ($arch)"
    ;;
  trace)
    [ $# -ge 1 ] || { echo "usage: ./run.sh trace PROGRAM.exe [ARGS...]" >&2; exit 2; }
    arch=$(orv_pe_arch "$1") || die "$1 is not a 32-bit or 64-bit Windows program"
    reason=$(ORV_ARCHS= orv_arch_skip_reason "$arch")
    [ -z "$reason" ] || die "cannot run $1 ($arch): $reason"
    build_all "$arch" >/dev/null
    start_wine "$arch"
    trace_run "$@"
    ;;
  bench)
    build_all
    archs=$(runnable_archs)
    [ -n "$archs" ] || die "no architecture to benchmark on this machine"
    start_wine $archs
    for arch in $archs; do
      "$root/tools/bench.sh" "$build/$arch" "$arch"
      setup_exe="$build/dist/QuellbySetup.exe"
      [ "$arch" = i686 ] || setup_exe="$build/dist/QuellbySetup64.exe"
      "$root/tools/bench-ui.sh" "$build/$arch" "$arch" "$setup_exe"
    done
    "$root/tools/bench-extract.sh" "$build" $archs
    ;;
  *)
    sed -n '2,/^set /p' "$0" | grep '^#' | sed 's/^# \{0,1\}//'
    exit 2
    ;;
esac
