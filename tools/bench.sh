#!/usr/bin/env bash
# Start-to-exit times under Wine (warm server), each against references measured in the same run.
# usage: tools/bench.sh BUILD_DIR ARCH [RUNS]     (BUILD_DIR holds that architecture's build)
set -euo pipefail
build=$1
arch=$2
runs=${3:-30}
here=$(cd "$(dirname "$0")" && pwd)
run() { "$here/wine-run.sh" "$@"; }  # each program in its own architecture's prefix

# Mean wall time of one run in milliseconds; output goes to a file (a /dev/null sink slows Wine down).
measure() {
  local exe=$1 out
  out=$(mktemp)
  run "$exe" >"$out" 2>&1 || true  # warm-up
  local start end
  start=$(date +%s%N)
  for _ in $(seq "$runs"); do run "$exe" >"$out" 2>&1 || true; done
  end=$(date +%s%N)
  rm -f "$out"
  echo $(( (end - start) / runs / 1000000 ))
}

setup="$build/bench/empty-setup.exe"
nsis="$build/bench/empty-nsis.exe"
trivial="$build/bench/trivial.exe"

for exe in "$setup" "$nsis" "$trivial"; do
  [ -f "$exe" ] || { echo "bench: $exe is missing" >&2; exit 1; }
done
# Each program must really run to its end, or its time means nothing.
expect_exit() {
  local code=0
  run "$1" >/dev/null 2>&1 || code=$?
  if [ "$code" != "$2" ]; then echo "bench: $1 exited with $code, expected $2" >&2; exit 1; fi
}
expect_exit "$setup" 1
expect_exit "$nsis" 0
expect_exit "$trivial" 0

t_setup=$(measure "$setup")
t_nsis=$(measure "$nsis")
t_trivial=$(measure "$trivial")
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

echo "[$arch] start to exit under Wine, mean of $runs warm runs"
printf '  %-34s %6s ms\n' "trivial static program" "$t_trivial" "empty silent NSIS installer" "$t_nsis" \
  "silent setup, empty payload" "$t_setup"
echo "  [$arch] setup / NSIS installer:   $(ratio "$t_setup" "$t_nsis")  (goal: at most 1.00)"
echo "  [$arch] setup / trivial program:  $(ratio "$t_setup" "$t_trivial")"
echo "  [$arch] setup size with empty payload: $(stat -c %s "$setup") bytes"
