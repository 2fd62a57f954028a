#!/usr/bin/env bash
# Extraction benchmark: the setup unpacking its embedded payload against the decoder's own reference
# extractor unpacking the same archive from a file (same architecture, same Wine), and native 7zz; and the
# setup's silent install of it against an NSIS installer of the same payload. The archives: the packer's
# own, today's one-block archive and a one-block BCJ2 archive. Then peak memory and time per MB for
# payloads of about ORV_BENCH_SIZES MB (default "10 100 500"; 100 is the bench payload).
# Wall time, peak resident set and CPU times, medians of ORV_BENCH_RUNS (default 5) runs.
# usage: tools/bench-extract.sh BUILD_ROOT ARCH... (BUILD_ROOT holds one build folder per architecture)
set -euo pipefail
root=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
. "$here/machine.sh"
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
# after the prefix's device and inode (run.sh keeps it running between programs).
server_pid() {
  local prefix=$1 dev ino p
  dev=$(printf '%x' "$(stat -c %d "$prefix")")
  ino=$(printf '%x' "$(stat -c %i "$prefix")")
  for p in $(pgrep -x 'wineserver(64)?' || true); do
    if [[ "$(readlink "/proc/$p/cwd" 2>/dev/null)" == */server-$dev-$ino ]]; then echo "$p"; return; fi
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
  # The extractors unpack into their working folder; a setup is told its folder and runs from elsewhere
  # (a destination that is its current folder is refused: cannot open it, error 32).
  local where=$dest
  [[ "$name" == setup-* ]] && where=$work
  (cd "$where" && exec "$@" >"$work/out.txt" 2>&1) &
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
  # A server that ended during the run (one the program started itself) is not counted.
  [ -n "$server" ] && server_after=$(cpu_ticks "/proc/$server/stat")
  # The busiest process: its first thread writes, the rest decode.
  local cpu
  cpu=$(for key in "${!thread_ticks[@]}"; do echo "${key%%:*} ${key##*:} ${thread_ticks[$key]}"; done |
    awk -v hz="$ticks" '{ total[$1] += $3; if ($1 == $2) first[$1] = $3 }
      END { best = ""; for (p in total) if (best == "" || total[p] > total[best]) best = p
            if (best == "") print "0.00 0.00"; else printf "%.2f %.2f", first[best] / hz, (total[best] - first[best]) / hz }')
  echo "$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", (b - a) / 1e9 }') $peak $cpu" \
    "$(awk -v a="$server_before" -v b="$server_after" -v hz="$ticks" 'BEGIN { printf "%.2f", (b > a ? b - a : 0) / hz }')"
}

files_in() { find "$1" -type f | wc -l; }

