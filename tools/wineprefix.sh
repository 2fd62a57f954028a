#!/usr/bin/env bash
# Creates one of the project's Wine prefixes once and sets it up for our programs: Wine's own fonts,
# Chinese font families mapped to an installed CJK font, no crash dialog.
# usage: wineprefix.sh win32|win64   (under $ORV_WINEPREFIX_ROOT, default build/wineprefix)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
name=${1:?usage: wineprefix.sh win32|win64}
case "$name" in win32|win64) ;; *) echo "wineprefix: unknown prefix $name" >&2; exit 2 ;; esac
export WINEPREFIX=${ORV_WINEPREFIX_ROOT:-$here/../build/wineprefix}/$name
export WINEARCH=$name WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
stamp="$WINEPREFIX/.orv-ready"
[ -f "$stamp" ] && exit 0

mkdir -p "$WINEPREFIX"
echo "wineprefix: creating $WINEPREFIX"
LANG=zh_CN.UTF-8 wineboot -i >/dev/null 2>&1
wineserver -w

fonts="$WINEPREFIX/drive_c/windows/Fonts"
mkdir -p "$fonts"
cp -n /usr/share/wine/fonts/*.ttf "$fonts/" 2>/dev/null || true

reg=$(mktemp --suffix=.reg)
trap 'rm -f "$reg"' EXIT
{
  printf 'REGEDIT4\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n"ShowCrashDialog"=dword:00000000\r\n\r\n'
  # Xvfb has no window manager: unmanaged windows close without Wine waiting for one.
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
  for family in "微软雅黑" "Microsoft YaHei" "SimSun" "宋体" "新宋体" "NSimSun" "SimHei" "黑体"; do
    printf '"%s"="WenQuanYi Micro Hei"\r\n' "$family"
  done
} > "$reg"
# regedit reads the file in the prefix's code page: write it as UTF-16 so the Chinese names survive.
{ printf '\xff\xfe'; sed 's/^REGEDIT4/Windows Registry Editor Version 5.00/' "$reg" | iconv -f UTF-8 -t UTF-16LE; } > "$reg.u16"
LANG=zh_CN.UTF-8 wine regedit /S "$(winepath -w "$reg.u16")" >/dev/null 2>&1
rm -f "$reg.u16"
wineserver -w
touch "$stamp"
