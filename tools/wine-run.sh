#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's display and one of its private prefixes (the
# tests' emulator): wine-run.sh [--prefix win32|win64] PROGRAM [ARGS...]. Without --prefix the program's
# own architecture chooses (win32 for i686, win64 for x86_64). Prefixes live under $ORV_WINEPREFIX_ROOT
# (default build/wineprefix) and are made by tools/wineprefix.sh.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/machine.sh"
prefix=
if [ "${1:-}" = --prefix ]; then prefix=$2; shift 2; fi
if [ -z "$prefix" ]; then
  arch=$(orv_pe_arch "$1") || arch=x86_64
  prefix=$(orv_prefix_name "$arch")
fi
export WINEPREFIX=${ORV_WINEPREFIX_ROOT:-$here/../build/wineprefix}/$prefix
export WINEDEBUG=${WINEDEBUG:--all}
# Without Wine's menu builder: the shortcuts our programs make stay inside the prefix instead of becoming
# the host's menu entries, and no builder holds a shortcut open while a test deletes it.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}
export DISPLAY=${DISPLAY:-:${ORV_XVFB_DISPLAY:-87}}
export LANG=${ORV_WINE_LANG:-zh_CN.UTF-8}
exec wine "$@"