# label, dest, command... ; prints the medians of wall seconds, peak MB and the CPU seconds of the writer, the
# decoders and the server, and keeps them in m_time, m_mem, m_writer, m_decoders, m_server.
measure() {
  local label=$1 dest=$2 i t m w d v
  shift 2
  local times=() mems=() writers=() decoders=() servers=()
  timed "$dest" "$@" >/dev/null  # a first run, not counted: the program's file comes into the cache
  for i in $(seq "$runs"); do
    read -r t m w d v < <(timed "$dest" "$@")
    times+=("$t") mems+=("$m") writers+=("$w") decoders+=("$d") servers+=("$v")
  done
  if [ "$(files_in "$dest")" != "$expected_files" ]; then
    echo "bench: $label left $(files_in "$dest") files, expected $expected_files" >&2
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

# The packer's own archive of a folder, as a plain 7z file (the packer stores it exchanged).
packer_archive() { # folder, out
  [ -f "$2" ] && [ "$2" -nt "$repo/tools/mksetup.py" ] && return
  echo "bench: packing $(basename "$2") with the packer (this takes a while once)" >&2
  local tree="$work/packer-tree"
  rm -rf "$tree"
  cp -al "$1" "$tree"  # without the bench's own marker file
  rm -f "$tree/.complete"
  python3 - "$repo/tools" "$tree" "$2" <<'PY'
import os, shutil, sys, tempfile
sys.path.insert(0, sys.argv[1])
import mksetup
work = tempfile.mkdtemp()
data = bytearray(open(mksetup.pack_payload(sys.argv[2], "7zz", work), "rb").read())
data[0], data[1] = data[1], data[0]
open(sys.argv[3] + ".tmp", "wb").write(bytes(data))
os.replace(sys.argv[3] + ".tmp", sys.argv[3])
shutil.rmtree(work)
PY
  rm -rf "$tree"
}

# A setup of the bench product carrying `archive`: setup_for archive out
setup_for() {
  if [ ! -f "$2" ] || [ "$2" -ot "$1" ] || [ "$2" -ot "$build/bench/empty-setup.exe" ]; then
    python3 "$repo/tools/mksetup.py" --env "$build/mksetup/mksetup.env" --no-check \
      --product "$repo/bench/extract-product" --archive "$1" "$2"
  fi
}

# Payloads of about 10 and 500 MB for the memory table: the first programs of the bench payload, and five
# copies of it, each copy's bytes changed by a constant of its own so that no copy compresses into another.
sized_payload() { # MB, folder
  [ -f "$2/.complete" ] && return
  rm -rf "$2"
  python3 - "$payload" "$2" "$1" <<'PY'
import os, sys
source, out, mb = sys.argv[1], sys.argv[2], int(sys.argv[3])
files = sorted(os.path.join(r, n) for r, _, names in os.walk(source) for n in names if n != ".complete")
total, copy = 0, 0
while total < mb << 20:
    for path in files:
        target = os.path.join(out, "copy%d" % copy, os.path.relpath(path, source))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        data = open(path, "rb").read()
        if copy:
            key = (copy * 37 + 1) & 0xFF
            data = bytes(b ^ key for b in data)
        open(target, "wb").write(data)
        total += len(data)
        if total >= mb << 20:
            break
    copy += 1
open(os.path.join(out, ".complete"), "w").close()
PY
}

packer_archive "$payload" "$work/packer.7z"
mkdir -p "$work/empty-payload"
packer_archive "$work/empty-payload" "$work/empty.7z"
payload_mb=$(du -sm "$payload" | cut -f1)
sizes=${ORV_BENCH_SIZES:-10 100 500}
bench_arch=x86_64
expected_files=$(find "$payload" -type f ! -name .complete | wc -l)
measure "native 7zz" "$work/dest-native" 7zz x -y -bd "$work/solid.7z"
t_native=$m_time m_native=$m_mem
for arch in "$@"; do
  bench_arch=$arch
  build="$root/$arch"
  dest="$work/dest-$arch"
  winedest=$(cd "$work" && pwd)/dest-$arch
  export ORVBENCH_DEST="Z:${winedest//\//\\}"
  echo "[$arch] extraction of $payload_mb MB in $expected_files files, medians of $runs runs (CPU: seconds of each side):"
  for archive in packer solid bcj2; do
    setup="$work/setup-$archive-$arch.exe"
    setup_for "$work/$archive.7z" "$setup"
    measure "setup ($arch, $archive)" "$dest" "$here/wine-run.sh" "$setup"
    row "setup, $archive archive ($(du -m "$work/$archive.7z" | cut -f1) MB)"
    eval "t_setup_$archive=\$m_time m_setup_$archive=\$m_mem"
    measure "reference ($arch, $archive)" "$dest" "$here/wine-run.sh" "$build/bench/7zdec.exe" x \
      "Z:${work//\//\\}\\$archive.7z"
    row "reference extractor, $archive archive"
    eval "t_ref_$archive=\$m_time"
  done
  # The packer's setup again with its install journal turned off: what journaling, the moves aside and
  # the commit cost.
  measure "setup ($arch, packer, no journal)" "$dest" "$here/wine-run.sh" "$work/setup-packer-$arch.exe" /nojournal
  row "setup, packer archive, /nojournal"
  t_nojournal=$m_time m_nojournal=$m_mem
  printf '  %-34s %6s s %8s MB peak\n' "native 7zz (Linux), solid archive" "$t_native" "$m_native"
  # The same payload installed silently by an NSIS installer of the same architecture.
  nsis="$work/nsis-$arch.exe"
  target=x86-unicode
  [ "$arch" = x86_64 ] && target=amd64-unicode
  if [ ! -f "$nsis" ] || [ "$nsis" -ot "$payload/.complete" ] || [ "$nsis" -ot "$repo/bench/payload.nsi" ]; then
    echo "bench: building the NSIS reference for $arch (this takes a while once)" >&2
    makensis -V1 "-XTarget $target" "-XOutFile $nsis" "-DPAYLOAD=$payload" "$repo/bench/payload.nsi" >&2
  fi
  measure "NSIS ($arch)" "$dest" "$here/wine-run.sh" "$nsis" /S "/D=$ORVBENCH_DEST"
  row "NSIS installer, silent"
  t_nsis=$m_time m_nsis=$m_mem
  packed=$(stat -c %s "$work/packer.7z") onebig=$(stat -c %s "$work/bcj2.7z")
  echo "  [$arch] packer's archive $packed bytes, one-block archive as the packer made it before (bcj2) $onebig bytes"
  echo "  [$arch] setup / NSIS install time:            $(ratio "$t_setup_packer" "$t_nsis")  (goal: at most 0.60)"
  echo "  [$arch] setup / reference time, same archive: $(ratio "$t_setup_packer" "$t_ref_packer")  (goal: at most 0.65)"
  echo "  [$arch] setup / NSIS peak memory:             $(ratio "$m_setup_packer" "$m_nsis")  (goal: at most 1.50)"
  echo "  [$arch] journal on / off, time and peak:   $(ratio "$t_setup_packer" "$t_nojournal")  $(ratio "$m_setup_packer" "$m_nojournal")  (goal: at most 1.05 and 1.00)"
  echo "  [$arch] packer's / one-block archive size:    $(ratio "$packed" "$onebig")  (goal: at most 1.03)"
  # Memory and time against the payload's size, the empty setup's time taken off.
  setup_for "$work/empty.7z" "$work/setup-empty-$arch.exe"
  expected_files=0
  measure "empty setup ($arch)" "$dest" "$here/wine-run.sh" "$work/setup-empty-$arch.exe"
  t_empty=$m_time
  echo "  [$arch] payload size, setup time, peak memory, (time - empty setup's $t_empty s) / MB:"
  for mb in $sizes; do
    if [ "$mb" = 100 ]; then folder=$payload archive="$work/packer.7z"; else
      folder="$work/payload-$mb"; archive="$work/packer-$mb.7z"
      sized_payload "$mb" "$folder"
      packer_archive "$folder" "$archive"
    fi
    expected_files=$(find "$folder" -type f ! -name .complete | wc -l)
    size=$(du -sm "$folder" | cut -f1)
    setup_for "$archive" "$work/setup-$mb-$arch.exe"
    measure "setup ($arch, $mb MB)" "$dest" "$here/wine-run.sh" "$work/setup-$mb-$arch.exe"
    printf '    %5s MB %6s s %8s MB peak %8s s/MB\n' "$size" "$m_time" "$m_mem" \
      "$(awk -v t="$m_time" -v e="$t_empty" -v s="$size" 'BEGIN { printf "%.4f", (t - e) / s }')"
  done
  expected_files=$(find "$payload" -type f ! -name .complete | wc -l)
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
    printf '  %-34s %6s s\n' "sample product, silent install" "$(printf '%s\n' "${stimes[@]}" | median)"
  fi
done
