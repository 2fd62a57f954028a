#!/usr/bin/env bash
# Runs a Windows program in its own copy of a prepared Wine prefix, so that what a run leaves (a process
# killed half way, say) reaches no other test: prefixcopy.sh NAME PROGRAM [ARGS...]. The prefixes under
# $ORV_WINEPREFIX_ROOT (default build/wineprefix) are copied to $ORV_PREFIX_COPY_ROOT/NAME (default
# build/wineprefix-copy/NAME) as hard links, made in a moment; the registry files, which Wine rewrites,
# are copied. The copy is removed after the run; the program's exit code is the script's.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
name=$1
shift
source_root=${ORV_WINEPREFIX_ROOT:-$here/../build/wineprefix}
copy=${ORV_PREFIX_COPY_ROOT:-$here/../build/wineprefix-copy}/$name
stop_server() {
  local p
  for p in "$copy"/*/; do [ -d "$p" ] && WINEPREFIX=${p%/} wineserver -k >/dev/null 2>&1; done
}
stop_server
rm -rf "$copy"
mkdir -p "$copy"
for p in "$source_root"/*/; do
  p=${p%/}
  cp -al "$p" "$copy/" || exit 255
  for reg in "$p"/*.reg; do
    [ -f "$reg" ] || continue
    rm -f "$copy/$(basename "$p")/$(basename "$reg")"
    cp "$reg" "$copy/$(basename "$p")/" || exit 255
  done
done
ORV_WINEPREFIX_ROOT=$(dirname "$copy")/$name "$here/wine-run.sh" "$@"
code=$?
stop_server
rm -rf "$copy"
exit $code
