#!/usr/bin/env bash
# Makes a delay-load import library for DLL from the toolchain's ordinary import library.
# usage: mkdelaylib.sh TRIPLE DLLNAME IMPORT_LIB OUT_LIB
set -euo pipefail
triple=$1 dll=$2 implib=$3 out=$4
def="${out%.a}.def"
{
  echo "LIBRARY $dll"
  echo "EXPORTS"
  # 32-bit code symbols of the import library are _Name@N (stdcall) or _Name, and the def names drop the
  # underscore; 64-bit ones are the plain name.
  case "$triple" in
    i686-*) "$triple-nm" -g "$implib" | awk '$2 == "T" && $3 ~ /^_[A-Za-z]/ { print substr($3, 2) }' ;;
    *) "$triple-nm" -g "$implib" | awk '$2 == "T" && $3 ~ /^[A-Za-z]/ { print $3 }' ;;
  esac | sort -u
} > "$def"
"$triple-dlltool" -k -d "$def" -D "$dll" -y "$out"
