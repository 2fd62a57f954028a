#!/usr/bin/env bash
# Installs what building and testing need on a Debian 12 machine; skips what is already there.
set -euo pipefail

need_pkgs=(wine wine32:i386 g++-mingw-w64-i686 mingw-w64-tools xvfb xauth xdotool imagemagick locales
           fonts-wqy-microhei 7zip cmake ninja-build make dpkg-dev gcc g++ gcc-multilib nsis python3)

missing=()
for p in "${need_pkgs[@]}"; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed' || missing+=("$p")
done

have_src() { grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; }

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386
fi
if ! have_src; then
  as_root tee /etc/apt/sources.list.d/orv-deb-src.sources >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
fi
if [ ${#missing[@]} -gt 0 ] || ! ls /var/lib/apt/lists/*i386_Packages >/dev/null 2>&1 \
   || ! ls /var/lib/apt/lists/*_source_Sources* >/dev/null 2>&1; then
  as_root apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "bootstrap: installing ${missing[*]}"
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Chinese locale so a Wine prefix can run in code page 936.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
  as_root sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
  as_root locale-gen >/dev/null
fi
exit 0
