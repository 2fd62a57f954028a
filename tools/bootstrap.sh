#!/usr/bin/env bash
# Installs what building and testing need on a Debian 12 machine; skips what is already there.
#
# Both MinGW toolchains and 64-bit Wine go on every machine. 32-bit Wine (and the i386 architecture it
# needs) only goes on machines whose kernel runs 32-bit x86 code. A package registry in mid-sync is
# survived: a failed list update is retried and then worked around, an install that cannot be resolved
# is retried once with the security suite ranked below the main suite for that one command.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/machine.sh"

need_pkgs=(wine wine64 fonts-wine g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools binutils
           xvfb xauth xdotool imagemagick locales fonts-wqy-microhei 7zip cmake ninja-build make dpkg-dev
           gcc g++ nsis python3 python3-pil procps)

say() { echo "bootstrap: $*" >&2; }
die() { say "$*"; exit 1; }
as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }
installed() { dpkg-query -W -f='${Status}\n' "$1" 2>/dev/null | grep -q '^install ok installed'; }
have_src() { grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; }
# Lists may be kept compressed (…_Packages.lz4), so allow any suffix.

# binutils first: it is what tells whether 32-bit programs run here.
if ! command -v as >/dev/null || ! command -v ld >/dev/null; then
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq binutils >/dev/null
fi
want_i386=0
if orv_runs_x86_32; then
  want_i386=1
  need_pkgs+=(wine32:i386)
else
  say "this machine runs no 32-bit x86 code: installing the 64-bit Wine only"
fi

missing=()
for p in "${need_pkgs[@]}"; do installed "$p" || missing+=("$p"); done

if [ $want_i386 = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
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

apt_update() {
  local try
  for try in 1 2 3; do
    if as_root apt-get update -qq >/tmp/orv-apt-update.log 2>&1; then return 0; fi
    [ $try = 3 ] || sleep 2
  done
  say "warning: apt-get update failed three times; going on with the package lists that did arrive:"
  grep -E '^(E|W):' /tmp/orv-apt-update.log | head -n 5 >&2 || true
}

# A mirror in mid-sync can leave one suite's index of one architecture missing; multiarch then cannot
# match versions. Ranking the security suite below the main suite for this one command lets both
# architectures take the same version.
apt_install() {
  local log=/tmp/orv-apt-install.log pin
  if as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" \
       >"$log" 2>&1; then
    return 0
  fi
  say "install failed; retrying with the security suite ranked below the main suite"
  pin=$(mktemp)
  printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' > "$pin"
  if as_root env DEBIAN_FRONTEND=noninteractive apt-get -o Dir::Etc::Preferences="$pin" install -y -qq \
       --no-install-recommends "$@" >"$log" 2>&1; then
    rm -f "$pin"
    return 0
  fi
  rm -f "$pin"
  local p candidate lacking=()
  for p in "$@"; do
    candidate=$(apt-cache policy "$p" 2>/dev/null | awk '/Candidate:/ { print $2 }')
    if [ -z "$candidate" ] || [ "$candidate" = "(none)" ]; then lacking+=("$p"); fi
  done
  tail -n 8 "$log" >&2
  if [ ${#lacking[@]} -gt 0 ]; then
    die "these packages cannot be had from the package registry: ${lacking[*]}"
  fi
  die "these packages cannot be installed together: $*"
}

# Lists are refreshed only when something is missing: a mirror in mid-sync fails every update.
if [ ${#missing[@]} -gt 0 ]; then
  apt_update
  say "installing ${missing[*]}"
  apt_install "${missing[@]}"
fi

# Chinese locale so a Wine prefix can run in code page 936.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
  as_root sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
  as_root locale-gen >/dev/null
fi
exit 0
