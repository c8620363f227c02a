#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs the build tree into a temporary prefix, then builds a C99 program against
# libshareadmin and a C++ program against libsharemonitor with the flags pkg-config gives for
# the installed tree, and runs both.
# Usage: install_test.sh <build dir> <C compiler> <C++ compiler>
set -euo pipefail
build=$1 cc=$2 cxx=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/sanitizer_flags.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
pcdir=$(dirname "$(find "$prefix" -name shareadmin.pc -print -quit)")
[ -f "$pcdir/sharemonitor.pc" ] || { echo "sharemonitor.pc not installed"; exit 1; }
export PKG_CONFIG_PATH=$pcdir
libdir=$(pkg-config --variable=libdir shareadmin)
libdir=$(cd "$libdir" && pwd)

for lib in shareadmin sharemonitor; do
  for f in lib$lib.so lib$lib.so.1; do
    [ -e "$libdir/$f" ] || { echo "missing $libdir/$f"; exit 1; }
  done
  soname=$(readelf -d "$libdir/lib$lib.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
  [ "$soname" = "lib$lib.so.1" ] || { echo "lib$lib SONAME is '$soname'"; exit 1; }
done
case $(pkg-config --cflags shareadmin) in
  *"$prefix"*|*"$work"*) ;;
  *) echo "pkg-config does not point into the installed tree: $(pkg-config --cflags shareadmin)"; exit 1 ;;
esac
[ -f "$(find "$prefix" -name shareadminConfig.cmake -print -quit)" ] || { echo "no CMake package config"; exit 1; }

# A sanitized build's libraries need their runtime loaded first.
read -r -a extra <<<"$(sanitizer_flags "$libdir/libshareadmin.so")"
# shellcheck disable=SC2046
"$cc" "${extra[@]}" -std=c99 -Wall -Wextra -pedantic -Werror "$here/example.c" \
  $(pkg-config --cflags --libs shareadmin) -o "$work/example_c"
# shellcheck disable=SC2046
"$cxx" "${extra[@]}" -std=c++17 -Wall -Wextra -pedantic -Werror "$here/example_monitor.cpp" \
  $(pkg-config --cflags --libs sharemonitor) -pthread -o "$work/example_cxx"

for prog in example_c example_cxx; do
  out=$(LD_LIBRARY_PATH=$libdir "$work/$prog")
  echo "$prog: $out"
  case $out in ok*) ;; *) exit 1 ;; esac
  # The program must have run against the installed copy, not the build tree.
  # (ldd's output is taken whole first: grep -q would close the pipe early, and pipefail would
  # turn ldd's SIGPIPE into a failure.)
  deps=$(LD_LIBRARY_PATH=$libdir ldd "$work/$prog")
  grep -q "$libdir" <<<"$deps" || { echo "$prog did not load from $libdir"; exit 1; }
done
