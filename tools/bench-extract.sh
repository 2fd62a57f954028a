#!/usr/bin/env bash
# Extraction benchmark: the setup unpacking its embedded payload against the decoder's own reference
# extractor unpacking the same archive from a file (same architecture, same Wine), and native 7zz; and the
# setup's silent install of it against an NSIS installer of the same payload.
# Wall time and peak resident set, medians of ORV_BENCH_RUNS (default 5) runs.
# usage: tools/bench-extract.sh BUILD_ROOT ARCH... (BUILD_ROOT holds one build folder per architecture)
set -euo pipefail
root=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
runs=${ORV_BENCH_RUNS:-5}
work="$root/bench-extract"
mkdir -p "$work"

# About 90 MB of real Windows programs (Wine's own PE DLLs, 32-bit ones where present) and some data.
payload="$work/payload"
if [ ! -f "$payload/.complete" ]; then
  rm -rf "$payload"
  mkdir -p "$payload/bin" "$payload/data"
  dlls=/usr/lib/i386-linux-gnu/wine/i386-windows
  [ -d "$dlls" ] || dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
  total=0
  for f in $(ls "$dlls"/*.dll | sort); do
    cp "$f" "$payload/bin/"
    total=$((total + $(stat -c %s "$f")))
    [ $total -lt $((85 * 1024 * 1024)) ] || break
  done
  cp /usr/share/wine/nls/*.nls "$payload/data/" 2>/dev/null || true
  touch "$payload/.complete"
fi

pack() { # name, extra 7zz switches
  local out="$work/$1.7z"
  if [ ! -f "$out" ]; then
    echo "bench: packing $1 (this takes a while once)" >&2
    (cd "$payload" && 7zz a -t7z -bd -m0=lzma2 -mx=9 -ms=on $2 -x!.complete "$out.tmp" bin data >/dev/null)
    mv "$out.tmp" "$out"
  fi
}
pack solid ""
pack bcj2 "-mf=BCJ2"

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

ticks=$(getconf CLK_TCK)

# The server process of a prefix: the wineserver whose working folder is the server folder Wine names
# after the prefix's device and inode.
server_pid() {
  local prefix=$1 dev ino p
  dev=$(printf '%x' "$(stat -c %d "$prefix")")
  ino=$(printf '%x' "$(stat -c %i "$prefix")")
  for p in $(pgrep -x wineserver || true); do
    if [ "$(readlink "/proc/$p/cwd" 2>/dev/null)" = "/tmp/.wine-$(id -u)/server-$dev-$ino" ]; then echo "$p"; return; fi
  done
}

cpu_ticks() { # the user and system ticks a /proc stat file gives (the name may hold spaces)
  awk '{ sub(/.*\) /, ""); print $12 + $13 }' "$1" 2>/dev/null || echo 0
}

# One timed run inside a fresh destination folder: prints "seconds peak-kB writer-s decoders-s server-s".
# The peak is the largest resident set (VmHWM) of any process running the program, sampled while it runs:
# under Wine the Windows process is not always a child that the shell waits for. CPU times are sampled
# per thread of the busiest such process (the last sample before a thread ends counts): its first thread
# runs the script and writes the files (`writer`), the others decode (`decoders`); `server` is what the
# prefix's wineserver spent meanwhile.
timed() {
  local dest=$1 name
  shift
  name=$(basename "$1")  # the program, or the Windows program Wine runs
  for arg in "$@"; do
    if [[ "$arg" == *.exe ]]; then name=$(basename "$arg"); fi
  done
  rm -rf "$dest"
  mkdir -p "$dest"
  local start end peak=0 pid hwm task tid server server_before=0 server_after=0
  declare -A thread_ticks=()
  server=$(server_pid "${ORV_WINEPREFIX_ROOT:-$repo/build/wineprefix}/$(orv_prefix_name "$bench_arch")")
  [ -n "$server" ] && server_before=$(cpu_ticks "/proc/$server/stat")
  start=$(date +%s%N)
  (cd "$dest" && exec "$@" >"$work/out.txt" 2>&1) &
  local runner=$!
  while kill -0 "$runner" 2>/dev/null; do
    for pid in $(pgrep -f -- "$name" || true); do
      hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
      [ -n "$hwm" ] && [ "$hwm" -gt "$peak" ] && peak=$hwm
      for task in /proc/"$pid"/task/*; do
        tid=${task##*/}
        [ "$tid" = '*' ] || thread_ticks[$pid:$tid]=$(cpu_ticks "$task/stat")
      done
    done
    sleep 0.02
  done
  wait "$runner" || true
  end=$(date +%s%N)
  [ -n "$server" ] && server_after=$(cpu_ticks "/proc/$server/stat")
  # The busiest process: its first thread writes, the rest decode.
  local cpu
  cpu=$(for key in "${!thread_ticks[@]}"; do echo "${key%%:*} ${key##*:} ${thread_ticks[$key]}"; done |
    awk -v hz="$ticks" '{ total[$1] += $3; if ($1 == $2) first[$1] = $3 }
      END { best = ""; for (p in total) if (best == "" || total[p] > total[best]) best = p
            if (best == "") print "0.00 0.00"; else printf "%.2f %.2f", first[best] / hz, (total[best] - first[best]) / hz }')
  echo "$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", (b - a) / 1e9 }') $peak $cpu" \
    "$(awk -v a="$server_before" -v b="$server_after" -v hz="$ticks" 'BEGIN { printf "%.2f", (b - a) / hz }')"
}

