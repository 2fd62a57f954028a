#!/usr/bin/env bash
# Fetches the Debian source packages we build our third-party libraries from
# and unpacks them under DEPS_DIR/src, each reachable through a stable symlink
# (DEPS_DIR/src/<package> -> DEPS_DIR/src/<package>-<upstream version>).
#
# usage: tools/fetch-deps.sh [DEPS_DIR]      (default: <repo>/.deps)
#
# A second run with everything unpacked touches neither apt nor the network.
set -euo pipefail

packages=(lua5.2 pugixml 7zip googletest)

script_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
deps_dir=${1:-"$script_dir/../.deps"}
mkdir -p "$deps_dir/src"
deps_dir=$(cd "$deps_dir" && pwd)
src_dir="$deps_dir/src"
dl_dir="$src_dir/.downloads"

die() { echo "fetch-deps: $*" >&2; exit 1; }

# Only one fetch at a time per folder (CMake configures and a person at the
# shell may start this together).
exec 9>"$deps_dir/.fetch-deps.lock"
if command -v flock >/dev/null 2>&1; then
  flock 9
fi

# The unpacked tree of a package, if there is one: the symlink target, or else
# a lone <package>-<version> directory left by an earlier run.
unpacked_dir() {
  local name=$1 link="$src_dir/$1" d found=""
  if [ -L "$link" ] && [ -d "$link" ] && [ -e "$link/.orv-unpacked" ]; then
    readlink "$link"
    return 0
  fi
  for d in "$src_dir/$name"-*/; do
    [ -d "$d" ] && [ -e "$d/.orv-unpacked" ] || continue
    found=$(basename "$d")
  done
  [ -n "$found" ] && echo "$found"
}

apt_updated=0
ensure_source_lists() {
  [ "$apt_updated" = 1 ] && return 0
  if ! grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    die "no deb-src entry in the apt sources; run tools/bootstrap.sh first"
  fi
  if ! ls /var/lib/apt/lists/*_Sources* >/dev/null 2>&1; then
    echo "fetch-deps: no source package lists yet, running apt-get update" >&2
    if [ "$(id -u)" = 0 ]; then apt-get update -qq; else sudo apt-get update -qq; fi
  fi
  apt_updated=1
}

# Unpacks one package into a staging folder first, so that an interrupted run
# never leaves a half-written tree under its final name.
fetch_one() {
  local name=$1 stage="$src_dir/.stage-$1" dsc tree
  rm -rf "$stage"
  mkdir -p "$stage" "$dl_dir"
  dsc=$(ls "$dl_dir/${name}_"*.dsc 2>/dev/null | sort -V | tail -n 1 || true)
  if [ -n "$dsc" ]; then
    # Already downloaded once: unpack again without touching the network.
    (cd "$stage" && dpkg-source --no-check -x "$dsc" >/dev/null) || dsc=""
  fi
  if [ -z "$dsc" ]; then
    ensure_source_lists
    (cd "$stage" && apt-get source -qq --only-source "$name" >/dev/null 2>"$stage.log") \
      || { cat "$stage.log" >&2; die "apt-get source $name failed"; }
    rm -f "$stage.log"
    mv -f "$stage"/*.dsc "$stage"/*.tar.* "$dl_dir"/ 2>/dev/null || true
    rm -f "$stage"/*.diff.gz
  fi
  tree=$(find "$stage" -mindepth 1 -maxdepth 1 -type d -name "$name-*" | head -n 1)
  [ -n "$tree" ] || die "apt-get source $name left no $name-* folder"
  touch "$tree/.orv-unpacked"
  rm -rf "${src_dir:?}/$(basename "$tree")"
  mv "$tree" "$src_dir/"
  rm -rf "$stage"
  basename "$tree"
}

summary=()
fetched=0  # unpacked by this run
for name in "${packages[@]}"; do
  tree=$(unpacked_dir "$name" || true)
  if [ -z "$tree" ]; then
    tree=$(fetch_one "$name")
    fetched=$((fetched + 1))
  fi
  tree=$(basename "$tree")
  if [ "$(readlink "$src_dir/$name" 2>/dev/null || true)" != "$tree" ]; then
    ln -sfn "$tree" "$src_dir/$name"
  fi
  summary+=("$tree")
done

echo "fetch-deps: ${summary[*]} in $src_dir ($fetched unpacked, $(( ${#packages[@]} - fetched )) already there)"
