#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's prefix and display (the tests' emulator).
# $WINEPREFIX wins when set; otherwise the private prefix in the build tree made by tools/wineprefix.sh.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/../build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export DISPLAY=${DISPLAY:-:${ORV_XVFB_DISPLAY:-87}}
export LANG=${ORV_WINE_LANG:-zh_CN.UTF-8}
exec wine "$@"