files_in() { find "$1" -type f | wc -l; }

# label, dest, command... ; prints the medians of wall seconds, peak MB and the CPU seconds of the writer, the
# decoders and the server, and keeps them in m_time, m_mem, m_writer, m_decoders, m_server.
measure() {
  local label=$1 dest=$2 i t m w d v
  shift 2
  local times=() mems=() writers=() decoders=() servers=()
  for i in $(seq "$runs"); do
    read -r t m w d v < <(timed "$dest" "$@")
    times+=("$t") mems+=("$m") writers+=("$w") decoders+=("$d") servers+=("$v")
  done
  local expected
  expected=$(find "$payload" -type f ! -name .complete | wc -l)
  if [ "$(files_in "$dest")" != "$expected" ]; then
    echo "bench: $label left $(files_in "$dest") files, expected $expected" >&2
    exit 1
  fi
  m_time=$(printf '%s\n' "${times[@]}" | median)
  m_mem=$(printf '%s\n' "${mems[@]}" | median | awk '{ printf "%.1f", $1 / 1024 }')
  m_writer=$(printf '%s\n' "${writers[@]}" | median)
  m_decoders=$(printf '%s\n' "${decoders[@]}" | median)
  m_server=$(printf '%s\n' "${servers[@]}" | median)
}

# One row: label, then the figures measure() kept.
row() {
  printf '  %-34s %6s s %8s MB peak   cpu: writer %5s s, decoders %5s s, wineserver %5s s\n' "$1" "$m_time" "$m_mem" \
    "$m_writer" "$m_decoders" "$m_server"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

for archive in solid bcj2; do
  read -r t_native m_native < <(measure "native 7zz" "$work/dest-native" 7zz x -y -bd "$work/$archive.7z")
  for arch in "$@"; do
    build="$root/$arch"
    setup="$work/setup-$archive-$arch.exe"
    if [ ! -f "$setup" ] || [ "$setup" -ot "$work/$archive.7z" ] || [ "$setup" -ot "$build/bench/empty-setup.exe" ]; then
      python3 "$repo/tools/mksetup.py" --env "$build/mksetup/mksetup.env" --product "$repo/bench/extract-product" \
        --archive "$work/$archive.7z" "$setup"
    fi
    dest="$work/dest-$arch"
    winedest=$(cd "$work" && pwd)/dest-$arch
    export ORVBENCH_DEST="Z:${winedest//\//\\}"
    read -r t_setup m_setup < <(measure "setup ($arch)" "$dest" "$here/wine-run.sh" "$setup")
    read -r t_ref m_ref < <(measure "reference ($arch)" "$dest" "$here/wine-run.sh" "$build/bench/7zdec.exe" x \
      "Z:${work//\//\\}\\$archive.7z")
    echo "[$arch] extraction of $(du -sm "$payload" | cut -f1) MB in $(files_in "$payload") files ($archive archive," \
      "$(du -m "$work/$archive.7z" | cut -f1) MB), medians of $runs runs:"
    printf '  %-32s %6s s %8s MB peak\n' "setup, embedded payload" "$t_setup" "$m_setup" \
      "reference extractor, file" "$t_ref" "$m_ref" "native 7zz (Linux)" "$t_native" "$m_native"
    echo "  [$arch] setup / reference time:   $(ratio "$t_setup" "$t_ref")  (goal: at most 1.05)"
    echo "  [$arch] setup / reference memory: $(ratio "$m_setup" "$m_ref")  (goal: at most 1.00)"
    if [ "$archive" = solid ]; then
      # The same payload installed silently by an NSIS installer of the same architecture.
      nsis="$work/nsis-$arch.exe"
      target=x86-unicode
      [ "$arch" = x86_64 ] && target=amd64-unicode
      if [ ! -f "$nsis" ] || [ "$nsis" -ot "$payload/.complete" ] || [ "$nsis" -ot "$repo/bench/payload.nsi" ]; then
        echo "bench: building the NSIS reference for $arch (this takes a while once)" >&2
        makensis -V1 "-XTarget $target" "-XOutFile $nsis" "-DPAYLOAD=$payload" "$repo/bench/payload.nsi" >&2
      fi
      read -r t_nsis m_nsis < <(measure "NSIS ($arch)" "$dest" "$here/wine-run.sh" "$nsis" /S "/D=$ORVBENCH_DEST")
      printf '  %-32s %6s s %8s MB peak\n' "NSIS installer, silent" "$t_nsis" "$m_nsis"
      echo "  [$arch] setup / NSIS install time:  $(ratio "$t_setup" "$t_nsis")  (goal: at most 0.60)"
      # The sample product's own silent install, whose script sleeps about 4 s by design; removed again
      # with its uninstaller after each run.
      sample="$build/tests/e2e-sample_silent.exe"
      if [ -f "$sample" ]; then
        stimes=()
        for i in $(seq "$runs"); do
          rm -rf "$dest"
          start=$(date +%s%N)
          "$here/wine-run.sh" "$sample" /s "-path=$ORVBENCH_DEST" >"$work/out.txt" 2>&1 || true
          end=$(date +%s%N)
          stimes+=("$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", (b - a) / 1e9 }')")
          "$here/wine-run.sh" "$ORVBENCH_DEST\\Uninstall.exe" /S >"$work/out.txt" 2>&1 || true
        done
        printf '  %-32s %6s s\n' "sample product, silent install" "$(printf '%s\n' "${stimes[@]}" | median)"
      fi
    fi
  done
done
